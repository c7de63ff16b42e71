// ASCIIHexDecode, ASCII85Decode and RunLengthDecode on arbitrary bytes, read in uneven
// pieces, and the round trip of the same bytes through each encoder.
#include <cstdlib>
#include <cstring>

#include "common/Exception.h"
#include "common/Limits.h"
#include "filters/ASCII85Decode.h"
#include "filters/ASCII85Encode.h"
#include "filters/ASCIIHexDecode.h"
#include "filters/ASCIIHexEncode.h"
#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"
#include "filters/RunLengthDecode.h"
#include "filters/RunLengthEncode.h"

using namespace qvx;

namespace {

template <class Decoder>
Common::Bytes DecodeAll(Common::ByteView in)
{
    Decoder dec(Filters::MemoryFilter::View(in));
    dec.SetOutputBudget(Common::Limits::kDecodeOutputFloor);
    Filters::FilterReader r(dec);
    Common::Bytes out;
    Common::Byte buf[333];
    try {
        while (std::size_t n = r.Read(buf, 1 + out.size() % sizeof buf)) out.insert(out.end(), buf, buf + n);
    } catch (const Common::Exception&) {
        // Only the budget may stop a decoder.
    }
    return out;
}

template <class Encoder, class Decoder>
void RoundTrip(Common::ByteView in)
{
    auto sink = std::make_unique<Filters::MemoryFilter>();
    auto* mem = sink.get();
    Encoder enc(std::move(sink));
    Filters::FilterWriter w(enc);
    w.WriteBuffer(in);
    w.Finish();
    Common::Bytes got = DecodeAll<Decoder>(mem->Data());
    if (got.size() != in.size() || (!in.empty() && std::memcmp(got.data(), in.data(), in.size()) != 0)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Common::ByteView in(data, size);
    DecodeAll<Filters::ASCIIHexDecode>(in);
    DecodeAll<Filters::ASCII85Decode>(in);
    DecodeAll<Filters::RunLengthDecode>(in);
    RoundTrip<Filters::ASCIIHexEncode, Filters::ASCIIHexDecode>(in);
    RoundTrip<Filters::ASCII85Encode, Filters::ASCII85Decode>(in);
    RoundTrip<Filters::RunLengthEncode, Filters::RunLengthDecode>(in);
    return 0;
}
