#pragma once
// The row loop the predictor decoders share: gather one row (with its tag bytes) from the
// input, undo the prediction, hand out the decoded row. A last partial row is decoded as
// far as it goes, or (pad_last_row) completed with zero bytes first, as qpdf and other
// PNG readers do.

#include "filters/Filter.h"
#include "filters/PredictorParams.h"

namespace qvx::Filters {

class PredictorDecodeBase : public BufFilter {
protected:
    // tag_bytes: bytes in front of each row (1 for PNG, 0 for TIFF). Throws on bad params.
    PredictorDecodeBase(std::unique_ptr<Filter> in, const PredictorParams& params, std::size_t tag_bytes,
                        bool pad_last_row = false);

    std::size_t Fill(Byte* buf, std::size_t capacity) override;
    // Decodes `size` bytes gathered for a row (tag included, size > tag bytes) in place;
    // returns where the decoded bytes start in `row`.
    virtual const Byte* DecodeRow(Byte* row, std::size_t size) = 0;

    const PredictorRow m_row;

private:
    std::size_t m_tag_bytes;
    bool m_pad_last_row;
    Common::Bytes m_raw;        // the row being gathered
    std::size_t m_raw_size = 0;
    const Byte* mp_out = nullptr;  // decoded bytes not yet handed out
    std::size_t m_out_left = 0;
    bool m_done = false;
};

}  // namespace qvx::Filters
