#include "apps/tolva/Report.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <cstdio>
#include <fstream>

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

std::string JoinRefs(const PDF::ErrorStoreReader& errors, std::int32_t code)
{
    std::string refs;
    int count = errors.GetRefCount(code);
    for (int i = 0; i < count; ++i) {
        if (i) refs += ", ";
        refs += std::to_string(errors.GetRef(code, i));
    }
    return refs;
}

// The section is assembled first so that a reader that throws leaves no half-written
// element behind; a section is one file's worth, the report as a whole is streamed.
std::string Section(const PDF::ErrorStoreReader& errors, const Common::UString& name,
                    const Common::UString& path, Phase phase)
{
    std::string tag = PhaseTag(phase);
    std::string s = "<" + tag + ">\n";
    int count = errors.GetErrorCount();
    if (count == 0) {
        s += " <Pass " + EntryAttributes(name, path) + "></Pass>\n";
    } else {
        s += " <Fail " + EntryAttributes(name, path) + ">\n";
        for (int i = 0; i < count; ++i) {
            std::int32_t code = errors.GetError(i);
            s += "  <Error Code=\"" + PDF::ErrorCodeText(code) + "\" Message=\"" +
                 PDF::ErrorStoreReader::GetErrorMessage(code) + "\" Refs=\"" + JoinRefs(errors, code) + "\"/>\n";
        }
        s += " </Fail>\n";
    }
    return s + "</" + tag + ">\n";
}

void WriteConsole(const PDF::ErrorStoreReader& errors, const Common::UString& name, Phase phase,
                  const ToolSettings& settings)
{
    std::string prefix = phase == Phase::e_Validation ? "VLD-" : "CNV-";
    int count = errors.GetErrorCount();
    Log(settings, e_LogInfo, prefix + (count == 0 ? "[PASS]: " : "[FAIL]: ") + name.ToFileName() + "\n");
    if (!(settings.listDetails || settings.verbosity >= 4)) return;
    for (int i = 0; i < count; ++i) {
        std::int32_t code = errors.GetError(i);
        std::string lines = "\t - " + PDF::ErrorCodeText(code) + ": " +
                            PDF::ErrorStoreReader::GetErrorMessage(code) + "\n";
        if (errors.GetRefCount(code) > 0) lines += "\t   Obj Refs:" + JoinRefs(errors, code) + "\n";
        Log(settings, e_LogInfo, lines);
    }
}

std::string OutputFile(const ToolSettings& settings, const char* name)
{
    return settings.outputDir + settings.separator.ToFileName() + name;
}

}  // namespace

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
    std::string when = boost::posix_time::to_simple_string(boost::posix_time::second_clock::local_time());
    settings.report << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                       "<?xml-stylesheet type=\"text/xsl\" href=\"report.xsl\"?>\n"
                    << "<TolvaReport RunDateTime=\"" << when << "\">\n";
}

void WriteResult(const PDF::ErrorStoreReader& errors, const Common::UString& name,
                 const Common::UString& path, Phase phase, ToolSettings& settings)
{
    if (settings.writeXml) settings.report << Section(errors, name, path, phase);
    else WriteConsole(errors, name, phase, settings);
}

void WriteFailure(const Common::UString& name, const Common::UString& path,
                  const Common::UString& text, ToolSettings& settings)
{
    settings.report << "<Validation>\n <Fail " << EntryAttributes(name, path) << ">\n"
                    << "  <Error Code=\"e_PDF_Unknown\" Message=\"" << XmlEscape(text) << "\"/>\n"
                    << " </Fail>\n</Validation>\n";
}

void CloseReport(ToolSettings& settings)
{
    settings.report << "</TolvaReport>\n";
    settings.report.close();
    std::ofstream(OutputFile(settings, "report.xsl"), std::ios::binary | std::ios::trunc) << kReportStylesheet;
}

}  // namespace qvx::Tolva
