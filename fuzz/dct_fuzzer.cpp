// DCTDecode on arbitrary bytes, with the colour transform chosen by the first byte, read in
// uneven pieces under a budget. Errors surface as the engine's exception, never a crash.
#include <cstdint>

#include "common/Exception.h"
#include "common/Limits.h"
#include "filters/DCTDecode.h"
#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"

using namespace qvx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    const int transform = int(data[0] % 3) - 1;
    Filters::DCTDecode dec(Filters::MemoryFilter::View({data + 1, size - 1}), transform);
    dec.SetOutputBudget(Common::Limits::kDecodeOutputFloor);
    Filters::FilterReader r(dec);
    Common::Byte buf[1000];
    try {
        while (r.Read(buf, 1 + r.Count() % sizeof buf) > 0) {
        }
    } catch (const Common::Exception&) {
    }
    return 0;
}
