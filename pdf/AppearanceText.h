#pragma once
// Text of drawn appearances: the fonts that set lines of text, measured and shown. Text a
// Latin font can show keeps that font; other text (Cyrillic, Greek, Arabic, CJK...) is set
// in system fonts that have its characters, shaped by HarfBuzz so that Arabic letters join
// and right-to-left runs read as readers show them, and embedded as subsets: Type 0 fonts
// with Identity-H codes over TrueType CIDFonts whose CIDs are the subset's glyph numbers,
// with a ToUnicode map that gives the text back.
//
//     ShapedText text(doc, "Helvetica", lines);
//     if (text.CanShow()) { text.Prepare(shown_lines); ... text.Show(w, line, 12); }

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/AppearanceWriter.h"

namespace qvx::PDF {

class TextSetter {
public:
    virtual ~TextSetter() = default;
    // Width of text at size 1 (in text space units per point of size).
    virtual double Width(std::u16string_view text) = 0;
    // Called once with every line that will be shown, before the first Show.
    virtual void Prepare(const std::vector<std::u16string>& lines) = 0;
    // Writes the operators that show text at size from the current text position.
    virtual void Show(AppearanceWriter& w, std::u16string_view text, double size) = 0;

protected:
    // Writes Tf when the font or size differs from the last one written.
    void SetFont(AppearanceWriter& w, const std::string& name, double size);

private:
    std::string m_font;
};

class ShapedText : public TextSetter {
public:
    // Chooses the fonts for the characters of lines: one that has them all when there is
    // one (family first, as fontconfig orders the system fonts), else several, each for the
    // characters the ones before lack. Characters no font has are left out.
    ShapedText(SDF::SDFDoc& doc, const std::string& family, const std::vector<std::u16string>& lines);
    ~ShapedText() override;
    // Whether a font was found for any character.
    bool CanShow() const;

    double Width(std::u16string_view text) override;
    void Prepare(const std::vector<std::u16string>& lines) override;
    void Show(AppearanceWriter& w, std::u16string_view text, double size) override;

private:
    struct Impl;
    std::unique_ptr<Impl> mp;
};

}  // namespace qvx::PDF
