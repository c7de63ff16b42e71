#include "pdf/Page.h"

#include <cmath>

#include "pdf/ObjUtil.h"

namespace qvx::PDF {

using SDF::Obj;

Page::Page(Obj* dict, Obj* resources, Obj* media_box, Obj* crop_box, Obj* rotate)
    : mp_dict(dict), mp_resources(resources), mp_media_box(media_box), mp_crop_box(crop_box), mp_rotate(rotate)
{
}

Rect Page::GetMediaBox() const
{
    Rect r;
    if (ReadRect(Deref(mp_media_box), r)) return r.Normalized();
    return {0, 0, 612, 792};
}

Rect Page::GetCropBox() const
{
    Rect r;
    if (ReadRect(Deref(mp_crop_box), r)) return r.Normalized();
    return GetMediaBox();
}

int Page::GetRotation() const
{
    Obj* r = Deref(mp_rotate);
    if (!r || !r->IsNumber()) return 0;
    double v = r->GetNumber();
    if (!std::isfinite(v) || std::fabs(v) > 1e9) return 0;
    long n = std::lround(v);
    if (n % 90 != 0) return 0;
    return static_cast<int>(((n % 360) + 360) % 360);
}

std::vector<Obj*> Page::GetContentStreams() const
{
    std::vector<Obj*> out = GetContentStreamEntries();
    for (Obj*& s : out) s = Deref(s);
    return out;
}

std::vector<Obj*> Page::GetContentStreamEntries() const
{
    std::vector<Obj*> out;
    Obj* entry = mp_dict->FindObj("Contents");
    Obj* c = Deref(entry);
    if (!c) return out;
    if (c->IsStream()) {
        out.push_back(entry);
    } else if (c->IsArray()) {
        for (std::size_t i = 0, n = c->Size(); i < n; ++i) {
            Obj* s = Deref(c->GetAt(i));
            if (s && s->IsStream()) out.push_back(c->GetAt(i));
        }
    }
    return out;
}

Obj* Page::GetAnnots() const { return FindArray(mp_dict, "Annots"); }

Obj* Page::GetGroup() const { return FindDict(mp_dict, "Group"); }

}  // namespace qvx::PDF
