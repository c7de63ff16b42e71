#include "sdf/Linearizer.h"

#include "common/Exception.h"
#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"
#include "sdf/DocWriter.h"
#include "sdf/LinearizeHints.h"
#include "sdf/LinearizePlan.h"
#include "sdf/Objects.h"
#include "sdf/SDFDocImpl.h"
#include "sdf/SaveObjects.h"
#include "sdf/XRefWriter.h"

namespace qvx::SDF {

namespace {

// A run of objects rendered back to back, with the offset of each inside the run.
struct Rendered {
    std::string bytes;
    std::vector<std::uint64_t> starts;

    std::uint64_t Length(std::size_t i) const
    {
        return (i + 1 < starts.size() ? starts[i + 1] : bytes.size()) - starts[i];
    }
};

// Where the parts of the file start, for one set of sizes of the parts whose contents
// depend on the offsets (linearization dictionary, first section, hint stream).
struct Offsets {
    std::uint64_t lin, x1, part4, hint, part6, rest, main;
    std::uint64_t hint_len;
    // Hint tables give offsets as if the hint stream were not in the file.
    std::uint64_t Adjusted(std::uint64_t off) const { return off >= hint + hint_len ? off - hint_len : off; }
};

class Layout {
public:
    Layout(SDFDocImpl& doc, Obj& trailer, LinearizePlan plan, SecurityHandler* handler, bool hex)
        : m_doc(doc), m_trailer(trailer), m_plan(std::move(plan)), m_handler(handler), m_hex(hex)
    {
        Order();
        Number();
        Render(m_plan.open_doc, m_part4);
        Render(m_first, m_part6);
        Render(m_late, m_rest);
    }

    // Writes the file after the header; returns the offset of the first section.
    std::uint64_t Write(DocWriter& w);

private:
    void Order();
    void Number();
    void Render(const std::vector<std::uint32_t>& objects, Rendered& out);
    std::string Object(std::uint32_t num, const Obj& body, bool encrypt) const;
    HintTables Hints(const Offsets& o) const;
    std::string HintStream(const Offsets& o) const;
    std::string MainSection(const Offsets& o) const;
    std::string LinDict(const Offsets& o, std::uint64_t file_end) const;
    std::string FirstSection(const Offsets& o) const;

    SDFDocImpl& m_doc;
    Obj& m_trailer;
    LinearizePlan m_plan;
    SecurityHandler* m_handler;
    bool m_hex;
    // The first page section and the later parts in file order; where the outlines start
    // in the one that holds them.
    std::vector<std::uint32_t> m_first, m_late;
    std::size_t m_outline_at = 0;
    std::vector<std::uint32_t> m_renumber;
    std::uint32_t m_main_size = 0, m_lin_num = 0, m_hint_num = 0, m_total_size = 0;
    Rendered m_part4, m_part6, m_rest;
};

// The first page section: the first page, then the outlines when shown at open. The later
// parts: the other pages, the shared objects, the other objects (outlines first when not
// shown at open).
void Layout::Order()
{
    m_first = m_plan.pages[0];
    for (std::size_t i = 1; i < m_plan.pages.size(); ++i)
        m_late.insert(m_late.end(), m_plan.pages[i].begin(), m_plan.pages[i].end());
    m_late.insert(m_late.end(), m_plan.shared.begin(), m_plan.shared.end());
    std::vector<std::uint32_t>& outline_part = m_plan.outlines_at_open ? m_first : m_late;
    m_outline_at = outline_part.size();
    outline_part.insert(outline_part.end(), m_plan.outlines.begin(), m_plan.outlines.end());
    m_late.insert(m_late.end(), m_plan.other.begin(), m_plan.other.end());
}

// The later parts from 1 in file order, then the linearization dictionary, the open-document
// objects, the first page section and the hint stream.
void Layout::Number()
{
    m_renumber.assign(m_doc.XRefSize(), 0);
    std::uint32_t next = 1;
    for (std::uint32_t n : m_late) m_renumber[n] = next++;
    m_main_size = next;
    m_lin_num = next++;
    for (std::uint32_t n : m_plan.open_doc) m_renumber[n] = next++;
    for (std::uint32_t n : m_first) m_renumber[n] = next++;
    m_hint_num = next++;
    m_total_size = next;
}

void Layout::Render(const std::vector<std::uint32_t>& objects, Rendered& out)
{
    for (std::uint32_t n : objects) {
        out.starts.push_back(out.bytes.size());
        out.bytes += Object(m_renumber[n], LoadForWrite(*m_doc.GetEntry(n)), true);
    }
}

// One object under number num (generation 0), or a direct object when num is 0.
std::string Layout::Object(std::uint32_t num, const Obj& body, bool encrypt) const
{
    Filters::MemoryFilter sink;
    {
        Filters::FilterWriter fw(sink);
        DocWriter w(fw, 0);
        w.SetRenumbering(&m_renumber);
        w.SetOutput(encrypt ? m_handler : nullptr, m_hex || m_handler);
        if (num) w.WriteIndirect(num, 0, body, encrypt);
        else w.WritePlain(body);
    }
    return std::string(Common::AsChars(sink.Data()));
}

HintTables Layout::Hints(const Offsets& o) const
{
    HintTables t;
    const auto& pages = m_plan.pages;
    t.first_page_offset = o.Adjusted(o.part6);
    t.pages.resize(pages.size());
    t.pages[0].objects = static_cast<std::uint32_t>(m_first.size());
    t.pages[0].length = m_part6.bytes.size();
    // Shared object entries: each object of the first page section, then each shared one.
    std::vector<std::uint32_t> shared_id(m_doc.XRefSize(), 0);
    for (std::size_t k = 0; k < m_first.size(); ++k) {
        shared_id[m_first[k]] = static_cast<std::uint32_t>(k);
        t.entry_lengths.push_back(m_part6.Length(k));
    }
    t.first_page_entries = static_cast<std::uint32_t>(m_first.size());
    std::size_t at = 0;  // index into the later parts
    for (std::size_t i = 1; i < pages.size(); ++i) {
        t.pages[i].objects = static_cast<std::uint32_t>(pages[i].size());
        for (std::size_t k = 0; k < pages[i].size(); ++k) t.pages[i].length += m_rest.Length(at + k);
        at += pages[i].size();
    }
    for (std::size_t k = 0; k < m_plan.shared.size(); ++k) {
        shared_id[m_plan.shared[k]] = t.first_page_entries + static_cast<std::uint32_t>(k);
        t.entry_lengths.push_back(m_rest.Length(at + k));
    }
    if (!m_plan.shared.empty()) {
        t.first_shared_num = m_renumber[m_plan.shared.front()];
        t.first_shared_offset = o.Adjusted(o.rest + m_rest.starts[at]);
    }
    for (std::size_t i = 1; i < pages.size(); ++i)
        for (std::uint32_t n : m_plan.shared_refs[i]) t.pages[i].shared.push_back(shared_id[n]);
    if (!m_plan.outlines.empty()) {
        const Rendered& part = m_plan.outlines_at_open ? m_part6 : m_rest;
        const std::uint64_t part_off = m_plan.outlines_at_open ? o.part6 : o.rest;
        t.outline_first_num = m_renumber[m_plan.outlines.front()];
        t.outline_offset = o.Adjusted(part_off + part.starts[m_outline_at]);
        t.outline_count = m_plan.outline_reach;
        for (std::size_t k = 0; k < m_plan.outlines.size(); ++k) t.outline_length += part.Length(m_outline_at + k);
    }
    return t;
}

std::string Layout::HintStream(const Offsets& o) const
{
    HintStreamData hd = EncodeHints(Hints(o));
    auto dict = Dict::Create();
    dict->PutNumber("S", hd.shared_table_offset);
    if (hd.outline_table_offset) dict->PutNumber("O", hd.outline_table_offset);
    auto stream = FileStream::Create(std::move(hd.data), std::move(dict));
    return Object(m_hint_num, *stream, true);
}

// The later parts' section. Its trailer repeats the document's keys (a reader of the last
// trailer, such as a PDF/A validator, looks for the ID there); startxref names the first.
std::string Layout::MainSection(const Offsets& o) const
{
    std::string text = "xref\r0 " + std::to_string(m_main_size) + "\r" + XRefLine({0, 0, 65535});
    for (std::uint64_t s : m_rest.starts) text += XRefLine({1, o.rest + s, 0});
    std::unique_ptr<Obj> trailer = m_trailer.Clone();
    trailer->PutNumber("Size", m_main_size);
    return text + "trailer\r" + Object(0, *trailer, false) + "\rstartxref\r" + std::to_string(o.x1) + "\r%%EOF\n";
}

std::string Layout::LinDict(const Offsets& o, std::uint64_t file_end) const
{
    auto d = Dict::Create();
    d->PutNumber("Linearized", 1);
    d->PutNumber("L", static_cast<double>(file_end));
    Obj* h = d->PutArray("H");
    h->PushBackNumber(static_cast<double>(o.hint));
    h->PushBackNumber(static_cast<double>(o.hint_len));
    d->PutNumber("O", m_renumber[m_plan.pages[0].front()]);
    d->PutNumber("E", static_cast<double>(o.rest));
    d->PutNumber("N", static_cast<double>(m_plan.pages.size()));
    // The white space before the main section's first entry.
    d->PutNumber("T", static_cast<double>(o.main + ("xref\r0 " + std::to_string(m_main_size)).size()));
    return Object(m_lin_num, *d, false);
}

// The first page's section: the linearization dictionary, the open-document objects, the
// first page section and the hint stream; its trailer names everything and the main section.
std::string Layout::FirstSection(const Offsets& o) const
{
    std::string text = "xref\r" + std::to_string(m_lin_num) + " " + std::to_string(m_total_size - m_lin_num) + "\r";
    text += XRefLine({1, o.lin, 0});
    for (std::uint64_t s : m_part4.starts) text += XRefLine({1, o.part4 + s, 0});
    for (std::uint64_t s : m_part6.starts) text += XRefLine({1, o.part6 + s, 0});
    text += XRefLine({1, o.hint, 0});
    std::unique_ptr<Obj> trailer = m_trailer.Clone();
    trailer->PutNumber("Size", m_total_size);
    trailer->PutNumber("Prev", static_cast<double>(o.main));
    return text + "trailer\r" + Object(0, *trailer, false) + "\rstartxref\r0\r%%EOF\n";
}

std::uint64_t Layout::Write(DocWriter& w)
{
    // The sizes of the linearization dictionary, the first section and the hint stream
    // depend on the offsets they hold: lay out until they stop changing.
    std::string lin, x1, hint, main;
    for (int round = 0;; ++round) {
        QVX_CHECK(round < 16, "Linearized layout does not settle");
        Offsets o{};
        o.lin = w.Offset();
        o.x1 = o.lin + lin.size();
        o.part4 = o.x1 + x1.size();
        o.hint = o.part4 + m_part4.bytes.size();
        o.hint_len = hint.size();
        o.part6 = o.hint + hint.size();
        o.rest = o.part6 + m_part6.bytes.size();
        o.main = o.rest + m_rest.bytes.size();
        std::string new_hint = HintStream(o);
        main = MainSection(o);
        std::string new_lin = LinDict(o, o.main + main.size());
        std::string new_x1 = FirstSection(o);
        bool settled = new_lin.size() == lin.size() && new_x1.size() == x1.size() && new_hint.size() == hint.size();
        lin = std::move(new_lin);
        x1 = std::move(new_x1);
        hint = std::move(new_hint);
        if (settled) break;
    }
    const std::uint64_t first_section = w.Offset() + lin.size();
    for (const std::string* s : {&lin, &x1, &m_part4.bytes, &hint, &m_part6.bytes, &m_rest.bytes, &main})
        w.WriteText(*s);
    return first_section;
}

}  // namespace

std::optional<std::uint64_t> WriteLinearized(DocWriter& w, SDFDocImpl& doc, Obj& trailer, SecurityHandler* handler,
                                             bool hex)
{
    LinearizePlan plan = PlanLinearized(doc, trailer);
    if (plan.pages.empty()) return std::nullopt;
    Layout layout(doc, trailer, std::move(plan), handler, hex);
    return layout.Write(w);
}

}  // namespace qvx::SDF
