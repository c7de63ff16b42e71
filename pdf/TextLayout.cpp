#include "pdf/TextLayout.h"

namespace qvx::PDF {

Matrix LayoutText(const Element& e, const std::function<void(const PlacedGlyph&)>& fn)
{
    const GState& gs = *e.gstate;
    Matrix tm = e.text_matrix;
    const Font* font = gs.font.get();
    double fs = gs.font_size, th = gs.horiz_scale / 100.0;
    bool vertical = font && font->GetWMode() == 1;
    auto shift = [&](double tx, double ty) { tm = Matrix{1, 0, 0, 1, tx, ty}.Then(tm); };
    std::vector<Font::CharCode> codes;
    for (const Element::Shown& s : e.strings) {
        if (s.adjust_before != 0) {
            double d = -s.adjust_before / 1000.0 * fs;
            vertical ? shift(0, d) : shift(d * th, 0);
        }
        if (!font) continue;
        font->Decode(s.bytes, codes);
        for (const Font::CharCode& c : codes) {
            double w0 = font->GetWidth(c) / 1000.0;
            double spacing = gs.char_spacing + (Font::IsWordSpace(c) ? gs.word_spacing : 0);
            Matrix trm;
            if (fn) trm = Matrix{fs * th, 0, 0, fs, 0, gs.text_rise}.Then(tm).Then(gs.ctm);
            double adv = vertical ? -(1.0 * fs) + spacing : (w0 * fs + spacing) * th;
            if (vertical) shift(0, adv);  // vertical fonts: a 1000-unit advance
            else shift(adv, 0);
            if (fn) {
                Matrix next = Matrix{1, 0, 0, 1, 0, gs.text_rise}.Then(tm).Then(gs.ctm);
                fn({c, trm, adv, next.e, next.f});
            }
        }
    }
    if (e.adjust_after != 0) {
        double d = -e.adjust_after / 1000.0 * fs;
        vertical ? shift(0, d) : shift(d * th, 0);
    }
    return tm;
}

}  // namespace qvx::PDF
