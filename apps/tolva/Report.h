#pragma once
// Results of compliance runs: as lines on the console, or as entries of "report.xml", which
// is written as the runs finish (never held in memory) with "report.xsl" beside it.

#include <string>

#include "apps/tolva/ToolSettings.h"
#include "common/UString.h"
#include "pdf/compliance/ErrorStoreReader.h"

namespace qvx::Tolva {

enum class Phase { e_Validation, e_Revalidation };

// Escapes UTF-16 code units for an XML attribute. Units XML cannot carry even as a
// character reference (C0 controls other than tab, LF and CR, unpaired surrogates, U+FFFE,
// U+FFFF) become &#xFFFD;, so any file name yields well-formed XML. A surrogate pair is
// written as one reference to its code point.
std::string XmlEscape(const Common::UString& text);

// Opens outputDir/report.xml (replacing it) and writes the prologue and the root start tag.
void OpenReport(ToolSettings& settings);
// Writes one run's result: a phase section of the report, or the console lines.
void WriteResult(const PDF::ErrorStoreReader& errors, const Common::UString& name,
                 const Common::UString& path, Phase phase, ToolSettings& settings);
// A validation section for a file whose processing failed, with the code e_PDF_Unknown.
void WriteFailure(const Common::UString& name, const Common::UString& path,
                  const Common::UString& text, ToolSettings& settings);
// Ends the root element, closes the report and writes outputDir/report.xsl.
void CloseReport(ToolSettings& settings);

// The stylesheet that renders a report as an HTML page.
extern const char* const kReportStylesheet;

}  // namespace qvx::Tolva
