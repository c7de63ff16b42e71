// Converted copies keep what the original shows: the pages the reader found (qpdf counts the
// same), calibrated colour, and the sRGB output intent with its fixed profile.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

#include "common/Exception.h"
#include "common/UString.h"
#include "pdf/FontProgram.h"
#include "pdf/ObjUtil.h"
#include "pdf/PageTree.h"
#include "pdf/StreamData.h"
#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"
#include "tests/compliance/ColourTestSupport.h"
#include "tests/support/TestEnv.h"

using namespace qvx::Test;
using qvx::PDF::PDFACompliance;
namespace fs = std::filesystem;

namespace {

// Converts pdf at level into dir/name and returns its path.
fs::path Convert(const std::string& pdf, int level, const TempDir& dir, const std::string& name)
{
    PDFACompliance run(true, ToBytes(pdf), nullptr, level, nullptr, 0, 0, false);
    fs::path out = dir.Path() / name;
    run.SaveAs(qvx::Common::UString::FromFileName(out.string()), false);
    return out;
}

// Converts pdf like Convert and expects the copy to pass revalidation; returns its path.
fs::path ConvertClean(const std::string& pdf, int level, const TempDir& dir, const std::string& name)
{
    fs::path out = Convert(pdf, level, dir, name);
    PDFACompliance again(false, ToBytes(ReadFile(out)), nullptr, level, nullptr, 0, 0, false);
    EXPECT_EQ(Findings(again), "") << name;
    return out;
}

std::string QpdfPages(const fs::path& p)
{
    RunResult r = qvx::Test::Run({"/usr/bin/qpdf", "--show-npages", p.string()});
    return r.status == 0 || r.status == 3 ? r.output : "qpdf failed: " + r.output;
}

// The colour of a pixel of page 1 as pdftoppm draws it, "r g b", at fractions of the
// page's width and height from its top left corner.
std::string PixelAt(const fs::path& pdf, double fx, double fy)
{
    fs::path prefix = pdf;
    prefix.replace_extension("");
    RunResult r = qvx::Test::Run({"/usr/bin/pdftoppm", "-r", "18", "-f", "1", "-l", "1", "-singlefile", pdf.string(), prefix.string()});
    std::string ppm = ReadFile(prefix.string() + ".ppm");
    std::istringstream in(ppm);
    std::string magic;
    int w = 0, h = 0, max = 0;
    in >> magic >> w >> h >> max;
    in.get();
    const int x = static_cast<int>(fx * w), y = static_cast<int>(fy * h);
    std::size_t at = static_cast<std::size_t>(in.tellg()) + 3 * static_cast<std::size_t>(y * w + x);
    if (magic != "P6" || at + 3 > ppm.size()) return "no image: " + r.output;
    auto c = [&](int i) { return std::to_string(static_cast<unsigned char>(ppm[at + i])); };
    return c(0) + " " + c(1) + " " + c(2);
}

std::string MiddlePixel(const fs::path& pdf) { return PixelAt(pdf, 0.5, 0.5); }

// The decoded normal appearance stream of an annotation, or "no stream".
std::string NormalAppearance(qvx::SDF::SDFDoc& doc, int annot)
{
    qvx::SDF::Obj* n = qvx::PDF::FindIn(qvx::PDF::FindDict(qvx::PDF::Deref(doc.GetObj(annot)), "AP"), "N");
    auto bytes = n && n->IsStream() ? qvx::PDF::ReadDecoded(n, 1 << 20) : std::nullopt;
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("no stream");
}

bool Near(const std::string& a, const std::string& b)
{
    std::istringstream x(a), y(b);
    for (int i = 0; i < 3; ++i) {
        int u = -1000, v = 1000;
        x >> u;
        y >> v;
        if (std::abs(u - v) > 16) return false;
    }
    return true;
}

}  // namespace

TEST(ConversionFidelity, BrokenPageTreesAreWrittenFromThePagesFound)
{
    TempDir dir;
    auto tree = [](const std::string& pages) {
        PdfBuilder b = CleanFile(k2B);
        b.Set(2, pages);
        b.Set(3, "<</Type/Page/Parent 2 0 R/Contents 4 0 R>>");
        b.Set(6, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 400]/Contents 4 0 R>>");
        b.Set(7, "<</Kids[6 0 R]/Count 1>>");  // an intermediate node without Type
        b.Set(8, "42");
        return b.Build();
    };
    const std::string inherit = "/MediaBox[0 0 500 600]/Resources<<>>";
    struct Case {
        std::string pages;
        std::size_t count;
    };
    for (const Case& c : {Case{"<</Type/Pages/Kids[3 0 R 6 0 R]/Count 213000000" + inherit + ">>", 2},
                          Case{"<</Type/Pages/Kids[3 0 R 6 0 R 3 0 R]/Count 3" + inherit + ">>", 3},
                          Case{"<</Type/Pages/Kids[3 0 R 8 0 R 7 0 R 9 0 R]/Count 2" + inherit + ">>", 2},
                          Case{"<</Type/Pages/Kids[2 0 R 3 0 R]/Count 1" + inherit + ">>", 1},
                          // No page reachable: the page objects found in the file make the tree.
                          Case{"<</Type/Pages/Kids 3 0 R/Count 1" + inherit + ">>", 2},
                          Case{"<</Type/Pages/Count 2" + inherit + ">>", 2}}) {
        fs::path out = Convert(tree(c.pages), k2B, dir, "tree.pdf");
        EXPECT_EQ(QpdfPages(out), std::to_string(c.count) + "\n") << c.pages;
        qvx::SDF::SDFDoc doc;
        doc.OpenFile(out.string());
        qvx::PDF::PageTree pages(doc);
        ASSERT_EQ(pages.Count(), c.count) << c.pages;
        EXPECT_FALSE(pages.WasRepaired()) << c.pages;
        // What page 3 inherited from the old root stays with it; page 6 keeps its own box.
        EXPECT_EQ(pages.GetPage(0).GetMediaBox().Width(), 500);
        EXPECT_NE(pages.GetPage(0).GetResourceDict(), nullptr);
        if (c.count > 1) {
            EXPECT_EQ(pages.GetPage(1).GetMediaBox().Width(), 300);
        }
        RunResult check = qvx::Test::Run({"/usr/bin/qpdf", "--check", out.string()});
        EXPECT_EQ(check.status, 0) << c.pages << check.output;
        PDFACompliance again(false, ToBytes(ReadFile(out)), nullptr, k2B, nullptr, 0, 0, false);
        EXPECT_EQ(Findings(again), "") << c.pages;
    }
    // A catalog the parser gives up on (a reference whose numbers are not two integers): the
    // copy gets a new catalog holding the page objects the file has, and passes.
    {
        PdfBuilder b = CleanFile(k2B);
        b.Set(1, "<</Type/Catalog/X 1 0 R 0 R/Pages 2 0 R/Metadata 5 0 R>>");
        b.Set(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>");
        b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 400]/Contents 4 0 R>>");
        fs::path lost = ConvertClean(b.Build(), k2B, dir, "lost-catalog.pdf");
        EXPECT_EQ(QpdfPages(lost), "1\n");
        // Without a page object either there is nothing to convert: an error, no copy.
        b.Set(3, "<</Parent 2 0 R/MediaBox[0 0 300 400]/Contents 4 0 R>>");
        EXPECT_THROW(Convert(b.Build(), k2B, dir, "no-page.pdf"), qvx::Common::Exception);
        EXPECT_FALSE(fs::exists(dir.Path() / "no-page.pdf"));
        // A catalog that reads but whose tree yields nothing, and no page object: the same.
        b.Set(1, CatalogFor(k2B));
        b.Set(2, "<</Type/Pages/Count 4>>");
        EXPECT_THROW(Convert(b.Build(), k2B, dir, "no-tree.pdf"), qvx::Common::Exception);
        EXPECT_FALSE(fs::exists(dir.Path() / "no-tree.pdf"));
        // The one kid given as the Kids entry itself is a page, even without a Type: it is kept.
        b.Set(2, "<</Type/Pages/Kids 3 0 R/Count 1>>");
        EXPECT_EQ(QpdfPages(Convert(b.Build(), k2B, dir, "one-kid.pdf")), "1\n");
        // A tree that is there but empty is the document's own, and is kept.
        b.Set(2, "<</Type/Pages/Kids[]/Count 0>>");
        EXPECT_EQ(QpdfPages(Convert(b.Build(), k2B, dir, "empty.pdf")), "0\n");
    }
    // Object 0 heads the free list and never stands for an object: a trailer whose Root is
    // 0 0 R has no catalog (rather than being its own), and the copy gets one holding the
    // page, which qpdf reads.
    {
        PdfBuilder b = CleanFile(k2B);
        b.SetTrailer("/Root 0 0 R/ID[<00112233445566778899AABBCCDDEEFF><00112233445566778899AABBCCDDEEFF>]");
        b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 400]/Contents 4 0 R/Resources 0 0 R>>");
        qvx::SDF::SDFDoc doc;
        doc.OpenBuffer(ToBytes(b.Build()));
        EXPECT_EQ(qvx::PDF::FindDict(doc.GetTrailer(), "Root"), nullptr);
        EXPECT_EQ(qvx::PDF::FindDict(qvx::PDF::Deref(doc.GetObj(3)), "Resources"), nullptr);
        fs::path zero = ConvertClean(b.Build(), k2B, dir, "root-zero.pdf");
        EXPECT_EQ(QpdfPages(zero), "1\n");
        RunResult check = qvx::Test::Run({"/usr/bin/qpdf", "--check", zero.string()});
        EXPECT_EQ(check.status, 0) << check.output;
    }
    // 9,000 pages in one Kids array, more than PDF/A-1 takes in an array: at 1B the copy has
    // them in order in nodes of 4,096 under the root; at 2B the tree stays as it was.
    {
        PdfBuilder b = CleanFile(k1B);
        std::string kids;
        for (int i = 0; i < 9000; ++i) {
            b.Set(10 + i, "<</Type/Page/Parent 2 0 R/Contents 4 0 R/Rotate " + std::to_string(90 * (i % 4)) + ">>");
            kids += std::to_string(10 + i) + " 0 R ";
        }
        b.Set(2, "<</Type/Pages/Kids[" + kids + "]/Count 9000/MediaBox[0 0 200 200]>>");
        EXPECT_NE(Findings(b.Build(), k1B).find("1121"), std::string::npos);
        fs::path many = Convert(b.Build(), k1B, dir, "many.pdf");
        PDFACompliance again(false, ToBytes(ReadFile(many)), nullptr, k1B, nullptr, 0, 0, false);
        EXPECT_EQ(Findings(again), "");
        qvx::SDF::SDFDoc doc;
        doc.OpenFile(many.string());
        qvx::PDF::PageTree pages(doc);
        ASSERT_EQ(pages.Count(), 9000u);
        EXPECT_FALSE(pages.WasRepaired());
        for (std::size_t i : {0u, 4095u, 4096u, 8998u})
            EXPECT_EQ(pages.GetPage(i).GetRotation(), static_cast<int>(90 * (i % 4))) << i;
        EXPECT_EQ(pages.GetPage(8999).GetMediaBox().Width(), 200);
        qvx::SDF::Obj* top = qvx::PDF::FindArray(qvx::PDF::FindDict(doc.GetRoot(), "Pages"), "Kids");
        ASSERT_NE(top, nullptr);
        EXPECT_EQ(top->Size(), 3u);
        fs::path kept = Convert(b.Build(), k2B, dir, "many-2b.pdf");
        qvx::SDF::SDFDoc doc2;
        doc2.OpenFile(kept.string());
        EXPECT_EQ(qvx::PDF::FindArray(qvx::PDF::FindDict(doc2.GetRoot(), "Pages"), "Kids")->Size(), 9000u);
    }
    // A sound tree is left as it was written.
    fs::path out = Convert(tree("<</Type/Pages/Kids[3 0 R 7 0 R]/Count 2" + inherit + ">>"), k2B, dir, "sound.pdf");
    qvx::SDF::SDFDoc doc;
    doc.OpenFile(out.string());
    qvx::SDF::Obj* kids = qvx::PDF::FindArray(qvx::PDF::FindDict(doc.GetRoot(), "Pages"), "Kids");
    ASSERT_NE(kids, nullptr);
    ASSERT_EQ(kids->Size(), 2u);
    EXPECT_NE(qvx::PDF::FindArray(qvx::PDF::Deref(kids->GetAt(1)), "Kids"), nullptr);
}

TEST(ConversionFidelity, CalibratedColourKeepsItsLook)
{
    TempDir dir;
    const std::string cal_rgb = "[/CalRGB<</WhitePoint[0.9505 1 1.089]/Gamma[2.2 2.2 2.2]/Matrix[0.4124 0.2126 0.0193 "
                                "0.3576 0.7152 0.1192 0.1805 0.0722 0.9505]>>]";
    const std::string d50_rgb = "[/CalRGB<</WhitePoint[0.9642 1 0.8249]/Gamma[1.8 1.8 1.8]/Matrix[0.4361 0.2225 0.0139 "
                                "0.3851 0.7169 0.0971 0.1431 0.0606 0.7141]>>]";
    const std::string cal_gray = "[/CalGray<</WhitePoint[0.9505 1 1.089]/Gamma 2.2>>]";
    const std::string lab = "[/Lab<</WhitePoint[0.9505 1 1.089]/Range[-128 127 -128 127]>>]";
    struct Case {
        std::string space, colour;
    };
    for (const Case& c : {Case{cal_rgb, "0.9 0.1 0.1"}, Case{cal_rgb, "0.1 0.2 0.9"}, Case{d50_rgb, "0.6 0.3 0.1"},
                          Case{cal_gray, "0.4"}, Case{lab, "60 40 -30"}}) {
        PdfBuilder b = ColourFile(k2B, "<</ColorSpace<</CS0 " + c.space + ">>>>",
                                  "/CS0 cs " + c.colour + " sc 0 0 200 200 re f");
        fs::path in = dir.Write("in.pdf", b.Build());
        std::string before = MiddlePixel(in);
        for (int level : {k1B, k2B}) {
            fs::path out = Convert(b.Build(), level, dir, "out.pdf");
            std::string after = MiddlePixel(out);
            EXPECT_TRUE(Near(before, after)) << c.space << " " << c.colour << ": " << before << " became " << after;
        }
    }
}

TEST(ConversionFidelity, CreatedIntentCarriesTheFixedSRGBProfile)
{
    TempDir dir;
    fs::path out = Convert(ColourFile(k1B, "<<>>", "1 0 0 rg 0 0 10 10 re f").Build(), k1B, dir, "oi.pdf");
    qvx::SDF::SDFDoc doc;
    doc.OpenFile(out.string());
    qvx::SDF::Obj* intents = qvx::PDF::FindArray(doc.GetRoot(), "OutputIntents");
    ASSERT_NE(intents, nullptr);
    ASSERT_EQ(intents->Size(), 1u);
    qvx::SDF::Obj* intent = qvx::PDF::Deref(intents->GetAt(0));
    EXPECT_EQ(qvx::PDF::FindName(intent, "S"), "GTS_PDFA1");
    qvx::SDF::Obj* profile = qvx::PDF::FindStream(intent, "DestOutputProfile");
    ASSERT_NE(profile, nullptr);
    EXPECT_EQ(qvx::PDF::FindName(profile, "Filter"), "FlateDecode");
    EXPECT_EQ(profile->GetRawStreamLength(), qvx::PDF::SRGBProfileStored().size());
    auto bytes = qvx::PDF::ReadDecoded(profile, 1 << 20);
    ASSERT_TRUE(bytes);
    const std::string b(bytes->begin(), bytes->end());
    ASSERT_EQ(b.size(), 3144u);
    EXPECT_EQ(b.substr(0, 4), std::string("\x00\x00\x0c\x48", 4));
    EXPECT_EQ(b.substr(36, 4), "acsp");
    EXPECT_EQ(b.substr(8, 4), std::string("\x02\x10\x00\x00", 4));
    EXPECT_EQ(b.substr(12, 12), "mntrRGB XYZ ");
    EXPECT_EQ(b.substr(128, 4), std::string("\x00\x00\x00\x11", 4));
    EXPECT_NE(b.find("sRGB IEC61966-2.1"), std::string::npos);
    // lcms2 reads it as an RGB display profile.
    auto icc = qvx::PDF::ICCProfile::FromBytes(*bytes);
    ASSERT_NE(icc, nullptr);
    EXPECT_EQ(icc->GetComponentCount(), 3);
}

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

TEST(ConversionFidelity, SoftMaskedImagesKeepTheirLookOnWhite)
{
    TempDir dir;
    // A red image over the whole page whose soft mask lets half of it through on the left
    // and hides it on the right; PDF/A-1 allows no soft mask.
    PdfBuilder b = ColourFile(k1B, "<</XObject<</Im0 9 0 R>>>>", "q 200 0 0 200 0 0 cm /Im0 Do Q");
    b.SetStream(9, "/Type/XObject/Subtype/Image/Width 2/Height 1/ColorSpace/DeviceRGB/BitsPerComponent 8/SMask 10 0 R",
                std::string("\xff\x00\x00\xff\x00\x00", 6));
    b.SetStream(10, "/Type/XObject/Subtype/Image/Width 2/Height 1/ColorSpace/DeviceGray/BitsPerComponent 8",
                std::string("\x80\x00", 2));
    fs::path in = dir.Write("masked.pdf", b.Build());
    fs::path out = Convert(b.Build(), k1B, dir, "masked_pdfa.pdf");
    PDFACompliance again(false, ToBytes(ReadFile(out)), nullptr, k1B, nullptr, 0, 0, false);
    EXPECT_EQ(Findings(again), "");
    for (double x : {0.25, 0.75}) {
        std::string before = PixelAt(in, x, 0.5), after = PixelAt(out, x, 0.5);
        EXPECT_TRUE(Near(before, after)) << x << ": " << before << " became " << after;
    }
    EXPECT_TRUE(Near(PixelAt(out, 0.75, 0.5), "255 255 255")) << PixelAt(out, 0.75, 0.5);
}

TEST(ConversionFidelity, ForbiddenAnnotationsAreMergedIntoThePage)
{
    TempDir dir;
    // PDF/A-1 knows no polygons: the visible one is drawn into the page, the hidden one goes.
    PdfBuilder b = ColourFile(k1B, "<<>>", "", "/Annots[9 0 R 10 0 R]");
    b.Set(9, "<</Type/Annot/Subtype/Polygon/F 4/Rect[10 10 190 90]/C[0 0 1]/IC[0 0 1]"
             "/Vertices[10 10 190 10 190 90 10 90]>>");
    b.Set(10, "<</Type/Annot/Subtype/Polygon/F 6/Rect[10 110 190 190]/C[1 0 0]/IC[1 0 0]"
              "/Vertices[10 110 190 110 190 190 10 190]>>");
    fs::path in = dir.Write("polygons.pdf", b.Build());
    fs::path out = ConvertClean(b.Build(), k1B, dir, "polygons_pdfa.pdf");
    EXPECT_TRUE(Near(PixelAt(out, 0.5, 0.75), "0 0 255")) << PixelAt(out, 0.5, 0.75);
    EXPECT_TRUE(Near(PixelAt(out, 0.5, 0.25), "255 255 255")) << PixelAt(out, 0.5, 0.25);
    for (double y : {0.25, 0.75}) EXPECT_TRUE(Near(PixelAt(in, 0.5, y), PixelAt(out, 0.5, y))) << y;
    qvx::SDF::SDFDoc doc;
    doc.OpenFile(out.string());
    qvx::SDF::Obj* annots = qvx::PDF::FindArray(qvx::PDF::Deref(doc.GetObj(3)), "Annots");
    EXPECT_TRUE(!annots || annots->Size() == 0);
}

TEST(ConversionFidelity, ContentOfLayersThatWereOffStaysHidden)
{
    TempDir dir;
    // Layer 9 is off: a red band and a word in it, a form drawn only with it, and a yellow
    // square marked with it inside a visible form, stay unseen once PDF/A-1 conversion has
    // taken the layers away; the blue band shows.
    PdfBuilder b = ColourFile(k1B, "<</Properties<</L 9 0 R>>/Font<</F1 10 0 R>>/XObject<</Fm 11 0 R/Fm2 12 0 R>>>>",
                              "/OC /L BDC 1 0 0 rg 0 0 200 100 re f BT /F1 20 Tf 20 40 Td (Hidden) Tj ET EMC "
                              "q /Fm Do Q 0 0 1 rg 0 100 200 100 re f /Fm2 Do");
    b.Set(1, "<</Type/Catalog/Pages 2 0 R/Metadata 5 0 R/OCProperties<</OCGs[9 0 R]/D<</OFF[9 0 R]>>>>>>");
    b.Set(9, "<</Type/OCG/Name(layer)>>");
    b.Set(10, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica/Encoding/WinAnsiEncoding>>");
    b.SetStream(11, "/Type/XObject/Subtype/Form/BBox[0 0 200 200]/OC 9 0 R", "0 1 0 rg 150 0 50 50 re f");
    b.SetStream(12, "/Type/XObject/Subtype/Form/BBox[0 0 200 200]/Resources<</Properties<</L 9 0 R>>>>",
                "/OC /L BDC 1 1 0 rg 0 150 50 50 re f EMC");
    fs::path in = dir.Write("layers.pdf", b.Build());
    fs::path out = Convert(b.Build(), k1B, dir, "layers_pdfa.pdf");
    PDFACompliance again(false, ToBytes(ReadFile(out)), nullptr, k1B, nullptr, 0, 0, false);
    EXPECT_EQ(Findings(again), "");
    for (auto [x, y] : {std::pair{0.5, 0.25}, {0.5, 0.75}, {0.9, 0.9}, {0.2, 0.7}, {0.1, 0.1}}) {
        std::string before = PixelAt(in, x, y), after = PixelAt(out, x, y);
        EXPECT_TRUE(Near(before, after)) << x << "," << y << ": " << before << " became " << after;
    }
    EXPECT_TRUE(Near(PixelAt(out, 0.5, 0.25), "0 0 255"));
    EXPECT_TRUE(Near(PixelAt(out, 0.1, 0.1), "0 0 255"));
    EXPECT_TRUE(Near(PixelAt(out, 0.5, 0.75), "255 255 255"));
    // The hidden word is still there for search, drawn invisibly.
    RunResult text = qvx::Test::Run({"/usr/bin/pdftotext", out.string(), "-"});
    EXPECT_NE(text.output.find("Hidden"), std::string::npos) << text.output;
}

// The decoded content of objects objs in the copy that converting b at level writes, which
// passes and looks as the original does at the middle of its lower and upper halves.
std::vector<std::string> CleanedContents(const PdfBuilder& b, int level, const std::vector<int>& objs)
{
    TempDir dir;
    fs::path in = dir.Write("in.pdf", b.Build());
    fs::path out = Convert(b.Build(), level, dir, "in_pdfa.pdf");
    PDFACompliance again(false, ToBytes(ReadFile(out)), nullptr, level, nullptr, 0, 0, false);
    EXPECT_EQ(Findings(again), "");
    for (double y : {0.25, 0.75}) EXPECT_TRUE(Near(PixelAt(in, 0.5, y), PixelAt(out, 0.5, y))) << y;
    qvx::SDF::SDFDoc doc;
    doc.OpenFile(out.string());
    std::vector<std::string> contents;
    for (int n : objs) {
        auto data = qvx::PDF::ReadDecoded(doc.GetObj(n), 1 << 20);
        EXPECT_TRUE(data) << n;
        contents.push_back(data ? std::string(data->begin(), data->end()) : std::string());
    }
    return contents;
}

TEST(ConversionFidelity, UnknownOperatorsGoWithTheirOperands)
{
    // Viewers skip a keyword that is no operator, with its operands; so does the copy, in the
    // page's content and in a form's, inside BX/EX too. An XObject that is not defined, or is
    // a dictionary and no stream, draws nothing and goes too, as does a PostScript form.
    PdfBuilder b = ColourFile(k2B, "<</XObject<</Fm 9 0 R/Bad 10 0 R/Ps 11 0 R>>>>",
                              "0 0 1 rg 1 2 3 foo 0 0 200 100 re f BX 7 bar EX /Fm Do /Bad Do /Ps Do");
    b.SetStream(9, "/Type/XObject/Subtype/Form/BBox[0 0 200 200]", "1 0 0 rg (x) baz 0 100 200 100 re f /X9 Do");
    b.Set(10, "<</Type/XObject/Subtype/Form/BBox[0 0 9 9]>>");
    b.SetStream(11, "/Type/XObject/Subtype/Form/Subtype2/PS/BBox[0 0 9 9]", "");
    for (const std::string& content : CleanedContents(b, k2B, {4, 9}))
        for (const char* gone : {"foo", "bar", "baz", "1 2 3", "7", "(x)", "X9", "Bad", "Ps"})
            EXPECT_EQ(content.find(gone), std::string::npos) << gone << " in " << content;
}

TEST(ConversionFidelity, OperatorsGetTheOperandsTheyTake)
{
    // An operator with too few operands is skipped by viewers (poppler gives up the rest of
    // the stream, so it comes last here), and goes from the copy with them; a number
    // operator with too many keeps its last ones, as it was drawn. Image data markers with no
    // inline image go as well. The copy looks the same: blue below, red above.
    PdfBuilder b = ColourFile(k1B, "<<>>", "0 0 1 rg ID 9 0 0 200 100 re 3 f /N EI 1 0 0 rg 0 100 200 100 re f 0 1 0 rg 7 m");
    EXPECT_EQ(Findings(b.Build(), k1B), "12(3) 2331(4)");
    const std::string content = CleanedContents(b, k1B, {4}).at(0);
    for (const char* kept : {"0 0 200 100 re f", "0 1 0 rg", "1 0 0 rg 0 100 200 100 re f"})
        EXPECT_NE(content.find(kept), std::string::npos) << kept << " not in " << content;
    for (const char* gone : {"9 ", "3 f", "7", "m", "/N", "ID", "EI"})
        EXPECT_EQ(content.find(gone), std::string::npos) << gone << " in " << content;
}

TEST(ConversionFidelity, NumbersBeyondTheLimitsAreWrittenWithinThem)
{
    TempDir dir;
    // Line widths and a miter limit beyond the limits (the page looks the same whatever they
    // are), in the content and in a graphics state the page does not use; a name, a comment
    // and a string that look like such numbers stay as they are. PDF/A-1 reals beyond 32767
    // become integers, which reach further: coordinates keep their place.
    const std::string content = "0 0 1 rg 0 0 200 100 re f 2157483648 w 0.00000000000000000000000000000000000000001 w "
                                "1e2 w 40000.5 M /1e2 BMC EMC % 1e2\nBT 3 Tr (2157483648) Tj ET";
    struct Case {
        int level;
        const char* before;
        const char* after;
    };
    for (const Case& c : {Case{k2B, "1124(3 4) 1128(4) 1129(4)", "2157483648.0 w 0 w 0 w 40000.5 M"},
                          Case{k1B, "1124(3 4) 1127(3 4)", "2147483647 w 0.00000000000000000000000000000000000000001 w 0 w 40000 M"}}) {
        PdfBuilder b = ColourFile(c.level, "<</Font<</F 6 0 R>>/ExtGState<</G<</LW 60000.1/ML 3000000000>>>>>>", content);
        b.Add("<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>");
        EXPECT_NE(Findings(b.Build(), c.level).find(c.before), std::string::npos) << Findings(b.Build(), c.level);
        fs::path in = dir.Write("numbers.pdf", b.Build());
        fs::path out = Convert(b.Build(), c.level, dir, "numbers_pdfa.pdf");
        PDFACompliance again(false, ToBytes(ReadFile(out)), nullptr, c.level, nullptr, 0, 0, false);
        const std::string left = Findings(again);
        for (const char* code : {"1124", "1127", "1128", "1129"}) EXPECT_EQ(left.find(code), std::string::npos) << left;
        EXPECT_TRUE(Near(PixelAt(in, 0.5, 0.75), PixelAt(out, 0.5, 0.75)));
        qvx::SDF::SDFDoc doc;
        doc.OpenFile(out.string());
        auto data = qvx::PDF::ReadDecoded(doc.GetObj(4), 1 << 20);
        ASSERT_TRUE(data);
        const std::string written(data->begin(), data->end());
        for (const char* kept : {"/1e2 BMC", "% 1e2", "(2157483648)"}) EXPECT_NE(written.find(kept), std::string::npos) << written;
        EXPECT_NE(written.find(c.after), std::string::npos) << written;
    }
}

TEST(ConversionFidelity, NamesThatAreNotUTF8KeepWhatTheyName)
{
    // Two forms named by bytes that are not UTF-8 (a finding from PDF/A-2 on): the copy
    // writes their names in the resources and in the content alike, as distinct UTF-8 names,
    // and draws both as before: red on the left, blue on the right.
    TempDir dir;
    PdfBuilder b = ColourFile(k2B, "<</XObject<</A#e9 9 0 R/A#ff 10 0 R>>>>", "/A#e9 Do /A#ff Do");
    b.SetStream(9, "/Type/XObject/Subtype/Form/BBox[0 0 200 200]", "1 0 0 rg 0 0 100 200 re f");
    b.SetStream(10, "/Type/XObject/Subtype/Form/BBox[0 0 200 200]", "0 0 1 rg 100 0 100 200 re f");
    EXPECT_NE(Findings(b.Build(), k2B).find("187(3 4)"), std::string::npos) << Findings(b.Build(), k2B);
    const fs::path in = dir.Write("names.pdf", b.Build());
    const fs::path out = ConvertClean(b.Build(), k2B, dir, "names_pdfa.pdf");
    for (double x : {0.25, 0.75}) EXPECT_TRUE(Near(PixelAt(in, x, 0.5), PixelAt(out, x, 0.5))) << x;
    EXPECT_NE(PixelAt(out, 0.25, 0.5), PixelAt(out, 0.75, 0.5));
}

TEST(ConversionFidelity, UnfilteredDataRunsToItsEndstream)
{
    TempDir dir;
    // The content's Length stops before the fill: viewers read on to endstream, and so does
    // the copy. Validation keeps the Length as it stands.
    const std::string content = "0 0 1 rg 0 0 200 200 re f";
    PdfBuilder b = ColourFile(k2B, "<<>>", content);
    std::string pdf = b.Build();
    const std::string given = " /Length " + std::to_string(content.size()) + ">>";
    const std::size_t at = pdf.find(given);
    ASSERT_NE(at, std::string::npos);
    pdf.replace(at, given.size(), " /Length 9" + std::string(given.size() - 11, ' ') + ">>");
    PDFACompliance first(false, ToBytes(pdf), nullptr, k2B, nullptr, 0, 0, false);
    EXPECT_EQ(Findings(first), "173(4)");
    PDFACompliance run(true, ToBytes(pdf), nullptr, k2B, nullptr, 0, 0, false);
    auto data = qvx::PDF::ReadDecoded(run.GetDoc().GetObj(4), 1 << 20);
    ASSERT_TRUE(data);
    EXPECT_EQ(std::string(data->begin(), data->end()), content);
}

TEST(ConversionFidelity, InlineImagesLoseForbiddenEntriesOnly)
{
    TempDir dir;
    // A red and a green inline image, one asking for smoothing, the other, in a form, with
    // an unknown rendering intent; a blue one compressed with LZW.
    const std::string red = "q 200 0 0 50 0 0 cm BI /W 1 /H 1 /CS /RGB /BPC 8 /I true ID " +
                            std::string("\xff\x00\x00", 3) + "\nEI Q ";
    const std::string blue = "q 200 0 0 50 0 50 cm BI /W 1 /H 1 /CS /RGB /BPC 8 /F /LZW ID " +
                             std::string("\x80\x00\x00\x0f\xf8\x08", 6) + "\nEI Q ";
    PdfBuilder b = ColourFile(k2B, "<</XObject<</Fm 9 0 R>>>>", red + blue + "/Fm Do");
    b.SetStream(9, "/Type/XObject/Subtype/Form/BBox[0 0 200 200]",
                "q 200 0 0 50 0 100 cm BI /W 1 /H 1 /CS /RGB /BPC 8 /Intent /Vivid ID " +
                    std::string("\x00\xff\x00", 3) + "\nEI Q");
    fs::path in = dir.Write("inline.pdf", b.Build());
    PDFACompliance first(false, ToBytes(b.Build()), nullptr, k2B, nullptr, 0, 0, false);
    EXPECT_EQ(Findings(first), "243(9) 244(4) 1101(4) 2331(4 9)");
    fs::path out = Convert(b.Build(), k2B, dir, "inline_pdfa.pdf");
    PDFACompliance again(false, ToBytes(ReadFile(out)), nullptr, k2B, nullptr, 0, 0, false);
    EXPECT_EQ(Findings(again), "");
    for (double y : {0.3, 0.6, 0.9}) EXPECT_EQ(PixelAt(in, 0.5, y), PixelAt(out, 0.5, y)) << y;
    EXPECT_EQ(PixelAt(out, 0.5, 0.9), "255 0 0");
    EXPECT_EQ(PixelAt(in, 0.5, 0.6), "0 0 255");
}

TEST(ConversionFidelity, InterpolatedImagesDrawnLargeStaySmooth)
{
    TempDir dir;
    // A red and a blue sample drawn over the page: viewers smooth them into a ramp, and
    // the copy, which may not ask for smoothing, carries the ramp itself. The same image
    // drawn at one pixel per sample elsewhere would not be enlarged.
    auto file = [](const std::string& size) {
        PdfBuilder b = ColourFile(k2B, "<</XObject<</Im0 9 0 R>>>>", "q " + size + " 0 0 " + size + " 0 0 cm /Im0 Do Q");
        b.SetStream(9, "/Type/XObject/Subtype/Image/Width 2/Height 1/ColorSpace/DeviceRGB/BitsPerComponent 8"
                       "/Interpolate true",
                    std::string("\xff\x00\x00\x00\x00\xff", 6));
        return b.Build();
    };
    fs::path out = Convert(file("200"), k2B, dir, "ramp_pdfa.pdf");
    PDFACompliance again(false, ToBytes(ReadFile(out)), nullptr, k2B, nullptr, 0, 0, false);
    EXPECT_EQ(Findings(again), "");
    // The ramp runs between the two sample centres, as our renderer and MuPDF smooth it
    // (pdftoppm's own smoothing runs half a sample further to the left).
    struct Spot {
        double x;
        const char* rgb;
    };
    for (const Spot& s : {Spot{0.1, "255 0 0"}, Spot{0.4, "178 0 77"}, Spot{0.5, "128 0 127"}, Spot{0.6, "77 0 178"},
                          Spot{0.9, "0 0 255"}})
        EXPECT_TRUE(Near(PixelAt(out, s.x, 0.5), s.rgb)) << s.x << ": " << PixelAt(out, s.x, 0.5);
    auto width = [](const fs::path& pdf) {
        qvx::SDF::SDFDoc doc;
        doc.OpenFile(pdf.string());
        return qvx::PDF::FindNumber(qvx::PDF::Deref(doc.GetObj(9)), "Width", 0);
    };
    EXPECT_GT(width(out), 2);
    EXPECT_EQ(width(Convert(file("2"), k2B, dir, "small_pdfa.pdf")), 2);
}

TEST(ConversionFidelity, OnlyTransferCurvesThatChangeNothingGo)
{
    TempDir dir;
    // An identity curve goes; an inverting one would turn the page into its negative, so it
    // stays and the copy is still reported for it.
    auto file = [](const std::string& c0, const std::string& c1) {
        PdfBuilder b = ColourFile(k2B, "<</ExtGState<</T 9 0 R>>>>", "/T gs 0.2 g 0 0 200 200 re f");
        b.Set(9, "<</Type/ExtGState/TR<</FunctionType 2/Domain[0 1]/C0[" + c0 + "]/C1[" + c1 + "]/N 1>>>>");
        return b.Build();
    };
    struct Case {
        std::string c0, c1, findings;
    };
    for (const Case& c : {Case{"0", "1", ""}, Case{"1", "0", "281(4)"}}) {
        fs::path in = dir.Write("curve.pdf", file(c.c0, c.c1));
        fs::path out = Convert(file(c.c0, c.c1), k2B, dir, "curve_pdfa.pdf");
        PDFACompliance again(false, ToBytes(ReadFile(out)), nullptr, k2B, nullptr, 0, 0, false);
        EXPECT_EQ(Findings(again), c.findings) << c.c0 << " " << c.c1;
        EXPECT_TRUE(Near(MiddlePixel(in), MiddlePixel(out))) << MiddlePixel(in) << " became " << MiddlePixel(out);
    }
}

TEST(ConversionFidelity, PagesWithoutResourcesGetAnEmptyDictionary)
{
    // Page 3 has no resources; page 6 inherits its parent's, and keeps doing so.
    PdfBuilder b = CleanFile(k1B);
    b.Set(2, "<</Type/Pages/Kids[3 0 R 7 0 R]/Count 2>>");
    b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Contents 4 0 R>>");
    b.Set(7, "<</Type/Pages/Parent 2 0 R/Kids[6 0 R]/Count 1/Resources<</ProcSet[/PDF]>>>>");
    b.Set(6, "<</Type/Page/Parent 7 0 R/MediaBox[0 0 200 200]/Contents 4 0 R>>");
    std::string pdf = b.Build();
    EXPECT_EQ(Findings(pdf, k1B), "");
    PDFACompliance run(true, ToBytes(pdf), nullptr, k1B, nullptr, 0, 0, false);
    qvx::SDF::Obj* own = qvx::PDF::FindDict(run.GetDoc().GetObj(3), "Resources");
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->Size(), 0u);
    EXPECT_EQ(run.GetDoc().GetObj(6)->FindObj("Resources"), nullptr);
}

TEST(ConversionFidelity, StreamsReadersCheckOneByOne)
{
    // The page draws image mask 7 (given a ColorSpace and a Mask viewers ignore on it); its
    // resources also hold form 8 with a transparency group and image 9 with a soft mask,
    // which nothing draws. Tiling patterns 12 and 13 have no resources; 13 names one.
    PdfBuilder b = CleanFile(k1B);
    b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Resources<</XObject<</M 7 0 R/F 8 0 R/I 9 0 R>>"
             "/Pattern<</P 12 0 R/Q 13 0 R>>>>/Contents 4 0 R>>");
    b.SetStream(4, "", "q 100 0 0 100 0 0 cm /M Do Q");
    b.SetStream(7, "/Type/XObject/Subtype/Image/Width 8/Height 1/ImageMask true/BitsPerComponent 1"
                   "/ColorSpace/DeviceGray/Mask[0 0]", std::string(1, '\x0f'));
    b.SetStream(8, "/Type/XObject/Subtype/Form/BBox[0 0 10 10]/Group<</S/Transparency>>", "0 0 m 10 10 l S");
    b.SetStream(9, "/Type/XObject/Subtype/Image/Width 1/Height 1/BitsPerComponent 8/ColorSpace 10 0 R/SMask 11 0 R",
                std::string(1, '\x80'));
    b.Set(10, "[/CalGray<</WhitePoint[0.9505 1 1.089]>>]");
    b.SetStream(11, "/Type/XObject/Subtype/Image/Width 1/Height 1/BitsPerComponent 8/ColorSpace/DeviceGray",
                std::string(1, '\x40'));
    const std::string tiling = "/Type/Pattern/PatternType 1/PaintType 1/TilingType 1/BBox[0 0 1 1]/XStep 1/YStep 1";
    b.SetStream(12, tiling, "0 0 1 1 re f");
    b.SetStream(13, tiling, "/F Do");
    // A form's private data is dated by LastModified; one that has it keeps its own.
    b.SetStream(14, "/Type/XObject/Subtype/Form/BBox[0 0 10 10]/PieceInfo<</App<</Private 1>>>>", "0 0 m 10 10 l S");
    b.SetStream(15, "/Type/XObject/Subtype/Form/BBox[0 0 10 10]/PieceInfo<<>>/LastModified(D:20010101000000Z)", "");
    // Decode parameters without a filter match none: they go, the data is read as it is.
    b.SetStream(16, "/Type/XObject/Subtype/Form/BBox[0 0 10 10]/DecodeParms[<<>>]", "0 0 m 10 10 l S");
    std::string pdf = b.Build();
    auto keys = [&](int level) {
        PDFACompliance run(true, ToBytes(pdf), nullptr, level, nullptr, 0, 0, false);
        std::string out;
        for (auto [num, key] : {std::pair{7, "ColorSpace"}, std::pair{7, "Mask"}, std::pair{8, "Group"},
                                std::pair{9, "SMask"}, std::pair{12, "Resources"}, std::pair{13, "Resources"},
                                std::pair{8, "LastModified"}, std::pair{14, "LastModified"}, std::pair{16, "DecodeParms"}})
            if (run.GetDoc().GetObj(num)->FindObj(key)) out += std::to_string(num) + key + " ";
        qvx::SDF::Obj* own = run.GetDoc().GetObj(15)->FindObj("LastModified");
        EXPECT_EQ(own ? qvx::Common::AsChars(own->GetBuffer()) : "", "D:20010101000000Z");
        return out;
    };
    EXPECT_EQ(keys(k1B), "12Resources 14LastModified ");
    // Later parts allow them; the image mask keeps its entries too.
    EXPECT_EQ(keys(k2B), "7ColorSpace 7Mask 8Group 9SMask 12Resources 14LastModified ");
}

TEST(ConversionFidelity, PagesBeyondTheSizeLimitsKeepTheirSizeInOtherUnits)
{
    TempDir dir;
    // A 20000 x 10000 page: black in its lower right quarter, a square annotation (with an
    // appearance) in its upper left one. At 2B the copy states it in larger units. Its parent
    // gives it a CropBox as large.
    auto page = [](const std::string& box, const std::string& content, const std::string& extra) {
        PdfBuilder b = CleanFile(k2B);
        b.Set(2, "<</Type/Pages/Kids[3 0 R]/Count 1/CropBox" + box + ">>");
        b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox" + box + "/Contents 4 0 R/Resources<<>>" + extra + ">>");
        b.SetStream(4, "", content);
        b.Set(8, "<</Type/Annot/Subtype/Square/F 4/Rect[0 5000 10000 10000]/BS<</W 100>>/AP<</N 9 0 R>>>>");
        b.SetStream(9, "/Type/XObject/Subtype/Form/BBox[0 0 1 1]", "0 0 1 1 re f");
        return b.Build();
    };
    const std::string big = page("[0 0 20000 10000]", "10000 0 10000 5000 re f",
                                 "/Annots[8 0 R<</Type/Annot/Subtype/Link/Rect[0 0 10 10]/F 4/Dest[3 0 R/XYZ 10000 5000 0]>>]"
                                 "/TrimBox[0 0 20000 10000]");
    EXPECT_NE(Findings(big, k2B).find("1135(3)"), std::string::npos);
    fs::path out = ConvertClean(big, k2B, dir, "big.pdf");
    {
        qvx::SDF::SDFDoc doc;
        doc.OpenFile(out.string());
        qvx::PDF::PageTree pages(doc);
        const double k = pages.GetPage(0).GetMediaBox().Width() / 20000;
        EXPECT_LT(k, 0.7201);
        EXPECT_GT(k, 0.7199);
        qvx::SDF::Obj* dict = pages.GetPage(0).GetSDFObj();
        EXPECT_NEAR(qvx::PDF::FindNumber(dict, "UserUnit", 0), 1 / k, 1e-4);
        EXPECT_NEAR(qvx::PDF::NumberAt(qvx::PDF::FindArray(dict, "TrimBox"), 2, 0), 20000 * k, 0.05);
        qvx::SDF::Obj* annot = qvx::PDF::Deref(qvx::PDF::FindArray(dict, "Annots")->GetAt(0));
        EXPECT_NEAR(qvx::PDF::NumberAt(qvx::PDF::FindArray(annot, "Rect"), 3, 0), 10000 * k, 0.05);
        EXPECT_NEAR(qvx::PDF::FindNumber(qvx::PDF::FindDict(annot, "BS"), "W", 0), 100 * k, 1e-3);
        // A link to a place on the page goes on pointing there.
        qvx::SDF::Obj* dest = qvx::PDF::FindArray(qvx::PDF::Deref(qvx::PDF::FindArray(dict, "Annots")->GetAt(1)), "Dest");
        EXPECT_NEAR(qvx::PDF::NumberAt(dest, 2, 0), 10000 * k, 0.05);
        EXPECT_NEAR(qvx::PDF::NumberAt(dest, 3, 0), 5000 * k, 0.05);
        EXPECT_EQ(qvx::PDF::NumberAt(dest, 4, -1), 0);
    }
    fs::path in = dir.Write("big-in.pdf", big);
    for (auto [fx, fy] : {std::pair{0.75, 0.75}, {0.6, 0.75}, {0.9, 0.35}, {0.25, 0.75}, {0.25, 0.25}, {0.75, 0.25}})
        EXPECT_EQ(PixelAt(out, fx, fy), PixelAt(in, fx, fy)) << fx << " " << fy;
    // A page of 1 x 2 units grows into larger ones' place: 3 x 6 in units of a third.
    fs::path small = ConvertClean(page("[0 0 1 2]", "0 0 1 1 re f", ""), k2B, dir, "small.pdf");
    qvx::SDF::SDFDoc doc;
    doc.OpenFile(small.string());
    qvx::PDF::PageTree pages(doc);
    EXPECT_NEAR(pages.GetPage(0).GetMediaBox().Width(), 3, 0.01);
    EXPECT_NEAR(qvx::PDF::FindNumber(pages.GetPage(0).GetSDFObj(), "UserUnit", 0), 1 / 3.0, 0.001);
    // A side too long while another is too short: no unit serves, the finding stays; at 1B,
    // where the size is not a rule, the page is left as it was.
    PDFACompliance thin(true, ToBytes(page("[0 0 1 20000]", "", "")), nullptr, k2B, nullptr, 0, 0, false);
    EXPECT_EQ(qvx::PDF::FindNumber(thin.GetDoc().GetObj(3), "UserUnit", 0), 0);
    PDFACompliance one(true, ToBytes(page("[0 0 20000 10000]", "", "")), nullptr, k1B, nullptr, 0, 0, false);
    EXPECT_EQ(qvx::PDF::FindNumber(one.GetDoc().GetObj(3), "UserUnit", 0), 0);
}
