#include "tests/filters/CCITTTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>

#include "filters/CCITTFaxDecode.h"
#include "filters/CCITTFaxEncode.h"
#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"
#include "tests/support/TestEnv.h"

namespace qvx::Test::CCITT {

using Common::Byte;
using Common::Bytes;

namespace {

struct Rng {
    std::uint32_t s;
    std::uint32_t Next()
    {
        s = s * 1664525u + 1013904223u;
        return s >> 8;
    }
    std::uint32_t Below(std::uint32_t n) { return n ? Next() % n : 0; }
};

// Hands out its bytes a few at a time, so that decoders see many small windows.
class Trickle : public Filters::Filter {
public:
    Trickle(Common::ByteView data, std::size_t piece) : Filter(e_input), m_data(data), m_piece(piece) {}
    const char* GetName() const override { return "Trickle"; }
    Byte* Begin() override { return const_cast<Byte*>(m_data.data()) + m_pos; }
    std::size_t Size() override { return std::min(m_piece, m_data.size() - m_pos); }
    void Consume(std::size_t n) override { m_pos += std::min(n, Size()); }
    std::uint64_t Count() const override { return m_pos; }
    std::uint64_t SetCount(std::uint64_t c) override { return std::exchange(m_pos, c); }

private:
    Common::ByteView m_data;
    std::size_t m_piece;
    std::size_t m_pos = 0;
};

void Put16(Bytes& b, unsigned v)
{
    b.push_back(static_cast<Byte>(v));
    b.push_back(static_cast<Byte>(v >> 8));
}

void Put32(Bytes& b, std::uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

}  // namespace

Bitmap Blank(std::uint32_t width, std::uint32_t height)
{
    Bitmap b;
    b.width = width;
    b.height = height;
    b.bits.assign(b.Stride() * height, 0);
    return b;
}

Bitmap Solid(std::uint32_t width, std::uint32_t height)
{
    Bitmap b = Blank(width, height);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) b.Set(x, y);
    return b;
}

Bitmap TextLike(std::uint32_t width, std::uint32_t height, std::uint32_t seed)
{
    Bitmap b = Blank(width, height);
    Rng rng{seed};
    auto dot = [&](std::int64_t x, std::int64_t y) {
        if (x >= 0 && y >= 0 && x < width && y < height) b.Set(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y));
    };
    std::uint32_t shapes = std::max<std::uint32_t>(1, width * height / 400);
    for (std::uint32_t i = 0; i < shapes; ++i) {
        std::int64_t x = rng.Below(width), y = rng.Below(height);
        std::int64_t s = 2 + rng.Below(14);
        switch (rng.Below(4)) {
        case 0:  // box
            for (std::int64_t dy = 0; dy < s; ++dy)
                for (std::int64_t dx = 0; dx < s / 2 + 1; ++dx) dot(x + dx, y + dy);
            break;
        case 1:  // diagonal stroke
            for (std::int64_t d = 0; d < 2 * s; ++d) {
                dot(x + d, y + d / 2);
                dot(x + d + 1, y + d / 2);
            }
            break;
        case 2:  // ring
            for (std::int64_t dy = -s; dy <= s; ++dy)
                for (std::int64_t dx = -s; dx <= s; ++dx) {
                    std::int64_t r = dx * dx + dy * dy;
                    if (r <= s * s && r >= (s - 2) * (s - 2)) dot(x + dx, y + dy);
                }
            break;
        default:  // a rule across part of the row
            for (std::int64_t dx = 0; dx < 40 * s; ++dx) dot(x + dx, y);
            break;
        }
    }
    return b;
}

Bitmap Noise(std::uint32_t width, std::uint32_t height, std::uint32_t seed, unsigned black_in_256)
{
    Bitmap b = Blank(width, height);
    Rng rng{seed};
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            if ((rng.Next() & 0xFF) < black_in_256) b.Set(x, y);
    return b;
}

void WriteTiff(const std::filesystem::path& path, const Tiff& t)
{
    struct Entry {
        unsigned tag, type;
        std::uint32_t value;
    };
    std::vector<Entry> e = {{256, 4, t.width}, {257, 4, t.height},     {258, 3, 1},
                            {259, 3, t.compression}, {262, 3, 0}, {266, 3, t.fill_order},
                            {273, 4, 0},       {277, 3, 1},            {278, 4, t.height},
                            {279, 4, static_cast<std::uint32_t>(t.data.size())}, {282, 5, 0}};
    if (t.compression == 3) e.push_back({292, 4, t.t4_options});
    if (t.compression == 4) e.push_back({293, 4, 0});
    // The strip follows the directory, then the resolution (a rational).
    const std::uint32_t data_at = static_cast<std::uint32_t>(8 + 2 + 12 * e.size() + 4);
    e[6].value = data_at;
    e[10].value = data_at + static_cast<std::uint32_t>(t.data.size());
    Bytes f = {'I', 'I', 42, 0};
    Put32(f, 8);
    Put16(f, static_cast<unsigned>(e.size()));
    for (const Entry& x : e) {
        Put16(f, x.tag);
        Put16(f, x.type);
        Put32(f, 1);
        if (x.type == 3) {
            Put16(f, x.value);
            Put16(f, 0);
        } else {
            Put32(f, x.value);
        }
    }
    Put32(f, 0);
    f.insert(f.end(), t.data.begin(), t.data.end());
    Put32(f, 200);
    Put32(f, 1);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(f.data()), f.size());
}

Tiff ReadTiff(const std::filesystem::path& path)
{
    std::string s = ReadFile(path);
    Bytes f(s.begin(), s.end());
    Tiff t;
    if (f.size() < 8) {
        ADD_FAILURE() << "short TIFF " << path;
        return t;
    }
    const bool le = f[0] == 'I';
    auto u16 = [&](std::size_t at) -> std::uint32_t {
        if (at + 2 > f.size()) return 0;
        return le ? f[at] | f[at + 1] << 8 : f[at] << 8 | f[at + 1];
    };
    auto u32 = [&](std::size_t at) -> std::uint32_t {
        return le ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
    };
    std::map<unsigned, std::vector<std::uint32_t>> tags;
    std::size_t ifd = u32(4);
    unsigned n = u16(ifd);
    for (unsigned i = 0; i < n; ++i) {
        std::size_t at = ifd + 2 + 12 * i;
        unsigned tag = u16(at), type = u16(at + 2);
        std::uint32_t count = u32(at + 4);
        unsigned size = type == 3 ? 2 : 4;
        std::size_t values = size * count <= 4 ? at + 8 : u32(at + 8);
        for (std::uint32_t k = 0; k < count && k < 100000; ++k)
            tags[tag].push_back(size == 2 ? u16(values + 2 * k) : u32(values + 4 * k));
    }
    auto one = [&](unsigned tag, std::uint32_t dflt) { return tags.count(tag) ? tags[tag][0] : dflt; };
    t.width = one(256, 0);
    t.height = one(257, 0);
    t.compression = one(259, 1);
    t.t4_options = one(292, 0);
    t.fill_order = one(266, 1);
    const auto& offsets = tags[273];
    const auto& counts = tags[279];
    for (std::size_t i = 0; i < offsets.size() && i < counts.size(); ++i) {
        if (offsets[i] + std::uint64_t(counts[i]) > f.size()) {
            ADD_FAILURE() << "strip outside the file " << path;
            break;
        }
        t.data.insert(t.data.end(), f.begin() + offsets[i], f.begin() + offsets[i] + counts[i]);
    }
    return t;
}

void TiffCopy(const std::string& options, const std::filesystem::path& from, const std::filesystem::path& to)
{
    std::vector<std::string> argv = {"/usr/bin/tiffcp"};
    std::size_t start = 0;
    while (start < options.size()) {
        std::size_t end = options.find(' ', start);
        if (end == std::string::npos) end = options.size();
        if (end > start) argv.push_back(options.substr(start, end - start));
        start = end + 1;
    }
    argv.push_back(from.string());
    argv.push_back(to.string());
    RunResult r = Run(argv);
    ASSERT_EQ(r.status, 0) << "tiffcp " << options << ": " << r.output;
}

Bytes Decode(Common::ByteView data, const Filters::CCITTParams& params, std::size_t piece, std::uint64_t budget)
{
    std::unique_ptr<Filters::Filter> src;
    if (piece)
        src = std::make_unique<Trickle>(data, piece);
    else
        src = Filters::MemoryFilter::View(data);
    Filters::CCITTFaxDecode dec(std::move(src), params);
    if (budget) dec.SetOutputBudget(budget);
    Filters::FilterReader r(dec);
    return r.ReadAll();
}

Bytes Encode(Common::ByteView rows, const Filters::CCITTParams& params)
{
    auto sink = std::make_unique<Filters::MemoryFilter>();
    Filters::MemoryFilter* out = sink.get();
    Filters::CCITTFaxEncode enc(std::move(sink), params);
    Filters::FilterWriter w(enc);
    w.WriteBuffer(rows);
    w.Finish();
    return out->Release();
}

}  // namespace qvx::Test::CCITT
