#include "pdf/ResourceCache.h"

#include "pdf/ObjUtil.h"

namespace qvx::PDF {

std::shared_ptr<const Font> ResourceCache::GetFont(SDF::Obj* font_dict)
{
    const SDF::Obj* key = Deref(font_dict);
    auto it = m_fonts.find(key);
    if (it != m_fonts.end()) return it->second;
    std::shared_ptr<const Font> f = Font::Create(font_dict);
    m_fonts.emplace(key, f);
    return f;
}

std::shared_ptr<const ColorSpace> ResourceCache::GetColorSpace(SDF::Obj* obj, const Resources* res)
{
    SDF::Obj* o = Deref(obj);
    if (!o || o->IsName()) return ColorSpace::Create(obj, res);  // names are cheap or resolve elsewhere
    auto it = m_spaces.find(o);
    if (it != m_spaces.end()) return it->second;
    auto cs = ColorSpace::Create(obj, res);
    m_spaces.emplace(o, cs);
    return cs;
}

}  // namespace qvx::PDF
