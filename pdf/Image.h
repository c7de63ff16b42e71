#pragma once
// Image XObjects and inline images, read into the values the image checks inspect. Inline
// image dictionaries use the abbreviated keys and names, which are expanded here.

#include <string>
#include <vector>

namespace qvx::SDF {
class Obj;
}

namespace qvx::PDF {

struct ImageInfo {
    SDF::Obj* dict = nullptr;          // the image stream, or the inline image dictionary
    bool is_inline = false;
    long width = 0, height = 0;
    int bits_per_component = 0;        // 0 when absent (JPXDecode, image masks read 1)
    SDF::Obj* color_space = nullptr;   // ColorSpace (name or array), null when absent
    bool image_mask = false;
    SDF::Obj* mask = nullptr;          // Mask (stream or colour key array)
    SDF::Obj* smask = nullptr;         // SMask stream
    int smask_in_data = 0;
    std::string intent;                // Intent, empty when absent
    bool interpolate = false;
    bool has_alternates = false, has_opi = false, has_metadata = false;
    SDF::Obj* decode = nullptr;
    std::vector<std::string> filters;  // full filter names in order

    static ImageInfo Read(SDF::Obj* dict, bool is_inline);
};

// The full key of an inline-image key (BPC -> BitsPerComponent, ...); other keys unchanged.
std::string_view ExpandInlineImageKey(std::string_view key);
// The full name of an inline-image value name (G -> DeviceGray, AHx -> ASCIIHexDecode, ...).
std::string_view ExpandInlineImageName(std::string_view name);

}  // namespace qvx::PDF
