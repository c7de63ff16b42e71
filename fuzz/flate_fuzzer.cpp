// FlateDecode on arbitrary bytes (zlib and raw), read in uneven pieces under a budget, and
// the FlateEncode round trip of the same bytes.
#include <cstdlib>
#include <cstring>

#include "common/Exception.h"
#include "common/Limits.h"
#include "filters/FilterReader.h"
#include "filters/FlateDecode.h"
#include "filters/FlateEncode.h"
#include "filters/MemoryFilter.h"

using namespace qvx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Common::ByteView in(data, size);
    for (bool raw : {false, true}) {
        Filters::FlateDecode dec(Filters::MemoryFilter::View(in), raw);
        dec.SetOutputBudget(Common::Limits::kDecodeOutputFloor);
        Filters::FilterReader r(dec);
        Common::Byte buf[777];
        try {
            while (r.Read(buf, 1 + (r.Count() % sizeof buf)) > 0) {
            }
        } catch (const Common::Exception&) {
            // Only the budget may stop a decoder.
        }
    }

    auto sink = std::make_unique<Filters::MemoryFilter>();
    auto* mem = sink.get();
    Filters::FlateEncode enc(std::move(sink), size % 10);
    Filters::FilterWriter w(enc);
    w.WriteBuffer(in);
    w.Finish();
    Filters::FlateDecode back(Filters::MemoryFilter::View(mem->Data()));
    Filters::FilterReader r(back);
    Common::Bytes got = r.ReadAll();
    if (got.size() != size || (size && std::memcmp(got.data(), data, size) != 0)) std::abort();
    return 0;
}
