#pragma once
// Undoes the PNG predictors: each row starts with a tag byte choosing None, Sub, Up,
// Average or Paeth (an unknown tag counts as None). A cut last row is completed with zeros.

#include "filters/PredictorDecodeBase.h"

namespace qvx::Filters {

class PNGPredictorDecode : public PredictorDecodeBase {
public:
    // Throws "Invalid predictor parameters" for a geometry it cannot decode.
    PNGPredictorDecode(std::unique_ptr<Filter> in, const PredictorParams& params);

    const char* GetName() const override { return "PNGPredictorDecode"; }

protected:
    const Byte* DecodeRow(Byte* row, std::size_t size) override;

private:
    Common::Bytes m_prev;  // the decoded row above, zeros before the first
};

}  // namespace qvx::Filters
