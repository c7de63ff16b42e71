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

// Save flags handed to the document writer.
namespace SaveFlag {
inline constexpr std::uint32_t e_prune_unused = 0x0002;
inline constexpr std::uint32_t e_linearize = 0x0010;
inline constexpr std::uint32_t e_classic_xref = 0x0020;
}  // namespace SaveFlag

struct SavePlan {
    std::string header;
    std::uint32_t flags = 0;
};

// Header and flags for saving a run's document: the header follows the PDF/A part of a PDF/A
// target (PDF/A-2 and -3 keep a 1.x header of the document's own); PDF/A-1 documents, and
// documents without a parser level, are written without object or cross-reference streams.
SavePlan PlanSave(std::int32_t level, std::string_view document_header, std::int32_t parser_level,
                  bool linearize);

// Writes the run's document to path with the plan PlanSave makes from the state's levels and
// the document's own header. Needs the document writer; until it is part of the build this
// throws the engine exception.
void SaveRunDocument(const Common::UString& path, const SDF::CheckState& state, bool linearize);

}  // namespace qvx::PDF
