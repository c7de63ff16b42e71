#include <gtest/gtest.h>

#include <regex>

#include "apps/tolva/Report.h"
#include "tests/apps/AppTestSupport.h"

using namespace qvx::Test;
using qvx::Common::UString;
using qvx::PDF::ErrorStoreReader;
using qvx::SDF::ErrorStore;
using qvx::Tolva::Phase;
using qvx::Tolva::ToolSettings;
using qvx::Tolva::XmlEscape;
namespace fs = std::filesystem;

namespace {

void Capture(int kind, const char* text, void* user)
{
    auto* out = static_cast<std::string*>(user);
    if (kind == 1) *out += "Error: ";
    if (kind == 4) *out += "[written] ";
    *out += text;
    if (kind == 1) *out += "\n";
}

UString U(const std::string& utf8) { return UString::FromUTF8(utf8); }

std::vector<qvx::Tolva::Finding> Findings(const ErrorStore& store) { return qvx::Tolva::ReadFindings(ErrorStoreReader(store)); }

// One failing run with a capped code, a code without objects, and a PDF/UA code.
ErrorStore FailingStore()
{
    ErrorStore store(3);
    for (std::uint32_t n : {12u, 5u, 9u, 30u}) store.AddError(131, n);
    store.AddError(1101);
    store.AddError(-1719, 4u);
    return store;
}

}  // namespace

TEST(Report, XmlEscapeByCodeUnit)
{
    const std::pair<std::u16string, std::string> cases[] = {
        {u"a\"b&c<d>e'f", "a&quot;b&amp;c&lt;d&gt;e'f"},
        {u"\t\n\r", "&#x09;&#x0A;&#x0D;"},
        {u"\u00E9\u007F\u0080\u00FE", "&#xE9;&#x7F;&#x80;&#xFE;"},
        {u"\u00FF\u20AC\uFFFD", "&#x00FF;&#x20AC;&#xFFFD;"},
        {u"\U0001F600", "&#x01F600;"},
        // Units XML cannot hold even as references.
        {std::u16string{0x01, 0x1F, 0x00}, "&#xFFFD;&#xFFFD;&#xFFFD;"},
        {std::u16string{0xD800, u'x', 0xDC00}, "&#xFFFD;x&#xFFFD;"},
        {std::u16string{0xDBFF}, "&#xFFFD;"},
        {u"\uFFFE\uFFFF", "&#xFFFD;&#xFFFD;"},
        {u"", ""},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(XmlEscape(UString(in)), out);
    // A name that is not UTF-8 keeps its place without breaking the markup.
    EXPECT_EQ(XmlEscape(UString::FromFileName("caf\xE9.pdf")), "caf&#xFFFD;.pdf");
}

TEST(Report, ConsoleLines)
{
    std::string out;
    ToolSettings s;
    s.writeXml = false;
    s.log = Capture;
    s.logUser = &out;
    ErrorStore fail = FailingStore();
    ErrorStore pass;
    qvx::Tolva::WriteResult(Findings(pass), U("a.pdf"), U("in/a.pdf"), 4, Phase::e_Validation, s);
    qvx::Tolva::WriteResult(Findings(fail), U("b.pdf"), U("in/b.pdf"), 4, Phase::e_Validation, s);
    qvx::Tolva::WriteResult(Findings(pass), U("a_pdfa.pdf"), U("out/a_pdfa.pdf"), 4, Phase::e_Revalidation, s);
    qvx::Tolva::WriteResult(Findings(fail), U("b_pdfa.pdf"), U("out/b_pdfa.pdf"), 4, Phase::e_Revalidation, s);
    const std::string errors =
        "\t - e_PDFUA1719: The XMP Metadata stream is not valid.\n"
        "\t   Obj Refs:4\n"
        "\t - e_PDFA131: The trailer dictionary does not contain ID\n"
        "\t   Obj Refs:5, 9, 12\n"
        "\t - e_PDFA1101: Using LZW compression\n";
    EXPECT_EQ(out, "VLD-[PASS]: a.pdf\nVLD-[FAIL]: b.pdf\n" + errors + "CNV-[PASS]: a_pdfa.pdf\nCNV-[FAIL]: b_pdfa.pdf\n" + errors);

    // Without details (and below verbosity 4) only the verdicts are written.
    out.clear();
    s.listDetails = false;
    qvx::Tolva::WriteResult(Findings(fail), U("b.pdf"), U("in/b.pdf"), 4, Phase::e_Validation, s);
    EXPECT_EQ(out, "VLD-[FAIL]: b.pdf\n");
    s.verbosity = 4;
    out.clear();
    qvx::Tolva::WriteResult(Findings(fail), U("b.pdf"), U("in/b.pdf"), 4, Phase::e_Validation, s);
    EXPECT_EQ(out, "VLD-[FAIL]: b.pdf\n" + errors);
    // A name that is not UTF-8 reaches the console as its own bytes.
    out.clear();
    qvx::Tolva::WriteResult(Findings(pass), UString::FromFileName("\xE9.pdf"), U("x"), 4, Phase::e_Validation, s);
    EXPECT_EQ(out, "VLD-[PASS]: \xE9.pdf\n");
}

TEST(Report, XmlSectionsAndStylesheet)
{
    TempDir dir;
    ToolSettings s;
    s.outputDir = dir.Path().string();
    ErrorStore fail = FailingStore();
    ErrorStore pass;
    // At level 1B: the clause table knows 1101 in part 1 only, and no PDF/A-1 clause of 131.
    qvx::Tolva::OpenReport(s);
    qvx::Tolva::WriteResult(Findings(pass), U("a.pdf"), U("in/a.pdf"), 2, Phase::e_Validation, s);
    qvx::Tolva::WriteResult(Findings(fail), U("b&c.pdf"), U("in/b&c.pdf"), 2, Phase::e_Validation, s);
    qvx::Tolva::WriteResult(Findings(fail), U("b&c_pdfa.pdf"), U("/out/b&c_pdfa.pdf"), 2, Phase::e_Revalidation, s);
    qvx::Tolva::WriteFailure(U("bad\xC3\xA9.pdf"), U("in/bad\xC3\xA9.pdf"), U("Exception: \n\t Message: <broken>"), s);
    qvx::Tolva::CloseReport(s);

    fs::path report = dir.Path() / "report.xml";
    fs::path xsl = dir.Path() / "report.xsl";
    EXPECT_EQ(XmlLintErrors(report), "");
    EXPECT_EQ(XmlLintErrors(xsl), "");
    std::string xml = ReadFile(report);
    std::smatch when;
    ASSERT_TRUE(std::regex_search(xml, when, std::regex("RunDateTime=\"(\\d{4}-[A-Z][a-z]{2}-\\d{2} \\d{2}:\\d{2}:\\d{2})\"")));
    const std::string body =
        "<Validation>\n"
        " <Pass FileName=\"a.pdf\" FileNameAndPath=\"in/a.pdf\"></Pass>\n"
        "</Validation>\n"
        "<Validation>\n"
        " <Fail FileName=\"b&amp;c.pdf\" FileNameAndPath=\"in/b&amp;c.pdf\">\n"
        "  <Error Code=\"e_PDFUA1719\" Message=\"The XMP Metadata stream is not valid.\" Refs=\"4\" Clause=\"\"/>\n"
        "  <Error Code=\"e_PDFA131\" Message=\"The trailer dictionary does not contain ID\" Refs=\"5, 9, 12\" Clause=\"\"/>\n"
        "  <Error Code=\"e_PDFA1101\" Message=\"Using LZW compression\" Refs=\"\" Clause=\"6.1.10\"/>\n"
        " </Fail>\n"
        "</Validation>\n"
        "<Revalidation>\n"
        " <Fail FileName=\"b&amp;c_pdfa.pdf\" FileNameAndPath=\"/out/b&amp;c_pdfa.pdf\">\n"
        "  <Error Code=\"e_PDFUA1719\" Message=\"The XMP Metadata stream is not valid.\" Refs=\"4\" Clause=\"\"/>\n"
        "  <Error Code=\"e_PDFA131\" Message=\"The trailer dictionary does not contain ID\" Refs=\"5, 9, 12\" Clause=\"\"/>\n"
        "  <Error Code=\"e_PDFA1101\" Message=\"Using LZW compression\" Refs=\"\" Clause=\"6.1.10\"/>\n"
        " </Fail>\n"
        "</Revalidation>\n"
        "<Validation>\n"
        " <Fail FileName=\"bad&#xE9;.pdf\" FileNameAndPath=\"in/bad&#xE9;.pdf\">\n"
        "  <Error Code=\"e_PDF_Unknown\" Message=\"Exception: &#x0A;&#x09; Message: &lt;broken&gt;\"/>\n"
        " </Fail>\n"
        "</Validation>\n"
        "</TolvaReport>\n";
    EXPECT_EQ(xml, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<?xml-stylesheet type=\"text/xsl\" href=\"report.xsl\"?>\n"
                   "<TolvaReport RunDateTime=\"" + when[1].str() + "\">\n" + body);

    fs::path html = dir.Path() / "xslt.html";
    RunResult t = qvx::Test::Run({"/usr/bin/xsltproc", "-o", html.string(), xsl.string(), report.string()});
    ASSERT_EQ(t.status, 0) << t.output;
    std::string page = ReadFile(html);
    auto at = [&](const std::string& text, std::size_t from = 0) {
        std::size_t p = page.find(text, from);
        EXPECT_NE(p, std::string::npos) << text;
        return p;
    };
    // Headings in page order: validation first, then revalidation.
    std::size_t v = at("<h1>PDF/A Validation Results (Before Conversion):</h1>");
    std::size_t vf = at("<h2>Fail:</h2>", v);
    std::size_t vp = at("<h2>Pass:</h2>", vf);
    std::size_t r = at("<h1>PDF/A Revalidation Results (After Conversion):</h1>", vp);
    at("<h2>Run DateTime: " + when[1].str() + "</h2>", v);
    at("<h2>Run DateTime: " + when[1].str() + "</h2>", r);
    at("<h2>Pass:</h2>", at("<h2>Fail:</h2>", r));
    // Fail boxes: link row, caption row, one row per error; pass box with the passed link.
    at("<a href=\"in/b&amp;c.pdf\">b&amp;c.pdf</a>", vf);
    at("<td width=\"10%\">Error ID</td>", vf);
    at("<td width=\"70%\">Message</td>", vf);
    at("<td width=\"20%\">Obj Refs</td>", vf);
    at("<td>e_PDFA131</td>", vf);
    at("<td>5, 9, 12</td>", vf);
    at("<a href=\"in/bad%C3%A9.pdf\">bad\xC3\xA9.pdf</a>", vf);
    EXPECT_LT(at("<a href=\"in/a.pdf\">a.pdf</a>", vp), r);
    at("<a href=\"/out/b&amp;c_pdfa.pdf\">b&amp;c_pdfa.pdf</a>", r);
    for (const char* style : {"Trebuchet MS", "10pt", "14pt", "#f0f0f0", "#cccccc", "1px solid darkred",
                              "1px solid darkblue", "font-style: italic"})
        at(style);
    at("Tolva 10.8083607</a>");
}

TEST(Report, ProcessingFailuresInBothModes)
{
    // Until documents can be opened every file is a processing failure: in the report a
    // failure entry whose text depends on the verbosity, on the console an error line.
    TempDir dir;
    dir.Write("in/a.pdf", "%PDF-1.7\n");
    RunResult quiet = Tolva({"-o", "out", "in/a.pdf"}, dir.Path());
    std::string xml = ReadFile(dir.Path() / "out/report.xml");
    EXPECT_NE(xml.find("<Error Code=\"e_PDF_Unknown\" Message=\"\"/>"), std::string::npos) << xml;
    EXPECT_EQ(quiet.output, "Processing... \nin/a.pdf\n");
    RunResult loud = Tolva({"--verb", "2", "-o", "out", "in/a.pdf"}, dir.Path());
    xml = ReadFile(dir.Path() / "out/report.xml");
    EXPECT_NE(xml.find("Message=\"Exception: &#x0A;&#x09; Message: "), std::string::npos) << xml;
    EXPECT_NE(xml.find("&#x09; Linenumber   : "), std::string::npos);
    EXPECT_EQ(XmlLintErrors(dir.Path() / "out/report.xml"), "");

    RunResult console = Tolva({"-x", "--verb", "2", "in/a.pdf"}, dir.Path());
    EXPECT_NE(console.output.find("Error: An error occurred while processing: in/a.pdf\nException: \n\t Message: "),
              std::string::npos)
        << console.output;
    RunResult plain = Tolva({"-x", "in/a.pdf"}, dir.Path());
    EXPECT_EQ(plain.output, "Processing... \nin/a.pdf\nError: An error occurred while processing: in/a.pdf\n\n");
}
