#include "render/PageCompare.h"

#include <cmath>
#include <limits>
#include <optional>
#include <unordered_map>

#include "common/Digest.h"
#include "filters/Filter.h"
#include "pdf/ObjUtil.h"
#include "pdf/PageTree.h"
#include "pdf/StreamData.h"
#include "sdf/Dict.h"
#include "sdf/ObjWriter.h"

namespace qvx::Render {

namespace {

std::optional<Bitmap> Draw(SDF::SDFDoc& doc, const PDF::PageTree& pages, std::size_t i, const RenderOptions& options)
{
    try {
        return RenderPage(doc, pages.GetPage(i), options).bitmap;
    } catch (...) {
        // A page that cannot be drawn at all is counted, not compared.
        return std::nullopt;
    }
}

// Everything a page's drawing reads, written out with object numbers replaced by the order
// of first visit and stream data by its digest. Two pages with the same text draw the same,
// so only pages whose text differs need drawing. Back links (Parent, P) and entries that
// never reach the page's look are left out, so that conversion's other work (metadata,
// actions, structure) does not make a page look changed.
class Fingerprint {
public:
    // cmyk: the profile that draws as DeviceCMYK of the original draws (null: none).
    explicit Fingerprint(const Common::Bytes* cmyk) : mp_cmyk(cmyk) {}

    // False when the graph is too large or deep to write out: the page is then drawn.
    bool Add(SDF::Obj* obj, int depth = 0)
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
        case SDF::Obj::e_array: {
            Put("[");
            for (std::size_t i = 0; i < obj->Size(); ++i)
                if (!Add(obj->GetAt(i), depth + 1)) return false;
            return Put("]");
        }
        case SDF::Obj::e_dict:
        case SDF::Obj::e_stream: {
            Put("<<");
            for (auto it = obj->DictBegin(); it != obj->DictEnd(); ++it) {
                std::string_view key = it.KeyText();
                if (Skipped(key) || (key == "Length" && obj->IsStream())) continue;
                if (key == "DefaultCMYK" && SameAsIntent(it.Value())) continue;
                std::size_t at = m_text.size();
                Put("/" + std::string(key) + " ");
                SDF::Obj* value = it.Value();
                if (key == "F" && value && value->IsNumber() && obj->FindObj("Rect")) {
                    // Of an annotation's flags only these change what is drawn.
                    auto flags = static_cast<std::int64_t>(value->GetNumber()) & kDrawnFlags;
                    if (flags) Number(static_cast<double>(flags));
                    else m_text.resize(at);
                    continue;
                }
                if (!Add(value, depth + 1)) return false;
                // An entry left empty by what was skipped inside it draws as if absent.
                if (std::string_view(m_text).substr(at).ends_with(" <<>>") && !value->IsIndirect()) m_text.resize(at);
            }
            Put(">>");
            return !obj->IsStream() || Data(*obj);
        }
        }
        return false;
    }

    bool Put(std::string_view text)
    {
        m_text += text;
        return true;
    }

    // As a saved copy writes it, so that a number the save rounded still matches.
    bool Number(double v)
    {
        SDF::ObjWriter::AppendNumber(m_text, v);
        if (m_text.ends_with(".0")) m_text.resize(m_text.size() - 2);
        return Put(" ");
    }

    const std::string& Text() const { return m_text; }

private:
    // Invisible, Hidden, NoZoom, NoRotate, NoView.
    static constexpr std::int64_t kDrawnFlags = 1 | 2 | 8 | 16 | 32;

    // Halftones, black generation and undercolour removal are not drawn by the renderer.
    static bool Skipped(std::string_view key)
    {
        static constexpr std::string_view kKeys[] = {
            "Parent", "P", "Metadata", "PieceInfo", "LastModified", "StructParent", "StructParents", "A", "AA",
            "Thumb", "Tabs", "HT", "HTO", "BG", "BG2", "UCR", "UCR2"};
        for (std::string_view k : kKeys)
            if (key == k) return true;
        return false;
    }

    // The stream's bytes as stored (decrypted), by digest, a block at a time.
    bool Data(const SDF::Obj& stream)
    {
        std::unique_ptr<Filters::Filter> raw;
        try {
            raw = stream.GetRawStream();
        } catch (...) {
            return false;
        }
        std::vector<Common::Byte> block;
        auto flush = [&] {
            auto d = Common::Md5(Common::ByteView(block.data(), block.size()));
            m_text.append(reinterpret_cast<const char*>(d.data()), d.size());
            block.clear();
        };
        try {
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

    // A default CMYK space made of the profile DeviceCMYK is drawn with anyway changes nothing.
    bool SameAsIntent(SDF::Obj* space) const
    {
        space = PDF::Deref(space);
        if (!mp_cmyk || !space || !space->IsArray() || space->Size() != 2) return false;
        SDF::Obj* kind = PDF::Deref(space->GetAt(0));
        if (!kind || !kind->IsName() || kind->GetName() != "ICCBased") return false;
        auto profile = PDF::ReadDecoded(PDF::Deref(space->GetAt(1)), mp_cmyk->size() + 1);
        return profile && *profile == *mp_cmyk;
    }

    const Common::Bytes* mp_cmyk;
    std::unordered_map<const SDF::Obj*, std::size_t> m_seen;
    std::string m_text;
    std::size_t m_objects = 0;
};

// The page's fingerprint, with the inherited attributes and the document-wide entries that
// change how pages draw (optional content, the form's defaults); empty when too large.
std::string PageFingerprint(SDF::SDFDoc& doc, const PDF::Page& page, const Common::Bytes* cmyk)
{
    Fingerprint f(cmyk);
    bool ok = f.Add(page.GetSDFObj()) && f.Add(page.GetResourceDict());
    PDF::Rect media = page.GetMediaBox(), crop = page.GetCropBox();
    for (double v : {media.x1, media.y1, media.x2, media.y2, crop.x1, crop.y1, crop.x2, crop.y2})
        f.Number(v);
    f.Number(page.GetRotation());
    try {
        SDF::Obj* root = doc.GetRoot();
        ok = ok && f.Add(root ? root->FindObj("OCProperties") : nullptr);
        SDF::Obj* form = PDF::Deref(root ? root->FindObj("AcroForm") : nullptr);
        if (form && form->IsDict())
            for (const char* key : {"NeedAppearances", "DA", "DR", "Q"}) ok = ok && f.Add(form->FindObj(key));
    } catch (...) {
        return {};
    }
    return ok ? f.Text() : std::string();
}

}  // namespace

double PSNR(const Bitmap& a, const Bitmap& b)
{
    if (a.width != b.width || a.height != b.height || a.channels != 3 || b.channels != 3) return 0;
    if (a.data.size() != b.data.size()) return 0;
    double sum = 0;
    for (std::size_t i = 0; i < a.data.size(); ++i) {
        double d = static_cast<double>(a.data[i]) - b.data[i];
        sum += d * d;
    }
    if (sum == 0) return std::numeric_limits<double>::infinity();
    double mse = sum / static_cast<double>(a.data.size());
    return 10 * std::log10(255.0 * 255.0 / mse);
}

LookResult CompareLook(SDF::SDFDoc& original, SDF::SDFDoc& copy, const LookOptions& options)
{
    LookResult result;
    PDF::PageTree before(original), after(copy);
    RenderOptions copy_options;
    copy_options.dpi = options.dpi;
    RenderOptions original_options = copy_options;
    original_options.cmyk = CmykIntent(copy);
    const Common::Bytes* cmyk = original_options.cmyk ? &original_options.cmyk->GetBytes() : options.formula_cmyk;
    std::size_t n = std::max(before.Count(), after.Count());
    for (std::size_t i = 0; i < n; ++i) {
        auto page = static_cast<std::uint32_t>(i + 1);
        if (i >= before.Count() || i >= after.Count()) {
            result.changed.push_back({page, 0});
            continue;
        }
        // A page whose drawing inputs did not change cannot have changed its look.
        std::string print = PageFingerprint(copy, after.GetPage(i), cmyk);
        if (!print.empty() && print == PageFingerprint(original, before.GetPage(i), cmyk)) {
            ++result.compared;
            continue;
        }
        std::optional<Bitmap> a = Draw(original, before, i, original_options);
        std::optional<Bitmap> b = Draw(copy, after, i, copy_options);
        if (!a || !b) {
            ++result.undrawn;
            continue;
        }
        ++result.compared;
        ++result.drawn;
        double psnr = PSNR(*a, *b);
        if (psnr < options.threshold) result.changed.push_back({page, psnr});
    }
    return result;
}

}  // namespace qvx::Render
