#include <gtest/gtest.h>

#include <filesystem>

#include "PdfTestDoc.h"
#include "pdf/CMap.h"
#include "pdf/Font.h"
#include "pdf/GlyphList.h"
#include "pdf/Std14.h"

using namespace qvx;
using PDF::Font;
using qvx::Test::TestDoc;

namespace {

std::string Text(const Font& f, std::string_view shown)
{
    std::vector<Font::CharCode> codes;
    f.Decode(Common::AsBytes(shown), codes);
    std::string out;
    std::u16string u;
    for (const auto& c : codes) out += f.ToUnicode(c, u) ? Common::UString(u).ToUTF8() : "?";
    return out;
}

}  // namespace

TEST(GlyphList, NamesAndForms)
{
    using PDF::GlyphList::ToUnicode;
    EXPECT_EQ(ToUnicode("A"), U"A");
    EXPECT_EQ(ToUnicode("Adieresis"), U"\u00C4");
    EXPECT_EQ(ToUnicode("uni20AC"), U"\u20AC");
    EXPECT_EQ(ToUnicode("uni004100420043"), U"ABC");
    EXPECT_EQ(ToUnicode("u1F600"), U"\U0001F600");
    EXPECT_EQ(ToUnicode("f_f_i"), U"ffi");
    EXPECT_EQ(ToUnicode("a.sc"), U"a");
    EXPECT_EQ(ToUnicode("a9"), U"\u2720");  // Zapf Dingbats names are included
    EXPECT_EQ(ToUnicode("uni20ac"), U"");   // lower-case hex is no uni name
    EXPECT_EQ(ToUnicode("uniD800"), U"");   // surrogates are not characters
    EXPECT_EQ(ToUnicode("nosuchglyph"), U"");
    EXPECT_TRUE(PDF::GlyphList::IsListed("germandbls"));
    EXPECT_FALSE(PDF::GlyphList::IsListed("uni0041"));
    EXPECT_EQ(PDF::GlyphList::NameFor(U'\u00E9'), "eacute");
}

TEST(Std14, NamesAliasesAndWidths)
{
    EXPECT_EQ(PDF::Std14::Canonical("Helvetica-Bold"), "Helvetica-Bold");
    EXPECT_EQ(PDF::Std14::Canonical("ABCDEF+Arial,Bold"), "Helvetica-Bold");
    EXPECT_EQ(PDF::Std14::Canonical("Times New Roman"), "Times-Roman");
    EXPECT_EQ(PDF::Std14::Canonical("Garamond"), "");
    EXPECT_EQ(PDF::Std14::Width("Helvetica", "A"), 667);
    EXPECT_EQ(PDF::Std14::Width("Courier", "ydieresis"), 600);
    EXPECT_EQ(PDF::Std14::Width("Times-Roman", "space"), 250);
    EXPECT_FALSE(PDF::Std14::Width("Helvetica", "nosuch").has_value());
}

TEST(Font, SimpleFontEncodingWidthsAndUnicode)
{
    TestDoc t;
    t.Set(1, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /FirstChar 65 /LastChar 67 /Widths [500 600 700] "
             "/Encoding << /BaseEncoding /WinAnsiEncoding /Differences [66 /Euro /uni0416 128 /fi] >> >>");
    auto f = Font::Create(t.Get(1));
    EXPECT_EQ(f->GetKind(), Font::e_type1);
    EXPECT_TRUE(f->IsSimple());
    EXPECT_EQ(f->GetStandardName(), "Helvetica");
    EXPECT_EQ(f->GlyphName(65), "A");
    EXPECT_EQ(f->GlyphName(66), "Euro");
    EXPECT_EQ(f->GlyphName(0xE9), "eacute");
    EXPECT_TRUE(f->GetEncoding().IsDifference(67));
    EXPECT_EQ(Text(*f, "ABC\x80\xE9"), "A\u20AC\u0416\uFB01\u00E9");
    EXPECT_EQ(f->GetWidth({66, 1, 66}), 600);
    EXPECT_TRUE(f->HasExplicitWidth({66, 1, 66}));
    // Outside Widths: the standard font's metrics for the glyph.
    EXPECT_EQ(f->GetWidth({0xE9, 1, 0xE9}), 556);
    EXPECT_EQ(f->GlyphId({65, 1, 65}), -1);  // no program
    EXPECT_FALSE(f->IsSubset());
    // A MissingWidth beside the Widths covers the codes outside them; a .notdef laid over
    // the space keeps the space's width (278 in Helvetica).
    t.Set(4, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /FirstChar 65 /LastChar 65 /Widths [500] "
             "/FontDescriptor << /MissingWidth 750 >> >>");
    EXPECT_EQ(Font::Create(t.Get(4))->GetWidth({0xE9, 1, 0xE9}), 750);
    t.Set(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding << /Differences [32 /.notdef] >> >>");
    EXPECT_EQ(Font::Create(t.Get(5))->GetWidth({32, 1, 32}), 278);

    // Symbol keeps its own encoding; a broken dictionary still decodes.
    t.Set(2, "<< /Type /Font /Subtype /Type1 /BaseFont /Symbol >>");
    EXPECT_EQ(Text(*Font::Create(t.Get(2)), "a"), "\u03B1");
    t.Set(3, "[1 2]");
    auto broken = Font::Create(t.Get(3));
    EXPECT_EQ(broken->GetKind(), Font::e_unknown);
    EXPECT_EQ(Text(*broken, "A"), "A");  // read with the standard encoding
}

TEST(Font, ToUnicodeCMapWinsAndRangesIncrement)
{
    TestDoc t;
    t.SetStream(2, "<< >>",
                "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
                "1 begincodespacerange <00> <FF> endcodespacerange\n"
                "2 beginbfchar <41> <0058> <42> <D83DDE00> endbfchar\n"
                "2 beginbfrange <60> <62> <0061> <70> <71> [<0066006C> /Euro] endbfrange\n"
                "endcmap end end");
    t.Set(1, "<< /Type /Font /Subtype /TrueType /BaseFont /ABCDEF+Foo /ToUnicode @2 >>");
    auto f = Font::Create(t.Get(1));
    EXPECT_TRUE(f->IsSubset());
    EXPECT_EQ(Text(*f, "AB`ab pq"), "X\U0001F600abc fl\u20AC");  // space: by its glyph name
}

TEST(Font, CompositeIdentityAndWidths)
{
    TestDoc t;
    t.Set(1, "<< /Type /Font /Subtype /Type0 /BaseFont /Foo /Encoding /Identity-H /DescendantFonts [@2] >>");
    t.Set(2, "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Foo /CIDToGIDMap /Identity /DW 500 "
             "/W [1 [100 200] 10 20 300] /CIDSystemInfo << /Registry (Adobe) /Ordering (Japan1) /Supplement 6 >> >>");
    auto f = Font::Create(t.Get(1));
    ASSERT_EQ(f->GetKind(), Font::e_type0);
    EXPECT_EQ(f->GetDescendantKind(), Font::e_cid_type2);
    ASSERT_TRUE(f->GetCMap());
    EXPECT_TRUE(f->GetCMap()->IsIdentity());
    EXPECT_EQ(f->GetCIDSystemInfo().ordering, "Japan1");
    EXPECT_EQ(f->GetCIDSystemInfo().supplement, 6);
    std::vector<Font::CharCode> codes;
    f->Decode(Common::AsBytes(std::string("\x00\x01\x00\x02\x00\x0F\x01", 7)), codes);
    ASSERT_EQ(codes.size(), 4u);
    EXPECT_EQ(codes[2].cid, 15u);
    EXPECT_EQ(codes[3].nbytes, 1);  // an odd byte at the end
    EXPECT_EQ(f->GetWidth(codes[0]), 100);
    EXPECT_EQ(f->GetWidth(codes[1]), 200);
    EXPECT_EQ(f->GetWidth(codes[2]), 300);
    EXPECT_EQ(f->GetWidth({0, 2, 50}), 500);
    if (std::filesystem::exists("/usr/share/poppler/cidToUnicode/Adobe-Japan1")) {
        // CID 2 of Adobe-Japan1 is "!"; the collection's table serves without ToUnicode.
        std::u16string u;
        EXPECT_TRUE(f->ToUnicode(codes[1], u));
        EXPECT_EQ(u, u"!");
    }
}

TEST(Font, CompositeVerticalMetrics)
{
    TestDoc t;
    t.Set(1, "<< /Type /Font /Subtype /Type0 /BaseFont /Foo /Encoding /Identity-V /DescendantFonts [@2] >>");
    t.Set(2, "<< /Type /Font /Subtype /CIDFontType0 /BaseFont /Foo /W [1 [600]] /DW2 [900 -1100] "
             "/W2 [2 [-800 300 700 -900 310 710] 10 12 -500 250 600] "
             "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> >>");
    auto f = Font::Create(t.Get(1));
    ASSERT_EQ(f->GetWMode(), 1);
    double w1, vx, vy;
    // Not in W2: DW2's displacement and height, half the horizontal width across.
    f->GetVerticalMetrics({1, 2, 1}, w1, vx, vy);
    EXPECT_EQ(w1, -1100);
    EXPECT_EQ(vx, 300);
    EXPECT_EQ(vy, 900);
    f->GetVerticalMetrics({3, 2, 3}, w1, vx, vy);  // the second triple of the list
    EXPECT_EQ(w1, -900);
    EXPECT_EQ(vx, 310);
    EXPECT_EQ(vy, 710);
    f->GetVerticalMetrics({12, 2, 12}, w1, vx, vy);  // the end of a range
    EXPECT_EQ(w1, -500);
    EXPECT_EQ(vy, 600);
    f->GetVerticalMetrics({13, 2, 13}, w1, vx, vy);
    EXPECT_EQ(w1, -1100);
    // Without DW2: 880 and -1000.
    t.Set(3, "<< /Type /Font /Subtype /Type0 /BaseFont /Foo /Encoding /Identity-V /DescendantFonts [@4] >>");
    t.Set(4, "<< /Type /Font /Subtype /CIDFontType0 /BaseFont /Foo "
             "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> >>");
    Font::Create(t.Get(3))->GetVerticalMetrics({1, 2, 1}, w1, vx, vy);
    EXPECT_EQ(w1, -1000);
    EXPECT_EQ(vx, 500);
    EXPECT_EQ(vy, 880);
}

TEST(CMap, PredefinedFromPopplerData)
{
    if (!PDF::CMap::IsPredefinedName("90ms-RKSJ-H")) GTEST_SKIP() << "poppler-data is not installed";
    auto cmap = PDF::CMap::Predefined("90ms-RKSJ-H");
    ASSERT_TRUE(cmap);
    EXPECT_TRUE(cmap->IsPredefined());
    EXPECT_EQ(cmap->GetSystemInfo().ordering, "Japan1");
    EXPECT_EQ(cmap->GetWMode(), 0);
    // 'A' is one byte, Shift-JIS 0x82A0 (hiragana a) two.
    std::string s = "A\x82\xA0";
    std::size_t pos = 0;
    auto a = cmap->Next(Common::AsBytes(s), pos);
    auto b = cmap->Next(Common::AsBytes(s), pos);
    EXPECT_EQ(a.nbytes, 1);
    EXPECT_EQ(cmap->CID(a), 264u);  // the half-width Roman range starts at CID 231
    EXPECT_EQ(b.nbytes, 2);
    EXPECT_EQ(cmap->CID(b), 843u);
    // The vertical variant takes the horizontal one through usecmap.
    auto v = PDF::CMap::Predefined("90ms-RKSJ-V");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->GetWMode(), 1);
    EXPECT_EQ(v->GetUseCMap(), "90ms-RKSJ-H");
    EXPECT_EQ(v->CID(b), 843u);
    EXPECT_EQ(PDF::CMap::Predefined("NoSuchCMap"), nullptr);
    EXPECT_EQ(PDF::CMap::Predefined("../../etc/passwd"), nullptr);
}

TEST(CMap, EmbeddedProgramsAndDamage)
{
    std::string prog = "/CIDSystemInfo << /Registry (Adobe) /Ordering (Test) /Supplement 1 >> def /WMode 1 def "
                       "/CMapName /T def 2 begincodespacerange <00> <7F> <8000> <FFFF> endcodespacerange "
                       "1 begincidrange <8000> <80FF> 100 endcidrange 1 begincidchar <41> 7 endcidchar "
                       "1 beginnotdefrange <00> <1F> 1 endnotdefrange "
                       "1 begincidrange <9000> <9001> 4294967000 endcidrange garbage ) ] [ <<";
    auto cmap = PDF::CMap::Parse(Common::AsBytes(prog));
    EXPECT_EQ(cmap->GetName(), "T");
    EXPECT_EQ(cmap->GetWMode(), 1);
    EXPECT_EQ(cmap->GetSystemInfo().supplement, 1);
    EXPECT_GT(cmap->MaxCID(), 65535u);
    std::string s = "A\x80\x05\x10\xC0";
    std::size_t pos = 0;
    std::vector<std::uint32_t> cids;
    while (pos < s.size()) cids.push_back(cmap->CID(cmap->Next(Common::AsBytes(s), pos)));
    // A -> 7; 8005 -> 105; 10 -> notdef 1; C0 has no range: two bytes taken short -> 0.
    EXPECT_EQ(cids, (std::vector<std::uint32_t>{7, 105, 1, 0}));
    // A CID beyond 32 bits is not mapped, but it still exceeds the CID limit.
    auto huge = PDF::CMap::Parse(Common::AsBytes(std::string(
        "1 begincodespacerange <00> <FF> endcodespacerange 1 begincidchar <41> 5000000000 endcidchar")));
    EXPECT_GT(huge->MaxCID(), 65535u);

    // Codes given to CIDs in bf sections (some producers write encoding CMaps so): CIDs
    // while the CMap has no CID section and builds on no other; a value of more than two
    // bytes is text, not a CID.
    const std::string bf = "1 begincodespacerange <0000> <FFFF> endcodespacerange "
                           "2 beginbfchar <0020> <0003> <0021> <00010002> endbfchar "
                           "2 beginbfrange <0030> <0032> <0010> <0040> <0041> [<0050> <0051>] endbfrange ";
    auto as_cids = [](const std::string& text) {
        auto m = PDF::CMap::Parse(Common::AsBytes(text));
        std::vector<std::uint32_t> out;
        for (std::uint32_t code : {0x20u, 0x21u, 0x31u, 0x41u}) out.push_back(m->CID({code, 2}));
        return out;
    };
    EXPECT_EQ(as_cids(bf), (std::vector<std::uint32_t>{3, 0, 0x11, 0x51}));
    EXPECT_EQ(as_cids(bf + "1 begincidchar <0022> 9 endcidchar"), (std::vector<std::uint32_t>{0, 0, 0, 0}));
    EXPECT_EQ(as_cids("/Identity-H usecmap " + bf), (std::vector<std::uint32_t>{0x20, 0x21, 0x31, 0x41}));
    std::u16string text;
    ASSERT_TRUE(PDF::CMap::Parse(Common::AsBytes(bf))->ToUnicode(0x21, text));
    EXPECT_EQ(text, u"\u0001\u0002");
}
