// Runs the PDF/UA-1 checks (compliance level 12), which the command line does not offer.
//
//   uacheck file...                 one line per file: PASS, FAIL with its codes, or ERROR
//   uacheck --manifest MANIFEST.tsv the UA1 rows of a corpus manifest (path, level,
//                                   expected), paths relative to the manifest's folder;
//                                   prints the misses and the figures
//
// Exit status: 0 done, 1 bad command line or unreadable manifest.

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/Exception.h"
#include "pdf/compliance/PDFACompliance.h"

using namespace qvx;

namespace {

struct Outcome {
    enum Kind { e_pass, e_fail, e_error } kind = e_error;
    std::string detail;   // the codes of a failure, the message of an error
};

Outcome Check(const std::string& path)
{
    Outcome out;
    try {
        PDF::PDFACompliance run(false, Common::UString::FromUTF8(path), nullptr, PDF::e_LevelUA1, nullptr, 0, 1,
                                false);
        int n = run.GetErrorCount();
        out.kind = n == 0 ? Outcome::e_pass : Outcome::e_fail;
        for (int i = 0; i < n; ++i) out.detail += (i ? " " : "") + std::to_string(run.GetError(i));
    } catch (const Common::Exception& e) {
        out.detail = e.GetMessage();
    } catch (const std::exception& e) {
        out.detail = e.what();
    }
    return out;
}

const char* KindText(Outcome::Kind k)
{
    return k == Outcome::e_pass ? "PASS" : k == Outcome::e_fail ? "FAIL" : "ERROR";
}

int RunManifest(const std::string& manifest)
{
    std::ifstream in(manifest);
    if (!in) {
        std::fprintf(stderr, "uacheck: cannot read %s\n", manifest.c_str());
        return 1;
    }
    std::string dir = manifest.substr(0, manifest.find_last_of('/') + 1);
    int pass_files = 0, pass_right = 0, fail_files = 0, fail_right = 0, errors = 0;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string path, level, expected;
        if (!std::getline(fields, path, '\t') || !std::getline(fields, level, '\t') ||
            !std::getline(fields, expected, '\t') || level != "UA1")
            continue;
        Outcome o = Check(dir + path);
        bool want_pass = expected == "pass";
        (want_pass ? pass_files : fail_files)++;
        errors += o.kind == Outcome::e_error;
        bool right = want_pass ? o.kind == Outcome::e_pass : o.kind == Outcome::e_fail;
        if (right) (want_pass ? pass_right : fail_right)++;
        else std::printf("expected %s\tgot %s\t%s\t%s\n", expected.c_str(), KindText(o.kind), path.c_str(),
                         o.detail.c_str());
    }
    double pass_share = pass_files ? 100.0 * pass_right / pass_files : 100.0;
    double fail_share = fail_files ? 100.0 * fail_right / fail_files : 100.0;
    std::printf("UA1: pass files accepted %d/%d (%.1f%%), fail files rejected %d/%d (%.1f%%), "
                "balanced accuracy %.1f%%, processing errors %d\n",
                pass_right, pass_files, pass_share, fail_right, fail_files, fail_share,
                (pass_share + fail_share) / 2, errors);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--manifest") return RunManifest(argv[2]);
    if (argc < 2 || std::string(argv[1]).starts_with("--")) {
        std::fprintf(stderr, "usage: uacheck file...\n       uacheck --manifest MANIFEST.tsv\n");
        return 1;
    }
    for (int i = 1; i < argc; ++i) {
        Outcome o = Check(argv[i]);
        std::printf("%s\t%s\t%s\n", KindText(o.kind), argv[i], o.detail.c_str());
    }
    return 0;
}
