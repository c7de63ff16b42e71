#include "apps/tolva/ReportJson.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <cstdio>

#include "apps/tolva/CommandLine.h"
#include "apps/tolva/Report.h"
#include "common/Exception.h"
#include "pdf/compliance/ErrorCatalogue.h"

namespace qvx::Tolva {

namespace {

const char* Bool(bool value) { return value ? "true" : "false"; }

std::string LevelValue(std::int32_t level)
{
    std::string text = LevelText(level);
    return text.empty() ? "null" : JsonString(text);
}

std::string ErrorOrNull(const std::string& error) { return error.empty() ? "null" : JsonString(error); }

std::string Errors(const std::vector<Finding>& findings, std::int32_t level)
{
    std::string out = "[";
    for (const Finding& f : findings) {
        if (out.size() > 1) out += ", ";
        out += "{\"code\": " + JsonString(PDF::ErrorCodeText(f.code)) + ", \"number\": " + std::to_string(f.code) +
               ", \"clause\": " + JsonString(PDF::FindErrorClause(f.code, level)) +
               ", \"message\": " + JsonString(PDF::ErrorStoreReader::GetErrorMessage(f.code)) + ", \"objects\": [";
        for (std::size_t i = 0; i < f.objects.size(); ++i) out += (i ? ", " : "") + std::to_string(f.objects[i]);
        out += "]}";
    }
    return out + "]";
}

std::string Look(const std::optional<Render::LookResult>& look)
{
    if (!look) return "null";
    Render::LookOptions at;
    std::string out = "{\"dpi\": " + OneDecimal(at.dpi) + ", \"threshold\": " + OneDecimal(at.threshold) +
                      ", \"compared\": " + std::to_string(look->compared) +
                      ", \"drawn\": " + std::to_string(look->drawn) +
                      ", \"undrawn\": " + std::to_string(look->undrawn) + ", \"changed\": [";
    for (std::size_t i = 0; i < look->changed.size(); ++i)
        out += std::string(i ? ", " : "") + "{\"page\": " + std::to_string(look->changed[i].page) +
               ", \"psnr\": " + OneDecimal(look->changed[i].psnr) + "}";
    return out + "]}";
}

std::string Conversion(const std::optional<ConversionResult>& c, std::int32_t level)
{
    if (!c) return "null";
    return "{\"output\": " + JsonString(c->output) + ", \"verdict\": " +
           (c->revalidated ? JsonString(VerdictText(c->verdict)) : "null") + ", \"errors\": " +
           Errors(c->findings, level) + ", \"error\": " + ErrorOrNull(c->error) + ", \"look\": " +
           Look(c->look) + "}";
}

std::string Header(const ToolSettings& s)
{
    std::string date = boost::posix_time::to_iso_extended_string(boost::posix_time::second_clock::universal_time());
    return "{\"tool\": \"tolva\", \"version\": " + JsonString(kToolVersion) + ", \"run\": {\"date\": " +
           JsonString(date + "Z") + ", \"level\": " + LevelValue(s.level) + ", \"options\": {" +
           "\"convert\": " + Bool(s.convert) + ", \"revalidate\": " + Bool(s.revalidate) +
           ", \"linearize\": " + Bool(s.linearize) + ", \"flatten\": " + Bool(s.flatten) +
           ", \"comparePages\": " + Bool(s.comparePages) +
           ", \"subfolders\": " + Bool(s.subfolders) + ", \"xml\": " + Bool(s.writeXml) +
           ", \"maxRefObjs\": " + std::to_string(s.maxRefObjs) + ", \"extension\": " +
           JsonString(s.extension.ToUTF8()) + ", \"suffix\": " + JsonString(s.suffix.ToUTF8()) +
           ", \"outputDir\": " + JsonString(Common::UString::FromFileName(s.outputDir).ToUTF8()) +
           "}}, \"files\": [";
}

}  // namespace

std::string JsonString(std::string_view text)
{
    // Exception texts may carry file-name bytes that are not UTF-8; JSON must be.
    std::string valid;
    if (!Common::IsValidUTF8(text)) {
        valid = Common::UString::FromUTF8(text).ToUTF8();
        text = valid;
    }
    std::string out = "\"";
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

JsonReport::JsonReport(const ToolSettings& settings)
{
    if (settings.jsonPath == "-") {
        mp_out = stdout;
    } else {
        mp_out = std::fopen(settings.jsonPath.c_str(), "wb");
        if (!mp_out) QVX_THROW("mp_out != nullptr", "Cannot write the JSON report: " + settings.jsonPath);
        m_owned = true;
    }
    std::string header = Header(settings);
    std::fwrite(header.data(), 1, header.size(), mp_out);
    std::fflush(mp_out);
}

JsonReport::~JsonReport() { Close(); }

void JsonReport::Add(const FileResult& r)
{
    if (!mp_out) return;
    std::string entry = m_first ? "\n" : ",\n";
    m_first = false;
    entry += "{\"name\": " + JsonString(r.name.ToUTF8()) + ", \"path\": " + JsonString(r.path.ToUTF8()) +
             ", \"level\": " + LevelValue(r.level) + ", \"verdict\": " + JsonString(VerdictText(r.verdict)) +
             ", \"errors\": " + Errors(r.findings, r.level) + ", \"error\": " + ErrorOrNull(r.error) +
             ", \"conversion\": " + Conversion(r.conversion, r.level) + "}";
    std::fwrite(entry.data(), 1, entry.size(), mp_out);
    std::fflush(mp_out);
}

void JsonReport::Close()
{
    if (!mp_out) return;
    std::fputs(m_first ? "]}\n" : "\n]}\n", mp_out);
    if (m_owned) std::fclose(mp_out);
    else std::fflush(mp_out);
    mp_out = nullptr;
}

}  // namespace qvx::Tolva
