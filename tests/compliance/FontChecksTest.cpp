// The font rules over generated pages that show text: dictionary and embedding, TrueType
// encodings, widths, glyphs, composite fonts and their CMaps, subsets, Unicode and Type 3.
// The embedded programs are system fonts (DejaVu Sans, Nimbus Sans); tests skip without them.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "pdf/Font.h"
#include "pdf/FontProgram.h"
#include "pdf/ObjUtil.h"
#include "tests/support/CFFBuilder.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TrueTypeBuilder.h"
#include "tests/compliance/ComplianceTestSupport.h"
#include "tests/compliance/Levels.h"

using qvx::Test::CleanFile;
using qvx::Test::Findings;
using qvx::Test::PdfBuilder;

namespace {

using qvx::Test::k1A, qvx::Test::k1B, qvx::Test::k2B, qvx::Test::k2U, qvx::Test::k4;

const char* const kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char* const kNimbus = "/usr/share/fonts/type1/urw-base35/NimbusSans-Regular.t1";

std::string ReadFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

#define REQUIRE_FONT(path) \
    if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " not installed"

// DejaVu Sans with its advances for 'A' and 'B' in thousandths of an em.
struct TrueType {
    std::string data = ReadFile(kDejaVu);
    unsigned gid_a = 0, gid_b = 0;
    double width_a = 0, width_b = 0;
    TrueType()
    {
        auto p = qvx::PDF::FontProgram::Open(qvx::Common::Bytes(data.begin(), data.end()));
        gid_a = p->GlyphByCMap(3, 1, 'A');
        gid_b = p->GlyphByCMap(3, 1, 'B');
        width_a = p->Advance(gid_a) * 1000.0 / p->UnitsPerEm();
        width_b = p->Advance(gid_b) * 1000.0 / p->UnitsPerEm();
    }
    std::string Widths(double delta = 0) const
    {
        char buf[64];
        std::snprintf(buf, sizeof buf, "[%.3f %.3f]", width_a + delta, width_b);
        return buf;
    }
};

// The clean file of level whose page shows `content` text with font F1 = object 10 (font),
// descriptor 11 and program 12 (when given).
// The text's black is DeviceGray, made device-independent by DefaultGray in the page's
// resources: the test files need no output intent.
const std::string kGray = "/ColorSpace<</DefaultGray[/CalGray<</WhitePoint[0.9505 1 1.089]>>]>>";

PdfBuilder WithFont(int level, const std::string& font, const std::string& descriptor, const std::string& program_dict,
                    const std::string& program, const std::string& text = "(AB) Tj")
{
    PdfBuilder b = CleanFile(level);
    b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Resources<</Font<</F1 10 0 R>>" + kGray +
                 ">>/Contents 4 0 R>>");
    b.SetStream(4, "", "BT /F1 12 Tf 10 10 Td " + text + " ET");
    b.Set(10, font);
    if (!descriptor.empty()) b.Set(11, descriptor);
    if (!program.empty()) b.SetStream(12, program_dict, program);
    return b;
}

std::string Descriptor(int flags, const std::string& file_key = "FontFile2", const std::string& name = "DejaVuSans",
                       const std::string& extra = "")
{
    return "<</Type/FontDescriptor/FontName/" + name + "/Flags " + std::to_string(flags) +
           "/FontBBox[0 0 1000 1000]/ItalicAngle 0/Ascent 800/Descent -200/CapHeight 700/StemV 80" +
           (file_key.empty() ? "" : "/" + file_key + " 12 0 R") + extra + ">>";
}

// A simple TrueType font dictionary with the given entries after the common ones.
std::string SimpleTrueType(const std::string& entries, const std::string& base = "DejaVuSans")
{
    return "<</Type/Font/Subtype/TrueType/BaseFont/" + base + "/FirstChar 65/LastChar 66/FontDescriptor 11 0 R" +
           entries + ">>";
}

std::string RunTrueType(int level, const TrueType& tt, const std::string& entries, int flags = 32,
                        const std::string& text = "(AB) Tj")
{
    return Findings(WithFont(level, SimpleTrueType(entries), Descriptor(flags), "", tt.data, text).Build(), level);
}

}  // namespace

TEST(FontChecks, DictionaryAndEmbedding)
{
    REQUIRE_FONT(kDejaVu);
    TrueType tt;
    std::string w = "/Encoding/WinAnsiEncoding/Widths" + tt.Widths();
    EXPECT_EQ(RunTrueType(k2B, tt, w), "");
    EXPECT_EQ(RunTrueType(k1B, tt, w), "");
    // Not embedded; without a descriptor at all the page's content is given up.
    EXPECT_EQ(Findings(WithFont(k2B, SimpleTrueType(w), Descriptor(32, ""), "", "").Build(), k2B), "341(10)");
    EXPECT_EQ(Findings(WithFont(k2B, "<</Type/Font/Subtype/TrueType/BaseFont/Arial" + w + ">>", "", "", "").Build(), k2B),
              "12(3)");
    // Invisible text (render mode 3) needs no program.
    EXPECT_EQ(Findings(WithFont(k2B, SimpleTrueType(w), Descriptor(32, ""), "", "", "3 Tr (AB) Tj").Build(), k2B), "");
    // A FontFile3 subtype that does not suit the font, and a program FreeType cannot open.
    EXPECT_EQ(Findings(WithFont(k2B, SimpleTrueType(w), Descriptor(32, "FontFile3"), "/Subtype/Type1C", tt.data).Build(), k2B),
              "341(10)");
    EXPECT_EQ(Findings(WithFont(k2B, SimpleTrueType(w), Descriptor(32), "", "not a font program").Build(), k2B), "321(10)");
    // Type, Subtype and BaseFont of the dictionary.
    std::string dict = SimpleTrueType(w);
    std::string no_type = "<<" + dict.substr(dict.find("/Subtype"));
    EXPECT_EQ(Findings(WithFont(k2B, no_type, Descriptor(32), "", tt.data).Build(), k2B), "322(10)");
    std::string no_base = dict;
    no_base.erase(no_base.find("/BaseFont/DejaVuSans"), std::string("/BaseFont/DejaVuSans").size());
    EXPECT_EQ(Findings(WithFont(k2B, no_base, Descriptor(32), "", tt.data).Build(), k2B), "324(10)");
    EXPECT_EQ(qvx::Test::FindingsAfterConversion(WithFont(k2B, no_base, Descriptor(32), "", tt.data).Build(), k2B), "")
        << "the copy names the font as its descriptor does";
    std::string bad_sub = dict;
    bad_sub.replace(bad_sub.find("TrueType"), 8, "TrueTypo");
    EXPECT_NE(Findings(WithFont(k2B, bad_sub, Descriptor(32), "", tt.data).Build(), k2B).find("323(10)"), std::string::npos);
    // One that FreeType opens though it was cut short (Liberation Sans keeps its glyphs in
    // the middle of the file): its glyphs are lost. Conversion replaces it like a program
    // that does not open. A cut that leaves the glyphs whole is no damage to them.
    const char* const sans = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
    REQUIRE_FONT(sans);
    const std::string liberation = ReadFile(sans);
    auto cut = [&](std::size_t size) {
        return WithFont(k1B, SimpleTrueType(w), Descriptor(32), "", liberation.substr(0, size)).Build();
    };
    EXPECT_EQ(Findings(cut(liberation.size() / 3), k1B), "321(10)");
    EXPECT_EQ(qvx::Test::FindingsAfterConversion(cut(liberation.size() / 3), k1B), "");
    EXPECT_EQ(Findings(cut(liberation.size() - 1000), k1B).find("321"), std::string::npos);
}

TEST(FontChecks, TrueTypeEncodings)
{
    REQUIRE_FONT(kDejaVu);
    TrueType tt;
    std::string w = "/Widths" + tt.Widths();
    // Non-symbolic: WinAnsi or MacRoman, by name or as the base of Differences with listed names.
    EXPECT_EQ(RunTrueType(k2B, tt, w + "/Encoding/MacRomanEncoding"), "");
    EXPECT_EQ(RunTrueType(k2B, tt, w + "/Encoding<</BaseEncoding/WinAnsiEncoding/Differences[67/C]>>"), "");
    EXPECT_EQ(RunTrueType(k2B, tt, w), "371(10)");
    EXPECT_EQ(RunTrueType(k2B, tt, w + "/Encoding/StandardEncoding"), "371(10)");
    EXPECT_EQ(RunTrueType(k2B, tt, w + "/Encoding<</BaseEncoding/WinAnsiEncoding/Differences[67/notAGlyph]>>"), "371(10)");
    // Symbolic: no Encoding, and DejaVu's five cmap subtables without (3,0) fail the cmap
    // rule up to PDF/A-3; PDF/A-4 accepts its (1,0) subtable.
    EXPECT_EQ(RunTrueType(k2B, tt, w + "/Encoding/WinAnsiEncoding", 4), "372(10) 373(10)");
    EXPECT_EQ(RunTrueType(k1B, tt, w, 4), "373(10)");
    EXPECT_EQ(RunTrueType(k4, tt, w, 4), "");
    EXPECT_EQ(RunTrueType(k4, tt, w + "/Encoding/WinAnsiEncoding", 4), "372(10)");
}

TEST(FontChecks, Widths)
{
    REQUIRE_FONT(kDejaVu);
    TrueType tt;
    // Within one thousandth of an em of the program's advance, and beyond it.
    EXPECT_EQ(RunTrueType(k2B, tt, "/Encoding/WinAnsiEncoding/Widths" + tt.Widths(0.9)), "");
    EXPECT_EQ(RunTrueType(k2B, tt, "/Encoding/WinAnsiEncoding/Widths" + tt.Widths(-0.9)), "");
    EXPECT_EQ(RunTrueType(k2B, tt, "/Encoding/WinAnsiEncoding/Widths" + tt.Widths(1.2)), "361(10)");
    EXPECT_EQ(RunTrueType(k4, tt, "/Encoding/WinAnsiEncoding/Widths" + tt.Widths(-30)), "361(10)");
    // A code without a name in WinAnsiEncoding shows .notdef, here at a width (MissingWidth, 0:
    // the code lies before FirstChar) that is not its advance.
    EXPECT_EQ(RunTrueType(k2B, tt, "/Encoding/WinAnsiEncoding/Widths" + tt.Widths(), 32, "<0041> Tj <00> Tj"),
              "361(10) 62118(10)");
    // Only the codes shown count.
    EXPECT_EQ(RunTrueType(k2B, tt, "/Encoding/WinAnsiEncoding/Widths" + tt.Widths(50), 32, "(B) Tj"), "");
    // A code past the end of Widths, or a Widths array with no FirstChar to place it, has the
    // descriptor's MissingWidth (0 when absent), which must agree like any other width.
    char a_only[32];
    std::snprintf(a_only, sizeof a_only, "[%.3f]", tt.width_a);
    EXPECT_EQ(RunTrueType(k2B, tt, "/Encoding/WinAnsiEncoding/Widths" + std::string(a_only)), "361(10)");
    char missing[32];
    std::snprintf(missing, sizeof missing, "/MissingWidth %.3f", tt.width_b);
    EXPECT_EQ(Findings(WithFont(k2B, SimpleTrueType("/Encoding/WinAnsiEncoding/Widths" + std::string(a_only)),
                                Descriptor(32, "FontFile2", "DejaVuSans", missing), "", tt.data)
                           .Build(),
                       k2B),
              "");
    std::string no_first = "<</Type/Font/Subtype/TrueType/BaseFont/DejaVuSans/FontDescriptor 11 0 R/LastChar 66"
                           "/Encoding/WinAnsiEncoding/Widths" + tt.Widths() + ">>";
    EXPECT_EQ(Findings(WithFont(k2B, no_first, Descriptor(32), "", tt.data).Build(), k2B), "361(10)");
}

TEST(FontChecks, EachFontOnceEachCodeAsShown)
{
    REQUIRE_FONT(kNimbus);
    std::string t1 = ReadFile(kNimbus);
    // Two pages share the font: the second shows a code the first did not, whose glyph is
    // missing; the font's other rules are not repeated.
    PdfBuilder b = WithFont(k2B, "<</Type/Font/Subtype/Type1/BaseFont/NimbusSans-Regular/FontDescriptor 11 0 R"
                                 "/Encoding<</Differences[66/zzzz]>>>>",
                            Descriptor(32, "FontFile", "NimbusSans-Regular"), "", t1, "(A) Tj");
    b.Set(2, "<</Type/Pages/Kids[3 0 R 13 0 R]/Count 2>>");
    b.Set(13, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Resources<</Font<</F1 10 0 R>>" + kGray +
                  ">>/Contents 14 0 R>>");
    b.SetStream(14, "", "BT /F1 12 Tf (AB) Tj ET");
    EXPECT_EQ(Findings(b.Build(), k2B), "352(10)");
    // With first-stop the run ends at the first finding.
    b.SetStream(4, "", "BT /F1 12 Tf (B) Tj ET");
    EXPECT_EQ(Findings(b.Build(), k2B, {.first_stop = true}), "352(10)");

    // Text drawn into a soft mask shows its font as any other text does.
    PdfBuilder mask = WithFont(k2B, SimpleTrueType("/Encoding/WinAnsiEncoding/Widths[600 600]"), Descriptor(32, ""), "", "");
    mask.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Resources<</ExtGState<</M 13 0 R>>" + kGray +
                    ">>/Contents 4 0 R>>");
    mask.SetStream(4, "", "/M gs 0 0 10 10 re f");
    mask.Set(13, "<</Type/ExtGState/SMask<</S/Luminosity/G 14 0 R>>>>");
    mask.SetStream(14, "/Type/XObject/Subtype/Form/BBox[0 0 10 10]/Group<</S/Transparency/CS/DeviceGray>>"
                       "/Resources<</Font<</F1 10 0 R>>" + kGray + ">>",
                   "BT /F1 12 Tf 0 0 Td (AB) Tj ET");
    // (The mask is transparency, on a page without group or output intent: 21020.)
    EXPECT_EQ(Findings(mask.Build(), k2B), "341(10) 21020(3)");
}

TEST(FontChecks, Type1GlyphsAndCharSet)
{
    REQUIRE_FONT(kNimbus);
    std::string t1 = ReadFile(kNimbus);
    auto run = [&](int level, const std::string& entries, const std::string& base = "NimbusSans-Regular",
                   const std::string& extra = "") {
        std::string font = "<</Type/Font/Subtype/Type1/BaseFont/" + base + "/FontDescriptor 11 0 R" + entries + ">>";
        return Findings(WithFont(level, font, Descriptor(32, "FontFile", base, extra), "", t1).Build(), level);
    };
    EXPECT_EQ(run(k2B, ""), "");
    // A glyph name the program lacks, and .notdef (a violation from PDF/A-2 on).
    EXPECT_EQ(run(k2B, "/Encoding<</Differences[65/zzzz]>>"), "352(10)");
    EXPECT_EQ(run(k2B, "/Encoding<</Differences[65/.notdef]>>"), "62118(10)");
    EXPECT_EQ(run(k1B, "/Encoding<</Differences[65/.notdef]>>"), "");
    // .notdef may not be shown even by text that draws nothing.
    auto invisible = [&](int level, const std::string& glyph) {
        std::string font = "<</Type/Font/Subtype/Type1/BaseFont/NimbusSans-Regular/FontDescriptor 11 0 R"
                           "/Encoding<</Differences[65/" + glyph + "]>>>>";
        PdfBuilder b = WithFont(level, font, Descriptor(32, "FontFile", "NimbusSans-Regular"), "", t1, "3 Tr (A) Tj");
        return Findings(b.Build(), level);
    };
    // A code the program's own Encoding array leaves at .notdef shows .notdef too: no glyph
    // is missing, and PDF/A-1 allows it.
    std::string own = t1;
    own.replace(own.find("/Encoding StandardEncoding def"), 30,
                "/Encoding 256 array 0 1 255 {1 index exch /.notdef put} for dup 65 /A put readonly def");
    auto builtin = [&](int level) {
        std::string font = "<</Type/Font/Subtype/Type1/BaseFont/NimbusSans-Regular/FirstChar 65/LastChar 66"
                           "/Widths[667 667]/FontDescriptor 11 0 R>>";
        return Findings(WithFont(level, font, Descriptor(4, "FontFile", "NimbusSans-Regular"), "", own).Build(), level);
    };
    EXPECT_EQ(builtin(k1B), "361(10)");
    EXPECT_EQ(builtin(k2B), "361(10) 62118(10)");
    EXPECT_EQ(invisible(k2B, ".notdef"), "62118(10)");
    EXPECT_EQ(invisible(k2B, "A"), "");
    EXPECT_EQ(invisible(k1B, ".notdef"), "");
    // Subsets: PDF/A-1 needs a CharSet naming the glyphs shown; later parts, when there
    // is one, every glyph of the program.
    EXPECT_EQ(run(k1B, "", "ABCDEF+NimbusSans"), "355(11)");
    EXPECT_EQ(run(k2B, "", "ABCDEF+NimbusSans"), "");
    EXPECT_EQ(run(k1B, "", "ABCDEF+NimbusSans", "/CharSet(/A/B)"), "");
    EXPECT_EQ(run(k1B, "", "ABCDEF+NimbusSans", "/CharSet(/A)"), "357(11)");
    EXPECT_EQ(run(k2B, "", "ABCDEF+NimbusSans", "/CharSet(/A/B)"), "357(11)");
    EXPECT_EQ(run(k2B, "", "ABCDEF+NimbusSans", "/CharSet 5"), "11(11)");
    // Nor may it name glyphs the program lacks.
    auto compact = [](int level, const std::string& charset) {
        std::string font = "<</Type/Font/Subtype/Type1/BaseFont/ABCDEF+Mini/FirstChar 65/LastChar 66/Widths[600 640]/Encoding/WinAnsiEncoding"
                           "/FontDescriptor 11 0 R>>";
        std::string program = qvx::Test::MakeCFF({{"A", 0, 600}, {"B", 0, 640}}, false);
        PdfBuilder b = WithFont(level, font, Descriptor(32, "FontFile3", "ABCDEF+Mini", "/CharSet(" + charset + ")"),
                                "/Subtype/Type1C", program);
        return Findings(b.Build(), level);
    };
    EXPECT_EQ(compact(k2B, "/A/B"), "");
    EXPECT_EQ(compact(k2B, "/A/B/.notdef"), "");
    EXPECT_EQ(compact(k2B, "/A/B/d"), "357(11)");
    EXPECT_EQ(compact(k2B, "/A"), "357(11)");
    // PDF/A-4 wants no CharSet, yet one given is a string.
    EXPECT_EQ(run(k4, "", "ABCDEF+NimbusSans", "/CharSet 5"), "11(11)");
    EXPECT_EQ(run(k4, "", "ABCDEF+NimbusSans", "/CharSet(/A)"), "");
    // The CharSet is owed whatever became of the program: missing, or damaged.
    std::string subset = "<</Type/Font/Subtype/Type1/BaseFont/ABCDEF+NimbusSans/FontDescriptor 11 0 R>>";
    EXPECT_EQ(Findings(WithFont(k1B, subset, Descriptor(32, "", "ABCDEF+NimbusSans"), "", "").Build(), k1B),
              "341(10) 355(11)");
    EXPECT_EQ(Findings(WithFont(k1B, subset, Descriptor(32, "FontFile", "ABCDEF+NimbusSans"), "", "damaged").Build(), k1B),
              "321(10) 355(11)");
}

namespace {

// DejaVu Sans as a CIDFontType2 (object 13) under a Type0 font (10), showing `text`.
std::string Composite(int level, const TrueType& tt, const std::string& type0_entries, const std::string& cidfont_entries,
                      const std::string& text, const std::string& base = "DejaVuSans",
                      const std::string& descriptor_extra = "", PdfBuilder* out = nullptr)
{
    char w[128];
    std::snprintf(w, sizeof w, "/W[%u[%.3f]%u[%.3f]]", tt.gid_a, tt.width_a, tt.gid_b, tt.width_b);
    PdfBuilder b = WithFont(level, "<</Type/Font/Subtype/Type0/BaseFont/" + base + "/DescendantFonts[13 0 R]" + type0_entries + ">>",
                            Descriptor(32, "FontFile2", base, descriptor_extra), "", tt.data, text);
    b.Set(13, "<</Type/Font/Subtype/CIDFontType2/BaseFont/" + base + "/FontDescriptor 11 0 R" + w + cidfont_entries + ">>");
    if (out) *out = b;
    return Findings(b.Build(), level);
}

std::string Hex(unsigned gid)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", gid);
    return buf;
}

const char* const kIdentityInfo = "/CIDSystemInfo<</Registry(Adobe)/Ordering(Identity)/Supplement 0>>";

}  // namespace

// Each key takes one kind of program, for the kinds of font it names; conversion files a
// program that sits under another key under its own, keeping the outlines drawn.
TEST(FontChecks, ProgramsUnderTheKeyOfTheirKind)
{
    REQUIRE_FONT(kDejaVu);
    REQUIRE_FONT(kNimbus);
    TrueType tt;
    const std::string t1 = ReadFile(kNimbus);
    const std::string tt_font = SimpleTrueType("/Encoding/WinAnsiEncoding/Widths" + tt.Widths());
    const std::string t1_font = "<</Type/Font/Subtype/Type1/BaseFont/NimbusSans-Regular/FontDescriptor 11 0 R>>";
    struct Case {
        std::string font, key, program_dict, program, found, key_after;
    };
    for (const Case& c : {Case{tt_font, "FontFile2", "", tt.data, "", "FontFile2"},
                          Case{t1_font, "FontFile", "", t1, "", "FontFile"},
                          Case{tt_font, "FontFile", "", tt.data, "341(10)", "FontFile2"},
                          Case{t1_font, "FontFile2", "", t1, "341(10)", "FontFile"},
                          Case{t1_font, "FontFile3", "/Subtype/Type1C", t1, "341(10)", "FontFile"},
                          Case{tt_font, "FontFile2", "", t1, "341(10)", "FontFile"}}) {
        SCOPED_TRACE(c.key + c.program_dict + (c.program == t1 ? " Type 1" : " TrueType") +
                     (c.font == t1_font ? " in a Type 1 font" : " in a TrueType font"));
        const std::string pdf =
            WithFont(k2B, c.font, Descriptor(32, c.key, "NimbusSans-Regular"), c.program_dict, c.program).Build();
        EXPECT_EQ(Findings(pdf, k2B), c.found);
        qvx::PDF::PDFACompliance run(true, qvx::Test::ToBytes(pdf), nullptr, k2B, nullptr, 0, 0, false);
        qvx::SDF::Obj* descriptor = run.GetDoc().GetObj(11);
        qvx::SDF::Obj* program = qvx::PDF::FindIn(descriptor, c.key_after);
        ASSERT_NE(program, nullptr);
        // The program itself, not a substitute.
        EXPECT_EQ(program->GetObjNum(), 12u);
        EXPECT_EQ(qvx::Test::FindingsAfterConversion(pdf, k2B), "");
    }
}

TEST(FontChecks, CompositeFonts)
{
    REQUIRE_FONT(kDejaVu);
    TrueType tt;
    std::string ab = "<" + Hex(tt.gid_a) + Hex(tt.gid_b) + "> Tj";
    std::string info = kIdentityInfo;
    std::string map = "/CIDToGIDMap/Identity";
    EXPECT_EQ(Composite(k2B, tt, "/Encoding/Identity-H", info + map, ab), "");
    EXPECT_EQ(Composite(k2B, tt, "/Encoding/Identity-H", info, ab), "332(13)");
    // A map named in the wrong case is no map: conversion names it right while the text of
    // the font is still being checked.
    PdfBuilder lower;
    EXPECT_EQ(Composite(k2B, tt, "/Encoding/Identity-H", info + "/CIDToGIDMap/identity", ab, "DejaVuSans", "", &lower),
              "332(13)");
    EXPECT_EQ(qvx::Test::FindingsAfterConversion(lower.Build(), k2B), "");
    // A CID past the program's glyphs; CID 0 is .notdef, drawn at its own advance, which
    // is not the default width of 1000.
    EXPECT_EQ(Composite(k2B, tt, "/Encoding/Identity-H", info + map, "<FFF0> Tj"), "351(10)");
    EXPECT_EQ(Composite(k2B, tt, "/Encoding/Identity-H", info + map, "<0000> Tj"), "361(10) 62118(10)");
    // CMaps: unknown names, embedded ones (WMode of the dictionary and of the program), and
    // character collections that differ.
    EXPECT_EQ(Composite(k2B, tt, "/Encoding/No-Such-CMap", info + map, ab), "3331");
    // (The CIDs of 90ms-RKSJ-H are not DejaVu's glyphs: only 331 matters here.)
    auto collection = [&](int level, const std::string& ordering, int supplement) {
        std::string cidinfo = "/CIDSystemInfo<</Registry(Adobe)/Ordering(" + ordering + ")/Supplement " +
                              std::to_string(supplement) + ">>";
        return Composite(level, tt, "/Encoding/90ms-RKSJ-H", cidinfo + map, "(A) Tj").find("331") != std::string::npos;
    };
    EXPECT_TRUE(collection(k2B, "GB1", 0));
    EXPECT_FALSE(collection(k2B, "Japan1", 1));
    // The CMap's supplement must reach the font's from PDF/A-2 on.
    EXPECT_TRUE(collection(k2B, "Japan1", 6));
    EXPECT_FALSE(collection(k1B, "Japan1", 6));
    const std::string cmap =
        "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> def\n"
        "/CMapName /Test-H def /CMapType 1 def\n"
        "1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
        "1 begincidrange <0000> <FFFF> 0 endcidrange\n"
        "endcmap CMapName currentdict /CMap defineresource pop end end\n";
    PdfBuilder b;
    Composite(k2B, tt, "/Encoding 14 0 R", info + map, ab, "DejaVuSans", "", &b);
    b.SetStream(14, "/Type/CMap/CMapName/Test-H" + info, cmap);
    EXPECT_EQ(Findings(b.Build(), k2B), "");
    b.SetStream(14, "/Type/CMap/CMapName/Test-H/WMode 1" + info, cmap);
    EXPECT_EQ(Findings(b.Build(), k2B), "3332(14)");
    std::string big = cmap;
    big.replace(big.find("<0000> <FFFF> 0"), 15, "<0000> <FFFF> 65000");
    b.SetStream(14, "/Type/CMap/CMapName/Test-H" + info, big);
    EXPECT_NE(Findings(b.Build(), k2B).find("11215"), std::string::npos);
    // An embedded CMap may use only a standard one.
    b.SetStream(14, "/Type/CMap/CMapName/Test-H/UseCMap/Identity-H" + info, cmap);
    EXPECT_EQ(Findings(b.Build(), k2B), "");
    b.SetStream(14, "/Type/CMap/CMapName/Test-H/UseCMap/Adobe-Japan1-6" + info, cmap);
    EXPECT_EQ(Findings(b.Build(), k2B), "3331(14)");
    // Conversion gives the stream the name, the writing mode and the collection its program
    // states.
    b.SetStream(14, "/Type/CMap/CMapName/Other/WMode 1/CIDSystemInfo<</Registry( Adobe )/Ordering(Identity)/Supplement 0>>",
                cmap);
    EXPECT_EQ(Findings(b.Build(), k2B), "3332(14)");
    qvx::PDF::PDFACompliance run(true, qvx::Test::ToBytes(b.Build()), nullptr, k2B, nullptr, 0, 0, false);
    qvx::SDF::Obj* stream = run.GetDoc().GetObj(14);
    EXPECT_EQ(qvx::PDF::FindName(stream, "CMapName"), "Test-H");
    EXPECT_EQ(qvx::PDF::FindNumber(stream, "WMode", -1), 0);
    qvx::SDF::Obj* registry = qvx::PDF::FindIn(qvx::PDF::FindDict(stream, "CIDSystemInfo"), "Registry");
    ASSERT_NE(registry, nullptr);
    EXPECT_EQ(registry->GetAsPDFText().ToUTF8(), "Adobe");
    // A program that states no collection is described by its dictionary: one of empty
    // strings is not the font's (331), and conversion gives it the font's.
    const std::string stated = "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> def";
    std::string unstated = cmap;
    unstated.replace(unstated.find(stated), stated.size(), "/CIDSystemInfo null def");
    b.SetStream(14, "/Type/CMap/CMapName/Test-H" + info, unstated);
    EXPECT_EQ(Findings(b.Build(), k2B), "");
    b.SetStream(14, "/Type/CMap/CMapName/Test-H/CIDSystemInfo<</Registry()/Ordering()/Supplement 0>>", unstated);
    EXPECT_EQ(Findings(b.Build(), k2B), "331");
    EXPECT_EQ(qvx::Test::FindingsAfterConversion(b.Build(), k2B), "");
}

TEST(FontChecks, CIDSet)
{
    REQUIRE_FONT(kDejaVu);
    TrueType tt;
    std::string ab = "<" + Hex(tt.gid_a) + Hex(tt.gid_b) + "> Tj";
    std::string cid = std::string(kIdentityInfo) + "/CIDToGIDMap/Identity";
    EXPECT_EQ(Composite(k1B, tt, "/Encoding/Identity-H", cid, ab, "ABCDEF+DejaVuSans"), "354(11)");
    EXPECT_EQ(Composite(k2B, tt, "/Encoding/Identity-H", cid, ab, "ABCDEF+DejaVuSans"), "");
    // A subset embedded for invisible text (as flattening leaves text to be found) owes its
    // CIDSet all the same.
    EXPECT_EQ(Composite(k1B, tt, "/Encoding/Identity-H", cid, "3 Tr " + ab, "ABCDEF+DejaVuSans"), "354(11)");
    // As is the CIDSet of a subset whose program is damaged.
    PdfBuilder damaged;
    Composite(k1B, tt, "/Encoding/Identity-H", cid, ab, "ABCDEF+DejaVuSans", "", &damaged);
    damaged.SetStream(12, "", "damaged");
    EXPECT_EQ(Findings(damaged.Build(), k1B), "321(10) 354(11)");
    // A subset whose tag is only in the descriptor's FontName is one too.
    PdfBuilder tagged;
    EXPECT_EQ(Composite(k1B, tt, "/Encoding/Identity-H", cid, ab, "DejaVuSans", "", &tagged), "");
    tagged.Set(11, Descriptor(32, "FontFile2", "ABCDEF+DejaVuSans"));
    EXPECT_EQ(Findings(tagged.Build(), k1B), "354(11)");
    // Every CID shown has its bit, or not.
    std::string bits(8192, '\0');
    auto set = [&](unsigned c) { bits[c / 8] = static_cast<char>(bits[c / 8] | (0x80 >> (c % 8))); };
    set(tt.gid_a);
    PdfBuilder b;
    Composite(k2B, tt, "/Encoding/Identity-H", cid, ab, "ABCDEF+DejaVuSans", "/CIDSet 15 0 R", &b);
    b.SetStream(15, "", bits);
    EXPECT_EQ(Findings(b.Build(), k2B), "356(11)");
    // Also every CID the program holds, shown or not: glyph 2 (composite) is shown, glyph 1
    // is drawn as its part or on its own; the empty glyph 0 and parts need no bit.
    auto held = [&](unsigned component, const std::string& cidset, const std::string& text = "<0002> Tj") {
        PdfBuilder small;
        Composite(k2B, tt, "/Encoding/Identity-H", cid, text, "ABCDEF+Mini", "/CIDSet 15 0 R", &small);
        small.Set(13, "<</Type/Font/Subtype/CIDFontType2/BaseFont/ABCDEF+Mini/FontDescriptor 11 0 R/W[1[500 500]]" + cid + ">>");
        small.SetStream(12, "", qvx::Test::MakeTrueType({.component = component}));
        small.SetStream(15, "", cidset);
        return Findings(small.Build(), k2B);
    };
    EXPECT_EQ(held(1, "\xA0"), "");
    EXPECT_EQ(held(0, "\xA0"), "356(11)");
    EXPECT_EQ(held(0, "\xE0"), "");
    EXPECT_EQ(held(1, "\xA0", "<00010002> Tj"), "356(11)");
    EXPECT_EQ(held(1, "\xE0", "<00010002> Tj"), "");
    // PDF/A-4 wants no CIDSet, complete or not, yet one given is a stream.
    PdfBuilder a4;
    Composite(k4, tt, "/Encoding/Identity-H", cid, ab, "ABCDEF+DejaVuSans", "/CIDSet 15 0 R", &a4);
    a4.SetStream(15, "", bits);
    EXPECT_EQ(Findings(a4.Build(), k4), "");
    a4.Set(15, "[0]");
    EXPECT_EQ(Findings(a4.Build(), k4), "11(11)");
}

TEST(FontChecks, Unicode)
{
    REQUIRE_FONT(kDejaVu);
    TrueType tt;
    std::string ab = "<" + Hex(tt.gid_a) + Hex(tt.gid_b) + "> Tj";
    std::string cid = std::string(kIdentityInfo) + "/CIDToGIDMap/Identity";
    // A standard encoding needs no ToUnicode; an Identity collection does, at levels A and U.
    EXPECT_EQ(RunTrueType(k2U, tt, "/Encoding/WinAnsiEncoding/Widths" + tt.Widths()), "");
    EXPECT_EQ(Composite(k2U, tt, "/Encoding/Identity-H", cid, ab), "381(10) 62116(10)");
    // PDF/A-1A asks for the values of the codes shown as well.
    EXPECT_EQ(Composite(k1A, tt, "/Encoding/Identity-H", cid, ab), "381(10) 62116(10)");
    EXPECT_EQ(Composite(k2B, tt, "/Encoding/Identity-H", cid, ab), "");
    // ToUnicode values: private use needs ActualText; 0, FEFF and FFFE are not text.
    auto with_unicode = [&](const std::string& value, const std::string& text) {
        PdfBuilder b;
        Composite(k2U, tt, "/Encoding/Identity-H/ToUnicode 14 0 R", cid, text, "DejaVuSans", "", &b);
        b.SetStream(14, "", "1 begincodespacerange <0000> <FFFF> endcodespacerange\n2 beginbfchar <" + Hex(tt.gid_a) +
                                "> <0041> <" + Hex(tt.gid_b) + "> <" + value + "> endbfchar\n");
        return Findings(b.Build(), k2U);
    };
    EXPECT_EQ(with_unicode("0042", ab), "");
    EXPECT_EQ(with_unicode("E000", ab), "62117(10)");
    EXPECT_EQ(with_unicode("E000", "/Span<</ActualText(AB)>>BDC " + ab + " EMC"), "");
    // Each showing is judged, whichever comes first.
    EXPECT_EQ(with_unicode("E000", "/Span<</ActualText(AB)>>BDC " + ab + " EMC " + ab), "62117(10)");
    EXPECT_EQ(with_unicode("E000", ab + " /Span<</ActualText(AB)>>BDC " + ab + " EMC"), "62117(10)");
    EXPECT_EQ(with_unicode("FFFE", ab), "62115(10)");

    // Conversion writes a simple font's map again: the code that maps to no text takes the
    // Unicode value of the name its encoding gives it, the others keep theirs.
    for (int level : {k2U, k4}) {
        PdfBuilder b = WithFont(level, SimpleTrueType("/Encoding/WinAnsiEncoding/ToUnicode 13 0 R/Widths" + tt.Widths()),
                                Descriptor(32), "", tt.data);
        b.SetStream(13, "", "1 begincodespacerange <00> <FF> endcodespacerange\n2 beginbfchar <41> <FFFE> <42> <0062> endbfchar\n");
        EXPECT_EQ(Findings(b.Build(), level), "62115(10)");
        EXPECT_EQ(qvx::Test::FindingsAfterConversion(b.Build(), level), "");
        qvx::PDF::PDFACompliance run(true, qvx::Test::ToBytes(b.Build()), nullptr, level, nullptr, 0, 0, false);
        auto font = qvx::PDF::Font::Create(run.GetDoc().GetObj(10));
        std::u16string a, bee;
        EXPECT_TRUE(font->ToUnicode({0x41, 1, 0x41}, a) && a == u"A");
        EXPECT_TRUE(font->ToUnicode({0x42, 1, 0x42}, bee) && bee == u"b");
    }
    // A code without a name keeps no value at all rather than one that is no text.
    PdfBuilder b = WithFont(k4, SimpleTrueType("/ToUnicode 13 0 R/Widths" + tt.Widths()), Descriptor(4), "", tt.data);
    b.SetStream(13, "", "1 begincodespacerange <00> <FF> endcodespacerange\n1 beginbfchar <41> <0000> endbfchar\n");
    EXPECT_EQ(Findings(b.Build(), k4), "62115(10)");
    EXPECT_EQ(qvx::Test::FindingsAfterConversion(b.Build(), k4), "");

    // A glyph named a73 is a dingbat only in a dingbats font; elsewhere the name gives no text.
    auto named_a73 = [](const std::string& base) {
        std::string font = "<</Type/Font/Subtype/Type1/BaseFont/" + base +
                           "/FirstChar 65/LastChar 65/Widths[600]/Encoding<</Differences[65/a73]>>/FontDescriptor 11 0 R>>";
        return Findings(WithFont(k2U, font, Descriptor(4, "FontFile3", base), "/Subtype/Type1C",
                                 qvx::Test::MakeCFF({{"a73", 0, 600}}, false), "(A) Tj")
                            .Build(),
                        k2U);
    };
    EXPECT_EQ(named_a73("ABCDEF+Mini"), "381(10) 62116(10)");
    EXPECT_EQ(named_a73("ABCDEF+ZapfDingbatsITC"), "");
}

TEST(FontChecks, UnicodeInPdfA4)
{
    REQUIRE_FONT(kDejaVu);
    TrueType tt;
    std::string ab = "<" + Hex(tt.gid_a) + Hex(tt.gid_b) + "> Tj";
    std::string cid = std::string(kIdentityInfo) + "/CIDToGIDMap/Identity";
    // No Unicode levels: a missing mapping is no violation, but a given one must be text.
    EXPECT_EQ(Composite(k4, tt, "/Encoding/Identity-H", cid, ab), "");
    PdfBuilder b;
    Composite(k4, tt, "/Encoding/Identity-H/ToUnicode 14 0 R", cid, ab, "DejaVuSans", "", &b);
    b.SetStream(14, "", "1 begincodespacerange <0000> <FFFF> endcodespacerange\n1 beginbfchar <" + Hex(tt.gid_a) +
                            "> <0000> endbfchar\n");
    EXPECT_EQ(Findings(b.Build(), k4), "62115(10)");
    // ActualText of marked content without private use code points (UTF-16 and UTF-8).
    auto actual = [&](const std::string& text) {
        PdfBuilder p = WithFont(k4, "<</Type/Font>>", "", "", "", "/Span<</ActualText" + text + ">>BDC EMC");
        return Findings(p.Build(), k4);
    };
    EXPECT_EQ(actual("(plain \356)"), "");
    EXPECT_EQ(actual("<FEFF0041E000>"), "4621081(4)");
    EXPECT_EQ(actual("<EFBBBF41EE8080>"), "4621081(4)");
    EXPECT_EQ(actual("<FEFF00410042>"), "");
}

TEST(FontChecks, Type3)
{
    auto run = [](int level, const std::string& widths, const std::string& text, const std::string& proc = "500 0 d0") {
        PdfBuilder b = WithFont(level,
                                "<</Type/Font/Subtype/Type3/FontBBox[0 0 1000 1000]/FontMatrix[0.001 0 0 0.001 0 0]"
                                "/CharProcs<</a 12 0 R>>/Encoding<</Differences[65/a 66/b]>>/FirstChar 65/LastChar 66"
                                "/Widths" + widths + ">>",
                                "", "", proc, text);
        return Findings(b.Build(), level);
    };
    EXPECT_EQ(run(k2B, "[500 500]", "(A) Tj"), "");
    EXPECT_EQ(run(k2B, "[500.9 500]", "(A) Tj"), "");
    EXPECT_EQ(run(k2B, "[510 500]", "(A) Tj"), "361(10)");
    EXPECT_EQ(run(k2B, "[500 500]", "(A) Tj", "500 0 0 0 500 500 d1"), "");
    // No procedure for b.
    EXPECT_EQ(run(k2B, "[500 500]", "(AB) Tj"), "352(10)");
    // A code past the end of Widths has the width MissingWidth (0), not its procedure's.
    PdfBuilder b = WithFont(k2B,
                            "<</Type/Font/Subtype/Type3/FontBBox[0 0 100 100]/FontMatrix[0.01 0 0 0.01 0 0]"
                            "/CharProcs<</a 12 0 R/b 12 0 R>>/Encoding<</Differences[65/a 66/b]>>/FirstChar 65"
                            "/LastChar 66/Widths[50]>>",
                            "", "", "50 0 d0", "(AB) Tj");
    EXPECT_EQ(Findings(b.Build(), k2B), "361(10)");
    b.Set(10, "<</Type/Font/Subtype/Type3/FontBBox[0 0 100 100]/FontMatrix[0.01 0 0 0.01 0 0]"
              "/CharProcs<</a 12 0 R/b 12 0 R>>/Encoding<</Differences[65/a 66/b]>>/FirstChar 65/LastChar 66"
              "/Widths[50 50]>>");
    EXPECT_EQ(Findings(b.Build(), k2B), "");
    // TeX's bitmap fonts name glyphs after their codes (a65), as ZapfDingbats names its
    // dingbats: such a name gives no text at level U; conversion reads the code instead.
    std::string tex = WithFont(k2U,
                               "<</Type/Font/Subtype/Type3/FontBBox[0 0 100 100]/FontMatrix[0.01 0 0 0.01 0 0]"
                               "/CharProcs<</a65 12 0 R/a66 12 0 R>>/Encoding<</Differences[65/a65/a66]>>"
                               "/FirstChar 65/LastChar 66/Widths[50 50]>>",
                               "", "", "50 0 d0", "(AB) Tj")
                          .Build();
    EXPECT_EQ(Findings(tex, k2U), "381(10) 62116(10)");
    EXPECT_EQ(qvx::Test::FindingsAfterConversion(tex, k2U), "");
}

TEST(FontChecks, ConversionEmbedsStandardFonts)
{
    REQUIRE_FONT(kNimbus);
    // Helvetica without a descriptor, and Times-Bold with one but no program.
    PdfBuilder b = CleanFile(k2B);
    b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Resources<</Font<</F1 10 0 R/F2 11 0 R>>" + kGray +
                 ">>/Contents 4 0 R>>");
    b.SetStream(4, "", "BT /F1 12 Tf 10 10 Td (Hello) Tj /F2 12 Tf (World) Tj ET");
    b.Set(10, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica/Encoding/WinAnsiEncoding>>");
    // An Arial TrueType font becomes a Type 1 font with Helvetica's substitute; the CharSet
    // its descriptor gives (as groff writes for fonts it does not embed) names other glyphs
    // than the substitute has, and goes.
    b.Set(11, "<</Type/Font/Subtype/TrueType/BaseFont/Arial,Bold/Encoding/WinAnsiEncoding/FontDescriptor 12 0 R>>");
    b.Set(12, Descriptor(32, "", "Arial,Bold", "/CharSet(/W/o/r/l/d)"));
    std::string pdf = b.Build();
    EXPECT_EQ(Findings(pdf, k2B), "12(3)");
    qvx::Test::TempDir dir;
    auto out = dir.Path() / "out.pdf";
    {
        qvx::PDF::PDFACompliance run(true, qvx::Test::ToBytes(pdf), nullptr, k2B, nullptr, 0, 0, false);
        EXPECT_EQ(Findings(run), "341(10 11)");
        run.SaveAs(qvx::Common::UString::FromFileName(out.string()), false);
    }
    qvx::PDF::PDFACompliance again(false, qvx::Common::UString::FromFileName(out.string()), nullptr, k2B, nullptr, 0, 0,
                                   false);
    EXPECT_EQ(Findings(again), "");
    // A name tagged as a subset's, its program gone: the whole substitute goes in under the
    // untagged name, so PDF/A-1 asks no CharSet of it.
    b.Set(11, "<</Type/Font/Subtype/TrueType/BaseFont/ASJKFO+Arial-BoldMT/Encoding/WinAnsiEncoding"
              "/FontDescriptor 12 0 R>>");
    b.Set(12, Descriptor(32, "", "ASJKFO+Arial-BoldMT"));
    EXPECT_EQ(qvx::Test::FindingsAfterConversion(b.Build(), k1B), "");

    // Two dictionaries of Helvetica (producers may give each page its own) share one
    // program; a third, whose Widths the glyphs are given, has a program of its own.
    PdfBuilder three = CleanFile(k2B);
    three.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Resources<</Font<</F1 10 0 R/F2 11 0 R/F3 13 0 R>>" +
                     kGray + ">>/Contents 4 0 R>>");
    three.SetStream(4, "", "BT /F1 12 Tf 10 10 Td (Hello) Tj /F2 12 Tf (Hello) Tj /F3 12 Tf (H) Tj ET");
    three.Set(10, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica/Encoding/WinAnsiEncoding>>");
    three.Set(11, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica/Encoding/WinAnsiEncoding>>");
    three.Set(13, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica/Encoding/WinAnsiEncoding/FirstChar 72/LastChar 72"
                  "/Widths[700]>>");
    qvx::PDF::PDFACompliance shared(true, qvx::Test::ToBytes(three.Build()), nullptr, k2B, nullptr, 0, 0, false);
    auto program = [&](int font) {
        qvx::SDF::Obj* d = qvx::PDF::FindDict(shared.GetDoc().GetObj(font), "FontDescriptor");
        qvx::SDF::Obj* file = d ? d->FindObj("FontFile") : nullptr;
        return file && file->IsIndirect() ? file->GetObjNum() : 0u;
    };
    EXPECT_NE(program(10), 0u);
    EXPECT_EQ(program(10), program(11));
    EXPECT_NE(program(13), 0u);
    EXPECT_NE(program(13), program(10));
    EXPECT_EQ(qvx::Test::FindingsAfterConversion(three.Build(), k2B), "");
    // The shared program keeps the glyphs the two fonts show, under one subset's tagged name;
    // PDF/A-1 asks its CharSet.
    auto glyphs = [](qvx::PDF::PDFACompliance& run, int font) {
        auto f = qvx::PDF::Font::Create(run.GetDoc().GetObj(font));
        const qvx::PDF::FontProgram* p = f ? f->GetProgram() : nullptr;
        std::string names;
        for (long gid = 0; p && gid < p->GlyphCount(); ++gid) names += " " + p->GlyphName(static_cast<unsigned>(gid));
        return names;
    };
    EXPECT_EQ(glyphs(shared, 10), " .notdef e l o space H") << glyphs(shared, 10);
    const std::string tagged(qvx::PDF::FindName(shared.GetDoc().GetObj(10), "BaseFont"));
    EXPECT_EQ(tagged.substr(6), "+Helvetica");
    EXPECT_EQ(qvx::PDF::FindName(shared.GetDoc().GetObj(11), "BaseFont"), tagged);
    EXPECT_EQ(qvx::PDF::FindIn(qvx::PDF::FindDict(shared.GetDoc().GetObj(10), "FontDescriptor"), "CharSet"), nullptr);
    qvx::PDF::PDFACompliance pdfa1(true, qvx::Test::ToBytes(three.Build()), nullptr, k1B, nullptr, 0, 0, false);
    qvx::SDF::Obj* charset = qvx::PDF::FindIn(qvx::PDF::FindDict(pdfa1.GetDoc().GetObj(10), "FontDescriptor"), "CharSet");
    ASSERT_NE(charset, nullptr);
    EXPECT_EQ(std::string(qvx::Common::AsChars(charset->GetBuffer())), "/e/l/o/space/H");
    EXPECT_EQ(qvx::Test::FindingsAfterConversion(three.Build(), k1B), "");
    // A font the page lists but no text shows keeps the whole program, for text that may be
    // set with it later.
    PdfBuilder unused = CleanFile(k2B);
    unused.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Resources<</Font<</F1 10 0 R>>>>/Contents 4 0 R>>");
    unused.Set(10, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica/Encoding/WinAnsiEncoding>>");
    qvx::PDF::PDFACompliance listed(true, qvx::Test::ToBytes(unused.Build()), nullptr, k2B, nullptr, 0, 0, false);
    EXPECT_GT(glyphs(listed, 10).size(), 2000u);
    EXPECT_EQ(qvx::PDF::FindName(listed.GetDoc().GetObj(10), "BaseFont"), "Helvetica");

    // ZapfDingbats embedded keeps its text: readers know a71 at code l as a black circle only
    // in the standard font, so the copy says it in a ToUnicode map.
    PdfBuilder z = WithFont(k2B, "<</Type/Font/Subtype/Type1/BaseFont/ZapfDingbats>>", "", "", "", "(l4) Tj");
    qvx::PDF::PDFACompliance dingbats(true, qvx::Test::ToBytes(z.Build()), nullptr, k2B, nullptr, 0, 0, false);
    EXPECT_EQ(Findings(dingbats), "341(10)");
    auto embedded = qvx::PDF::Font::Create(dingbats.GetDoc().GetObj(10));
    std::u16string circle, check;
    EXPECT_TRUE(embedded->GetProgram() && embedded->GetToUnicodeObj());
    EXPECT_TRUE(embedded->ToUnicode({'l', 1, 'l'}, circle) && circle == u"\u25CF");
    EXPECT_TRUE(embedded->ToUnicode({'4', 1, '4'}, check) && check == u"\u2714");
}

TEST(FontChecks, ConversionCompletesDescriptors)
{
    REQUIRE_FONT(kDejaVu);
    TrueType tt;
    std::string font = SimpleTrueType("/Encoding/WinAnsiEncoding/Widths" + tt.Widths(), "AAAAAA+DejaVuSans");
    // The descriptor as found after conversion: "Type FontName CapHeight StemV Ascent Descent".
    auto converted = [&](const std::string& entries) {
        std::string descriptor = "<</Flags 32/FontBBox[-1021 -463 1793 1232]" + entries + "/FontFile2 12 0 R>>";
        PdfBuilder b = WithFont(k1B, font, descriptor, "", tt.data);
        qvx::PDF::PDFACompliance run(true, qvx::Test::ToBytes(b.Build()), nullptr, k1B, nullptr, 0, 0, false);
        qvx::SDF::Obj* d = run.GetDoc().GetObj(11);
        std::string out(qvx::PDF::FindName(d, "Type"));
        out += " " + std::string(qvx::PDF::FindName(d, "FontName"));
        for (const char* key : {"CapHeight", "StemV", "Ascent", "Descent", "ItalicAngle"})
            out += " " + std::to_string(static_cast<int>(qvx::PDF::FindNumber(d, key, -9999)));
        return out;
    };
    // Entries given stay; the missing come from Ascent and the font box, StemV as unknown,
    // the name from the font's BaseFont.
    EXPECT_EQ(converted("/FontName/DejaVuSans/ItalicAngle -12/Ascent 928/Descent -236"),
              "FontDescriptor DejaVuSans 928 0 928 -236 -12");
    EXPECT_EQ(converted("/FontName/DejaVuSans/Type/FontDescriptor/ItalicAngle 0/Ascent 900/Descent -200/CapHeight 700"
                        "/StemV 80"),
              "FontDescriptor DejaVuSans 700 80 900 -200 0");
    EXPECT_EQ(converted("/Type/Font"), "FontDescriptor AAAAAA+DejaVuSans 1232 0 1232 -463 0");
    EXPECT_EQ(converted("/FontName(DejaVuSans)"), "FontDescriptor AAAAAA+DejaVuSans 1232 0 1232 -463 0");
}



