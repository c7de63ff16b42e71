#include "sdf/StreamLength.h"

#include <algorithm>
#include <cstring>

#include "common/Exception.h"
#include "sdf/CharClass.h"
#include "sdf/Dict.h"
#include "sdf/SDFDocImpl.h"
#include "sdf/Stream.h"

namespace qvx::SDF {

using namespace CharClass;

std::optional<std::uint64_t> StreamLengthValue(SDFDocImpl& doc, const Dict& dict)
{
    Obj* len = dict.FindObj("Length");
    if (!len) return std::nullopt;
    if (len->IsIndirect()) {
        // An entry not read yet may be a placeholder of the table being built.
        if (doc.IsLoadingXRef() && !len->IsLoaded()) return std::nullopt;
        try {
            len = len->Resolve();
        } catch (const Common::Exception&) {
            return std::nullopt;
        }
    }
    if (!len->IsNumber()) return std::nullopt;
    double v = len->GetNumber();
    if (!(v >= 0 && v <= 4294967295.0)) return std::nullopt;
    return static_cast<std::uint64_t>(v);
}

static bool HasFilter(const Dict& dict)
{
    Obj* f = dict.FindObj("Filter");
    if (!f) return false;
    try {
        f = f->Resolve();
    } catch (const Common::Exception&) {
        return true;
    }
    return f->IsName() || (f->IsArray() && f->Size() > 0);
}

std::optional<std::uint64_t> CalcStmLength(Common::ByteView file, std::uint64_t data_offset)
{
    static constexpr std::string_view kEnd = "endstream";
    if (data_offset > file.size()) return std::nullopt;
    std::size_t pos = static_cast<std::size_t>(data_offset);
    const char* base = reinterpret_cast<const char*>(file.data());
    while (pos < file.size()) {
        const void* hit = memmem(base + pos, file.size() - pos, kEnd.data(), kEnd.size());
        if (!hit) break;
        std::size_t at = static_cast<std::size_t>(static_cast<const char*>(hit) - base);
        std::size_t after = SkipWhiteAndComments(file, at + kEnd.size());
        if (KeywordAt(file, after, "endobj")) {
            std::size_t end = at;
            while (end > data_offset && IsWhite(file[end - 1])) --end;
            return end - data_offset;
        }
        pos = at + kEnd.size();
    }
    return std::nullopt;
}

bool UsableWhenCut(const Obj& dict)
{
    auto name = [&](std::string_view key) {
        Obj* v = dict.FindObj(key);
        return v && v->IsName() ? v->GetName() : std::string_view();
    };
    if (name("Type") == "ObjStm") return true;
    if (dict.FindObj("Subtype")) return name("Subtype") == "Image" || name("Subtype") == "Form";
    // Content has no keys of its own but its length and filters.
    for (std::string_view key : {"Type", "N", "Length1", "Length2", "Length3", "FunctionType", "ShadingType"})
        if (dict.FindObj(key)) return false;
    return true;
}

std::uint64_t FindStreamLength(SDFDocImpl& doc, const Dict& dict, std::uint64_t data_offset)
{
    Common::ByteView file = doc.GetFileView();
    std::uint64_t avail = data_offset <= file.size() ? file.size() - data_offset : 0;
    std::optional<std::uint64_t> len = StreamLengthValue(doc, dict);
    if (len && *len > 0 && !HasFilter(dict)) return std::min(*len, avail);
    std::uint64_t given = len.value_or(0);
    if (given <= avail) {
        std::size_t after = SkipWhiteAndComments(file, static_cast<std::size_t>(data_offset + given));
        if (KeywordAt(file, after, "endstream")) return given;
    }
    if (auto scanned = CalcStmLength(file, data_offset)) return *scanned;
    if (len && *len == 0) return 0;
    // A file cut inside the stream (a download that stopped): conversion takes what arrived,
    // as viewers draw it.
    if (given > avail && doc.GetCheckState().convert && UsableWhenCut(dict)) return avail;
    QVX_THROW("Length or a scan finds endstream", "Unexpected end of stream");
}

// Viewers end data whose Length does not serve at the first endstream, whether endobj
// follows it or not.
static std::optional<std::uint64_t> FirstEndstream(Common::ByteView file, std::uint64_t data_offset)
{
    static constexpr std::string_view kEnd = "endstream";
    const char* base = reinterpret_cast<const char*>(file.data());
    const auto start = static_cast<std::size_t>(data_offset);
    const void* hit = memmem(base + start, file.size() - start, kEnd.data(), kEnd.size());
    if (!hit) return std::nullopt;
    auto end = static_cast<std::size_t>(static_cast<const char*>(hit) - base);
    while (end > start && IsWhite(file[end - 1])) --end;
    return end - start;
}

void ReadToEndstream(SDFDocImpl& doc, FileStream& stream)
{
    if (stream.IsNewStream() || doc.GetSecurityHandler()) return;
    Common::ByteView file = doc.GetFileView();
    const std::uint64_t start = stream.GetDataOffset();
    if (start > file.size()) return;
    std::optional<std::uint64_t> length = StreamLengthValue(doc, *stream.GetDict());
    if (length && start + *length <= file.size() &&
        KeywordAt(file, SkipWhiteAndComments(file, static_cast<std::size_t>(start + *length)), "endstream"))
        return;
    std::optional<std::uint64_t> found = FirstEndstream(file, start);
    if (!found || found == length) return;
    const auto* data = file.data() + start;
    stream.SetStreamData(Common::Bytes(data, data + *found));
}

}  // namespace qvx::SDF
