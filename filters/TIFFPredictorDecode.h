#pragma once
// Undoes TIFF predictor 2: each component is stored as its difference to the same
// component of the pixel on its left, at 1, 2, 4, 8 or 16 bits.

#include "filters/PredictorDecodeBase.h"

namespace qvx::Filters {

class TIFFPredictorDecode : public PredictorDecodeBase {
public:
    // Throws "Invalid predictor parameters" for a geometry it cannot decode.
    TIFFPredictorDecode(std::unique_ptr<Filter> in, const PredictorParams& params);

    const char* GetName() const override { return "TIFFPredictorDecode"; }

protected:
    const Byte* DecodeRow(Byte* row, std::size_t size) override;
};

}  // namespace qvx::Filters
