// Verdicts over the shared material that must not depend on anything but the bytes: a
// corpus file copied under other names (its expected verdict turned around in the name, and
// a plain name) gets the same verdict and codes; every robustness file that qpdf opens gets
// a verdict rather than a processing error.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "tests/support/TestEnv.h"

namespace fs = std::filesystem;

namespace {

// The verdict line and the error lines of one tolva run, without the file name.
std::string Verdict(const fs::path& file, const std::string& level)
{
    auto r = qvx::Test::Run({qvx::Test::TolvaPath().string(), "-l", level, "--noxml", file.string()}, file.parent_path(),
                            60);
    std::istringstream lines(r.output);
    std::string line, out;
    while (std::getline(lines, line)) {
        if (line.starts_with("VLD-[")) out += line.substr(0, line.find(']') + 1) + "\n";
        else if (line.find("e_PDFA") != std::string::npos) out += line + "\n";
    }
    return out;
}

struct Row {
    std::string path, level, expected;
};

std::vector<Row> Manifest(const fs::path& corpus)
{
    std::ifstream in(corpus / "MANIFEST.tsv");
    std::vector<Row> rows;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        Row r;
        if (std::getline(f, r.path, '\t') && std::getline(f, r.level, '\t') && std::getline(f, r.expected, '\t') &&
            (r.expected == "pass" || r.expected == "fail"))
            rows.push_back(r);
    }
    return rows;
}

}  // namespace

TEST(VerdictIndependence, RenamedCorpusFilesKeepTheirVerdicts)
{
    auto shared = qvx::Test::SharedDir();
    if (!shared || !fs::exists(*shared / "corpus" / "MANIFEST.tsv")) GTEST_SKIP() << "no shared corpus";
    // Two files of each expectation at three levels: the first ones the manifest lists.
    std::map<std::string, int> taken;
    std::vector<Row> picked;
    for (const Row& r : Manifest(*shared / "corpus"))
        if ((r.level == "1B" || r.level == "2B" || r.level == "4") && taken[r.level + r.expected]++ < 2)
            picked.push_back(r);
    ASSERT_EQ(picked.size(), 12u);
    qvx::Test::TempDir dir;
    for (std::size_t i = 0; i < picked.size(); ++i) {
        const Row& r = picked[i];
        fs::path original = *shared / "corpus" / r.path;
        std::string bytes = qvx::Test::ReadFile(original);
        std::string expected = Verdict(original, r.level);
        ASSERT_NE(expected.find("VLD-["), std::string::npos) << r.path;
        std::string turned = r.expected == "pass" ? "fail" : "pass";
        for (std::string name : {"copy-" + turned + "-" + std::to_string(i) + ".pdf", "x" + std::to_string(i) + ".pdf"}) {
            fs::path copy = dir.Write(name, bytes);
            EXPECT_EQ(Verdict(copy, r.level), expected) << r.path << " as " << name;
        }
    }
}

TEST(VerdictIndependence, RobustFilesThatQpdfOpensGetAVerdict)
{
    auto shared = qvx::Test::SharedDir();
    if (!shared || !fs::exists(*shared / "robust")) GTEST_SKIP() << "no shared robustness files";
    if (qvx::Test::Run({"/usr/bin/qpdf", "--version"}).status != 0) GTEST_SKIP() << "qpdf is not installed";
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(*shared / "robust"))
        if (e.is_regular_file() && e.path().extension() == ".pdf") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    std::set<std::string> allowed;
    std::ifstream allow(qvx::Test::SourceDir() / "tests/compliance/shared/no-verdict-allow.txt");
    for (std::string line; std::getline(allow, line);)
        if (!line.empty() && line[0] != '#') allowed.insert(line);
    int opened = 0;
    for (const fs::path& f : files) {
        int q = qvx::Test::Run({"/usr/bin/qpdf", "--check", f.string()}, {}, 30).status;
        std::string name = fs::relative(f, *shared / "robust").string();
        if ((q != 0 && q != 3) || allowed.count(name)) continue;
        ++opened;
        EXPECT_NE(Verdict(f, "2B").find("VLD-["), std::string::npos) << name;
    }
    std::printf("%d files open in qpdf\n", opened);
}
