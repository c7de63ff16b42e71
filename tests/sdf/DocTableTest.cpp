#include <gtest/gtest.h>

#include <map>

#include "sdf/ObjLoader.h"
#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"
#include "sdf/SDFDocImpl.h"
#include "tests/sdf/SdfTestUtil.h"

using namespace qvx::SDF;
using qvx::Test::Text;
using qvx::Test::Thrown;

namespace {

// Loads numbers: object n is the number n * 10; object 13 fails to load.
class FakeLoader : public ObjLoader {
public:
    std::unique_ptr<Obj> LoadObject(Indirect& e) override
    {
        ++loads;
        if (e.GetObjNum() == 13) QVX_THROW("e.GetObjNum() != 13", "Object header not found");
        return Number::Create(e.GetObjNum() * 10.0);
    }
    int loads = 0;
};

}  // namespace

TEST(SDFDoc, LookupOutsideTableEmptySlotAndFreeEntry)
{
    SDFDoc doc;
    SDFDocImpl& impl = doc.GetImpl();
    impl.GetTrailer()->PutNumber("Size", 100);
    impl.SetEntry(99, Indirect::e_free, 0, 2);
    impl.SetEntry(5, Indirect::e_in_use, 1234, 0);
    ASSERT_EQ(doc.XRefSize(), 100u);

    // A reference past the table comes back as entry 0, which resolves to the trailer.
    Obj* far = doc.GetObj(99999);
    EXPECT_EQ(far, doc.GetObj(0));
    EXPECT_EQ(far->Resolve(), doc.GetTrailer());
    EXPECT_EQ(far->FindObj("Size")->GetNumber(), 100);
    // An empty slot inside the table is the document's one shared null.
    Obj* empty = doc.GetObj(50);
    EXPECT_TRUE(empty->IsNull());
    EXPECT_FALSE(empty->IsIndirect());
    EXPECT_EQ(empty, doc.GetObj(51));
    // A free entry cannot be loaded; without a file neither can an in-use one.
    EXPECT_EQ(Thrown([&] { doc.GetObj(99)->GetType(); }).GetMessage(), "Attempt to load a free object");
    EXPECT_EQ(Thrown([&] { doc.GetObj(5)->IsDict(); }).GetMessage(), "Document is not attached to a file");
    EXPECT_FALSE(doc.GetObj(5)->IsLoaded());
    EXPECT_EQ(Thrown([&] { doc.GetRoot(); }).GetMessage(), "Doc root not found");
}

TEST(SDFDoc, LazyLoadingOnceAndFailureLeavesEntryUnloaded)
{
    SDFDoc doc;
    SDFDocImpl& impl = doc.GetImpl();
    auto loader = std::make_unique<FakeLoader>();
    FakeLoader* fake = loader.get();
    impl.SetLoader(std::move(loader));
    impl.SetEntry(3, Indirect::e_in_use, 100, 0);
    impl.SetEntry(13, Indirect::e_in_use, 200, 0);
    Obj* three = doc.GetObj(3);
    EXPECT_FALSE(three->IsLoaded());
    EXPECT_EQ(three->GetNumber(), 30);
    EXPECT_EQ(three->GetNumber(), 30);
    EXPECT_EQ(fake->loads, 1);
    EXPECT_EQ(three->Resolve()->GetParent(), three);
    EXPECT_EQ(three->GetObjNum(), 3u);

    EXPECT_EQ(Thrown([&] { doc.GetObj(13)->GetNumber(); }).GetMessage(), "Object header not found");
    EXPECT_FALSE(doc.GetObj(13)->IsLoaded());
    EXPECT_EQ(doc.GetObj(3)->GetNumber(), 30);  // the rest stays usable
}

TEST(SDFDoc, AddObjReusesTheFreeListHead)
{
    SDFDoc doc;
    SDFDocImpl& impl = doc.GetImpl();
    impl.SetEntry(9, Indirect::e_in_use, 0, 0)->SetReferent(Null::Create());
    impl.SetEntry(7, Indirect::e_free, 0, 3);            // free, generation 3, end of list
    impl.GetEntry(0)->Reset(Indirect::e_free, 7, 65535);  // the list starts at 7

    Obj* a = doc.CreateIndirectName("A");
    EXPECT_EQ(a->GetObjNum(), 7u);
    EXPECT_EQ(a->GetGenNum(), 4);
    EXPECT_EQ(impl.GetEntry(0)->GetOffset(), 0u);  // the list is now empty
    Obj* b = doc.CreateIndirectDict();
    EXPECT_EQ(b->GetObjNum(), 10u);  // the table size
    EXPECT_EQ(b->GetGenNum(), 0);
    EXPECT_EQ(Text(b), "10 0 R");

    // Freed numbers return to the head of the list with their generation kept.
    impl.FreeObj(7);
    EXPECT_TRUE(doc.GetObj(7)->IsFree());
    Obj* c = doc.CreateIndirectNumber(1);
    EXPECT_EQ(c->GetObjNum(), 7u);
    EXPECT_EQ(c->GetGenNum(), 5);

    // Generations wrap at 65536.
    impl.SetEntry(8, Indirect::e_free, 0, 65535);
    impl.GetEntry(0)->Reset(Indirect::e_free, 8, 65535);
    EXPECT_EQ(doc.CreateIndirectNull()->GetGenNum(), 0);
}

TEST(SDFDoc, OwnerChainModifiedMarksAndSwap)
{
    SDFDoc doc;
    Obj* page = doc.CreateIndirectDict();
    Obj* box = page->PutArray("MediaBox");
    Obj* n = box->PushBackNumber(612);
    EXPECT_EQ(n->GetObjNum(), page->GetObjNum());
    EXPECT_EQ(n->GetDoc(), &doc);
    doc.ClearModified();
    EXPECT_FALSE(page->IsModified());

    n->SetNumberNoSetDirty(600);
    EXPECT_FALSE(page->IsModified());
    n->SetNumber(595);
    EXPECT_TRUE(page->IsModified());
    EXPECT_EQ(doc.GetModified(), (std::vector<std::uint32_t>{page->GetObjNum()}));

    Obj* other = doc.CreateIndirectName("Other");
    doc.Swap(page, other);
    EXPECT_TRUE(page->IsName());
    EXPECT_EQ(other->FindObj("MediaBox")->GetAt(0)->GetNumber(), 595);
    EXPECT_EQ(other->FindObj("MediaBox")->GetObjNum(), other->GetObjNum());
    EXPECT_EQ(Thrown([&] { doc.Swap(page, box); }).GetMessage(), "Swap operation failed.");

    // References from another document are refused.
    SDFDoc second;
    Obj* foreign = second.CreateIndirectDict();
    EXPECT_EQ(Thrown([&] { page->Resolve(); other->Put("X", foreign); }).GetMessage(),
              "Objects cannot belong to different documents");
}

TEST(SDFDoc, ImportCopiesReachableObjectsOnce)
{
    SDFDoc src;
    Obj* a = src.CreateIndirectDict();
    Obj* b = src.CreateIndirectArray();
    Obj* skipped = src.CreateIndirectString(qvx::Common::AsBytes("secret"));
    a->Put("B", b);
    a->Put("Self", a);
    b->PushBack(a);
    b->PushBack(b);
    a->Put("Skip", skipped);
    a->PutName("K", "V");

    SDFDoc dst;
    dst.CreateIndirectNull();  // so numbers differ between the documents
    auto out = dst.ImportObjs({a, b}, {skipped});
    Obj* na = out[0];
    Obj* nb = out[1];
    EXPECT_EQ(na->GetDoc(), &dst);
    EXPECT_EQ(na->FindObj("Self"), na);
    EXPECT_EQ(na->FindObj("B"), nb);
    EXPECT_EQ(nb->GetAt(0), na);
    EXPECT_EQ(nb->GetAt(1), nb);
    EXPECT_TRUE(na->FindObj("Skip")->IsNull());
    EXPECT_EQ(na->FindObj("K")->GetName(), "V");
    EXPECT_EQ(dst.XRefSize(), 4u);
    EXPECT_EQ(dst.ImportObj(na), na);
}
