#pragma once
// Fonts and colour spaces built once per document walk and shared by every content
// stream that uses them, keyed by their (resolved) objects. Keep one per document and
// hand it to each ElementReader so a font used on a hundred pages is read once.

#include <memory>
#include <unordered_map>

#include "pdf/ColorSpace.h"
#include "pdf/Font.h"

namespace qvx::PDF {

class Resources;

class ResourceCache {
public:
    // The font of a font dictionary (never null; a damaged one has kind e_unknown).
    std::shared_ptr<const Font> GetFont(SDF::Obj* font_dict);
    // The colour space of a colour-space object (array or stream form, resolved), null
    // when it is none. Throws as ColorSpace::Create does.
    std::shared_ptr<const ColorSpace> GetColorSpace(SDF::Obj* obj, const Resources* res);

private:
    std::unordered_map<const SDF::Obj*, std::shared_ptr<const Font>> m_fonts;
    std::unordered_map<const SDF::Obj*, std::shared_ptr<const ColorSpace>> m_spaces;
};

}  // namespace qvx::PDF
