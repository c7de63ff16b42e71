#include "pdf/ElementReader.h"
#include "pdf/ElementReaderFrame.h"

#include <algorithm>
#include <limits>

#include "common/Limits.h"
#include "pdf/ObjUtil.h"
#include "sdf/SDFDoc.h"
#include "pdf/Shading.h"
#include "pdf/StreamData.h"
#include "pdf/TextLayout.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {
// What a walk may spend on drawing streams again: their sizes, each entry counted as at
// least a kilobyte (the reading of a stream costs more than its bytes).
constexpr std::uint64_t kMaxRereadBytes = 1ull << 30;
constexpr std::uint64_t kRereadEntryBytes = 1024;

// A lexer that records the token findings of a compliance run against the content stream
// (nothing is recorded outside a run: the document's hooks are off then).
ContentLexer LexerOf(Common::ByteView data, const SDF::Obj* stream)
{
    SDF::SDFDoc* doc = stream ? stream->GetDoc() : nullptr;
    if (!doc) return ContentLexer(data);
    std::uint32_t num = 0;
    for (const SDF::Obj* p = stream; p && !num; p = p->GetParent())
        if (p->IsIndirect()) num = p->GetObjNum();
    return ContentLexer(data, &doc->GetImpl(), num);
}
}  // namespace


ElementReader::ElementReader(ResourceCache& cache, ContentObserver* observer)
    : m_cache(cache), mp_observer(observer), m_glyph_width(std::numeric_limits<double>::quiet_NaN())
{
}

ElementReader::~ElementReader() = default;

const Resources& ElementReader::GetResources() const
{
    static const Resources kNone;
    return m_frames.empty() ? kNone : m_frames.back()->resources;
}

int ElementReader::SaveDepth() const { return m_frames.empty() ? 0 : m_frames.back()->depth; }

Obj* ElementReader::CurrentStream() const
{
    if (m_frames.empty()) return nullptr;
    const Frame& f = *m_frames.back();
    if (f.streams.empty()) return f.entered;
    std::size_t pos = m_op.offset;
    Obj* s = f.streams.front().second;
    for (const auto& [start, obj] : f.streams) {
        if (start > pos) break;
        s = obj;
    }
    return s;
}

std::size_t ElementReader::OffsetInStream() const
{
    std::size_t start = 0;
    if (!m_frames.empty())
        for (const auto& [at, obj] : m_frames.back()->streams) {
            if (at > m_op.offset) break;
            start = at;
        }
    return m_op.offset - start;
}

ContentIssue ElementReader::MakeIssue(ContentIssue::Kind kind, std::string_view name, std::string_view category) const
{
    ContentIssue issue{kind, m_op.keyword, category, std::string(name), CurrentStream(), OffsetInStream(),
                       !m_frames.empty() && m_frames.back()->compat > 0};
    issue.resources = GetResources().GetDict();
    return issue;
}

void ElementReader::Issue(ContentIssue::Kind kind, std::string_view name, std::string_view category)
{
    if (mp_observer) mp_observer->OnIssue(MakeIssue(kind, name, category));
}

void ElementReader::Push(std::unique_ptr<Frame> f)
{
    f->saved_base = m_saved.size();
    f->entry_state = m_gs;
    f->tm = m_tm;
    f->tlm = m_tlm;
    SDF::Obj* stream = f->entered ? f->entered : (f->streams.empty() ? nullptr : f->streams.front().second);
    f->lexer = LexerOf(f->data, stream);
    m_frames.push_back(std::move(f));
    m_dirty = true;
}

void ElementReader::Restart()
{
    while (!m_frames.empty()) End();
    m_gs = m_last = GState();
    m_saved.clear();
}

void ElementReader::Begin(const Page& page)
{
    Restart();
    // A page starts a new share of drawing again; the streams it is followed by (its
    // annotations' appearances) share the page's.
    m_drawn.clear();
    m_reread = 0;
    auto f = std::make_unique<Frame>();
    f->resources = Resources(page.GetResourceDict());
    for (Obj* s : page.GetContentStreams()) {
        f->streams.emplace_back(f->data.size(), s);
        auto data = ReadDecoded(s, Common::Limits::kMaxContentBytes - f->data.size());
        if (!data) {
            m_op = Operation();
            if (mp_observer) mp_observer->OnIssue({ContentIssue::e_unreadable_stream, {}, {}, {}, s, 0, false});
            continue;
        }
        // The first stream is taken as it is: content of a gigabyte is not copied.
        if (f->data.empty()) f->data = std::move(*data);
        else f->data.insert(f->data.end(), data->begin(), data->end());
        // Streams of an array are one content; a separator keeps tokens apart.
        f->data.push_back('\n');
    }
    Push(std::move(f));
}

void ElementReader::Begin(Obj* stream, Obj* resources)
{
    Restart();
    auto f = std::make_unique<Frame>();
    Obj* own = FindDict(stream, "Resources");
    f->resources = Resources(own ? own : resources);
    f->entered = Deref(stream);
    if (auto data = ReadDecoded(stream, Common::Limits::kMaxContentBytes)) {
        f->data = std::move(*data);
    } else if (mp_observer) {
        mp_observer->OnIssue({ContentIssue::e_unreadable_stream, {}, {}, {}, f->entered, 0, false});
    }
    Push(std::move(f));
}

void ElementReader::Begin(Common::ByteView content, Obj* resources, Obj* stream)
{
    Restart();
    auto f = std::make_unique<Frame>();
    f->resources = Resources(resources);
    f->entered = stream;
    Push(std::move(f));
    m_frames.back()->lexer = LexerOf(content, stream);
}

bool ElementReader::CanEnter(Obj* stream)
{
    Obj* s = Deref(stream);
    if (!s || !s->IsStream()) {
        Issue(ContentIssue::e_bad_resource);
        return false;
    }
    if (NestingDepth() >= Common::Limits::kMaxContentNesting) {
        Issue(ContentIssue::e_nesting_limit);
        return false;
    }
    for (const auto& f : m_frames) {
        if (f->entered == s) {
            Issue(ContentIssue::e_recursion);
            return false;
        }
    }
    return true;
}

bool ElementReader::EnterStream(Obj* stream, Obj* own_resources, const Matrix& m, Obj* owner)
{
    if (!CanEnter(stream)) return false;
    Obj* entered = Deref(stream);
    const bool again = !m_drawn.insert(entered).second;
    if (again && m_reread > kMaxRereadBytes) {
        Issue(ContentIssue::e_reread_limit);
        return false;
    }
    auto f = std::make_unique<Frame>();
    f->entered = entered;
    f->resources_owner = owner ? owner : f->entered;
    const Resources* parent = &m_frames.back()->resources;
    f->resources = Resources(own_resources, parent);
    auto data = ReadDecoded(f->entered, Common::Limits::kMaxContentBytes);
    if (!data) {
        Issue(ContentIssue::e_unreadable_stream);
        return false;
    }
    if (again) m_reread += std::max<std::uint64_t>(data->size(), kRereadEntryBytes);
    f->data = std::move(*data);
    Push(std::move(f));
    m_gs.ctm = m.Then(m_gs.ctm);
    m_frames.back()->space = m_gs.ctm;
    return true;
}

const Matrix& ElementReader::StreamSpace() const
{
    static const Matrix kIdentity;
    return m_frames.empty() ? kIdentity : m_frames.back()->space;
}

bool ElementReader::FormBegin()
{
    if (m_frames.empty() || m_el.kind != Element::e_form || !m_el.obj) return false;
    Matrix m;
    ReadMatrix(FindIn(m_el.obj, "Matrix"), m);
    return EnterStream(m_el.obj, FindDict(m_el.obj, "Resources"), m);
}

bool ElementReader::PatternBegin(bool fill)
{
    if (m_frames.empty()) return false;
    Pattern p = Pattern::Read((fill ? m_gs.fill : m_gs.stroke).pattern);
    if (p.type != 1) return false;
    // A pattern's space is that of the stream using it: the page's, or a form's as the
    // form is drawn.
    GState keep = m_gs;
    m_gs.ctm = StreamSpace();
    if (!EnterStream(p.obj, p.resources, p.matrix)) {
        m_gs = keep;
        return false;
    }
    m_frames.back()->entry_state = keep;
    return true;
}

bool ElementReader::Type3GlyphBegin(std::uint32_t code)
{
    return Type3GlyphBegin(code, m_tm);
}

bool ElementReader::Type3GlyphBegin(std::uint32_t code, const Matrix& text_matrix)
{
    if (m_frames.empty() || !m_gs.font || m_gs.font->GetKind() != Font::e_type3) return false;
    Obj* proc = m_gs.font->GetCharProc(code);
    if (!proc) return false;
    m_glyph_width = std::numeric_limits<double>::quiet_NaN();
    Matrix m = m_gs.font->GetFontMatrix().Then(Matrix{m_gs.font_size * m_gs.horiz_scale / 100, 0, 0, m_gs.font_size, 0, m_gs.text_rise}).Then(text_matrix);
    const Matrix space = m_frames.back()->space;
    if (!EnterStream(proc, m_gs.font->GetType3Resources(), m, m_gs.font->GetSDFObj())) return false;
    // Patterns in a glyph are laid out as in the stream that shows the glyph.
    m_frames.back()->space = space;
    return true;
}

bool ElementReader::AppearanceBegin(Obj* stream)
{
    if (m_frames.empty()) {
        Begin(stream, nullptr);
        Matrix m;
        ReadMatrix(FindIn(stream, "Matrix"), m);
        m_gs.ctm = m;
        return !m_frames.empty();
    }
    Matrix m;
    ReadMatrix(FindIn(stream, "Matrix"), m);
    return EnterStream(stream, FindDict(stream, "Resources"), m);
}

void ElementReader::ResetTransparency()
{
    m_gs.fill_alpha = m_gs.stroke_alpha = 1;
    m_gs.blend_mode = "Normal";
    m_gs.soft_mask = nullptr;
    m_dirty = true;
}

void ElementReader::End()
{
    if (m_frames.empty()) return;
    Frame& f = *m_frames.back();
    m_saved.resize(std::min(m_saved.size(), f.saved_base));
    m_gs = f.entry_state;
    m_tm = f.tm;
    m_tlm = f.tlm;
    m_frames.pop_back();
    m_dirty = true;
}

const Element* ElementReader::Emit(Element::Kind kind)
{
    m_el.kind = kind;
    m_el.op = &m_op;
    m_el.gstate = &m_gs;
    m_el.depth = SaveDepth();
    m_el.stream = CurrentStream();
    if (m_dirty) {
        m_el.changed = GState::Diff(m_last, m_gs);
        if (m_el.changed) m_last = m_gs;
        m_dirty = false;
    } else {
        m_el.changed = 0;
    }
    return &m_el;
}

const Element* ElementReader::Next()
{
    if (m_frames.empty()) return nullptr;
    ContentLexer& lex = m_frames.back()->lexer;
    while (lex.Next(m_op)) {
        ++m_op_count;
        m_el = Element();
        bool element = Dispatch();
        if (m_hook) m_hook(m_op);
        if (element) {
            const Element* e = Emit(m_el.kind);
            if (e->kind == Element::e_text) {
                m_tm = LayoutText(*e, {});
            }
            return e;
        }
    }
    // Told of a stream drawn alone: the streams of a page's array are one content, which an
    // operation may span, so the end of the last says nothing of that stream by itself.
    if (lex.TakeEndedInside() && m_frames.back()->streams.size() <= 1) {
        m_op = Operation();
        m_op.offset = lex.Position() - 1;
        Issue(ContentIssue::e_ended_inside);
    }
    return nullptr;
}

}  // namespace qvx::PDF
