#include "pdf/Resources.h"

#include "common/Limits.h"
#include "pdf/ObjUtil.h"

namespace qvx::PDF {

Resources::Resources(SDF::Obj* dict, const Resources* parent) : mp_parent(parent)
{
    SDF::Obj* d = Deref(dict);
    mp_dict = d && d->IsDict() ? d : nullptr;
}

SDF::Obj* Resources::Category(std::string_view category) const
{
    return FindDict(mp_dict, category);
}

Resources::Found Resources::Find(std::string_view category, std::string_view name) const
{
    int level = 0;
    for (const Resources* r = this; r && level < Common::Limits::kMaxContentNesting; r = r->mp_parent, ++level) {
        SDF::Obj* dict = r->Category(category);
        if (SDF::Obj* obj = FindIn(dict, name)) return {obj, level > 0, dict->FindObj(name)};
    }
    return {};
}

}  // namespace qvx::PDF
