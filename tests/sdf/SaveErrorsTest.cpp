#include <gtest/gtest.h>

#include "sdf/ObjLoader.h"
#include "sdf/SDFDocImpl.h"
#include "tests/sdf/SaveTestUtil.h"
#include "tests/sdf/SdfTestUtil.h"

using namespace qvx;
using namespace qvx::SDF;
using namespace qvx::Test;

namespace {

const std::string kBufferError = "An error occurred while trying to save to memory buffer.\nDetailed error:\n\t";
const std::string kFileError =
    "An error occurred while trying to save the file.\n\tThe file might be locked, corrupt, or unavailable.\nDetailed "
    "error:\n\t";
const std::string kRepaired =
    "Can not perform an incremental save on a document with a repaired XRef table. See HasRepairedXRef()\n";

class FailingLoader : public ObjLoader {
public:
    std::unique_ptr<Obj> LoadObject(Indirect&) override { QVX_THROW("the loader finds the object", "Object header not found"); }
};

std::vector<std::string> Listing(const std::filesystem::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(SaveErrors, IncrementalOrFull)
{
    SDFDoc doc;
    BuildDoc(doc);
    SDFDocImpl& impl = doc.GetImpl();
    // A document made in memory can only be saved in full; data alone is then impossible.
    EXPECT_EQ(impl.ConfirmIncremental(SDFDoc::e_incremental), 0u);
    EXPECT_EQ(Thrown([&] { impl.ConfirmIncremental(SDFDoc::e_incremental_data_only); }).GetMessage(),
              "Full save required -- can't save incremental data only");

    impl.SetFullSaveRequired(false);
    EXPECT_EQ(impl.ConfirmIncremental(SDFDoc::e_incremental), std::uint32_t{SDFDoc::e_incremental});
    EXPECT_EQ(impl.ConfirmIncremental(SDFDoc::e_incremental | SDFDoc::e_prune_unused),
              std::uint32_t{SDFDoc::e_prune_unused});
    EXPECT_EQ(impl.ConfirmIncremental(SDFDoc::e_incremental | SDFDoc::e_linearize), std::uint32_t{SDFDoc::e_linearize});
    // Saving with another encryption than the file's rewrites everything.
    auto handler = std::make_shared<PassThroughHandler>();
    doc.SetOutputSecurityHandler(handler);
    EXPECT_EQ(impl.ConfirmIncremental(SDFDoc::e_incremental), 0u);
    doc.SetOutputSecurityHandler(nullptr);
    doc.SetSecurityHandler(std::make_unique<PassThroughHandler>());
    EXPECT_EQ(impl.ConfirmIncremental(SDFDoc::e_incremental), 0u);

    SDFDoc redacted;
    BuildDoc(redacted);
    redacted.GetImpl().SetFullSaveRequired(false);
    redacted.GetRoot()->PutBool("QVX_REDACTED", true);
    EXPECT_EQ(Thrown([&] { redacted.GetImpl().ConfirmIncremental(SDFDoc::e_incremental); }).GetMessage(),
              "Cannot perform an incremental save on a redacted file");
    EXPECT_EQ(redacted.GetImpl().ConfirmIncremental(SDFDoc::e_classic_xref), std::uint32_t{SDFDoc::e_classic_xref});

    // A repaired table refuses an incremental save, but not a linearized one (always full).
    SDFDoc repaired;
    BuildDoc(repaired);
    repaired.GetImpl().SetRepairedXRef();
    EXPECT_EQ(Thrown([&] { repaired.SaveToBuffer(SDFDoc::e_incremental); }).GetMessage(), kBufferError + kRepaired);
    Filters::MemoryFilter sink;
    EXPECT_EQ(Thrown([&] { repaired.GetImpl().SaveToStreamImpl(sink, SDFDoc::e_incremental, {}); }).GetMessage(),
              kRepaired);
    std::string lin = AsString(repaired.SaveToBuffer(SDFDoc::e_incremental | SDFDoc::e_linearize));
    EXPECT_NE(lin.find("/Linearized 1"), std::string::npos);
}

TEST(SaveErrors, ObjectsThatCannotBeWritten)
{
    // An object of the file that does not load, in use or inside an object stream.
    for (auto kind : {Indirect::e_in_use, Indirect::e_compressed}) {
        SDFDoc doc;
        BuildDoc(doc);
        SDFDocImpl& impl = doc.GetImpl();
        impl.SetLoader(std::make_unique<FailingLoader>());
        Obj* broken = impl.SetEntry(static_cast<std::uint32_t>(doc.XRefSize()), kind, 40, 0);
        doc.GetRoot()->Put("Broken", broken);
        std::string expected = kind == Indirect::e_in_use ? "Error loading the object. "
                                                          : "Error loading compressed object stream. ";
        EXPECT_EQ(Thrown([&] { doc.SaveToBuffer(SDFDoc::e_classic_xref); }).GetMessage(), kBufferError + expected);
        // Left out when nothing reaches it.
        doc.GetRoot()->Erase("Broken");
        EXPECT_NO_THROW(doc.SaveToBuffer(SDFDoc::e_prune_unused));
    }
    // Object streams group objects by the part of the document that uses them.
    SDFDoc rootless;
    rootless.CreateIndirectDict();
    EXPECT_EQ(Thrown([&] { rootless.SaveToBuffer(0); }).GetMessage(),
              kBufferError + "The document does not contain the Root entry.");
    EXPECT_NO_THROW(rootless.SaveToBuffer(SDFDoc::e_classic_xref));
}

TEST(SaveErrors, FilesAppearWholeOrNotAtAll)
{
    TempDir dir;
    SDFDoc doc;
    BuildDoc(doc);
    EXPECT_EQ(Thrown([&] { doc.SaveToPath("", 0); }).GetMessage(), "Cannot save to empty path");

    auto out = dir.Path() / "out.pdf";
    doc.SaveToPath(out.string(), SDFDoc::e_classic_xref);
    EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{"out.pdf"});
    std::string first = ReadFile(out);
    EXPECT_EQ(first.substr(0, 8), "%PDF-1.7");
    EXPECT_EQ(QpdfCheck(Common::AsBytes(first)).status, 0);

    // A failing save leaves the earlier file as it was and no temporary file.
    doc.GetImpl().SetLoader(std::make_unique<FailingLoader>());
    doc.GetRoot()->Put("Broken", doc.GetImpl().SetEntry(static_cast<std::uint32_t>(doc.XRefSize()), Indirect::e_in_use, 9, 0));
    EXPECT_EQ(Thrown([&] { doc.SaveToPath(out.string(), 0); }).GetMessage(), kFileError + "Error loading the object. ");
    EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{"out.pdf"});
    EXPECT_EQ(ReadFile(out), first);

    // A folder that does not exist, or does not take files.
    doc.GetRoot()->Erase("Broken");
    std::string missing = (dir.Path() / "no" / "out.pdf").string();
    EXPECT_EQ(Thrown([&] { doc.SaveToPath(missing, 0); }).GetMessage(),
              kFileError + "Cannot create a temporary file in " + (dir.Path() / "no").string() +
                  "\nNo such file or directory");
    if (geteuid() != 0) {  // root writes anywhere
        auto ro = dir.Path() / "ro";
        std::filesystem::create_directory(ro);
        std::filesystem::permissions(ro, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        EXPECT_NE(Thrown([&] { doc.SaveToPath((ro / "out.pdf").string(), SDFDoc::e_prune_unused); }).GetMessage().find("Permission denied"),
                  std::string::npos);
        EXPECT_TRUE(Listing(ro).empty());
        std::filesystem::permissions(ro, std::filesystem::perms::owner_all);
    }
    // A folder in the way of the file name: nothing is left beside it.
    std::filesystem::create_directory(dir.Path() / "taken.pdf");
    std::string taken = Thrown([&] { doc.SaveToPath((dir.Path() / "taken.pdf").string(), SDFDoc::e_prune_unused); }).GetMessage();
    EXPECT_EQ(taken.find(kFileError + "Cannot rename"), 0u) << taken;
    EXPECT_EQ(Listing(dir.Path()), (std::vector<std::string>{"out.pdf", "taken.pdf"}));
}
