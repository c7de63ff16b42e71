// LZWDecode on arbitrary bytes with both EarlyChange values, and the LZWEncode round trip.
#include <cstdlib>
#include <cstring>

#include "common/Exception.h"
#include "common/Limits.h"
#include "filters/FilterReader.h"
#include "filters/LZWDecode.h"
#include "filters/LZWEncode.h"
#include "filters/MemoryFilter.h"

using namespace qvx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Common::ByteView in(data, size);
    for (int early : {0, 1}) {
        Filters::LZWDecode dec(Filters::MemoryFilter::View(in), early);
        dec.SetOutputBudget(Common::Limits::kDecodeOutputFloor);
        Filters::FilterReader r(dec);
        try {
            r.ReadAll();
        } catch (const Common::Exception&) {
            // Only the budget may stop a decoder.
        }
    }
    int early = size % 2;
    auto sink = std::make_unique<Filters::MemoryFilter>();
    auto* mem = sink.get();
    Filters::LZWEncode enc(std::move(sink), early);
    Filters::FilterWriter w(enc);
    w.WriteBuffer(in);
    w.Finish();
    Filters::LZWDecode back(Filters::MemoryFilter::View(mem->Data()), early);
    Filters::FilterReader r(back);
    Common::Bytes got = r.ReadAll();
    if (got.size() != size || (size && std::memcmp(got.data(), data, size) != 0)) std::abort();
    return 0;
}
