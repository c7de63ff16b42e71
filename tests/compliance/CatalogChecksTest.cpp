// Catalog entries: the name dictionary, optional content, Requirements, Version,
// NeedsRendering, the interactive form, and the logical structure of the A levels.
#include <gtest/gtest.h>

#include "pdf/ObjUtil.h"
#include "tests/compliance/AnnotationCheckSupport.h"

using namespace qvx::Test;

namespace {

PdfBuilder WithCatalog(int level, const std::string& extra)
{
    PdfBuilder b = CleanFile(level);
    b.Set(1, CatalogFor(level, extra));
    return b;
}

}  // namespace

TEST(CatalogChecks, NameDictionary)
{
    auto names = [](int level, const std::string& body) {
        PdfBuilder b = WithCatalog(level, "/Names 7 0 R");
        if (!body.empty()) b.Set(7, body);
        return b;
    };
    EXPECT_EQ(Findings(names(k1B, ""), k1B), "");
    EXPECT_EQ(Findings(names(k1B, "<</EmbeddedFiles<</Names[]>>>>"), k1B), "1112(7)");
    EXPECT_EQ(Findings(names(k2B, "<</EmbeddedFiles<</Names[]>>>>"), k2B), "");
    PdfBuilder b = names(k2B, "<</JavaScript<</Names[]>>/AlternatePresentations<<>>>>");
    EXPECT_EQ(Findings(b, k2B), "622(7) 6101(7)");
    EXPECT_EQ(FindingsAfterConversion(b, k2B), "");
    // PDF/A-4f needs the embedded files listed; conversion lists those of the catalog's AF.
    PdfBuilder f = CleanFile(k4F);
    f.Set(1, "<</Type/Catalog/Pages 2 0 R/Metadata 5 0 R/AF[8 0 R]>>");
    f.Set(8, "<</Type/Filespec/F(a.txt)/UF(a.txt)/AFRelationship/Data/EF<</F 9 0 R>>>>");
    f.SetStream(9, "/Type/EmbeddedFile/Subtype/text#2Fplain", "hello");
    EXPECT_EQ(Findings(f, k4F), "4695(1)");
    EXPECT_EQ(FindingsAfterConversion(f, k4F), "");
    f.Set(1, "<</Type/Catalog/Pages 2 0 R/Metadata 5 0 R/AF[8 0 R]/Names<<>>>>");
    EXPECT_EQ(Findings(f, k4F), "4695(1)");
    EXPECT_EQ(FindingsAfterConversion(f, k4F), "");
}

TEST(CatalogChecks, OptionalContent)
{
    auto oc = [](int level, const std::string& d) {
        PdfBuilder b = WithCatalog(level, "/OCProperties<</OCGs[7 0 R]" + d + ">>");
        b.Set(7, "<</Type/OCG/Name(layer)>>");
        return b;
    };
    std::string named = "/D<</Name(Base)/Order[7 0 R]>>";
    EXPECT_EQ(Findings(oc(k1B, named), k1B), "1131(1)");
    EXPECT_EQ(Findings(oc(k2B, named), k2B), "");
    EXPECT_EQ(Findings(oc(k2B, "/D<</AS[]>>"), k2B), "69001(1) 69003(1)");
    EXPECT_EQ(Findings(oc(k4, "/D<</AS[]>>"), k4), "69001(1)");
    EXPECT_EQ(FindingsAfterConversion(oc(k2B, "/D<</AS[]>>"), k2B), "");
    PdfBuilder b = oc(k2B, "");
    EXPECT_EQ(Findings(b, k2B), "10(1)");
    EXPECT_EQ(FindingsAfterConversion(b, k2B), "");
    // Every configuration of Configs, direct or not, is held to the rules of D.
    auto configs = [&](int level) {
        PdfBuilder b = oc(level, named + "/Configs[<</Order[]>> 8 0 R]");
        b.Set(8, "<</Name(Other)/AS[]>>");
        return b;
    };
    EXPECT_EQ(Findings(configs(k2B), k2B), "69001(1) 69003(1)");
    EXPECT_EQ(Findings(configs(k4), k4), "69001(1)");
    EXPECT_EQ(FindingsAfterConversion(configs(k2B), k2B), "");
    EXPECT_EQ(Findings(oc(k3B, named + "/Configs[<</Name(Other)>>]"), k3B), "");
    // Where layers are not allowed, OCProperties of any kind is one too many.
    EXPECT_EQ(Findings(WithCatalog(k1B, "/OCProperties[]"), k1B), "1131(1)");
    EXPECT_EQ(Findings(WithCatalog(k2B, "/OCProperties[]"), k2B), "");
    // Without OCGs, of whatever kind, it names no layers; conversion drops it.
    for (const char* entry : {"/OCProperties[]", "/OCProperties<</D<</Name(a)>>>>"}) {
        qvx::PDF::PDFACompliance run(true, ToBytes(WithCatalog(k2B, entry).Build()), nullptr, k2B, nullptr, 0, 0,
                                     false);
        EXPECT_EQ(run.GetDoc().GetRoot()->FindObj("OCProperties"), nullptr) << entry;
    }
}

TEST(CatalogChecks, NullEntriesAreAbsent)
{
    // A null value is no value: none of these entries is there.
    for (int level : {k1B, k2B, k3U, k4E}) {
        PdfBuilder b = WithCatalog(level, "/AA null/Requirements null/Version null/NeedsRendering null"
                                          "/Names<</JavaScript null/AlternatePresentations null/EmbeddedFiles null>>"
                                          "/AcroForm<</Fields[]/XFA null/NeedAppearances null>>");
        EXPECT_EQ(Findings(b, level), "") << level;
    }
    PdfBuilder oc = WithCatalog(k2B, "/OCProperties<</OCGs[7 0 R]/D<</Name(a)/AS null>>>>");
    oc.Set(7, "<</Type/OCG/Name(layer)>>");
    EXPECT_EQ(Findings(oc, k2B), "");
    // PDF/A-4f needs the tree itself; a null one is none.
    EXPECT_EQ(Findings(WithCatalog(k4F, "/Names<</EmbeddedFiles null>>"), k4F), "4695(1)");
    PdfBuilder page = WithAnnots(k2U, {}, "/AA null/PresSteps null");
    EXPECT_EQ(Findings(page, k2U), "");
    // A Filespec dictionary whose F or UF is null lacks it.
    PdfBuilder fs = WithCatalog(k3B, "/AF[7 0 R]");
    fs.Set(7, "<</Type/Filespec/F(a.txt)/UF null/AFRelationship/Data>>");
    EXPECT_EQ(Findings(fs, k3B), "81(7)");
}

TEST(CatalogChecks, RequirementsVersionAndRendering)
{
    EXPECT_EQ(Findings(WithCatalog(k2B, "/Requirements[<</S/EnableJavaScripts>>]"), k2B), "11000(1)");
    EXPECT_EQ(Findings(WithCatalog(k2B, "/NeedsRendering true"), k2B), "94(1)");
    EXPECT_EQ(Findings(WithCatalog(k2B, "/NeedsRendering false"), k2B), "");
    EXPECT_EQ(Findings(WithCatalog(k4, "/Version/2.0"), k4), "");
    EXPECT_EQ(Findings(WithCatalog(k4, "/Version/1.7"), k4), "461121(1)");
    EXPECT_EQ(Findings(WithCatalog(k4, "/Version/2.10"), k4), "461121(1)");
    EXPECT_EQ(Findings(WithCatalog(k4, "/Version(2.0)"), k4), "461121(1)");
    EXPECT_EQ(Findings(WithCatalog(k2B, "/Version/1.7"), k2B), "");
    EXPECT_EQ(FindingsAfterConversion(WithCatalog(k4, "/Version/1.7/Requirements[]"), k4), "");
}

TEST(CatalogChecks, InteractiveForm)
{
    PdfBuilder b = WithCatalog(k2B, "/AcroForm 7 0 R");
    b.Set(7, "<</Fields[]/NeedAppearances true>>");
    EXPECT_EQ(Findings(b, k2B), "92(7)");
    b.Set(7, "<</Fields[]/NeedAppearances false>>");
    EXPECT_EQ(Findings(b, k2B), "");
    b.Set(7, "<</Fields[]/NeedAppearances 1/XFA[]>>");
    EXPECT_EQ(Findings(b, k2B), "11(7) 93(7)");
    EXPECT_EQ(FindingsAfterConversion(b, k2B), "");
}

TEST(CatalogChecks, LogicalStructureOfTheALevels)
{
    // Clean files of the A levels are marked and have a root; without them:
    for (int level : {k1A, k1B}) {
        PdfBuilder bare = CleanFile(level);
        bare.Set(1, "<</Type/Catalog/Pages 2 0 R/Metadata 5 0 R/MarkInfo<</Marked false>>>>");
        EXPECT_EQ(Findings(bare, level), level == k1A ? "822 8331" : "") << level;
    }
    // A structure tree tied to the content through its parent tree is kept marked by
    // conversion; an empty one, or one without parent tree, says nothing of the content.
    for (const char* tree : {"<</Type/StructTreeRoot/K 7 0 R/ParentTree<</Nums[0[7 0 R]]>>>>",
                             "<</Type/StructTreeRoot/K 7 0 R>>", "<</Type/StructTreeRoot/K[]/ParentTree<</Nums[]>>>>"}) {
        SCOPED_TRACE(tree);
        PdfBuilder b = CleanFile(k2A);
        b.Set(1, std::string("<</Type/Catalog/Pages 2 0 R/Metadata 5 0 R/StructTreeRoot ") + tree + ">>");
        b.Set(7, "<</Type/StructElem/S/P/K 0>>");
        EXPECT_EQ(Findings(b, k2A), "822");
        EXPECT_EQ(FindingsAfterConversion(b, k2A), std::string(tree).find("Nums[0") != std::string::npos ? "" : "822");
        // The B levels do not ask for the flag, and their copies do not claim it.
        qvx::PDF::PDFACompliance run(true, ToBytes(b.Build()), nullptr, k2B, nullptr, 0, 0, false);
        EXPECT_EQ(qvx::PDF::FindDict(run.GetDoc().GetObj(1), "MarkInfo"), nullptr);
    }
    // Elements: Type StructElem, types that are standard or mapped to standard ones.
    auto tree = [](int level) {
        PdfBuilder b = CleanFile(level);
        b.Set(1, "<</Type/Catalog/Pages 2 0 R/Metadata 5 0 R/MarkInfo<</Marked true>>/StructTreeRoot 7 0 R>>");
        b.Set(7, "<</Type/StructTreeRoot/K[8 0 R 9 0 R]/RoleMap<</Chapter/Sect/Loop/Loop2/Loop2/Loop>>>>");
        b.Set(8, "<</Type/StructElem/S/Chapter/K[10 0 R<</S/P/K 0>>]>>");
        b.Set(9, "<</S/Rectangle/K 1>>");
        b.Set(10, "<</Type/StructElem/S/Loop>>");
        return b;
    };
    EXPECT_EQ(Findings(tree(k1A), k1A), "8332(9) 8341(7 9 10)");
    EXPECT_EQ(Findings(tree(k2B), k2B), "");
    // Emphasis tagged with the types PDF 2.0 added, as browsers print it: conversion maps
    // them to Span, the type they stand for, with or without a map to add to; a type of
    // one's own, and a map entry that leads nowhere, to NonStruct.
    for (const char* map : {"", "/RoleMap<</Chapter/Sect>>"}) {
        PdfBuilder b = CleanFile(k2A);
        b.Set(1, "<</Type/Catalog/Pages 2 0 R/Metadata 5 0 R/MarkInfo<</Marked true>>/StructTreeRoot 7 0 R>>");
        b.Set(7, std::string("<</Type/StructTreeRoot/K[8 0 R 9 0 R]") + map + ">>");
        b.Set(8, "<</Type/StructElem/S/P/K[<</Type/StructElem/S/Em/K 0>><</Type/StructElem/S/Strong/K 1>>]>>");
        b.Set(9, "<</Type/StructElem/S/Rectangle/K 2>>");
        EXPECT_EQ(Findings(b, k2A), "8341(8 9)") << map;
        EXPECT_EQ(FindingsAfterConversion(b, k2A), "") << map;
        qvx::PDF::PDFACompliance run(true, ToBytes(b.Build()), nullptr, k2A, nullptr, 0, 0, false);
        qvx::SDF::Obj* roles = qvx::PDF::FindDict(run.GetDoc().GetObj(7), "RoleMap");
        EXPECT_EQ(qvx::PDF::FindName(roles, "Em"), "Span") << map;
        EXPECT_EQ(qvx::PDF::FindName(roles, "Rectangle"), "NonStruct") << map;
    }
    PdfBuilder loop = tree(k2A);
    loop.Set(8, "<</Type/StructElem/S/Chapter/K[10 0 R<</Type/StructElem/S/P/K 0>>]>>");
    loop.Set(9, "<</Type/StructElem/S/P/K 1>>");
    loop.Set(10, "<</Type/StructElem/S/Sect>>");
    EXPECT_EQ(Findings(loop, k2A), "8341(7)");
    EXPECT_EQ(FindingsAfterConversion(loop, k2A), "");
    // PDF/A-4: no private-use characters in ActualText.
    PdfBuilder text = CleanFile(k4);
    text.Set(1, "<</Type/Catalog/Pages 2 0 R/Metadata 5 0 R/StructTreeRoot<</K 7 0 R>>>>");
    text.Set(7, "<</S/Span/ActualText<FEFFE000>>>");
    EXPECT_EQ(Findings(text, k4), "4621081(7)");
    text.Set(7, "<</S/Span/ActualText(plain)>>");
    EXPECT_EQ(Findings(text, k4), "");
}

TEST(CatalogChecks, AccessibilityRulesOfPDFUA)
{
    constexpr int kUA = 12;
    auto ua = [](const std::string& catalog_extra) {
        PdfBuilder b = CleanFile(k2B);
        b.Set(1, "<</Type/Catalog/Pages 2 0 R/Metadata 5 0 R" + catalog_extra + ">>");
        return b;
    };
    auto has = [](const std::string& findings, const std::string& code) {
        return (" " + findings + " ").find(" " + code) != std::string::npos;
    };
    std::string shows = "/ViewerPreferences<</DisplayDocTitle true>>";
    EXPECT_FALSE(has(Findings(ua(shows), kUA), "-17111"));
    EXPECT_TRUE(has(Findings(ua(""), kUA), "-17111"));
    EXPECT_TRUE(has(Findings(ua("/ViewerPreferences 7 0 R"), kUA), "-17111"));
    EXPECT_TRUE(has(Findings(ua(shows + "/MarkInfo<</Marked true/Suspects true>>"), kUA), "-1714"));
    EXPECT_TRUE(has(Findings(ua(shows + "/NeedsRendering true/AcroForm<</Fields[]/XFA[]>>"), kUA), "-17151"));
    EXPECT_FALSE(has(Findings(ua(shows + "/AcroForm<</Fields[]/XFA[]>>"), kUA), "-17151"));
    // Role map: a circle, a remapped standard type, a type that leads nowhere standard.
    std::string tree = shows + "/StructTreeRoot<</RoleMap<</A/B/B/A/P/Span/Mine/Other>>>>";
    std::string found = Findings(ua(tree), kUA);
    EXPECT_TRUE(has(found, "-1716(1)")) << found;
    EXPECT_TRUE(has(found, "-1717(1)")) << found;
    EXPECT_TRUE(has(found, "-1715(1)")) << found;
    // TrapNet annotations.
    PdfBuilder trap = WithAnnots(k2B, {"<</Subtype/TrapNet/Rect[0 0 1 1]/F 4>>"});
    trap.Set(1, "<</Type/Catalog/Pages 2 0 R/Metadata 5 0 R" + shows + ">>");
    EXPECT_TRUE(has(Findings(trap, kUA), "-171821(6)"));
    EXPECT_FALSE(has(Findings(trap, k2B), "-171821"));
}

TEST(CatalogChecks, ConversionLinksOutlinesAsTheyAreWalked)
{
    // Root 6 without Count; 7, 8, 9 in a list whose Next loops back from 9 to 7, with a Prev
    // and Parents that point elsewhere; open 8 holds 10, closed 9 holds 11 with a wrong Count.
    // 7 goes to the page; 10 and 11, as a split document leaves them, to a page that is gone
    // (null, an object not in the file), and 8 to page number 0.
    PdfBuilder b = WithCatalog(k1B, "/Outlines 6 0 R");
    b.Set(6, "<</Type/Outlines/First 7 0 R/Last 7 0 R>>");
    b.Set(7, "<</Title(a)/Parent 12 0 R/Next 8 0 R/Dest[3 0 R/Fit]>>");
    b.Set(8, "<</Title(b)/Parent 12 0 R/Prev 9 0 R/Next 9 0 R/First 10 0 R/Count 1/Dest[0/Fit]>>");
    b.Set(9, "<</Title(c)/Parent 6 0 R/Next 7 0 R/First 11 0 R/Last 10 0 R/Count -5>>");
    b.Set(10, "<</Title(d)/Parent 8 0 R/Dest[null/XYZ 0 0 0]>>");
    b.Set(11, "<</Title(e)/Parent 9 0 R/Prev 10 0 R/Dest[99 0 R/Fit]>>");
    b.Set(12, "<<>>");
    EXPECT_EQ(Findings(b, k1B), "");
    qvx::PDF::PDFACompliance run(true, ToBytes(b.Build()), nullptr, k1B, nullptr, 0, 0, false);
    // Each node: the numbers of Parent, Prev, Next, First, Last (0 when absent), and Count.
    auto links = [&](int num) {
        qvx::SDF::Obj* d = run.GetDoc().GetObj(num);
        std::string out;
        for (const char* key : {"Parent", "Prev", "Next", "First", "Last"}) {
            qvx::SDF::Obj* v = d->FindObj(key);
            out += std::to_string(v ? v->GetObjNum() : 0) + " ";
        }
        qvx::SDF::Obj* count = d->FindObj("Count");
        return out + (count ? std::to_string(static_cast<int>(count->GetNumber())) : "-");
    };
    EXPECT_EQ(links(6), "0 0 0 7 9 4");
    EXPECT_EQ(links(7), "6 0 8 0 0 -");
    EXPECT_EQ(links(8), "6 7 9 10 10 1");
    EXPECT_EQ(links(9), "6 8 0 11 11 -1");
    EXPECT_EQ(links(10), "8 0 0 0 0 -");
    EXPECT_EQ(links(11), "9 0 0 0 0 -");
    auto entry = [&](int num, const char* key) { return run.GetDoc().GetObj(num)->FindObj(key) != nullptr; };
    EXPECT_TRUE(entry(7, "Dest") && entry(8, "Dest"));
    EXPECT_FALSE(entry(10, "Dest"));
    EXPECT_FALSE(entry(11, "Dest"));
    EXPECT_EQ(FindingsAfterConversion(b, k1B), "");
    // An item held directly in its parent cannot be linked to: that tree stays as it was.
    b.Set(8, "<</Title(b)/Parent 12 0 R/First<</Title(d)>>/Count 1>>");
    qvx::PDF::PDFACompliance direct(true, ToBytes(b.Build()), nullptr, k1B, nullptr, 0, 0, false);
    EXPECT_EQ(direct.GetDoc().GetObj(7)->FindObj("Parent")->GetObjNum(), 12u);
    EXPECT_EQ(direct.GetDoc().GetObj(6)->FindObj("Count"), nullptr);
}

TEST(CatalogChecks, PDFA4InfoRules)
{
    auto with_info = [](int level, const std::string& catalog_extra, const std::string& info) {
        PdfBuilder b = WithCatalog(level, catalog_extra);
        b.Set(9, info);
        b.SetTrailer("/Root 1 0 R/Info 9 0 R/ID[<01><01>]");
        return b;
    };
    // Without PieceInfo, Info may not be there at all, whatever it holds; beside PieceInfo it
    // holds ModDate and nothing else.
    EXPECT_EQ(Findings(with_info(k4, "", "<</Title(t)/ModDate(D:20200101000000Z)>>"), k4), "46134(9)");
    EXPECT_EQ(Findings(with_info(k4F, "", "<</ModDate(D:20200101000000Z)>>"), k4F), "46134(9)");
    EXPECT_EQ(Findings(with_info(k4E, "", "[1 2]"), k4E), "46134(9)");
    EXPECT_EQ(Findings(with_info(k4, "/PieceInfo<<>>", "<</Title(t)/ModDate(D:20200101000000Z)>>"), k4), "46135(9)");
    EXPECT_EQ(Findings(with_info(k4, "/PieceInfo<<>>", "<</ModDate(D:20200101000000Z)>>"), k4), "");
    EXPECT_EQ(Findings(with_info(k4, "/PieceInfo<<>>", "<<>>"), k4), "46135(9)");
    EXPECT_EQ(Findings(with_info(k4, "/PieceInfo<<>>", "[1 2]"), k4), "46135(9)");
    EXPECT_EQ(FindingsAfterConversion(with_info(k4, "", "<</Title(t)>>"), k4), "");
    EXPECT_EQ(FindingsAfterConversion(with_info(k4, "/PieceInfo<<>>", "[1 2]"), k4), "");
    // Before PDF/A-4 the Info dictionary may hold what it likes.
    EXPECT_EQ(Findings(with_info(k2B, "", "<</Title(t)>>"), k2B), "");
}
