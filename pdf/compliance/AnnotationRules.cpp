#include "pdf/compliance/AnnotationRules.h"

#include <string>

#include "common/Limits.h"
#include "pdf/ObjUtil.h"
#include "pdf/StreamData.h"
#include "pdf/compliance/OutputIntents.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

int PDFA1SubtypeCode(Annot::Type t)
{
    switch (t) {
        case Annot::e_FileAttachment: return SDF::e_PDFA522;
        case Annot::e_Sound: return SDF::e_PDFA523;
        case Annot::e_Movie: return SDF::e_PDFA524;
        case Annot::e_Redact: return SDF::e_PDFA525;
        case Annot::e_3D: return SDF::e_PDFA526;
        case Annot::e_Caret: return SDF::e_PDFA527;
        case Annot::e_Watermark: return SDF::e_PDFA528;
        case Annot::e_Polygon: return SDF::e_PDFA529;
        case Annot::e_Polyline: return SDF::e_PDFA5210;
        case Annot::e_Screen: return SDF::e_PDFA5211;
        case Annot::e_Projection:
        case Annot::e_RichMedia:
        case Annot::e_Unknown: return SDF::e_PDFA521;
        default: return 0;
    }
}

// The first four bytes of a 3D stream name its format.
std::string FormatOf3DData(const Obj* stream)
{
    std::optional<Common::Bytes> head = ReadDecoded(stream, 4);
    if (!head || head->size() < 3) return {};
    std::string s(head->begin(), head->end());
    if (s.size() == 4 && s.compare(0, 3, "U3D") == 0 && s[3] == '\0') return "U3D";
    if (s.compare(0, 3, "PRC") == 0) return "PRC";
    return {};
}

// The artwork's own colour space (a 3D stream's ColorSpace): a device space there needs an
// output intent of its kind, as a device space in content does.
void Check3DColourSpace(PassContext& ctx, Obj* data)
{
    const std::string_view name = FindName(data, "ColorSpace");
    const int needed = name == "DeviceGray" ? 1 : name == "DeviceRGB" ? 3 : name == "DeviceCMYK" ? 4 : 0;
    if (needed == 0) return;
    const int oi = ctx.caches.Get<OutputIntentState>().components;
    if (oi == needed || (needed == 1 && oi != 0)) return;
    ctx.Report(oi != 0 ? SDF::e_PDFA2332 : SDF::e_PDFA2331, data);
}

}  // namespace

int SubtypeCode(PassContext& ctx, const Annot& annot)
{
    const int level = ctx.state.level;
    const Annot::Type t = annot.GetType();
    if (t == Annot::e_Unknown) return SDF::e_PDFA521;
    if (ctx.Part() == 1) return PDFA1SubtypeCode(t);
    switch (t) {
        case Annot::e_Sound: return SDF::e_PDFA523;
        case Annot::e_Movie: return SDF::e_PDFA524;
        case Annot::e_Screen: return SDF::e_PDFA5211;
        case Annot::e_FileAttachment: return level == 9 || level == 10 ? SDF::e_PDFA522 : 0;
        case Annot::e_Projection: return level < 9 ? SDF::e_PDFA521 : 0;
        case Annot::e_RichMedia: return level < 9 ? SDF::e_PDFA521 : level == 10 ? 0 : SDF::e_PDFA46316;
        default: return 0;
    }
}

bool Check3DData(PassContext& ctx, const Annot& annot)
{
    Obj* dict = Deref(annot.GetSDFObj());
    if (ctx.state.level != 10) {
        ctx.Report(SDF::e_PDFA526, dict);
        return false;
    }
    Obj* data = FindIn(dict, "3DD");
    // A 3D reference dictionary points at the stream through its own 3DD.
    if (data && data->IsDict()) data = FindIn(data, "3DD");
    if (!data || !data->IsStream()) {
        ctx.Report(SDF::e_PDFA11, dict);
        return false;
    }
    Check3DColourSpace(ctx, data);
    Obj* subtype = FindIn(data, "Subtype");
    if (IsNameOf(subtype, "U3D") || IsNameOf(subtype, "PRC")) return true;
    ctx.Report(SDF::e_PDFA461613, data);
    if (!ctx.state.convert) return true;
    std::string format = FormatOf3DData(data);
    if (format.empty()) return false;
    data->PutName("Subtype", format);
    return true;
}

Obj* FieldEntry(const Obj* widget, std::string_view key)
{
    const Obj* node = widget;
    for (int depth = 0; node && depth < Common::Limits::kMaxFieldDepth; ++depth) {
        if (Obj* v = FindIn(node, key)) return v;
        node = FindDict(node, "Parent");
    }
    return nullptr;
}

bool IsButtonWidget(const Obj* widget) { return IsNameOf(FieldEntry(widget, "FT"), "Btn"); }

}  // namespace qvx::PDF
