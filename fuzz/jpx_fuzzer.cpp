// JPXDecode on arbitrary bytes (raw codestreams and JP2 files), with the requested sample
// depth chosen by the first byte. Errors surface as the engine's exception, never a crash.
#include <cstdint>

#include "common/Exception.h"
#include "common/Limits.h"
#include "filters/FilterReader.h"
#include "filters/JPXDecode.h"
#include "filters/MemoryFilter.h"

using namespace qvx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    static const int kDepths[] = {0, 1, 2, 4, 8, 16, 3, 0};
    Filters::JPXDecode dec(Filters::MemoryFilter::View({data + 1, size - 1}), kDepths[data[0] & 7]);
    dec.SetOutputBudget(Common::Limits::kDecodeOutputFloor);
    Filters::FilterReader r(dec);
    try {
        r.ReadAll();
        dec.GetIccProfile();
    } catch (const Common::Exception&) {
    }
    return 0;
}
