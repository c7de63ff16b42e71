// The render tool on files: what it reads before drawing (encryption) and the PPM it writes.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "tests/render/RenderTestDoc.h"
#include "tests/support/TestEnv.h"

using namespace qvx;
using qvx::Test::RenderDoc;

namespace {

// Draws page 1 of file at 72 dpi; the pixel (x, y) of the PPM as 0xRRGGBB, or -1 when the
// tool failed.
long ToolPixel(const std::filesystem::path& file, int x, int y, std::string* output = nullptr)
{
    std::filesystem::path out = file.parent_path() / "page.ppm";
    std::filesystem::remove(out);
    qvx::Test::RunResult r = qvx::Test::Run({qvx::Test::ToolPath("render").string(), file.string(), "1", "72", out.string()});
    if (output) *output = r.output;
    if (r.status != 0) return -1;
    std::string ppm = qvx::Test::ReadFile(out);
    int w = 0, h = 0, max = 0, used = 0;
    if (std::sscanf(ppm.c_str(), "P6 %d %d %d%n", &w, &h, &max, &used) != 3 || x >= w || y >= h) return -1;
    std::size_t at = static_cast<std::size_t>(used) + 1 + (static_cast<std::size_t>(y) * w + x) * 3;
    if (at + 3 > ppm.size()) return -1;
    auto byte = [&](std::size_t i) { return static_cast<long>(static_cast<unsigned char>(ppm[at + i])); };
    return byte(0) << 16 | byte(1) << 8 | byte(2);
}

}  // namespace

TEST(RenderTool, EncryptedFilesOpenWithTheEmptyUserPassword)
{
    // A red square drawn from a content stream qpdf encrypts (AES-256, empty user password):
    // the stream reads as content only once the document is unlocked.
    RenderDoc d;
    d.content = "1 0 0 rg 0 0 50 50 re f";
    d.Draw();
    qvx::Test::TempDir dir;
    std::filesystem::path plain = dir.Write("plain.pdf", d.b.Build());
    std::filesystem::path locked = dir.Path() / "locked.pdf";
    std::filesystem::path needs_password = dir.Path() / "password.pdf";
    ASSERT_EQ(qvx::Test::Run({"/usr/bin/qpdf", "--encrypt", "", "owner", "256", "--", plain.string(), locked.string()}).status, 0);
    ASSERT_EQ(qvx::Test::Run({"/usr/bin/qpdf", "--encrypt", "user", "owner", "256", "--", plain.string(), needs_password.string()}).status, 0);
    EXPECT_EQ(ToolPixel(plain, 25, 75), 0xFF0000);
    EXPECT_EQ(ToolPixel(locked, 25, 75), 0xFF0000);
    EXPECT_EQ(ToolPixel(locked, 75, 25), 0xFFFFFF);
    // A file that wants a user password is drawn as it reads (here: nothing), with a note.
    std::string said;
    EXPECT_EQ(ToolPixel(needs_password, 25, 75, &said), 0xFFFFFF);
    EXPECT_NE(said.find("password"), std::string::npos) << said;
}
