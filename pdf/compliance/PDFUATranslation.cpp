#include "pdf/compliance/PDFUATranslation.h"

namespace qvx::PDF {

namespace {

constexpr CodePair kPairs[] = {
    {SDF::e_PDFA10, SDF::e_PDFUA101},
    {SDF::e_PDFA11, SDF::e_PDFUA102},
    {SDF::e_PDFA12, SDF::e_PDFUA103},
    {SDF::e_PDFA8341, SDF::e_PDFUA1715},
    {SDF::e_PDFA721, SDF::e_PDFUA1718},
    {SDF::e_PDFA723, SDF::e_PDFUA1719},
    {SDF::e_PDFA69001, SDF::e_PDFUA17101},
    {SDF::e_PDFA69003, SDF::e_PDFUA17102},
    {SDF::e_PDFA81, SDF::e_PDFUA17111},
    {SDF::e_PDFA261, SDF::e_PDFUA17201},
    {SDF::e_PDFA321, SDF::e_PDFUA172121},
    {SDF::e_PDFA322, SDF::e_PDFUA172122},
    {SDF::e_PDFA323, SDF::e_PDFUA172123},
    {SDF::e_PDFA324, SDF::e_PDFUA172124},
    {SDF::e_PDFA325, SDF::e_PDFUA172125},
    {SDF::e_PDFA326, SDF::e_PDFUA172126},
    {SDF::e_PDFA327, SDF::e_PDFUA172127},
    {SDF::e_PDFA331, SDF::e_PDFUA1721311},
    {SDF::e_PDFA332, SDF::e_PDFUA1721321},
    {SDF::e_PDFA3331, SDF::e_PDFUA1721331},
    {SDF::e_PDFA3332, SDF::e_PDFUA1721332},
    {SDF::e_PDFA341, SDF::e_PDFUA1721411},
    {SDF::e_PDFA351, SDF::e_PDFUA1721412},
    {SDF::e_PDFA352, SDF::e_PDFUA1721413},
    {SDF::e_PDFA353, SDF::e_PDFUA1721414},
    {SDF::e_PDFA357, SDF::e_PDFUA1721421},
    {SDF::e_PDFA356, SDF::e_PDFUA1721422},
    {SDF::e_PDFA361, SDF::e_PDFUA172151},
    {SDF::e_PDFA371, SDF::e_PDFUA172162},
    {SDF::e_PDFA372, SDF::e_PDFUA172163},
    {SDF::e_PDFA373, SDF::e_PDFUA172164},
    {SDF::e_PDFA381, SDF::e_PDFUA172171},
    {SDF::e_PDFA62116, SDF::e_PDFUA172172},
    {SDF::e_PDFA62115, SDF::e_PDFUA172173},
    {SDF::e_PDFA62118, SDF::e_PDFUA172181},
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
