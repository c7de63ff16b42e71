#include <gtest/gtest.h>

#include "common/Exception.h"
#include "pdf/compliance/PDFACompliance.h"
#include "tests/compliance/ComplianceTestSupport.h"
#include "tests/compliance/Levels.h"
#include "sdf/SDFDoc.h"
#include "tests/support/PdfBuilder.h"
#include "tests/support/TestEnv.h"

using namespace qvx::PDF;
using qvx::Common::Exception;
using qvx::Common::UString;

TEST(PDFAComplianceOptions, DefaultsSettersAndKeyOrder)
{
    PDFAComplianceOptions o;
    EXPECT_EQ(o.GetConformance(), 2);
    EXPECT_EQ(o.GetDpi(), 300);
    EXPECT_FALSE(o.GetFirstStop());
    EXPECT_FALSE(o.GetFlatten());
    EXPECT_EQ(o.GetMaxRefObjs(), 10u);
    EXPECT_EQ(o.GetPassword(), "");
    EXPECT_EQ(o.GetStructureData(), "");

    o.SetPassword("x");
    o.SetMaxRefObjs(0);
    o.SetFirstStop(false);
    o.SetFlatten(true);
    o.SetConformance(4);
    o.SetDpi(150);
    o.SetConformance(12);  // replaces
    o.SetPassword("secret");
    EXPECT_EQ(o.GetConformance(), 12);
    EXPECT_EQ(o.GetPassword(), "secret");
    EXPECT_EQ(o.GetMaxRefObjs(), 0u);
    EXPECT_TRUE(o.GetFlatten());
    EXPECT_EQ(o.GetDpi(), 150);
    std::vector<std::string> keys;
    for (const auto& [k, v] : o.Values()) keys.push_back(k);
    EXPECT_EQ(keys, (std::vector<std::string>{"Conformance", "Dpi", "FirstStop", "Flatten", "MaxRefObjs", "Password"}));

    PDFAComplianceOptions bad;
    bad.SetMaxRefObjs(-1);
    EXPECT_THROW(bad.GetMaxRefObjs(), Exception);
    bad.SetConformance(1ll << 40);
    EXPECT_THROW(bad.GetConformance(), Exception);
}

TEST(PDFACompliance, EveryFormOpensThroughTheDocumentLayer)
{
    // Each form opens its input into the run's document with the level set before parsing,
    // so the parser's file-structure findings are the run's errors.
    qvx::Test::PdfBuilder clean = qvx::Test::CleanFile(4);
    std::string pdf = clean.Build();
    qvx::Common::Bytes bytes(pdf.begin(), pdf.end());
    qvx::Test::PdfBuilder shifted = qvx::Test::CleanFile(4);
    shifted.SetPrefix("junk");
    std::string junk = shifted.Build();
    PDFAComplianceOptions o;
    o.SetConformance(4);
    auto message = [](auto make) {
        try {
            make();
        } catch (const Exception& e) {
            return e.GetMessage();
        }
        return std::string("no exception");
    };
    PDFACompliance run(false, bytes, nullptr, o);
    EXPECT_EQ(run.GetErrorCount(), 0);
    EXPECT_TRUE(run.GetDoc().GetRoot()->IsDict());
    PDFACompliance damaged(false, qvx::Common::Bytes(junk.begin(), junk.end()), nullptr, 4, nullptr, 0, 10, false);
    ASSERT_GE(damaged.GetErrorCount(), 1);
    EXPECT_EQ(damaged.GetError(0), 121);

    qvx::Test::TempDir dir;
    UString name = UString::FromFileName((dir.Path() / "caf\xE9.pdf").string());
    dir.Write("caf\xE9.pdf", pdf);
    PDFACompliance from_file(false, name, nullptr, o);
    EXPECT_EQ(from_file.GetErrorCount(), 0);
    UString missing = UString::FromFileName((dir.Path() / "none.pdf").string());
    EXPECT_NE(message([&] { PDFACompliance(true, missing, "pw", 2, nullptr, 0, 10, true); }).find("none.pdf"),
              std::string::npos);
    qvx::Common::Bytes garbage{'n', 'o', 't', ' ', 'a', ' ', 'P', 'D', 'F'};
    EXPECT_EQ(message([&] { PDFACompliance(false, garbage, nullptr, o); }),
              "PDF header not found. The file is not a valid PDF document.");
    EXPECT_EQ(message([&] { PDFACompliance(false, bytes, nullptr, 4, nullptr, 2, 0, false); }),
              "Bad list of exception codes");
}

TEST(PDFACompliance, DamagedCatalogsStillGetAVerdict)
{
    // The table is rebuilt and the trailer's Root stays an array: the metadata step finds no
    // metadata stream rather than failing the run.
    qvx::Test::PdfBuilder b;
    b.Add("[1 2]");
    b.SetTrailer("/Root 1 0 R");
    std::string pdf = b.Build();
    PDFACompliance run(false, qvx::Common::Bytes(pdf.begin(), pdf.end()), nullptr, 4, nullptr, 0, 10, false);
    bool has721 = false;
    for (int i = 0; i < run.GetErrorCount(); ++i) has721 = has721 || run.GetError(i) == 721;
    EXPECT_TRUE(has721);
}

TEST(PDFACompliance, InfoReferringToAFreeEntryIsAbsent)
{
    // A damaged table can leave the trailer's Info a reference to a free entry (7; 8 is
    // there). In files whose metadata is sound, so that conversion keeps it and its Info, the
    // run reads no Info, at PDF/A-1 where the Info dates are tidied and at PDF/A-4 where an
    // Info is a finding of its own.
    for (int level : {qvx::Test::k1B, qvx::Test::k4}) {
        SCOPED_TRACE(level);
        qvx::Test::PdfBuilder b = qvx::Test::CleanFile(level);
        b.Set(8, "<</Producer(kept)>>");
        b.SetTrailer("/Root 1 0 R/Info 7 0 R/ID[<00112233445566778899AABBCCDDEEFF><00112233445566778899AABBCCDDEEFF>]");
        const std::string pdf = b.Build();
        EXPECT_EQ(qvx::Test::Findings(pdf, level), "");
        EXPECT_EQ(qvx::Test::Findings(pdf, level, {true}), "");
        EXPECT_EQ(qvx::Test::FindingsAfterConversion(pdf, level), "");
    }
}

TEST(PDFACompliance, SavePlanByLevel)
{
    struct Case {
        int level;
        const char* doc_header;
        int parser_level;
        bool linearize;
        const char* header;
        std::uint32_t flags;
    } cases[] = {
        {1, "%PDF-1.7", 1, false, "%PDF-1.4", qvx::SDF::SDFDoc::e_prune_unused | qvx::SDF::SDFDoc::e_classic_xref},
        {2, "%PDF-2.0", 2, true, "%PDF-1.4", qvx::SDF::SDFDoc::e_linearize | qvx::SDF::SDFDoc::e_classic_xref},
        {4, "%PDF-1.5", 4, false, "%PDF-1.5", qvx::SDF::SDFDoc::e_prune_unused},
        {8, "%PDF-2.0", 8, false, "%PDF-1.7", qvx::SDF::SDFDoc::e_prune_unused},
        {3, "%PDF-1.3", 3, true, "%PDF-1.3", qvx::SDF::SDFDoc::e_linearize},
        {5, "%PDF-1.8", 5, false, "%PDF-1.7", qvx::SDF::SDFDoc::e_prune_unused},
        {9, "%PDF-1.4", 9, false, "%PDF-2.0", qvx::SDF::SDFDoc::e_prune_unused},
        {11, "%PDF-1.4", 11, false, "%PDF-2.0", qvx::SDF::SDFDoc::e_prune_unused},
        {12, "%PDF-1.6", 12, false, "%PDF-1.6", qvx::SDF::SDFDoc::e_prune_unused},
        {0, "%PDF-1.6", 0, false, "%PDF-1.6", qvx::SDF::SDFDoc::e_prune_unused | qvx::SDF::SDFDoc::e_classic_xref},
    };
    for (const Case& c : cases) {
        SavePlan p = PlanSave(c.level, c.doc_header, c.parser_level, c.linearize);
        EXPECT_EQ(p.header, c.header) << c.level;
        EXPECT_EQ(p.flags, c.flags) << c.level;
    }
}
