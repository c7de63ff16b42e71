#include <gtest/gtest.h>

#include <filesystem>

#include "sdf/SDFDocImpl.h"
#include "tests/sdf/SaveTestUtil.h"
#include "tests/sdf/SdfTestUtil.h"
#include "tests/support/PdfBuilder.h"

using namespace qvx;
using namespace qvx::SDF;
using namespace qvx::Test;

namespace {

const std::string kBufferError = "An error occurred while trying to save to memory buffer.\nDetailed error:\n\t";
const std::string kFileError =
    "An error occurred while trying to save the file.\n\tThe file might be locked, corrupt, or unavailable.\nDetailed "
    "error:\n\t";

void Open(SDFDoc& doc, const std::string& bytes) { doc.OpenBuffer(Common::ToBytes(bytes)); }

// Changes the catalog and adds an object the catalog names.
void Edit(SDFDoc& doc, std::string_view lang)
{
    doc.GetRoot()->PutString("Lang", lang);
    doc.GetRoot()->Put("Extra", doc.CreateIndirectNumber(42));
}

}  // namespace

TEST(IncrementalSave, UpdateFollowsTheOriginalBytes)
{
    PdfBuilder b = PdfBuilder::Minimal();
    const std::string original = b.Build();
    SDFDoc doc;
    Open(doc, original);
    ASSERT_FALSE(doc.IsFullSaveRequired());
    Edit(doc, "en");
    const std::size_t prev = StartXRef(original);

    std::string data = AsString(doc.GetImpl().SaveToBuffer(SDFDoc::e_incremental | SDFDoc::e_incremental_data_only));
    // Only the changed and the new object, each run of numbers its own subsection.
    EXPECT_EQ(data.substr(0, 9), "1 0 obj\r<");
    std::size_t xref = StartXRef(data);
    ASSERT_EQ(xref - original.size(), data.find("xref\r"));
    std::vector<XRefLineRead> lines = ReadClassicXRef(data, xref - original.size());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].num, 1u);
    EXPECT_EQ(lines[0].offset, original.size());
    EXPECT_EQ(lines[1].num, 5u);
    EXPECT_NE(data.find("xref\r1 1\r"), std::string::npos);
    EXPECT_NE(data.find("\n5 1\r"), std::string::npos) << data;
    EXPECT_NE(TrailerText(data).find("/Prev " + std::to_string(prev) + "/Root 1 0 R/Size 6>>"), std::string::npos);

    // The same update after the original bytes: valid, and the edits read back.
    SDFDoc again;
    Open(again, original);
    Edit(again, "en");
    std::string whole = AsString(again.SaveToBuffer(SDFDoc::e_incremental));
    EXPECT_EQ(whole.substr(0, original.size()), original);
    EXPECT_EQ(whole.substr(original.size()), data);
    EXPECT_EQ(QpdfCheck(Common::AsBytes(whole)).status, 0) << QpdfCheck(Common::AsBytes(whole)).output;
    SDFDoc reread;
    Open(reread, whole);
    EXPECT_FALSE(reread.HasRepairedXRef());
    EXPECT_EQ(AsString(reread.GetRoot()->FindObj("Lang")->GetBuffer()), "en");
    EXPECT_EQ(reread.GetRoot()->FindObj("Extra")->GetNumber(), 42);
    EXPECT_EQ(reread.GetImpl().GetLastXRefOffset(), StartXRef(whole));

    // A second update follows the first; with nothing changed it holds no object.
    again.GetRoot()->PutString("Lang", "de");
    std::string twice = AsString(again.SaveToBuffer(SDFDoc::e_incremental));
    EXPECT_EQ(twice.substr(0, whole.size()), whole);
    EXPECT_NE(TrailerText(twice).find("/Prev " + std::to_string(StartXRef(whole))), std::string::npos);
    EXPECT_EQ(QpdfCheck(Common::AsBytes(twice)).status, 0);
    std::string none = AsString(again.SaveToBuffer(SDFDoc::e_incremental | SDFDoc::e_incremental_data_only));
    EXPECT_EQ(none.substr(0, 5), "xref\r");
}

TEST(IncrementalSave, FreedObjectsAndCrossReferenceStreams)
{
    PdfBuilder b = PdfBuilder::Minimal();
    b.Set(5, "<</Unused true>>");
    b.Set(6, "<</Unused true>>");
    const std::string original = b.Build(PdfBuilder::XRef::e_stream);
    SDFDoc doc;
    Open(doc, original);
    ASSERT_TRUE(doc.GetImpl().HasXRefStream());
    doc.GetImpl().FreeObj(5);
    doc.GetImpl().FreeObj(6);
    Edit(doc, "fr");  // the new object takes number 6 again, generation 1
    std::string whole = AsString(doc.SaveToBuffer(SDFDoc::e_incremental));
    EXPECT_EQ(whole.substr(0, original.size()), original);
    RunResult check = QpdfCheck(Common::AsBytes(whole));
    EXPECT_EQ(check.status, 0) << check.output;
    // The update's section is a cross-reference stream with Prev, covering the free list
    // head, the freed object, the changed catalog and the new objects.
    std::string update = whole.substr(original.size());
    std::size_t xref = StartXRef(whole) - original.size();
    std::string dict = update.substr(xref, update.find(">>\rstream", xref) - xref);
    EXPECT_NE(dict.find("/Type/XRef"), std::string::npos);
    EXPECT_NE(dict.find("/Prev " + std::to_string(StartXRef(original))), std::string::npos);
    EXPECT_NE(dict.find("/Index["), std::string::npos);
    SDFDoc reread;
    Open(reread, whole);
    EXPECT_FALSE(reread.HasRepairedXRef());
    EXPECT_TRUE(reread.GetObj(5)->IsFree());
    EXPECT_EQ(reread.GetObj(6)->GetGenNum(), 1);
    EXPECT_EQ(reread.GetRoot()->FindObj("Extra"), reread.GetObj(6));
    EXPECT_EQ(AsString(reread.GetRoot()->FindObj("Lang")->GetBuffer()), "fr");

    // A full save of that file with the classic table: 20-byte lines ending CR LF.
    std::string classic = AsString(reread.SaveToBuffer(SDFDoc::e_classic_xref | SDFDoc::e_prune_unused));
    std::vector<XRefLineRead> lines = ReadClassicXRef(classic, StartXRef(classic));
    EXPECT_EQ(lines.size(), reread.XRefSize());
    EXPECT_EQ(TrailerText(classic).find("/Prev"), std::string::npos);
    EXPECT_EQ(TrailerText(classic).find("/Type"), std::string::npos);
    EXPECT_EQ(QpdfCheck(Common::AsBytes(classic)).status, 0);
}

TEST(IncrementalSave, RepairedFilesAndFullSaves)
{
    PdfBuilder b = PdfBuilder::Minimal();
    std::string damaged = b.Build();
    damaged.replace(damaged.rfind("startxref\n") + 10, 1, "9");  // startxref names nothing
    SDFDoc doc;
    Open(doc, damaged);
    ASSERT_TRUE(doc.HasRepairedXRef());
    EXPECT_EQ(Thrown([&] { doc.SaveToBuffer(SDFDoc::e_incremental); }).GetMessage(),
              kBufferError +
                  "Can not perform an incremental save on a document with a repaired XRef table. See "
                  "HasRepairedXRef()\n");
    std::string lin = AsString(doc.SaveToBuffer(SDFDoc::e_incremental | SDFDoc::e_linearize));
    EXPECT_EQ(lin.find(damaged.substr(0, 20)), std::string::npos);
    EXPECT_NE(lin.find("/Linearized 1"), std::string::npos);
    EXPECT_EQ(QpdfCheck(Common::AsBytes(lin)).status, 0);

    // After a full save the next update would follow bytes the document was not read
    // from: it is saved in full.
    SDFDoc clean;
    Open(clean, b.Build());
    clean.SaveToBuffer(SDFDoc::e_classic_xref);
    EXPECT_TRUE(clean.IsFullSaveRequired());
    Edit(clean, "it");
    std::string full = AsString(clean.SaveToBuffer(SDFDoc::e_incremental));
    EXPECT_EQ(full.find("%PDF-1.7\r%"), 0u);
    EXPECT_EQ(full.find("/Prev"), std::string::npos);
}

TEST(IncrementalSave, AppendsToItsOwnFile)
{
    TempDir dir;
    PdfBuilder b = PdfBuilder::Minimal();
    b.SetPrefix("junk before the header\n");  // offsets count from the header
    const std::string original = b.Build();
    auto path = dir.Write("doc.pdf", original).string();
    auto copy = (dir.Path() / "copy.pdf").string();
    {
        SDFDoc doc;
        doc.OpenFile(path);
        Edit(doc, "nl");
        EXPECT_EQ(Thrown([&] { doc.SaveToPath(path, SDFDoc::e_incremental | SDFDoc::e_incremental_data_only); })
                      .GetMessage(),
                  kFileError + "cannot save incremental data to the original file");
        doc.SaveToPath(path, SDFDoc::e_incremental);
        std::string once = ReadFile(path);
        EXPECT_EQ(once.substr(0, original.size()), original);
        RunResult check = QpdfCheck(Common::AsBytes(once));
        EXPECT_EQ(check.status, 0) << check.output;

        doc.GetRoot()->PutString("Lang", "pl");
        doc.SaveToPath(path, SDFDoc::e_incremental);
        std::string twice = ReadFile(path);
        EXPECT_EQ(twice.substr(0, once.size()), once);
        EXPECT_EQ(QpdfCheck(Common::AsBytes(twice)).status, 0);
        // To another file: the same bytes, written whole.
        doc.GetRoot()->PutString("Lang", "sv");
        doc.SaveToPath(copy, SDFDoc::e_incremental);
        EXPECT_EQ(ReadFile(copy).substr(0, twice.size()), twice);
        EXPECT_EQ(ReadFile(path), twice);

        // A file someone else cut short is not padded.
        std::filesystem::resize_file(path, original.size());
        doc.GetRoot()->PutString("Lang", "cs");
        EXPECT_EQ(Thrown([&] { doc.SaveToPath(path, SDFDoc::e_incremental); }).GetMessage(),
                  kFileError + "File is not the expected size: will not write");
        EXPECT_EQ(ReadFile(path), original);
    }
    SDFDoc reread;
    reread.OpenFile(copy);
    EXPECT_FALSE(reread.HasRepairedXRef());
    EXPECT_EQ(AsString(reread.GetRoot()->FindObj("Lang")->GetBuffer()), "sv");
}
