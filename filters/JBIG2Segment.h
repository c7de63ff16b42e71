#pragma once
// The segment headers of a JBIG2 stream in the organisation PDF embeds (no file header:
// each header is followed by its data), and the region information field that every
// region segment starts with.

#include <cstdint>
#include <vector>

#include "common/Buffer.h"
#include "filters/JBIG2Bitmap.h"

namespace qvx::Filters::JBIG2 {

enum SegmentType {
    e_symbol_dict = 0,
    e_intermediate_text = 4,
    e_immediate_text = 6,
    e_immediate_lossless_text = 7,
    e_pattern_dict = 16,
    e_intermediate_halftone = 20,
    e_immediate_halftone = 22,
    e_immediate_lossless_halftone = 23,
    e_intermediate_generic = 36,
    e_immediate_generic = 38,
    e_immediate_lossless_generic = 39,
    e_intermediate_refinement = 40,
    e_immediate_refinement = 42,
    e_immediate_lossless_refinement = 43,
    e_page_info = 48,
    e_end_of_page = 49,
    e_end_of_stripe = 50,
    e_end_of_file = 51,
    e_profiles = 52,
    e_tables = 53,
    e_colour_palette = 54,
    e_extension = 62,
};

struct Segment {
    std::uint32_t number = 0;
    int type = 0;
    std::uint32_t page = 0;
    std::vector<std::uint32_t> refs;
    Common::ByteView data;   // may be shorter than announced when the stream is truncated
    bool unknown_length = false;
};

class SegmentReader {
public:
    explicit SegmentReader(Common::ByteView stream) : m_data(stream) {}
    // The next segment; false at the end of the stream or at a header cut short.
    bool Next(Segment& seg);

private:
    Common::ByteView m_data;
    std::size_t m_pos = 0;
};

struct RegionInfo {
    std::uint32_t width = 0, height = 0;
    std::int32_t x = 0, y = 0;
    ComposeOp op = e_or;
};

// The first 17 bytes of a region segment's data; throws when they are missing or invalid.
RegionInfo ReadRegionInfo(Common::ByteView data);

inline std::uint32_t ReadU32(Common::ByteView d, std::size_t i)
{
    return std::uint32_t(d[i]) << 24 | std::uint32_t(d[i + 1]) << 16 | std::uint32_t(d[i + 2]) << 8 | d[i + 3];
}

}  // namespace qvx::Filters::JBIG2
