#pragma once
// The font group's content check: every font that text shows is checked once per run
// (dictionary, embedding, encodings, CMaps, subsets, ToUnicode), and every code the first
// time a font shows it (glyph in the program, width, .notdef, Unicode). Type 3 glyph
// procedures are read for their declared widths and the text they show in turn.

#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "pdf/compliance/ContentRewrite.h"
#include "pdf/compliance/ContentWalk.h"
#include "pdf/compliance/FontRules.h"

namespace qvx::PDF {

class FontCheck final : public ContentCheck {
public:
    void PageBegin(PassContext& ctx, const Page& page) override;
    void OnElement(PassContext& ctx, const Element& el, ElementReader& reader) override;
    void OnIssue(PassContext& ctx, const ContentIssue& issue) override;

private:
    // Codes are keyed by the code (simple fonts) or the CID (composite fonts).
    struct FontState {
        std::shared_ptr<const Font> font;
        bool rendered = false;                       // the rules of drawn text have run
        bool program_ok = false;                     // the glyph rules can use the program
        bool subset_checked = false;                 // CIDSet or CharSet looked at
        std::unordered_set<std::uint64_t> seen;      // codes tested for Unicode, in and out of ActualText
        std::unordered_set<std::uint32_t> drawn;     // codes tested against the program
        std::unordered_set<std::uint32_t> hidden;    // codes of invisible text tested for .notdef
        std::unordered_map<std::uint32_t, bool> private_use;  // codes whose text stays private-use
        FontRules::SubsetInfo subset;
    };
    FontState& StateOf(PassContext& ctx, const GState& gs);
    // The rules for fonts that draw (text render mode 3 draws nothing), once per font.
    void RenderChecks(PassContext& ctx, FontState& st);
    void OnCode(PassContext& ctx, FontState& st, const Font::CharCode& c, bool drawn, SDF::Obj* caller_resources);
    void OnText(PassContext& ctx, const Element& el, ElementReader& reader);
    // Whether the code's text keeps a private-use value, judged once per code of a font.
    static bool KeepsPrivateUse(FontState& st, const Font::CharCode& c);
    // The repair of an operation whose codes keep private-use values.
    static ActualTextFix ActualTextOf(FontState& st, const Element& el);
    void TextWithoutFont(PassContext& ctx, const Element& el, ElementReader& reader);
    // False when the code has no glyph procedure, or no name in the Differences, which a
    // Type 3 font's encoding is to list in full (the copy's will).
    bool Type3Glyph(PassContext& ctx, const Font& font, const Font::CharCode& c, SDF::Obj* caller_resources);

    std::map<const SDF::Obj*, FontState> m_fonts;
    std::vector<bool> m_actual_text;  // marked content open: whether ActualText encloses it
    SDF::Obj* mp_struct_parents = nullptr;
    int m_type3_depth = 0;
    // The name of the last Tf whose font the resources do not define, with its stream.
    std::string m_missing_font;
    const SDF::Obj* mp_missing_font_stream = nullptr;
};

}  // namespace qvx::PDF
