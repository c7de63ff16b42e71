#include "apps/tolva/BatchRun.h"

#include <boost/filesystem.hpp>
#include <optional>

#include "apps/tolva/BatchRunPool.h"
#include "apps/tolva/Report.h"
#include "common/Exception.h"
#include "pdf/compliance/PDFACompliance.h"

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

void Revalidate(const std::string& out_path, const UString& out_name, ToolSettings& s)
{
    UString path = UString::FromFileName(out_path);
    try {
        PDF::PDFACompliance check(false, path, s.password.empty() ? nullptr : s.password.c_str(), s.level,
                                  nullptr, 0, s.maxRefObjs, false);
        WriteResult(check.Errors(), out_name, path, Phase::e_Revalidation, s);
    } catch (const Common::Exception& e) {
        Log(s, e_LogError, ErrorText("An error occurred while validating '", out_path + "'", &e, s));
    } catch (...) {
        Log(s, e_LogError, ErrorText("An unknown error occurred while validating '", out_path + "'", nullptr, s));
    }
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
    if (s.writeXml) OpenReport(s);
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
    if (s.writeXml) CloseReport(s);
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
    UString path = UString::FromFileName(file.string());
    UString name = UString::FromFileName(file.filename().string());
    std::string out_path;
    UString out_name;
    try {
        PDF::PDFAComplianceOptions options;
        options.SetPassword(s.password);
        options.SetConformance(s.level);
        options.SetMaxRefObjs(s.maxRefObjs);
        options.SetFirstStop(false);
        options.SetFlatten(s.flatten);
        PDF::PDFACompliance run(s.convert, path, nullptr, options);
        if (s.convert) {
            out_name = OutputName(file, s);
            out_path = OutputPath(out_folder, out_name, s);
            run.SaveAs(UString::FromFileName(out_path), s.linearize);
            if (s.log) s.log(e_LogOutputFile, out_path.c_str(), s.logUser);
        }
        WriteResult(run.Errors(), name, path, Phase::e_Validation, s);
    } catch (const Common::Exception& e) {
        if (s.writeXml) WriteFailure(name, path, UString::FromUTF8(s.verbosity > 1 ? e.GetFullText() : ""), s);
        else Log(s, e_LogError, ErrorText("An error occurred while processing: ", file.string(), &e, s));
        return;
    } catch (...) {
        if (s.writeXml) WriteFailure(name, path, UString::FromUTF8("An unknown error occurred while processing"), s);
        else Log(s, e_LogError, ErrorText("An unknown error occurred while processing: ", file.string(), nullptr, s));
        return;
    }
    if (s.convert && s.revalidate) Revalidate(out_path, out_name, s);
}

void ReportProcessingError(const fs::path& file, const std::string& reason, ToolSettings& s)
{
    if (s.writeXml) {
        WriteFailure(UString::FromFileName(file.filename().string()), UString::FromFileName(file.string()),
                     UString::FromUTF8(reason), s);
    } else {
        Log(s, e_LogError, "An error occurred while processing: " + file.string() + "\n" + reason);
    }
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
