#pragma once
// Results of compliance runs: as lines on the console, or as entries of "report.xml", which
// is written as the runs finish (never held in memory) with "report.xsl" beside it.

#include <string>

#include "apps/tolva/FileResult.h"
#include "apps/tolva/ToolSettings.h"
#include "common/UString.h"

namespace qvx::Tolva {

enum class Phase { e_Validation, e_Revalidation };

// Escapes UTF-16 code units for an XML attribute. Units XML cannot carry even as a
// character reference (C0 controls other than tab, LF and CR, unpaired surrogates, U+FFFE,
// U+FFFF) become &#xFFFD;, so any file name yields well-formed XML. A surrogate pair is
// written as one reference to its code point.
std::string XmlEscape(const Common::UString& text);

// Opens outputDir/report.xml (replacing it) and writes the prologue and the root start tag;
// starts report.html, which CloseReport writes beside it.
void OpenReport(ToolSettings& settings);
// Writes one run's result at a level: a phase section of the report, or the console lines.
// Each error carries the clause it breaks in the level's part; with the level taken from
// the files, the entry names the level.
void WriteResult(const std::vector<Finding>& findings, const Common::UString& name,
                 const Common::UString& path, std::int32_t level, Phase phase, ToolSettings& settings);
// The look check of a converted file: a LookCheck section of the report listing the pages
// whose look changed, or on the console "LOOK-[SAME]: " / "LOOK-[CHANGED]: " + name, with a
// line per changed page at verbosity 2.
void WriteLook(const Render::LookResult& look, const Common::UString& name, const Common::UString& path,
               ToolSettings& settings);
// A finite number with one decimal (a non-finite one as 0.0), as the reports write them.
std::string OneDecimal(double value);
// A changed page's PSNR as "18.2 dB", or "missing or resized".
std::string PageLookText(const Render::PageLook& page);
// A file that claims no level when the level is taken from the files: a validation section
// with a NoClaim entry, or the console line "VLD-[NO-CLAIM]: " + name.
void WriteNoClaim(const Common::UString& name, const Common::UString& path, ToolSettings& settings);
// A validation section for a file whose processing failed, with the code e_PDF_Unknown.
void WriteFailure(const Common::UString& name, const Common::UString& path,
                  const Common::UString& text, ToolSettings& settings);
// Hands a finished file, with its conversion, to the reports that are written per file
// (JSON, HTML) once all of its console lines and report.xml sections are out.
void FinishFile(const FileResult& result, ToolSettings& settings);
// Ends the root element, closes the report and writes outputDir/report.xsl and report.html.
void CloseReport(ToolSettings& settings);

// The stylesheet that renders a report as an HTML page.
extern const char* const kReportStylesheet;

}  // namespace qvx::Tolva
