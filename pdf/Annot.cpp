#include "pdf/Annot.h"

#include <cmath>

#include "pdf/ObjUtil.h"
#include "pdf/Page.h"
#include "sdf/Obj.h"

namespace qvx::PDF {

using SDF::Obj;

Annot::Annot(Obj* obj) : mp_obj(obj)
{
    Obj* d = Deref(obj);
    mp_dict = d && d->IsDict() ? d : nullptr;
}

std::size_t Annot::Count(const Page& page)
{
    Obj* annots = page.GetAnnots();
    return annots ? annots->Size() : 0;
}

Annot Annot::At(const Page& page, std::size_t i)
{
    Obj* annots = page.GetAnnots();
    if (!annots || i >= annots->Size()) return Annot();
    return Annot(annots->GetAt(i));
}

Annot::Type Annot::TypeFromName(std::string_view n)
{
    static constexpr std::string_view kNames[] = {
        "Text", "Link", "FreeText", "Line", "Square", "Circle", "Polygon", "PolyLine", "Highlight",
        "Underline", "Squiggly", "StrikeOut", "Stamp", "Caret", "Ink", "Popup", "FileAttachment", "Sound",
        "Movie", "Widget", "Screen", "PrinterMark", "TrapNet", "Watermark", "3D", "Redact", "Projection",
        "RichMedia"};
    for (std::size_t i = 0; i < sizeof kNames / sizeof kNames[0]; ++i) {
        if (kNames[i] == n) return static_cast<Type>(i);
    }
    return e_Unknown;
}

Annot::Type Annot::GetType() const { return TypeFromName(FindName(mp_dict, "Subtype")); }

bool Annot::HasFlags() const { return FindIn(mp_dict, "F") != nullptr; }

int Annot::GetFlags() const
{
    double f = FindNumber(mp_dict, "F", 0);
    if (!std::isfinite(f) || f < 0 || f > 0x7FFFFFFF) return 0;
    return static_cast<int>(f);
}

std::optional<Rect> Annot::GetRect() const
{
    Rect r;
    if (!ReadRect(FindIn(mp_dict, "Rect"), r)) return std::nullopt;
    return r.Normalized();
}

void Annot::SetRect(const Rect& r)
{
    Obj* rect = Deref(mp_dict)->PutArray("Rect");
    for (double v : {r.x1, r.y1, r.x2, r.y2}) rect->PushBackNumber(v);
}

Obj* Annot::GetAppearanceDict() const { return FindDict(mp_dict, "AP"); }

Obj* Annot::GetAppearanceEntry(AppearanceKind which) const
{
    static constexpr const char* kKeys[] = {"N", "R", "D"};
    return FindIn(GetAppearanceDict(), kKeys[which]);
}

Obj* Annot::GetAppearance(AppearanceKind which) const
{
    Obj* entry = GetAppearanceEntry(which);
    if (!entry) return nullptr;
    if (entry->IsStream()) return entry;
    if (!entry->IsDict()) return nullptr;
    std::string_view state = GetAppearanceState();
    return state.empty() ? nullptr : FindStream(entry, state);
}

std::string_view Annot::GetAppearanceState() const { return FindName(mp_dict, "AS"); }

Obj* Annot::GetColor() const { return FindArray(mp_dict, "C"); }
Obj* Annot::GetInteriorColor() const { return FindArray(mp_dict, "IC"); }

std::optional<double> Annot::GetOpacity() const
{
    Obj* ca = FindIn(mp_dict, "CA");
    if (!ca) return 1.0;
    if (!ca->IsNumber()) return std::nullopt;
    return ca->GetNumber();
}

Obj* Annot::GetBlendMode() const { return FindIn(mp_dict, "BM"); }
Obj* Annot::GetAction() const { return FindDict(mp_dict, "A"); }
Obj* Annot::GetAdditionalActions() const { return FindDict(mp_dict, "AA"); }

Obj* Annot::GetField() const
{
    if (!mp_dict) return nullptr;
    // A widget merged with its field carries FT or T itself; otherwise Parent is the field.
    if (mp_dict->FindObj("FT") || mp_dict->FindObj("T")) return mp_dict;
    return FindDict(mp_dict, "Parent");
}

}  // namespace qvx::PDF
