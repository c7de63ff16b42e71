// Conversion of embedded fonts whose codes break the font rules: codes without a glyph given
// one of their own (in Type 1, TrueType and bare CFF programs, and CID 0 of composites),
// symbolic TrueType cmaps, and ToUnicode maps written from what the program knows; the copy
// passes revalidation and draws and reads as the original did.
#include "pdf/CMap.h"
#include "pdf/PageTree.h"
#include "render/PageRenderer.h"
#include "sdf/SDFDoc.h"
#include "tests/compliance/FontReplacementSupport.h"
#include "tests/support/CFFBuilder.h"

using namespace qvx::Test::FontReplacement;

TEST(FontRepair, CodesWithoutGlyphGetOneOfTheirOwn)
{
    const char* const kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    REQUIRE_FONT(kDejaVu);
    REQUIRE_FONT(kNimbusSans);
    auto open = [](const std::string& bytes) { return qvx::PDF::FontProgram::Open(qvx::Common::Bytes(bytes.begin(), bytes.end())); };
    std::string descriptor = "<</Type/FontDescriptor/FontName/F/Flags 32/FontBBox[0 0 1000 1000]/ItalicAngle 0"
                             "/Ascent 800/Descent -200/CapHeight 700/StemV 80/FontFile2 12 0 R>>";

    // Type 1: B names a glyph the program lacks, and code 1 none, in the program's own
    // encoding either (352). Each gets a copy of .notdef at its width, code 1 under a new
    // name that the encoding gives it.
    std::string type1 = qvx::Test::ReadFile(kNimbusSans);
    std::size_t clear = type1.find("eexec") + 6;
    std::string widths = "[";
    for (int code = 1; code <= 64; ++code) widths += "0 ";
    widths += "667 640]";
    // A page showing text in the program as an embedded Type 1 font with these entries.
    auto nimbus_page = [&](int level, const std::string& text, const std::string& entries) {
        PdfBuilder b = Page(level, "BT /F1 20 Tf 10 100 Td (" + text + ") Tj ET");
        b.Set(10, "<</Type/Font/Subtype/Type1/BaseFont/NimbusSans-Regular" + entries + "/FontDescriptor 11 0 R>>");
        std::string d = descriptor;
        b.Set(11, d.replace(d.find("FontFile2"), 9, "FontFile"));
        b.SetStream(12, "/Length1 " + std::to_string(clear), type1);
        return b;
    };
    for (int level : {k1B, k2B}) {
        SCOPED_TRACE(level);
        PdfBuilder b = nimbus_page(level, "A\001B", "/FirstChar 1/LastChar 66/Widths" + widths + "/Encoding<</Differences[66/nosuchglyph]>>");
        auto c = Convert(b.Build(), level);
        EXPECT_EQ(c->first, "352(10)");
        EXPECT_EQ(c->again, "");
        CopyReader copy(c->out);
        auto p = open(CopyReader::Decoded(copy.Get(11), "FontFile"));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->Advance(p->GlyphByName("nosuchglyph")), 640);
        ASSERT_NE(p->GlyphByName("notdef.c1"), 0u);
        EXPECT_EQ(p->Advance(p->GlyphByName("notdef.c1")), 0);
        EXPECT_EQ(copy.Get(11)->FindObj("FontFile")->GetObjNum(), 12u);
    }
    // At 2U that code has no character either (62116). With an advance its copy of the
    // blank .notdef is a gap, which the copy's Unicode map calls a space: the words come out
    // as before. Without one no value says what it is, and the finding stays.
    {
        auto nimbus = open(type1);
        ASSERT_NE(nimbus, nullptr);
        for (const char* gap : {"278", "0"}) {
            SCOPED_TRACE(gap);
            std::string w = "[";
            // The letters' glyphs are named by the letters.
            for (int code = 1; code <= 'w'; ++code) {
                const std::string letter(1, static_cast<char>(code));
                const bool shown = std::string_view("Wordstha").find(letter) != std::string_view::npos;
                w += code == 1 ? std::string(gap) : shown ? std::to_string(nimbus->Advance(nimbus->GlyphByName(letter))) : "0";
                w += ' ';
            }
            PdfBuilder b = nimbus_page(k2U, "Words\001that", "/FirstChar 1/LastChar 119/Widths" + w + "]/Encoding/WinAnsiEncoding");
            auto c = Convert(b.Build(), k2U);
            const bool blank = std::string(gap) == "0";
            // .notdef's own advance is the gap's, not 0.
            EXPECT_EQ(c->first, blank ? "361(10) 62116(10) 62118(10)" : "62116(10) 62118(10)");
            EXPECT_EQ(c->again, blank ? "62116(10)" : "");
            if (!blank) {
                EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));
            }
        }
    }

    // A symbolic TrueType font whose program has only a (3,1) cmap (353: no symbolic
    // subtable reads the code), and a non-symbolic one showing code 0, which names no glyph
    // (62118, and its width is not .notdef's): the glyph readers drew (A through the Unicode
    // subtable; nothing for .notdef) is reached through a (3,0) subtable at the code's width,
    // the font turned symbolic, and the text stays.
    std::string dejavu = qvx::Test::ReadFile(kDejaVu);
    auto unicode_only = qvx::PDF::SubstituteProgram::WithOneCMap(qvx::Test::ToBytes(dejavu), 3, 1);
    ASSERT_TRUE(unicode_only);
    auto p = open(dejavu);
    unsigned gid_a = p->GlyphByCMap(3, 1, 'A');
    long width_a = std::lround(p->Advance(gid_a) * 1000.0 / p->UnitsPerEm());
    std::string zeros;
    for (int code = 1; code <= 64; ++code) zeros += "0 ";
    struct Case {
        const char *flags, *encoding, *shown, *found;
    };
    for (const Case& k : {Case{"/Flags 4", "", "A", "353(10)"}, Case{"/Flags 32", "/Encoding/MacRomanEncoding", "\\000A", "361(10) 62118(10)"}}) {
        SCOPED_TRACE(k.found);
        PdfBuilder t = Page(k2B, std::string("BT /F1 20 Tf 10 100 Td (") + k.shown + ") Tj ET");
        t.Set(10, "<</Type/Font/Subtype/TrueType/BaseFont/DejaVuSans/FirstChar 0/LastChar 65/Widths[500 " + zeros +
                      std::to_string(width_a) + "]" + k.encoding + "/ToUnicode 13 0 R/FontDescriptor 11 0 R>>");
        std::string d = descriptor;
        t.Set(11, d.replace(d.find("/Flags 32"), 9, k.flags));
        t.SetStream(12, "", std::string(unicode_only->begin(), unicode_only->end()));
        t.SetStream(13, "", "/CIDInit /ProcSet findresource begin 12 dict begin begincmap 1 begincodespacerange <00> <FF> "
                            "endcodespacerange 1 beginbfchar <41> <0041> endbfchar endcmap end end");
        auto c = Convert(t.Build(), k2B);
        EXPECT_EQ(c->first, k.found);
        EXPECT_EQ(c->again, "");
        EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));
        CopyReader copy(c->out);
        auto fixed = open(CopyReader::Decoded(copy.Get(11), "FontFile2"));
        ASSERT_NE(fixed, nullptr);
        EXPECT_EQ(fixed->GlyphCount(), p->GlyphCount() + 1);
        EXPECT_EQ(fixed->GlyphByCMap(3, 0, 0xF041), std::string(k.shown) == "A" ? static_cast<unsigned>(p->GlyphCount()) : gid_a);
    }

    // A CIDFontType2 whose CIDToGIDMap sends CID 1 to glyph 0 (351): the glyph, which readers
    // draw, is copied and the map sends the CID to the copy; the CIDSet, which lacked the
    // CID (356), has it.
    for (int level : {k1B, k2B}) {
        SCOPED_TRACE(level);
        PdfBuilder t = Page(level, "BT /F1 20 Tf 10 100 Td <00010002> Tj ET");
        t.Set(10, "<</Type/Font/Subtype/Type0/BaseFont/ABCDEF+DejaVuSans/Encoding/Identity-H/DescendantFonts[13 0 R]>>");
        t.Set(13, "<</Type/Font/Subtype/CIDFontType2/BaseFont/ABCDEF+DejaVuSans/CIDSystemInfo<</Registry(Adobe)"
                  "/Ordering(Identity)/Supplement 0>>/FontDescriptor 11 0 R/CIDToGIDMap 14 0 R/W[1[600 " +
                      std::to_string(width_a) + "]]>>");
        std::string d = descriptor;
        t.Set(11, d.replace(d.find("/StemV"), 6, "/CIDSet 15 0 R/StemV"));
        t.SetStream(12, "", dejavu);
        t.SetStream(14, "", std::string("\0\0\0\0", 4) + static_cast<char>(gid_a >> 8) + static_cast<char>(gid_a & 0xFF));
        t.SetStream(15, "", std::string(1, static_cast<char>(0xA0)));
        auto c = Convert(t.Build(), level);
        EXPECT_EQ(c->first, "351(10) 356(11)");
        EXPECT_EQ(c->again, "");
        CopyReader copy(c->out);
        std::string map = CopyReader::Decoded(copy.Get(13), "CIDToGIDMap");
        ASSERT_GE(map.size(), 6u);
        EXPECT_EQ((static_cast<unsigned char>(map[2]) << 8) | static_cast<unsigned char>(map[3]), p->GlyphCount());
        EXPECT_EQ(copy.Get(13)->FindObj("CIDToGIDMap")->GetObjNum(), 14u);
    }
}

TEST(FontRepair, NonSymbolicTrueTypeWithUnlistedNamesTurnsSymbolic)
{
    const char* const kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    REQUIRE_FONT(kDejaVu);
    UnlistedGlyph font(kDejaVu);
    ASSERT_FALSE(font.unlisted.empty());
    const std::string& program = font.bytes;
    const std::string& unlisted = font.unlisted;
    unsigned unlisted_gid = font.gid, gid_b = font.program->GlyphByName("B");
    // Code 65 shows that glyph, code 66 shows B through WinAnsiEncoding. With a ToUnicode
    // map the font turns symbolic and its program gets a (3,0) cmap reaching the same
    // glyphs; a map that lacks a code shown is first completed from the glyph's name, which
    // the text then keeps. Without a map it is left with its finding.
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(qvx::PDF::GlyphList::ToUnicode(unlisted)[0]));
    for (std::string map : {std::string("<41> <") + hex + "> <42> <0042>", std::string("<42> <0042>"), std::string()}) {
        SCOPED_TRACE(map);
        bool to_unicode = !map.empty();
        SCOPED_TRACE(to_unicode);
        PdfBuilder b = Page(k2B, "BT /F1 20 Tf 10 100 Td (ABBA) Tj ET");
        b.Set(10, "<</Type/Font/Subtype/TrueType/BaseFont/DejaVuSans/FirstChar 65/LastChar 66/Widths[" +
                      font.Width(unlisted_gid) + " " + font.Width(gid_b) + "]/Encoding<</Type/Encoding/BaseEncoding/WinAnsiEncoding"
                      "/Differences[65/" + unlisted + "]>>/FontDescriptor 11 0 R" +
                      (map.empty() ? "" : "/ToUnicode 13 0 R") + ">>");
        b.Set(11, "<</Type/FontDescriptor/FontName/DejaVuSans/Flags 32/FontBBox[0 0 1000 1000]/ItalicAngle 0"
                  "/Ascent 800/Descent -200/CapHeight 700/StemV 80/FontFile2 12 0 R>>");
        b.SetStream(12, "", program);
        b.SetStream(13, "", "/CIDInit /ProcSet findresource begin 12 dict begin begincmap 1 begincodespacerange <00> <FF> "
                            "endcodespacerange 2 beginbfchar " + map + " endbfchar endcmap end end");
        auto c = Convert(b.Build(), k2B);
        EXPECT_EQ(c->first, "371(10)");
        EXPECT_EQ(c->again, to_unicode ? "" : "371(10)");
        EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));
        CopyReader copy(c->out);
        Obj* font = copy.Get(10);
        Obj* descriptor = copy.Get(11);
        EXPECT_EQ(font->FindObj("Encoding") == nullptr, to_unicode);
        EXPECT_EQ(static_cast<int>(qvx::PDF::FindNumber(descriptor, "Flags", 0)), to_unicode ? 4 : 32);
        if (!to_unicode) continue;
        EXPECT_EQ(descriptor->FindObj("FontFile2")->GetObjNum(), 12u);
        std::string fixed = CopyReader::Decoded(descriptor, "FontFile2");
        auto q = qvx::PDF::FontProgram::Open(qvx::Common::Bytes(fixed.begin(), fixed.end()));
        ASSERT_NE(q, nullptr);
        ASSERT_EQ(q->CMapTables().size(), 1u);
        EXPECT_EQ(q->CMapTables()[0].platform, 3);
        EXPECT_EQ(q->CMapTables()[0].encoding, 0);
        EXPECT_EQ(q->GlyphByCMap(3, 0, 0xF000 + 'A'), unlisted_gid);
        EXPECT_EQ(q->GlyphByCMap(3, 0, 0xF000 + 'B'), gid_b);
    }

    // Differences of listed names are a Latin encoding the rules accept, yet other checkers
    // read the PDF/A-1 rule as wanting the encoding's name alone: a PDF/A-1 copy turns the
    // font symbolic as above (code 65 shows B here), its map written from the names when it
    // has none; a PDF/A-2 copy keeps the encoding. A descriptor that a font of the standard
    // encoding shares stays as that font reads it: the repaired font gets a descriptor and
    // program of its own.
    for (int level : {k1B, k2B, 0}) {
        SCOPED_TRACE(level);
        const bool shared = level == 0, mapped = shared;
        if (shared) level = k1B;
        PdfBuilder b = Page(level, "BT /F1 20 Tf 10 100 Td (ABBA) Tj /F2 20 Tf (AB) Tj ET");
        b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Resources<</Font<</F1 10 0 R/F2 14 0 R>>" + kGray +
                     ">>/Contents 4 0 R>>");
        b.Set(10, "<</Type/Font/Subtype/TrueType/BaseFont/DejaVuSans/FirstChar 65/LastChar 66/Widths[" + font.Width(gid_b) + " " +
                      font.Width(gid_b) + "]/Encoding<</Type/Encoding/BaseEncoding/WinAnsiEncoding/Differences[65/B]>>"
                      "/FontDescriptor 11 0 R" + (mapped ? "/ToUnicode 13 0 R" : "") + ">>");
        b.Set(14, "<</Type/Font/Subtype/TrueType/BaseFont/DejaVuSans/FirstChar 65/LastChar 66/Widths[" +
                      font.Width(font.program->GlyphByName("A")) + " " + font.Width(gid_b) + "]/Encoding/WinAnsiEncoding" +
                      "/FontDescriptor " + (shared ? "11" : "15") + " 0 R>>");
        b.Set(15, "<</Type/FontDescriptor/FontName/DejaVuSans/Flags 32/FontBBox[0 0 1000 1000]/ItalicAngle 0"
                  "/Ascent 800/Descent -200/CapHeight 700/StemV 80/FontFile2 16 0 R>>");
        b.SetStream(16, "", program);
        b.Set(11, "<</Type/FontDescriptor/FontName/DejaVuSans/Flags 32/FontBBox[0 0 1000 1000]/ItalicAngle 0"
                  "/Ascent 800/Descent -200/CapHeight 700/StemV 80/FontFile2 12 0 R>>");
        b.SetStream(12, "", program);
        b.SetStream(13, "", "/CIDInit /ProcSet findresource begin 12 dict begin begincmap 1 begincodespacerange <00> <FF> "
                            "endcodespacerange 2 beginbfchar <41> <0042> <42> <0042> endbfchar endcmap end end");
        auto c = Convert(b.Build(), level);
        EXPECT_EQ(c->again, "");
        EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));
        CopyReader copy(c->out);
        EXPECT_EQ(copy.Get(10)->FindObj("Encoding") == nullptr, level == k1B);
        EXPECT_NE(copy.Get(14)->FindObj("Encoding"), nullptr);
        Obj* own = copy.Get(10)->FindObj("FontDescriptor");
        EXPECT_EQ(own->GetObjNum() != 11, shared);
        if (shared) {
            EXPECT_EQ(qvx::PDF::FindNumber(copy.Get(11), "Flags", 0), 32);
            EXPECT_EQ(CopyReader::Decoded(copy.Get(11), "FontFile2"), program);
        }
        if (level != k1B) continue;
        EXPECT_EQ(qvx::PDF::FindNumber(own->Resolve(), "Flags", 0), 4);
        EXPECT_NE(CopyReader::Decoded(copy.Get(10), "ToUnicode").find("<41> <0042>"), std::string::npos);
        std::string fixed = CopyReader::Decoded(own->Resolve(), "FontFile2");
        auto q = qvx::PDF::FontProgram::Open(qvx::Common::Bytes(fixed.begin(), fixed.end()));
        ASSERT_NE(q, nullptr);
        EXPECT_EQ(q->GlyphByCMap(3, 0, 0xF000 + 'A'), gid_b);
    }
}

TEST(FontRepair, TrueTypeProgramsGetTheCMapSubtablesPDFA4Wants)
{
    const char* const kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    REQUIRE_FONT(kDejaVu);
    const std::string dejavu = qvx::Test::ReadFile(kDejaVu);
    // Only the Unicode-platform subtable: PDF/A-4 wants a (3,1) or (1,0) one in the program
    // of a non-symbolic font. Two fonts share the program; each code keeps its glyph, so the
    // text and its places stay, and the fonts stay non-symbolic with their encoding.
    auto bare = qvx::PDF::SubstituteProgram::WithOneCMap(qvx::Test::ToBytes(dejavu), 0, 3);
    ASSERT_TRUE(bare);
    auto before = qvx::PDF::FontProgram::Open(*bare);
    ASSERT_NE(before, nullptr);
    std::string widths;
    for (unsigned code = 65; code <= 98; ++code)
        widths += " " + std::to_string(std::lround(before->Advance(before->GlyphByCMap(0, 3, code)) * 1000.0 / before->UnitsPerEm()));
    for (int level : {qvx::Test::k4, k2B}) {
        SCOPED_TRACE(level);
        PdfBuilder b = Page(level, "BT /F1 20 Tf 10 100 Td (Ab) Tj /F2 20 Tf 0 -30 Td (bA) Tj ET");
        b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Resources<</Font<</F1 10 0 R/F2 13 0 R>>" + kGray +
                     ">>/Contents 4 0 R>>");
        for (int num : {10, 13})
            b.Set(num, "<</Type/Font/Subtype/TrueType/BaseFont/DejaVuSans/FirstChar 65/LastChar 98/Widths[" + widths +
                           "]/Encoding/WinAnsiEncoding/FontDescriptor 11 0 R>>");
        b.Set(11, "<</Type/FontDescriptor/FontName/DejaVuSans/Flags 32/FontBBox[0 0 1000 1000]/ItalicAngle 0"
                  "/Ascent 800/Descent -200/CapHeight 700/StemV 80/FontFile2 12 0 R>>");
        b.SetStream(12, "", std::string(bare->begin(), bare->end()));
        auto c = Convert(b.Build(), level);
        EXPECT_EQ(c->again, "");
        EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));
        CopyReader copy(c->out);
        Obj* descriptor = copy.Get(11);
        EXPECT_EQ(static_cast<int>(qvx::PDF::FindNumber(descriptor, "Flags", 0)), 32);
        for (int num : {10, 13}) EXPECT_NE(copy.Get(num)->FindObj("Encoding"), nullptr);
        std::string fixed = CopyReader::Decoded(descriptor, "FontFile2");
        auto q = qvx::PDF::FontProgram::Open(qvx::Common::Bytes(fixed.begin(), fixed.end()));
        ASSERT_NE(q, nullptr);
        if (level == k2B) {
            EXPECT_EQ(q->CMapTables().size(), 1u);
            continue;
        }
        EXPECT_NE(c->first.find("4621061(10 13)"), std::string::npos) << c->first;
        ASSERT_EQ(q->CMapTables().size(), 1u);
        EXPECT_EQ(q->CMapTables()[0].platform, 3);
        EXPECT_EQ(q->CMapTables()[0].encoding, 1);
        for (unsigned ch : {'A', 'b'}) EXPECT_EQ(q->GlyphByCMap(3, 1, ch), before->GlyphByCMap(0, 3, ch));
    }
    // A symbolic font whose program has only a (3,1) subtable, read by code: PDF/A-4 wants a
    // (3,0) or (1,0) one, which takes each code to the glyph it showed (or a copy of it).
    auto unicode = qvx::PDF::SubstituteProgram::WithOneCMap(qvx::Test::ToBytes(dejavu), 3, 1);
    ASSERT_TRUE(unicode);
    PdfBuilder b = Page(qvx::Test::k4, "BT /F1 20 Tf 10 100 Td (Ab) Tj ET");
    b.Set(10, "<</Type/Font/Subtype/TrueType/BaseFont/DejaVuSans/FirstChar 65/LastChar 98/Widths[" + widths + "]/FontDescriptor 11 0 R>>");
    b.Set(11, "<</Type/FontDescriptor/FontName/DejaVuSans/Flags 4/FontBBox[0 0 1000 1000]/ItalicAngle 0"
              "/Ascent 800/Descent -200/CapHeight 700/StemV 80/FontFile2 12 0 R>>");
    b.SetStream(12, "", std::string(unicode->begin(), unicode->end()));
    auto c = Convert(b.Build(), qvx::Test::k4);
    EXPECT_NE(c->first.find("4621064(10)"), std::string::npos) << c->first;
    EXPECT_EQ(c->again, "");
    EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));
    CopyReader copy(c->out);
    std::string fixed = CopyReader::Decoded(copy.Get(11), "FontFile2");
    auto q = qvx::PDF::FontProgram::Open(qvx::Common::Bytes(fixed.begin(), fixed.end()));
    ASSERT_NE(q, nullptr);
    ASSERT_EQ(q->CMapTables().size(), 1u);
    EXPECT_EQ(q->CMapTables()[0].platform, 3);
    EXPECT_EQ(q->CMapTables()[0].encoding, 0);
    for (unsigned ch : {'A', 'b'}) {
        unsigned gid = q->GlyphByCMap(3, 0, 0xF000 + ch);
        ASSERT_NE(gid, 0u);
        EXPECT_EQ(q->Advance(gid), before->Advance(before->GlyphByCMap(0, 3, ch)));
    }
}

TEST(FontRepair, ToUnicodeWrittenFromGlyphNamesAndTheProgramsUnicodeCMap)
{
    const char* const kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    REQUIRE_FONT(kDejaVu);
    const std::string program = qvx::Test::ReadFile(kDejaVu);
    auto p = qvx::PDF::FontProgram::Open(qvx::Test::ToBytes(program));
    ASSERT_NE(p, nullptr);
    unsigned gid_a = p->GlyphByCMap(3, 1, 'A'), gid_b = p->GlyphByCMap(3, 1, 'B');
    auto text_of = [](const std::filesystem::path& pdf) { return qvx::Test::Run({"/usr/bin/pdftotext", pdf.string(), "-"}).output; };

    // An Identity-H CIDFont without ToUnicode, its CIDs the program's glyphs: at 2U the text
    // comes from the characters the program's Unicode cmap gives those glyphs.
    char hex[16];
    std::snprintf(hex, sizeof hex, "%04X%04X", gid_a, gid_b);
    PdfBuilder t = Page(k2U, std::string("BT /F1 20 Tf 10 100 Td <") + hex + "> Tj ET");
    t.Set(10, "<</Type/Font/Subtype/Type0/BaseFont/ABCDEF+DejaVuSans/Encoding/Identity-H/DescendantFonts[13 0 R]>>");
    t.Set(13, "<</Type/Font/Subtype/CIDFontType2/BaseFont/ABCDEF+DejaVuSans/CIDSystemInfo<</Registry(Adobe)"
              "/Ordering(Identity)/Supplement 0>>/FontDescriptor 11 0 R/CIDToGIDMap/Identity/DW 700>>");
    t.Set(11, "<</Type/FontDescriptor/FontName/ABCDEF+DejaVuSans/Flags 4/FontBBox[0 0 1000 1000]/ItalicAngle 0"
              "/Ascent 800/Descent -200/CapHeight 700/StemV 80/FontFile2 12 0 R/CIDSet 14 0 R>>");
    t.SetStream(12, "", program);
    t.SetStream(14, "", std::string((p->GlyphCount() + 7) / 8, '\xFF'));
    auto ct = Convert(t.Build(), k2U);
    EXPECT_NE(ct->first.find("381(10)"), std::string::npos) << ct->first;
    EXPECT_EQ(ct->again, "");
    EXPECT_EQ(text_of(ct->out).substr(0, 2), "AB");

    // The same font with an embedded CMap of two-byte codes that sends 0001 and 0002 to
    // those glyphs, and a ToUnicode given as a name: the map is written for the codes,
    // through the CIDs the CMap gives them.
    char cmap[512];
    std::snprintf(cmap, sizeof cmap,
                  "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CIDSystemInfo<</Registry(Adobe)"
                  "/Ordering(Identity)/Supplement 0>> def /CMapName /Own-H def 1 begincodespacerange <0000> <FFFF> "
                  "endcodespacerange 2 begincidchar <0001> %u <0002> %u endcidchar endcmap CMapName currentdict /CMap "
                  "defineresource pop end end",
                  gid_a, gid_b);
    PdfBuilder own = t;
    own.SetStream(4, "", "BT /F1 20 Tf 10 100 Td <00010002> Tj ET");
    own.Set(10, "<</Type/Font/Subtype/Type0/BaseFont/ABCDEF+DejaVuSans/Encoding 15 0 R/ToUnicode/Identity-H"
                "/DescendantFonts[13 0 R]>>");
    own.SetStream(15, "/Type/CMap/CMapName/Own-H/CIDSystemInfo<</Registry(Adobe)/Ordering(Identity)/Supplement 0>>", cmap);
    auto co = Convert(own.Build(), k2U);
    EXPECT_EQ(co->again, "");
    EXPECT_EQ(text_of(co->out).substr(0, 2), "AB");
    EXPECT_NE(CopyReader::Decoded(CopyReader(co->out).Get(10), "ToUnicode").find("<0001> <0041>"), std::string::npos);
    // One stream as both the Encoding and the ToUnicode, as some writers give it: the map is
    // a new stream, and the CMap stays the font's Encoding. (The font also refers to a free
    // object, 16, which the look for shared streams must not try to load.)
    own.Set(10, "<</Type/Font/Subtype/Type0/BaseFont/ABCDEF+DejaVuSans/Encoding 15 0 R/ToUnicode 15 0 R"
                "/DescendantFonts[13 0 R]/Stray 16 0 R>>");
    own.Set(17, "<<>>");
    auto cs = Convert(own.Build(), k2U);
    EXPECT_EQ(cs->again, "");
    EXPECT_EQ(text_of(cs->out).substr(0, 2), "AB");
    CopyReader shared(cs->out);
    EXPECT_NE(CopyReader::Decoded(shared.Get(10), "Encoding").find("begincidchar"), std::string::npos);
    EXPECT_NE(shared.Get(10)->FindObj("ToUnicode")->GetObjNum(), 15u);

    // A program without a Unicode cmap, CIDs that are the characters' own values (0041 for A,
    // sent to A's glyph by a CIDToGIDMap) and ToUnicode given as the name Identity-H, which
    // readers take at its word: the map written says so. Without that name nothing says what
    // the glyphs are, and the text stays unmapped.
    auto mac_only = qvx::PDF::SubstituteProgram::WithOneCMap(qvx::Test::ToBytes(program), 1, 0);
    ASSERT_TRUE(mac_only);
    // Its glyphs lose their names too: a post table of version 3 has none.
    std::string no_names(mac_only->begin(), mac_only->end());
    for (std::size_t i = 12; i + 16 <= no_names.size() && i < 12 + 16 * 64; i += 16) {
        if (no_names.compare(i, 4, "post") != 0) continue;
        std::size_t at = (static_cast<unsigned char>(no_names[i + 8]) << 24) | (static_cast<unsigned char>(no_names[i + 9]) << 16) |
                         (static_cast<unsigned char>(no_names[i + 10]) << 8) | static_cast<unsigned char>(no_names[i + 11]);
        no_names.replace(at, 4, std::string("\0\3\0\0", 4));
    }
    std::string gids(0x43 * 2, '\0');
    for (auto [cid, gid] : {std::pair{0x41u, gid_a}, {0x42u, gid_b}}) gids[2 * cid] = static_cast<char>(gid >> 8), gids[2 * cid + 1] = static_cast<char>(gid & 0xFF);
    for (const char* to_unicode : {"/ToUnicode/Identity-H", ""}) {
        PdfBuilder named = t;
        named.SetStream(4, "", "BT /F1 20 Tf 10 100 Td <00410042> Tj ET");
        named.Set(10, std::string("<</Type/Font/Subtype/Type0/BaseFont/ABCDEF+DejaVuSans/Encoding/Identity-H") + to_unicode +
                          "/DescendantFonts[13 0 R]>>");
        named.Set(13, "<</Type/Font/Subtype/CIDFontType2/BaseFont/ABCDEF+DejaVuSans/CIDSystemInfo<</Registry(Adobe)"
                      "/Ordering(Identity)/Supplement 0>>/FontDescriptor 11 0 R/CIDToGIDMap 16 0 R/DW 700>>");
        named.SetStream(12, "", no_names);
        named.SetStream(16, "", gids);
        auto cn = Convert(named.Build(), k2U);
        EXPECT_NE(cn->first.find("381(10)"), std::string::npos) << cn->first;
        EXPECT_EQ(cn->again, *to_unicode ? "" : "381(10) 62116(10)");
        if (*to_unicode) {
            EXPECT_EQ(text_of(cn->out).substr(0, 2), "AB");
        }
    }

    // A page at 2U showing text in a Type 3 font: codes first to last, named by differences,
    // each glyph with a procedure in procs (all drawing one box), and more font entries.
    auto type3 = [](const std::string& text, int first, int last, const std::string& widths, const std::string& differences,
                    const std::vector<std::string>& procs, const std::string& extra) {
        PdfBuilder b = Page(k2U, "BT /F1 20 Tf 10 100 Td " + text + " Tj ET");
        std::string named;
        for (const std::string& n : procs) named += "/" + n + " 11 0 R";
        b.Set(10, "<</Type/Font/Subtype/Type3/FontBBox[0 0 1000 1000]/FontMatrix[0.002 0 0 0.002 0 0]/FirstChar " +
                      std::to_string(first) + "/LastChar " + std::to_string(last) + "/Widths[" + widths +
                      "]/Encoding<</Type/Encoding/Differences[" + differences + "]>>/CharProcs<<" + named + ">>" + extra + ">>");
        b.SetStream(11, "", "300 0 0 0 300 400 d1 0 0 300 400 re f");
        return b;
    };
    // The ToUnicode map a copy gives that font, and whether a map holds each of entries.
    auto written_map = [](const auto& c) { return CopyReader::Decoded(CopyReader(c->out).Get(10), "ToUnicode"); };
    auto holds = [](const std::string& map, std::initializer_list<const char*> entries) {
        return std::all_of(entries.begin(), entries.end(), [&](const char* e) { return map.find(e) != std::string::npos; });
    };

    // A Type 3 font whose glyph names are listed names (and uniXXXX forms) but which has no
    // ToUnicode: the map is written from the names; a name that gives no text stays unmapped,
    // and so does a numbered name such as a73 (a dingbat only in ZapfDingbats, so validation
    // finds no text for it either). A name numbered with its own code (a99 at 99, as TeX's
    // bitmap fonts have) is read as that code. A name of TeX's symbol fonts that the Adobe
    // list lacks, which validation cannot read, is written with the character its glyph
    // draws (circlecopyrt of cmsy, parenleftbigg of cmex, notsubseteql of msbm).
    for (std::string third : {"/uni0043", "/g7", "/a73", "/circlecopyrt", "/parenleftbigg", "/notsubseteql", "/a99"}) {
        SCOPED_TRACE(third);
        PdfBuilder b = type3("(abc)", 97, 99, "300 300 300", "97/A/B" + third, {"A", "B", third.substr(1)}, "");
        auto c = Convert(b.Build(), k2U);
        const std::map<std::string, std::string> tex_text = {
            {"/circlecopyrt", "<63> <20DD>"}, {"/parenleftbigg", "<63> <0028>"}, {"/notsubseteql", "<63> <2288>"}};
        bool tex = tex_text.count(third), own = third == "/a99", named = third == "/uni0043" || tex || own,
             unmapped = third == "/g7" || third == "/a73";
        EXPECT_EQ(c->first, third == "/uni0043" ? "381(10)" : "381(10) 62116(10)");
        EXPECT_EQ(c->again, unmapped ? "62116(10)" : "");
        CopyReader copy(c->out);
        std::string map = CopyReader::Decoded(copy.Get(10), "ToUnicode");
        EXPECT_NE(map.find("<61> <0041>"), std::string::npos) << map;
        EXPECT_EQ(map.find("<63>") != std::string::npos, named) << map;
        if (tex) {
            EXPECT_NE(map.find(tex_text.at(third)), std::string::npos) << map;
        }
        if (own) {
            EXPECT_NE(map.find("<63> <0063>"), std::string::npos) << map;
        }
    }

    // Codes above the dingbats' numbers, named by themselves as a French TeX font's are:
    // the letters are read as Latin-1, a code where TeX's encodings and Latin-1 part ways
    // (D7, the multiplication sign; FF, y with dieresis) stays unmapped.
    for (const char* apart : {"", "D7", "FF"}) {
        SCOPED_TRACE(apart);
        std::string widths = "300";
        for (int code = 216; code <= 255; ++code) widths += code == 224 || code == 233 || code == 255 ? " 300" : " 0";
        PdfBuilder b = type3("<E0E9" + std::string(apart) + ">", 215, 255, widths, "215/a215 224/a224 233/a233 255/a255",
                             {"a215", "a224", "a233", "a255"}, "");
        auto c = Convert(b.Build(), k2U);
        EXPECT_EQ(c->first, "381(10) 62116(10)");
        EXPECT_EQ(c->again, *apart ? "62116(10)" : "");
        std::string map = written_map(c);
        EXPECT_TRUE(holds(map, {"<E0> <00E0>", "<E9> <00E9>"})) << map;
        EXPECT_EQ(map.find("<D7>"), std::string::npos) << map;
        EXPECT_EQ(map.find("<FF> <"), std::string::npos) << map;
    }

    // A map that gives glyphs of the Symbol and Expert fonts Adobe's private-use codes
    // (radicalex F8E5, oneoldstyle F731), and a bullet the private-use code Office gives
    // Symbol's (F0B7): the copy gives them the characters their names stand for, and keeps
    // the text it gives another such glyph (parenlefttp as "("). A private-use character
    // of the font's own (E000, an icon) has none and stays, and the text showing it gets
    // an ActualText of the text it had, with the characters found for the others.
    for (bool icon : {false, true}) {
        SCOPED_TRACE(icon);
        const std::string map = std::string("/CIDInit/ProcSet findresource begin 12 dict begin begincmap 1 begincodespacerange "
                                            "<00><FF> endcodespacerange 6 beginbfchar <61><F8E5> <62><F731> <63><0063> ") +
                                "<64><E000> <65><0028> <66><F0B7> endbfchar endcmap CMapName currentdict/CMap defineresource pop end end";
        PdfBuilder b = type3(icon ? "(abcdef)" : "(abcef)", 97, 102, "300 300 300 300 300 300",
                             "97/radicalex/oneoldstyle/c/uniE000/parenlefttp/bullet",
                             {"radicalex", "oneoldstyle", "c", "uniE000", "parenlefttp", "bullet"}, "/ToUnicode 12 0 R");
        b.SetStream(12, "", map);
        auto c = Convert(b.Build(), k2U);
        EXPECT_EQ(c->first, "62117(10)");
        EXPECT_EQ(c->again, "");
        std::string written = written_map(c);
        EXPECT_TRUE(holds(written, {"<61> <203E>", "<62> <0031>", "<63> <0063>", "<65> <0028>", "<66> <2022>"})) << written;
        const std::string content = CopyReader::Decoded(CopyReader(c->out).Get(3), "Contents");
        EXPECT_EQ(content.find("[<616263>] TJ /Span <</ActualText <FEFFE000>>> BDC [<64>] TJ EMC [<6566>] TJ") !=
                      std::string::npos,
                  icon)
            << content;
    }

    // Only the codes that keep a private-use value go into a Span, and no Span holds a
    // gap: words the kerning of a TJ array or a quote's line keeps apart stay apart for
    // extraction, and each glyph stays where it was.
    {
        PdfBuilder b = type3("", 97, 102, "300 300 300 300 300 300", "97/a/b/c/uniE000/e/f", {"a", "b", "c", "uniE000", "e", "f"},
                             "/ToUnicode 12 0 R");
        b.SetStream(4, "", "BT /F1 20 Tf 14 TL 10 150 Td [(ab)-900(cd)-900(d)-900(def)] TJ (abd) ' 2 1 (adb) \" ET");
        b.SetStream(12, "", "/CIDInit/ProcSet findresource begin 12 dict begin begincmap 1 begincodespacerange <00><FF> "
                            "endcodespacerange 1 beginbfrange <61><66><0061> endbfrange 1 beginbfchar <64><E000> endbfchar "
                            "endcmap CMapName currentdict/CMap defineresource pop end end");
        const std::string original = b.Build();
        auto c = Convert(original, k2U);
        EXPECT_EQ(c->first, "62117(10)");
        EXPECT_EQ(c->again, "");
        const std::filesystem::path before = c->out.parent_path() / "before.pdf";
        std::ofstream(before, std::ios::binary) << original;
        EXPECT_EQ(text_of(c->out), text_of(before));
        EXPECT_NE(text_of(before).find("ab c"), std::string::npos) << text_of(before);
        auto drawn = [](const std::filesystem::path& pdf) {
            qvx::SDF::SDFDoc doc;
            doc.OpenFile(pdf.string());
            qvx::PDF::PageTree pages(doc);
            qvx::Render::RenderOptions opt;
            opt.dpi = 72;
            return qvx::Render::RenderPage(doc, pages.GetPage(0), opt).bitmap.data;
        };
        EXPECT_EQ(drawn(c->out), drawn(before));
    }

    // Symbol fonts of the Windows kind whose glyphs have no names the list knows, their codes
    // mapped to U+F000 + code, as Office writes its bullets: a font named Symbol gives the
    // bullet the character Symbol's encoding names; another font (Wingdings) keeps its value
    // in an ActualText.
    for (const char* name : {"ABCDEF+Symbol", "Wingdings,Bold"}) {
        SCOPED_TRACE(name);
        PdfBuilder b = type3("<B7>", 183, 183, "300", "183/g183", {"g183"}, std::string("/ToUnicode 12 0 R/BaseFont/") + name);
        b.SetStream(12, "", "/CIDInit/ProcSet findresource begin 12 dict begin begincmap 1 begincodespacerange <00><FF> "
                            "endcodespacerange 1 beginbfchar <B7><F0B7> endbfchar endcmap CMapName currentdict/CMap "
                            "defineresource pop end end");
        auto c = Convert(b.Build(), k2U);
        EXPECT_EQ(c->first, "62117(10)");
        EXPECT_EQ(c->again, "");
        const bool symbol = name[7] == 'S';
        EXPECT_EQ(written_map(c).find("<B7> <2022>") != std::string::npos, symbol) << written_map(c);
        const std::string content = CopyReader::Decoded(CopyReader(c->out).Get(3), "Contents");
        EXPECT_EQ(content.find("/ActualText <FEFFF0B7>") != std::string::npos, !symbol) << content;
    }
}

TEST(FontRepair, CFFCodesWithoutGlyphGetOneOfTheirOwn)
{
    auto open = [](const std::string& bytes) { return qvx::PDF::FontProgram::Open(qvx::Common::Bytes(bytes.begin(), bytes.end())); };
    std::string descriptor = "<</Type/FontDescriptor/FontName/ABCDEF+TestCFF/Flags 4/FontBBox[0 0 1000 1000]/ItalicAngle 0"
                             "/Ascent 800/Descent -200/CapHeight 700/StemV 80/FontFile3 12 0 R>>";

    // A Type1C program and an OpenType one with CFF outlines: code 32 names .notdef (62118),
    // whose advance is not the code's width (361), and 67 a glyph the program lacks (352).
    // Each gets a copy of .notdef at its width, code 32 under a new name the encoding gives
    // it; the page draws as before.
    struct Case {
        std::string program;
        const char* subtype;
        int a, b;  // the advances of A and B
    };
    for (const Case& k : {Case{qvx::Test::MakeCFF({{"A", 0, 600}, {"B", 0, 640}}, false), "Type1C", 600, 640},
                          Case{std::filesystem::exists(kNimbusSansOTF) ? qvx::Test::ReadFile(kNimbusSansOTF) : "", "OpenType", 667, 667}}) {
        SCOPED_TRACE(k.subtype);
        if (k.program.empty()) continue;
        std::string widths = "[250";
        for (int code = 33; code < 65; ++code) widths += " 0";
        widths += " " + std::to_string(k.a) + " " + std::to_string(k.b) + " 700]";
        PdfBuilder b = Page(k2B, "BT /F1 20 Tf 10 100 Td (A BC) Tj ET");
        b.Set(10, "<</Type/Font/Subtype/Type1/BaseFont/ABCDEF+TestCFF/FirstChar 32/LastChar 67/Widths" + widths +
                      "/Encoding<</Differences[32/.notdef 65/A/B/nosuchglyph]>>/FontDescriptor 11 0 R>>");
        b.Set(11, descriptor);
        b.SetStream(12, std::string("/Subtype/") + k.subtype, k.program);
        auto c = Convert(b.Build(), k2B);
        EXPECT_EQ(c->first, "352(10) 361(10) 62118(10)");
        EXPECT_EQ(c->again, "");
        EXPECT_TRUE(SameLook(c->in, c->out));
        CopyReader copy(c->out);
        Obj* file = copy.Get(11)->FindObj("FontFile3");
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->GetObjNum(), 12u);
        EXPECT_EQ(qvx::PDF::FindName(file->Resolve(), "Subtype"), k.subtype);
        auto p = open(CopyReader::Decoded(copy.Get(11), "FontFile3"));
        ASSERT_NE(p, nullptr);
        double scale = 1000.0 / p->UnitsPerEm();
        EXPECT_NEAR(p->Advance(p->GlyphByName("nosuchglyph")) * scale, 700, 1);
        ASSERT_NE(p->GlyphByName("notdef.c32"), 0u);
        EXPECT_NEAR(p->Advance(p->GlyphByName("notdef.c32")) * scale, 250, 1);
        Obj* diffs = qvx::PDF::FindArray(qvx::PDF::FindDict(copy.Get(10), "Encoding"), "Differences");
        ASSERT_NE(diffs, nullptr);
        EXPECT_EQ(qvx::PDF::NumberAt(diffs, diffs->Size() - 2, 0), 32);
    }

    // A CIDFontType0C program without CID 3, which is shown (351), and a CIDSet that lists
    // CIDs 0 to 2, without the CID shown (356): the CID gets a glyph without
    // outline at its width, as readers draw nothing for it, and the CIDSet lists it.
    std::string keyed = qvx::Test::MakeCFF({{"", 1, 600}, {"", 2, 640}}, true);
    for (int level : {k1B, k2B}) {
        SCOPED_TRACE(level);
        PdfBuilder t = Page(level, "BT /F1 20 Tf 10 100 Td <000100030002> Tj ET");
        t.Set(10, "<</Type/Font/Subtype/Type0/BaseFont/ABCDEF+TestCFF/Encoding/Identity-H/DescendantFonts[13 0 R]>>");
        t.Set(13, "<</Type/Font/Subtype/CIDFontType0/BaseFont/ABCDEF+TestCFF/CIDSystemInfo<</Registry(Adobe)"
                  "/Ordering(Identity)/Supplement 0>>/FontDescriptor 11 0 R/W[1[600 640 700]]>>");
        std::string d = descriptor;
        t.Set(11, d.replace(d.find("/StemV"), 6, "/CIDSet 15 0 R/StemV"));
        t.SetStream(12, "/Subtype/CIDFontType0C", keyed);
        t.SetStream(15, "", std::string(1, static_cast<char>(0xE0)));
        auto ct = Convert(t.Build(), level);
        EXPECT_EQ(ct->first, "351(10) 356(11)");
        EXPECT_EQ(ct->again, "");
        EXPECT_TRUE(SameLook(ct->in, ct->out));
        CopyReader fixed(ct->out);
        auto k = open(CopyReader::Decoded(fixed.Get(11), "FontFile3"));
        ASSERT_NE(k, nullptr);
        EXPECT_EQ(k->Advance(k->GlyphByCID(3)), 700);
        EXPECT_EQ(CopyReader::Decoded(fixed.Get(11), "CIDSet"), std::string(1, static_cast<char>(0xF0)));
    }
}

TEST(FontRepair, CodeOfCIDZeroMovesToACIDOfItsOwn)
{
    const char* const kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    REQUIRE_FONT(kDejaVu);
    auto open = [](const std::string& bytes) { return qvx::PDF::FontProgram::Open(qvx::Common::Bytes(bytes.begin(), bytes.end())); };
    // Identity-H fonts showing code 0000, which is CID 0 (.notdef, 62118, at a width that is
    // not its advance, 361), in a CID-keyed CFF program and in a TrueType one. The code moves
    // through an embedded CMap to a CID of its own with a copy of the glyph drawn, at the
    // width; the other codes keep their CIDs and the page draws as before. PDF/A-1 has no
    // .notdef rule, yet its copies get the same (other checkers want a glyph per code).
    struct Case {
        const char *subtype, *key, *stream_dict;
        std::string program;
    };
    for (const Case& k : {Case{"CIDFontType0", "FontFile3", "/Subtype/CIDFontType0C", qvx::Test::MakeCFF({{"", 1, 600}, {"", 2, 640}}, true)},
                          Case{"CIDFontType2", "FontFile2", "", qvx::Test::ReadFile(kDejaVu)}}) {
        SCOPED_TRACE(k.subtype);
        for (int level : {k1B, k2B}) {
            SCOPED_TRACE(level);
            PdfBuilder b = Page(level, "BT /F1 20 Tf 10 100 Td <000100000002> Tj ET");
            b.Set(10, "<</Type/Font/Subtype/Type0/BaseFont/ABCDEF+Test/Encoding/Identity-H/DescendantFonts[13 0 R]"
                      "/ToUnicode 14 0 R>>");
            b.SetStream(14, "", "/CIDInit /ProcSet findresource begin 12 dict begin begincmap 1 begincodespacerange "
                                "<0000> <FFFF> endcodespacerange 3 beginbfchar <0000> <0020> <0001> <0041> <0002> <0042> "
                                "endbfchar endcmap end end");
            b.Set(13, std::string("<</Type/Font/Subtype/") + k.subtype + "/BaseFont/ABCDEF+Test/CIDSystemInfo<</Registry(Adobe)"
                      "/Ordering(Identity)/Supplement 0>>/FontDescriptor 11 0 R/W[0[700 600 640]]" +
                          (*k.stream_dict ? "" : "/CIDToGIDMap/Identity") + ">>");
            b.Set(11, std::string("<</Type/FontDescriptor/FontName/ABCDEF+Test/Flags 4/FontBBox[0 0 1000 1000]/ItalicAngle 0"
                                  "/Ascent 800/Descent -200/CapHeight 700/StemV 80/") + k.key + " 12 0 R>>");
            b.SetStream(12, k.stream_dict, k.program);
            auto c = Convert(b.Build(), level);
            EXPECT_TRUE(SameLook(c->in, c->out));
            EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));
            CopyReader copy(c->out);
            Obj* enc = copy.Get(10)->FindObj("Encoding");
            EXPECT_EQ(c->first, level == k1B ? "354(11) 361(10)" : "361(10) 62118(10)");
            EXPECT_EQ(c->again, "");
            ASSERT_TRUE(enc->Resolve()->IsStream());
            auto p = open(CopyReader::Decoded(copy.Get(11), k.key));
            ASSERT_NE(p, nullptr);
            // The new CID is the last entry of W, the one after the program's last glyph.
            Obj* w = qvx::PDF::FindArray(copy.Get(13), "W");
            ASSERT_NE(w, nullptr);
            auto cid = static_cast<unsigned>(qvx::PDF::NumberAt(w, w->Size() - 2, 0));
            EXPECT_GE(cid, 3u);
            EXPECT_EQ(qvx::PDF::NumberAt(qvx::PDF::Deref(w->GetAt(w->Size() - 1)), 0, 0), 700);
            long gid = *k.stream_dict ? p->GlyphByCID(cid) : (static_cast<long>(p->GlyphCount()) - 1);
            EXPECT_EQ(std::lround(p->Advance(static_cast<unsigned>(gid)) * 1000.0 / p->UnitsPerEm()), 700);
        }
    }

    // An embedded one-byte CMap sending every code to its own value (as Ghostscript writes
    // them): code 00 is CID 0. The same CMap stream takes one mapping more, 00 to a CID of
    // its own; code 41 keeps CID 65.
    const std::string dejavu = qvx::Test::ReadFile(kDejaVu);
    auto program = open(dejavu);
    ASSERT_NE(program, nullptr);
    auto width = [&](unsigned g) { return std::to_string(std::lround(program->Advance(g) * 1000.0 / program->UnitsPerEm())); };
    PdfBuilder b = Page(k2B, "BT /F1 20 Tf 10 100 Td <0041> Tj ET");
    b.Set(10, "<</Type/Font/Subtype/Type0/BaseFont/ABCDEF+Test/Encoding 15 0 R/DescendantFonts[13 0 R]>>");
    b.SetStream(15, "/Type/CMap/CMapName/OneByteIdentityH/CIDSystemInfo<</Registry(Adobe)/Ordering(Identity)/Supplement 0>>",
                "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /OneByteIdentityH def "
                "1 begincodespacerange <00> <FF> endcodespacerange 1 begincidrange <00> <FF> 0 endcidrange endcmap "
                "CMapName currentdict /CMap defineresource pop end end");
    b.Set(13, "<</Type/Font/Subtype/CIDFontType2/BaseFont/ABCDEF+Test/CIDSystemInfo<</Registry(Adobe)/Ordering(Identity)"
              "/Supplement 0>>/FontDescriptor 11 0 R/CIDToGIDMap/Identity/W[0[" + width(0) + "] 65[" + width(65) + "]]>>");
    b.Set(11, "<</Type/FontDescriptor/FontName/ABCDEF+Test/Flags 4/FontBBox[0 0 1000 1000]/ItalicAngle 0"
              "/Ascent 800/Descent -200/CapHeight 700/StemV 80/FontFile2 12 0 R>>");
    b.SetStream(12, "", dejavu);
    auto c = Convert(b.Build(), k2B);
    EXPECT_EQ(c->first, "62118(10)");
    EXPECT_EQ(c->again, "");
    EXPECT_TRUE(SameLook(c->in, c->out));
    CopyReader copy(c->out);
    Obj* enc = copy.Get(10)->FindObj("Encoding");
    ASSERT_TRUE(enc->IsIndirect());
    EXPECT_EQ(enc->GetObjNum(), 15u);
    auto cmap = qvx::PDF::CMap::FromObj(enc->Resolve());
    ASSERT_NE(cmap, nullptr);
    EXPECT_GE(cmap->CID({0x00, 1}), 3u);
    EXPECT_EQ(cmap->CID({0x41, 1}), 65u);
    EXPECT_EQ(qvx::PDF::FindName(enc->Resolve(), "CMapName"), "OneByteIdentityH");

    // A CMap giving its CIDs in a bfchar section, as some producers write them: read as CIDs
    // while it has no CID section, so the code moves through a bfchar mapping of its own and
    // code 41 stays CID 65 (a CID section would turn the bfchar mappings into text).
    b.SetStream(15, "/Type/CMap/CMapName/Bf/CIDSystemInfo<</Registry(Adobe)/Ordering(Identity)/Supplement 0>>",
                "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /Bf def "
                "1 begincodespacerange <00> <FF> endcodespacerange 2 beginbfchar <00> <0000> <41> <0041> "
                "endbfchar endcmap CMapName currentdict /CMap defineresource pop end end");
    auto bf = Convert(b.Build(), k2B);
    EXPECT_EQ(bf->first, "62118(10)");
    EXPECT_EQ(bf->again, "");
    EXPECT_TRUE(SameLook(bf->in, bf->out));
    CopyReader bf_copy(bf->out);
    const std::string bf_text = CopyReader::Decoded(bf_copy.Get(10), "Encoding");
    EXPECT_EQ(bf_text.find("begincid"), std::string::npos);
    auto bf_cmap = qvx::PDF::CMap::Parse(qvx::Common::AsBytes(bf_text));
    EXPECT_GE(bf_cmap->CID({0x00, 1}), 3u);
    EXPECT_EQ(bf_cmap->CID({0x41, 1}), 65u);
}
