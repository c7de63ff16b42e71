#include "sdf/WriteFlate.h"

#include "filters/FilterReader.h"
#include "filters/FlateEncode.h"
#include "filters/MemoryFilter.h"
#include "filters/PNGPredictorEncode.h"

namespace qvx::SDF {

Common::Bytes FlateBytes(Common::ByteView data, int png_columns)
{
    auto sink = std::make_unique<Filters::MemoryFilter>();
    Filters::MemoryFilter* mem = sink.get();
    std::unique_ptr<Filters::Filter> chain = std::make_unique<Filters::FlateEncode>(std::move(sink));
    if (png_columns > 0) {
        Filters::PredictorParams p;
        p.predictor = 12;
        p.columns = png_columns;
        chain = std::make_unique<Filters::PNGPredictorEncode>(std::move(chain), p);
    }
    Filters::FilterWriter w(*chain);
    w.WriteBuffer(data);
    w.Finish();
    return mem->Release();
}

}  // namespace qvx::SDF
