#include "apps/tolva/Report.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "apps/tolva/BatchRunCapture.h"
#include "apps/tolva/CommandLine.h"
#include "apps/tolva/Progress.h"
#include "apps/tolva/ReportHtml.h"
#include "apps/tolva/ReportJson.h"
#include "pdf/compliance/ErrorCatalogue.h"

namespace qvx::Tolva {

namespace {

void AppendRef(std::string& out, const char* format, unsigned value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, format, value);
    out += buf;
}

const char* PhaseTag(Phase phase) { return phase == Phase::e_Validation ? "Validation" : "Revalidation"; }

std::string EntryAttributes(const Common::UString& name, const Common::UString& path)
{
    return "FileName=\"" + XmlEscape(name) + "\" FileNameAndPath=\"" + XmlEscape(path) + "\"";
}

std::string JoinRefs(const Finding& finding)
{
    std::string refs;
    for (std::uint32_t n : finding.objects) {
        if (!refs.empty()) refs += ", ";
        refs += std::to_string(n);
    }
    return refs;
}

std::string LevelAttribute(std::int32_t level, const ToolSettings& settings)
{
    return settings.level == kLevelAuto ? " Level=\"" + LevelText(level) + "\"" : "";
}

// The section is assembled first and written in one piece; a section is one file's worth,
// the report as a whole is streamed.
std::string Section(const std::vector<Finding>& findings, const Common::UString& name,
                    const Common::UString& path, std::int32_t level, Phase phase, const ToolSettings& settings)
{
    std::string tag = PhaseTag(phase);
    std::string s = "<" + tag + ">\n";
    std::string attributes = EntryAttributes(name, path) + LevelAttribute(level, settings);
    if (findings.empty()) {
        s += " <Pass " + attributes + "></Pass>\n";
    } else {
        s += " <Fail " + attributes + ">\n";
        for (const Finding& f : findings) {
            s += "  <Error Code=\"" + PDF::ErrorCodeText(f.code) + "\" Message=\"" +
                 PDF::ErrorStoreReader::GetErrorMessage(f.code) + "\" Refs=\"" + JoinRefs(f) + "\" Clause=\"" +
                 PDF::FindErrorClause(f.code, level) + "\"/>\n";
        }
        s += " </Fail>\n";
    }
    return s + "</" + tag + ">\n";
}

void WriteConsole(const std::vector<Finding>& findings, const Common::UString& name, Phase phase,
                  const ToolSettings& settings)
{
    std::string prefix = phase == Phase::e_Validation ? "VLD-" : "CNV-";
    Log(settings, e_LogInfo, prefix + (findings.empty() ? "[PASS]: " : "[FAIL]: ") + name.ToFileName() + "\n");
    if (!(settings.listDetails || settings.verbosity >= 4)) return;
    for (const Finding& f : findings) {
        std::string lines = "\t - " + PDF::ErrorCodeText(f.code) + ": " +
                            PDF::ErrorStoreReader::GetErrorMessage(f.code) + "\n";
        if (!f.objects.empty()) lines += "\t   Obj Refs:" + JoinRefs(f) + "\n";
        Log(settings, e_LogInfo, lines);
    }
}

std::string OutputFile(const ToolSettings& settings, const char* name)
{
    return settings.outputDir + settings.separator.ToFileName() + name;
}

}  // namespace

std::string OneDecimal(double value)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", std::isfinite(value) ? value : 0.0);
    return buf;
}

std::string PageLookText(const Render::PageLook& page)
{
    return page.psnr > 0 ? OneDecimal(page.psnr) + " dB" : "missing or resized";
}

std::string XmlEscape(const Common::UString& text)
{
    const std::u16string& u = text.Units();
    std::string out;
    out.reserve(u.size());
    for (std::size_t i = 0; i < u.size(); ++i) {
        char16_t c = u[i];
        if (c == '"') out += "&quot;";
        else if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c >= 0x20 && c < 0x7F) out += static_cast<char>(c);
        else if (c == 0x09 || c == 0x0A || c == 0x0D || (c >= 0x7F && c < 0xFF)) AppendRef(out, "&#x%02X;", c);
        else if (c < 0x20) out += "&#xFFFD;";
        else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < u.size() && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF) {
            AppendRef(out, "&#x%06X;", 0x10000u + ((c - 0xD800u) << 10) + (u[i + 1] - 0xDC00u));
            ++i;
        } else if ((c >= 0xD800 && c <= 0xDFFF) || c >= 0xFFFE) out += "&#xFFFD;";
        else AppendRef(out, "&#x%04X;", c);
    }
    return out;
}

void OpenReport(ToolSettings& settings)
{
    settings.report.open(OutputFile(settings, "report.xml"), std::ios::binary | std::ios::trunc);
    settings.html = std::make_shared<HtmlReport>(settings);
    std::string when = boost::posix_time::to_simple_string(boost::posix_time::second_clock::local_time());
    settings.report << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                       "<?xml-stylesheet type=\"text/xsl\" href=\"report.xsl\"?>\n"
                    << "<TolvaReport RunDateTime=\"" << when << "\">\n";
}

void WriteResult(const std::vector<Finding>& findings, const Common::UString& name,
                 const Common::UString& path, std::int32_t level, Phase phase, ToolSettings& settings)
{
    if (settings.writeXml) settings.report << Section(findings, name, path, level, phase, settings);
    else WriteConsole(findings, name, phase, settings);
}

void WriteLook(const Render::LookResult& look, const Common::UString& name, const Common::UString& path,
               ToolSettings& settings)
{
    if (settings.writeXml) {
        Render::LookOptions at;
        std::string s = "<LookCheck " + EntryAttributes(name, path) + " Dpi=\"" + OneDecimal(at.dpi) + "\" Threshold=\"" +
                        OneDecimal(at.threshold) + "\" Compared=\"" + std::to_string(look.compared) + "\" Drawn=\"" +
                        std::to_string(look.drawn) + "\" Undrawn=\"" +
                        std::to_string(look.undrawn) + "\">\n";
        for (const Render::PageLook& p : look.changed)
            s += " <Page Number=\"" + std::to_string(p.page) + "\" PSNR=\"" + OneDecimal(p.psnr) + "\"/>\n";
        settings.report << s << "</LookCheck>\n";
        return;
    }
    std::string lines = (look.changed.empty() ? "LOOK-[SAME]: " : "LOOK-[CHANGED]: ") + name.ToFileName() + "\n";
    if (settings.verbosity >= 2) {
        for (const Render::PageLook& p : look.changed)
            lines += "\t - Page " + std::to_string(p.page) + ": " +
                     PageLookText(p) + "\n";
        if (look.undrawn) lines += "\t   Pages that could not be drawn: " + std::to_string(look.undrawn) + "\n";
    }
    Log(settings, e_LogInfo, lines);
}

void WriteNoClaim(const Common::UString& name, const Common::UString& path, ToolSettings& settings)
{
    if (settings.writeXml)
        settings.report << "<Validation>\n <NoClaim " << EntryAttributes(name, path) << "></NoClaim>\n</Validation>\n";
    else Log(settings, e_LogInfo, "VLD-[NO-CLAIM]: " + name.ToFileName() + "\n");
}

void WriteFailure(const Common::UString& name, const Common::UString& path,
                  const Common::UString& text, ToolSettings& settings)
{
    settings.report << "<Validation>\n <Fail " << EntryAttributes(name, path) << ">\n"
                    << "  <Error Code=\"e_PDF_Unknown\" Message=\"" << XmlEscape(text) << "\"/>\n"
                    << " </Fail>\n</Validation>\n";
}

void FinishFile(const FileResult& result, ToolSettings& settings)
{
    // In a worker process the batch, not the worker, writes the per-file reports.
    if (settings.mp_capture) return settings.mp_capture->AddFile(result);
    if (settings.json) settings.json->Add(result);
    if (settings.html) settings.html->Add(result);
    if (settings.progress) settings.progress->FileDone();
}

void CloseReport(ToolSettings& settings)
{
    settings.report << "</TolvaReport>\n";
    settings.report.close();
    std::ofstream(OutputFile(settings, "report.xsl"), std::ios::binary | std::ios::trunc) << kReportStylesheet;
    if (settings.html) settings.html->Close();
    settings.html.reset();
}

}  // namespace qvx::Tolva
