#pragma once
// Builds decoding filters by their PDF names from plain parameter values, so that the
// object layer can assemble a stream's decode chain without this layer knowing PDF
// objects. The caller reads Filter and DecodeParms (and the image's Width, Height and
// BitsPerComponent), fills DecodeParams for each stage, and stacks the stages:
//
//     auto chain = std::move(raw);
//     for (each filter name and its parameters)
//         chain = CreateDecodeFilter(name, params, std::move(chain));
//
// Every decoder made here carries an output budget of Limits::kDecodeOutputRatio times
// raw_length, at least Limits::kDecodeOutputFloor, past which it throws.
//
// Not made here: Crypt (the security handler builds its own decryption stage), and the
// engine's private _qvxLZMA and PNGCompress filters, which only the engine's own tools
// write; both count as unknown.

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "common/Buffer.h"
#include "filters/Filter.h"

namespace qvx::Filters {

struct DecodeParams {
    // FlateDecode and LZWDecode: the predictor and its row geometry.
    int predictor = 1;
    std::optional<int> columns;  // default 1 for the predictors, 1728 for CCITTFaxDecode
    int colors = 1;
    int bits_per_component = 8;
    int early_change = 1;        // LZWDecode
    // DCTDecode: -1 when absent.
    int color_transform = -1;
    // CCITTFaxDecode.
    int k = 0;
    bool end_of_line = false;
    bool encoded_byte_align = false;
    std::optional<int> rows;     // when absent, the image's height
    bool end_of_block = true;
    bool black_is_1 = false;
    int damaged_rows_before_error = 0;
    // JBIG2Decode: the bytes of the JBIG2Globals stream (decoded), empty when none.
    Common::Bytes jbig2_globals;
    // The image's Width, Height and BitsPerComponent (0 when unknown): JBIG2Decode sizes
    // its output with them, CCITTFaxDecode takes Height for missing Rows, JPXDecode takes
    // the depth.
    std::uint32_t width = 0, height = 0;
    int image_bits_per_component = 0;
    // The image's ColorSpace is Indexed: JPXDecode gives the file's palette indices, not
    // the colours of the palette the file carries.
    bool image_indexed = false;
    // Length of the stream's raw data, for the output budget.
    std::uint64_t raw_length = 0;
};

// The decoder named `name` (full name or abbreviation) over `source`; FlateDecode and
// LZWDecode come wrapped in their predictor. Throws "Unknown filter" for other names,
// "Unknown predictor function." for a predictor other than 1, 2 or 10 to 15 (absent or
// below 1 means none) and "CCITTFaxDecode Columns is negative".
std::unique_ptr<Filter> CreateDecodeFilter(std::string_view name, const DecodeParams& params,
                                           std::unique_ptr<Filter> source);

// Wraps `source` in the predictor the parameters select, or returns it as it is.
std::unique_ptr<Filter> CreatePredictorFilter(const DecodeParams& params, std::unique_ptr<Filter> source);

// Whether CreateDecodeFilter knows the name.
bool IsDecodeFilterName(std::string_view name);
// The full name of a decoder's name or abbreviation ("Fl" gives "FlateDecode"); empty
// for a name no decoder has.
std::string_view FullDecodeFilterName(std::string_view name);

}  // namespace qvx::Filters
