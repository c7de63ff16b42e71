// pagedump: what the page layer reads from a PDF file.
//
//   pagedump --content P FILE   the operators of page P (1-based) with their operands, one
//                               per line, after the q depth, the current font, and the fill
//                               and stroke colour spaces: "depth font fill stroke | operands op"
//   pagedump --counts FILE      the number of operators of each page, "page N: count"
//   pagedump --text FILE        the text of each page, pages ended by a form feed
//   pagedump --walk FILE        walk every page, entering forms, patterns, Type 3 glyphs and
//                               annotation appearances; print each issue (its ContentIssue
//                               kind number) and the elements and issues per page
//   pagedump --npages FILE      the page count

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "common/Exception.h"
#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"
#include "pdf/Annot.h"
#include "pdf/ElementReader.h"
#include "pdf/PageTree.h"
#include "pdf/TextExtractor.h"
#include "sdf/ObjWriter.h"
#include "sdf/SDFDoc.h"

using namespace qvx;

namespace {

std::string ObjText(const SDF::Obj* o)
{
    Filters::MemoryFilter sink;
    {
        Filters::FilterWriter w(sink);
        SDF::ObjWriter(w).Write(*o);
    }
    return std::string(Common::AsChars(sink.Data()));
}

std::string StringText(const std::string& s)
{
    bool printable = true;
    for (unsigned char c : s) printable = printable && c >= 0x20 && c < 0x7F;
    std::string out;
    char buf[4];
    if (printable) {
        out = "(";
        for (char c : s) {
            if (c == '(' || c == ')' || c == '\\') out += '\\';
            out += c;
        }
        return out + ")";
    }
    out = "<";
    for (unsigned char c : s) {
        std::snprintf(buf, sizeof buf, "%02X", c);
        out += buf;
    }
    return out + ">";
}

std::string OperandText(const PDF::Operand& o)
{
    char buf[64];
    switch (o.kind) {
    case PDF::Operand::e_number: std::snprintf(buf, sizeof buf, "%g", o.number); return buf;
    case PDF::Operand::e_name: return "/" + o.text;
    case PDF::Operand::e_string: return StringText(o.text);
    case PDF::Operand::e_bool: return o.boolean ? "true" : "false";
    case PDF::Operand::e_array:
    case PDF::Operand::e_dict: return ObjText(o.obj.get());
    default: return "null";
    }
}

std::string SpaceName(const PDF::ColorState& c) { return c.space ? c.space->GetFamilyName() : "-"; }

int Content(PDF::PageTree& pages, long p)
{
    if (p < 1 || static_cast<std::size_t>(p) > pages.Count()) {
        std::cerr << "pagedump: no page " << p << "\n";
        return 1;
    }
    PDF::ResourceCache cache;
    PDF::ElementReader reader(cache);
    reader.SetOperatorHook([&](const PDF::Operation& op) {
        const PDF::GState& gs = reader.GetGState();
        std::string font = gs.font ? (gs.font->GetBaseFont().empty() ? "?" : gs.font->GetBaseFont()) : "-";
        std::cout << reader.SaveDepth() << ' ' << font << ' ' << SpaceName(gs.fill) << ' ' << SpaceName(gs.stroke) << " |";
        for (const PDF::Operand& o : op.Operands()) std::cout << ' ' << OperandText(o);
        std::cout << ' ' << op.keyword;
        if (op.op == PDF::Op::e_BI) std::cout << " <" << op.inline_data.size() << " bytes> EI";
        std::cout << '\n';
    });
    reader.Begin(pages.GetPage(static_cast<std::size_t>(p - 1)));
    while (reader.Next()) {
    }
    return 0;
}

int Counts(PDF::PageTree& pages)
{
    PDF::ResourceCache cache;
    for (std::size_t i = 0; i < pages.Count(); ++i) {
        PDF::ElementReader reader(cache);
        reader.Begin(pages.GetPage(i));
        while (reader.Next()) {
        }
        std::cout << "page " << i + 1 << ": " << reader.OperatorCount() << '\n';
    }
    return 0;
}

int Text(PDF::PageTree& pages)
{
    PDF::ResourceCache cache;
    for (std::size_t i = 0; i < pages.Count(); ++i) std::cout << PDF::ExtractText(pages.GetPage(i), cache) << '\f';
    return 0;
}

// Counts the issues of a page and lists each: "  issue KIND op name in stream N at OFFSET".
struct Counter : PDF::ContentObserver {
    std::size_t issues = 0;
    void OnIssue(const PDF::ContentIssue& issue) override
    {
        ++issues;
        std::cout << "  issue " << issue.kind << ' ' << (issue.op.empty() ? "-" : std::string(issue.op)) << ' '
                  << (issue.name.empty() ? "-" : issue.name) << " in stream "
                  << (issue.stream ? issue.stream->GetObjNum() : 0) << " at " << issue.offset << '\n';
    }
};

std::size_t WalkAll(PDF::ElementReader& r)
{
    std::size_t n = 0;
    while (const PDF::Element* e = r.Next()) {
        ++n;
        bool entered = false;
        if (e->kind == PDF::Element::e_form) entered = r.FormBegin();
        else if (e->kind == PDF::Element::e_path && e->fill && e->gstate->fill.pattern) entered = r.PatternBegin(true);
        else if (e->kind == PDF::Element::e_text && e->gstate->font && e->gstate->font->GetKind() == PDF::Font::e_type3) {
            std::vector<PDF::Font::CharCode> codes;
            for (const auto& s : e->strings) {
                e->gstate->font->Decode(s.bytes, codes);
                for (const auto& c : codes) {
                    if (r.Type3GlyphBegin(c.code)) {
                        n += WalkAll(r);
                        r.End();
                    }
                }
            }
        }
        if (entered) {
            n += WalkAll(r);
            r.End();
        }
    }
    return n;
}

int Walk(PDF::PageTree& pages)
{
    PDF::ResourceCache cache;
    for (std::size_t i = 0; i < pages.Count(); ++i) {
        Counter issues;
        PDF::ElementReader reader(cache, &issues);
        const PDF::Page& page = pages.GetPage(i);
        reader.Begin(page);
        std::size_t elements = WalkAll(reader);
        reader.End();
        for (std::size_t a = 0; a < PDF::Annot::Count(page); ++a) {
            PDF::Annot annot = PDF::Annot::At(page, a);
            if (SDF::Obj* ap = annot.GetAppearance(); ap && reader.AppearanceBegin(ap)) {
                elements += WalkAll(reader);
                reader.End();
            }
        }
        std::cout << "page " << i + 1 << ": " << elements << " elements, " << reader.OperatorCount() << " operators, "
                  << issues.issues << " issues\n";
    }
    return 0;
}

int Usage()
{
    std::cerr << "usage: pagedump --content P FILE | --counts FILE | --text FILE | --walk FILE | --npages FILE\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) return Usage();
    std::string mode = argv[1];
    long page = 0;
    int file_arg = 2;
    if (mode == "--content") {
        if (argc < 4) return Usage();
        page = std::strtol(argv[2], nullptr, 10);
        file_arg = 3;
    }
    try {
        SDF::SDFDoc doc;
        doc.OpenFile(argv[file_arg]);
        PDF::PageTree pages(doc);
        if (mode == "--content") return Content(pages, page);
        if (mode == "--counts") return Counts(pages);
        if (mode == "--text") return Text(pages);
        if (mode == "--walk") return Walk(pages);
        if (mode == "--npages") {
            std::cout << pages.Count() << '\n';
            return 0;
        }
        return Usage();
    } catch (const Common::Exception& e) {
        std::cerr << "pagedump: " << e.GetMessage() << '\n';
        return 3;
    }
}
