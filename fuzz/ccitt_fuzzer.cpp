// CCITTFaxDecode with parameters from the first five bytes, the rest being the coded data.
// Whatever decodes must survive an encode and decode unchanged; the G4 row decoder must
// stay inside its span.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "common/Exception.h"
#include "filters/CCITTFaxDecode.h"
#include "filters/CCITTFaxEncode.h"
#include "filters/CCITTG4Decoder.h"
#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"

using namespace qvx;

namespace {

constexpr std::uint64_t kBudget = 4 << 20;

Common::Bytes Decode(Common::ByteView data, const Filters::CCITTParams& p)
{
    Filters::CCITTFaxDecode dec(Filters::MemoryFilter::View(data), p);
    dec.SetOutputBudget(kBudget);
    Filters::FilterReader r(dec);
    return r.ReadAll();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5) return 0;
    static const int ks[] = {-1, 0, 1, 2, 4, -1, 0, 3};
    Filters::CCITTParams p;
    p.k = ks[data[0] & 7];
    p.end_of_line = data[1] & 1;
    p.encoded_byte_align = data[1] & 2;
    p.end_of_block = data[1] & 4;
    p.black_is_1 = data[1] & 8;
    p.damaged_rows_before_error = (data[1] >> 4) & 3;
    // Mostly modest widths; now and then a huge one, which must cost nothing up front.
    int columns = data[2] | (data[3] & 0x1F) << 8;
    p.columns = (data[3] & 0xE0) == 0xE0 ? 0x7FFF0000 + columns : columns;
    p.rows = data[4];
    Common::ByteView coded(data + 5, size - 5);

    Common::Bytes out;
    try {
        out = Decode(coded, p);
    } catch (const Common::Exception&) {
        return 0;  // over the output budget
    }
    const std::size_t stride = p.columns > 0 ? (std::size_t(p.columns) + 7) / 8 : 1;
    if (out.size() % stride != 0) std::abort();
    if (p.rows > 0 && out.size() > stride * std::size_t(p.rows)) std::abort();

    if (!out.empty()) {
        auto sink = std::make_unique<Filters::MemoryFilter>();
        Filters::MemoryFilter* mem = sink.get();
        {
            Filters::CCITTFaxEncode enc(std::move(sink), p);
            Filters::FilterWriter w(enc);
            w.WriteBuffer(out);
            w.Finish();
            Common::Bytes again = Decode(mem->Data(), p);
            if (again != out) std::abort();
        }
    }

    if (p.columns > 0 && p.columns < 0x10000) {
        Filters::CCITTG4Decoder g4(coded, static_cast<std::uint32_t>(p.columns));
        std::vector<Common::Byte> row(stride);
        for (int y = 0; y < 256 && g4.DecodeRow(row.data()) == Filters::CCITTG4Decoder::e_row; ++y) {
        }
        if (g4.BytesConsumed() > coded.size()) std::abort();
    }
    return 0;
}
