#include "pdf/compliance/RunDocument.h"

#include <filesystem>

#include "common/Exception.h"
#include "filters/MemoryFilter.h"
#include "pdf/compliance/PDFAConformance.h"
#include "sdf/SDFDoc.h"

namespace qvx::PDF {

void OpenRunDocument(const RunInput& input, SDF::SDFDoc& doc)
{
    if (const auto* name = std::get_if<Common::UString>(&input)) doc.OpenFile(name->ToFileName());
    else doc.Open(Filters::MemoryFilter::View(std::get<Common::Bytes>(input)));
}

void OpenRunDocument(const RunInput& input, SDF::SDFDoc& doc, const std::string& password)
{
    OpenRunDocument(input, doc);
    bool security_ok = password.empty() ? doc.InitSecurityHandler() : doc.InitStdSecurityHandler(password);
    if (!security_ok) QVX_THROW("security_ok", "Document is password protected");
}

SavePlan PlanSave(std::int32_t level, std::string_view document_header, std::int32_t parser_level,
                  bool linearize)
{
    SavePlan plan;
    if (level == e_Level1A || level == e_Level1B) plan.header = "%PDF-1.4";
    else if (level >= e_Level2A && level <= e_Level3U)
        // PDF/A-2 and -3 files are versions 1.0 to 1.7; a later or damaged one is written as 1.7.
        plan.header = document_header.starts_with("%PDF-1.") && document_header.size() == 8 &&
                              document_header[7] >= '0' && document_header[7] <= '7'
                          ? std::string(document_header)
                          : "%PDF-1.7";
    else if (level >= e_Level4 && level <= e_Level4F) plan.header = "%PDF-2.0";
    else plan.header = document_header;
    plan.flags = linearize ? SDF::SDFDoc::e_linearize : SDF::SDFDoc::e_prune_unused;
    if (parser_level < e_Level2A) plan.flags |= SDF::SDFDoc::e_classic_xref;
    return plan;
}

// Whether out names the same file as in: the same file on disk, or the same path once
// made absolute and normalised when out does not exist yet.
static bool SameFile(const std::string& out, const std::string& in)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::equivalent(out, in, ec)) return true;
    fs::path a = fs::weakly_canonical(out, ec);
    if (ec) return false;
    fs::path b = fs::weakly_canonical(in, ec);
    return !ec && a == b;
}

void SaveRunDocument(const Common::UString& path, SDF::SDFDoc& doc, const RunInput& input, std::int32_t level,
                     bool linearize)
{
    const std::string out = path.ToFileName();
    if (const auto* in = std::get_if<Common::UString>(&input); in && SameFile(out, in->ToFileName()))
        QVX_THROW("!SameFile(output, input)", "Cannot save over the input file: " + path.ToUTF8());
    SavePlan plan = PlanSave(level, doc.GetHeader(), doc.GetCheckState().parser_level, linearize);
    doc.SaveToPath(out, plan.flags, plan.header);
}

}  // namespace qvx::PDF
