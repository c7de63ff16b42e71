#include "pdf/compliance/PassContext.h"

#include "sdf/Obj.h"

namespace qvx::PDF {

std::uint32_t PassContext::EnclosingObjNum(const SDF::Obj* obj)
{
    // Parents form a chain up to the table entry; its length is the object's nesting.
    for (const SDF::Obj* p = obj; p; p = p->GetParent())
        if (p->IsIndirect()) return p->GetObjNum();
    return 0;
}

}  // namespace qvx::PDF
