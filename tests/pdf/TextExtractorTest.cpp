#include <gtest/gtest.h>

#include "PdfTestDoc.h"
#include "pdf/PageTree.h"
#include "pdf/TextExtractor.h"

using namespace qvx;
using qvx::Test::TestDoc;

TEST(TextExtractor, WordsFromPlacementSpacesAndForms)
{
    TestDoc t;
    t.Set(1, "<< /Type /Catalog /Pages @2 >>");
    t.Set(2, "<< /Type /Pages /Kids [@3] /Count 1 >>");
    t.Set(3, "<< /Type /Page /Parent @2 /Contents [@4 @6] /Resources << /Font << /F1 @5 >> /XObject << /X @7 >> >> >>");
    // Kerning (-50) keeps a word together, a large TJ gap (-800) and Td moves split words.
    t.SetStream(4, "<< >>", "BT /F1 10 Tf 72 700 Td (Hello World) Tj 0 -12 Td [(Ne) -50 (xt) -800 (word)] TJ");
    t.Set(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    t.SetStream(6, "<< >>", " 200 0 Td (\\351t\\351) Tj ET /X Do");
    t.SetStream(7, "<< /Subtype /Form /Resources << /Font << /F1 @5 >> >> >>", "BT /F1 8 Tf 0 0 Td (in form) Tj ET");
    t.SetRoot(1);
    PDF::PageTree pages(t.doc);
    PDF::ResourceCache cache;
    PDF::TextStats stats;
    std::string text = PDF::ExtractText(pages.GetPage(0), cache, &stats);
    EXPECT_EQ(text, "Hello World\nNext word \u00E9t\u00E9\nin form ");
    EXPECT_EQ(stats.unmapped, 0u);
    EXPECT_EQ(stats.glyphs, 29u);
}
