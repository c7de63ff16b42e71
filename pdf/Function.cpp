#include "pdf/Function.h"

#include "common/Limits.h"
#include "pdf/ObjUtil.h"
#include "sdf/Obj.h"

namespace qvx::PDF {

Function Function::Read(SDF::Obj* obj, int depth)
{
    Function fn;
    SDF::Obj* o = Deref(obj);
    if (!o || depth > Common::Limits::kMaxColorSpaceNesting) return fn;
    if (o->IsArray()) return o->Size() > 0 ? Read(o->GetAt(0), depth + 1) : fn;
    if (!o->IsDict() && !o->IsStream()) return fn;
    fn.obj = o;
    double t = FindNumber(o, "FunctionType", -1);
    fn.type = (t == 0 || t == 2 || t == 3 || t == 4) ? static_cast<int>(t) : -1;
    if ((fn.type == 0 || fn.type == 4) && !o->IsStream()) fn.type = -1;
    if (SDF::Obj* d = FindArray(o, "Domain")) fn.inputs = static_cast<int>(d->Size() / 2);
    if (SDF::Obj* r = FindArray(o, "Range")) fn.outputs = static_cast<int>(r->Size() / 2);
    if (fn.type == 2 && !fn.outputs) {
        SDF::Obj* c0 = FindArray(o, "C0");
        fn.outputs = c0 ? static_cast<int>(c0->Size()) : 1;
    }
    if (fn.type == 3) {
        if (SDF::Obj* fs = FindArray(o, "Functions")) {
            for (std::size_t i = 0; i < fs->Size(); ++i) fn.functions.push_back(Read(fs->GetAt(i), depth + 1));
            if (!fn.outputs && !fn.functions.empty()) fn.outputs = fn.functions[0].outputs;
        }
    }
    return fn;
}

}  // namespace qvx::PDF
