#pragma once
// Bitmaps, bilevel TIFF files and codec helpers for the CCITT tests. Bitmaps are packed
// rows, 1 = black, pad bits 0: what CCITTFaxDecode yields with BlackIs1.

#include <cstdint>
#include <filesystem>
#include <string>

#include "common/Buffer.h"
#include "filters/CCITTParams.h"

namespace qvx::Test::CCITT {

struct Bitmap {
    std::uint32_t width = 0, height = 0;
    Common::Bytes bits;

    std::size_t Stride() const { return (std::size_t(width) + 7) / 8; }
    void Set(std::uint32_t x, std::uint32_t y) { bits[y * Stride() + x / 8] |= 0x80 >> (x % 8); }
};

Bitmap Blank(std::uint32_t width, std::uint32_t height);
Bitmap Solid(std::uint32_t width, std::uint32_t height);
// Strokes, boxes, rings and dots on white, like a scanned page of text.
Bitmap TextLike(std::uint32_t width, std::uint32_t height, std::uint32_t seed);
// Each pixel black with the given chance in 1/256.
Bitmap Noise(std::uint32_t width, std::uint32_t height, std::uint32_t seed, unsigned black_in_256 = 128);

// A single-strip bilevel TIFF, 0 = white (as fax data is).
struct Tiff {
    std::uint32_t width = 0, height = 0;
    unsigned compression = 1;  // 1 none, 2 modified Huffman, 3 Group 3, 4 Group 4
    std::uint32_t t4_options = 0;  // bit 0: 2-D coding, bit 2: EOLs end on byte boundaries
    unsigned fill_order = 1;
    Common::Bytes data;  // the strips, concatenated
};
void WriteTiff(const std::filesystem::path& path, const Tiff& tiff);
Tiff ReadTiff(const std::filesystem::path& path);

// Runs tiffcp with the options, from one file to another; fails the test when it fails.
void TiffCopy(const std::string& options, const std::filesystem::path& from, const std::filesystem::path& to);

// Decodes through CCITTFaxDecode, feeding the input in pieces of `piece` bytes (0: whole).
Common::Bytes Decode(Common::ByteView data, const Filters::CCITTParams& params, std::size_t piece = 0,
                     std::uint64_t budget = 0);
Common::Bytes Encode(Common::ByteView rows, const Filters::CCITTParams& params);

}  // namespace qvx::Test::CCITT
