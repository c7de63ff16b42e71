// --compare-pages: the pages of each converted file drawn against the original's, in every
// report form, and the same with worker processes.

#include <gtest/gtest.h>

#include "tests/apps/AppTestSupport.h"
#include "tests/support/PdfBuilder.h"

using namespace qvx::Test;
namespace fs = std::filesystem;

namespace {

// A page whose only annotation covers it in red on paper but is flagged NoView: conversion
// must clear the flag and keeps the printed look, so the page then shows the annotation.
std::string HiddenAnnotation()
{
    PdfBuilder b = PdfBuilder::Minimal();
    b.Set(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R /Annots [5 0 R] >>");
    b.Set(5, "<< /Type /Annot /Subtype /Square /Rect [0 0 200 200] /F 36 /AP << /N 6 0 R >> >>");
    b.SetStream(6, "/Type /XObject /Subtype /Form /BBox [0 0 200 200]", "1 0 0 rg 0 0 200 200 re f");
    return b.Build();
}

std::string Jq(const std::string& filter, const fs::path& json)
{
    RunResult r = Run({"/usr/bin/jq", "-r", filter, json.string()});
    EXPECT_EQ(r.status, 0) << filter << "\n" << r.output;
    return r.output;
}

}  // namespace

TEST(LookCheck, ChangedPagesInEveryReportForm)
{
    TempDir dir;
    dir.Write("in/a_same.pdf", PdfBuilder::Minimal().Build());
    dir.Write("in/b_hidden.pdf", HiddenAnnotation());

    RunResult plain = Tolva({"-x", "-c", "--compare-pages", "-o", "out", "in"}, dir.Path());
    EXPECT_EQ(plain.status, 0);
    EXPECT_NE(plain.output.find("CNV-[PASS]: a_same_pdfa.pdf\nLOOK-[SAME]: a_same_pdfa.pdf\n"), std::string::npos)
        << plain.output;
    EXPECT_NE(plain.output.find("LOOK-[CHANGED]: b_hidden_pdfa.pdf\n"), std::string::npos) << plain.output;
    EXPECT_EQ(plain.output.find("\t - Page 1:"), std::string::npos) << "pages are listed at verbosity 2 only";

    RunResult verbose = Tolva({"-x", "-c", "--compare-pages", "--verb", "2", "-o", "out", "in"}, dir.Path());
    EXPECT_NE(verbose.output.find("LOOK-[CHANGED]: b_hidden_pdfa.pdf\n\t - Page 1: "), std::string::npos)
        << verbose.output;

    // Worker processes hand the result back: the same lines.
    RunResult jobs = Tolva({"-x", "-c", "--compare-pages", "--verb", "2", "-j", "2", "-o", "out", "in"}, dir.Path());
    EXPECT_EQ(jobs.output, verbose.output);

    // Without the option nothing is drawn or said.
    RunResult off = Tolva({"-x", "-c", "-o", "out", "in"}, dir.Path());
    EXPECT_EQ(off.output.find("LOOK-"), std::string::npos);

    // The report: a LookCheck section per converted file, the JSON look object, the page.
    RunResult rep = Tolva({"-c", "--compare-pages", "-j", "2", "-o", "rep", "--json", "run.json", "in"}, dir.Path());
    EXPECT_EQ(rep.status, 0);
    fs::path xml = dir.Path() / "rep/report.xml";
    EXPECT_EQ(XmlLintErrors(xml), "");
    std::string report = ReadFile(xml);
    EXPECT_NE(report.find("<LookCheck FileName=\"a_same_pdfa.pdf\""), std::string::npos) << report;
    EXPECT_NE(report.find("Compared=\"1\" Drawn=\"0\" Undrawn=\"0\">\n</LookCheck>"), std::string::npos) << report;
    EXPECT_NE(report.find("<LookCheck FileName=\"b_hidden_pdfa.pdf\""), std::string::npos) << report;
    EXPECT_NE(report.find(" <Page Number=\"1\" PSNR=\""), std::string::npos) << report;
    EXPECT_EQ(Jq(".run.options.comparePages", dir.Path() / "run.json"), "true\n");
    EXPECT_EQ(Jq(".files[] | \"\\(.name) \\(.conversion.look.compared) \\(.conversion.look.drawn) "
                 "\\(.conversion.look.changed | map(.page) | join(\",\"))\"",
                 dir.Path() / "run.json"),
              "a_same.pdf 1 0 \nb_hidden.pdf 1 1 1\n");
    std::string html = ReadFile(dir.Path() / "rep/report.html");
    EXPECT_NE(html.find("look changed</b> on page 1 ("), std::string::npos);
    EXPECT_NE(html.find("converted, look changed"), std::string::npos);

    // The page rebuilt from the JSON report says the same.
    RunResult again = Tolva({"--html-from", "run.json", "-o", "again"}, dir.Path());
    EXPECT_EQ(again.status, 0) << again.output;
    EXPECT_NE(ReadFile(dir.Path() / "again/report.html").find("look changed</b> on page 1 ("), std::string::npos);
}
