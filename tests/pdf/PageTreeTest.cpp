#include <gtest/gtest.h>

#include "PdfTestDoc.h"
#include "common/Exception.h"
#include "pdf/PageTree.h"

using namespace qvx;
using qvx::Test::TestDoc;

TEST(PageTree, InheritsAttributesAndKeepsOrder)
{
    TestDoc t;
    t.Set(1, "<< /Type /Catalog /Pages @2 >>");
    t.Set(2, "<< /Type /Pages /Kids [@3 @4] /Count 3 /MediaBox [0 0 200 300] /Rotate 90 /Resources @9 >>");
    t.Set(3, "<< /Type /Pages /Parent @2 /Kids [@5 @6] /Count 2 /CropBox [10 10 100 100] >>");
    t.Set(4, "<< /Type /Page /Parent @2 /MediaBox [0 0 500 600] /Rotate -90 >>");
    t.Set(5, "<< /Type /Page /Parent @3 /Resources << /Font << >> >> >>");
    t.Set(6, "<< /Type /Page /Parent @3 /Rotate 45 >>");
    t.Set(9, "<< /ProcSet [/PDF] >>");
    t.SetRoot(1);
    PDF::PageTree tree(t.doc);
    ASSERT_EQ(tree.Count(), 3u);
    EXPECT_FALSE(tree.WasRepaired());
    EXPECT_EQ(tree.GetPage(0).GetSDFObj()->GetObjNum(), 5u);
    EXPECT_EQ(tree.GetPage(1).GetSDFObj()->GetObjNum(), 6u);
    EXPECT_EQ(tree.GetPage(2).GetSDFObj()->GetObjNum(), 4u);
    // Own Resources win; the others inherit object 9.
    EXPECT_NE(tree.GetPage(0).GetResourceDict(), t.Get(9)->Resolve());
    EXPECT_EQ(tree.GetPage(1).GetResourceDict(), t.Get(9)->Resolve());
    EXPECT_EQ(tree.GetPage(0).GetMediaBox(), (PDF::Rect{0, 0, 200, 300}));
    EXPECT_EQ(tree.GetPage(0).GetCropBox(), (PDF::Rect{10, 10, 100, 100}));
    EXPECT_EQ(tree.GetPage(2).GetCropBox(), (PDF::Rect{0, 0, 500, 600}));
    EXPECT_EQ(tree.GetPage(0).GetRotation(), 90);
    EXPECT_EQ(tree.GetPage(1).GetRotation(), 0);  // 45 is no multiple of 90
    EXPECT_EQ(tree.GetPage(2).GetRotation(), 270);
    EXPECT_EQ(tree.IndexOf(t.Get(6)), 1);
    EXPECT_THROW(tree.GetPage(3), Common::Exception);
}

TEST(PageTree, SurvivesLoopsBadKidsAndMissingTypes)
{
    TestDoc t;
    t.Set(1, "<< /Type /Catalog /Pages @2 >>");
    // Kids: a loop back to the root, a number, a node without Type (has Kids), a page
    // without Type, a page listed twice, and a dangling reference.
    t.Set(2, "<< /Type /Pages /Kids [@2 7 @3 @5 @5 @15] /Count 99 >>");
    t.Set(3, "<< /Kids [@4 @3] >>");
    t.Set(4, "<< /Type /Page /Contents @8 >>");
    t.Set(5, "<< /MediaBox [0 0 1 1] >>");
    t.SetStream(8, "<< >>", "0 0 m");
    t.SetRoot(1);
    PDF::PageTree tree(t.doc);
    ASSERT_EQ(tree.Count(), 3u);
    EXPECT_TRUE(tree.WasRepaired());
    EXPECT_EQ(tree.GetPage(0).GetSDFObj()->GetObjNum(), 4u);
    EXPECT_EQ(tree.GetPage(1).GetSDFObj()->GetObjNum(), 5u);
    EXPECT_EQ(tree.GetPage(2).GetSDFObj()->GetObjNum(), 5u);
    EXPECT_EQ(tree.GetPage(0).GetContentStreams().size(), 1u);
    EXPECT_EQ(tree.GetPage(1).GetMediaBox(), (PDF::Rect{0, 0, 1, 1}));
    EXPECT_EQ(tree.GetPage(0).GetMediaBox(), (PDF::Rect{0, 0, 612, 792}));
}

TEST(PageTree, NoCatalogOrPagesMeansNoPages)
{
    TestDoc none;
    EXPECT_EQ(PDF::PageTree(none.doc).Count(), 0u);
    TestDoc t;
    t.Set(1, "<< /Type /Catalog /Pages 5 >>");
    t.SetRoot(1);
    EXPECT_EQ(PDF::PageTree(t.doc).Count(), 0u);
    // A catalog whose Pages is a page.
    TestDoc p;
    p.Set(1, "<< /Type /Catalog /Pages @2 >>");
    p.Set(2, "<< /Type /Page /Contents [@3 5 @3] >>");
    p.SetStream(3, "<< >>", "q Q");
    p.SetRoot(1);
    PDF::PageTree one(p.doc);
    ASSERT_EQ(one.Count(), 1u);
    EXPECT_EQ(one.GetPage(0).GetContentStreams().size(), 2u);
}

TEST(PageTree, DeepTreeStopsAtTheDepthLimit)
{
    TestDoc t(400);
    t.Set(1, "<< /Type /Catalog /Pages @2 >>");
    for (int i = 2; i < 390; ++i) t.Set(i, "<< /Type /Pages /Kids [@" + std::to_string(i + 1) + "] >>");
    t.Set(390, "<< /Type /Page >>");
    t.SetRoot(1);
    PDF::PageTree tree(t.doc);
    EXPECT_EQ(tree.Count(), 0u);
    EXPECT_TRUE(tree.WasRepaired());
}
