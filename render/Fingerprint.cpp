#include "render/Fingerprint.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>

#include "common/Digest.h"
#include "filters/Filter.h"
#include "pdf/Font.h"
#include "pdf/ObjUtil.h"
#include "pdf/Std14.h"
#include "pdf/StreamData.h"
#include "sdf/Dict.h"
#include "sdf/ObjWriter.h"

namespace qvx::Render {

namespace {

// Invisible, Hidden, NoZoom, NoRotate, NoView: of an annotation's flags only these change
// what is drawn.
constexpr std::int64_t kDrawnFlags = 1 | 2 | 8 | 16 | 32;

// Entries the renderer never reads, or that only link back. Halftones, black generation
// and undercolour removal are not drawn.
constexpr std::string_view kSkipped[] = {"Parent", "P", "Metadata", "PieceInfo", "LastModified", "StructParent",
                                         "StructParents", "A", "AA", "Thumb", "Tabs", "HT", "HTO", "BG", "BG2",
                                         "UCR", "UCR2"};

// Entries of a font descriptor the renderer does not read (it reads the flags, the weight,
// MissingWidth and the programs): conversion completes them without changing any glyph.
constexpr std::string_view kDescriptorOnly[] = {"Type", "FontName", "FontFamily", "FontStretch", "FontBBox",
                                                "ItalicAngle", "Ascent", "Descent", "Leading", "CapHeight",
                                                "XHeight", "StemV", "StemH", "AvgWidth", "MaxWidth", "CharSet",
                                                "CIDSet"};

template <std::size_t N>
bool OneOf(std::string_view key, const std::string_view (&keys)[N])
{
    return std::find(std::begin(keys), std::end(keys), key) != std::end(keys);
}

// The bytes of the program a standard font is drawn with, read once per process.
const Common::Bytes& SystemProgram(std::string_view name)
{
    static std::mutex lock;
    static std::map<std::string, Common::Bytes, std::less<>> read;
    std::lock_guard<std::mutex> hold(lock);
    auto it = read.find(name);
    if (it != read.end()) return it->second;
    Common::Bytes bytes;
    std::ifstream in(PDF::Std14::ProgramFile(name), std::ios::binary);
    if (in) bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return read.emplace(std::string(name), std::move(bytes)).first->second;
}

}  // namespace

bool Fingerprint::Add(SDF::Obj* obj, int depth)
{
    if (!obj) return Put("n");
    if (depth > 48 || ++m_objects > 200000) return false;
    if (obj->IsIndirect()) {
        auto [it, fresh] = m_seen.emplace(obj, m_seen.size());
        Put("R" + std::to_string(it->second));
        if (!fresh) return true;
        obj = PDF::Deref(obj);
        if (!obj) return Put("n");
    }
    switch (obj->GetType()) {
    case SDF::Obj::e_null: return Put("n");
    case SDF::Obj::e_bool: return Put(obj->GetBool() ? "t" : "f");
    case SDF::Obj::e_number: return Number(obj->GetNumber());
    case SDF::Obj::e_name: return Put("/" + std::string(obj->GetName()) + " ");
    case SDF::Obj::e_string: {
        Common::ByteView b = obj->GetBuffer();
        return Put("(" + std::to_string(b.size()) + ")") &&
               Put(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
    }
    case SDF::Obj::e_array:
        Put("[");
        for (std::size_t i = 0; i < obj->Size(); ++i)
            if (!Add(obj->GetAt(i), depth + 1)) return false;
        return Put("]");
    case SDF::Obj::e_dict:
    case SDF::Obj::e_stream:
        return Entries(obj, depth) && (!obj->IsStream() || Data(*obj));
    }
    return false;
}

// A standard 14 font drawn with the program the renderer draws it with anyway, embedded
// or not, written as what its drawing reads: name, symbolic flag, encoding and the width of
// every code. Conversion embeds that very program and writes out the widths it implied.
bool Fingerprint::StandardFont(SDF::Obj* dict, int depth)
{
    if (PDF::FindName(dict, "Subtype") != "Type1") return false;
    std::shared_ptr<PDF::Font> font;
    try {
        font = PDF::Font::Create(dict);
    } catch (...) {
        return false;
    }
    // A font with a program of its own is no longer called standard by the page layer.
    std::string_view name = font ? PDF::Std14::Canonical(font->GetBaseFont()) : "";
    if (name.empty()) return false;
    if (SDF::Obj* program = font->GetEmbeddedStream()) {
        if (!SameBytes(program, SystemProgram(name))) return false;
    } else if (font->GetStandardName() != name) {
        return false;
    }
    Put("<<std14 /" + std::string(name) + (font->IsSymbolic() ? " s " : " n "));
    if (!Add(PDF::Deref(dict->FindObj("Encoding")), depth + 1)) return false;
    for (unsigned code = 0; code < 256; ++code) Number(font->GetWidth({code, 1, code}));
    return Put(">>");
}

bool Fingerprint::Entries(SDF::Obj* dict, int depth)
{
    if (PDF::FindName(dict, "Type") == "Font" || dict->FindObj("BaseFont")) {
        std::size_t at = m_text.size();
        if (StandardFont(dict, depth)) return true;
        m_text.resize(at);
    }
    Put("<<");
    bool descriptor = PDF::FindName(dict, "Type") == "FontDescriptor" || dict->FindObj("FontName");
    for (auto it = dict->DictBegin(); it != dict->DictEnd(); ++it) {
        std::string_view key = it.KeyText();
        SDF::Obj* value = it.Value();
        if (OneOf(key, kSkipped) || (key == "Length" && dict->IsStream()) || (descriptor && OneOf(key, kDescriptorOnly)))
            continue;
        if (key == "DefaultCMYK" && SameAsIntent(value)) continue;
        std::size_t at = m_text.size();
        Put("/" + std::string(key) + " ");
        if (key == "F" && value && value->IsNumber() && dict->FindObj("Rect")) {
            auto flags = static_cast<std::int64_t>(value->GetNumber()) & kDrawnFlags;
            if (flags) Number(static_cast<double>(flags));
            else m_text.resize(at);
            continue;
        }
        if (!Add(value, depth + 1)) return false;
        // An entry left empty by what was skipped inside it draws as if absent.
        if (std::string_view(m_text).substr(at).ends_with(" <<>>") && !value->IsIndirect()) m_text.resize(at);
    }
    return Put(">>");
}

bool Fingerprint::Number(double v)
{
    SDF::ObjWriter::AppendNumber(m_text, v);
    if (m_text.ends_with(".0")) m_text.resize(m_text.size() - 2);
    return Put(" ");
}

// The stream's bytes as stored (decrypted), by digest, a block at a time.
bool Fingerprint::Data(const SDF::Obj& stream)
{
    if (mp_memo)
        if (auto it = mp_memo->digests.find(&stream); it != mp_memo->digests.end()) return Put(it->second);
    std::string digest;
    std::vector<Common::Byte> block;
    auto flush = [&] {
        auto d = Common::Md5(Common::ByteView(block.data(), block.size()));
        digest.append(reinterpret_cast<const char*>(d.data()), d.size());
        block.clear();
    };
    try {
        std::unique_ptr<Filters::Filter> raw = stream.GetRawStream();
        for (std::size_t n; raw && (n = raw->Size()) > 0;) {
            block.insert(block.end(), raw->Begin(), raw->Begin() + n);
            raw->Consume(n);
            if (block.size() >= (1u << 20)) flush();
        }
    } catch (...) {
        return false;
    }
    flush();
    if (mp_memo) mp_memo->digests.emplace(&stream, digest);
    return Put(digest);
}

bool Fingerprint::SameAsIntent(SDF::Obj* space) const
{
    space = PDF::Deref(space);
    if (!mp_cmyk || !space || !space->IsArray() || space->Size() != 2) return false;
    SDF::Obj* kind = PDF::Deref(space->GetAt(0));
    if (!kind || !kind->IsName() || kind->GetName() != "ICCBased") return false;
    return SameBytes(PDF::Deref(space->GetAt(1)), *mp_cmyk);
}

bool Fingerprint::SameBytes(SDF::Obj* stream, const Common::Bytes& bytes) const
{
    if (mp_memo)
        if (auto it = mp_memo->same.find(stream); it != mp_memo->same.end()) return it->second;
    auto data = bytes.empty() ? std::nullopt : PDF::ReadDecoded(stream, bytes.size() + 1);
    bool same = data && *data == bytes;
    if (mp_memo) mp_memo->same[stream] = same;
    return same;
}

}  // namespace qvx::Render
