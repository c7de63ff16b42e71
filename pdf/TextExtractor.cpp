#include "pdf/TextExtractor.h"

#include <cmath>

#include "common/UString.h"
#include "pdf/Annot.h"
#include "pdf/ElementReader.h"
#include "pdf/TextLayout.h"

namespace qvx::PDF {

namespace {

class Collector {
public:
    explicit Collector(TextStats* stats) : mp_stats(stats) {}

    void Glyph(const PlacedGlyph& g, const Font& font)
    {
        if (mp_stats) ++mp_stats->glyphs;
        std::u16string u;
        if (!font.ToUnicode(g.code, u) || u.empty()) {
            if (mp_stats) ++mp_stats->unmapped;
            // As viewers do: a simple font's printable ASCII code stands for itself.
            if (!font.IsSimple() || g.code.code < 0x21 || g.code.code > 0x7E) return;
            u.assign(1, static_cast<char16_t>(g.code.code));
        }
        const Matrix& m = g.trm;
        double size = std::hypot(m.c, m.d);
        if (!(size > 0) || !std::isfinite(size)) size = 1;
        double x = m.e, y = m.f;
        // The glyph's direction on the page.
        double dx = m.a, dy = m.b;
        double len = std::hypot(dx, dy);
        if (len > 0) {
            dx /= len;
            dy /= len;
        } else {
            dx = 1;
            dy = 0;
        }
        if (m_have_prev) {
            double ex = x - m_end_x, ey = y - m_end_y;
            double along = ex * dx + ey * dy;    // gap along the baseline
            double across = -ex * dy + ey * dx;  // move off the line
            if (std::fabs(across) > 0.5 * size) {
                Break('\n');
            } else if (along > 0.15 * size || along < -0.5 * size) {
                Break(' ');
            }
        }
        for (char16_t c : u) {
            if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == 0xA0) {
                Break(' ');
            } else {
                m_word += c;
            }
        }
        m_end_x = g.end_x;
        m_end_y = g.end_y;
        m_have_prev = true;
    }

    std::string Finish()
    {
        Break(' ');
        return Common::UString(m_text).ToUTF8();
    }

private:
    void Break(char16_t sep)
    {
        if (m_word.empty()) {
            if (sep == '\n' && !m_text.empty() && m_text.back() == ' ') m_text.back() = '\n';
            return;
        }
        m_text += m_word;
        m_text += sep;
        m_word.clear();
    }

    TextStats* mp_stats;
    std::u16string m_text, m_word;
    double m_end_x = 0, m_end_y = 0;
    bool m_have_prev = false;
};

void Walk(ElementReader& r, Collector& out)
{
    while (const Element* e = r.Next()) {
        if (e->kind == Element::e_text) {
            const Font* font = e->gstate->font.get();
            if (!font) continue;
            LayoutText(*e, [&](const PlacedGlyph& g) { out.Glyph(g, *font); });
        } else if (e->kind == Element::e_form && r.FormBegin()) {
            Walk(r, out);
            r.End();
        }
    }
}

}  // namespace

std::string ExtractText(const Page& page, ResourceCache& cache, TextStats* stats)
{
    ElementReader reader(cache);
    reader.Begin(page);
    Collector out(stats);
    Walk(reader, out);
    reader.End();
    // Then what the visible annotations draw (form field values, stamps, free text).
    for (std::size_t i = 0, n = Annot::Count(page); i < n; ++i) {
        Annot a = Annot::At(page, i);
        if (!a.IsValid() || a.HasFlag(Annot::e_hidden) || a.HasFlag(Annot::e_invisible)) continue;
        SDF::Obj* ap = a.GetAppearance();
        if (!ap || !reader.AppearanceBegin(ap)) continue;
        Walk(reader, out);
        reader.End();
    }
    return out.Finish();
}

}  // namespace qvx::PDF
