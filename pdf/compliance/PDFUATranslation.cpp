#include "pdf/compliance/PDFUATranslation.h"

namespace qvx::PDF {

namespace {

constexpr CodePair kPairs[] = {
    {10, -101}, {11, -102}, {12, -103}, {8341, -1715}, {721, -1718}, {723, -1719},
    {69001, -17101}, {69003, -17102}, {81, -17111}, {261, -17201}, {321, -172121},
    {322, -172122}, {323, -172123}, {324, -172124}, {325, -172125}, {326, -172126},
    {327, -172127}, {331, -1721311}, {332, -1721321}, {3331, -1721331}, {3332, -1721332},
    {341, -1721411}, {351, -1721412}, {352, -1721413}, {353, -1721414}, {357, -1721421},
    {356, -1721422}, {361, -172151}, {371, -172162}, {372, -172163}, {373, -172164},
    {381, -172171}, {62116, -172172}, {62115, -172173}, {62118, -172181},
};

}  // namespace

std::span<const CodePair> PDFUATranslationTable() { return kPairs; }

void TranslateToPDFUA(SDF::ErrorStore& store)
{
    auto& records = store.Records();
    for (const CodePair& pair : kPairs) {
        auto from = records.find(pair.pdfa);
        if (from == records.end()) continue;
        SDF::ErrorRecord moved = std::move(from->second);
        records.erase(from);
        // The parser may have recorded the PDF/UA code itself; then the records merge
        // under the cap, as if every number had been reported to the PDF/UA code.
        auto existing = records.find(pair.pdfua);
        bool present = moved.present || (existing != records.end() && existing->second.present);
        SDF::ErrorRecord& to = store.AddError(pair.pdfua);
        for (std::uint32_t num : moved.refs) store.AddError(pair.pdfua, num);
        to.present = present;
    }
}

}  // namespace qvx::PDF
