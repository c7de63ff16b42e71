#include "apps/tolva/CommandLine.h"

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <boost/filesystem.hpp>
#include <cctype>
#include <iostream>
#include <sstream>
#include <vector>

#include "apps/tolva/BatchRun.h"
#include "apps/tolva/ReportFromJson.h"
#include "common/Exception.h"
#include "pdf/FontConfig.h"

namespace qvx::Tolva {

namespace po = boost::program_options;
namespace fs = boost::filesystem;

namespace {

constexpr const char* kLevelHelp =
    "PDF/A Conformance Level: [1A, 1B, 2A, 2B, 2U, 3A, 3B, 3U, 4, 4E, 4F]\n\n"
    "\t1A Target PDF/A-1a conformance profile.\n"
    "\t1B Target PDF/A-1b conformance profile.\n"
    "\t2A Target PDF/A-2a conformance profile.\n"
    "\t2B Target PDF/A-2b conformance profile.\n"
    "\t2U Target PDF/A-2u conformance profile.\n"
    "\t3A Target PDF/A-3a conformance profile.\n"
    "\t3B Target PDF/A-3b conformance profile.\n"
    "\t3U Target PDF/A-3u conformance profile.\n"
    "\t4 Target PDF/A-4 conformance profile.\n"
    "\t4E Target PDF/A-4e conformance profile.\n"
    "\t4F Target PDF/A-4f conformance profile.\n"
    "\tAUTO The level each file's XMP metadata claims.\n"
    "\tUA1 PDF/UA-1 checking mode.\n";

// Level texts in the order they are tried; the first match wins.
constexpr std::pair<const char*, std::int32_t> kLevels[] = {
    {"1A", 1}, {"1B", 2}, {"2B", 4}, {"2A", 3}, {"2U", 5}, {"3A", 6},    {"3B", 7},
    {"3U", 8}, {"4", 9},  {"4E", 10}, {"4F", 11}, {"UA1", 12}, {"AUTO", kLevelAuto},
};

constexpr const char* kExamples =
    "\nExamples:\n"
    "  tolva *.pdf\n"
    "  tolva --level 1B in1.pdf in2.pdf mydir\n"
    "  tolva -o outdir -c in.pdf\n"
    "  tolva -o outdir -c -z -l 1B --subfolders --verb 10 mydir\n"
    "  tolva -o outdir -c --noxml mydir my1.pdf folder/my2.pdf\n\n";

// Far beyond any machine's cores; a larger value is a typing error, not a wish.
constexpr std::uint32_t kMaxJobs = 1024;

void Echo(const ToolSettings& s, const std::string& text)
{
    if (s.verbosity > 1) Log(s, e_LogInfo, text);
}

void LoadConfiguration(const ToolSettings& s, const po::variables_map& vm, const std::string& exe_dir)
{
    std::string path;
    if (vm.count("config")) {
        path = s.configFile;
    } else if (!exe_dir.empty()) {
        boost::system::error_code ec;
        fs::path candidate = fs::path(exe_dir) / "config.xml";
        if (fs::exists(candidate, ec)) path = candidate.string();
    }
    if (path.empty() && !vm.count("config")) return;
    try {
        PDF::LoadConfigFile(path);
    } catch (...) {
        Log(s, e_LogInfo, "\nFailed to load Lumbra xml configuration file.");
        return;
    }
    if (s.verbosity > 0)
        for (const std::string& file : PDF::FontConfig::Instance().MissingFiles())
            Log(s, e_LogInfo, "Font substitution file not found: " + file + "\n");
}

// Steps after parsing: help, version, inputs, then the option echoes and the batch run.
int RunParsed(ToolSettings& s, const po::variables_map& vm, const po::options_description& options,
              bool no_arguments, const std::string& exe_dir)
{
    if (no_arguments || vm.count("help")) {
        Log(s, e_LogInfo, Banner());
        Log(s, e_LogInfo, UsageText(options));
        return 0;
    }
    if (vm.count("version")) {
        Log(s, e_LogInfo, Banner());
        return 0;
    }
    if (s.jobs == 0 || s.jobs > kMaxJobs)
        throw po::validation_error(po::validation_error::invalid_option_value, "jobs", std::to_string(s.jobs));
    if (!vm.count("file...") && !vm.count("html-from")) {
        if (s.verbosity > 0) Log(s, e_LogInfo, "No input files given.\n");
        return 0;
    }
    // Standard output carries the JSON report; everything else moves aside.
    if (s.jsonPath == "-" && s.log == ConsoleSink) s.log = ConsoleErrorSink;
    if (vm.count("outdir")) {
        std::string dir = vm["outdir"].as<std::string>();
        Echo(s, "'outdir' parameter: " + dir + "\n");
        if (!dir.empty()) s.outputDir = dir;
    }
    if (vm.count("fname")) {
        std::string name = vm["fname"].as<std::string>();
        s.outputName = Common::UString::FromFileName(name);
        Echo(s, "'fname' parameter: " + name + "\n");
    }
    auto flag = [&](const char* name, bool& field, bool value) {
        if (!vm.count(name)) return;
        field = value;
        Echo(s, std::string("'") + name + "' parameter: true\n");
    };
    flag("subfolders", s.subfolders, true);
    flag("linearize", s.linearize, true);
    flag("convert", s.convert, true);
    flag("nr", s.revalidate, false);
    LoadConfiguration(s, vm, exe_dir);
    if (vm.count("pass")) {
        s.password = vm["pass"].as<std::string>();
        Echo(s, "'pass' parameter: " + s.password + "\n");
    }
    auto text = [&](const char* name, Common::UString& field) {
        if (!vm.count(name)) return;
        std::string value = vm[name].as<std::string>();
        field = Common::UString::FromFileName(value);
        Echo(s, std::string("'") + name + "' parameter: " + value + "\n");
    };
    text("extension", s.extension);
    text("suffix", s.suffix);
    if (vm.count("level")) {
        std::string level = vm["level"].as<std::string>();
        for (char& c : level) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        s.level = LevelFromText(level);
        Echo(s, "'level' parameter: " + level + "\n");
    }
    flag("noxml", s.writeXml, false);
    flag("flatten", s.flatten, true);
    flag("compare-pages", s.comparePages, true);
    if (vm.count("json")) Echo(s, "'json' parameter: " + s.jsonPath + "\n");
    if (vm.count("html-from")) return WriteHtmlFromJson(s, vm["html-from"].as<std::string>());
    return RunBatch(s, vm["file..."].as<std::vector<std::string>>());
}

}  // namespace

po::options_description BuildOptions(ToolSettings& s)
{
    po::options_description o("OPTIONS", po::options_description::m_default_line_length,
                              po::options_description::m_default_line_length / 2);
    o.add_options()
        ("file...", po::value<std::vector<std::string>>(), "A list of folders and/or file names to process.")
        ("pass,p", po::value<std::string>(), "The password to process the input file. The password is required only in the conversion mode and when the input document is encrypted.")
        ("noxml,x", "Disable XML report generation.")
        ("outdir,o", po::value<std::string>(), "The output directory. The folder can be relative to the current working folder. If the folder does not exist TOLVA will attempt to create the required path. If this parameter is not given all files will be saved relative to the current working folder.")
        ("fname,f", po::value<std::string>(), "The explicit name for the converted file. The parameter is used only when converting one file at a time. The output file will be stored in the 'outdir' folder.")
        ("suffix", po::value<std::string>()->default_value("_pdfa"), "A string to append to all output filenames. This option is typically used to tag output filenames during multi-file or batch conversion. For example, if input file is \"my.pdf\" and suffix is \"_pdfa\" the output filename will be \"my_pdfa.pdf\".\n")
        ("level,l", po::value<std::string>()->default_value("2B"), kLevelHelp)
        ("convert,c", "Convert input PDF files to PDF/A compliant format.")
        ("linearize,z", "Linearize the converted files.")
        ("nr", "Do not revalidate after conversion.")
        ("config", po::value<std::string>(&s.configFile), "Load xml file to configure font substitution for missing fonts. By default, tries to load the file \"config.xml\" in the current working directory.\n")
        ("subfolders", "Process all subfolders.")
        ("extension", po::value<std::string>()->default_value(".pdf"), "The default file extension used to process PDF documents. The default extension is \".pdf\".")
        ("verb", po::value<std::int32_t>(&s.verbosity)->default_value(1), "Set the verbosity level to 'arg' (0-2).")
        ("version,v", "Print the version information.")
        ("help,h", "Print a listing of available options.")
        ("max_ref_objs", po::value<std::uint32_t>(&s.maxRefObjs)->default_value(10), "The maximum number of object numbers to store for each error code. The default is 10. To output all object numbers, pass the value 0 as an argument.")
        ("flatten", "Whether to run flattener on pages with transparency in Level 1 conformance mode during conversion.")
        ("compare-pages", "After conversion, draw each page of the converted file and of the original at 36 dpi and report the pages whose look changed (below 30 dB PSNR), in the report and, with --noxml, as LOOK- lines on the console (each changed page at verbosity 2).")
        ("json", po::value<std::string>(&s.jsonPath), "Write a JSON report of the run to the file 'arg' ('-' for standard output, in which case console messages go to standard error). Each file's entry is written as soon as the file is done.")
        ("html-from", po::value<std::string>(), "Write report.html in the output directory from the JSON report 'arg' of an earlier run (as the cluster runner does with its workers' results) instead of processing files.")
        ("jobs,j", po::value<std::uint32_t>(&s.jobs)->default_value(1), "The number of files processed at the same time, each in a worker process of its own. Results are reported in input order, exactly as with one job.")
        ("timeout", po::value<std::uint32_t>(&s.timeoutSeconds)->default_value(0), "Stop processing a file after 'arg' seconds and report it as a processing error. 0 means no limit.")
        ("max-memory", po::value<std::uint32_t>(&s.maxMemoryMB)->default_value(0), "Stop processing a file that needs more than 'arg' megabytes of memory and report it as a processing error. 0 means no limit.");
    return o;
}

std::string LevelText(std::int32_t level)
{
    for (const auto& [name, value] : kLevels)
        if (value == level) return name;
    return {};
}

std::int32_t LevelFromText(const std::string& text)
{
    std::string upper = text;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const auto& [name, level] : kLevels)
        if (upper == name) return level;
    return 4;
}

std::string Banner()
{
    return std::string("\nFerrowen Tolva V") + kToolVersion + ".\n"
           "Copyright (c) Ferrowen. Licensed under the Apache License 2.0.\n";
}

std::string UsageText(const po::options_description& options)
{
    std::ostringstream out;
    out << "Usage: tolva [<options>] file...\n" << "\n" << options << kExamples;
    return out.str();
}

std::string ExecutableDir(const char* argv0)
{
    std::string exe;
    char buf[PATH_MAX];
    if (argv0 && std::string_view(argv0).find('/') != std::string_view::npos) {
        if (realpath(argv0, buf)) exe = buf;
    } else {
        ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n > 0) exe.assign(buf, static_cast<std::size_t>(n));
    }
    auto slash = exe.rfind('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? "/" : exe.substr(0, slash);
}

int RunTool(int argc, char** argv)
{
    std::string exe_dir = ExecutableDir(argc > 0 ? argv[0] : nullptr);
    if (exe_dir.empty()) {
        std::cout << "Error: Unable to find run directory." << std::endl;
        return 1;
    }
    ToolSettings s;
    try {
        s.outputDir = fs::current_path().string();
        po::options_description options = BuildOptions(s);
        po::positional_options_description positional;
        positional.add("file...", -1);
        po::variables_map vm;
        po::store(po::command_line_parser(argc, argv).options(options).positional(positional).run(), vm);
        po::notify(vm);
        return RunParsed(s, vm, options, argc <= 1, exe_dir);
    } catch (const std::exception& e) {
        Log(s, e_LogError, e.what());
    } catch (...) {
        Log(s, e_LogError, "An unknown error encountered.");
    }
    return 1;
}

}  // namespace qvx::Tolva
