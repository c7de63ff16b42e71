#include "sdf/ObjSet.h"

#include "common/Exception.h"
#include "sdf/Objects.h"

namespace qvx::SDF {

Obj* ObjSet::Add(std::unique_ptr<Obj> obj)
{
    if (!obj) QVX_THROW("obj", "Obj can't be NULL (0)");
    if (obj->GetParent()) QVX_THROW("is_doc_null || d == NULL", "The object belongs to a different document");
    m_objs.push_back(std::move(obj));
    return m_objs.back().get();
}

Obj* ObjSet::CreateName(std::string_view name) { return Add(Name::Create(name)); }
Obj* ObjSet::CreateArray() { return Add(Array::Create()); }
Obj* ObjSet::CreateDict() { return Add(Dict::Create()); }
Obj* ObjSet::CreateNumber(double v) { return Add(Number::Create(v)); }
Obj* ObjSet::CreateBool(bool b) { return Add(Bool::Create(b)); }
Obj* ObjSet::CreateString(Common::ByteView bytes) { return Add(Str::Create(bytes)); }
Obj* ObjSet::CreateNull() { return Add(Null::Create()); }

}  // namespace qvx::SDF
