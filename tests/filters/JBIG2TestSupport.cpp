#include "tests/filters/JBIG2TestSupport.h"

#include <sstream>

#include "filters/FilterReader.h"
#include "filters/JBIG2Decode.h"
#include "filters/MemoryFilter.h"
#include "tests/support/TestEnv.h"

namespace qvx::Test::JBIG2 {

using Filters::JBIG2::Bitmap;

Bitmap EngineDecode(const Common::Bytes& page, const Common::Bytes& globals)
{
    Filters::JBIG2Decode dec(std::make_unique<Filters::MemoryFilter>(page), globals);
    Filters::FilterReader r(dec);
    Common::Bytes data = r.ReadAll();
    Bitmap bm(dec.GetWidth(), dec.GetHeight());
    for (std::uint32_t y = 0; y < bm.Height(); ++y)
        for (std::size_t i = 0; i < bm.Stride(); ++i) bm.Row(y)[i] = Common::Byte(~data[y * bm.Stride() + i]);
    bm.ClearPadBits();
    return bm;
}

bool OracleAvailable() { return Run({"/usr/bin/jbig2dec", "--version"}).status == 0; }

std::optional<Bitmap> OracleDecode(const Common::Bytes& page, const Common::Bytes& globals)
{
    TempDir dir;
    auto str = [](const Common::Bytes& b) { return std::string(b.begin(), b.end()); };
    std::vector<std::string> argv = {"/usr/bin/jbig2dec", "-e", "-q", "-t", "pbm", "-o", (dir.Path() / "out.pbm").string()};
    if (!globals.empty()) argv.push_back(dir.Write("globals.jb2", str(globals)).string());
    argv.push_back(dir.Write("page.jb2", str(page)).string());
    RunResult rr = Run(argv);
    std::string pbm = ReadFile(dir.Path() / "out.pbm");
    if (pbm.size() < 3 || pbm.compare(0, 2, "P4") != 0) return std::nullopt;
    std::istringstream in(pbm);
    std::string magic;
    std::uint32_t w = 0, h = 0;
    in >> magic >> w >> h;
    in.get();
    Bitmap bm(w, h);
    std::size_t off = std::size_t(in.tellg());
    if (pbm.size() < off + bm.Stride() * h) return std::nullopt;
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::size_t i = 0; i < bm.Stride(); ++i) bm.Row(y)[i] = Common::Byte(pbm[off + y * bm.Stride() + i]);
    bm.ClearPadBits();
    return bm;
}

std::string Difference(const Bitmap& a, const Bitmap& b)
{
    std::ostringstream out;
    if (a.Width() != b.Width() || a.Height() != b.Height()) {
        out << "size " << a.Width() << "x" << a.Height() << " vs " << b.Width() << "x" << b.Height();
        return out.str();
    }
    std::size_t diffs = 0;
    std::int64_t fx = -1, fy = -1;
    for (std::uint32_t y = 0; y < a.Height(); ++y)
        for (std::uint32_t x = 0; x < a.Width(); ++x)
            if (a.Get(x, y) != b.Get(x, y)) {
                if (!diffs++) fx = x, fy = y;
            }
    if (!diffs) return {};
    out << diffs << " pixels differ, first at (" << fx << ", " << fy << ")";
    return out.str();
}

}  // namespace qvx::Test::JBIG2
