// Converted copies keep what the original shows: the pages the reader found (qpdf counts the
// same), calibrated colour, and the sRGB output intent with its fixed profile.
#include <gtest/gtest.h>
#include <zlib.h>

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
#include "tests/compliance/ConversionTestSupport.h"
#include "tests/support/TestEnv.h"

using namespace qvx::Test;
using qvx::PDF::PDFACompliance;
namespace fs = std::filesystem;

namespace {

std::string QpdfPages(const fs::path& p)
{
    RunResult r = qvx::Test::Run({"/usr/bin/qpdf", "--show-npages", p.string()});
    return r.status == 0 || r.status == 3 ? r.output : "qpdf failed: " + r.output;
}

std::string MiddlePixel(const fs::path& pdf) { return PixelAt(pdf, 0.5, 0.5); }

// The word lines of pdftotext -bbox: each word with its box.
std::string WordLines(const fs::path& pdf)
{
    std::istringstream text(qvx::Test::Run({"/usr/bin/pdftotext", "-bbox", pdf.string(), "-"}).output);
    std::string words;
    for (std::string line; std::getline(text, line);)
        if (line.find("<word ") != std::string::npos) words += line + "\n";
    return words;
}

// Font 6 (Helvetica, not embedded) with its descriptor 7.
void AddHelvetica(PdfBuilder& b)
{
    b.Add("<</Type/Font/Subtype/Type1/BaseFont/Helvetica/FontDescriptor 7 0 R>>");
    b.Add("<</Type/FontDescriptor/FontName/Helvetica/Flags 32/FontBBox[-166 -225 1000 931]/ItalicAngle 0"
          "/Ascent 718/Descent -207/CapHeight 718/StemV 88>>");
}

}  // namespace

// Damage can leave a page's Contents a dictionary whose stream keyword was lost, a number, or
// a reference to nothing. Readers draw nothing for those; the copy drops them and keeps every
// stream, so strict readers accept it and the page looks the same.
TEST(ConversionFidelity, ContentsThatAreNoStreamsAreDropped)
{
    TempDir dir;
    for (const std::string contents : {"8 0 R", "99 0 R", "42", "[8 0 R 7 0 R 42 99 0 R]", "[4 0 R 8 0 R 7 0 R]"}) {
        PdfBuilder b = CleanFile(k2B);
        b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Resources<<>>/Contents " + contents + ">>");
        b.Set(8, "<</Length 3/Filter/FlateDecode>>");
        b.SetStream(7, "", "1 0 0 rg 0 0 200 200 re f");
        fs::path out = ConvertClean(b.Build(), k2B, dir, "contents.pdf");
        RunResult check = qvx::Test::Run({"/usr/bin/qpdf", "--check", out.string()});
        EXPECT_EQ(check.status, 0) << contents << check.output;
        const bool red = contents.find("7 0 R") != std::string::npos;
        EXPECT_EQ(MiddlePixel(out), red ? "255 0 0" : "255 255 255") << contents;
    }
}

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
                          // Kids held directly in the array rather than referred to.
                          Case{"<</Type/Pages/Kids[<</Type/Page/Contents 4 0 R>> 6 0 R]/Count 2" + inherit + ">>", 2},
                          Case{"<</Type/Pages/Kids[3 0 R <</Type/Pages/Kids[6 0 R]/Count 1>>]/Count 2" + inherit + ">>", 2},
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
    // A catalog the parser gives up on (nested deeper than any reader goes): the copy gets a
    // new catalog holding the page objects the file has, and passes.
    {
        PdfBuilder b = CleanFile(k2B);
        b.Set(1, "<</Type/Catalog/X " + std::string(1200, '[') + std::string(1200, ']') + "/Pages 2 0 R/Metadata 5 0 R>>");
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
        // A catalog held in the trailer itself rather than referred to: the copy refers to it.
        b.SetTrailer("/Root " + CatalogFor(k2B) + "/ID[<00112233445566778899AABBCCDDEEFF><00112233445566778899AABBCCDDEEFF>]");
        fs::path direct = ConvertClean(b.Build(), k2B, dir, "root-direct.pdf");
        EXPECT_EQ(QpdfPages(direct), "1\n");
        qvx::SDF::SDFDoc copy;
        copy.OpenFile(direct.string());
        EXPECT_TRUE(copy.GetTrailer()->FindObj("Root")->IsIndirect());
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

// Damage that makes the reader give up on a page dictionary (a byte changed in a key, a <<
// or a reference) would drop the page from the copy, or leave a null in its tree that fails
// revalidation. Conversion reads such objects as far as their bytes allow, completes what the
// damage took (a font's Type, a page's box, resources), and shows a page it still cannot read
// as a blank one of its ancestors' size, as qpdf and viewers count it.
TEST(ConversionFidelity, DamagedObjectsKeepTheirPages)
{
    TempDir dir;
    const std::string res = "/Resources<</Font<</F1 6 0 R>>>>";
    auto file = [&](const std::string& page) {
        PdfBuilder b = CleanFile(k2B);
        b.Set(2, "<</Type/Pages/Kids[3 0 R]/Count 1/MediaBox[0 0 500 600]>>");
        b.Set(3, page);
        b.SetStream(4, "", "BT /F1 24 Tf 20 300 Td (Salvaged) Tj ET");
        b.Set(6, "<</Subtype/Type1/BaseFont/Helvetica>>");  // a font whose Type the damage took
        return b.Build();
    };
    const std::vector<std::string> damaged = {
        "<</Type/Page/Parent 2 0 R 7/Contents 4 0 R" + res + ">>",                 // a number for a key
        "<</Type/Page/Parent 2 0 R/Contents 4 0 R/Resources <\n/Font<</F1 6 0 R>>>>>>",  // << lost a byte
        "<</Type/Page/Parent 2 0 R/Contents 4 R" + res + ">>",                     // a reference lost its generation
        "<</Type/Page/Parent 2 0 R/Contents 4 0 R)" + res + ">>",                  // a stray )
        "<</Type/Page/Parent 2 0 R/X <4142/Contents 4 0 R" + res + ">>",           // a hex string cut short
        "<</Type/Page/Parent 2 0 R > /Contents 4 0 R" + res + ">>",                // a lone >
        "<</Ty<e/Page/Parent 2 0 R/Contents 4 0 R" + res + ">>",                   // the page lost its Type
        "<</Type/Page/Parent 2 0 R/MediaBox[0 0 0 600]/Contents 4 0 R" + res + ">>",  // a box with no width
        "<</Type/Page/Parent 2 0 R/Contents 4 0 R/Resourc;s<</Font<</F1 6 0 R>>>>>>",  // resources lost
    };
    int n = 0;
    for (const std::string& page : damaged) {
        const std::string name = "damaged" + std::to_string(n++) + ".pdf";
        fs::path out = ConvertClean(file(page), k2B, dir, name);
        EXPECT_EQ(QpdfPages(out), "1\n") << page;
        RunResult check = qvx::Test::Run({"/usr/bin/qpdf", "--check", out.string()});
        EXPECT_EQ(check.status, 0) << page << check.output;
        RunResult text = qvx::Test::Run({"/usr/bin/pdftotext", out.string(), "-"});
        EXPECT_NE(text.output.find("Salvaged"), std::string::npos) << page;
        qvx::SDF::SDFDoc doc;
        doc.OpenFile(out.string());
        qvx::PDF::PageTree pages(doc);
        ASSERT_EQ(pages.Count(), 1u) << page;
        // The inherited box, or US Letter where the page's own box has no area.
        EXPECT_EQ(pages.GetPage(0).GetMediaBox().Width(), n == 8 ? 612 : 500) << page;
    }
    // A kid whose object cannot be read at all (nested beyond any reader's limit): a blank
    // page of the size its parent gives stands in its place, between the pages around it.
    PdfBuilder b = CleanFile(k2B);
    b.Set(2, "<</Type/Pages/Kids[3 0 R 7 0 R 8 0 R]/Count 3/MediaBox[0 0 500 600]>>");
    b.Set(3, "<</Type/Page/Parent 2 0 R/Contents 4 0 R>>");
    b.Set(7, std::string(1200, '[') + std::string(1200, ']'));
    b.Set(8, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 400]/Contents 4 0 R>>");
    fs::path out = ConvertClean(b.Build(), k2B, dir, "unreadable-kid.pdf");
    EXPECT_EQ(QpdfPages(out), "3\n");
    qvx::SDF::SDFDoc doc;
    doc.OpenFile(out.string());
    qvx::PDF::PageTree pages(doc);
    ASSERT_EQ(pages.Count(), 3u);
    EXPECT_EQ(pages.GetPage(1).GetMediaBox().Width(), 500);
    EXPECT_EQ(qvx::PDF::FindIn(qvx::PDF::Deref(pages.GetPage(1).GetSDFObj()), "Contents"), nullptr);
    EXPECT_EQ(pages.GetPage(2).GetMediaBox().Width(), 300);
    // A file whose table must be rebuilt and whose catalog and pages sit in an object stream
    // whose Type lost a byte: the stream still has its N and First, and its objects are read.
    PdfBuilder packed = CleanFile(k2B);
    packed.SetStream(4, "", "BT /F1 24 Tf 20 300 Td (Salvaged) Tj ET");
    packed.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 400]/Contents 4 0 R" + res + ">>");
    packed.Set(6, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>");
    packed.Pack(9, {1, 2, 3});
    std::string bytes = packed.Build(PdfBuilder::XRef::e_stream);
    for (auto [from, to] : {std::pair{"/Type/ObjStm", "/Type/ObjSt#"}, std::pair{"startxref", "startxreX"}})
        bytes.replace(bytes.find(from), std::string(from).size(), to);
    fs::path copy = ConvertClean(bytes, k2B, dir, "packed.pdf");
    EXPECT_EQ(QpdfPages(copy), "1\n");
    RunResult text = qvx::Test::Run({"/usr/bin/pdftotext", copy.string(), "-"});
    EXPECT_NE(text.output.find("Salvaged"), std::string::npos);
}

// Downloads that stopped: the copy keeps the pages whose objects arrived.
TEST(ConversionFidelity, CutFilesKeepThePagesBeforeTheCut)
{
    TempDir dir;
    PdfBuilder b = CleanFile(k2B);
    b.Set(2, "<</Type/Pages/Kids[3 0 R]/Count 1/MediaBox[0 0 500 600]>>");
    b.Set(3, "<</Type/Page/Parent 2 0 R/Contents 4 0 R/Resources<</Font<</F1 6 0 R>>>>>>");
    b.SetStream(4, "", "BT /F1 24 Tf 20 300 Td (Arrived) Tj ET");
    b.Set(6, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>");
    const std::string whole = b.Build();
    auto text = [](const fs::path& pdf) { return qvx::Test::Run({"/usr/bin/pdftotext", pdf.string(), "-"}).output; };
    auto deflate = [](const std::string& data) {
        uLongf size = compressBound(data.size());
        std::string out(size, '\0');
        EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()), data.size(), 9), Z_OK);
        out.resize(size);
        return out;
    };
    // Cut before the catalog and the trailer: the page objects are the document, under a
    // catalog the copy makes for them.
    std::string cut = whole;
    const std::size_t catalog = cut.find("1 0 obj");
    cut.erase(catalog, cut.find("endobj", catalog) + 6 - catalog);
    cut.erase(cut.find("xref"));
    fs::path rescued = ConvertClean(cut, k2B, dir, "cut.pdf");
    EXPECT_EQ(QpdfPages(rescued), "1\n");
    EXPECT_NE(text(rescued).find("Arrived"), std::string::npos);
    // An update that adds a page, cut before its own table: the table at the end describes
    // the revision before it, yet the copy has the update's two pages.
    const std::string update = "7 0 obj\n<</Type/Page/Parent 2 0 R/Contents 8 0 R>>\nendobj\n"
                               "8 0 obj\n<</Length 37>>\nstream\nBT /F1 24 Tf 20 300 Td (Added) Tj ET\nendstream\nendobj\n"
                               "2 0 obj\n<</Type/Pages/Kids[3 0 R 7 0 R]/Count 2/MediaBox[0 0 500 600]>>\nendobj\n";
    fs::path updated = ConvertClean(whole + update, k2B, dir, "update.pdf");
    EXPECT_EQ(QpdfPages(updated), "2\n");
    EXPECT_NE(text(updated).find("Added"), std::string::npos);
    // Cut inside the compressed object stream that holds the catalog and the pages: what
    // arrived of it decodes, and the objects in that part are the document.
    std::vector<std::string> packed = {"<</Type/Catalog/Pages 2 0 R>>",
                                       "<</Type/Pages/Kids[3 0 R]/Count 1/MediaBox[0 0 500 600]>>",
                                       "<</Type/Page/Parent 2 0 R/Contents 4 0 R/Resources<</Font<</F1 6 0 R>>>>>>", "<"};
    std::srand(7);
    for (int i = 0; i < 20000; ++i) packed.back() += "0123456789ABCDEF"[std::rand() % 16];
    packed.back() += ">";
    std::string pairs, body;
    for (std::size_t i = 0; i < packed.size(); ++i) {
        pairs += std::to_string(i < 3 ? i + 1 : 7) + " " + std::to_string(body.size()) + " ";
        body += packed[i] + "\n";
    }
    const std::string deflated = deflate(pairs + body);
    auto object = [&](const std::string& header) {
        const std::size_t at = whole.find(header);
        return whole.substr(at, whole.find("endobj", at) + 7 - at);
    };
    std::string stream_cut = whole.substr(0, whole.find("1 0 obj")) + object("4 0 obj") + object("6 0 obj");
    stream_cut += "9 0 obj\n<</Type/ObjStm/N 4/First " + std::to_string(pairs.size()) + "/Filter/FlateDecode/Length " +
                  std::to_string(deflated.size()) + ">>\nstream\n" + deflated.substr(0, deflated.size() / 2);
    fs::path partial = ConvertClean(stream_cut, k2B, dir, "objstm-cut.pdf");
    EXPECT_EQ(QpdfPages(partial), "1\n");
    EXPECT_NE(text(partial).find("Arrived"), std::string::npos);
    // Cut inside a font program: half a program serves no reader, which draws the font as
    // one not embedded; so does the copy, which embeds the standard font its name gives.
    PdfBuilder with_font = b;
    with_font.Set(6, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica/FontDescriptor 10 0 R>>");
    with_font.Set(10, "<</Type/FontDescriptor/FontName/Helvetica/Flags 4/FontBBox[0 0 1000 1000]/ItalicAngle 0/Ascent 900"
                      "/Descent -200/CapHeight 700/StemV 80/FontFile 11 0 R>>");
    std::string program = "%!PS-AdobeFont-1.0: Helvetica 001.000\n/FontName /Helvetica def\n";
    for (int i = 0; i < 4000; ++i) program += "0123456789ABCDEF"[std::rand() % 16];
    const std::string packed_program = deflate(program);
    std::string font_cut = with_font.Build();
    font_cut.erase(font_cut.find("xref"));
    font_cut += "11 0 obj\n<</Length1 60/Length2 4000/Length3 0/Filter/FlateDecode/Length " +
                std::to_string(packed_program.size()) + ">>\nstream\n" + packed_program.substr(0, packed_program.size() / 2);
    fs::path font_copy = ConvertClean(font_cut, k2B, dir, "font-cut.pdf");
    EXPECT_NE(text(font_copy).find("Arrived"), std::string::npos);
    // Cut inside the page's content, within an inline image: what was drawn before it stays,
    // and the copy's content ends after its last whole operation.
    PdfBuilder drawn = b;
    drawn.Set(3, "<</Type/Page/Parent 2 0 R/Contents 12 0 R/Resources<</Font<</F1 6 0 R>>>>>>");
    std::string content = "BT /F1 24 Tf 20 300 Td (Arrived) Tj ET\nq 40 0 0 40 100 100 cm BI /W 40 /H 40 /BPC 8 /CS /G ID ";
    for (int i = 0; i < 1600; ++i) content += static_cast<char>(std::rand() % 256);
    content += "\nEI Q\n";
    const std::string packed_content = deflate(content);
    std::string content_cut = drawn.Build();
    content_cut.erase(content_cut.find("xref"));
    content_cut += "12 0 obj\n<</Filter/FlateDecode/Length " + std::to_string(packed_content.size()) + ">>\nstream\n" +
                   packed_content.substr(0, packed_content.size() * 2 / 3);
    fs::path content_copy = ConvertClean(content_cut, k2B, dir, "content-cut.pdf");
    EXPECT_NE(text(content_copy).find("Arrived"), std::string::npos);
    // Operands a page's second content stream closes are no cut in either stream: the
    // streams are one content, and the copy keeps them as they were.
    PdfBuilder split = b;
    split.Set(3, "<</Type/Page/Parent 2 0 R/Contents[4 0 R 13 0 R 14 0 R]/Resources<</Font<</F1 6 0 R>>>>>>");
    split.SetStream(13, "", "0 0 1 rg [ /one");
    split.SetStream(14, "", "/two ]");
    fs::path split_copy = ConvertClean(split.Build(), k2B, dir, "split.pdf");
    EXPECT_NE(text(split_copy).find("Arrived"), std::string::npos);
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

    // PDF/A-2 knows no 3D annotations: the view the annotation showed, its appearance, stays.
    PdfBuilder c = ColourFile(k2B, "<<>>", "", "/Annots[9 0 R]");
    c.Set(9, "<</Type/Annot/Subtype/3D/F 4/Rect[10 10 190 190]/AP<</N 10 0 R>>/3DD 11 0 R>>");
    c.SetStream(10, "/Type/XObject/Subtype/Form/BBox[0 0 180 180]", "0 0 1 rg 0 0 180 180 re f");
    c.SetStream(11, "/Type/3D/Subtype/U3D", std::string("U3D\0\0\0\0\0", 8));
    fs::path view = ConvertClean(c.Build(), k2B, dir, "view_pdfa.pdf");
    EXPECT_TRUE(Near(MiddlePixel(view), "0 0 255")) << MiddlePixel(view);
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
    // operator with too many keeps its last ones, as it was drawn, and one with a damaged
    // token among its operands (a stray brace) is written with its numbers. Image data
    // markers with no inline image go as well. The copy looks the same: blue below, red above.
    PdfBuilder b = ColourFile(k1B, "<<>>", "0 0 1 rg ID 9 0 0 200 100 re 3 f /N EI 1 0 0 rg } 0 100 200 100 re f 0 1 0 rg 7 m");
    EXPECT_EQ(Findings(b.Build(), k1B), "12(3) 2331(4)");
    const std::string content = CleanedContents(b, k1B, {4}).at(0);
    for (const char* kept : {"0 0 200 100 re f", "0 1 0 rg", "1 0 0 rg 0 100 200 100 re f"})
        EXPECT_NE(content.find(kept), std::string::npos) << kept << " not in " << content;
    for (const char* gone : {"9 ", "3 f", "7", "m", "/N", "ID", "EI", "}"})
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

TEST(ConversionFidelity, StringsBeyondTheLimitsShowTheSameText)
{
    // An odd hexadecimal string (readers take a last 0) and strings longer than the level
    // allows, shown by Tj and within a TJ: the copy shows the same words at the same places.
    TempDir dir;
    struct Case {
        int level;
        std::size_t length;
        std::vector<const char*> found;
    };
    for (const Case& c : {Case{k2B, 32770, {"161(4)", "11212(4)"}}, Case{k1B, 65540, {"161(4)", "11211(4)"}}}) {
        const std::string run(c.length, 'H');
        const std::string content = "BT /F 24 Tf 20 150 Td <48455> Tj ET BT /F 0.004 Tf 20 100 Td (" + run +
                                    ") Tj ET BT /F 0.004 Tf 20 50 Td [(AB) -200 (" + run + ")] TJ ET";
        PdfBuilder b = ColourFile(c.level, "<</Font<</F 6 0 R>>>>", content);
        AddHelvetica(b);
        const std::string found = Findings(b.Build(), c.level);
        for (const char* code : c.found) EXPECT_NE(found.find(code), std::string::npos) << found;
        const fs::path in = dir.Write("strings.pdf", b.Build());
        const fs::path out = ConvertClean(b.Build(), c.level, dir, "strings_pdfa.pdf");
        const std::string words = WordLines(in);
        EXPECT_NE(words.find(">HEP<"), std::string::npos) << words.substr(0, 300);
        EXPECT_NE(words.find(std::string(1000, 'H')), std::string::npos);
        EXPECT_EQ(WordLines(out), words);
    }
}

TEST(ConversionFidelity, DeepNestingIsDrawnThroughForms)
{
    // q nested 30 and 60 deep, a transformation and a colour set deep inside, text inside and
    // outside: the copy draws the blue square where the original does, and the red band
    // after the nesting with the state restored.
    TempDir dir;
    for (int deep : {30, 60}) {
        std::string saves, restores;
        for (int i = 0; i < deep; ++i) saves += "q ", restores += "Q ";
        const std::string content = "1 0 0 rg " + saves + "1 0 0 1 100 100 cm 0 0 1 rg 0 0 50 50 re f " +
                                    "BT /F 10 Tf 0 60 Td (deep) Tj ET " + restores + "0 0 200 40 re f " +
                                    "BT /F 10 Tf 10 180 Td (top) Tj ET";
        PdfBuilder b = ColourFile(k1B, "<</Font<</F 6 0 R>>>>", content);
        AddHelvetica(b);
        EXPECT_NE(Findings(b.Build(), k1B).find("1126(4)"), std::string::npos) << Findings(b.Build(), k1B);
        const fs::path in = dir.Write("deep.pdf", b.Build());
        const fs::path out = ConvertClean(b.Build(), k1B, dir, "deep_pdfa.pdf");
        EXPECT_EQ(qvx::Test::Run({"/usr/bin/qpdf", "--check", out.string()}).status, 0);
        for (auto [x, y] : {std::pair{0.625, 0.375}, {0.5, 0.9}, {0.25, 0.25}})
            EXPECT_EQ(PixelAt(out, x, y), PixelAt(in, x, y)) << deep << " " << x << " " << y;
        EXPECT_TRUE(Near(PixelAt(out, 0.625, 0.375), "0 0 255"));
        EXPECT_TRUE(Near(PixelAt(out, 0.5, 0.9), "255 0 0"));
        EXPECT_EQ(WordLines(out), WordLines(in));
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
