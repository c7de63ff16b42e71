#pragma once
// What the batch learned about one input file: its verdict at the level used, the rules it
// breaks with their objects, a processing error, and the conversion. The report forms that
// need a whole file at once (JSON, HTML) are written from this record; it holds one file's
// findings only, so a batch never keeps more than one of them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/UString.h"
#include "pdf/compliance/ErrorStoreReader.h"
#include "render/PageCompare.h"

namespace qvx::Tolva {

// One broken rule: its code and the kept object numbers, ascending.
struct Finding {
    std::int32_t code = 0;
    std::vector<std::uint32_t> objects;
};

// A run's errors in the readers' order (ascending code).
std::vector<Finding> ReadFindings(const PDF::ErrorStoreReader& errors);

// no-claim: the level was to come from the file, which claims none.
enum class Verdict { e_Pass, e_Fail, e_Error, e_NoClaim };

// "pass", "fail", "error", "no-claim".
const char* VerdictText(Verdict verdict);

struct ConversionResult {
    std::string output;                     // the converted file's path
    Common::UString name;                   // its display name
    bool revalidated = false;               // false with --nr
    Verdict verdict = Verdict::e_Pass;      // of the revalidation, when there was one
    std::vector<Finding> findings;
    std::string error;                      // the revalidation's failure, when it failed
    // With --compare-pages: the pages of the copy whose look differs from the original's.
    std::optional<Render::LookResult> look;
};

struct FileResult {
    Common::UString name;                   // last path component
    Common::UString path;                   // as the batch holds it
    std::int32_t level = 0;                 // the level used; 0 when none was claimed
    Verdict verdict = Verdict::e_Error;
    std::vector<Finding> findings;
    std::string error;                      // the processing error, when there was one
    std::optional<ConversionResult> conversion;
};

}  // namespace qvx::Tolva
