#include "sdf/Linearizer.h"

#include <numeric>

#include "common/Exception.h"
#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"
#include "sdf/DocWriter.h"
#include "sdf/LinearizeHints.h"
#include "sdf/LinearizePlan.h"
#include "sdf/Objects.h"
#include "sdf/SDFDocImpl.h"
#include "sdf/SaveObjects.h"

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

class Renderer {
public:
    Renderer(SDFDocImpl& doc, const std::vector<std::uint32_t>& renumber, SecurityHandler* handler, bool hex)
        : m_doc(doc), m_renumber(renumber), m_handler(handler), m_hex(hex)
    {
    }

    void Render(const std::vector<std::uint32_t>& objects, Rendered& out)
    {
        for (std::uint32_t n : objects) {
            out.starts.push_back(out.bytes.size());
            out.bytes += Object(m_renumber[n], LoadForWrite(*m_doc.GetEntry(n)), true);
        }
    }

    // One object under number num (generation 0), or a direct object with no number.
    std::string Object(std::uint32_t num, const Obj& body, bool encrypt)
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

private:
    SDFDocImpl& m_doc;
    const std::vector<std::uint32_t>& m_renumber;
    SecurityHandler* m_handler;
    bool m_hex;
};

std::string XRefLine(std::uint64_t offset, bool in_use)
{
    char line[32];
    std::snprintf(line, sizeof line, "%010llu %05u %c\r\n", static_cast<unsigned long long>(offset),
                  in_use ? 0u : 65535u, in_use ? 'n' : 'f');
    return line;
}

}  // namespace

std::optional<std::uint64_t> WriteLinearized(DocWriter& w, SDFDocImpl& doc, Obj& trailer, SecurityHandler* handler,
                                             bool hex)
{
    LinearizePlan plan = PlanLinearized(doc, trailer);
    if (plan.pages.empty()) return std::nullopt;

    // The first page section: the first page, then the outlines when shown at open. The
    // later parts: the other pages, the shared objects, the other objects (outlines first
    // when not shown at open).
    std::vector<std::uint32_t> first = plan.pages[0];
    std::vector<std::uint32_t> late;
    for (std::size_t i = 1; i < plan.pages.size(); ++i) late.insert(late.end(), plan.pages[i].begin(), plan.pages[i].end());
    late.insert(late.end(), plan.shared.begin(), plan.shared.end());
    std::vector<std::uint32_t>& outline_part = plan.outlines_at_open ? first : late;
    const std::size_t outline_at = outline_part.size();
    outline_part.insert(outline_part.end(), plan.outlines.begin(), plan.outlines.end());
    late.insert(late.end(), plan.other.begin(), plan.other.end());

    // Numbers: the later parts from 1 in file order, then the linearization dictionary, the
    // open-document objects, the first page section and the hint stream.
    std::vector<std::uint32_t> renumber(doc.XRefSize(), 0);
    std::uint32_t next = 1;
    for (std::uint32_t n : late) renumber[n] = next++;
    const std::uint32_t main_size = next;  // entries 0 .. main_size - 1
    const std::uint32_t lin_num = next++;
    for (std::uint32_t n : plan.open_doc) renumber[n] = next++;
    for (std::uint32_t n : first) renumber[n] = next++;
    const std::uint32_t hint_num = next++;
    const std::uint32_t total_size = next;

    Renderer r(doc, renumber, handler, hex);
    Rendered part4, part6, rest;
    r.Render(plan.open_doc, part4);
    r.Render(first, part6);
    r.Render(late, rest);
    std::string first_trailer_tail = "\rstartxref\r0\r%%EOF\n";

    const std::uint64_t start = w.Offset();
    std::uint64_t lin_len = 0, x1_len = 0, hint_len = 0;
    std::string lin, x1, hint, main_xref;
    // The sizes of the linearization dictionary, the first cross-reference section and the
    // hint stream depend on the offsets they hold: lay out until they stop changing.
    for (int round = 0;; ++round) {
        QVX_CHECK(round < 16, "Linearized layout does not settle");
        const std::uint64_t x1_off = start + lin_len, p4_off = x1_off + x1_len, hint_off = p4_off + part4.bytes.size(),
                            p6_off = hint_off + hint_len, rest_off = p6_off + part6.bytes.size(),
                            main_off = rest_off + rest.bytes.size();
        auto adjusted = [&](std::uint64_t off) { return off >= hint_off + hint_len ? off - hint_len : off; };

        HintTables t;
        t.first_page_offset = adjusted(p6_off);
        t.pages.resize(plan.pages.size());
        t.pages[0].objects = static_cast<std::uint32_t>(first.size());
        t.pages[0].length = part6.bytes.size();
        std::vector<std::uint32_t> shared_id(doc.XRefSize(), 0);
        for (std::size_t k = 0; k < first.size(); ++k) {
            shared_id[first[k]] = static_cast<std::uint32_t>(k);
            t.entry_lengths.push_back(part6.Length(k));
        }
        t.first_page_entries = static_cast<std::uint32_t>(first.size());
        std::size_t at = 0;  // index into rest
        for (std::size_t i = 1; i < plan.pages.size(); ++i) {
            PageHint& p = t.pages[i];
            p.objects = static_cast<std::uint32_t>(plan.pages[i].size());
            for (std::size_t k = 0; k < plan.pages[i].size(); ++k) p.length += rest.Length(at + k);
            at += plan.pages[i].size();
        }
        for (std::size_t k = 0; k < plan.shared.size(); ++k) {
            shared_id[plan.shared[k]] = t.first_page_entries + static_cast<std::uint32_t>(k);
            t.entry_lengths.push_back(rest.Length(at + k));
        }
        if (!plan.shared.empty()) {
            t.first_shared_num = renumber[plan.shared.front()];
            t.first_shared_offset = adjusted(rest_off + rest.starts[at]);
        }
        for (std::size_t i = 1; i < plan.pages.size(); ++i)
            for (std::uint32_t n : plan.shared_refs[i]) t.pages[i].shared.push_back(shared_id[n]);
        if (!plan.outlines.empty()) {
            const Rendered& part = plan.outlines_at_open ? part6 : rest;
            const std::uint64_t part_off = plan.outlines_at_open ? p6_off : rest_off;
            t.outline_first_num = renumber[plan.outlines.front()];
            t.outline_offset = adjusted(part_off + part.starts[outline_at]);
            t.outline_count = plan.outline_reach;
            for (std::size_t k = 0; k < plan.outlines.size(); ++k) t.outline_length += part.Length(outline_at + k);
        }
        HintStreamData hd = EncodeHints(t);
        auto hint_dict = Dict::Create();
        hint_dict->PutNumber("S", hd.shared_table_offset);
        if (hd.outline_table_offset) hint_dict->PutNumber("O", hd.outline_table_offset);
        auto hint_stream = FileStream::Create(std::move(hd.data), std::move(hint_dict));
        hint = r.Object(hint_num, *hint_stream, true);

        // Main section: the later parts. Its trailer repeats the document's keys (a reader
        // of the last trailer, such as a PDF/A validator, looks for the ID there).
        std::string main_head = "xref\r0 " + std::to_string(main_size) + "\r";
        main_xref = main_head + XRefLine(0, false);
        for (std::size_t k = 0; k < late.size(); ++k) main_xref += XRefLine(rest_off + rest.starts[k], true);
        std::unique_ptr<Obj> main_trailer = trailer.Clone();
        main_trailer->PutNumber("Size", main_size);
        main_xref += "trailer\r" + r.Object(0, *main_trailer, false) + "\rstartxref\r" + std::to_string(x1_off) +
                     "\r%%EOF\n";

        auto lin_dict = Dict::Create();
        lin_dict->PutNumber("Linearized", 1);
        lin_dict->PutNumber("L", static_cast<double>(main_off + main_xref.size()));
        Obj* h = lin_dict->PutArray("H");
        h->PushBackNumber(static_cast<double>(hint_off));
        h->PushBackNumber(static_cast<double>(hint_len));
        lin_dict->PutNumber("O", renumber[plan.pages[0].front()]);
        lin_dict->PutNumber("E", static_cast<double>(rest_off));
        lin_dict->PutNumber("N", static_cast<double>(plan.pages.size()));
        lin_dict->PutNumber("T", static_cast<double>(main_off + main_head.size() - 1));
        lin = r.Object(lin_num, *lin_dict, false);

        x1 = "xref\r" + std::to_string(lin_num) + " " + std::to_string(total_size - lin_num) + "\r";
        x1 += XRefLine(start, true);
        for (std::uint64_t s : part4.starts) x1 += XRefLine(p4_off + s, true);
        for (std::uint64_t s : part6.starts) x1 += XRefLine(p6_off + s, true);
        x1 += XRefLine(hint_off, true);
        std::unique_ptr<Obj> first_trailer = trailer.Clone();
        first_trailer->PutNumber("Size", total_size);
        first_trailer->PutNumber("Prev", static_cast<double>(main_off));
        x1 += "trailer\r" + r.Object(0, *first_trailer, false) + first_trailer_tail;

        if (lin.size() == lin_len && x1.size() == x1_len && hint.size() == hint_len) break;
        lin_len = lin.size();
        x1_len = x1.size();
        hint_len = hint.size();
    }
    for (const std::string* s : {&lin, &x1, &part4.bytes, &hint, &part6.bytes, &rest.bytes, &main_xref}) w.WriteText(*s);
    return start + lin_len;
}

}  // namespace qvx::SDF
