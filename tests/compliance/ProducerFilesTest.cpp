// PDF/A files from mainstream producers (tests/data/libreoffice, tests/data/producers) get
// the verdicts their content calls for: valid ones pass, the one true failure fails for its
// one reason.
#include <gtest/gtest.h>

#include <set>

#include "pdf/compliance/PDFACompliance.h"
#include "tests/compliance/Levels.h"
#include "tests/support/TestEnv.h"

using qvx::PDF::PDFACompliance;

namespace {

std::set<int> Codes(const std::string& name, int level, const char* folder = "libreoffice")
{
    auto path = qvx::Test::SourceDir() / "tests/data" / folder / name;
    PDFACompliance run(false, qvx::Common::UString::FromUTF8(path.string()), nullptr, level, nullptr, 0, 10, false);
    std::set<int> codes;
    for (int i = 0; i < run.GetErrorCount(); ++i) codes.insert(run.GetError(i));
    return codes;
}

}  // namespace

TEST(ProducerFiles, LibreOfficeExports)
{
    using namespace qvx::Test;
    EXPECT_EQ(Codes("writer-2b.pdf", k2B), std::set<int>{});
    EXPECT_EQ(Codes("writer-3b.pdf", k3B), std::set<int>{});
    EXPECT_EQ(Codes("draw-reexport-2b.pdf", k2B), std::set<int>{});
    EXPECT_EQ(Codes("writer-1b-type1-subset.pdf", k1B), std::set<int>{355});
}

TEST(ProducerFiles, PDFBoxAndGhostscript)
{
    using namespace qvx::Test;
    EXPECT_EQ(Codes("pdfbox-1b.pdf", k1B, "producers"), std::set<int>{});
    EXPECT_EQ(Codes("pdfbox-2b-translucent.pdf", k2B, "producers"), std::set<int>{});
    EXPECT_EQ(Codes("ghostscript-2b.pdf", k2B, "producers"), std::set<int>{});
}
