#pragma once
// Helpers for the image codec tests: test pictures, PNM and TIFF files as the oracle
// programs write them, input filters that trickle or fail, and running the oracles.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/Exception.h"
#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"
#include "tests/support/TestEnv.h"

namespace qvx::Test {

using Common::Byte;
using Common::Bytes;

// The full path of a program on PATH, or empty.
inline std::string FindTool(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        std::filesystem::path p = std::filesystem::path(dir) / name;
        if (::access(p.c_str(), X_OK) == 0) return p.string();
    }
    return {};
}

// Runs a program found on PATH; the test fails when it does not exit with 0.
inline RunResult RunTool(std::vector<std::string> argv, const std::filesystem::path& cwd = {})
{
    const std::string tool = FindTool(argv[0]);
    EXPECT_FALSE(tool.empty()) << argv[0] << " is not installed";
    argv[0] = tool.empty() ? argv[0] : tool;
    RunResult r = Run(argv, cwd);
    EXPECT_EQ(r.status, 0) << argv[0] << ": " << r.output;
    return r;
}

// A smooth picture with some texture, so lossy codecs keep it close: samples of
// `channels` components with values up to maxval, interleaved.
inline std::vector<unsigned> Picture(int w, int h, int channels, unsigned maxval)
{
    std::vector<unsigned> px;
    px.reserve(std::size_t(w) * h * channels);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c) {
                double v = (x * (c + 1) * 3.0 + y * (4 - c) * 2.0 + ((x * 7 + y * 13 + c * 5) % 11)) /
                           (w * 3.0 * (c + 1) + h * 2.0 * (4 - c) + 11);
                px.push_back(unsigned(v * maxval + 0.5) % (maxval + 1));
            }
    return px;
}

struct Pnm {
    int width = 0, height = 0, channels = 0;
    unsigned maxval = 0;
    Bytes data;  // as stored: 16-bit samples big-endian
};

// Writes P5 (1 channel), P6 (3) or P7 (other counts).
inline std::string MakePnm(int w, int h, int channels, unsigned maxval, const std::vector<unsigned>& px)
{
    std::string s;
    if (channels == 1 || channels == 3)
        s = (channels == 1 ? "P5\n" : "P6\n") + std::to_string(w) + " " + std::to_string(h) + "\n" +
            std::to_string(maxval) + "\n";
    else
        s = "P7\nWIDTH " + std::to_string(w) + "\nHEIGHT " + std::to_string(h) + "\nDEPTH " +
            std::to_string(channels) + "\nMAXVAL " + std::to_string(maxval) + "\nTUPLTYPE " +
            (channels == 4 ? "RGB_ALPHA" : "GRAYSCALE_ALPHA") + "\nENDHDR\n";
    for (unsigned v : px) {
        if (maxval > 255) s += char(v >> 8);
        s += char(v & 0xFF);
    }
    return s;
}

// Reads P5, P6 and P7 as djpeg and opj_decompress write them.
inline std::optional<Pnm> ParsePnm(const std::string& s)
{
    Pnm p;
    std::size_t pos = 2;
    auto word = [&]() {
        for (;;) {
            while (pos < s.size() && std::isspace(static_cast<unsigned char>(s[pos]))) ++pos;
            if (pos < s.size() && s[pos] == '#') {
                while (pos < s.size() && s[pos] != '\n') ++pos;
                continue;
            }
            break;
        }
        std::size_t start = pos;
        while (pos < s.size() && !std::isspace(static_cast<unsigned char>(s[pos]))) ++pos;
        return s.substr(start, pos - start);
    };
    if (s.size() < 3) return std::nullopt;
    if (s.compare(0, 2, "P5") == 0 || s.compare(0, 2, "P6") == 0) {
        p.channels = s[1] == '5' ? 1 : 3;
        p.width = std::stoi(word());
        p.height = std::stoi(word());
        p.maxval = unsigned(std::stoul(word()));
    } else if (s.compare(0, 2, "P7") == 0) {
        for (std::string w = word(); !w.empty() && w != "ENDHDR"; w = word()) {
            if (w == "WIDTH") p.width = std::stoi(word());
            else if (w == "HEIGHT") p.height = std::stoi(word());
            else if (w == "DEPTH") p.channels = std::stoi(word());
            else if (w == "MAXVAL") p.maxval = unsigned(std::stoul(word()));
            else if (w == "TUPLTYPE") word();
        }
    } else {
        return std::nullopt;
    }
    ++pos;  // the single white-space byte before the samples
    std::size_t n = std::size_t(p.width) * p.height * p.channels * (p.maxval > 255 ? 2 : 1);
    if (pos + n > s.size()) return std::nullopt;
    p.data.assign(s.begin() + std::ptrdiff_t(pos), s.begin() + std::ptrdiff_t(pos + n));
    return p;
}

// The strips of an uncompressed TIFF (as pdfimages -tiff writes), concatenated.
inline Bytes TiffStrips(const std::string& s)
{
    const bool le = s.size() > 8 && s[0] == 'I';
    auto num = [&](std::size_t at, int bytes) -> std::uint32_t {
        std::uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) {
            auto b = static_cast<unsigned char>(s.at(at + (le ? bytes - 1 - i : i)));
            v = (v << 8) | b;
        }
        return v;
    };
    std::uint32_t ifd = num(4, 4);
    std::vector<std::uint32_t> offsets, counts;
    for (std::uint32_t i = 0, n = num(ifd, 2); i < n; ++i) {
        std::size_t e = ifd + 2 + 12 * i;
        std::uint32_t tag = num(e, 2), type = num(e + 2, 2), count = num(e + 4, 4);
        if (tag != 273 && tag != 279) continue;
        int size = type == 3 ? 2 : 4;
        std::size_t at = count * size <= 4 ? e + 8 : num(e + 8, 4);
        auto& list = tag == 273 ? offsets : counts;
        for (std::uint32_t k = 0; k < count; ++k) list.push_back(num(at + k * size, size));
    }
    Bytes out;
    for (std::size_t i = 0; i < offsets.size() && i < counts.size(); ++i)
        out.insert(out.end(), s.begin() + offsets[i], s.begin() + offsets[i] + counts[i]);
    return out;
}

inline Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline std::string ToString(const Bytes& b) { return std::string(b.begin(), b.end()); }

// cjpeg with the given switches over a PNM picture.
inline Bytes Cjpeg(const TempDir& dir, const std::string& pnm, const std::vector<std::string>& options)
{
    const std::string in = dir.Write("cjpeg-in.pnm", pnm).string();
    const std::string out = (dir.Path() / "cjpeg-out.jpg").string();
    std::vector<std::string> argv{"cjpeg"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), {"-outfile", out, in});
    RunTool(argv);
    return ToBytes(ReadFile(out));
}

// djpeg -pnm; nullopt when it cannot decode. Warnings (exit status 2) are accepted, as the
// library then decodes what it can.
inline std::optional<Pnm> Djpeg(const TempDir& dir, const Bytes& jpeg)
{
    const std::string in = dir.Write("djpeg-in.jpg", ToString(jpeg)).string();
    const std::string out = (dir.Path() / "djpeg-out.pnm").string();
    RunResult r = Run({FindTool("djpeg"), "-pnm", "-outfile", out, in});
    if (r.status != 0 && r.status != 2) return std::nullopt;
    return ParsePnm(ReadFile(out));
}

// Big-endian integers of a JPEG 2000 file, its boxes, and files made of parts.
inline void Put(Bytes& b, std::uint64_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

inline Bytes Box(const char* type, const Bytes& body, bool extended = false)
{
    Bytes b;
    Put(b, extended ? 1 : 8 + body.size(), 4);
    b.insert(b.end(), type, type + 4);
    if (extended) Put(b, 16 + body.size(), 8);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes ReadAll(Filters::Filter& f)
{
    Filters::FilterReader r(f);
    return r.ReadAll();
}

// opj_compress over a PNM picture (or raw samples, with "-F" among the options); ext is
// "j2k" or "jp2".
inline Bytes OpjCompress(const TempDir& dir, const std::string& input_name, const std::string& input,
                         const std::string& ext, const std::vector<std::string>& options)
{
    const std::string in = dir.Write(input_name, input).string();
    const std::string out = (dir.Path() / ("opj-out." + ext)).string();
    std::vector<std::string> argv{"opj_compress", "-i", in, "-o", out};
    argv.insert(argv.end(), options.begin(), options.end());
    RunTool(argv);
    return ToBytes(ReadFile(out));
}

// opj_decompress to PGM, PPM or PAM; nullopt when it cannot decode.
inline std::optional<Pnm> OpjDecompress(const TempDir& dir, const Bytes& jpx)
{
    const bool jp2 = jpx.size() > 4 && jpx[0] == 0 && jpx[3] == 0x0C;
    const std::string in = dir.Write(jp2 ? "opj-in.jp2" : "opj-in.j2k", ToString(jpx)).string();
    const std::string out = (dir.Path() / "opj-dec.pnm").string();
    std::filesystem::remove(out);
    RunResult r = Run({FindTool("opj_decompress"), "-i", in, "-o", out});
    if (r.status != 0 || !std::filesystem::exists(out)) return std::nullopt;
    return ParsePnm(ReadFile(out));
}

// The image header fields opj_dump prints.
struct OpjHeader {
    long x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    struct Comp {
        long dx = 0, dy = 0, prec = 0, sgnd = 0;
    };
    std::vector<Comp> comps;
};

inline std::optional<OpjHeader> OpjDump(const TempDir& dir, const Bytes& jpx)
{
    const bool jp2 = jpx.size() > 4 && jpx[0] == 0 && jpx[3] == 0x0C;
    const std::string in = dir.Write(jp2 ? "dump-in.jp2" : "dump-in.j2k", ToString(jpx)).string();
    RunResult r = Run({FindTool("opj_dump"), "-i", in});
    std::size_t begin = r.output.find("Image info {"), end = r.output.find("Codestream info");
    if (r.status != 0 || begin == std::string::npos || end == std::string::npos) return std::nullopt;
    const std::string text = r.output.substr(begin, end - begin);
    std::size_t pos = 0;
    auto field = [&](const std::string& name) {
        std::size_t at = text.find(" " + name + "=", pos);
        if (at == std::string::npos) return -1L;
        pos = at + name.size() + 2;
        return std::stol(text.substr(pos));
    };
    OpjHeader h;
    h.x0 = field("x0");
    h.y0 = field("y0");
    h.x1 = field("x1");
    h.y1 = field("y1");
    long n = field("numcomps");
    for (long i = 0; i < n; ++i) {
        OpjHeader::Comp c;
        c.dx = field("dx");
        c.dy = field("dy");
        c.prec = field("prec");
        c.sgnd = field("sgnd");
        h.comps.push_back(c);
    }
    return h;
}

// Hands its input on a few bytes at a time, so decoders see every refill boundary.
class TrickleFilter : public Filters::BufFilter {
public:
    TrickleFilter(Bytes data, std::size_t step)
        : BufFilter(e_input, std::make_unique<Filters::MemoryFilter>(std::move(data)), 16), m_step(step) {}
    const char* GetName() const override { return "Trickle"; }

protected:
    std::size_t Fill(Byte* buf, std::size_t cap) override { return ReadInput(buf, std::min(cap, m_step)); }

private:
    std::size_t m_step;
};

// Passes its input on, then throws after `limit` bytes, as a damaged lower stage would.
class FailingFilter : public Filters::BufFilter {
public:
    FailingFilter(Bytes data, std::size_t limit)
        : BufFilter(e_input, std::make_unique<Filters::MemoryFilter>(std::move(data)), 64), m_left(limit) {}
    const char* GetName() const override { return "Failing"; }

protected:
    std::size_t Fill(Byte* buf, std::size_t cap) override
    {
        if (m_left == 0) QVX_THROW("m_left > 0", "lower stage failed");
        std::size_t n = ReadInput(buf, std::min(cap, m_left));
        m_left -= n;
        return n;
    }

private:
    std::size_t m_left;
};

// Mean and largest absolute difference of two sample arrays of equal size.
struct Difference {
    double mean = 0;
    int max = 0;
};

inline Difference Compare(const Bytes& a, const Bytes& b)
{
    Difference d;
    if (a.size() != b.size() || a.empty()) return {1e9, 1 << 30};
    long sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        int e = std::abs(int(a[i]) - int(b[i]));
        sum += e;
        d.max = std::max(d.max, e);
    }
    d.mean = double(sum) / double(a.size());
    return d;
}

}  // namespace qvx::Test
