// Every file of the robustness and conformance sets: sdfdump --check opens it (or reports
// why it cannot), loads every object and decodes every stream, within 10 seconds and without
// a crash. Run from a sanitizer build (make test-asan, or -DQVX_SANITIZE=ON), the same test
// fails on any sanitizer report.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "tests/support/TestEnv.h"

namespace fs = std::filesystem;

TEST(SdfRobustness, EveryFileOpensOrFailsCleanly)
{
    auto shared = qvx::Test::SharedDir();
    if (!shared) GTEST_SKIP() << "no shared material";
    fs::path sdfdump = qvx::Test::ToolPath("sdfdump");
    ASSERT_TRUE(fs::exists(sdfdump)) << sdfdump;
    std::vector<fs::path> files;
    for (const char* dir : {"robust", "corpus"})
        for (const auto& e : fs::recursive_directory_iterator(*shared / dir))
            if (e.is_regular_file() && e.path().extension() == ".pdf") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    setenv("ASAN_OPTIONS", "detect_leaks=1:exitcode=86", 1);
    setenv("UBSAN_OPTIONS", "print_stacktrace=1:exitcode=87", 1);
    int opened = 0, refused = 0;
    for (const fs::path& f : files) {
        auto r = qvx::Test::Run({sdfdump.string(), "--check", f.string()}, {}, 10);
        bool sanitizer = r.output.find("Sanitizer") != std::string::npos || r.output.find("runtime error") != std::string::npos;
        if (r.status == 0 && !sanitizer) ++opened;
        else if (r.status == 1 && !sanitizer) ++refused;
        else ADD_FAILURE() << fs::relative(f, *shared) << ": status " << r.status << "\n" << r.output.substr(0, 2000);
    }
    std::printf("%zu files: %d opened, %d refused with an error\n", files.size(), opened, refused);
}
