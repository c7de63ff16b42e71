// JBIG2Decode on arbitrary bytes: the first two bytes give the length of a globals stream,
// the rest is split into globals and page stream. Only the decoder's own error may come
// out, and a page that came out has the size the decoder reports.
#include <cstdint>
#include <cstdlib>

#include "common/Exception.h"
#include "common/Limits.h"
#include "filters/FilterReader.h"
#include "filters/JBIG2Decode.h"
#include "filters/MemoryFilter.h"

using namespace qvx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    const std::size_t split = std::min<std::size_t>(std::size_t(data[0]) << 8 | data[1], size - 2);
    Common::Bytes globals(data + 2, data + 2 + split);
    Common::ByteView page(data + 2 + split, size - 2 - split);
    Filters::JBIG2Decode dec(Filters::MemoryFilter::View(page), globals);
    dec.SetOutputBudget(Common::Limits::kDecodeOutputFloor);
    try {
        Filters::FilterReader r(dec);
        const Common::Bytes out = r.ReadAll();
        const std::uint64_t expect = (std::uint64_t(dec.GetWidth()) + 7) / 8 * dec.GetHeight();
        if (out.size() != expect) std::abort();
    } catch (const Common::Exception& e) {
        if (std::string(e.what()) != "An error occurred while decoding JBIG2 stream" &&
            std::string(e.what()).find("exceeds the size limit") == std::string::npos)
            std::abort();
    }
    return 0;
}
