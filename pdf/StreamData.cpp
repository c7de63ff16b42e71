#include "pdf/StreamData.h"

#include <algorithm>

#include "filters/Filter.h"
#include "filters/FilterReader.h"
#include "filters/FlateDecode.h"
#include "sdf/Dict.h"
#include "sdf/Obj.h"
#include "sdf/Stream.h"

namespace qvx::PDF {

std::optional<Common::Bytes> ReadDecoded(const SDF::Obj* stream, std::uint64_t max_bytes)
{
    if (!stream) return std::nullopt;
    std::unique_ptr<Filters::Filter> f;
    try {
        f = stream->GetDecodedStream();
    } catch (const std::exception&) {
        return std::nullopt;
    }
    Common::Bytes out;
    try {
        while (out.size() < max_bytes) {
            std::size_t n = f->Size();
            if (n == 0) break;
            n = static_cast<std::size_t>(std::min<std::uint64_t>(n, max_bytes - out.size()));
            const Common::Byte* p = f->Begin();
            out.insert(out.end(), p, p + n);
            f->Consume(n);
        }
    } catch (const std::exception&) {
        // Keep what decoded before the damage, as viewers do.
    }
    // Deflate data damaged from its first byte gives nothing that could be kept: the stream
    // cannot be decoded, which is not the same as one that holds nothing.
    if (out.empty())
        for (const Filters::Filter* p = f.get(); p; p = p->GetAttachedFilter())
            if (auto* flate = dynamic_cast<const Filters::FlateDecode*>(p); flate && flate->DamagedFromStart())
                return std::nullopt;
    return out;
}

std::optional<Common::Bytes> ReadDecodedInline(const SDF::Obj& dict, Common::ByteView data, std::uint64_t max_bytes)
{
    auto copy = dict.Clone();
    if (!copy || !copy->IsDict()) return std::nullopt;
    std::unique_ptr<SDF::Dict> d(static_cast<SDF::Dict*>(copy.release()));
    auto stream = SDF::FileStream::Create(Common::Bytes(data.begin(), data.end()), std::move(d));
    return ReadDecoded(stream.get(), max_bytes);
}

Filters::JPXInfo ReadJPXHeader(const SDF::Obj& stream)
{
    // The header boxes and the codestream's SIZ marker come first; large metadata boxes
    // before them are rare, and this bounds what is read.
    constexpr std::size_t kMaxHeaderBytes = 4u << 20;
    try {
        std::unique_ptr<Filters::Filter> raw = stream.GetRawStream();
        if (!raw) return {};
        Filters::FilterReader r(*raw);
        Common::Bytes data(kMaxHeaderBytes);
        data.resize(r.Read(data.data(), data.size()));
        return Filters::JPXInfo::Read(data);
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace qvx::PDF
