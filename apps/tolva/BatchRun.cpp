#include "apps/tolva/BatchRun.h"

#include <boost/filesystem.hpp>
#include <optional>

#include "apps/tolva/BatchRunPool.h"
#include "apps/tolva/CommandLine.h"
#include "apps/tolva/Progress.h"
#include "apps/tolva/Report.h"
#include "apps/tolva/ReportJson.h"
#include "common/Exception.h"
#include "pdf/compliance/ClaimedLevel.h"
#include "pdf/compliance/ColourRepair.h"
#include "pdf/compliance/PDFACompliance.h"
#include "pdf/compliance/RunDocument.h"
#include "render/PageCompare.h"

namespace qvx::Tolva {

namespace fs = boost::filesystem;
using Common::UString;

namespace {

bool IsSlash(char16_t c) { return c == u'/' || c == u'\\'; }

UString Lower(UString s)
{
    for (char16_t& c : s.Units())
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return s;
}

// Processes a name given on the command line; false when nothing exists under it.
bool Dispatch(const fs::path& p, ToolSettings& s)
{
    boost::system::error_code ec;
    fs::file_status st = fs::status(p, ec);
    if (fs::is_directory(st)) ProcessFolder(p, {}, s);
    else if (fs::exists(st)) ProcessFile(p, {}, s);
    else return false;
    return true;
}

std::string ErrorText(const char* what, const std::string& path, const Common::Exception* e,
                      const ToolSettings& s)
{
    std::string text = what + path + "\n";
    if (e && s.verbosity > 1) text += e->GetFullText();
    return text;
}

void Revalidate(std::int32_t level, ConversionResult& conversion, ToolSettings& s)
{
    UString path = UString::FromFileName(conversion.output);
    conversion.revalidated = true;
    try {
        PDF::PDFACompliance check(false, path, s.password.empty() ? nullptr : s.password.c_str(), level,
                                  nullptr, 0, s.maxRefObjs, false);
        conversion.findings = ReadFindings(check.Errors());
        conversion.verdict = conversion.findings.empty() ? Verdict::e_Pass : Verdict::e_Fail;
        WriteResult(conversion.findings, conversion.name, path, level, Phase::e_Revalidation, s);
    } catch (const Common::Exception& e) {
        conversion.verdict = Verdict::e_Error;
        conversion.error = e.GetMessage();
        Log(s, e_LogError, ErrorText("An error occurred while validating '", conversion.output + "'", &e, s));
    } catch (...) {
        conversion.verdict = Verdict::e_Error;
        conversion.error = "An unknown error occurred while validating";
        Log(s, e_LogError,
            ErrorText("An unknown error occurred while validating '", conversion.output + "'", nullptr, s));
    }
}

// Draws the copy's pages against the original's and reports those whose look changed.
void CompareLook(const UString& input, ConversionResult& conversion, ToolSettings& s)
{
    try {
        SDF::SDFDoc original, copy;
        PDF::OpenRunDocument(input, original, s.password);
        PDF::OpenRunDocument(UString::FromFileName(conversion.output), copy, s.password);
        Render::LookOptions options;
        options.formula_cmyk = &PDF::CMYKProfileBytes();
        conversion.look = Render::CompareLook(original, copy, options);
    } catch (const Common::Exception& e) {
        Log(s, e_LogError, ErrorText("An error occurred while comparing the pages of '", conversion.output + "'", &e, s));
        return;
    } catch (...) {
        Log(s, e_LogError,
            ErrorText("An unknown error occurred while comparing the pages of '", conversion.output + "'", nullptr, s));
        return;
    }
    WriteLook(*conversion.look, conversion.name, UString::FromFileName(conversion.output), s);
}

// A processing error: the failure entry or the console line, then the file's other reports.
void Fail(FileResult& result, const std::string& text, const Common::Exception* e, const fs::path& file,
          ToolSettings& s)
{
    result.verdict = Verdict::e_Error;
    result.findings.clear();
    result.conversion.reset();
    result.error = text.empty() ? "Processing error" : text;
    const char* what = e ? "An error occurred while processing: " : "An unknown error occurred while processing: ";
    if (!s.writeXml) Log(s, e_LogError, ErrorText(what, file.string(), e, s));
    else if (e) WriteFailure(result.name, result.path, UString::FromUTF8(s.verbosity > 1 ? e->GetFullText() : ""), s);
    else WriteFailure(result.name, result.path, UString::FromUTF8(text), s);
    FinishFile(result, s);
}

}  // namespace

int RunBatch(ToolSettings& s, const std::vector<std::string>& inputs)
{
    try {
        if (!fs::exists(s.outputDir)) fs::create_directories(s.outputDir);
    } catch (const std::exception&) {
        Log(s, e_LogError, "Failed to create the output directory: " + s.outputDir);
        return 3;
    }
    if (s.verbosity > 0) Log(s, e_LogInfo, "Processing... \n");
    if (!s.jsonPath.empty()) s.json = std::make_shared<JsonReport>(s);
    if (s.writeXml) OpenReport(s);
    if (Progress::Wanted()) s.progress = std::make_shared<Progress>(CountInputFiles(inputs, s), s);
    std::optional<BatchPool> pool;
    if (s.jobs > 1 || s.timeoutSeconds > 0 || s.maxMemoryMB > 0) pool.emplace(s);
    try {
        for (const std::string& name : inputs) {
            if (Dispatch(name, s)) continue;
            if (!fs::path(name).has_extension() && Dispatch(name + s.extension.ToFileName(), s)) continue;
            if (s.verbosity > 0) Log(s, e_LogError, "Wrong input filename or path: " + name);
        }
    } catch (...) {
        // What the workers finished before the walk failed is still reported, as without them.
        if (pool) pool->Finish();
        throw;
    }
    if (pool) pool->Finish();
    if (s.progress) s.progress->Finish();
    s.progress.reset();
    if (s.writeXml) CloseReport(s);
    if (s.json) s.json->Close();
    return 0;
}

void ProcessFolder(const fs::path& folder, UString relative, ToolSettings& s)
{
    if (s.verbosity >= 2) Log(s, e_LogInfo, "Processing directory: " + folder.string() + "...\n");
    UString name = UString::FromFileName(folder.filename().string());
    if (name.IsEmpty() || !IsSlash(name.Units().front())) {
        if (relative.IsEmpty() || !IsSlash(relative.Units().back())) relative += s.separator;
    }
    relative += name;
    for (fs::directory_iterator it(folder), end; it != end; ++it) {
        const fs::path& entry = it->path();
        try {
            if (fs::is_directory(it->status())) {
                if (s.subfolders) ProcessFolder(entry, relative, s);
            } else {
                ProcessFile(entry, relative, s);
            }
        } catch (const std::exception& e) {
            Log(s, e_LogError, entry.filename().string() + e.what());
        }
    }
}

void ProcessFile(const fs::path& file, const UString& relative, ToolSettings& s)
{
    if (Lower(UString::FromFileName(file.extension().string())) != s.extension) return;
    if (s.verbosity > 0) {
        Log(s, e_LogInfo, file.string());
        Log(s, e_LogInfo, "\n");
    }
    std::string out_folder = s.outputDir;
    if (!relative.IsEmpty()) {
        out_folder += relative.ToFileName();
        try {
            if (!fs::exists(out_folder)) fs::create_directories(out_folder);
        } catch (const std::exception&) {
            Log(s, e_LogError, "Failed to create the output sub-directory: " + out_folder);
            return;
        }
    }
    if (s.mp_pool) s.mp_pool->Submit(file, out_folder);
    else ProcessPDFA(file, out_folder, s);
}

void ProcessPDFA(const fs::path& file, const std::string& out_folder, ToolSettings& s)
{
    FileResult result;
    result.path = UString::FromFileName(file.string());
    result.name = UString::FromFileName(file.filename().string());
    try {
        result.level = s.level == kLevelAuto ? PDF::ReadClaimedLevel(result.path, s.password) : s.level;
        if (s.level == kLevelAuto && s.verbosity > 0)
            Log(s, e_LogInfo, "Level: " + (result.level ? LevelText(result.level) : "none claimed") + "\n");
        if (result.level == PDF::e_NoConformance) {
            result.verdict = Verdict::e_NoClaim;
            WriteNoClaim(result.name, result.path, s);
            FinishFile(result, s);
            return;
        }
        PDF::PDFAComplianceOptions options;
        options.SetPassword(s.password);
        options.SetConformance(result.level);
        options.SetMaxRefObjs(s.maxRefObjs);
        options.SetFirstStop(false);
        options.SetFlatten(s.flatten);
        PDF::PDFACompliance run(s.convert, result.path, nullptr, options);
        if (s.convert) {
            ConversionResult& c = result.conversion.emplace();
            c.name = OutputName(file, s);
            c.output = OutputPath(out_folder, c.name, s);
            run.SaveAs(UString::FromFileName(c.output), s.linearize);
            if (s.log) s.log(e_LogOutputFile, c.output.c_str(), s.logUser);
        }
        result.findings = ReadFindings(run.Errors());
        result.verdict = result.findings.empty() ? Verdict::e_Pass : Verdict::e_Fail;
        WriteResult(result.findings, result.name, result.path, result.level, Phase::e_Validation, s);
    } catch (const Common::Exception& e) {
        Fail(result, e.GetMessage(), &e, file, s);
        return;
    } catch (...) {
        Fail(result, "An unknown error occurred while processing", nullptr, file, s);
        return;
    }
    if (result.conversion && s.revalidate) Revalidate(result.level, *result.conversion, s);
    if (result.conversion && s.comparePages) CompareLook(result.path, *result.conversion, s);
    FinishFile(result, s);
}

void ReportProcessingError(const fs::path& file, const std::string& reason, ToolSettings& s)
{
    FileResult result;
    result.name = UString::FromFileName(file.filename().string());
    result.path = UString::FromFileName(file.string());
    // With the level taken from each file, the one it claims was not learned.
    result.level = s.level == kLevelAuto ? 0 : s.level;
    result.error = reason;
    if (s.writeXml) WriteFailure(result.name, result.path, UString::FromUTF8(reason), s);
    else Log(s, e_LogError, "An error occurred while processing: " + file.string() + "\n" + reason);
    FinishFile(result, s);
}

UString OutputName(const fs::path& input, const ToolSettings& s)
{
    if (!s.outputName.IsEmpty()) return s.outputName;
    return UString::FromFileName(input.stem().string()) + s.suffix + UString(u".pdf");
}

std::string OutputPath(const std::string& folder, const UString& name, const ToolSettings& s)
{
    std::string dir = folder;
    if (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
    return dir + s.separator.ToFileName() + name.ToFileName();
}

}  // namespace qvx::Tolva
