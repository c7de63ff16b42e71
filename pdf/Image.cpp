#include "pdf/Image.h"

#include <cmath>

#include "pdf/ObjUtil.h"
#include "sdf/Obj.h"

namespace qvx::PDF {

using SDF::Obj;

std::string_view ExpandInlineImageKey(std::string_view k)
{
    static constexpr std::pair<std::string_view, std::string_view> kKeys[] = {
        {"BPC", "BitsPerComponent"}, {"CS", "ColorSpace"}, {"D", "Decode"}, {"DP", "DecodeParms"},
        {"F", "Filter"}, {"H", "Height"}, {"IM", "ImageMask"}, {"I", "Interpolate"}, {"W", "Width"},
        {"L", "Length"}};
    for (const auto& [a, f] : kKeys) {
        if (k == a) return f;
    }
    return k;
}

std::string_view ExpandInlineImageName(std::string_view n)
{
    static constexpr std::pair<std::string_view, std::string_view> kNames[] = {
        {"G", "DeviceGray"}, {"RGB", "DeviceRGB"}, {"CMYK", "DeviceCMYK"}, {"I", "Indexed"},
        {"AHx", "ASCIIHexDecode"}, {"A85", "ASCII85Decode"}, {"LZW", "LZWDecode"}, {"Fl", "FlateDecode"},
        {"RL", "RunLengthDecode"}, {"CCF", "CCITTFaxDecode"}, {"DCT", "DCTDecode"}};
    for (const auto& [a, f] : kNames) {
        if (n == a) return f;
    }
    return n;
}

ImageInfo ImageInfo::Read(Obj* dict, bool is_inline)
{
    ImageInfo im;
    Obj* d = Deref(dict);
    im.is_inline = is_inline;
    if (!d || (!d->IsDict() && !d->IsStream())) return im;
    im.dict = d;
    // Inline dictionaries are stored with their keys expanded by the content reader.
    auto num = [&](std::string_view key) {
        double v = FindNumber(d, key, 0);
        return std::isfinite(v) && v > 0 && v < 1e9 ? static_cast<long>(v) : 0L;
    };
    im.width = num("Width");
    im.height = num("Height");
    im.bits_per_component = static_cast<int>(num("BitsPerComponent"));
    im.color_space = FindIn(d, "ColorSpace");
    im.image_mask = FindBool(d, "ImageMask", false);
    if (im.image_mask && !im.bits_per_component) im.bits_per_component = 1;
    im.mask = FindIn(d, "Mask");
    im.smask = FindStream(d, "SMask");
    im.smask_in_data = static_cast<int>(num("SMaskInData"));
    im.intent = std::string(FindName(d, "Intent"));
    im.interpolate = FindBool(d, "Interpolate", false);
    im.has_alternates = d->FindObj("Alternates") != nullptr;
    im.has_opi = d->FindObj("OPI") != nullptr;
    im.has_metadata = d->FindObj("Metadata") != nullptr;
    im.decode = FindArray(d, "Decode");
    if (Obj* f = FindIn(d, "Filter")) {
        if (f->IsName()) {
            im.filters.emplace_back(ExpandInlineImageName(f->GetName()));
        } else if (f->IsArray()) {
            for (std::size_t i = 0; i < f->Size(); ++i) {
                Obj* n = Deref(f->GetAt(i));
                if (n && n->IsName()) im.filters.emplace_back(ExpandInlineImageName(n->GetName()));
            }
        }
    }
    return im;
}

}  // namespace qvx::PDF
