#pragma once
// Compliance runs over generated files: a clean file for a level (the one-page file with an
// XMP packet that identifies the level), and a run's findings as compact text.

#include <filesystem>
#include <string>

#include "common/Buffer.h"
#include "common/UString.h"
#include "pdf/compliance/PDFACompliance.h"
#include "tests/compliance/XmpTestSupport.h"
#include "tests/support/PdfBuilder.h"
#include "tests/support/TestEnv.h"

namespace qvx::Test {

// The identification a packet gives for a level.
inline std::string IdentFor(int level)
{
    static const char* const kConf[] = {"", "A", "B", "A", "B", "U", "A", "B", "U", "", "E", "F"};
    std::string part = std::to_string(SDF::CheckState::PartOf(level));
    std::string s = Ident(part, kConf[level]);
    if (level >= 9) s += "<pdfaid:rev>2020</pdfaid:rev>";
    return s;
}

// The catalog of a clean file (object 1) with extra entries: at the A levels it is marked
// and has a structure tree root; at level 4F it lists (no) embedded files.
inline std::string CatalogFor(int level, const std::string& extra = {})
{
    bool tagged = level == 1 || level == 3 || level == 6;
    return "<</Type/Catalog/Pages 2 0 R/Metadata 5 0 R" +
           std::string(tagged ? "/MarkInfo<</Marked true>>/StructTreeRoot<</Type/StructTreeRoot>>" : "") +
           std::string(level == 11 ? "/Names<</EmbeddedFiles<</Names[]>>>>" : "") + extra + ">>";
}

// Catalog 1, pages 2, page 3, content 4, metadata 5; a trailer with Root and ID. Nothing in
// it violates a rule of the given level (1 to 11).
inline PdfBuilder CleanFile(int level, const std::string& version = "1.7")
{
    PdfBuilder b = PdfBuilder::Minimal(level >= 9 ? "2.0" : version);
    b.Set(1, CatalogFor(level));
    b.SetStream(5, "/Type/Metadata/Subtype/XML", kBegin + XmpBody(IdentFor(level)) + kEnd);
    // A path that paints nothing: device colour without an output intent is a finding.
    b.SetStream(4, "", "0 0 m 100 100 l n");
    return b;
}

inline Common::Bytes ToBytes(const std::string& s) { return Common::Bytes(s.begin(), s.end()); }

// Each recorded code in ascending order, followed by its object numbers in brackets when it
// has any: "131 183(4) 1101(4 6)".
inline std::string Findings(const PDF::PDFACompliance& run)
{
    std::string out;
    for (int i = 0; i < run.GetErrorCount(); ++i) {
        std::int32_t code = run.GetError(i);
        if (!out.empty()) out += ' ';
        out += std::to_string(code);
        int n = run.GetRefCount(code);
        for (int k = 0; k < n; ++k) out += (k == 0 ? "(" : " ") + std::to_string(run.GetRef(code, k));
        if (n > 0) out += ')';
    }
    return out;
}

struct RunOptions {
    bool convert = false;
    bool first_stop = false;
};

// Findings of a run over pdf at level.
inline std::string Findings(const std::string& pdf, int level, RunOptions o = {})
{
    PDF::PDFACompliance run(o.convert, ToBytes(pdf), nullptr, level, nullptr, 0, 0, o.first_stop);
    return Findings(run);
}

// The findings of a validation of the file that a conversion of pdf at level writes.
inline std::string FindingsAfterConversion(const std::string& pdf, int level)
{
    TempDir dir;
    std::filesystem::path out = dir.Path() / "out.pdf";
    {
        PDF::PDFACompliance run(true, ToBytes(pdf), nullptr, level, nullptr, 0, 0, false);
        run.SaveAs(Common::UString::FromFileName(out.string()), false);
    }
    PDF::PDFACompliance check(false, Common::UString::FromFileName(out.string()), nullptr, level, nullptr, 0, 0, false);
    return Findings(check);
}

}  // namespace qvx::Test
