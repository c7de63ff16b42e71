#include "pdf/StreamData.h"

#include <algorithm>

#include "filters/Filter.h"
#include "sdf/Obj.h"

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
    return out;
}

}  // namespace qvx::PDF
