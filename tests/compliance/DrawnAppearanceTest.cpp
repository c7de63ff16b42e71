// Annotations that came without an appearance get one drawn from their entries, as viewers
// draw them: shapes, ink, text markup, notes, free text, stamps and form fields, with text
// in any script.
#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "pdf/FontProgram.h"
#include "tests/compliance/ConversionTestSupport.h"

using namespace qvx::Test;

TEST(ConversionFidelity, AnnotationsWithoutAppearanceAreDrawnFromTheirEntries)
{
    TempDir dir;
    // A 200 x 200 page: a blue-filled square, a red ink stroke, yellow highlighting over
    // grey text, a polygon, a note and a free text box (filled with its C, framed in its
    // text's colour); then form fields, drawn from their values as viewers draw fields
    // that have no appearance, whether or not the form asks them to (NeedAppearances).
    auto file = [](bool need_appearances) {
        PdfBuilder b = ColourFile(k2B, "<</Font<</F1 9 0 R>>>>", "0.5 g 0 0 0 rg BT /F1 20 Tf 105 155 Td (Mark) Tj ET",
                                  "/Annots[10 0 R 11 0 R 12 0 R 13 0 R 14 0 R 15 0 R 16 0 R 17 0 R 18 0 R]");
        b.Set(1, "<</Type/Catalog/Pages 2 0 R/Metadata 5 0 R/AcroForm<</Fields[15 0 R 16 0 R 18 0 R]/DA(/Helv 0 Tf 0 g)" +
                     std::string(need_appearances ? "/NeedAppearances true" : "") + ">>>>");
        b.Set(9, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica/Encoding/WinAnsiEncoding>>");
        b.Set(10, "<</Type/Annot/Subtype/Square/F 4/Rect[10 10 90 90]/C[0 0 0]/IC[0 0 1]/BS<</W 4>>>>");
        b.Set(11, "<</Type/Annot/Subtype/Ink/F 4/Rect[100 10 190 90]/C[1 0 0]/BS<</W 6>>/InkList[[110 50 180 50]]>>");
        b.Set(12, "<</Type/Annot/Subtype/Highlight/F 4/Rect[100 150 190 180]/C[1 1 0]"
                  "/QuadPoints[100 180 190 180 100 150 190 150]>>");
        b.Set(13, "<</Type/Annot/Subtype/Polygon/F 4/Rect[10 100 90 140]/C[0 1 0]/IC[0 1 0]"
                  "/Vertices[10 100 90 100 50 140]>>");
        b.Set(14, "<</Type/Annot/Subtype/Text/F 4/Rect[170 100 190 120]/C[1 0.5 0]>>");
        b.Set(15, "<</Type/Annot/Subtype/Widget/F 4/FT/Tx/T(name)/V(Hello)/Rect[10 160 90 190]/MK<</BC[0 0 0]>>>>");
        b.Set(16, "<</Type/Annot/Subtype/Widget/F 4/FT/Btn/T(ok)/V/Yes/Rect[150 100 165 115]>>");
        b.Set(18, "<</Type/Annot/Subtype/Widget/F 4/FT/Ch/Ff 131072/T(colour)/Opt[[(r)(Red)][(g)(Green)]]/V(g)"
                  "/DA(/Helv 8 Tf 0 g)/Rect[100 185 190 198]>>");
        b.Set(17, "<</Type/Annot/Subtype/FreeText/F 4/Rect[100 95 145 145]/C[0 0 1]/Border[0 0 8]"
                  "/DA(/Helv 10 Tf 1 0 0 rg)/Contents()>>");
        return b.Build();
    };
    fs::path in = dir.Write("annots.pdf", file(true));
    fs::path out = Convert(file(true), k2B, dir, "annots_pdfa.pdf");
    PDFACompliance again(false, ToBytes(ReadFile(out)), nullptr, k2B, nullptr, 0, 0, false);
    EXPECT_EQ(Findings(again), "");
    // Where pdftoppm draws the annotations of the original itself, the copy shows the same.
    struct Spot {
        double x, y;
        const char* what;
    };
    for (const Spot& s : {Spot{0.25, 0.75, "square fill"}, Spot{0.05, 0.75, "square border"},
                          Spot{0.725, 0.75, "ink"}, Spot{0.25, 0.35, "polygon"}, Spot{0.9, 0.15, "highlight"},
                          Spot{0.6, 0.75, "nothing"}, Spot{0.61, 0.4, "free text fill"}, Spot{0.51, 0.4, "free text border"}}) {
        std::string before = PixelAt(in, s.x, s.y), after = PixelAt(out, s.x, s.y);
        EXPECT_TRUE(Near(before, after)) << s.what << ": " << before << " became " << after;
    }
    EXPECT_TRUE(Near(PixelAt(out, 0.25, 0.75), "0 0 255")) << PixelAt(out, 0.25, 0.75);
    EXPECT_TRUE(Near(PixelAt(out, 0.725, 0.75), "255 0 0")) << PixelAt(out, 0.725, 0.75);
    EXPECT_TRUE(Near(PixelAt(out, 0.61, 0.4), "0 0 255")) << PixelAt(out, 0.61, 0.4);
    EXPECT_TRUE(Near(PixelAt(out, 0.51, 0.4), "255 0 0")) << PixelAt(out, 0.51, 0.4);

    // The fields: the text value written with the form's font, the check box in its on state.
    auto appearance = [](const fs::path& pdf, int annot) {
        qvx::SDF::SDFDoc doc;
        doc.OpenFile(pdf.string());
        qvx::SDF::Obj* ap = qvx::PDF::FindDict(qvx::PDF::Deref(doc.GetObj(annot)), "AP");
        qvx::SDF::Obj* n = qvx::PDF::Deref(qvx::PDF::FindIn(ap, "N"));
        std::string out;
        if (n && n->IsDict()) {
            out = "states:";
            for (auto it = n->DictBegin(); it.HasNext(); it.Next()) out += " " + std::string(it.KeyText());
        } else if (n && n->IsStream())
            if (auto bytes = qvx::PDF::ReadDecoded(n, 1 << 20)) out = std::string(bytes->begin(), bytes->end());
        return out + " AS=" + std::string(qvx::PDF::FindName(qvx::PDF::Deref(doc.GetObj(annot)), "AS"));
    };
    EXPECT_NE(appearance(out, 15).find("(Hello) Tj"), std::string::npos) << appearance(out, 15);
    // A border colour without a border width frames nothing in viewers (a free text box
    // keeps its one unit).
    EXPECT_EQ(appearance(out, 15).find(" RG"), std::string::npos) << appearance(out, 15);
    EXPECT_EQ(appearance(out, 16), "states: Off Yes AS=Yes");
    // A note's icon keeps the size viewers give it, 20 units from the top left corner of
    // its rectangle, however large the rectangle.
    PdfBuilder note = ColourFile(k2B, "<<>>", "", "/Annots[10 0 R]");
    note.Set(10, "<</Type/Annot/Subtype/Text/F 4/Rect[20 20 180 180]/C[1 0 0]>>");
    fs::path note_in = dir.Write("note.pdf", note.Build());
    fs::path note_out = Convert(note.Build(), k2B, dir, "note_pdfa.pdf");
    EXPECT_TRUE(Near(PixelAt(note_in, 0.5, 0.5), "255 255 255")) << PixelAt(note_in, 0.5, 0.5);
    EXPECT_TRUE(Near(PixelAt(note_out, 0.5, 0.5), "255 255 255")) << PixelAt(note_out, 0.5, 0.5);
    EXPECT_FALSE(Near(PixelAt(note_out, 0.14, 0.14), "255 255 255")) << PixelAt(note_out, 0.14, 0.14);

    // An annotation's opacity: viewers paint what they draw for it at CA.
    PdfBuilder faint = ColourFile(k2B, "<<>>", "", "/Annots[10 0 R]");
    faint.Set(10, "<</Type/Annot/Subtype/Square/F 4/Rect[20 20 180 180]/C[0 0 1]/IC[0 0 1]/CA 0.5>>");
    fs::path faint_in = dir.Write("faint.pdf", faint.Build());
    fs::path faint_out = Convert(faint.Build(), k2B, dir, "faint_pdfa.pdf");
    EXPECT_TRUE(Near(PixelAt(faint_in, 0.5, 0.5), PixelAt(faint_out, 0.5, 0.5)))
        << PixelAt(faint_in, 0.5, 0.5) << " became " << PixelAt(faint_out, 0.5, 0.5);
    EXPECT_TRUE(Near(PixelAt(faint_out, 0.5, 0.5), "128 128 255")) << PixelAt(faint_out, 0.5, 0.5);

    fs::path plain_in = dir.Write("plain.pdf", file(false));
    fs::path plain = Convert(file(false), k2B, dir, "plain_pdfa.pdf");
    EXPECT_NE(appearance(plain, 15).find("(Hello) Tj"), std::string::npos) << appearance(plain, 15);
    EXPECT_EQ(appearance(plain, 16), "states: Off Yes AS=Yes");
    // A combo box shows the text its options pair with the value exported.
    EXPECT_NE(appearance(plain, 18).find("(Green) Tj"), std::string::npos) << appearance(plain, 18);

    // A check box's states stand in its AP directly (poppler draws none that N refers to),
    // and show the mark its MK names: a square here, a star beside it.
    PdfBuilder box = ColourFile(k2B, "<<>>", "", "/Annots[10 0 R 11 0 R]");
    box.Set(1, "<</Type/Catalog/Pages 2 0 R/Metadata 5 0 R/AcroForm<</Fields[10 0 R 11 0 R]>>>>");
    box.Set(10, "<</Type/Annot/Subtype/Widget/F 4/FT/Btn/T(a)/V/On/AS/On/MK<</CA(n)>>/DA(/ZaDb 0 Tf 0 g)"
                "/Rect[10 60 90 140]>>");
    box.Set(11, "<</Type/Annot/Subtype/Widget/F 4/FT/Btn/T(b)/V/On/AS/On/MK<</CA(H)>>/DA(/ZaDb 0 Tf 0 g)"
                "/Rect[110 60 190 140]>>");
    fs::path box_in = dir.Write("box.pdf", box.Build());
    fs::path box_out = Convert(box.Build(), k2B, dir, "box_pdfa.pdf");
    {
        qvx::SDF::SDFDoc doc;
        doc.OpenFile(box_out.string());
        qvx::SDF::Obj* n = qvx::PDF::FindDict(qvx::PDF::Deref(doc.GetObj(10)), "AP")->FindObj("N");
        EXPECT_TRUE(n && n->IsDict() && !n->IsIndirect());
        EXPECT_TRUE(n && qvx::PDF::FindStream(n, "On") && qvx::PDF::FindStream(n, "Off"));
    }
    for (const fs::path& pdf : {box_in, box_out}) {
        EXPECT_TRUE(Near(PixelAt(pdf, 0.25, 0.5), "0 0 0")) << pdf << ": " << PixelAt(pdf, 0.25, 0.5);
        EXPECT_TRUE(Near(PixelAt(pdf, 0.75, 0.5), "0 0 0")) << pdf << ": " << PixelAt(pdf, 0.75, 0.5);
    }
    // A star, not a check mark: its lower notch is not filled.
    EXPECT_TRUE(Near(PixelAt(box_out, 0.75, 0.6), "255 255 255")) << PixelAt(box_out, 0.75, 0.6);

    // A font size of 0 sizes a single line to the field's height: a bullet in a field 80
    // units high is 28 units across, its centre 24 units above a baseline 8 units up.
    PdfBuilder tall = ColourFile(k2B, "<<>>", "", "/Annots[10 0 R]");
    tall.Set(1, "<</Type/Catalog/Pages 2 0 R/Metadata 5 0 R/AcroForm<</Fields[10 0 R]/DA(/Helv 0 Tf 0 g)>>>>");
    tall.Set(10, "<</Type/Annot/Subtype/Widget/F 4/FT/Tx/T(big)/V<FEFF2022>/Rect[10 20 190 100]>>");
    fs::path tall_in = dir.Write("tall.pdf", tall.Build());
    fs::path tall_out = Convert(tall.Build(), k2B, dir, "tall_pdfa.pdf");
    for (const fs::path& pdf : {tall_in, tall_out})
        EXPECT_TRUE(Near(PixelAt(pdf, 0.13, 0.74), "0 0 0")) << pdf << ": " << PixelAt(pdf, 0.13, 0.74);

    // A comb field: each character centred in one of MaxLen equal cells, 40 units wide here.
    PdfBuilder comb = ColourFile(k2B, "<<>>", "", "/Annots[10 0 R]");
    comb.Set(1, "<</Type/Catalog/Pages 2 0 R/Metadata 5 0 R/AcroForm<</Fields[10 0 R]/DA(/Helv 0 Tf 0 g)>>>>");
    comb.Set(10, "<</Type/Annot/Subtype/Widget/F 4/FT/Tx/Ff 16777216/MaxLen 4/T(pin)/V(1234)/DA(/Helv 10 Tf 0 g)"
                 "/Rect[20 90 180 110]>>");
    fs::path comb_out = Convert(comb.Build(), k2B, dir, "comb_pdfa.pdf");
    std::string cells = appearance(comb_out, 10);
    std::vector<double> xs;
    std::regex tm(R"re(1 0 0 1 ([0-9.]+) [0-9.]+ Tm)re");
    for (auto it = std::sregex_iterator(cells.begin(), cells.end(), tm); it != std::sregex_iterator(); ++it)
        xs.push_back(std::stod((*it)[1].str()));
    ASSERT_EQ(xs.size(), 4u) << cells;
    for (std::size_t i = 1; i < xs.size(); ++i) EXPECT_NEAR(xs[i] - xs[i - 1], 40, 0.01) << cells;
    EXPECT_NEAR(xs[0], 20 - 2.78, 0.1) << cells;  // a digit of Helvetica is 0.556 em wide
    // pdftotext reads the value in the original (poppler draws the field itself) and in the copy.
    for (const fs::path& pdf : {plain_in, plain}) {
        RunResult text = qvx::Test::Run({"/usr/bin/pdftotext", pdf.string(), "-"});
        EXPECT_NE(text.output.find("Hello"), std::string::npos) << pdf << ": " << text.output;
    }
}

TEST(ConversionFidelity, TextMarkupLinesAreDrawnWhereViewersDrawThem)
{
    TempDir dir;
    // Quads 12 units high on y 100 to 112, as on 12-point text: an underline one unit wide
    // on the bottom edge, a strike-out across the middle; a quad 48 high gets lines of 3.
    PdfBuilder b = ColourFile(k2B, "<<>>", "", "/Annots[9 0 R 10 0 R 11 0 R]");
    const std::string quad = "/QuadPoints[10 112 190 112 10 100 190 100]>>";
    b.Set(9, "<</Type/Annot/Subtype/Underline/F 4/Rect[10 100 190 112]/C[0 0 1]" + quad);
    b.Set(10, "<</Type/Annot/Subtype/StrikeOut/F 4/Rect[10 100 190 112]/C[1 0 0]" + quad);
    b.Set(11, "<</Type/Annot/Subtype/Underline/F 4/Rect[10 20 190 68]/C[0 0 1]/QuadPoints[10 68 190 68 10 20 190 20]>>");
    fs::path out = ConvertClean(b.Build(), k2B, dir, "markup_pdfa.pdf");
    qvx::SDF::SDFDoc doc;
    doc.OpenFile(out.string());
    EXPECT_NE(NormalAppearance(doc, 9).find("1 w\n10 100.5 m\n190 100.5 l\nS"), std::string::npos) << NormalAppearance(doc, 9);
    EXPECT_NE(NormalAppearance(doc, 10).find("1 w\n10 106 m\n190 106 l\nS"), std::string::npos) << NormalAppearance(doc, 10);
    EXPECT_NE(NormalAppearance(doc, 11).find("3 w\n10 21.5 m\n190 21.5 l\nS"), std::string::npos) << NormalAppearance(doc, 11);
}

TEST(ConversionFidelity, LinesWhoseRectHasNoAreaAreDrawnWhereViewersDrawThem)
{
    TempDir dir;
    // A red line across the middle of the page whose Rect has no height: the level wants an
    // appearance, viewers draw the line from L. The copy draws it there and takes a Rect
    // around it.
    PdfBuilder b = ColourFile(k2B, "<<>>", "", "/Annots[10 0 R]");
    b.Set(10, "<</Type/Annot/Subtype/Line/F 4/Rect[20 100 180 100]/L[20 100 180 100]/C[1 0 0]/BS<</W 6>>>>");
    fs::path in = dir.Write("line.pdf", b.Build());
    fs::path out = Convert(b.Build(), k2B, dir, "line_pdfa.pdf");
    PDFACompliance again(false, ToBytes(ReadFile(out)), nullptr, k2B, nullptr, 0, 0, false);
    EXPECT_EQ(Findings(again), "");
    EXPECT_TRUE(Near(PixelAt(out, 0.5, 0.5), "255 0 0")) << PixelAt(out, 0.5, 0.5);
    EXPECT_TRUE(Near(PixelAt(in, 0.5, 0.5), PixelAt(out, 0.5, 0.5))) << PixelAt(in, 0.5, 0.5);
    qvx::SDF::SDFDoc doc;
    doc.OpenFile(out.string());
    qvx::PDF::Rect rect;
    ASSERT_TRUE(qvx::PDF::ReadRect(qvx::PDF::FindIn(qvx::PDF::Deref(doc.GetObj(10)), "Rect"), rect));
    EXPECT_TRUE(rect.x1 <= 20 && rect.x2 >= 180 && rect.y1 < 100 && rect.y2 > 100)
        << rect.x1 << " " << rect.y1 << " " << rect.x2 << " " << rect.y2;
}

TEST(ConversionFidelity, HiddenAnnotationsStayHiddenAndFieldsShowTheirValues)
{
    TempDir dir;
    // Red squares with appearances of their own, hidden (F 2), neither viewed nor printed
    // (F 32), and shown (F 4); PDF/A clears the flags that hid the first two. The form asks
    // viewers to draw its fields from their values, so the text field shows "Hello" and not
    // the stale text of its appearance; a list box whose appearance is empty shows its
    // options from its top index, the one its value selects on a highlight.
    // An empty field names a font the file does not embed: nothing shows, so nothing needs it.
    PdfBuilder b = ColourFile(k2B, "<<>>", "", "/Annots[9 0 R 10 0 R 11 0 R 12 0 R 13 0 R 17 0 R]");
    b.Set(1, "<</Type/Catalog/Pages 2 0 R/Metadata 5 0 R/AcroForm<</Fields[12 0 R 13 0 R 17 0 R]"
             "/DA(/Helv 0 Tf 0 g)/DR<</Font<</Ar 18 0 R>>>>/NeedAppearances true>>>>");
    b.Set(17, "<</Type/Annot/Subtype/Widget/F 4/FT/Tx/T(empty)/V()/DA(/Ar 10 Tf 0 g)/Rect[10 60 110 90]>>");
    b.Set(18, "<</Type/Font/Subtype/TrueType/BaseFont/Arial/FirstChar 32/LastChar 32/Widths[278]"
              "/Encoding/WinAnsiEncoding/FontDescriptor 19 0 R>>");
    b.Set(19, "<</Type/FontDescriptor/FontName/Arial/Flags 32/FontBBox[-665 -325 2000 1006]/ItalicAngle 0"
              "/Ascent 905/Descent -212/CapHeight 716/StemV 80>>");
    const std::string red = "/Type/XObject/Subtype/Form/BBox[0 0 40 40]";
    b.SetStream(14, red, "1 0 0 rg 0 0 40 40 re f");
    b.Set(9, "<</Type/Annot/Subtype/Square/F 2/Rect[10 150 50 190]/AP<</N 14 0 R>>>>");
    b.Set(10, "<</Type/Annot/Subtype/Square/F 32/Rect[80 150 120 190]/AP<</N 14 0 R>>>>");
    b.Set(11, "<</Type/Annot/Subtype/Square/F 4/Rect[150 150 190 190]/AP<</N 14 0 R>>>>");
    b.SetStream(15, "/Type/XObject/Subtype/Form/BBox[0 0 100 30]", "BT /Helv 12 Tf 2 8 Td (Stale) Tj ET");
    b.Set(12, "<</Type/Annot/Subtype/Widget/F 4/FT/Tx/T(name)/V(Hello)/DA(/Helv 12 Tf 0 g)"
              "/Rect[10 10 110 40]/AP<</N 15 0 R>>>>");
    b.SetStream(16, "/Type/XObject/Subtype/Form/BBox[0 0 60 40]", "");
    b.Set(13, "<</Type/Annot/Subtype/Widget/F 4/FT/Ch/T(list)/V(3)/TI 1/Opt[(One)(Two)[(3)(Three)]]"
              "/DA(/Helv 10 Tf 0 g)/Rect[130 10 190 50]/AP<</N 16 0 R>>>>");
    fs::path in = dir.Write("hidden.pdf", b.Build());
    fs::path out = ConvertClean(b.Build(), k2B, dir, "hidden_pdfa.pdf");
    for (double x : {0.15, 0.5, 0.85}) {
        std::string before = PixelAt(in, x, 0.15), after = PixelAt(out, x, 0.15);
        EXPECT_TRUE(Near(before, after)) << x << ": " << before << " became " << after;
    }
    EXPECT_TRUE(Near(PixelAt(out, 0.85, 0.15), "255 0 0")) << PixelAt(out, 0.85, 0.15);
    EXPECT_TRUE(Near(PixelAt(out, 0.15, 0.15), "255 255 255")) << PixelAt(out, 0.15, 0.15);
    qvx::SDF::SDFDoc doc;
    doc.OpenFile(out.string());
    auto shown = [&](int annot) { return NormalAppearance(doc, annot); };
    EXPECT_NE(shown(12).find("(Hello) Tj"), std::string::npos) << shown(12);
    // The value names the export value (3) of the third option, shown as "Three".
    const std::string list = shown(13);
    EXPECT_EQ(list.find("(One) Tj"), std::string::npos) << list;
    const std::size_t two = list.find("(Two) Tj"), three = list.find("(Three) Tj"), mark = list.find("0.6 0.75 0.85 rg");
    ASSERT_TRUE(two != std::string::npos && three != std::string::npos && mark != std::string::npos) << list;
    EXPECT_LT(two, three);
    EXPECT_LT(mark, two);
}

TEST(ConversionFidelity, FieldTextIsPlacedAndEncodedAsViewersDrawIt)
{
    TempDir dir;
    // Text fields the form asks viewers to draw: the default border (1 point, no colour), no
    // border, a 3-point black border, and right-aligned text with a 3-point border. Then a
    // note and a field whose text has no-break spaces (U+00A0, U+202F), which Helvetica's
    // Latin encoding shows with its space, and a field with a character it cannot show at
    // all (U+0416), which is shown in a font of the system that has it.
    PdfBuilder b = ColourFile(k2B, "<<>>", "", "/Annots[9 0 R 10 0 R 11 0 R 12 0 R 13 0 R 14 0 R 15 0 R]");
    b.Set(1, "<</Type/Catalog/Pages 2 0 R/Metadata 5 0 R/AcroForm<</Fields[9 0 R 10 0 R 11 0 R 12 0 R 14 0 R 15 0 R]"
             "/DA(/Helv 12 Tf 0 g)/NeedAppearances true>>>>");
    const std::string field = "/Type/Annot/Subtype/Widget/F 4/FT/Tx/DA(/Helv 12 Tf 0 g)";
    b.Set(9, "<<" + field + "/T(a)/V(Hello)/Rect[10 10 110 30]>>");
    b.Set(10, "<<" + field + "/T(b)/V(Hello)/Rect[10 30 110 50]/BS<</W 0>>>>");
    b.Set(11, "<<" + field + "/T(c)/V(Hello)/Rect[10 50 110 70]/BS<</W 3>>/MK<</BC[0 0 0]>>>>");
    b.Set(12, "<<" + field + "/T(d)/V(Hello)/Q 2/Rect[10 70 110 90]/BS<</W 3>>/MK<</BC[0 0 0]>>>>");
    b.Set(13, "<</Type/Annot/Subtype/FreeText/F 4/Rect[10 150 190 190]/DA(/Helv 10 Tf 0 g)"
              "/Contents<FEFF004100A000A00042>>>");
    b.Set(14, "<<" + field + "/T(e)/Rect[10 100 110 120]/V<FEFF0043202F0044>>>");
    b.Set(15, "<<" + field + "/T(f)/Rect[10 120 110 140]/V<FEFF00450416>>>");
    fs::path out = ConvertClean(b.Build(), k2B, dir, "fields_pdfa.pdf");
    qvx::SDF::SDFDoc doc;
    doc.OpenFile(out.string());
    // The horizontal text position the field's appearance sets (its own space starts at the
    // field's edge), or -1.
    auto text_x = [&](int annot) {
        std::string s = NormalAppearance(doc, annot);
        std::size_t at = s.find("1 0 0 1 ");
        return at == std::string::npos ? -1.0 : std::strtod(s.c_str() + at + 8, nullptr);
    };
    EXPECT_DOUBLE_EQ(text_x(9), 2);
    EXPECT_DOUBLE_EQ(text_x(10), 2);
    EXPECT_DOUBLE_EQ(text_x(11), 6);
    // "Hello" in Helvetica at 12 points is 27.336 points wide; it ends 6 points before the
    // right edge of the 100-point field.
    EXPECT_NEAR(text_x(12), 100 - 6 - 27.336, 0.01);
    EXPECT_NE(NormalAppearance(doc, 13).find("(A  B) Tj"), std::string::npos) << NormalAppearance(doc, 13);
    EXPECT_NE(NormalAppearance(doc, 14).find("(C D) Tj"), std::string::npos) << NormalAppearance(doc, 14);
    EXPECT_EQ(NormalAppearance(doc, 15).find("Tj"), std::string::npos) << NormalAppearance(doc, 15);
    EXPECT_NE(NormalAppearance(doc, 15).find("] TJ"), std::string::npos) << NormalAppearance(doc, 15);
}

TEST(ConversionFidelity, TextInOtherScriptsIsDrawnInEmbeddedSubsets)
{
    TempDir dir;
    // UTF-16BE of text, as a hex string.
    auto utf16 = [](const std::u16string& text) {
        std::string out = "<FEFF";
        char buf[8];
        for (char16_t u : text) {
            std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(u));
            out += buf;
        }
        return out + ">";
    };
    // Lines in Cyrillic, Arabic (written right to left, its letters joined) and Chinese, none
    // of which Helvetica's Latin encoding has; then a field with Cyrillic and a character
    // no font of the system has (U+10FFFD), whose other characters are still drawn, and
    // notes whose default style or rich text names the family their Cyrillic is set in; last
    // a field that mixes Latin and Arabic, each read in its own direction.
    const std::string text = utf16(u"Привет мир\nمرحبا بالعالم\n你好世界 2024");
    for (int level : {k1B, k2B, k2U, k3B, k4}) {
        PdfBuilder b = ColourFile(level, "<<>>", "", "/Annots[9 0 R 10 0 R 11 0 R 12 0 R 13 0 R 14 0 R]");
        b.Set(1, "<</Type/Catalog/Pages 2 0 R/Metadata 5 0 R/AcroForm<</Fields[10 0 R 11 0 R 14 0 R]"
                 "/DA(/Helv 12 Tf 0 g)/NeedAppearances true>>>>");
        b.Set(9, "<</Type/Annot/Subtype/FreeText/F 4/Rect[10 140 190 195]/DA(/Helv 10 Tf 0 g)/Contents" + text + ">>");
        b.Set(10, "<</Type/Annot/Subtype/Widget/F 4/FT/Tx/Ff 4096/T(a)/DA(/Helv 10 Tf 0 g)/Rect[10 40 190 110]/V" +
                      text + ">>");
        b.Set(11, "<</Type/Annot/Subtype/Widget/F 4/FT/Tx/T(b)/DA(/Helv 10 Tf 0 g)/Rect[10 10 190 30]/V" +
                      utf16(u"Жук \U0010FFFD") + ">>");
        b.Set(12, "<</Type/Annot/Subtype/FreeText/F 4/Rect[100 10 190 30]/DA(/Helv 10 Tf 0 g)"
                  "/DS(font: bold 10pt 'DejaVu Serif', serif; color: #000000)/Contents" + utf16(u"Жук") + ">>");
        b.Set(13, "<</Type/Annot/Subtype/FreeText/F 4/Rect[100 30 190 50]/DA(/Helv 10 Tf 0 g)/RC(<body><p style=\"font-family:"
                  "DejaVu Serif\">Жук</p></body>)/Contents" + utf16(u"Жук") + ">>");
        b.Set(14, "<</Type/Annot/Subtype/Widget/F 4/FT/Tx/T(c)/DA(/Helv 10 Tf 0 g)/Rect[10 115 190 135]/V" +
                      utf16(u"Hello مرحبا, world") + ">>");
        const std::string name = "scripts" + std::to_string(level) + "_pdfa.pdf";
        fs::path out = ConvertClean(b.Build(), level, dir, name);
        // Text extraction gives the words back, each once per annotation drawn (PDF/A-1 asks an
        // appearance of widgets only, and the note is left to readers). pdftotext marks the
        // embedding of right-to-left text with U+202A..U+202C, which are not part of words.
        const int drawn = level == k1B ? 1 : 2;
        RunResult r = qvx::Test::Run({"/usr/bin/pdftotext", out.string(), "-"});
        std::string extracted;
        for (std::size_t i = 0; i < r.output.size(); ++i) {
            if (r.output.compare(i, 2, "\xE2\x80") == 0 && i + 2 < r.output.size() &&
                static_cast<unsigned char>(r.output[i + 2]) >= 0xAA && static_cast<unsigned char>(r.output[i + 2]) <= 0xAC) {
                i += 2;
                continue;
            }
            extracted += r.output[i];
        }
        std::istringstream words(extracted);
        std::map<std::string, int> count;
        for (std::string word; words >> word;) ++count[word];
        for (const char* word : {"Привет", "мир", "مرحبا", "بالعالم", "你好世界"})
            EXPECT_EQ(count[word], drawn) << name << " " << word << "\n" << r.output;
        // The digits show twice at every level: at PDF/A-1 readers draw the note's Latin ones.
        EXPECT_EQ(count["2024"], 2) << name << "\n" << r.output;
        EXPECT_EQ(count["Жук"], level == k1B ? 1 : 3) << name << "\n" << r.output;
        EXPECT_NE(extracted.find("Hello مرحبا, world"), std::string::npos) << name << "\n" << r.output;

        // Each appearance's fonts are Type 0 fonts over embedded TrueType subsets of a few glyphs.
        qvx::SDF::SDFDoc doc;
        doc.OpenFile(out.string());
        for (int annot : {9, 10, 11, 12, 13, 14}) {
            if ((annot == 9 || annot == 12 || annot == 13) && level == k1B) continue;
            qvx::SDF::Obj* n = qvx::PDF::FindIn(qvx::PDF::FindDict(qvx::PDF::Deref(doc.GetObj(annot)), "AP"), "N");
            qvx::SDF::Obj* fonts = qvx::PDF::FindDict(qvx::PDF::FindDict(qvx::PDF::Deref(n), "Resources"), "Font");
            ASSERT_NE(fonts, nullptr) << name << " " << annot;
            for (auto it = fonts->DictBegin(); it.HasNext(); it.Next()) {
                qvx::SDF::Obj* font = qvx::PDF::Deref(it.Value());
                EXPECT_EQ(qvx::PDF::FindName(font, "Subtype"), "Type0");
                EXPECT_EQ(qvx::PDF::FindName(font, "Encoding"), "Identity-H");
                qvx::SDF::Obj* cid = qvx::PDF::Deref(qvx::PDF::FindArray(font, "DescendantFonts")->GetAt(0));
                EXPECT_EQ(qvx::PDF::FindName(cid, "Subtype"), "CIDFontType2");
                EXPECT_EQ(qvx::PDF::FindName(cid, "CIDToGIDMap"), "Identity");
                EXPECT_EQ(qvx::PDF::FindName(cid, "BaseFont").substr(6, 1), "+");
                qvx::SDF::Obj* file = qvx::PDF::FindIn(qvx::PDF::FindDict(cid, "FontDescriptor"), "FontFile2");
                auto bytes = file ? qvx::PDF::ReadDecoded(qvx::PDF::Deref(file), 1 << 24) : std::nullopt;
                ASSERT_TRUE(bytes) << name << " " << annot;
                auto program = qvx::PDF::FontProgram::Open(*bytes);
                ASSERT_NE(program, nullptr) << name << " " << annot;
                EXPECT_LE(program->GlyphCount(), 40) << name << " " << annot;
                if (annot == 12 || annot == 13) {
                    EXPECT_NE(qvx::PDF::FindName(cid, "BaseFont").find("+DejaVuSerif"), std::string::npos);
                }
            }
        }
    }
}

TEST(DrawnAppearance, StampsShowTheirNameInAFrame)
{
    // A red NotApproved stamp, one without a name, and one whose name is no word (a custom
    // stamp's): viewers show the name in capitals in a frame, DRAFT for the other two. (PDF/A-1
    // asks no appearance of them.)
    TempDir dir;
    PdfBuilder b = ColourFile(k2B, "<<>>", "", "/Annots[10 0 R 11 0 R 12 0 R]");
    b.Set(10, "<</Type/Annot/Subtype/Stamp/F 4/Rect[20 60 180 140]/Name/NotApproved/C[1 0 0]>>");
    b.Set(11, "<</Type/Annot/Subtype/Stamp/F 4/Rect[20 10 100 50]>>");
    b.Set(12, "<</Type/Annot/Subtype/Stamp/F 4/Rect[110 10 190 50]/Name/#23D7a6E2F0>>");
    for (int level : {k2B, k4}) {
        const std::string name = "stamps" + std::to_string(level) + "_pdfa.pdf";
        fs::path out = ConvertClean(b.Build(), level, dir, name);
        qvx::SDF::SDFDoc doc;
        doc.OpenFile(out.string());
        EXPECT_NE(NormalAppearance(doc, 10).find("(NOT APPROVED) Tj"), std::string::npos) << NormalAppearance(doc, 10);
        EXPECT_NE(NormalAppearance(doc, 11).find("(DRAFT) Tj"), std::string::npos) << NormalAppearance(doc, 11);
        EXPECT_NE(NormalAppearance(doc, 12).find("(DRAFT) Tj"), std::string::npos) << NormalAppearance(doc, 12);
        // The frame in the stamp's colour, its inside left white; readers read the name.
        EXPECT_TRUE(Near(PixelAt(out, 0.11, 0.5), "255 0 0")) << PixelAt(out, 0.11, 0.5);
        EXPECT_TRUE(Near(PixelAt(out, 0.2, 0.35), "255 255 255")) << PixelAt(out, 0.2, 0.35);
        RunResult text = qvx::Test::Run({"/usr/bin/pdftotext", out.string(), "-"});
        EXPECT_NE(text.output.find("NOT APPROVED"), std::string::npos) << text.output;
    }
}
