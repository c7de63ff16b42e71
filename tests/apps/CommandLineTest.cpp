#include <gtest/gtest.h>

#include "apps/tolva/CommandLine.h"
#include "tests/apps/AppTestSupport.h"

using namespace qvx::Test;
using qvx::Tolva::LevelFromText;

namespace {

const char* kBanner = "\nFerrowen Tolva V10.8083607.\n";

bool StartsWith(const std::string& s, const std::string& p) { return s.compare(0, p.size(), p) == 0; }

}  // namespace

TEST(CommandLine, HelpVersionAndBadOptions)
{
    TempDir dir;
    for (auto args : {std::vector<std::string>{}, std::vector<std::string>{"-h"}, std::vector<std::string>{"--help", "x.pdf"}}) {
        RunResult r = Tolva(args, dir.Path());
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(StartsWith(r.output, kBanner)) << r.output;
        EXPECT_NE(r.output.find("Usage: tolva [<options>] file...\n\nOPTIONS:\n  --file... arg"), std::string::npos);
        // Registration order is the listing order.
        std::vector<std::string> order = {"--file...", "--pass", "--noxml", "--outdir", "--fname", "--suffix",
                                          "--level", "--convert", "--linearize", "--nr", "--config", "--subfolders",
                                          "--extension", "--verb", "--version", "--help", "--max_ref_objs", "--flatten"};
        std::size_t at = 0;
        for (const auto& o : order) {
            std::size_t next = r.output.find(o, at);
            ASSERT_NE(next, std::string::npos) << o;
            at = next;
        }
        EXPECT_NE(r.output.find("--suffix arg (=_pdfa)"), std::string::npos);
        EXPECT_NE(r.output.find("-l [ --level ] arg (=2B)"), std::string::npos);
        EXPECT_NE(r.output.find("--max_ref_objs arg (=10)"), std::string::npos);
        EXPECT_TRUE(r.output.ends_with("  tolva -o outdir -c --noxml mydir my1.pdf folder/my2.pdf\n\n"));
        EXPECT_FALSE(std::filesystem::exists(dir.Path() / "report.xml"));
    }
    RunResult v = Tolva({"-v"}, dir.Path());
    EXPECT_EQ(v.status, 0);
    EXPECT_TRUE(StartsWith(v.output, kBanner));
    EXPECT_EQ(std::count(v.output.begin(), v.output.end(), '\n'), 3);

    RunResult bogus = Tolva({"--bogus"}, dir.Path());
    EXPECT_EQ(bogus.status, 1);
    EXPECT_EQ(bogus.output, "Error: unrecognised option '--bogus'\n");
    RunResult missing = Tolva({"x.pdf", "--level"}, dir.Path());
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(StartsWith(missing.output, "Error: ")) << missing.output;
    RunResult typed = Tolva({"--verb", "loud", "x.pdf"}, dir.Path());
    EXPECT_EQ(typed.status, 1);
    EXPECT_TRUE(StartsWith(typed.output, "Error: ")) << typed.output;

    RunResult none = Tolva({"--verb", "1"}, dir.Path());
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.output, "No input files given.\n");
    EXPECT_EQ(Tolva({"--verb", "0"}, dir.Path()).output, "");
}

TEST(CommandLine, LevelTexts)
{
    const std::pair<const char*, int> cases[] = {
        {"1A", 1}, {"1b", 2}, {"2A", 3}, {"2B", 4}, {"2u", 5}, {"3A", 6}, {"3b", 7}, {"3U", 8},
        {"4", 9},  {"4e", 10}, {"4F", 11}, {"5B", 4}, {"", 4},   {"2BB", 4}, {"12", 4},
        {"ua1", 12}, {"UA", 4}, {"auto", qvx::Tolva::kLevelAuto}, {"AUTOMATIC", 4},
    };
    for (const auto& [text, level] : cases) EXPECT_EQ(LevelFromText(text), level) << text;
    // Each level's text reads back as the level.
    for (int level = 1; level <= 12; ++level) EXPECT_EQ(LevelFromText(qvx::Tolva::LevelText(level)), level);
    EXPECT_EQ(qvx::Tolva::LevelText(qvx::Tolva::kLevelAuto), "AUTO");
    EXPECT_EQ(qvx::Tolva::LevelText(0), "");
}

TEST(CommandLine, EchoesAtVerbosityTwoInOrder)
{
    TempDir dir;
    dir.Write("in/a.pdf", "x");
    RunResult r = Tolva({"-l", "2u", "--verb", "2", "--pass", "s3cret", "-o", "out", "-f", "name.pdf", "--subfolders",
                         "-z", "-c", "--nr", "--noxml", "--flatten", "--extension", ".PDF", "--suffix", "_a", "in"},
                        dir.Path());
    EXPECT_EQ(r.status, 0);
    const std::string expect =
        "'outdir' parameter: out\n"
        "'fname' parameter: name.pdf\n"
        "'subfolders' parameter: true\n"
        "'linearize' parameter: true\n"
        "'convert' parameter: true\n"
        "'nr' parameter: true\n"
        "'pass' parameter: s3cret\n"
        "'extension' parameter: .PDF\n"
        "'suffix' parameter: _a\n"
        "'level' parameter: 2U\n"
        "'noxml' parameter: true\n"
        "'flatten' parameter: true\n"
        "Processing... \n"
        "Processing directory: in...\n";
    EXPECT_TRUE(StartsWith(r.output, expect)) << r.output;
    // Defaults are echoed too, since the options have default values.
    RunResult d = Tolva({"--verb", "2", "-x", "nothing.pdf"}, dir.Path());
    EXPECT_TRUE(StartsWith(d.output, "'extension' parameter: .pdf\n'suffix' parameter: _pdfa\n'level' parameter: 2B\n"
                                     "'noxml' parameter: true\nProcessing... \n"))
        << d.output;
    // Verbosity 1 echoes nothing.
    EXPECT_TRUE(StartsWith(Tolva({"-x", "-l", "1b", "nothing.pdf"}, dir.Path()).output, "Processing... \n"));
}

TEST(CommandLine, ConfigurationFile)
{
    TempDir dir;
    auto good = dir.Write("fonts.xml",
                          "<config><fonts><subst collection='korea1' file='/f.ttf' name='F'/></fonts></config>");
    auto bad = dir.Write("bad.xml", "<config><fonts><subst collection='klingon' file='f' name='n'/></fonts></config>");
    const std::string failed = "\nFailed to load Lumbra xml configuration file.";
    for (const auto& [config, fails] : {std::pair{good.string(), false}, std::pair{bad.string(), true},
                                        std::pair{(dir.Path() / "absent.xml").string(), true}}) {
        RunResult r = Tolva({"--config", config, "-x", "nothing.pdf", "nothing2.pdf"}, dir.Path());
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.output.find(failed) != std::string::npos, fails) << config << "\n" << r.output;
        // An entry's missing font file is told once, when the file is loaded.
        std::size_t told = 0;
        for (std::size_t at = 0; (at = r.output.find("Font substitution file not found: /f.ttf\n", at)) != std::string::npos; ++at)
            ++told;
        EXPECT_EQ(told, fails ? 0u : 1u) << r.output;
        // The failure is told, and the run goes on.
        EXPECT_NE(r.output.find("Wrong input filename or path: nothing.pdf"), std::string::npos);
    }
}
