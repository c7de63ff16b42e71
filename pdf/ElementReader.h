#pragma once
// Reads content streams into elements with their graphics state.
//
//     ResourceCache cache;                       // one per document walk
//     ElementReader reader(cache, &observer);    // observer: issues (may be null)
//     reader.Begin(page);
//     while (const Element* e = reader.Next()) {
//         if (e->kind == Element::e_form && reader.FormBegin()) {
//             while (const Element* inner = reader.Next()) { ... }
//             reader.End();
//         }
//     }
//     reader.End();
//
// Next() returns null at the end of the innermost stream; End() leaves it and restores the
// state of the stream that entered it. Forms, tiling patterns, Type 3 glyph procedures and
// annotation appearances are entered only on request, each with its own resources (the
// caller's when it has none) and its own q/Q count. Entering a stream that is already
// being read, or going deeper than the nesting limit, is refused and reported. A stream is
// always read the first time it is drawn; drawing it again costs its size, and once the
// reader has re-read a gigabyte that way since it began on a page (forms that draw each
// other ten times over, a dozen deep, would take days) no stream is read a second time:
// that too is reported.
//
// Nothing throws on damaged content: problems go to the observer and reading goes on.

#include <functional>
#include <memory>
#include <unordered_set>
#include <vector>

#include "pdf/ContentLexer.h"
#include "pdf/Element.h"
#include "pdf/Page.h"
#include "pdf/ResourceCache.h"

namespace qvx::PDF {

class ElementReader {
public:
    explicit ElementReader(ResourceCache& cache, ContentObserver* observer = nullptr);
    ~ElementReader();
    ElementReader(const ElementReader&) = delete;
    ElementReader& operator=(const ElementReader&) = delete;

    // Starts on a page: its content streams in order, with its resources.
    void Begin(const Page& page);
    // Starts on one content stream (a form, an appearance, a glyph procedure) with the
    // stream's own Resources, else `resources`.
    void Begin(SDF::Obj* stream, SDF::Obj* resources = nullptr);
    // Starts on content bytes held by the caller (which must outlive the walk).
    void Begin(Common::ByteView content, SDF::Obj* resources, SDF::Obj* stream = nullptr);

    // The next element of the innermost stream, or null at its end.
    const Element* Next();

    // Enter the form of the current e_form element.
    bool FormBegin();
    // Enter the tiling pattern of the current fill (or stroke) colour.
    bool PatternBegin(bool fill = true);
    // Enter the glyph procedure of a code of the current Type 3 font, at the current text
    // matrix or at the one given (a glyph inside a string shown).
    bool Type3GlyphBegin(std::uint32_t code);
    bool Type3GlyphBegin(std::uint32_t code, const Matrix& text_matrix);
    // Enter an appearance stream (a form XObject) in the current state.
    bool AppearanceBegin(SDF::Obj* stream);
    // Inside a transparency group the group's alpha, blend mode and soft mask apply to the
    // group as a whole: the state inside starts from their defaults.
    void ResetTransparency();
    // Leaves the innermost stream (ends the walk when it is the outermost).
    void End();

    // Streams entered, the outermost being 1 (0 before Begin or after the last End).
    int NestingDepth() const { return static_cast<int>(m_frames.size()); }
    const GState& GetGState() const { return m_gs; }
    const Resources& GetResources() const;
    // The content stream of the innermost frame (the current Contents stream of a page).
    SDF::Obj* CurrentStream() const;
    // Where the current operator stands in that stream's decoded data.
    std::size_t OffsetInStream() const;
    // The width a Type 3 glyph procedure declared with d0 or d1 (NaN when none yet).
    double GlyphWidth() const { return m_glyph_width; }
    // Counts of what was read so far (all streams).
    std::size_t OperatorCount() const { return m_op_count; }

    // q nesting of the innermost stream.
    int SaveDepth() const;
    // The innermost stream's own space (where its patterns' matrices start: a form's space
    // as the form is drawn; a glyph's is that of the stream showing it), in the walk's user
    // space; identity for the outermost stream.
    const Matrix& StreamSpace() const;
    // Called with every operator read (elements or not) after it took effect, for tools
    // that list operators; an empty function removes the hook.
    void SetOperatorHook(std::function<void(const Operation&)> hook) { m_hook = std::move(hook); }

private:
    struct Frame;
    // Leaves every stream and starts again from the initial state.
    void Restart();
    void Push(std::unique_ptr<Frame> f);
    bool CanEnter(SDF::Obj* stream);
    // owner: what holds the stream's Resources when not the stream itself (a Type 3 font).
    bool EnterStream(SDF::Obj* stream, SDF::Obj* own_resources, const Matrix& m, SDF::Obj* owner = nullptr);
    ContentIssue MakeIssue(ContentIssue::Kind kind, std::string_view name = {}, std::string_view category = {}) const;
    void Issue(ContentIssue::Kind kind, std::string_view name = {}, std::string_view category = {});
    const Element* Emit(Element::Kind kind);
    // One operator: true when it produced an element.
    bool Dispatch();
    bool Numbers(std::size_t n, double* out);
    // A named resource of the current stream; one found only in an invoking stream's
    // resources is reported as such.
    Resources::Found FindResource(std::string_view category, std::string_view name);
    void SetColorSpace(ColorState& cs, const Operand& name);
    void SetColor(ColorState& cs, bool allow_pattern);
    void SetDevice(ColorState& cs, ColorSpace::Family f, std::size_t n);
    void ApplyExtGState(const Operand& name);
    void SetFont();
    bool ShowText();
    bool DoXObject();
    bool MarkedContent(bool begin, bool point);
    void NextLine();

    ResourceCache& m_cache;
    ContentObserver* mp_observer;
    std::vector<std::unique_ptr<Frame>> m_frames;
    std::vector<GState> m_saved;     // q stack (all frames)
    GState m_gs, m_last;
    bool m_dirty = true;
    bool m_pending_clip = false;
    Matrix m_tm, m_tlm;
    Operation m_op;
    Element m_el;
    double m_glyph_width;
    std::size_t m_op_count = 0;
    std::unordered_set<const SDF::Obj*> m_drawn;  // streams entered since the page began
    std::uint64_t m_reread = 0;                   // what entering them again has cost
    std::function<void(const Operation&)> m_hook;
};

}  // namespace qvx::PDF
