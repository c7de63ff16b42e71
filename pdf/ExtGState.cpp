#include "pdf/ExtGState.h"

#include <cmath>
#include <limits>

#include "pdf/ObjUtil.h"
#include "sdf/Obj.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

std::optional<double> Num(Obj* d, std::string_view key, bool nan_for_other)
{
    Obj* v = FindIn(d, key);
    if (!v) return std::nullopt;
    if (v->IsNumber()) return v->GetNumber();
    if (nan_for_other) return std::numeric_limits<double>::quiet_NaN();
    return std::nullopt;
}

std::optional<int> Int(Obj* d, std::string_view key)
{
    auto v = Num(d, key, false);
    if (!v || !std::isfinite(*v) || std::fabs(*v) > 1e6) return std::nullopt;
    return static_cast<int>(std::lround(*v));
}

std::optional<bool> Flag(Obj* d, std::string_view key)
{
    Obj* v = FindIn(d, key);
    if (!v || !v->IsBool()) return std::nullopt;
    return v->GetBool();
}

}  // namespace

ExtGState ExtGState::Read(Obj* dict)
{
    ExtGState g;
    Obj* d = Deref(dict);
    if (!d || !d->IsDict()) return g;
    g.dict = d;
    g.line_width = Num(d, "LW", false);
    g.miter_limit = Num(d, "ML", false);
    g.flatness = Num(d, "FL", false);
    g.smoothness = Num(d, "SM", false);
    g.line_cap = Int(d, "LC");
    g.line_join = Int(d, "LJ");
    g.overprint_mode = Int(d, "OPM");
    g.stroke_overprint = Flag(d, "OP");
    g.fill_overprint = Flag(d, "op");
    if (!g.fill_overprint) g.fill_overprint = g.stroke_overprint;  // op defaults to OP
    g.stroke_adjust = Flag(d, "SA");
    g.alpha_is_shape = Flag(d, "AIS");
    g.text_knockout = Flag(d, "TK");
    g.stroke_alpha = Num(d, "CA", true);
    g.fill_alpha = Num(d, "ca", true);
    if (std::string_view ri = FindName(d, "RI"); !ri.empty()) g.rendering_intent = std::string(ri);
    if (Obj* bm = FindIn(d, "BM")) {
        if (bm->IsName()) {
            g.blend_mode = std::string(bm->GetName());
        } else if (bm->IsArray() && bm->Size() > 0) {
            Obj* first = Deref(bm->GetAt(0));
            if (first && first->IsName()) g.blend_mode = std::string(first->GetName());
        }
    }
    g.dash = FindArray(d, "D");
    g.font = FindArray(d, "Font");
    g.soft_mask = FindIn(d, "SMask");
    g.transfer = FindIn(d, "TR2");
    if (!g.transfer) g.transfer = FindIn(d, "TR");
    g.halftone = FindIn(d, "HT");
    g.black_generation = FindIn(d, "BG2");
    if (!g.black_generation) g.black_generation = FindIn(d, "BG");
    g.undercolor_removal = FindIn(d, "UCR2");
    if (!g.undercolor_removal) g.undercolor_removal = FindIn(d, "UCR");
    g.has_htp = d->FindObj("HTP") != nullptr;
    g.has_hto = d->FindObj("HTO") != nullptr;
    return g;
}

bool IsStandardBlendMode(std::string_view n)
{
    for (std::string_view s : {"Normal", "Compatible", "Multiply", "Screen", "Overlay", "Darken", "Lighten",
                               "ColorDodge", "ColorBurn", "HardLight", "SoftLight", "Difference", "Exclusion",
                               "Hue", "Saturation", "Color", "Luminosity"}) {
        if (n == s) return true;
    }
    return false;
}

bool IsStandardRenderingIntent(std::string_view n)
{
    return n == "AbsoluteColorimetric" || n == "RelativeColorimetric" || n == "Saturation" || n == "Perceptual";
}

}  // namespace qvx::PDF
