// File-level findings through whole compliance runs: header, end-of-file marker, table
// layout, trailer ID, object framing and token limits, each broken once in a file that is
// otherwise clean at its level.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/compliance/ComplianceTestSupport.h"
#include "tests/compliance/Levels.h"

using qvx::Test::CleanFile;
using qvx::Test::Findings;
using qvx::Test::FindingsAfterConversion;
using qvx::Test::PdfBuilder;

namespace {

using qvx::Test::k1A, qvx::Test::k1B, qvx::Test::k2B, qvx::Test::k2U, qvx::Test::k3B, qvx::Test::k4, qvx::Test::k4E, qvx::Test::k4F, qvx::Test::kUA;

// text with its first occurrence of from replaced by to. Offsets stay right when both have
// the same length or the patch lies after the last object.
std::string Patch(std::string text, const std::string& from, const std::string& to)
{
    std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// The clean file of a level with one patch.
std::string Patched(int level, const std::string& from, const std::string& to)
{
    return Patch(CleanFile(level).Build(), from, to);
}

bool Has(const std::string& findings, const std::string& code)
{
    return (" " + findings + " ").find(" " + code + " ") != std::string::npos ||
           (" " + findings).find(" " + code + "(") != std::string::npos;
}

}  // namespace

TEST(FileSyntax, CleanFilesHaveNoFindingsAtTheirLevel)
{
    for (int level = 1; level <= 11; ++level) EXPECT_EQ(Findings(CleanFile(level).Build(), level), "") << level;
}

TEST(FileSyntax, HeaderVersionByPart)
{
    // PDF/A-2 and -3 want %PDF-1.0 to 1.7, PDF/A-4 %PDF-2.0; PDF/A-1 has no version rule.
    for (int level : {k2B, k3B}) {
        EXPECT_EQ(Findings(CleanFile(level, "1.4").Build(), level), "") << level;
        EXPECT_EQ(Findings(CleanFile(level, "1.8").Build(), level), "123") << level;
        EXPECT_EQ(Findings(CleanFile(level, "2.0").Build(), level), "123") << level;
    }
    EXPECT_EQ(Findings(CleanFile(k1B, "1.8").Build(), k1B), "");
    for (int level : {k4, k4E, k4F}) {
        PdfBuilder a4 = CleanFile(level);
        a4.SetHeader("%PDF-2.1");
        EXPECT_EQ(Findings(a4.Build(), level), "123") << level;
        a4.SetHeader("%PDF-1.7");
        EXPECT_EQ(Findings(a4.Build(), level), "123") << level;
    }
    // The header line must be followed at once by the comment line.
    for (int level : {k1B, k2B}) {
        PdfBuilder b = CleanFile(level);
        b.SetHeader("%PDF-1.7\r");
        EXPECT_EQ(Findings(b.Build(), level), "");
        b.SetHeader("%PDF-1.7 ");
        EXPECT_EQ(Findings(b.Build(), level), level == k1B ? "" : "123");
    }
}

TEST(FileSyntax, HeaderPositionAndBinaryComment)
{
    for (int level : {k1B, k2B}) {
        PdfBuilder junk = CleanFile(level);
        junk.SetPrefix("x");
        EXPECT_EQ(Findings(junk.Build(), level), level == k1B ? "121" : "121 123");
        PdfBuilder comment = CleanFile(level);
        comment.SetBinaryComment("%\xE2\xE3\xCF");
        EXPECT_EQ(Findings(comment.Build(), level), "122");
        comment.SetBinaryComment("%\xE2\xE3\xCFz");
        EXPECT_EQ(Findings(comment.Build(), level), "122");
        comment.SetBinaryComment("");
        EXPECT_EQ(Findings(comment.Build(), level), level == k1B ? "122" : "122 123");
    }
    // PDF/UA runs have no file-syntax rules.
    PdfBuilder junk = CleanFile(k2B);
    junk.SetPrefix("x");
    std::string ua = Findings(junk.Build(), kUA);
    EXPECT_FALSE(Has(ua, "121") || Has(ua, "123")) << ua;
}

TEST(FileSyntax, EndOfFileMarker)
{
    std::string clean = CleanFile(k2B).Build();
    EXPECT_EQ(Findings(clean.substr(0, clean.size() - 1), k2B), "");  // no EOL after %%EOF
    EXPECT_EQ(Findings(clean.substr(0, clean.size() - 1) + "\r\n", k2B), "");
    EXPECT_EQ(Findings(clean + "\n", k2B), "133");
    EXPECT_EQ(Findings(CleanFile(k4).Build() + "junk", k4), "133");
    EXPECT_EQ(Findings(Patched(k1B, "\n%%EOF", " %%EOF"), k1B), "133");
}

TEST(FileSyntax, CrossReferenceTableLayout)
{
    EXPECT_EQ(Findings(Patched(k2B, "xref\n0 6\n", "xref\r0 6\n"), k2B), "");
    EXPECT_EQ(Findings(Patched(k2B, "xref\n0 6\n", "xref \n0 6\n"), k2B), "142");
    EXPECT_EQ(Findings(Patched(k4, "xref\n0 6\n", "xref\n\n0 6\n"), k4), "142");
    EXPECT_EQ(Findings(Patched(k2B, "xref\n0 6\n", "xref\n0  6\n"), k2B), "141");
    EXPECT_EQ(Findings(Patched(k1B, "xref\n0 6\n", "xref\n0\t6\n"), k1B), "141");
    // Cross-reference streams: no layout rule, but none in PDF/A-1.
    std::string stream = CleanFile(k2B).Build(PdfBuilder::XRef::e_stream);
    EXPECT_EQ(Findings(stream, k2B), "");
    EXPECT_EQ(Findings(CleanFile(k1B).Build(PdfBuilder::XRef::e_stream), k1B), "15");
}

TEST(FileSyntax, ObjectStreamsInPDFA1)
{
    PdfBuilder packed = CleanFile(k1B);
    packed.Pack(7, {2, 3});
    EXPECT_EQ(Findings(packed.Build(PdfBuilder::XRef::e_stream), k1B), "14(7) 15");
    PdfBuilder packed2 = CleanFile(k2B);
    packed2.Pack(7, {2, 3});
    EXPECT_EQ(Findings(packed2.Build(PdfBuilder::XRef::e_stream), k2B), "");
}

TEST(FileSyntax, TrailerID)
{
    for (int level : {k1A, k2B, k4F}) {
        PdfBuilder none = CleanFile(level);
        none.SetTrailer("/Root 1 0 R");
        EXPECT_EQ(Findings(none.Build(), level), "131");
    }
    PdfBuilder b = CleanFile(k2B);
    b.SetTrailer("/Root 1 0 R/ID[<0011>]");
    EXPECT_EQ(Findings(b.Build(), k2B), "131");
    b.SetTrailer("/Root 1 0 R/ID[<0011> 7]");
    EXPECT_EQ(Findings(b.Build(), k2B), "131");
    b.Set(6, "[<0011><0011>]");
    b.SetTrailer("/Root 1 0 R/ID 6 0 R");
    EXPECT_EQ(Findings(b.Build(), k2B), "131");
    // Empty identifiers are a PDF/A-2 and later rule.
    for (int level : {k1B, k2B, k4}) {
        PdfBuilder empty = CleanFile(level);
        empty.SetTrailer("/Root 1 0 R/ID[<><0011>]");
        EXPECT_EQ(Findings(empty.Build(), level), level == k1B ? "" : "135");
    }
}

TEST(FileSyntax, ObjectFramingAgainstTheObject)
{
    std::string clean = CleanFile(k2B).Build();
    EXPECT_EQ(Findings(Patch(clean, "3 0 obj\n", "3\t0 obj\n"), k2B), "181(3)");
    EXPECT_EQ(Findings(Patched(k4, "3 0 obj\n", "3 0\tobj\n"), k4), "182(3)");
    EXPECT_EQ(Findings(Patched(k1B, "3 0 obj\n", "3 0 obj "), k1B), "185(3)");
    // The previous endobj not followed by an EOL is the next object not preceded by one.
    EXPECT_EQ(Findings(Patch(clean, "endobj\n3 0 obj", "endobj 3 0 obj"), k2B), "183(3) 186(2)");
    EXPECT_EQ(Findings(Patch(clean, ">>\nendobj\n3 0", ">> endobj\n3 0"), k2B), "184(2)");
    // A table offset one byte early (at the EOL before the number) is not a finding.
    char entry[11], early[11];
    std::snprintf(entry, sizeof entry, "%010zu", clean.find("3 0 obj"));
    std::snprintf(early, sizeof early, "%010zu", clean.find("3 0 obj") - 1);
    EXPECT_EQ(Findings(Patch(clean, std::string(entry) + " 00000 n", std::string(early) + " 00000 n"), k2B), "");
    // stream must be followed by LF or CR LF in PDF/A-1 to -3.
    EXPECT_EQ(Findings(Patch(clean, "stream\n0 0 m", "stream\r0 0 m"), k2B), "171(4)");
    EXPECT_EQ(Findings(Patched(k1B, "stream\n0 0 m", "stream\r0 0 m"), k1B), "171(4)");
    EXPECT_EQ(Findings(Patch(CleanFile(k4).Build(), "stream\n0 0 m", "stream\r0 0 m"), k4), "");
}

TEST(FileSyntax, TokenLimitsAgainstTheirObject)
{
    auto with_page_entry = [](int level, const std::string& entry) {
        PdfBuilder b = CleanFile(level);
        b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Resources<<>>/Contents 4 0 R" + entry + ">>");
        return b.Build();
    };
    EXPECT_EQ(Findings(with_page_entry(k2B, "/X<414>"), k2B), "161(3)");
    EXPECT_EQ(Findings(with_page_entry(k2B, "/X 3000000000"), k2B), "1124(3)");
    EXPECT_EQ(Findings(with_page_entry(k4, "/X 3000000000"), k4), "");
    EXPECT_EQ(Findings(with_page_entry(k1B, "/X 32767.5"), k1B), "1127(3)");
    EXPECT_EQ(Findings(with_page_entry(k1B, "/X 32767.00001"), k1B), "");
    EXPECT_EQ(Findings(with_page_entry(k2B, "/X 1e40"), k2B), "1129(3)");
    std::string name128 = "/" + std::string(128, 'n');
    EXPECT_EQ(Findings(with_page_entry(k2B, "/X" + name128), k2B), "1123(3)");
    EXPECT_EQ(Findings(with_page_entry(k4, "/X" + name128), k4), "");
    std::string string32768 = "(" + std::string(32768, 's') + ")";
    EXPECT_EQ(Findings(with_page_entry(k2B, "/X" + string32768), k2B), "11212(3)");
    EXPECT_EQ(Findings(with_page_entry(k1B, "/X" + string32768), k1B), "");
    EXPECT_EQ(Findings(with_page_entry(k1B, "/X[1 2 3"), k1B), "11(3)");

    // An invalid UTF-8 name: 187 from PDF/A-2 on; conversion reads its bytes as Latin-1.
    std::string bad_name = with_page_entry(k2B, "/X/A#FF");
    EXPECT_EQ(Findings(with_page_entry(k1B, "/X/A#FF"), k1B), "");
    EXPECT_EQ(Findings(bad_name, k2B), "187(3)");
    EXPECT_EQ(Findings(with_page_entry(k4E, "/X/A#FF"), k4E), "187(3)");
    qvx::PDF::PDFACompliance run(true, qvx::Test::ToBytes(bad_name), nullptr, k2B, nullptr, 0, 0, false);
    EXPECT_EQ(run.GetDoc().GetObj(3)->FindObj("X")->GetName(), "A\xC3\xBF");
}

TEST(FileSyntax, TokenLimitsInsideContentStreams)
{
    // The same token checks cover page content, recorded against the content stream; a
    // form painted by the page is read too. (Nothing is painted: device colour without an
    // output intent would be a finding of its own.)
    auto with_content = [](int level, const std::string& content) {
        PdfBuilder b = CleanFile(level);
        b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Resources<</XObject<</F 6 0 R>>>>/Contents 4 0 R>>");
        b.SetStream(4, "", "q /F Do Q");
        b.SetStream(6, "/Type/XObject/Subtype/Form/BBox[0 0 10 10]", content);
        return b.Build();
    };
    EXPECT_EQ(Findings(with_content(k2B, "0 0 m 10 10 l n"), k2B), "");
    EXPECT_EQ(Findings(with_content(k2B, "BT 3 Tr <48455> Tj ET"), k2B), "161(6)");
    EXPECT_EQ(Findings(with_content(k2B, "3000000000 0 m n"), k2B), "1124(6)");
    EXPECT_EQ(Findings(with_content(k1B, "32768.5 0 m n"), k1B), "1127(6)");
    EXPECT_EQ(Findings(with_content(k4, "3000000000 0 m n"), k4), "");
    EXPECT_EQ(Findings(with_content(k2B, "/" + std::string(128, 'n') + " BMC EMC"), k2B), "1123(6)");
}

TEST(FileSyntax, RebuiltFilesReportEachFindingOnce)
{
    // Object 6 is defined twice; the rebuilt table takes the later, clean definition, so the
    // long name of the earlier one is no finding. The stream without Length is one 173.
    PdfBuilder b = CleanFile(k2B);
    b.Set(6, "<</X/" + std::string(128, 'n') + ">>");
    b.Set(7, "<<>>\nstream\nabc\nendstream");
    std::string pdf = b.Build(PdfBuilder::XRef::e_none) + "6 0 obj\n<</X 1>>\nendobj\n";
    EXPECT_EQ(Findings(pdf, k2B), "11 173(7)");
    // Objects read at wrong offsets before the rebuild leave no findings behind.
    std::string shifted = CleanFile(k2B).Build();
    char right[11], wrong[11];
    std::snprintf(right, sizeof right, "%010zu", shifted.find("1 0 obj"));
    std::snprintf(wrong, sizeof wrong, "%010zu", shifted.find("1 0 obj") + 2);
    EXPECT_EQ(Findings(Patch(shifted, std::string(right) + " 00000 n", std::string(wrong) + " 00000 n"), k2B), "11");
    // A rebuilt trailer is read without the name checks; its copy writes a key and a name
    // that are no UTF-8 as text, as conversion writes every other name.
    PdfBuilder odd = CleanFile(k2B);
    odd.SetTrailer("/Root 1 0 R/Extra#e9 1/Kind/Caf#e9" + std::string("/ID[<0011><0011>]"));
    std::string rebuilt = odd.Build();
    rebuilt.replace(rebuilt.rfind("startxref\n") + 10, rebuilt.rfind("\n%%EOF") - rebuilt.rfind("startxref\n") - 10, "7");
    EXPECT_EQ(Findings(rebuilt, k2B), "11");
    EXPECT_EQ(FindingsAfterConversion(rebuilt, k2B), "");
}

TEST(FileSyntax, ObjectCountLimitExceptInPDFA4)
{
    // Only a rebuilt table reaches that far: cross-reference data stops at 1048575.
    PdfBuilder b = CleanFile(k2B);
    b.Set(8388607, "null");
    std::string pdf = b.Build(PdfBuilder::XRef::e_none);
    EXPECT_EQ(Findings(pdf, k2B), "11 1125");
    PdfBuilder b4 = CleanFile(k4);
    b4.Set(8388607, "null");
    EXPECT_EQ(Findings(b4.Build(PdfBuilder::XRef::e_none), k4), "11");
}
