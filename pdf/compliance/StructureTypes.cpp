#include "pdf/compliance/StructureTypes.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace qvx::PDF {

bool IsStandardStructureType(std::string_view type)
{
    static constexpr std::string_view kPDF17[] = {
        "Document", "Part", "Art", "Sect", "Div", "BlockQuote", "Caption", "TOC", "TOCI", "Index",
        "NonStruct", "Private", "P", "H", "H1", "H2", "H3", "H4", "H5", "H6", "L", "LI", "Lbl", "LBody",
        "Table", "TR", "TH", "TD", "THead", "TBody", "TFoot", "Span", "Quote", "Note", "Reference",
        "BibEntry", "Code", "Link", "Annot", "Ruby", "RB", "RT", "RP", "Warichu", "WT", "WP", "Figure",
        "Formula", "Form"};
    return std::find(std::begin(kPDF17), std::end(kPDF17), type) != std::end(kPDF17);
}

std::string_view PDF17EquivalentOf(std::string_view type)
{
    static constexpr std::pair<std::string_view, std::string_view> kPDF20[] = {
        {"Em", "Span"}, {"Strong", "Span"}, {"Sub", "Span"}, {"Title", "H"},
        {"FENote", "Note"}, {"Aside", "Div"}, {"DocumentFragment", "Div"}};
    for (const auto& [added, old] : kPDF20)
        if (added == type) return old;
    return {};
}

}  // namespace qvx::PDF
