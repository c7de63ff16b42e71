#include "pdf/compliance/RunDocument.h"

#include "common/Exception.h"
#include "filters/MemoryFilter.h"
#include "pdf/compliance/PDFAConformance.h"

namespace qvx::PDF {

void OpenRunDocument(const RunInput& input, SDF::SDFDoc& doc)
{
    if (const auto* name = std::get_if<Common::UString>(&input)) doc.OpenFile(name->ToFileName());
    else doc.Open(Filters::MemoryFilter::View(std::get<Common::Bytes>(input)));
}

SavePlan PlanSave(std::int32_t level, std::string_view document_header, std::int32_t parser_level,
                  bool linearize)
{
    SavePlan plan;
    if (level == e_Level1A || level == e_Level1B) plan.header = "%PDF-1.4";
    else if (level >= e_Level2A && level <= e_Level3U)
        plan.header = document_header.starts_with("%PDF-1.") ? std::string(document_header) : "%PDF-1.7";
    else if (level >= e_Level4 && level <= e_Level4F) plan.header = "%PDF-2.0";
    else plan.header = document_header;
    plan.flags = linearize ? SaveFlag::e_linearize : SaveFlag::e_prune_unused;
    if (parser_level < e_Level2A) plan.flags |= SaveFlag::e_classic_xref;
    return plan;
}

void SaveRunDocument(const Common::UString& path, const SDF::CheckState&, bool)
{
    QVX_THROW("document writer available",
              "Cannot save '" + path.ToUTF8() + "': this build cannot write PDF documents yet");
}

}  // namespace qvx::PDF
