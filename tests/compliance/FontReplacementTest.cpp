// Conversion of fonts a file does not embed (or embeds damaged): a substitute program is
// chosen (configuration first, then the system's fonts), cut to the glyphs shown, its
// advances set to the file's widths, and the converted copy passes revalidation with the
// text where it was. The substitutes are the Liberation, DejaVu, Droid, Carlito and Caladea
// fonts; tests skip without them.
#include "pdf/Font.h"
#include "tests/compliance/FontReplacementSupport.h"

using namespace qvx::Test::FontReplacement;

TEST(FontReplacement, UnembeddedArialAndVerdanaKeepTheirWidths)
{
    REQUIRE_FONT(kLiberation);
    REQUIRE_FONT(kNimbusSans);
    REQUIRE_FONT(kDejaVuSansBold);
    // Arial as TrueType with Arial's widths takes the URW Helvetica program readers draw it
    // with (its advances are those widths). Verdana as Type 1 with made-up widths that no
    // system font has becomes an embedded TrueType subset whose glyphs are squeezed to the
    // narrower widths, as readers draw it. Both keep the text where it was.
    for (const char* base : {"Arial", "Verdana,Bold"}) {
        SCOPED_TRACE(base);
        bool arial = std::string(base) == "Arial";
        PdfBuilder b = Page(k2B, "BT /F1 14 Tf 10 100 Td (Hello World) Tj 0 -20 Td (Quick brown fox) Tj ET");
        std::string widths = ArialWidths();
        if (!arial) {
            widths = "[";
            for (int i = 0; i < 95; ++i) widths += std::to_string(500 + (i * 37) % 300) + " ";
            widths += "]";
        }
        b.Set(10, std::string("<</Type/Font/Subtype/") + (arial ? "TrueType" : "Type1") + "/BaseFont/" + base +
                      "/FirstChar 32/LastChar 126/Widths " + widths +
                      "/Encoding/WinAnsiEncoding/FontDescriptor 11 0 R>>");
        b.Set(11, "<</Type/FontDescriptor/FontName/" + std::string(base) +
                      "/Flags 32/FontBBox[-665 -325 2000 1006]/ItalicAngle 0/Ascent 905/Descent -212/CapHeight 716"
                      "/StemV 80>>");
        auto c = Convert(b.Build(), k2B);
        EXPECT_EQ(c->first, "341(10)");
        EXPECT_EQ(c->again, "");
        EXPECT_TRUE(PdffontsAllEmbedded(c->out));
        std::string before = WordBoxes(c->in);
        EXPECT_NE(before, "");
        EXPECT_EQ(WordBoxes(c->out), before);

        CopyReader copy(c->out);
        Obj* font = copy.Get(10);
        if (arial) {
            EXPECT_EQ(qvx::PDF::FindName(font, "Subtype"), "Type1");
            EXPECT_TRUE(ProgramNames(CopyReader::Decoded(copy.Get(11), "FontFile"), "NimbusSans-Regular"));
            continue;
        }
        EXPECT_EQ(qvx::PDF::FindName(font, "Subtype"), "TrueType");
        EXPECT_TRUE(std::regex_match(std::string(qvx::PDF::FindName(font, "BaseFont")), std::regex("[A-Z]{6}\\+Verdana")));
        // The descriptor keeps its number and now holds the program: a subset, not the
        // whole font.
        std::string program = CopyReader::Decoded(copy.Get(11), "FontFile2");
        EXPECT_GT(program.size(), 1000u);
        EXPECT_LT(program.size(), 40000u);
        EXPECT_TRUE(ProgramNames(program, "DejaVu Sans"));
        // Squeezed by the ratio of the font's "m" (649) to DejaVu Sans Bold's (1042): so is
        // the bounding box of the program's glyphs.
        std::ifstream in(kDejaVuSansBold, std::ios::binary);
        std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_NEAR(ProgramXMax(program) / ProgramXMax(whole), 649.0 / 1042, 0.01);
        // Readers leave the glyphs as they are when the descriptor's MissingWidth is no less
        // than the width of "m".
        b.Set(11, "<</Type/FontDescriptor/FontName/" + std::string(base) +
                      "/Flags 32/FontBBox[-665 -325 2000 1006]/ItalicAngle 0/Ascent 905/Descent -212/CapHeight 716"
                      "/StemV 80/MissingWidth 650>>");
        auto wide = Convert(b.Build(), k2B);
        EXPECT_EQ(wide->again, "");
        EXPECT_EQ(WordBoxes(wide->out), before);
        std::string unsqueezed = CopyReader::Decoded(CopyReader(wide->out).Get(11), "FontFile2");
        EXPECT_NEAR(ProgramXMax(unsqueezed) / ProgramXMax(whole), 1, 0.01);
    }
}

TEST(FontReplacement, OfficeFontsTakeTheirMetricTwins)
{
    REQUIRE_FONT(kCarlito);
    REQUIRE_FONT(kCaladea);
    // Calibri and Cambria, the fonts office documents leave unembedded most, are drawn by
    // readers with Carlito and Caladea, made to their metrics: the copy embeds those.
    for (auto [base, twin] : {std::pair{"Calibri", "Carlito"}, std::pair{"Cambria,Bold", "Caladea"}}) {
        SCOPED_TRACE(base);
        PdfBuilder b = Page(k2B, "BT /F1 14 Tf 10 100 Td (Hello World) Tj 0 -20 Td (Quick brown fox) Tj ET");
        b.Set(10, std::string("<</Type/Font/Subtype/TrueType/BaseFont/") + base +
                      "/FirstChar 32/LastChar 126/Widths " + ArialWidths() + "/Encoding/WinAnsiEncoding/FontDescriptor 11 0 R>>");
        b.Set(11, "<</Type/FontDescriptor/FontName/" + std::string(base) +
                      "/Flags 32/FontBBox[-503 -313 1240 1026]/ItalicAngle 0/Ascent 750/Descent -250/CapHeight 632/StemV 80>>");
        auto c = Convert(b.Build(), k2B);
        EXPECT_EQ(c->again, "");
        EXPECT_TRUE(PdffontsAllEmbedded(c->out));
        std::string before = WordBoxes(c->in);
        EXPECT_EQ(WordBoxes(c->out), before);
        EXPECT_TRUE(ProgramNames(CopyReader::Decoded(CopyReader(c->out).Get(11), "FontFile2"), twin));
    }
}

TEST(FontReplacement, SymbolicFontWithoutItsProgramDrawnByItsToUnicode)
{
    REQUIRE_FONT(kLiberation);
    // A symbolic subset without Encoding whose program has gone shows glyphs by code, A to D
    // here: only its ToUnicode map says they were F, o, n and t (the names a standard
    // encoding gives the codes say nothing of its glyphs). The substitute is reached through
    // those characters and the words stay where they were.
    PdfBuilder b = Page(k2U, "BT /F1 18 Tf 10 100 Td [(A)42(B)-2(CD)]TJ ET");
    b.Set(10, "<</Type/Font/Subtype/TrueType/BaseFont/BAAAAA+Cambria/FirstChar 65/LastChar 68/Widths[611 556 556 278]"
              "/ToUnicode 12 0 R/FontDescriptor 11 0 R>>");
    b.Set(11, "<</Type/FontDescriptor/FontName/BAAAAA+Cambria/Flags 6/FontBBox[-665 -325 2000 1006]/ItalicAngle 0"
              "/Ascent 905/Descent -212/CapHeight 716/StemV 80>>");
    auto to_unicode = [&](const std::string& chars) {
        b.SetStream(12, "", "1 begincodespacerange <00> <FF> endcodespacerange\n" + chars);
    };
    to_unicode("4 beginbfchar <41> <0046> <42> <006F> <43> <006E> <44> <0074> endbfchar\n");
    auto c = Convert(b.Build(), k2U);
    EXPECT_EQ(c->first, "341(10)");
    EXPECT_EQ(c->again, "");
    EXPECT_TRUE(PdffontsAllEmbedded(c->out));
    EXPECT_EQ(WordBoxes(c->in), WordBoxes(c->out));
    EXPECT_NE(WordBoxes(c->out).find("Font "), std::string::npos);
    CopyReader copy(c->out);
    auto font = qvx::PDF::Font::Create(copy.run.GetDoc().GetObj(10));
    std::string drawn;
    for (unsigned code = 'A'; code <= 'D'; ++code) drawn += std::string(font->GlyphName(code)) + " ";
    EXPECT_EQ(drawn, "F o n t ");
    // A code the map leaves out could be anything: the font stays as it was.
    to_unicode("3 beginbfchar <41> <0046> <42> <006F> <43> <006E> endbfchar\n");
    EXPECT_EQ(Convert(b.Build(), k2B)->again, "341(10)");
}

TEST(FontReplacement, FontsOfInvisibleTextAreEmbeddedToo)
{
    REQUIRE_FONT(kLiberation);
    REQUIRE_FONT(kDroid);
    // A scan's text layer (render mode 3) may keep its font unembedded, and the resources may
    // list fonts no text shows (F2, a Chinese CIDFont); the copy embeds programs all the same,
    // so that font lists find no font missing, and the words stay put.
    PdfBuilder b = Page(k2B, "BT 3 Tr /F1 14 Tf 10 100 Td (Hidden words) Tj ET");
    SetArial(b);
    b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Resources<</Font<</F1 10 0 R/F2 12 0 R>>" + kGray +
                 ">>/Contents 4 0 R>>");
    b.Set(12, "<</Type/Font/Subtype/Type0/BaseFont/SimSun-GBK-EUC-H/Encoding/GBK-EUC-H/DescendantFonts[13 0 R]>>");
    b.Set(13, "<</Type/Font/Subtype/CIDFontType0/BaseFont/SimSun/CIDSystemInfo<</Registry(Adobe)/Ordering(GB1)"
              "/Supplement 2>>/FontDescriptor 14 0 R>>");
    b.Set(14, "<</Type/FontDescriptor/FontName/SimSun/Flags 6/FontBBox[0 -141 996 855]/ItalicAngle 0/Ascent 859"
              "/Descent -141/CapHeight 859/StemV 80>>");
    auto c = Convert(b.Build(), k2B);
    EXPECT_EQ(c->first, "");
    EXPECT_EQ(c->again, "");
    EXPECT_TRUE(PdffontsAllEmbedded(c->out));
    EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));

    // Text that shapes a soft mask: the mask's group is a form no content draws by name.
    PdfBuilder mask = Page(k2B, "q /M gs 0 0 300 200 re f Q");
    SetArial(mask);
    mask.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Resources<</ExtGState<</M<</SMask<</S/Luminosity"
                "/G 12 0 R>>>>>>" + kGray + ">>/Contents 4 0 R>>");
    mask.SetStream(12, "/Type/XObject/Subtype/Form/BBox[0 0 300 200]/Group<</S/Transparency/CS/DeviceGray>>"
                       "/Resources<</Font<</F1 10 0 R>>>>", "1 g BT /F1 40 Tf 10 100 Td (Mask) Tj ET");
    auto m = Convert(mask.Build(), k2B);
    EXPECT_EQ(m->again, "");
    CopyReader copy(m->out);
    EXPECT_TRUE(qvx::PDF::FindIn(copy.Get(11), "FontFile") || qvx::PDF::FindIn(copy.Get(11), "FontFile2"));
}

TEST(FontReplacement, StandardFontsAndZeroWidths)
{
    REQUIRE_FONT(kLiberation);
    // Courier without a descriptor whose Widths are all 0: the program's advances become 0
    // too, so the revalidation's width rule (every code shown, .notdef included) finds them
    // in agreement. Code 1 names no glyph: it shows .notdef before, and a copy of .notdef of
    // its own after, at its width.
    PdfBuilder b = Page(k2B, "BT /F1 12 Tf 10 100 Td (AB C\\001) Tj ET");
    std::string zeros = "[";
    for (int i = 0; i < 95; ++i) zeros += "0 ";
    b.Set(10, "<</Type/Font/Subtype/Type1/BaseFont/Courier/FirstChar 1/LastChar 95/Widths" + zeros + "]>>");
    auto c = Convert(b.Build(), k2B);
    EXPECT_EQ(c->first, "341(10)");
    EXPECT_EQ(c->again, "");
    EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));

    // Symbol, and Helvetica without Widths, take the URW programs readers draw them with.
    // Helvetica's code 1 names no glyph: readers give it no width, and so do the Widths
    // written, though the program's .notdef is wider: the code gets a copy of .notdef of no
    // width under a name of its own (pdftotext now passes the code through as text, a
    // control character), and the text stays put.
    PdfBuilder s = Page(k2B, "BT /F1 12 Tf 10 100 Td (abc) Tj /F2 12 Tf (Hel\\001\\001lo) Tj ET");
    s.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Resources<</Font<</F1 10 0 R/F2 11 0 R>>" + kGray +
                 ">>/Contents 4 0 R>>");
    s.Set(10, "<</Type/Font/Subtype/Type1/BaseFont/Symbol>>");
    s.Set(11, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica/Encoding/WinAnsiEncoding>>");
    auto cs = Convert(s.Build(), k2B);
    EXPECT_EQ(cs->first, "341(10 11)");
    EXPECT_EQ(cs->again, "");
    EXPECT_EQ(std::regex_replace(WordBoxes(cs->out), std::regex("\x01"), ""), WordBoxes(cs->in));
    CopyReader copy(cs->out);
    EXPECT_NE(qvx::PDF::FindStream(qvx::PDF::FindDict(copy.Get(10), "FontDescriptor"), "FontFile"), nullptr);
    EXPECT_NE(qvx::PDF::FindStream(qvx::PDF::FindDict(copy.Get(11), "FontDescriptor"), "FontFile"), nullptr);
    // Code 160 is the space of WinAnsiEncoding by a note of the encoding alone: shown, it
    // gets the name in the font's own encoding.
    s.SetStream(4, "", "BT /F2 12 Tf 10 100 Td (a\\240b) Tj ET");
    auto cn = Convert(s.Build(), k2B);
    EXPECT_EQ(cn->again, "");
    CopyReader spaced(cn->out);
    Obj* named = qvx::PDF::FindDict(spaced.Get(11), "Encoding");
    EXPECT_EQ(qvx::PDF::FindName(named, "BaseEncoding"), "WinAnsiEncoding");
    Obj* differences = qvx::PDF::FindArray(named, "Differences");
    ASSERT_NE(differences, nullptr);
    EXPECT_EQ(qvx::PDF::NumberAt(differences, 0, 0), 160);

    // A font that is not a standard one and has no Widths: readers place its text with the
    // metrics of the standard font most like it (Times without a descriptor, Helvetica for a
    // sans one), and so do the Widths written, never 0, which would pile the letters up.
    for (bool sans : {false, true}) {
        PdfBuilder m = Page(k2B, "BT /F1 12 Tf 10 100 Td (test font) Tj ET");
        m.Set(10, std::string("<</Type/Font/Subtype/Type1/BaseFont/Monaco") + (sans ? "/FontDescriptor 11 0 R" : "") + ">>");
        m.Set(11, "<</Type/FontDescriptor/FontName/Monaco/Flags 32/FontBBox[0 -200 1000 900]/ItalicAngle 0/Ascent 900"
                  "/Descent -200/CapHeight 700/StemV 80>>");
        auto cm = Convert(m.Build(), k2B);
        EXPECT_EQ(cm->first, "341(10)");
        EXPECT_EQ(cm->again, "");
        EXPECT_EQ(WordBoxes(cm->out), WordBoxes(cm->in));
        CopyReader monaco(cm->out);
        Obj* widths = qvx::PDF::FindArray(monaco.Get(10), "Widths");
        EXPECT_EQ(qvx::PDF::NumberAt(widths, 't', 0), 278);
        EXPECT_EQ(qvx::PDF::NumberAt(widths, 'e', 0), sans ? 556 : 444);
    }
}

TEST(FontReplacement, StandardFontWithOtherWidthsKeepsTheStandardGlyphs)
{
    REQUIRE_FONT(kLiberation);
    REQUIRE_FONT(kNimbusSans);
    // Arial whose Widths are not Arial's (800 for every code, no narrower than Helvetica's
    // "m" by a tenth): readers draw Helvetica's URW glyphs at those widths, and so does the
    // copy, whose URW program gets the widths, rather than a system font's other glyphs.
    PdfBuilder b = Page(k2B, "BT /F1 14 Tf 10 100 Td (Hello World) Tj ET");
    SetArial(b);
    std::string widths = "[";
    for (int i = 0; i < 95; ++i) widths += "800 ";
    b.Set(10, "<</Type/Font/Subtype/TrueType/BaseFont/Arial/FirstChar 32/LastChar 126/Widths " + widths +
                  "]/Encoding/WinAnsiEncoding/FontDescriptor 11 0 R>>");
    auto c = Convert(b.Build(), k2B);
    EXPECT_EQ(c->first, "341(10)");
    EXPECT_EQ(c->again, "");
    EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));
    EXPECT_TRUE(SameLook(c->in, c->out));
    CopyReader copy(c->out);
    EXPECT_EQ(qvx::PDF::FindName(copy.Get(10), "Subtype"), "Type1");
    EXPECT_TRUE(ProgramNames(CopyReader::Decoded(copy.Get(11), "FontFile"), "NimbusSans-Regular"));
}

TEST(FontReplacement, PDFA1SubstitutesNeedingDifferencesTurnSymbolic)
{
    REQUIRE_FONT(kLiberation);
    // Verdana whose Differences give code 72 the glyph Eacute. The substitute's encoding
    // needs Differences too; PDF/A-1 is read as wanting a standard name alone, so there the
    // font becomes symbolic (no Encoding, a cmap by code, the text in ToUnicode), while a
    // PDF/A-2 copy keeps the dictionary. Either way the text and its look stay.
    for (int level : {k1B, k2B}) {
        SCOPED_TRACE(level);
        PdfBuilder b = Page(level, "BT /F1 14 Tf 10 100 Td (Hello World) Tj ET");
        b.Set(10, "<</Type/Font/Subtype/TrueType/BaseFont/Verdana/FirstChar 32/LastChar 126/Widths " + ArialWidths() +
                      "/Encoding<</BaseEncoding/WinAnsiEncoding/Differences[72/Eacute]>>/FontDescriptor 11 0 R>>");
        b.Set(11, "<</Type/FontDescriptor/FontName/Verdana/Flags 32/FontBBox[-665 -325 2000 1006]/ItalicAngle 0"
                  "/Ascent 905/Descent -212/CapHeight 716/StemV 80>>");
        auto c = Convert(b.Build(), level);
        EXPECT_EQ(c->first, "341(10)");
        EXPECT_EQ(c->again, "");
        std::string before = WordBoxes(c->in);
        EXPECT_NE(before.find("\xC3\x89" "ello"), std::string::npos) << before;
        EXPECT_EQ(WordBoxes(c->out), before);
        CopyReader copy(c->out);
        Obj* font = copy.Get(10);
        int flags = static_cast<int>(qvx::PDF::FindNumber(qvx::PDF::FindDict(font, "FontDescriptor"), "Flags", 0));
        EXPECT_EQ(flags & 4, level == k1B ? 4 : 0);
        EXPECT_EQ(qvx::PDF::FindIn(font, "Encoding") == nullptr, level == k1B);
        if (level == k1B) {
            EXPECT_NE(qvx::PDF::FindStream(font, "ToUnicode"), nullptr);
        }
    }
}

TEST(FontReplacement, ListedStandardFontsWithoutText)
{
    REQUIRE_FONT(kNimbusSans);
    REQUIRE_FONT(kLiberation);
    // Helvetica in the page's resources and Times-Roman in those of a form the page draws,
    // neither showing text, and a Courier that does: all three end embedded, the ones
    // without text too (font lists show them), and the form keeps drawing nothing. So does
    // a TrueType font of no standard name that no text shows, with the printable ASCII.
    PdfBuilder b = Page(k2B, "BT /F1 12 Tf 10 100 Td (Hi) Tj ET /X1 Do");
    b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Resources<</Font<</F1 10 0 R/F2 11 0 R/F4 14 0 R>>"
             "/XObject<</X1 12 0 R>>" + kGray + ">>/Contents 4 0 R>>");
    b.Set(14, "<</Type/Font/Subtype/TrueType/BaseFont/Verdana/FirstChar 32/LastChar 126/Widths " + ArialWidths() +
                  "/Encoding/WinAnsiEncoding/FontDescriptor 15 0 R>>");
    b.Set(15, "<</Type/FontDescriptor/FontName/Verdana/Flags 32/FontBBox[-665 -325 2000 1006]/ItalicAngle 0"
              "/Ascent 905/Descent -212/CapHeight 716/StemV 80>>");
    b.Set(10, "<</Type/Font/Subtype/Type1/BaseFont/Courier>>");
    b.Set(11, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>");
    b.SetStream(12, "/Type/XObject/Subtype/Form/BBox[0 0 10 10]/Resources<</Font<</F3 13 0 R>>>>", "");
    b.Set(13, "<</Type/Font/Subtype/Type1/BaseFont/Times-Roman/Encoding/WinAnsiEncoding>>");
    auto c = Convert(b.Build(), k2B);
    EXPECT_EQ(c->first, "341(10)");
    EXPECT_EQ(c->again, "");
    EXPECT_TRUE(PdffontsAllEmbedded(c->out));
    CopyReader copy(c->out);
    for (std::uint32_t num : {10u, 11u, 13u})
        EXPECT_NE(qvx::PDF::FindStream(qvx::PDF::FindDict(copy.Get(num), "FontDescriptor"), "FontFile"), nullptr) << num;
    EXPECT_NE(qvx::PDF::FindStream(qvx::PDF::FindDict(copy.Get(14), "FontDescriptor"), "FontFile2"), nullptr);
}

TEST(FontReplacement, CJKCIDFont)
{
    REQUIRE_FONT(kDroid);
    // An Adobe-Japan1 CIDFontType0 shown with Identity-H: CIDs of 日本語 from the collection.
    auto table = qvx::PDF::CIDToUnicode::ForCollection("Adobe-Japan1");
    if (!table) GTEST_SKIP() << "no Adobe-Japan1 table";
    std::string hex;
    for (char32_t want : {U'日', U'本', U'語'}) {
        for (std::uint32_t cid = 1; cid < 20000; ++cid)
            if (table->Map(cid) == want) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "%04X", cid);
                hex += buf;
                break;
            }
    }
    ASSERT_EQ(hex.size(), 12u);
    for (int level : {k1B, k2B}) {
        SCOPED_TRACE(level);
        auto c = Convert(CIDFontPage(level, hex, "Adobe", "Japan1"), level);
        EXPECT_EQ(c->first, "341(10)");
        EXPECT_EQ(c->again, "");
        EXPECT_TRUE(PdffontsAllEmbedded(c->out));
        EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));
        EXPECT_NE(WordBoxes(c->out).find("日本語"), std::string::npos);
        CopyReader copy(c->out);
        EXPECT_EQ(qvx::PDF::FindName(copy.Get(12), "Subtype"), "CIDFontType2");
        EXPECT_NE(qvx::PDF::FindStream(copy.Get(12), "CIDToGIDMap"), nullptr);
        // PDF/A-1 lists the CIDs of the subset.
        EXPECT_EQ(qvx::PDF::FindStream(copy.Get(11), "CIDSet") != nullptr, level == k1B);
    }
    // A collection no substitute knows stays as it was, with its finding.
    auto cu = Convert(CIDFontPage(k2B, "0001", "Acme", "Private"), k2B);
    EXPECT_EQ(cu->again, "341(10)");
}

TEST(FontReplacement, CollectionOfTheCMap)
{
    REQUIRE_FONT(kDroid);
    // 90ms-RKSJ-H reads codes as CIDs of Adobe-Japan1-2. A CIDFont naming a later supplement
    // takes the CMap's CIDSystemInfo; one naming another collection keeps it (the collection
    // is how its CIDs are read) and its finding.
    auto convert = [](const std::string& registry, const std::string& ordering, int supplement) {
        PdfBuilder b = Page(k2B, "BT /F1 20 Tf 10 100 Td (AB) Tj ET");
        b.Set(10, "<</Type/Font/Subtype/Type0/BaseFont/MS-Mincho/Encoding/90ms-RKSJ-H/DescendantFonts[12 0 R]>>");
        b.Set(12, "<</Type/Font/Subtype/CIDFontType0/BaseFont/MS-Mincho/CIDSystemInfo<</Registry" + registry +
                      "/Ordering" + ordering + "/Supplement " + std::to_string(supplement) +
                      ">>/FontDescriptor 11 0 R/DW 1000>>");
        b.Set(11, "<</Type/FontDescriptor/FontName/MS-Mincho/Flags 6/FontBBox[0 -141 1000 859]/ItalicAngle 0"
                  "/Ascent 859/Descent -141/CapHeight 700/StemV 80>>");
        return Convert(b.Build(), k2B);
    };
    {
        auto c = convert("(Adobe)", "(Japan1)", 6);
        EXPECT_EQ(c->first, "331 341(10)");
        EXPECT_EQ(c->again, "");
        CopyReader copy(c->out);
        Obj* info = qvx::PDF::FindDict(copy.Get(12), "CIDSystemInfo");
        EXPECT_EQ(CopyReader::Text(info, "Registry"), "Adobe");
        EXPECT_EQ(CopyReader::Text(info, "Ordering"), "Japan1");
        EXPECT_EQ(qvx::PDF::FindNumber(info, "Supplement", -1), 2);
    }
    auto other = convert("(Adobe)", "(GB1)", 0);
    EXPECT_EQ(other->first, "331 341(10)");
    EXPECT_NE(other->again.find("331"), std::string::npos);
}

TEST(FontReplacement, TrueTypeCIDsWithoutTextKeepTheirGlyphNumbers)
{
    REQUIRE_FONT(kLiberation);
    REQUIRE_FONT(kLiberationSerif);
    // Identity-H fonts without ToUnicode whose CIDs are glyph numbers of Arial (no
    // CIDToGIDMap: "Hello" as 43 72 79 79 82, the standard Macintosh order Liberation Sans
    // shares) and of Times New Roman (a CIDToGIDMap stream: CIDs 1 to 3 are "Vol", CID 4 a
    // glyph number past Liberation Serif's last). Nothing says which characters they are:
    // the substitute keeps its glyph numbers, its advances become the widths, and the glyph
    // past its end is an empty one. The copy looks as the same page does with the whole
    // Liberation programs embedded.
    auto page = [](int level, bool whole) {
        PdfBuilder b = Page(level, "BT /F1 20 Tf 10 100 Td <002B0048004F004F0052> Tj /F2 20 Tf 0 -30 Td <0001000200030004> Tj ET");
        b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Resources<</Font<</F1 10 0 R/F2 13 0 R>>" + kGray +
                     ">>/Contents 4 0 R>>");
        PutIdentityTrueType(b, {10, 12, 11}, "Arial", "/Identity-H", "/W[43[722]72[556]79[222]82[556]]",
                            whole ? "/FontFile2 17 0 R" : "");
        PutIdentityTrueType(b, {13, 14, 15}, "TimesNewRomanPSMT", "/Identity-H", "/CIDToGIDMap 16 0 R/W[1[722 500 278 600]]",
                            whole ? "/FontFile2 18 0 R" : "");
        b.SetStream(16, "", std::string("\0\0\0\x39\0\x52\0\x4F\x70\0", 10));
        if (whole) {
            b.SetStream(17, "", qvx::Test::ReadFile(kLiberation));
            b.SetStream(18, "", qvx::Test::ReadFile(kLiberationSerif));
        }
        return b.Build();
    };
    qvx::Test::TempDir dir;
    std::filesystem::path reference = dir.Write("reference.pdf", page(k2B, true));
    for (int level : {k1B, k2B}) {
        SCOPED_TRACE(level);
        auto c = Convert(page(level, false), level);
        auto arial = ExpectGlyphNumbersKept(*c, "332(12) 341(10 13)", reference);
        ASSERT_NE(arial, nullptr);
        CopyReader copy(c->out);
        int upem = arial->UnitsPerEm();
        EXPECT_EQ(arial->Advance(43), std::lround(722.0 * upem / 1000));
        EXPECT_EQ(arial->Advance(79), std::lround(222.0 * upem / 1000));
        // Only the glyphs shown: Liberation Sans has some 2,600.
        EXPECT_EQ(arial->GlyphCount(), 83);
        // PDF/A-1 lists the CIDs of the subset.
        EXPECT_EQ(qvx::PDF::FindStream(copy.Get(11), "CIDSet") != nullptr, level == k1B);

        // The map stays, and so does what pdftoppm draws through it.
        EXPECT_NE(qvx::PDF::FindStream(copy.Get(14), "CIDToGIDMap"), nullptr);
        auto times = DescendantProgram(copy, 14);
        ASSERT_NE(times, nullptr);
        EXPECT_EQ(times->GlyphCount(), 0x7001);
        EXPECT_EQ(times->Advance(0x7000), std::lround(600.0 * times->UnitsPerEm() / 1000));
    }
    PdfBuilder mapped = Page(k2B, "BT /F1 20 Tf 10 100 Td <000100020003> Tj ET");
    PutIdentityTrueType(mapped, {10, 14, 15}, "Times#20New#20Roman", "/Identity-H", "/CIDToGIDMap 16 0 R/W[1[722 500 278]]");
    mapped.SetStream(16, "", std::string("\0\0\0\x39\0\x52\0\x4F", 8));
    auto cm = Convert(mapped.Build(), k2B);
    EXPECT_EQ(cm->again, "");
    EXPECT_TRUE(SameLook(cm->in, cm->out));

    // A CMap that leads the only code shown past the largest CID: no glyph number to keep,
    // the font stays as it was.
    PdfBuilder big = Page(k2B, "BT /F1 20 Tf 10 100 Td <01> Tj ET");
    PutIdentityTrueType(big, {10, 12, 11}, "Arial", " 16 0 R", "/CIDToGIDMap/Identity");
    big.SetStream(16, "/Type/CMap/CMapName/Big/CIDSystemInfo<</Registry(Adobe)/Ordering(Identity)/Supplement 0>>",
                  "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /Big def /CMapType 1 def\n"
                  "1 begincodespacerange <00> <FF> endcodespacerange\n1 begincidrange <01> <01> 70000 endcidrange\n"
                  "endcmap CMapName currentdict /CMap defineresource pop end end\n");
    auto cb = Convert(big.Build(), k2B);
    EXPECT_NE(cb->again.find("341(10)"), std::string::npos);
}

TEST(FontReplacement, IdentityTrueTypeCIDsWithCorrelatedWidthsKeepTheirGlyphNumbers)
{
    REQUIRE_FONT(kLiberationBold);
    // Arial Black shown as Identity-H CIDs without CIDToGIDMap: "DESCRIPTION" as glyph
    // numbers of the standard Macintosh order, with widths a fifth larger than Liberation
    // Sans Bold's advances (the same order, a heavier design). No width agrees, but they go
    // with the advances: the CIDs stay glyph numbers of the substitute, which draws the
    // letters meant, as the whole Liberation Sans Bold embedded would.
    auto liberation = qvx::PDF::FontProgram::Open(qvx::Test::ToBytes(qvx::Test::ReadFile(kLiberationBold)));
    ASSERT_NE(liberation, nullptr);
    std::string hex, w = "/W[";
    std::map<unsigned, long> widths;
    for (char ch : std::string("DESCRIPTION")) {
        unsigned gid = liberation->GlyphByCMap(3, 1, static_cast<unsigned char>(ch));
        widths[gid] = std::lround(liberation->Advance(gid) * 1200.0 / liberation->UnitsPerEm());
        char buf[8];
        std::snprintf(buf, sizeof buf, "%04X", gid);
        hex += buf;
    }
    for (auto [gid, width] : widths) w += std::to_string(gid) + "[" + std::to_string(width) + "]";
    auto page = [&](const std::string& shown, const std::string& w_entry, bool whole) {
        PdfBuilder b = Page(k2B, "BT /F1 20 Tf 10 100 Td <" + shown + "> Tj ET");
        PutIdentityTrueType(b, {10, 12, 11}, "Arial-Black", "/Identity-H", w_entry, whole ? "/FontFile2 13 0 R" : "");
        if (whole) b.SetStream(13, "", qvx::Test::ReadFile(kLiberationBold));
        return b.Build();
    };
    qvx::Test::TempDir dir;
    std::filesystem::path reference = dir.Write("reference.pdf", page(hex, w + "]", true));
    auto program = ExpectGlyphNumbersKept(*Convert(page(hex, w + "]", false), k2B), "332(12) 341(10)", reference);
    ASSERT_NE(program, nullptr);
    for (auto [gid, width] : widths) EXPECT_EQ(program->Advance(gid), std::lround(width * program->UnitsPerEm() / 1000.0));

    // One glyph shown, "7", proves nothing by its width; the widths W gives every glyph number
    // up to it, a fifth over Liberation Sans Bold's advances, go with them: the glyph number
    // stays. The same widths in reverse order do not, and the CID is read as a character.
    unsigned seven = liberation->GlyphByCMap(3, 1, '7');
    char seven_hex[8];
    std::snprintf(seven_hex, sizeof seven_hex, "%04X", seven);
    auto up_to_seven = [&](bool reversed) {
        std::string entry = "/W[1[";
        for (unsigned g = 1; g <= seven; ++g)
            entry += std::to_string(std::lround(liberation->Advance(reversed ? seven + 1 - g : g) * 1200.0 / liberation->UnitsPerEm())) + " ";
        return entry + "]]";
    };
    std::filesystem::path seven_reference = dir.Write("seven.pdf", page(seven_hex, up_to_seven(false), true));
    EXPECT_NE(ExpectGlyphNumbersKept(*Convert(page(seven_hex, up_to_seven(false), false), k2B), "332(12) 341(10)", seven_reference),
              nullptr);
    // Nor do widths W does not give (all DW).
    for (const std::string& entry : {up_to_seven(true), std::string()}) {
        CopyReader other(Convert(page(seven_hex, entry, false), k2B)->out);
        EXPECT_NE(qvx::PDF::FindStream(other.Get(12), "CIDToGIDMap"), nullptr);
    }
}

TEST(FontReplacement, IdentityTrueTypeCIDsOfAnotherGlyphOrderDrawnAsCharacters)
{
    REQUIRE_FONT(kLiberation);
    // Identity-H CIDs without CIDToGIDMap whose widths neither agree nor go with Liberation
    // Sans's advances at those glyph numbers: its glyph order is not the font's, and the
    // CIDs are drawn as poppler draws them, read as characters ("H", "i", a Cyrillic Zhe,
    // and U+0003, which Liberation Sans lacks and poppler draws as its .notdef). The copy
    // looks as poppler draws the original and shows no .notdef.
    for (int level : {k1B, k2B}) {
        SCOPED_TRACE(level);
        PdfBuilder b = Page(level, "BT /F1 20 Tf 10 100 Td <0003004800690416> Tj ET");
        PutIdentityTrueType(b, {10, 12, 11}, "Arial", "/Identity-H", "/W[3[500]72[722]105[222]1046[1000]]");
        auto c = Convert(b.Build(), level);
        ExpectAllEmbedded(*c, "332(12) 341(10)");
        EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));
        EXPECT_TRUE(SameLook(c->in, c->out));

        CopyReader copy(c->out);
        std::string map = CopyReader::Decoded(copy.Get(12), "CIDToGIDMap");
        ASSERT_EQ(map.size(), 2u * 0x417);
        auto glyph = [&](unsigned cid) { return (static_cast<unsigned char>(map[2 * cid]) << 8) | static_cast<unsigned char>(map[2 * cid + 1]); };
        auto program = DescendantProgram(copy, 12);
        ASSERT_NE(program, nullptr);
        EXPECT_EQ(glyph(0x48), program->GlyphByCMap(3, 1, 'H'));
        EXPECT_EQ(glyph(0x69), program->GlyphByCMap(3, 1, 'i'));
        EXPECT_EQ(glyph(0x416), program->GlyphByCMap(3, 1, 0x416));
        EXPECT_NE(glyph(0x416), 0u);
        EXPECT_NE(glyph(3), 0u);
        EXPECT_EQ(program->Advance(glyph(0x48)), std::lround(722.0 * program->UnitsPerEm() / 1000));
        EXPECT_EQ(qvx::PDF::FindStream(copy.Get(11), "CIDSet") != nullptr, level == k1B);
    }
}

TEST(FontReplacement, CJKFontLackingLatinLetters)
{
    REQUIRE_FONT(kDroid);
    // pdftoppm draws the original with fontconfig's Japanese font; where that is another
    // (Noto Sans CJK, whose CFF outlines a FontFile2 cannot carry), the looks differ by design.
    if (qvx::Test::Run({"/usr/bin/fc-match", "-f", "%{file}", ":lang=ja"}).output != kDroid)
        GTEST_SKIP() << "fontconfig's Japanese font is not " << kDroid;
    // Droid Sans Fallback has Japanese but no Latin letters. A Japanese font shows both,
    // through UniJIS-UCS2-H (codes are UTF-16: "Ab 日本" with a space, which the collection
    // would read as a no-break space) and through the vertical 90ms-RKSJ-V. Readers draw
    // Droid's box for the letters: so does the copy, with boxes that are not .notdef, which
    // PDF/A-2 text may not show.
    struct Case {
        const char* cmap;
        std::string shown;
    };
    for (const Case& k : {Case{"UniJIS-UCS2-H", std::string("\0A\0b\0 \x65\xE5\x67\x2C", 10)},
                          Case{"90ms-RKSJ-V", "Ab \x82\xA0\x82\xA2"}}) {
        for (int level : {k1B, k2B}) {
            SCOPED_TRACE(std::string(k.cmap) + " " + std::to_string(level));
            PdfBuilder b = Page(level, "BT /F1 20 Tf 10 180 Td <" + HexOf(k.shown) + "> Tj ET");
            b.Set(10, std::string("<</Type/Font/Subtype/Type0/BaseFont/KozMinPro-Regular/Encoding/") + k.cmap +
                          "/DescendantFonts[12 0 R]>>");
            b.Set(12, "<</Type/Font/Subtype/CIDFontType0/BaseFont/KozMinPro-Regular/CIDSystemInfo<</Registry(Adobe)"
                      "/Ordering(Japan1)/Supplement 2>>/FontDescriptor 11 0 R/W[1[250]34[600]66[500]231 632 500]>>");
            b.Set(11, "<</Type/FontDescriptor/FontName/KozMinPro-Regular/Flags 6/FontBBox[0 -141 1000 859]"
                      "/ItalicAngle 0/Ascent 859/Descent -141/CapHeight 700/StemV 80>>");
            auto c = Convert(b.Build(), level);
            ExpectAllEmbedded(*c, "341(10)");
            EXPECT_TRUE(SameLook(c->in, c->out));
        }
    }
}

TEST(FontReplacement, ConfigurationEntryWinsOverSystemMatch)
{
    REQUIRE_FONT(kDejaVuSerif);
    REQUIRE_FONT(kLiberation);
    auto& config = qvx::PDF::FontConfig::Instance();
    std::istringstream xml(std::string("<config><fonts>"
                                       "<subst><collection>identity</collection><file>/nonexistent/x.ttf</file>"
                                       "<name>Arial</name></subst>"
                                       "<subst collection='identity' file='") +
                           kDejaVuSerif + "' name='Arial'/></fonts></config>");
    config.Load(xml);
    // The missing file is said once, by whoever loaded the configuration.
    EXPECT_EQ(config.MissingFiles(), std::vector<std::string>{"/nonexistent/x.ttf"});
    PdfBuilder b = Page(k2B, "BT /F1 14 Tf 10 100 Td (Hello) Tj ET");
    SetArial(b);
    auto c = Convert(b.Build(), k2B);
    config.Clear();
    EXPECT_EQ(c->again, "");
    CopyReader copy(c->out);
    std::string program = CopyReader::Decoded(copy.Get(11), "FontFile2");
    EXPECT_TRUE(ProgramNames(program, "DejaVu Serif"));
    EXPECT_FALSE(ProgramNames(program, "Liberation"));

    // An entry names a Chinese font as people write it; the document names it in GBK bytes,
    // with a style after it.
    std::istringstream chinese(std::string("<config><fonts><subst collection='identity' file='") + kDejaVuSerif +
                               "' name='\xE5\xAE\x8B\xE4\xBD\x93'/></fonts></config>");
    config.Load(chinese);
    b.Set(10, "<</Type/Font/Subtype/TrueType/BaseFont/#CB#CE#CC#E5,Bold/FirstChar 32/LastChar 126/Widths " +
                  ArialWidths() + "/Encoding/WinAnsiEncoding/FontDescriptor 11 0 R>>");
    b.Set(11, "<</Type/FontDescriptor/FontName/#CB#CE#CC#E5,Bold/Flags 32/FontBBox[-665 -325 2000 1006]"
              "/ItalicAngle 0/Ascent 905/Descent -212/CapHeight 716/StemV 80>>");
    auto gbk = Convert(b.Build(), k2B);
    config.Clear();
    EXPECT_EQ(gbk->again, "");
    CopyReader gbk_copy(gbk->out);
    EXPECT_TRUE(ProgramNames(CopyReader::Decoded(gbk_copy.Get(11), "FontFile2"), "DejaVu Serif"));
}

TEST(FontReplacement, TypeZeroFontWithoutDescendant)
{
    REQUIRE_FONT(kLiberation);
    // A producer wrote DescendantFonts [null]: readers have no CIDFont to draw "AB⭐" with.
    // The copy gets an Identity CIDFont holding a substitute; the star, which no font here
    // has, is drawn as a missing glyph, and the text stays.
    PdfBuilder b = Page(k2B, "BT /F1 20 Tf 10 100 Td <004100422B50> Tj ET");
    b.Set(10, "<</Type/Font/Subtype/Type0/BaseFont/ABCDEF+NotoSans/Encoding/Identity-H/DescendantFonts[null]"
              "/ToUnicode 13 0 R>>");
    b.SetStream(13, "", "1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
                        "3 beginbfchar <0041> <0041> <0042> <0042> <2B50> <2B50> endbfchar\n");
    std::string pdf = b.Build();
    EXPECT_EQ(Findings(pdf, k2B), "12(3)");
    auto c = Convert(pdf, k2B);
    ExpectAllEmbedded(*c, "341(10)");
    CopyReader copy(c->out);
    Obj* desc = qvx::PDF::Deref(qvx::PDF::FindArray(copy.Get(10), "DescendantFonts")->GetAt(0));
    ASSERT_TRUE(desc && desc->IsDict());
    EXPECT_EQ(CopyReader::Text(qvx::PDF::FindDict(desc, "CIDSystemInfo"), "Ordering"), "Identity");
    auto r = qvx::Test::Run({"/usr/bin/pdftotext", c->out.string(), "-"});
    EXPECT_NE(r.output.find("AB\xE2\xAD\x90"), std::string::npos) << r.output;
}

TEST(FontReplacement, ReferencesToFreeEntriesReadAsAbsent)
{
    REQUIRE_FONT(kLiberation);
    REQUIRE_FONT(kNimbusSans);
    // A damaged table can leave free an entry the file still refers to: here the catalog's
    // metadata and permissions, the font's program, and the trailer's Info or its title (12
    // to 15 are free). Each reads as absent, as other readers take it: the run gives a
    // verdict, and the copy gets a program, new metadata and no dangling permissions.
    for (const char* info : {"15 0 R", "16 0 R"}) {
        SCOPED_TRACE(info);
        PdfBuilder b = Page(k2B, "BT /F1 14 Tf 10 100 Td (Hello World) Tj ET");
        SetArial(b, "/FontFile2 12 0 R");
        b.Set(1, "<</Type/Catalog/Pages 2 0 R/Metadata 14 0 R/Perms 13 0 R>>");
        b.Set(16, "<</Producer(free entries)/Title 15 0 R>>");
        b.SetTrailer(std::string("/Root 1 0 R/Info ") + info +
                     "/ID[<00112233445566778899AABBCCDDEEFF><00112233445566778899AABBCCDDEEFF>]");
        auto c = Convert(b.Build(), k2B);
        ExpectAllEmbedded(*c, "341(10) 721(1)");
        EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));
        CopyReader copy(c->out);
        EXPECT_EQ(qvx::PDF::FindIn(copy.Get(1), "Perms"), nullptr);
    }
}
