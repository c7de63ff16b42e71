#pragma once
// The parameters of the PNG and TIFF predictors (DecodeParms of Flate and LZW streams) and
// the row geometry they imply.

#include <cstddef>
#include <cstdint>

namespace qvx::Filters {

struct PredictorParams {
    int predictor = 1, colors = 1, bits_per_component = 8, columns = 1;
};

struct PredictorRow {
    // Throws "Invalid predictor parameters" unless colors and columns are positive, the bit
    // depth is 1, 2, 4, 8 or 16 and a row stays within the row size limit.
    explicit PredictorRow(const PredictorParams& p);

    std::size_t bytes;            // bytes of one row, without the PNG tag byte
    std::size_t pixel_bytes;      // bytes of one pixel, at least 1 (the PNG filter distance)
    std::size_t samples;          // components in one row
    int colors;
    int bits;
};

}  // namespace qvx::Filters
