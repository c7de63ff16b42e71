#pragma once
// Applies a PNG predictor to rows written into it: Predictor 10 to 14 use None, Sub, Up,
// Average or Paeth on every row, 15 picks per row the filter with the smallest sum of
// absolute differences. A last partial row is written as far as it goes.

#include "filters/Filter.h"
#include "filters/PredictorParams.h"

namespace qvx::Filters {

class PNGPredictorEncode : public BufFilter {
public:
    // Throws "Unknown predictor function." for a Predictor outside 10 to 15 and
    // "Invalid predictor parameters" for a geometry it cannot encode.
    PNGPredictorEncode(std::unique_ptr<Filter> out, const PredictorParams& params);

    const char* GetName() const override { return "PNGPredictorEncode"; }
    const char* GetDecodeName() const override { return "PNGPredictorDecode"; }

protected:
    void Drain(const Byte* data, std::size_t size, bool final) override;

private:
    void EncodeRow(std::size_t n);

    const PredictorRow m_row;
    int m_predictor;
    Common::Bytes m_cur;   // the row being gathered
    std::size_t m_cur_size = 0;
    Common::Bytes m_prev;  // the row above, zeros before the first
    Common::Bytes m_out;   // tag and filtered row
    Common::Bytes m_trial; // a candidate filtering when choosing per row
};

}  // namespace qvx::Filters
