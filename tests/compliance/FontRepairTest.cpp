// Conversion of fonts a file embeds but that break the font rules: damaged or misfiled
// programs replaced or moved, advances set to the widths, widths and Type 3 procedures
// completed, programs of the wrong kind rewritten; the copy passes revalidation and draws as
// the original did. The repairs of codes and characters are in FontCodeRepairTest.cpp.
#include "pdf/Font.h"
#include "tests/compliance/FontReplacementSupport.h"
#include "tests/support/CFFBuilder.h"
#include "tests/support/TrueTypeBuilder.h"

using namespace qvx::Test::FontReplacement;

TEST(FontRepair, DamagedProgramReplacedAndMisfiledProgramMoved)
{
    REQUIRE_FONT(kLiberation);
    // A FontFile2 FreeType cannot open: the substitute's program takes the same object.
    PdfBuilder b = Page(k2U, "BT /F1 14 Tf 10 100 Td (Hello) Tj ET");
    SetArial(b, "/FontFile2 12 0 R");
    b.SetStream(12, "", "not a font program at all");
    auto c = Convert(b.Build(), k2U);
    EXPECT_EQ(c->first, "321(10)");
    EXPECT_EQ(c->again, "");
    CopyReader copy(c->out);
    Obj* descriptor = copy.Get(11);
    ASSERT_NE(qvx::PDF::FindStream(descriptor, "FontFile2"), nullptr);
    EXPECT_EQ(descriptor->FindObj("FontFile2")->GetObjNum(), 12u);
    std::string program = CopyReader::Decoded(descriptor, "FontFile2");
    EXPECT_NE(qvx::PDF::FontProgram::Open(qvx::Common::Bytes(program.begin(), program.end())), nullptr);

    // One FreeType opens but whose composite glyph draws itself: damaged all the same, and
    // replaced as well.
    PdfBuilder r = Page(k1B, "BT /F1 14 Tf 10 100 Td (Hello) Tj ET");
    SetArial(r, "/FontFile2 12 0 R");
    r.SetStream(12, "", qvx::Test::MakeTrueType({.component = 2}));
    auto cr = Convert(r.Build(), k1B);
    EXPECT_EQ(cr->first, "321(10)");
    EXPECT_EQ(cr->again, "");
    std::string replaced = CopyReader::Decoded(CopyReader(cr->out).Get(11), "FontFile2");
    EXPECT_NE(replaced, qvx::Test::MakeTrueType({.component = 2}));
    EXPECT_NE(qvx::PDF::FontProgram::Open(qvx::Common::Bytes(replaced.begin(), replaced.end())), nullptr);

    // One whose head names no loca format: the format its loca table's size shows is named,
    // and the program is kept with its glyphs.
    const std::string sound = qvx::Test::ReadFile(kLiberation);
    std::string misnamed = sound;
    for (std::size_t rec = 12; rec + 16 <= sound.size() && misnamed == sound; rec += 16) {
        if (sound.compare(rec, 4, "head") != 0) continue;
        std::size_t at = 0;
        for (int i = 8; i < 12; ++i) at = at << 8 | static_cast<unsigned char>(sound[rec + i]);
        misnamed[at + 51] = 2;
    }
    ASSERT_NE(misnamed, sound);
    r.SetStream(12, "", misnamed);
    auto cl = Convert(r.Build(), k1B);
    EXPECT_EQ(cl->first, "321(10)");
    EXPECT_EQ(cl->again, "");
    EXPECT_TRUE(CopyReader::Decoded(CopyReader(cl->out).Get(11), "FontFile2") == sound);

    // A sound TrueType program filed as FontFile3 Type1C: it moves, as it is, to FontFile2,
    // since readers draw it and a substitute would change the page.
    std::ifstream in(kLiberation, std::ios::binary);
    std::string liberation((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    PdfBuilder m = Page(k2B, "BT /F1 14 Tf 10 100 Td (Hello) Tj ET");
    m.Set(10, "<</Type/Font/Subtype/TrueType/BaseFont/Arial/FirstChar 32/LastChar 126/Widths " + ArialWidths() +
                  "/Encoding/WinAnsiEncoding/FontDescriptor 11 0 R>>");
    m.Set(11, "<</Type/FontDescriptor/FontName/Arial/Flags 32/FontBBox[-665 -325 2000 1006]/ItalicAngle 0"
              "/Ascent 905/Descent -212/CapHeight 716/StemV 80/FontFile3 12 0 R>>");
    m.SetStream(12, "/Subtype/Type1C", liberation);
    auto cm = Convert(m.Build(), k2B);
    EXPECT_EQ(cm->first, "341(10)");
    EXPECT_EQ(cm->again, "");
    CopyReader moved(cm->out);
    descriptor = moved.Get(11);
    EXPECT_EQ(descriptor->FindObj("FontFile3"), nullptr);
    ASSERT_NE(qvx::PDF::FindStream(descriptor, "FontFile2"), nullptr);
    EXPECT_EQ(descriptor->FindObj("FontFile2")->GetObjNum(), 12u);
    EXPECT_TRUE(CopyReader::Decoded(descriptor, "FontFile2") == liberation);
    EXPECT_EQ(WordBoxes(cm->out), WordBoxes(cm->in));
}

TEST(FontRepair, EmbeddedProgramsRepaired)
{
    const char* const kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    REQUIRE_FONT(kDejaVu);
    std::string program = qvx::Test::ReadFile(kDejaVu);
    auto p = qvx::PDF::FontProgram::Open(qvx::Common::Bytes(program.begin(), program.end()));
    unsigned gid_a = p->GlyphByCMap(3, 1, 'A'), gid_b = p->GlyphByCMap(3, 1, 'B');
    // Whole thousandths: what the writer keeps of a number exactly.
    long width_a = std::lround(p->Advance(gid_a) * 1000.0 / p->UnitsPerEm());
    long width_b = std::lround(p->Advance(gid_b) * 1000.0 / p->UnitsPerEm());
    std::string descriptor = "<</Type/FontDescriptor/FontName/DejaVuSans/Flags 32/FontBBox[0 0 1000 1000]/ItalicAngle 0"
                             "/Ascent 800/Descent -200/CapHeight 700/StemV 80/FontFile2 12 0 R>>";

    // Widths that disagree with the program: the program's advances change, the Widths and
    // so the text's positions stay.
    PdfBuilder b = Page(k2B, "BT /F1 20 Tf 10 100 Td (AB BA) Tj ET");
    b.Set(10, "<</Type/Font/Subtype/TrueType/BaseFont/DejaVuSans/FirstChar 65/LastChar 66/Widths[700 " +
                  std::to_string(width_b) + "]/Encoding/WinAnsiEncoding/FontDescriptor 11 0 R>>");
    b.Set(11, descriptor);
    b.SetStream(12, "", program);
    ExpectAdvancesRepaired(*Convert(b.Build(), k2B));

    // A CIDFontType2 subset without CIDToGIDMap and, at PDF/A-1, without CIDSet: Identity
    // is what readers assume, and the CIDSet lists the program's glyphs.
    char hex[16];
    std::snprintf(hex, sizeof hex, "%04X%04X", gid_a, gid_b);
    // A DejaVu CIDFontType2 at PDF/A-1 showing A and B, with more entries in the CIDFont.
    auto cid_font = [&](const std::string& base, const std::string& extra, const std::string& prog) {
        PdfBuilder f = Page(k1B, std::string("BT /F1 20 Tf 10 100 Td <") + hex + "> Tj ET");
        f.Set(10, "<</Type/Font/Subtype/Type0/BaseFont/" + base + "/Encoding/Identity-H/DescendantFonts[13 0 R]>>");
        f.Set(13, "<</Type/Font/Subtype/CIDFontType2/BaseFont/" + base + "/CIDSystemInfo<</Registry(Adobe)"
                  "/Ordering(Identity)/Supplement 0>>/FontDescriptor 11 0 R" + extra + "/W[" + std::to_string(gid_a) +
                  "[" + std::to_string(width_a) + "]" + std::to_string(gid_b) + "[" + std::to_string(width_b) + "]]>>");
        f.Set(11, descriptor);
        f.SetStream(12, "", prog);
        return f;
    };
    auto ct = Convert(cid_font("ABCDEF+DejaVuSans", "", program).Build(), k1B);
    EXPECT_EQ(ct->first, "332(13) 354(11)");
    EXPECT_EQ(ct->again, "");

    // The same CIDFont, whole and with its CIDToGIDMap, whose program's post table says
    // format 2 but ends after its header, as Ghostscript writes them: FreeType reads the
    // program, so nothing is reported, yet readers that read every table reject it. The copy
    // holds it in format 3, every word where it was.
    std::string cut = program;
    for (std::size_t rec = 12; rec + 16 <= cut.size() && rec < 12 + 16 * std::size_t(std::uint8_t(cut[5])); rec += 16)
        if (cut.compare(rec, 4, "post") == 0) cut.replace(rec + 12, 4, std::string("\0\0\0\x20", 4));
    PdfBuilder g = cid_font("DejaVuSans", "/CIDToGIDMap/Identity", cut);
    auto cg = Convert(g.Build(), k1B);
    EXPECT_EQ(cg->first, "");
    EXPECT_EQ(cg->again, "");
    EXPECT_EQ(WordBoxes(cg->out), WordBoxes(cg->in));
    std::string mended = CopyReader::Decoded(CopyReader(cg->out).Get(11), "FontFile2");
    auto q = qvx::PDF::FontProgram::Open(qvx::Common::Bytes(mended.begin(), mended.end()));
    ASSERT_NE(q, nullptr);
    qvx::Common::Bytes post = q->SFNTTable("post");
    ASSERT_EQ(post.size(), 32u);
    EXPECT_EQ(post[1], 3);
    EXPECT_EQ(q->GlyphCount(), p->GlyphCount());

    // A symbolic TrueType font whose program has several cmap subtables and no (3,0) one:
    // only the (1,0) subtable its codes are read through is left. At 2U it also lacks a
    // ToUnicode map, which is written from the program's glyph names.
    for (int level : {k2B, k2U}) {
        SCOPED_TRACE(level);
        PdfBuilder y = Page(level, "BT /F1 20 Tf 10 100 Td (AB) Tj ET");
        y.Set(10, "<</Type/Font/Subtype/TrueType/BaseFont/DejaVuSans/FirstChar 65/LastChar 66/Widths[" +
                      std::to_string(width_a) + " " + std::to_string(width_b) + "]/FontDescriptor 11 0 R>>");
        std::string symbolic = descriptor;
        symbolic.replace(symbolic.find("/Flags 32"), 9, "/Flags 4");
        y.Set(11, symbolic);
        y.SetStream(12, "", program);
        auto cy = Convert(y.Build(), level);
        EXPECT_EQ(cy->first, level == k2U ? "373(10) 381(10)" : "373(10)");
        EXPECT_EQ(cy->again, "");
        EXPECT_EQ(WordBoxes(cy->out), WordBoxes(cy->in));
    }

    // The same font with an Encoding whose Differences give codes 65 and 66 other names than
    // their glyphs': the Encoding goes (372), and the text its names gave stays in a
    // ToUnicode map.
    PdfBuilder e = Page(k2B, "BT /F1 20 Tf 10 100 Td (AB) Tj ET");
    e.Set(10, "<</Type/Font/Subtype/TrueType/BaseFont/DejaVuSans/FirstChar 65/LastChar 66/Widths[" + std::to_string(width_a) +
                  " " + std::to_string(width_b) + "]/Encoding<</Differences[65/B/A]>>/FontDescriptor 11 0 R>>");
    std::string symbolic = descriptor;
    symbolic.replace(symbolic.find("/Flags 32"), 9, "/Flags 4");
    e.Set(11, symbolic);
    e.SetStream(12, "", program);
    auto ce = Convert(e.Build(), k2B);
    EXPECT_EQ(ce->first, "372(10) 373(10)");
    EXPECT_EQ(ce->again, "");
    EXPECT_NE(WordBoxes(ce->in).find("BA "), std::string::npos);
    EXPECT_EQ(WordBoxes(ce->out), WordBoxes(ce->in));
}

TEST(FontRepair, CFFAndType1AdvancesSetToWidths)
{
    REQUIRE_FONT(kNimbusSansOTF);
    REQUIRE_FONT(kNimbusSans);
    // Widths that disagree with the embedded program for A and B (Helvetica's A and B are
    // 667 wide), as an OpenType program with CFF outlines under FontFile3 and as a Type 1
    // program under FontFile: the program's advances change to the widths, the widths and
    // the text's positions stay, and the program still opens.
    struct Case {
        const char *file, *key, *stream_dict;
    };
    // And as a bare CFF program under FontFile3 Type1C.
    for (const Case& k : {Case{kNimbusSansOTF, "FontFile3", "/Subtype/OpenType"}, Case{kNimbusSans, "FontFile", ""},
                          Case{nullptr, "FontFile3", "/Subtype/Type1C"}}) {
        SCOPED_TRACE(k.stream_dict);
        std::string program = k.file ? qvx::Test::ReadFile(k.file) : qvx::Test::MakeCFF({{"A", 0, 667}, {"B", 0, 667}, {"C", 0, 722}}, false);
        std::string dict = k.stream_dict;
        if (*k.stream_dict == '\0') {
            std::size_t clear = program.find("eexec") + 6, tail = program.rfind("cleartomark");
            while (tail > clear && (program[tail - 1] == '0' || program[tail - 1] == '\n' || program[tail - 1] == '\r')) --tail;
            dict = "/Length1 " + std::to_string(clear) + "/Length2 " + std::to_string(tail - clear) + "/Length3 " +
                   std::to_string(program.size() - tail);
        }
        PdfBuilder b = Page(k2B, "BT /F1 20 Tf 10 100 Td (ABBA) Tj ET");
        b.Set(10, "<</Type/Font/Subtype/Type1/BaseFont/NimbusSans-Regular/FirstChar 65/LastChar 66/Widths[700 640]"
                  "/Encoding/WinAnsiEncoding/FontDescriptor 11 0 R>>");
        b.Set(11, std::string("<</Type/FontDescriptor/FontName/NimbusSans-Regular/Flags 32/FontBBox[0 0 1000 1000]"
                              "/ItalicAngle 0/Ascent 800/Descent -200/CapHeight 700/StemV 80/") +
                      k.key + " 12 0 R>>");
        b.SetStream(12, dict, program);
        auto c = Convert(b.Build(), k2B);
        ExpectAdvancesRepaired(*c);
        CopyReader copy(c->out);
        Obj* descriptor = copy.Get(11);
        ASSERT_NE(descriptor->FindObj(k.key), nullptr);
        EXPECT_EQ(descriptor->FindObj(k.key)->GetObjNum(), 12u);
        std::string fixed = CopyReader::Decoded(descriptor, k.key);
        auto p = qvx::PDF::FontProgram::Open(qvx::Common::Bytes(fixed.begin(), fixed.end()));
        ASSERT_NE(p, nullptr);
        double scale = 1000.0 / p->UnitsPerEm();
        EXPECT_NEAR(p->Advance(p->GlyphByName("A")) * scale, 700, 1);
        EXPECT_NEAR(p->Advance(p->GlyphByName("B")) * scale, 640, 1);
        // Glyphs the text does not show keep their advances.
        EXPECT_NEAR(p->Advance(p->GlyphByName("C")) * scale, 722, 1);
        if (*k.stream_dict == '\0') {
            // The lengths of the three parts add up to the program.
            double parts = 0;
            for (const char* key : {"Length1", "Length2", "Length3"})
                parts += qvx::PDF::FindNumber(qvx::PDF::FindStream(descriptor, k.key), key, 0);
            EXPECT_EQ(parts, static_cast<double>(fixed.size()));
        }
    }
}

TEST(FontRepair, EncodingNamesNoReaderKnowsAreLeftOut)
{
    REQUIRE_FONT(kNimbusSansOTF);
    // A name that is no base encoding reads as the program's own encoding: the copy leaves it
    // out and says the same, keeping the Differences; known names stay.
    struct Case {
        std::string encoding, kept;  // the copy's Encoding name, or its BaseEncoding "-" last Differences name
    };
    for (const Case& k : {Case{"/PDFDocEncoding", ""}, Case{"<</BaseEncoding/Winng/Differences[66/C]>>", "-C"},
                          Case{"<</BaseEncoding/MacRomanEncoding/Differences[66/C]>>", "MacRomanEncoding-C"},
                          Case{"/WinAnsiEncoding", "WinAnsiEncoding"}}) {
        SCOPED_TRACE(k.encoding);
        PdfBuilder b = Page(k2B, "BT /F1 20 Tf 10 100 Td (ABBA) Tj ET");
        b.Set(10, "<</Type/Font/Subtype/Type1/BaseFont/NimbusSans-Regular/FirstChar 65/LastChar 66/Widths[667 667]"
                  "/Encoding " + k.encoding + "/FontDescriptor 11 0 R>>");
        b.Set(11, "<</Type/FontDescriptor/FontName/NimbusSans-Regular/Flags 32/FontBBox[0 0 1000 1000]/ItalicAngle 0"
                  "/Ascent 800/Descent -200/CapHeight 700/StemV 80/FontFile3 12 0 R>>");
        b.SetStream(12, "/Subtype/OpenType", qvx::Test::ReadFile(kNimbusSansOTF));
        auto c = Convert(b.Build(), k2B);
        EXPECT_EQ(c->again, "");
        CopyReader copy(c->out);
        Obj* enc = qvx::PDF::Deref(qvx::PDF::FindIn(copy.Get(10), "Encoding"));
        std::string kept;
        if (enc && enc->IsName()) kept = enc->GetName();
        if (enc && enc->IsDict()) {
            Obj* diffs = qvx::PDF::FindArray(enc, "Differences");
            Obj* last = diffs ? qvx::PDF::Deref(diffs->GetAt(diffs->Size() - 1)) : nullptr;
            kept = std::string(qvx::PDF::FindName(enc, "BaseEncoding")) + "-";
            if (last && last->IsName()) kept += last->GetName();
        }
        EXPECT_EQ(kept, k.kept);
    }
}

TEST(FontRepair, WidthsLongerThanPDFA1ArraysAreWrittenShorter)
{
    const char* const kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    REQUIRE_FONT(kDejaVu);
    const std::string program = qvx::Test::ReadFile(kDejaVu);
    // W: a list of 9,000 widths from CID 1 (each 500 + CID % 7), then 5,000 CIDs one by one
    // with gaps between them (CID 20000 + 2k, width 300 + k % 3): both longer than PDF/A-1
    // takes. The copy says the same widths in arrays short enough.
    std::string w = "[1[";
    for (int cid = 1; cid <= 9000; ++cid) w += std::to_string(500 + cid % 7) + " ";
    w += "]";
    for (int k = 0; k < 5000; ++k) w += " " + std::to_string(20000 + 2 * k) + "[" + std::to_string(300 + k % 3) + "]";
    w += "]";
    PdfBuilder b = Page(k1B, "BT /F1 20 Tf 10 100 Td <00240025> Tj ET");
    b.Set(10, "<</Type/Font/Subtype/Type0/BaseFont/ABCDEF+DejaVuSans/Encoding/Identity-H/DescendantFonts[13 0 R]>>");
    b.Set(13, "<</Type/Font/Subtype/CIDFontType2/BaseFont/ABCDEF+DejaVuSans/CIDSystemInfo<</Registry(Adobe)"
              "/Ordering(Identity)/Supplement 0>>/FontDescriptor 11 0 R/CIDToGIDMap/Identity/DW 1000/W 15 0 R>>");
    b.Set(15, w);
    b.Set(11, "<</Type/FontDescriptor/FontName/ABCDEF+DejaVuSans/Flags 4/FontBBox[0 0 1000 1000]/ItalicAngle 0"
              "/Ascent 800/Descent -200/CapHeight 700/StemV 80/FontFile2 12 0 R>>");
    b.SetStream(12, "", program);
    auto c = Convert(b.Build(), k1B);
    EXPECT_NE(c->first.find("1121("), std::string::npos) << c->first;
    EXPECT_EQ(c->again.find("1121("), std::string::npos) << c->again;
    CopyReader copy(c->out);
    qvx::SDF::Obj* written = qvx::PDF::FindArray(copy.Get(13), "W");
    ASSERT_NE(written, nullptr);
    EXPECT_LE(written->Size(), 8191u);
    for (std::size_t i = 0; i < written->Size(); ++i) {
        qvx::SDF::Obj* item = qvx::PDF::Deref(written->GetAt(i));
        if (item->IsArray()) {
            EXPECT_LE(item->Size(), 8191u);
        }
    }
    auto font = qvx::PDF::Font::Create(copy.Get(10));
    auto width = [&](std::uint32_t cid) { return font->GetWidth(qvx::PDF::Font::CharCode{cid, 2, cid}); };
    for (std::uint32_t cid : {1u, 2u, 4567u, 9000u}) EXPECT_EQ(width(cid), 500 + cid % 7) << cid;
    EXPECT_EQ(width(9001), 1000);
    EXPECT_EQ(width(20000), 300);
    EXPECT_EQ(width(20001), 1000);
    EXPECT_EQ(width(20000 + 2 * 4999), 300 + 4999 % 3);
    EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));

    // The same font in the page's resources with no text shown in it: its W is written
    // shorter all the same.
    b.SetStream(4, "", "0 0 m 10 10 l n");
    auto unused = Convert(b.Build(), k1B);
    EXPECT_NE(unused->first.find("1121("), std::string::npos) << unused->first;
    EXPECT_EQ(unused->again.find("1121("), std::string::npos) << unused->again;
}

TEST(FontRepair, FontsSharingADescriptorOrCIDFontGetTheirOwnPrograms)
{
    REQUIRE_FONT(kDejaVuSansBold);
    // Two unembedded fonts of one descriptor, each showing other characters: the first keeps
    // the descriptor, the second gets a copy, and each program has the glyphs of its text.
    PdfBuilder b = Page(k2B, "BT /F1 14 Tf 10 100 Td (Hello) Tj /F2 14 Tf 0 -20 Td (Wxyz) Tj ET");
    b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Resources<</Font<</F1 10 0 R/F2 13 0 R>>" + kGray +
                 ">>/Contents 4 0 R>>");
    for (int num : {10, 13})
        b.Set(num, "<</Type/Font/Subtype/TrueType/BaseFont/Calibri,Bold/FirstChar 32/LastChar 126/Widths " + ArialWidths() +
                       "/Encoding/WinAnsiEncoding/FontDescriptor 11 0 R>>");
    b.Set(11, "<</Type/FontDescriptor/FontName/Calibri,Bold/Flags 32/FontBBox[-503 -312 1240 1026]/ItalicAngle 0"
              "/Ascent 952/Descent -269/CapHeight 632/StemV 80>>");
    auto c = Convert(b.Build(), k2B);
    ExpectAllEmbedded(*c, "341(10 13)");
    EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));
    CopyReader copy(c->out);
    Obj* first = copy.Get(10)->FindObj("FontDescriptor");
    Obj* second = copy.Get(13)->FindObj("FontDescriptor");
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(first->GetObjNum() == 11u || second->GetObjNum() == 11u);
    EXPECT_NE(first->GetObjNum(), second->GetObjNum());
    for (auto [font, text] : {std::pair{first, std::string("Helo")}, std::pair{second, std::string("Wxyz")}}) {
        std::string program = CopyReader::Decoded(font->Resolve(), "FontFile2");
        auto p = qvx::PDF::FontProgram::Open(qvx::Common::Bytes(program.begin(), program.end()));
        ASSERT_NE(p, nullptr);
        for (char ch : text) EXPECT_NE(p->GlyphByCMap(3, 1, static_cast<unsigned char>(ch)), 0u) << text << " " << ch;
    }

    // Two Type 0 fonts of one CIDFont, each with its own ToUnicode map (subsets a producer
    // merged) and a collection no configuration knows: each gets a CIDFont of its own.
    PdfBuilder t = Page(k2B, "BT /F1 14 Tf 10 100 Td <00010002> Tj /F2 14 Tf 0 -20 Td <00030004> Tj ET");
    t.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Resources<</Font<</F1 10 0 R/F2 13 0 R>>" + kGray +
                 ">>/Contents 4 0 R>>");
    t.Set(10, "<</Type/Font/Subtype/Type0/BaseFont/ABCDEF+Calibri/Encoding/Identity-H/DescendantFonts[12 0 R]"
              "/ToUnicode 14 0 R>>");
    t.Set(13, "<</Type/Font/Subtype/Type0/BaseFont/GHIJKL+Calibri/Encoding/Identity-H/DescendantFonts[12 0 R]"
              "/ToUnicode 15 0 R>>");
    t.Set(12, "<</Type/Font/Subtype/CIDFontType2/BaseFont/Calibri/CIDSystemInfo<</Registry(Adobe)/Ordering(UCS)"
              "/Supplement 0>>/CIDToGIDMap/Identity/FontDescriptor 11 0 R/DW 600>>");
    t.Set(11, "<</Type/FontDescriptor/FontName/Calibri/Flags 32/FontBBox[-503 -312 1240 1026]/ItalicAngle 0"
              "/Ascent 952/Descent -269/CapHeight 632/StemV 80>>");
    const std::string space = "1 begincodespacerange <0000> <FFFF> endcodespacerange\n";
    t.SetStream(14, "", space + "2 beginbfchar <0001> <0048> <0002> <0065> endbfchar\n");
    t.SetStream(15, "", space + "2 beginbfchar <0003> <0057> <0004> <0078> endbfchar\n");
    auto composite = Convert(t.Build(), k2B);
    ExpectAllEmbedded(*composite, "341(10 13)");
    EXPECT_EQ(WordBoxes(composite->out), WordBoxes(composite->in));
    CopyReader shared(composite->out);
    Obj* one = qvx::PDF::FindArray(shared.Get(10), "DescendantFonts");
    Obj* two = qvx::PDF::FindArray(shared.Get(13), "DescendantFonts");
    ASSERT_TRUE(one && two && one->Size() == 1 && two->Size() == 1);
    EXPECT_NE(one->GetAt(0)->GetObjNum(), two->GetAt(0)->GetObjNum());
}

TEST(FontRepair, Type3CodesWithoutProceduresGetEmptyOnes)
{
    // Type 3 codes shown without a glyph procedure draw nothing: b has a name but no
    // procedure and gets an empty one of its width (glyph space); code 1 has no name and
    // stays so, with its finding, since a made-up name would show as text. The text and
    // procedure a stay as they were.
    auto convert = [](const std::string& text, int first, const std::string& widths) {
        PdfBuilder b = Page(k2B, "BT /F1 20 Tf 10 100 Td (" + text + ") Tj ET");
        b.Set(10, "<</Type/Font/Subtype/Type3/FontBBox[0 0 1000 1000]/FontMatrix[0.002 0 0 0.002 0 0]/FirstChar " +
                      std::to_string(first) + "/LastChar 98/Widths" + widths +
                      "/Encoding<</Type/Encoding/Differences[97/a/b]>>/CharProcs<</a 11 0 R>>>>");
        b.SetStream(11, "", "300 0 0 0 300 400 d1 0 0 300 400 re f");
        return Convert(b.Build(), k2B);
    };
    // A base encoding named in the encoding names a and b; without one, a Type 3 font (which
    // has no built-in encoding) names only what its Differences list. Either way the copy's
    // Differences name both codes, as readers named them, since a Type 3 font's encoding is
    // to list them in full.
    auto type3 = [](const std::string& encoding) {
        PdfBuilder b = Page(k2B, "BT /F1 20 Tf 10 100 Td (abab) Tj ET");
        b.Set(10, "<</Type/Font/Subtype/Type3/FontBBox[0 0 1000 1000]/FontMatrix[0.002 0 0 0.002 0 0]/FirstChar 97"
                  "/LastChar 98/Widths[300 300]/Encoding<</Type/Encoding" + encoding + "/Differences[]>>"
                  "/CharProcs<</a 11 0 R/b 11 0 R>>>>");
        b.SetStream(11, "", "300 0 0 0 300 400 d1 0 0 300 400 re f");
        return Convert(b.Build(), k2B);
    };
    for (const char* base : {"/BaseEncoding/WinAnsiEncoding", ""}) {
        auto cb = type3(base);
        EXPECT_EQ(cb->first, *base ? "" : "352(10)");
        EXPECT_EQ(cb->again, "");
        EXPECT_EQ(WordBoxes(cb->out), WordBoxes(cb->in));
        CopyReader based(cb->out);
        Obj* enc = qvx::PDF::FindDict(based.Get(10), "Encoding");
        EXPECT_EQ(qvx::PDF::FindIn(enc, "BaseEncoding"), nullptr);
        Obj* diffs = qvx::PDF::FindArray(enc, "Differences");
        ASSERT_NE(diffs, nullptr);
        ASSERT_EQ(diffs->Size(), 3u);
        EXPECT_EQ(qvx::PDF::NumberAt(diffs, 0, 0), 97);
        EXPECT_EQ(diffs->GetAt(1)->GetName(), "a");
        EXPECT_EQ(diffs->GetAt(2)->GetName(), "b");
    }

    std::string widths = "[400";
    for (int code = 2; code < 97; ++code) widths += " 0";
    auto c = convert("ab\\001ab", 1, widths + " 300 250]");
    EXPECT_EQ(c->first, "352(10)");
    EXPECT_EQ(c->again, "352(10)");
    EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));
    CopyReader copy(c->out);
    Obj* procs = qvx::PDF::FindDict(copy.Get(10), "CharProcs");
    EXPECT_EQ(procs->FindObj("a")->GetObjNum(), 11u);
    EXPECT_EQ(CopyReader::Decoded(procs, "b"), "250.000 0 d0");
    EXPECT_EQ(procs->Size(), 2u);
    // Without the nameless code the copy passes.
    auto cn = convert("abab", 97, "[300 250]");
    EXPECT_EQ(cn->first, "352(10)");
    EXPECT_EQ(cn->again, "");
    EXPECT_EQ(WordBoxes(cn->out), WordBoxes(cn->in));
}

TEST(FontRepair, TrueTypeWithCFFOutlinesBecomesType1)
{
    REQUIRE_FONT(kNimbusSansOTF);
    UnlistedGlyph font(kNimbusSansOTF);
    ASSERT_FALSE(font.unlisted.empty());
    const std::string& program = font.bytes;
    // An OpenType program with CFF outlines under FontFile2, which takes TrueType outlines, of
    // a TrueType font whose Differences name a glyph without a listed name: readers draw it as
    // a Type 1 font, by glyph name, and so it becomes one, the program moved to FontFile3 as
    // it is.
    // PDF/A-1 files may not hold OpenType programs: there it takes the bare CFF program.
    for (int level : {k2B, k1B}) {
        SCOPED_TRACE(level);
        PdfBuilder b = Page(level, "BT /F1 20 Tf 10 100 Td (ABBA) Tj ET");
        b.Set(10, "<</Type/Font/Subtype/TrueType/BaseFont/NimbusSans-Regular/FirstChar 65/LastChar 66/Widths[" +
                      font.Width(font.gid) + " " + font.Width(font.program->GlyphByName("B")) +
                      "]/Encoding<</Type/Encoding/BaseEncoding/WinAnsiEncoding/Differences[65/" + font.unlisted +
                      "]>>/FontDescriptor 11 0 R>>");
        b.Set(11, "<</Type/FontDescriptor/FontName/NimbusSans-Regular/Flags 32/FontBBox[0 0 1000 1000]/ItalicAngle 0"
                  "/Ascent 800/Descent -200/CapHeight 700/StemV 80/FontFile2 12 0 R>>");
        b.SetStream(12, "/Length1 " + std::to_string(program.size()), program);
        auto c = Convert(b.Build(), level);
        EXPECT_EQ(c->first, "341(10)");
        EXPECT_EQ(c->again, "");
        EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));
        CopyReader copy(c->out);
        EXPECT_EQ(qvx::PDF::FindName(copy.Get(10), "Subtype"), "Type1");
        EXPECT_NE(qvx::PDF::FindDict(copy.Get(10), "Encoding"), nullptr);
        Obj* descriptor = copy.Get(11);
        EXPECT_EQ(descriptor->FindObj("FontFile2"), nullptr);
        ASSERT_NE(descriptor->FindObj("FontFile3"), nullptr);
        EXPECT_EQ(descriptor->FindObj("FontFile3")->GetObjNum(), 12u);
        std::string written = CopyReader::Decoded(descriptor, "FontFile3");
        if (level == k2B) {
            EXPECT_EQ(qvx::PDF::FindName(qvx::PDF::FindStream(descriptor, "FontFile3"), "Subtype"), "OpenType");
            EXPECT_TRUE(written == program);
            continue;
        }
        EXPECT_EQ(qvx::PDF::FindName(qvx::PDF::FindStream(descriptor, "FontFile3"), "Subtype"), "Type1C");
        auto bare = qvx::PDF::FontProgram::Open(qvx::Common::Bytes(written.begin(), written.end()));
        ASSERT_NE(bare, nullptr);
        EXPECT_EQ(bare->Format(), "CFF");
        EXPECT_NE(written.substr(0, 4), "OTTO");
    }
}

TEST(FontRepair, OpenTypeProgramsOfPDFA1FilesBecomeBareCFF)
{
    REQUIRE_FONT(kNimbusSansOTF);
    const std::string otf = qvx::Test::ReadFile(kNimbusSansOTF);
    auto program = qvx::PDF::FontProgram::Open(qvx::Common::Bytes(otf.begin(), otf.end()));
    ASSERT_NE(program, nullptr);
    const std::string a = std::to_string(program->GlyphByName("A")), b = std::to_string(program->GlyphByName("B"));
    const std::string descriptor = "<</Type/FontDescriptor/FontName/NimbusSans-Regular/Flags 32/FontBBox[0 0 1000 1000]"
                                   "/ItalicAngle 0/Ascent 800/Descent -200/CapHeight 700/StemV 80/FontFile3 12 0 R>>";
    auto hex = [](const std::string& cid) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(std::stoul(cid)));
        return std::string(buf);
    };
    // An OpenType program with CFF outlines under FontFile3: PDF/A-1 knows no such program
    // (341), later parts do, though not under the Subtype of a bare CFF program. A simple font takes the bare CFF program as Type1C; a CIDFont a
    // CID-keyed one as CIDFontType0C, whose CIDs draw the glyphs they drew by number or
    // through CIDToGIDMap (CIDs 1 and 2 here). The program keeps its object number, FreeType
    // opens it, and the copy passes with its text where it was.
    struct Case {
        std::string name, text, font, cid_font, stream_subtype, filed_as = "OpenType", key = "FontFile3";
    };
    const std::string cid_font = "<</Type/Font/Subtype/CIDFontType0/BaseFont/NimbusSans-Regular/CIDSystemInfo<</Registry(Adobe)"
                                 "/Ordering(Identity)/Supplement 0>>/FontDescriptor 11 0 R";
    std::string cid2_font = cid_font;
    cid2_font.replace(cid2_font.find("CIDFontType0"), 12, "CIDFontType2");
    const std::string type0 = "<</Type/Font/Subtype/Type0/BaseFont/NimbusSans-Regular/Encoding/Identity-H/DescendantFonts[13 0 R]>>";
    for (const Case& k :
         {Case{"simple", "(ABBA)",
               "<</Type/Font/Subtype/Type1/BaseFont/NimbusSans-Regular/FirstChar 65/LastChar 66/Widths[667 667]"
               "/Encoding/WinAnsiEncoding/FontDescriptor 11 0 R>>", "", "Type1C"},
          // Filed as a bare CFF program (at every part) though it is wrapped in OpenType.
          Case{"filed as Type1C", "(ABBA)",
               "<</Type/Font/Subtype/Type1/BaseFont/NimbusSans-Regular/FirstChar 65/LastChar 66/Widths[667 667]"
               "/Encoding/WinAnsiEncoding/FontDescriptor 11 0 R>>", "", "Type1C", "Type1C"},
          Case{"by number", "<" + hex(a) + hex(b) + hex(a) + ">", type0,
               cid_font + "/W[" + a + "[667] " + b + "[667]]>>", "CIDFontType0C"},
          Case{"mapped", "<000100020001>", type0, cid_font + "/W[1[667 667]]/CIDToGIDMap 14 0 R>>", "CIDFontType0C"},
          // Under FontFile2 of a CIDFontType2 (at every part: FontFile2 holds TrueType
          // outlines): the font becomes the CIDFontType0 it is.
          Case{"CIDFontType2 by number", "<" + hex(a) + hex(b) + hex(a) + ">", type0,
               cid2_font + "/W[" + a + "[667] " + b + "[667]]/CIDToGIDMap/Identity>>", "CIDFontType0C", "", "FontFile2"},
          Case{"CIDFontType2 mapped", "<000100020001>", type0, cid2_font + "/W[1[667 667]]/CIDToGIDMap 14 0 R>>",
               "CIDFontType0C", "", "FontFile2"}}) {
        SCOPED_TRACE(k.name);
        auto build = [&](int level) {
            PdfBuilder p = Page(level, "BT /F1 20 Tf 10 100 Td " + k.text + " Tj ET");
            p.Set(10, k.font);
            std::string d = descriptor;
            d.replace(d.find("FontFile3"), 9, k.key);
            p.Set(11, d);
            p.SetStream(12, k.filed_as.empty() ? "" : "/Subtype/" + k.filed_as, otf);
            if (!k.cid_font.empty()) p.Set(13, k.cid_font);
            std::string map(6, '\0');
            for (int i : {1, 2}) {
                unsigned gid = static_cast<unsigned>(std::stoul(i == 1 ? a : b));
                map[2 * i] = static_cast<char>(gid >> 8);
                map[2 * i + 1] = static_cast<char>(gid & 0xFF);
            }
            p.SetStream(14, "", map);
            return p.Build();
        };
        EXPECT_EQ(Findings(build(k2B), k2B), k.filed_as == "OpenType" ? "" : "341(10)");
        if (k.key == "FontFile2") {
            EXPECT_EQ(ExpectProgramRepaired(build(k2B), k2B, "341(10)", "FontFile3").subtype, k.stream_subtype);
        }
        FiledProgram written = ExpectProgramRepaired(build(k1B), k1B, "341(10)", "FontFile3");
        EXPECT_EQ(written.subtype, k.stream_subtype);
        auto bare = qvx::PDF::FontProgram::Open(qvx::Common::Bytes(written.data.begin(), written.data.end()));
        ASSERT_NE(bare, nullptr);
        EXPECT_EQ(bare->Format(), "CFF");
        EXPECT_EQ(bare->IsCIDKeyed(), !k.cid_font.empty());
        if (k.cid_font.empty()) continue;
        auto c = Convert(build(k1B), k1B);
        CopyReader copy(c->out);
        EXPECT_EQ(copy.Get(13)->FindObj("CIDToGIDMap"), nullptr);
        EXPECT_EQ(qvx::PDF::FindName(copy.Get(13), "Subtype"), "CIDFontType0");
        unsigned cid_a = k.name.ends_with("mapped") ? 1 : static_cast<unsigned>(std::stoul(a));
        EXPECT_NE(bare->GlyphByCID(cid_a), 0u);
        EXPECT_EQ(bare->Advance(bare->GlyphByCID(cid_a)), 667);
    }
}

TEST(FontRepair, SegmentedType1ProgramJoined)
{
    REQUIRE_FONT(kNimbusSans);
    // A Type 1 program in the segmented form of PFB files (each part after a six-byte header),
    // which FreeType reads but a PDF file may not hold: damaged (321); conversion joins the
    // parts in the same object, with the lengths of the three parts.
    const std::string t1 = qvx::Test::ReadFile(kNimbusSans);
    std::size_t clear = t1.find("eexec") + 6, tail = t1.rfind("cleartomark");
    while (tail > clear && (t1[tail - 1] == '0' || t1[tail - 1] == '\n' || t1[tail - 1] == '\r')) --tail;
    auto segment = [](int kind, const std::string& part) {
        std::string header{'\x80', static_cast<char>(kind)};
        for (int i = 0; i < 4; ++i) header += static_cast<char>((part.size() >> (8 * i)) & 0xFF);
        return header + part;
    };
    std::string pfb = segment(1, t1.substr(0, clear)) + segment(2, t1.substr(clear, tail - clear)) +
                      segment(1, t1.substr(tail)) + "\x80\x03";
    PdfBuilder b = Page(k1B, "BT /F1 20 Tf 10 100 Td (ABBA) Tj ET");
    b.Set(10, "<</Type/Font/Subtype/Type1/BaseFont/NimbusSans-Regular/FirstChar 65/LastChar 66/Widths[667 667]"
              "/Encoding/WinAnsiEncoding/FontDescriptor 11 0 R>>");
    b.Set(11, "<</Type/FontDescriptor/FontName/NimbusSans-Regular/Flags 32/FontBBox[0 0 1000 1000]/ItalicAngle 0"
              "/Ascent 800/Descent -200/CapHeight 700/StemV 80/FontFile 12 0 R>>");
    b.SetStream(12, "/Length1 " + std::to_string(clear) + "/Length2 " + std::to_string(tail - clear) + "/Length3 " +
                        std::to_string(t1.size() - tail), pfb);
    FiledProgram joined = ExpectProgramRepaired(b.Build(), k1B, "321(10)", "FontFile");
    EXPECT_TRUE(joined.data == t1);
    EXPECT_EQ(joined.length1, static_cast<double>(clear));
}

TEST(FontRepair, TextWithoutItsFontGetsOne)
{
    REQUIRE_FONT(kNimbusSans);
    // The page's Tf names a font its resources lack; a form the page draws, with no
    // resources of its own, names a font of the interactive form's default resources. Text
    // without a font has no embedded program (341, against each stream); conversion defines
    // the page's name by Helvetica and the form's by the form font, each with a program.
    PdfBuilder b = Page(k1B, "BT [-300] TJ ET BT /F9 12 Tf 10 100 Td (Hello) Tj ET /Fm Do");
    // Invisible text breaks no rule.
    b.SetStream(12, "/Type/XObject/Subtype/Form/BBox[0 0 300 200]", "BT 3 Tr /Helv 10 Tf 10 50 Td (World) Tj ET");
    b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Resources<</XObject<</Fm 12 0 R>>" + kGray +
                 ">>/Contents 4 0 R>>");
    EXPECT_EQ(Findings(b.Build(), k1B), "341(4)");
    // Nor does a TJ that only moves the text position.
    b.SetStream(4, "", "BT [-300] TJ ET");
    EXPECT_EQ(Findings(b.Build(), k1B), "");
    b.SetStream(4, "", "BT <> Tj ET");
    EXPECT_EQ(Findings(b.Build(), k1B), "341(4)");
    b.SetStream(4, "", "BT [-300] TJ ET BT /F9 12 Tf 10 100 Td (Hello) Tj ET /Fm Do");
    b.Set(1, qvx::Test::CatalogFor(k1B, "/AcroForm<</Fields[]/DR<</Font<</Helv 10 0 R>>>>>>"));
    b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Resources<</XObject<</Fm 12 0 R>>" + kGray +
                 ">>/Contents 4 0 R>>");
    b.Set(10, "<</Type/Font/Subtype/Type1/BaseFont/Times-Roman/Encoding/WinAnsiEncoding>>");
    b.SetStream(12, "/Type/XObject/Subtype/Form/BBox[0 0 300 200]", "BT /Helv 10 Tf 10 50 Td (World) Tj ET");
    auto c = Convert(b.Build(), k1B);
    EXPECT_EQ(c->first, "341(4 12)");
    EXPECT_EQ(c->again, "");
    CopyReader copy(c->out);
    auto font_of = [&](std::uint32_t holder, const char* name) {
        Obj* res = qvx::PDF::FindDict(copy.Get(holder), "Resources");
        return qvx::PDF::FindDict(qvx::PDF::FindDict(res, "Font"), name);
    };
    Obj* form_font = font_of(12, "Helv");
    ASSERT_NE(form_font, nullptr);
    EXPECT_EQ(form_font, copy.Get(10));
    Obj* page_font = font_of(3, "F9");
    ASSERT_NE(page_font, nullptr);
    EXPECT_TRUE(qvx::PDF::FindName(page_font, "BaseFont").ends_with("Helvetica"));
    for (Obj* font : {form_font, page_font})
        EXPECT_FALSE(CopyReader::Decoded(qvx::PDF::FindDict(font, "FontDescriptor"), "FontFile").empty());

    // PDF/A-4 wants the name defined even where no text follows (an empty field's
    // appearance sets its font and shows nothing); at the other levels that breaks no rule.
    const std::string no_text = "q 0 g 10 10 50 50 re f Q BT /F9 12 Tf ET";
    EXPECT_EQ(Findings(Page(k2B, no_text).Build(), k2B), "");
    PdfBuilder unused = Page(k4, no_text);
    auto u = Convert(unused.Build(), k4);
    EXPECT_EQ(u->first, "46223(4)");
    EXPECT_EQ(u->again, "");
    CopyReader unused_copy(u->out);
    Obj* defined = qvx::PDF::FindDict(
        qvx::PDF::FindDict(qvx::PDF::FindDict(unused_copy.Get(3), "Resources"), "Font"), "F9");
    ASSERT_NE(defined, nullptr);
    EXPECT_TRUE(qvx::PDF::FindName(defined, "BaseFont").ends_with("Helvetica"));
}

TEST(FontRepair, TextWithNoFontSetStaysUndrawn)
{
    REQUIRE_FONT(kNimbusSans);
    // A Tf without its name sets no font, so readers draw nothing for the text after it and
    // move no text position; validators want a font for every text operator all the same,
    // invisible text too. The copy shows that text in the invisible mode with a font of its
    // own at size 0 and no spacing, under a name free in the page's fonts, and the mode and
    // spacing in force before come back after it; text in a later content stream of the page
    // is found at its own offset. The Tf lacks an operand (corrupt content) and goes from the
    // copy, as does an l after the text that lacks one: all edits of a stream are made in
    // its one rewrite. A check box's appearance for the state not shown names the empty name,
    // which its resources lack and some readers drop from dictionaries: it names a font of
    // its own instead. A form the page's resources name but nothing draws is mended too, with
    // no finding: validation reads drawn content only.
    PdfBuilder b = Page(k1B, "BT 0 Tr /FNone0 20 Tf 10 10 Td (a) Tj ET");
    b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Resources<</Font<</FNone0 10 0 R>>/XObject<</Old 17 0 R>>" +
                 kGray + ">>/Contents[13 0 R 4 0 R]/Annots[14 0 R]>>");
    b.SetStream(17, "/Type/XObject/Subtype/Form/BBox[0 0 12 12]", "BT (x) Tj ET");
    b.SetStream(13, "", "BT 12 Tf 2 Tr 1.5 Tc 10 100 Td (Hello) Tj [(Wor) 10 (ld)] TJ ET 5 l BT 3 Tr (Gone) Tj ET");
    b.Set(14, "<</Type/Annot/Subtype/Widget/FT/Btn/T(c)/F 4/Rect[0 0 12 12]/AS/Off/AP<</N<</Off 15 0 R/Yes 16 0 R>>>>>>");
    b.SetStream(15, "/Type/XObject/Subtype/Form/BBox[0 0 12 12]/Resources<<>>", "0 0 12 12 re n");
    b.SetStream(16, "/Type/XObject/Subtype/Form/BBox[0 0 12 12]/Resources<<" + kGray + ">>", "BT / 12 Tf 1 1 Td (4) Tj ET");
    // A Type 3 glyph whose d1 box is not finite: readers skip the d1 and draw the glyph with
    // the advance of the font's widths. The copy keeps the width the d1 named, in a d0.
    b.Set(10, "<</Type/Font/Subtype/Type3/FontBBox[0 0 1000 1000]/FontMatrix[0.001 0 0 0.001 0 0]/FirstChar 97"
              "/LastChar 97/Widths[300]/Encoding<</Type/Encoding/Differences[97/a]>>/CharProcs<</a 11 0 R>>>>");
    b.SetStream(11, "", "300 0 inf inf -inf -inf d1 0 0 300 400 re f");
    auto c = Convert(b.Build(), k1B);
    EXPECT_EQ(c->first, "12(3) 341(13 16) 1127(11) 2101(11)");
    EXPECT_EQ(c->again, "");
    CopyReader copy(c->out);
    auto text = [&](std::uint32_t num) {
        auto data = qvx::PDF::ReadDecoded(copy.Get(num), 1u << 20);
        return data ? std::string(data->begin(), data->end()) : std::string();
    };
    auto font_of = [&](std::uint32_t holder, const char* name) {
        Obj* res = qvx::PDF::FindDict(copy.Get(holder), "Resources");
        return qvx::PDF::FindDict(qvx::PDF::FindDict(res, "Font"), name);
    };
    EXPECT_EQ(text(4), "BT 0 Tr /FNone0 20 Tf 10 10 Td (a) Tj ET");
    EXPECT_NE(text(11).find(" 300 0 d0 0 0 300 400 re f"), std::string::npos) << text(11);
    const std::string shown = text(13);
    EXPECT_NE(shown.find("3 Tr /FNone1 0 Tf 0 Tc 0 Tw (Hello) Tj 2 Tr 1.5 Tc 0 Tw"), std::string::npos) << shown;
    EXPECT_NE(shown.find("3 Tr /FNone1 0 Tf 0 Tc 0 Tw [(Wor) 10 (ld)] TJ 2 Tr 1.5 Tc 0 Tw"), std::string::npos) << shown;
    EXPECT_NE(shown.find("3 Tr /FNone1 0 Tf 0 Tc 0 Tw (Gone) Tj 3 Tr"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("12 Tf"), std::string::npos) << shown;
    EXPECT_EQ(shown.find(" l"), std::string::npos) << shown;
    EXPECT_EQ(text(16), "BT /FNone0 12 Tf 1 1 Td (4) Tj ET");
    EXPECT_EQ(text(17), "BT 3 Tr /FNone0 0 Tf 0 Tc 0 Tw (x) Tj 0 Tr 0 Tc 0 Tw  ET");
    EXPECT_EQ(font_of(3, "FNone0"), copy.Get(10));
    for (Obj* font : {font_of(3, "FNone1"), font_of(16, "FNone0"), font_of(17, "FNone0")}) {
        ASSERT_NE(font, nullptr);
        EXPECT_TRUE(qvx::PDF::FindName(font, "BaseFont").ends_with("Helvetica"));
    }
}
