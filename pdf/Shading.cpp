#include "pdf/Shading.h"

#include "pdf/ObjUtil.h"
#include "sdf/Obj.h"

namespace qvx::PDF {

using SDF::Obj;

Shading Shading::Read(Obj* obj)
{
    Shading s;
    Obj* o = Deref(obj);
    if (!o || (!o->IsDict() && !o->IsStream())) return s;
    s.obj = o;
    double t = FindNumber(o, "ShadingType", 0);
    s.type = t >= 1 && t <= 7 && t == static_cast<int>(t) ? static_cast<int>(t) : 0;
    if (s.type >= 4 && !o->IsStream()) s.type = 0;
    s.color_space = FindIn(o, "ColorSpace");
    s.function = Function::Read(FindIn(o, "Function"));
    s.background = FindArray(o, "Background");
    s.has_bbox = ReadRect(FindIn(o, "BBox"), s.bbox);
    return s;
}

Pattern Pattern::Read(Obj* obj)
{
    Pattern p;
    Obj* o = Deref(obj);
    if (!o || (!o->IsDict() && !o->IsStream())) return p;
    p.obj = o;
    double t = FindNumber(o, "PatternType", 0);
    p.type = (t == 1 && o->IsStream()) ? 1 : t == 2 ? 2 : 0;
    ReadMatrix(FindIn(o, "Matrix"), p.matrix);
    if (p.type == 1) {
        p.paint_type = static_cast<int>(FindNumber(o, "PaintType", 0));
        p.tiling_type = static_cast<int>(FindNumber(o, "TilingType", 0));
        ReadRect(FindIn(o, "BBox"), p.bbox);
        p.x_step = FindNumber(o, "XStep", 0);
        p.y_step = FindNumber(o, "YStep", 0);
        p.resources = FindDict(o, "Resources");
    } else if (p.type == 2) {
        p.shading = Shading::Read(FindIn(o, "Shading"));
        p.ext_gstate = FindDict(o, "ExtGState");
    }
    return p;
}

}  // namespace qvx::PDF
