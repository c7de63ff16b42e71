#include "render/Fingerprint.h"

#include <memory>

#include "common/Digest.h"
#include "filters/Filter.h"
#include "pdf/ObjUtil.h"
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
bool Skipped(std::string_view key)
{
    static constexpr std::string_view kKeys[] = {
        "Parent", "P", "Metadata", "PieceInfo", "LastModified", "StructParent", "StructParents", "A", "AA",
        "Thumb", "Tabs", "HT", "HTO", "BG", "BG2", "UCR", "UCR2"};
    for (std::string_view k : kKeys)
        if (key == k) return true;
    return false;
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

bool Fingerprint::Entries(SDF::Obj* dict, int depth)
{
    Put("<<");
    for (auto it = dict->DictBegin(); it != dict->DictEnd(); ++it) {
        std::string_view key = it.KeyText();
        SDF::Obj* value = it.Value();
        if (Skipped(key) || (key == "Length" && dict->IsStream())) continue;
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
    std::unique_ptr<Filters::Filter> raw;
    std::vector<Common::Byte> block;
    auto flush = [&] {
        auto d = Common::Md5(Common::ByteView(block.data(), block.size()));
        m_text.append(reinterpret_cast<const char*>(d.data()), d.size());
        block.clear();
    };
    try {
        raw = stream.GetRawStream();
        for (std::size_t n; raw && (n = raw->Size()) > 0;) {
            block.insert(block.end(), raw->Begin(), raw->Begin() + n);
            raw->Consume(n);
            if (block.size() >= (1u << 20)) flush();
        }
    } catch (...) {
        return false;
    }
    flush();
    return true;
}

bool Fingerprint::SameAsIntent(SDF::Obj* space) const
{
    space = PDF::Deref(space);
    if (!mp_cmyk || !space || !space->IsArray() || space->Size() != 2) return false;
    SDF::Obj* kind = PDF::Deref(space->GetAt(0));
    if (!kind || !kind->IsName() || kind->GetName() != "ICCBased") return false;
    SDF::Obj* stream = PDF::Deref(space->GetAt(1));
    if (mp_answers)
        if (auto it = mp_answers->find(stream); it != mp_answers->end()) return it->second;
    auto profile = PDF::ReadDecoded(stream, mp_cmyk->size() + 1);
    bool same = profile && *profile == *mp_cmyk;
    if (mp_answers) (*mp_answers)[stream] = same;
    return same;
}

}  // namespace qvx::Render
