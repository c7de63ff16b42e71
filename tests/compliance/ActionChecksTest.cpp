// Actions: permitted types per level, Named actions, GoTo destinations, Next chains, and
// where actions hang (links, widgets, fields, page and catalog AA, OpenAction, outlines).
#include <gtest/gtest.h>

#include "tests/compliance/AnnotationCheckSupport.h"

using namespace qvx::Test;

namespace {

// A link (6) whose A is object 7.
PdfBuilder LinkWith(int level, const std::string& action)
{
    PdfBuilder b = WithAnnots(level, {"<</Subtype/Link/Rect[0 0 10 10]/F 4/A 7 0 R>>"});
    b.Set(7, action);
    return b;
}

}  // namespace

TEST(ActionChecks, TypesPerLevel)
{
    EXPECT_EQ(Findings(LinkWith(k2B, "<</S/URI/URI(http://example.com)>>"), k2B), "");
    for (const char* s : {"Launch", "Sound", "Movie", "Hide", "ResetForm", "ImportData", "Rendition", "Trans", "Foo"})
        EXPECT_EQ(Findings(LinkWith(k2B, std::string("<</S/") + s + ">>"), k2B), "611(7)") << s;
    EXPECT_EQ(Findings(LinkWith(k3B, "<</S/JavaScript/JS(1)>>"), k3B), "611(7)");
    EXPECT_EQ(Findings(LinkWith(k4, "<</S/JavaScript/JS(1)>>"), k4), "");
    EXPECT_EQ(Findings(LinkWith(k4, "<</S/SetOCGState/State[]>>"), k4), "611(7)");
    EXPECT_EQ(Findings(LinkWith(k4E, "<</S/SetOCGState/State[]>>"), k4E), "");
    // Go-to actions into other or embedded documents are permitted at every level, PDF/A-1
    // included.
    for (const char* a : {"<</S/GoToE/T<</R/C/N(a.pdf)>>/D[0/Fit]>>", "<</S/GoToR/F(a.pdf)/D[0/Fit]>>"}) {
        EXPECT_EQ(Findings(LinkWith(k1B, a), k1B), "") << a;
        EXPECT_EQ(Findings(LinkWith(k2B, a), k2B), "") << a;
    }
    EXPECT_EQ(Findings(LinkWith(k1B, "<</S/Named/N/NextPage>>"), k1B), "");
    EXPECT_EQ(Findings(LinkWith(k1B, "<</S/Named/N/Print>>"), k1B), "612(7)");
}

TEST(ActionChecks, DestinationsAndChains)
{
    EXPECT_EQ(Findings(LinkWith(k2B, "<</S/GoTo/D[3 0 R/Fit]>>"), k2B), "");
    EXPECT_EQ(Findings(LinkWith(k2B, "<</S/GoTo/D[4 0 R/Fit]>>"), k2B), "623(7)");
    EXPECT_EQ(Findings(LinkWith(k2B, "<</S/GoTo>>"), k2B), "623(7)");
    // Named destinations: names through the catalog's Dests, strings through the name tree.
    PdfBuilder named = LinkWith(k2B, "<</S/GoTo/D(here)>>");
    named.Set(1, CatalogFor(k2B, "/Names<</Dests<</Kids[<</Names[(here)[3 0 R/Fit]]>>]>>>>"));
    EXPECT_EQ(Findings(named, k2B), "");
    named.Set(7, "<</S/GoTo/D(there)>>");
    EXPECT_EQ(Findings(named, k2B), "623(7)");
    // A name tree whose kids lead back to itself ends.
    named.Set(1, CatalogFor(k2B, "/Names<</Dests 9 0 R>>"));
    named.Set(9, "<</Kids[9 0 R 9 0 R<</Kids[9 0 R]>>]>>");
    EXPECT_EQ(Findings(named, k2B), "623(7)");
    PdfBuilder by_name = LinkWith(k2B, "<</S/GoTo/D/here>>");
    by_name.Set(1, CatalogFor(k2B, "/Dests<</here<</D[3 0 R/XYZ 0 0 0]>>>>"));
    EXPECT_EQ(Findings(by_name, k2B), "");
    // Next: a dictionary or an array, followed past permitted actions; a loop ends.
    PdfBuilder chain = LinkWith(k2B, "<</S/URI/URI(a)/Next[8 0 R 9 0 R]>>");
    chain.Set(8, "<</S/URI/URI(b)/Next 7 0 R>>");
    chain.Set(9, "<</S/Launch/F(x)>>");
    EXPECT_EQ(Findings(chain, k2B), "611(9)");
    // Conversion removes a failing action.
    EXPECT_EQ(FindingsAfterConversion(chain, k2B), "");
    // Links whose Dest page is gone (null, an object not in the file), as split documents
    // leave them, lose the destination in conversion; one to the page and one by page
    // number keep theirs.
    PdfBuilder dests = WithAnnots(k1B, {"<</Subtype/Link/Rect[0 0 10 10]/F 4/Dest[null/Fit]>>",
                                        "<</Subtype/Link/Rect[0 0 10 10]/F 4/Dest[99 0 R/XYZ 0 0 0]>>",
                                        "<</Subtype/Link/Rect[0 0 10 10]/F 4/Dest[3 0 R/Fit]>>",
                                        "<</Subtype/Link/Rect[0 0 10 10]/F 4/Dest[0/Fit]>>"});
    EXPECT_EQ(Findings(dests, k1B), "");
    qvx::PDF::PDFACompliance run(true, ToBytes(dests.Build()), nullptr, k1B, nullptr, 0, 0, false);
    std::string kept;
    for (int num : {6, 7, 8, 9}) kept += run.GetDoc().GetObj(num)->FindObj("Dest") ? "1" : "0";
    EXPECT_EQ(kept, "0011");
}

TEST(ActionChecks, WidgetsFieldsAndPages)
{
    std::string widget = "<</Subtype/Widget/FT/Tx/T(t)/Rect[0 0 10 10]/F 4" + kAP;
    EXPECT_EQ(Findings(WithAnnots(k2B, {widget + "/A<</S/URI/URI(a)>>>>"}), k2B), "91(6)");
    EXPECT_EQ(Findings(WithAnnots(k2B, {widget + "/AA<</K<</S/URI/URI(a)>>>>>>"}), k2B), "91(6)");
    EXPECT_EQ(Findings(WithAnnots(k4, {widget + "/AA<</K<</S/JavaScript/JS(1)>>>>>>"}), k4), "");
    EXPECT_EQ(Findings(WithAnnots(k4, {widget + "/AA<</K<</S/Launch>>>>>>"}), k4), "611(6)");
    // PDF/A-4: other annotations keep to the permitted triggers.
    std::string square = "<</Subtype/Square/Rect[0 0 10 10]/F 4" + kAP;
    EXPECT_EQ(Findings(WithAnnots(k4, {square + "/AA<</E<</S/URI/URI(a)>>>>>>"}), k4), "");
    EXPECT_EQ(Findings(WithAnnots(k4, {square + "/AA<</PO<</S/URI/URI(a)>>>>>>"}), k4), "46631(6)");
    // A field that is not merged with its widget, in the interactive form; at PDF/A-4 its
    // AA may act, as a widget's may, with permitted actions only.
    auto field = [](int level, const std::string& aa) {
        PdfBuilder b = WithAnnots(level, {"<</Subtype/Widget/Parent 8 0 R/Rect[0 0 10 10]/F 4" + kAP + ">>"});
        b.Set(8, "<</FT/Tx/T(f)/Kids[6 0 R]/AA<<" + aa + ">>>>");
        b.Set(1, CatalogFor(level, "/AcroForm<</Fields[8 0 R]>>"));
        return b;
    };
    EXPECT_EQ(Findings(field(k2B, "/K<</S/URI/URI(a)>>"), k2B), "91(8)");
    EXPECT_EQ(Findings(field(k4, "/K<</S/JavaScript/JS(1)>>"), k4), "");
    EXPECT_EQ(Findings(field(k4, "/K<</S/Launch>>"), k4), "611(8)");
    EXPECT_EQ(FindingsAfterConversion(field(k4, "/K<</S/Launch>>"), k4), "");
    // Page AA: PDF/A-2 and -3 forbid it, PDF/A-4 limits its triggers, PDF/A-1 checks the actions.
    std::string launch = "/AA<</O<</S/Launch>>>>";
    EXPECT_EQ(Findings(WithAnnots(k2B, {}, launch), k2B), "611(3) 5212(3)");
    EXPECT_EQ(Findings(WithAnnots(k2B, {}, "/AA<<>>"), k2B), "5212(3)");
    EXPECT_EQ(Findings(WithAnnots(k4, {}, launch), k4), "611(3) 46631(3)");
    EXPECT_EQ(Findings(WithAnnots(k1B, {}, launch), k1B), "611(3)");
    EXPECT_EQ(Findings(WithAnnots(k2B, {}, "/PresSteps<<>>"), k2B), "6100(3)");
    EXPECT_EQ(Findings(WithAnnots(k1B, {}, "/PresSteps<<>>"), k1B), "");
    EXPECT_EQ(FindingsAfterConversion(WithAnnots(k2B, {widget + "/A<</S/URI/URI(a)>>>>"}, launch), k2B), "");
}

TEST(ActionChecks, CatalogAndOutlines)
{
    auto with_catalog = [](int level, const std::string& extra) {
        PdfBuilder b = CleanFile(level);
        b.Set(1, CatalogFor(level, extra));
        b.Set(7, "<</S/Launch/F(x)>>");
        return b;
    };
    EXPECT_EQ(Findings(with_catalog(k2B, "/AA<</WC<</S/URI/URI(a)>>>>"), k2B), "621(1)");
    EXPECT_EQ(Findings(with_catalog(k4, "/AA<</WC<</S/URI/URI(a)>>>>"), k4), "46631(1)");
    EXPECT_EQ(Findings(with_catalog(k4, "/AA<</E<</S/URI/URI(a)>>>>"), k4), "");
    EXPECT_EQ(Findings(with_catalog(k2B, "/OpenAction 7 0 R"), k2B), "611(7)");
    EXPECT_EQ(Findings(with_catalog(k2B, "/OpenAction[3 0 R/Fit]"), k2B), "");
    // Outline items, down through First and along Next.
    PdfBuilder outline = with_catalog(k2B, "/Outlines<</First 8 0 R>>");
    outline.Set(8, "<</Title(a)/Next 9 0 R>>");
    outline.Set(9, "<</Title(b)/First 10 0 R>>");
    outline.Set(10, "<</Title(c)/A 7 0 R/Next 8 0 R>>");
    EXPECT_EQ(Findings(outline, k2B), "611(7)");
    EXPECT_EQ(FindingsAfterConversion(outline, k2B), "");
}
