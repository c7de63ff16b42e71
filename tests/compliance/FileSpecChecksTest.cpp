// Filespec dictionaries and embedded files: F and UF, the PDF/A-3 description of embedded
// files, and embedded PDF/A files at PDF/A-2 checked by a nested run.
#include <gtest/gtest.h>

#include "tests/compliance/AnnotationCheckSupport.h"

using namespace qvx::Test;

namespace {

// A Filespec dictionary (7) embedding stream 8 with the given dictionary and data, listed in
// the catalog's AF when listed is set.
PdfBuilder WithEmbedded(int level, const std::string& spec_extra, const std::string& stream_dict,
                        const std::string& data, bool listed = true)
{
    PdfBuilder b = CleanFile(level);
    b.Set(1, CatalogFor(level, listed ? "/AF[7 0 R]" : ""));
    b.Set(7, "<</Type/Filespec/F(a)/UF(a)/EF<</F 8 0 R>>" + spec_extra + ">>");
    b.SetStream(8, stream_dict, data);
    return b;
}

}  // namespace

TEST(FileSpecChecks, NamesOfTheFile)
{
    auto filespec = [](int level, const std::string& body) {
        PdfBuilder b = CleanFile(level);
        b.Set(7, body);
        return b;
    };
    EXPECT_EQ(Findings(filespec(k2B, "<</Type/Filespec/F(a.txt)>>"), k2B), "81(7)");
    EXPECT_EQ(Findings(filespec(k1B, "<</Type/Filespec/F(a.txt)>>"), k1B), "");
    EXPECT_EQ(Findings(filespec(k3B, "<</Type/Filespec>>"), k3B), "81(7)");
    EXPECT_EQ(FindingsAfterConversion(filespec(k2B, "<</Type/Filespec/UF(a.txt)>>"), k2B), "");
}

TEST(FileSpecChecks, DescribedEmbeddedFilesOfPDFA3)
{
    std::string described = "/Type/EmbeddedFile/Subtype/text#2Fplain/Params<</ModDate(D:20240101)>>";
    EXPECT_EQ(Findings(WithEmbedded(k3B, "/AFRelationship/Data", described, "hi"), k3B), "");
    EXPECT_EQ(Findings(WithEmbedded(k3B, "", "/Type/EmbeddedFile/Params<<>>", "hi", false), k3B),
              "1(8) 2(7) 3(7) 101(8)");
    EXPECT_EQ(Findings(WithEmbedded(k3B, "/AFRelationship/Data", "/Subtype/text", "hi"), k3B), "1(8)");
    // Another part of the document may list the file instead of the catalog.
    PdfBuilder elsewhere = WithEmbedded(k3B, "/AFRelationship/Data", described, "hi", false);
    elsewhere.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Resources<<>>/Contents 4 0 R/AF[7 0 R]>>");
    EXPECT_EQ(Findings(elsewhere, k3B), "");
    EXPECT_EQ(FindingsAfterConversion(WithEmbedded(k3B, "", "/Params<</CreationDate(D:2024)>>", "hi", false), k3B),
              "");
    // PDF/A-1 never embeds; 4F describes like PDF/A-3.
    EXPECT_EQ(Findings(WithEmbedded(k1B, "", described, "hi"), k1B), "1111(7)");
    EXPECT_EQ(Findings(WithEmbedded(k4F, "/AFRelationship/Data", described, "hi"), k4F), "");
}

TEST(FileSpecChecks, EmbeddedPDFAFilesOfPDFA2)
{
    std::string inner = CleanFile(k1B).Build();
    EXPECT_EQ(Findings(WithEmbedded(k2B, "", "/Type/EmbeddedFile", inner), k2B), "");
    EXPECT_EQ(Findings(WithEmbedded(k2B, "", "/Type/EmbeddedFile", "\xFF\xD8\xFF\xE0 not a pdf"), k2B), "1111(7)");
    // A file that is no PDF/A file at any of the levels tried.
    PdfBuilder plain = PdfBuilder::Minimal();
    EXPECT_EQ(Findings(WithEmbedded(k2B, "", "/Type/EmbeddedFile", plain.Build()), k2B), "1111(7)");
    EXPECT_EQ(FindingsAfterConversion(WithEmbedded(k2B, "", "/Type/EmbeddedFile", "junk"), k2B), "");
}

TEST(FileSpecChecks, DirectFilespecDictionariesAndForeignEF)
{
    const std::string text_file = "/Type/EmbeddedFile/Subtype/text#2Fplain/Params<</ModDate(D:20240101)>>";
    // Direct Filespec dictionaries are checked as indirect ones are: in the catalog's AF, in a
    // file attachment's FS, in the EmbeddedFiles tree.
    auto direct = [&](int level, const std::string& filespec) {
        PdfBuilder b = CleanFile(level);
        b.Set(1, CatalogFor(level, "/AF[" + filespec + "]"));
        b.SetStream(8, text_file, "hello");
        return b;
    };
    const std::string embedding = "<</Type/Filespec/F(a)/UF(a)/AFRelationship/Data/EF<</F 8 0 R>>>>";
    EXPECT_EQ(Findings(direct(k2B, embedding), k2B), "1111(1)");
    EXPECT_EQ(Findings(direct(k1B, embedding), k1B), "1111(1)");
    EXPECT_EQ(Findings(direct(k3B, embedding), k3B), "");
    EXPECT_EQ(Findings(direct(k3U, "<</Type/Filespec/F(a)/EF<</F 8 0 R>>>>"), k3U), "2(1) 81(1)");
    EXPECT_EQ(FindingsAfterConversion(direct(k2B, embedding), k2B), "");
    // A catalog whose AF is its one Filespec dictionary itself, not an array, has
    // no AF array; conversion keeps that dictionary, where it stands, as it describes it.
    PdfBuilder single = direct(k3B, embedding);
    single.Set(1, CatalogFor(k3B, "/AF" + embedding));
    EXPECT_EQ(Findings(single, k3B), "3(1)");
    EXPECT_EQ(FindingsAfterConversion(single, k3B), "3(1)");
    PdfBuilder attached = WithAnnots(k2B, {"<</Type/Annot/Subtype/FileAttachment/Rect[0 0 10 10]/F 4/AP<</N 20 0 R>>"
                                           "/FS<</Type/Filespec/F(a)/EF<</F 8 0 R>>>>>>"});
    attached.SetStream(8, text_file, "hello");
    EXPECT_EQ(Findings(attached, k2B), "81(6) 1111(6)");
    // An EF that is no dictionary embeds nothing a reader could describe.
    auto foreign = [&](int level) {
        PdfBuilder b = WithEmbedded(level, "/AFRelationship/Data", text_file, "hello");
        b.Set(7, "<</Type/Filespec/F(a)/UF(a)/AFRelationship/Data/EF[8 0 R]>>");
        return b;
    };
    EXPECT_EQ(Findings(foreign(k3B), k3B), "11(7)");
    EXPECT_EQ(FindingsAfterConversion(foreign(k3B), k3B), "");
    EXPECT_EQ(Findings(foreign(k2B), k2B), "1111(7)");
}
