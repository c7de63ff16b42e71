#pragma once
// Content streams rewritten operation by operation, for repairs that change what a page
// draws without re-reading it as elements.

#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/ContentLexer.h"
#include "pdf/compliance/PassContext.h"

namespace qvx::PDF {

// edit sees each operation with its bytes (the white space and operands before it, and
// the operator; a whole inline image for BI) and either appends what replaces them to out
// and returns true, or returns false to keep them. When anything was replaced the stream
// gets the new content, Flate-compressed; returns whether it did. A stream whose data
// cannot be read is left alone.
// With whole_only, an operation the data ended inside and the operands after the last
// operation are left out too.
using OperationEdit = std::function<bool(const Operation& op, std::string_view bytes, std::string& out)>;
bool RewriteContent(SDF::Obj* stream, const OperationEdit& edit, bool whole_only = false);
// Appends the bytes of a text-showing operation shown in the invisible mode, with the
// rendering mode `mode` set again after it.
void AppendInvisible(std::string& out, std::string_view bytes, int mode);

// Content streams that use keywords which are no content operators, operators without the
// operands they take, or paint XObjects their resources do not define (by name), found by
// the page checks in conversion. Viewers skip such a keyword or operator with its operands,
// and draw nothing for such a name; so does the repair, which takes them out after the page
// walk. Numbers before those an operator takes are dropped: the operator keeps the last
// ones, which are those it was drawn with. A glyph's d0 or d1 whose numbers are damaged (an
// inf in its box) is skipped by readers, which then draw the glyph as one with colours of its
// own, with the advance its font's widths give: it becomes a d0 with the width it names.
// Text shown with no font set at all (a Tf without its name, or none) is drawn by no reader,
// which moves no text position for it either; validators reject text operators without a
// font all the same. It is shown in the invisible mode with the font defined for the stream
// (font_name, when conversion could define one) at size 0 and with no spacing, keeping its
// bytes, and the state it was shown in comes back after it. A Tf naming the empty name,
// which some readers drop from dictionaries, names font_name instead. Operators are known by
// the offset of their keyword in the stream's data (and the keyword), so every edit of a
// stream is made in its one rewrite. An ri naming an intent no reader knows names
// RelativeColorimetric, which readers use in its place. A text-showing operation listed in
// actual_text is cut into its runs, each run of codes that keeps private-use values
// enclosed in a Span with their ActualText; one the other edits change is enclosed whole.
struct FontlessText {
    int mode;  // the text state in force
    double char_spacing, word_spacing;
};
struct ActualTextRun {
    std::u16string text;  // empty for a run of codes that need no ActualText
    std::string shown;    // the body of the run's TJ array
};
struct ActualTextFix {
    std::u16string whole;              // the text of the whole operation
    std::vector<ActualTextRun> runs;   // empty when its strings could not be cut into codes
};
struct StreamCleaning {
    std::set<std::string> missing;
    std::map<std::size_t, std::string> faulty, crowded;
    std::map<std::size_t, FontlessText> fontless;
    std::map<std::size_t, ActualTextFix> actual_text;
    std::string font_name;
    bool unknown_intents = false;
    bool ended_inside = false;  // the stream ends after its last whole operation
};
struct StreamsToClean : std::map<SDF::Obj*, StreamCleaning> {};
void CleanContentStreams(PassContext& ctx);

// Content streams with inline images that ask for interpolation, name an unknown rendering
// intent or use a filter the level forbids, found by the image checks in conversion. The
// repair writes those images again without the entry, as it does for image XObjects, and
// with their data decoded and compressed again with permitted filters.
struct StreamsWithInlineImageEntries : std::set<SDF::Obj*> {};
void RemoveInlineImageEntries(PassContext& ctx);

// Names that a form, pattern, appearance stream or Type 3 glyph draws with from its
// caller's resources, found by the page checks in conversion. The repair copies each entry
// into the stream's own resources (made when missing), so it draws the same objects as
// before.
struct InheritedResource {
    SDF::Obj* owner;     // holds the stream's Resources
    std::string category;
    std::string name;
    SDF::Obj* entry;     // as the caller's resources hold it
};
struct InheritedResources : std::vector<InheritedResource> {};
void CopyInheritedResources(PassContext& ctx);

// The content streams the page checks walked in conversion. When the run found numbers
// beyond the limits of the level, the repair writes each such number in those streams again:
// an integer beyond 32 bits as the real of the same value, a number beyond the level's
// range as the nearest one within it, and a token that is no number as the 0 it was read as.
// When it found names that are not UTF-8, it writes those in the streams as conversion read
// them (each byte a Latin-1 character), the form the resource keys they name are written in.
// Hexadecimal strings of an odd number of digits get the last zero readers assume, and text
// shown with strings beyond the level's length limit is shown with the strings cut.
struct ContentStreamsWalked : std::set<SDF::Obj*> {};
void WriteNumbersWithinLimits(PassContext& ctx);

// Content streams whose q operations nest deeper than the level allows, each with the
// resources it draws with, found by the page checks in conversion. The repair draws what each
// q at the deepest allowed level saves as a form XObject in its place: a form saves and
// restores the graphics state as q and Q do, and its content counts its own nesting.
struct DeepNesting : std::map<SDF::Obj*, SDF::Obj*> {};
void MoveDeepNestingIntoForms(PassContext& ctx);

}  // namespace qvx::PDF
