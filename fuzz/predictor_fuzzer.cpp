// The PNG and TIFF predictor decoders with parameters taken from the first bytes, and the
// PNG encoder's round trip. Input: predictor, colors, depth, columns (two bytes), data.
#include <cstdlib>
#include <cstring>

#include "common/Exception.h"
#include "common/Limits.h"
#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"
#include "filters/PNGPredictorDecode.h"
#include "filters/PNGPredictorEncode.h"
#include "filters/TIFFPredictorDecode.h"

using namespace qvx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5) return 0;
    static const int kDepths[] = {1, 2, 4, 8, 16, 3};  // 3 is refused
    Filters::PredictorParams p;
    p.predictor = 10 + data[0] % 7;  // 16 is refused by the encoder
    p.colors = data[1] % 9;          // 0 is refused
    p.bits_per_component = kDepths[data[2] % 6];
    p.columns = data[3] << 8 | data[4];
    Common::ByteView in(data + 5, size - 5);
    try {
        std::unique_ptr<Filters::Filter> dec;
        if (data[0] & 0x80)
            dec = std::make_unique<Filters::TIFFPredictorDecode>(Filters::MemoryFilter::View(in), p);
        else
            dec = std::make_unique<Filters::PNGPredictorDecode>(Filters::MemoryFilter::View(in), p);
        Filters::FilterReader r(*dec);
        Common::Bytes out = r.ReadAll();
        // Predictors never add bytes, but for the zeros that complete a cut last PNG row.
        const std::size_t row = Filters::PredictorRow(p).bytes;
        if (out.size() > in.size() + row) std::abort();

        auto sink = std::make_unique<Filters::MemoryFilter>();
        auto* mem = sink.get();
        Filters::PNGPredictorEncode enc(std::move(sink), p);
        Filters::FilterWriter w(enc);
        w.WriteBuffer(in);
        w.Finish();
        Filters::PNGPredictorDecode back(Filters::MemoryFilter::View(mem->Data()), p);
        Filters::FilterReader r2(back);
        Common::Bytes got = r2.ReadAll();
        if (got.size() < in.size() || got.size() > in.size() + row ||
            (!in.empty() && std::memcmp(got.data(), in.data(), in.size()) != 0))
            std::abort();
    } catch (const Common::Exception&) {
        // Refused parameters.
    }
    return 0;
}
