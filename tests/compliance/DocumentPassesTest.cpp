// The document-level passes around the object pass: Encrypt, the file identifier (a new
// one in conversion), the linearization identifier, the permissions, the page size, and
// first-stop ending the run after the pass that found the first violation.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "sdf/Objects.h"
#include "tests/compliance/ComplianceTestSupport.h"
#include "tests/support/TestEnv.h"
#include "tests/compliance/Levels.h"

using qvx::PDF::PDFACompliance;
using qvx::Test::CleanFile;
using qvx::Test::Findings;
using qvx::Test::PdfBuilder;
using qvx::Test::ToBytes;

namespace {

using qvx::Test::k1A, qvx::Test::k1B, qvx::Test::k2A, qvx::Test::k2B, qvx::Test::k2U, qvx::Test::k3A, qvx::Test::k3B, qvx::Test::k4, qvx::Test::k4E, qvx::Test::k4F, qvx::Test::kUA;

// base with an incremental update appended: objects (number, body) and a trailer with ID
// and Root.
std::string AppendUpdate(const std::string& base, const std::vector<std::pair<int, std::string>>& objects,
                         const std::string& id, int root = 1)
{
    std::size_t sx = base.rfind("startxref\n");
    long prev = std::stol(base.substr(sx + 10));
    std::string out = base;
    std::string table = "xref\n0 1\n0000000000 65535 f\r\n";
    int size = 0;
    for (const auto& [num, body] : objects) {
        char line[32];
        std::snprintf(line, sizeof line, "%d 1\n%010zu 00000 n\r\n", num, out.size());
        table += line;
        out += std::to_string(num) + " 0 obj\n" + body + "\nendobj\n";
        size = std::max(size, num + 1);
    }
    std::size_t xref = out.size();
    out += table + "trailer\n<</Size " + std::to_string(size) + "/Root " + std::to_string(root) + " 0 R/Prev " + std::to_string(prev) +
           "/ID[" + id + "]>>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return out;
}

bool HasCode(const PDFACompliance& run, int code)
{
    for (int i = 0; i < run.GetErrorCount(); ++i)
        if (run.GetError(i) == code) return true;
    return false;
}

// A program found on PATH (empty when it is not there).
std::string OnPath(const std::string& program)
{
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin";
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = std::min(path.find(':', start), path.size());
        std::filesystem::path candidate = std::filesystem::path(path.substr(start, end - start)) / program;
        if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
        start = end + 1;
    }
    return {};
}

// The clean file of level encrypted by qpdf with the empty user password (extra: more
// qpdf options); empty when qpdf is not there.
std::string EncryptedCopy(int level, const std::vector<std::string>& extra)
{
    qvx::Test::TempDir dir;
    std::filesystem::path in = dir.Write("in.pdf", CleanFile(level).Build());
    std::filesystem::path out = dir.Path() / "out.pdf";
    std::string qpdf = OnPath("qpdf");
    if (qpdf.empty()) return {};
    std::vector<std::string> argv{qpdf, "--allow-weak-crypto", "--encrypt", "", "owner"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    argv.insert(argv.end(), {"--", in.string(), out.string()});
    if (qvx::Test::Run(argv).status != 0) return {};
    return qvx::Test::ReadFile(out);
}

}  // namespace

TEST(DocumentPasses, EncryptIn132AndDroppedByConversion)
{
    std::string encrypted = EncryptedCopy(k2B, {"40"});
    if (encrypted.empty()) GTEST_SKIP() << "qpdf is needed to encrypt the test file";
    PDFACompliance run(false, ToBytes(encrypted), nullptr, k2B, nullptr, 0, 0, false);
    EXPECT_TRUE(HasCode(run, 132));
    EXPECT_NE(run.GetDoc().GetTrailer()->FindObj("Encrypt"), nullptr);
    EXPECT_EQ(run.GetRefCount(132), 0);
    PDFACompliance converted(true, ToBytes(encrypted), nullptr, k2B, nullptr, 0, 0, false);
    EXPECT_TRUE(HasCode(converted, 132));
    EXPECT_EQ(converted.GetDoc().GetTrailer()->FindObj("Encrypt"), nullptr);
    // With first-stop nothing after the encryption pass runs: the metadata pass would
    // report the packet it cannot read.
    PDFACompliance first(false, ToBytes(encrypted), nullptr, k2B, nullptr, 0, 0, true);
    EXPECT_EQ(Findings(first), "132");
}

TEST(DocumentPasses, PDFUAEncryptionMustAllowAccessibility)
{
    std::string closed = EncryptedCopy(k2B, {"128", "--use-aes=n", "--accessibility=n"});
    std::string open = EncryptedCopy(k2B, {"128", "--use-aes=n"});
    if (closed.empty() || open.empty()) GTEST_SKIP() << "qpdf is needed to encrypt the test files";
    PDFACompliance denied(false, ToBytes(closed), nullptr, kUA, nullptr, 0, 0, false);
    EXPECT_TRUE(HasCode(denied, -17161));
    EXPECT_FALSE(HasCode(denied, 132));
    PDFACompliance granted(false, ToBytes(open), nullptr, kUA, nullptr, 0, 0, false);
    EXPECT_FALSE(HasCode(granted, -17161));
}

TEST(DocumentPasses, ConversionGivesANewFileIdentifier)
{
    PdfBuilder b = CleanFile(k2B);
    b.SetTrailer("/Root 1 0 R/ID[<><>]");
    PDFACompliance converted(true, ToBytes(b.Build()), nullptr, k2B, nullptr, 0, 0, false);
    EXPECT_EQ(Findings(converted), "135");  // recorded while the file was read
    qvx::SDF::Obj* id = converted.GetDoc().GetTrailer()->FindObj("ID");
    ASSERT_TRUE(id && id->IsArray());
    ASSERT_EQ(id->Size(), 2u);
    EXPECT_EQ(id->GetAt(0)->Size(), 16u);
    EXPECT_TRUE(id->GetAt(0)->IsEqual(id->GetAt(1)));
    // A usable identifier stays, and validation never makes one.
    PDFACompliance kept(true, ToBytes(CleanFile(k2B).Build()), nullptr, k2B, nullptr, 0, 0, false);
    EXPECT_EQ(kept.GetDoc().GetTrailer()->FindObj("ID")->GetAt(0)->Size(), 16u);
    EXPECT_EQ(kept.GetDoc().GetTrailer()->FindObj("ID")->GetAt(0)->GetBuffer()[0], 0x00);
    PDFACompliance validated(false, ToBytes(b.Build()), nullptr, k2B, nullptr, 0, 0, false);
    EXPECT_EQ(validated.GetDoc().GetTrailer()->FindObj("ID")->GetAt(0)->Size(), 0u);
}

TEST(DocumentPasses, DifferentIdentifiersOnlyMatterInLinearizedFiles)
{
    const std::string other = "<FFEEDDCCBBAA99887766554433221100><FFEEDDCCBBAA99887766554433221100>";
    // An updated file whose update changed the ID: not linearized, so no 134.
    std::string updated = AppendUpdate(CleanFile(k2B).Build(), {{6, "<</A 1>>"}}, other);
    EXPECT_EQ(Findings(updated, k2B), "");
    // The same with a linearization dictionary as the file's first object.
    PdfBuilder lin = CleanFile(k2B);
    lin.Set(1, "<</Linearized 1/L 1000/H[0 0]/O 3/E 0/N 1/T 0>>");
    lin.Set(6, "<</Type/Catalog/Pages 2 0 R/Metadata 5 0 R>>");
    lin.SetTrailer("/Root 6 0 R/ID[<00112233445566778899AABBCCDDEEFF><00112233445566778899AABBCCDDEEFF>]");
    const std::string same = "<00112233445566778899AABBCCDDEEFF><00112233445566778899AABBCCDDEEFF>";
    EXPECT_EQ(Findings(AppendUpdate(lin.Build(), {{7, "<</A 1>>"}}, same, 6), k2B), "");
    std::string linearized = AppendUpdate(lin.Build(), {{7, "<</A 1>>"}}, other, 6);
    EXPECT_EQ(Findings(linearized, k2B), "134");
    PdfBuilder lin1 = lin;
    lin1.SetStream(5, "/Type/Metadata/Subtype/XML", qvx::Test::kBegin + qvx::Test::XmpBody(qvx::Test::IdentFor(k1B)) + qvx::Test::kEnd);
    EXPECT_EQ(Findings(AppendUpdate(lin1.Build(), {{7, "<</A 1>>"}}, other, 6), k1B), "134");
    // A missing first-page identifier is not compared; PDF/UA runs drop the code.
    lin.SetTrailer("/Root 6 0 R");
    EXPECT_EQ(Findings(AppendUpdate(lin.Build(), {{7, "<</A 1>>"}}, other, 6), k2B), "");
    EXPECT_EQ(Findings(linearized, kUA).find("134"), std::string::npos);
}

TEST(DocumentPasses, Permissions)
{
    auto with_perms = [](int level, const std::string& perms) {
        PdfBuilder b = CleanFile(level);
        b.Set(1, qvx::Test::CatalogFor(level, "/Perms " + perms));
        b.Set(6, "<</Type/Sig/Reference[<</TransformMethod/DocMDP>>]>>");
        b.Set(7, "<</Type/Sig/Reference[<</TransformMethod/DocMDP/DigestMethod/MD5>>]>>");
        b.Set(8, "<</Type/Sig/Reference[5]>>");
        b.Set(9, "<</UR3 6 0 R>>");
        return b.Build();
    };
    // None in PDF/A-1.
    EXPECT_EQ(Findings(with_perms(k1B, "<</UR3 6 0 R>>"), k1B), "11210(1)");
    EXPECT_EQ(Findings(with_perms(k1A, "<<>>"), k1A), "11210(1)");
    // UR3 and DocMDP later, with signature references that use no digest.
    for (int level : {k2B, k2U, k3B, k4, k4E, k4F})
        EXPECT_EQ(Findings(with_perms(level, "<</UR3 6 0 R/DocMDP 6 0 R>>"), level), "") << level;
    EXPECT_EQ(Findings(with_perms(k2B, "<</UR3 6 0 R/Other 1>>"), k2B), "11210(1)");
    EXPECT_EQ(Findings(with_perms(k2B, "9 0 R"), k2B), "");
    EXPECT_EQ(Findings(with_perms(k3B, "5"), k3B), "11210(1)");
    EXPECT_EQ(Findings(with_perms(k2B, "<</DocMDP 7 0 R>>"), k2B), "11210(1)");
    EXPECT_EQ(Findings(with_perms(k2B, "<</DocMDP 8 0 R>>"), k2B), "11210(1)");
    EXPECT_EQ(Findings(with_perms(k4, "<</DocMDP 7 0 R>>"), k4), "");
    // Against the permissions' own object when it has one; conversion removes them.
    std::string bad = with_perms(k2B, "10 0 R");
    bad = AppendUpdate(bad, {{10, "<</Foo 1>>"}}, "<00><00>");
    EXPECT_EQ(Findings(bad, k2B), "11210(10)");
    PDFACompliance converted(true, ToBytes(with_perms(k1B, "<<>>")), nullptr, k1B, nullptr, 0, 0, false);
    EXPECT_EQ(converted.GetDoc().GetRoot()->FindObj("Perms"), nullptr);
}

TEST(DocumentPasses, PageSizeInPDFA2And3)
{
    auto with_boxes = [](int level, const std::string& page, const std::string& pages = "") {
        PdfBuilder b = CleanFile(level);
        b.Set(2, "<</Type/Pages/Kids[3 0 R 6 0 R]/Count 2" + pages + ">>");
        b.Set(3, "<</Type/Page/Parent 2 0 R/Resources<<>>/Contents 4 0 R" + page + ">>");
        b.Set(6, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Resources<<>>/Contents 4 0 R>>");
        b.Set(7, "[0 0 1 1]");
        return b.Build();
    };
    EXPECT_EQ(Findings(with_boxes(k2B, "/MediaBox[0 0 3 14400]"), k2B), "");
    EXPECT_EQ(Findings(with_boxes(k2B, "/MediaBox[0 0 2.9 200]"), k2B), "1135(3)");
    EXPECT_EQ(Findings(with_boxes(k3B, "/MediaBox[100 0 0 14401]"), k3B), "1135(3)");
    EXPECT_EQ(Findings(with_boxes(k2U, "/MediaBox[0 0 200 200]/CropBox[0 0 1 1]"), k2U), "1135(3)");
    // Boxes are inherited from the tree.
    EXPECT_EQ(Findings(with_boxes(k2B, "", "/MediaBox[0 0 20000 200]"), k2B), "1135(3)");
    EXPECT_EQ(Findings(with_boxes(k2B, "", "/CropBox[0 0 20000 200]/MediaBox[0 0 200 200]"), k2B), "1135(3 6)");
    // The media and crop boxes are the ones measured: the bleed, trim and art boxes say
    // where the page is cut or what it holds, not how large it is.
    EXPECT_EQ(Findings(with_boxes(k2B, "/MediaBox[0 0 200 200]/BleedBox[0 0 2 2]"), k2B), "");
    EXPECT_EQ(Findings(with_boxes(k3A, "/MediaBox[0 0 200 200]/TrimBox 7 0 R"), k3A), "");
    EXPECT_EQ(Findings(with_boxes(k2A, "/MediaBox[0 0 200 200]/ArtBox[0 0 14405 14405]"), k2A), "");
    // Not a PDF/A-1 or PDF/A-4 rule.
    EXPECT_EQ(Findings(with_boxes(k1B, "/MediaBox[0 0 200 200]/TrimBox[0 0 2 2]"), k1B), "");
    EXPECT_EQ(Findings(with_boxes(k4, "/MediaBox[0 0 200 200]/ArtBox[0 0 2 2]"), k4), "");
    EXPECT_EQ(Findings(with_boxes(k1B, "/MediaBox[0 0 2 2]"), k1B), "");
    EXPECT_EQ(Findings(with_boxes(k4, "/MediaBox[0 0 2 2]"), k4), "");
}

TEST(DocumentPasses, FirstStopEndsAfterThePassOfTheFirstViolation)
{
    // Violations in the object pass (two streams) and in the permissions and page passes.
    PdfBuilder b = CleanFile(k2B);
    b.Set(1, "<</Type/Catalog/Pages 2 0 R/Metadata 5 0 R/Perms<</Foo 1>>>>");
    b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 1 1]/Resources<<>>/Contents 4 0 R>>");
    b.SetStream(6, "/Filter/LZWDecode", "x");
    b.SetStream(7, "/Filter/Foo", "x");
    std::string pdf = b.Build();
    EXPECT_EQ(Findings(pdf, k2B), "1101(6) 1103(7) 1135(3) 11210(1)");
    EXPECT_EQ(Findings(pdf, k2B, {.first_stop = true}), "1101(6)");
    // Conversion repairs instead of stopping.
    EXPECT_EQ(Findings(pdf, k2B, {.convert = true, .first_stop = true}), "1101(6) 1103(7) 1135(3) 11210(1)");
    // A missing identifier stops the run after the identifier pass (its 131 was recorded
    // while the file was read).
    b.SetTrailer("/Root 1 0 R");
    EXPECT_EQ(Findings(b.Build(), k2B, {.first_stop = true}), "131");
    // Findings made while the file is opened do not stop the run by themselves.
    PdfBuilder junk = CleanFile(k2B);
    junk.SetPrefix("x");
    junk.SetStream(6, "/Filter/Foo", "x");
    EXPECT_EQ(Findings(junk.Build(), k2B, {.first_stop = true}), "121 123 1103(6)");
}
