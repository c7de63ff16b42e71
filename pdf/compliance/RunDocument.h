#pragma once
// The two places where a compliance run meets the document object layer: opening its input
// and writing the repaired document. Everything else in the run works on the check state.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "common/Buffer.h"
#include "common/UString.h"
#include "sdf/CheckState.h"
#include "sdf/SDFDoc.h"

namespace qvx::PDF {

// A run reads either a file (its name keeps Linux file-name bytes, see UString::FromFileName)
// or a buffer it owns.
using RunInput = std::variant<Common::UString, Common::Bytes>;

// Opens the input into doc, whose check state has its parser level already set, so that the
// parser records its findings into the document's error store while it reads the header,
// the cross-reference data and, later, each object. A buffer input is read in place and
// must outlive doc. Throws the engine exception when the file cannot be opened.
void OpenRunDocument(const RunInput& input, SDF::SDFDoc& doc);
// The same, then opens its security with the password (empty: none given); throws
// "Document is password protected" when that fails.
void OpenRunDocument(const RunInput& input, SDF::SDFDoc& doc, const std::string& password);

// The header and the writer's flags (SDF::SDFDoc::SaveOptions) of a run's save.
struct SavePlan {
    std::string header;
    std::uint32_t flags = 0;
};

// Header and flags for saving a run's document: the header follows the PDF/A part of a PDF/A
// target (PDF/A-2 and -3 keep a 1.x header of the document's own); PDF/A-1 documents, and
// documents without a parser level, are written without object or cross-reference streams.
SavePlan PlanSave(std::int32_t level, std::string_view document_header, std::int32_t parser_level,
                  bool linearize);

// Writes the run's document to path with the plan PlanSave makes from the target level, the
// document's parser level and its own header. The file is written under a temporary name
// in the output folder and renamed into place once complete, so a failed save leaves
// nothing behind. Refuses ("Cannot save over the input file: <path>") when path names the
// run's input file itself (through any link), since the input must survive the run.
void SaveRunDocument(const Common::UString& path, SDF::SDFDoc& doc, const RunInput& input, std::int32_t level,
                     bool linearize);

}  // namespace qvx::PDF
