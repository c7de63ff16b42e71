// Conversion of fonts a file embeds but that break the font rules: damaged or misfiled
// programs replaced or moved, advances set to the widths, codes without a glyph given one of
// their own (in Type 1, TrueType and bare CFF programs), symbolic and CFF TrueType programs
// rewritten; the copy passes revalidation and draws as the original did.
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

// A system font program with a glyph of one character that the glyph list has no name for
// (Differences naming it cannot become names of the list); unlisted is empty when there is
// none.
struct UnlistedGlyph {
    std::string bytes;
    std::unique_ptr<qvx::PDF::FontProgram> program;
    std::string unlisted;
    unsigned gid = 0;

    explicit UnlistedGlyph(const char* path)
        : bytes(qvx::Test::ReadFile(path)), program(qvx::PDF::FontProgram::Open(qvx::Common::Bytes(bytes.begin(), bytes.end())))
    {
        for (unsigned g = 1; program && g < static_cast<unsigned>(program->GlyphCount()) && unlisted.empty(); ++g) {
            std::string name = program->GlyphName(g);
            std::u32string u = qvx::PDF::GlyphList::ToUnicode(name);
            if (u.size() == 1 && !qvx::PDF::GlyphList::IsListed(name) && qvx::PDF::GlyphList::NameFor(u[0]).empty()) {
                unlisted = name;
                gid = g;
            }
        }
    }
    // The advance of glyph g in thousandths of an em, as a Widths entry.
    std::string Width(unsigned g) const
    {
        return std::to_string(std::lround(program->Advance(g) * 1000.0 / program->UnitsPerEm()));
    }
};

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
        EXPECT_EQ(content.find("/Span <</ActualText <FEFF203E00310063E00000282022>>> BDC (abcdef) Tj EMC") != std::string::npos,
                  icon)
            << content;
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
    // An OpenType program with CFF outlines under FontFile2 of a TrueType font whose
    // Differences name a glyph without a listed name: readers draw it as a Type 1 font,
    // by glyph name, and so it becomes one, the program moved to FontFile3 as it is.
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
        EXPECT_EQ(c->first, "371(10)");
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
