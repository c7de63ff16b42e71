#pragma once
// Clean files of a level with annotations on their page: the page (3) lists Annots, the
// annotations are objects 6 onwards, and the findings of a run (or of a conversion's
// revalidation) come back as text.

#include <filesystem>
#include <string>
#include <vector>

#include "tests/compliance/ComplianceTestSupport.h"
#include "tests/compliance/Levels.h"
#include "tests/support/TestEnv.h"

namespace qvx::Test {


// An appearance entry with one normal appearance stream (object 20).
inline const std::string kAP = "/AP<</N 20 0 R>>";

// The clean file of level whose page lists the annotations given as object bodies (6, 7,
// ...); extra objects follow as (number, body) pairs. Object 20 is an appearance stream.
inline PdfBuilder WithAnnots(int level, const std::vector<std::string>& annots, const std::string& page_extra = {})
{
    PdfBuilder b = CleanFile(level);
    std::string list;
    for (std::size_t i = 0; i < annots.size(); ++i) {
        b.Set(6 + static_cast<int>(i), annots[i]);
        list += std::to_string(6 + i) + " 0 R ";
    }
    b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Resources<<>>/Contents 4 0 R/Annots[" + list + "]" +
                 page_extra + ">>");
    b.SetStream(20, "/Type/XObject/Subtype/Form/BBox[0 0 10 10]", "0 0 m 10 10 l n");
    return b;
}

inline std::string Findings(const PdfBuilder& b, int level) { return Findings(b.Build(), level); }

inline std::string FindingsAfterConversion(const PdfBuilder& b, int level)
{
    return FindingsAfterConversion(b.Build(), level);
}

}  // namespace qvx::Test
