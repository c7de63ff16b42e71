#include "filters/FilterReader.h"

#include <algorithm>
#include <cstring>

#include "common/Exception.h"

namespace qvx::Filters {

std::size_t FilterReader::Read(Byte* dst, std::size_t n)
{
    std::size_t got = 0;
    while (got < n) {
        std::size_t avail = mp_filter->Size();
        if (avail == 0) break;
        std::size_t k = std::min(avail, n - got);
        std::memcpy(dst + got, mp_filter->Begin(), k);
        mp_filter->Consume(k);
        got += k;
    }
    return got;
}

Common::Bytes FilterReader::ReadAll()
{
    Common::Bytes out;
    for (;;) {
        std::size_t avail = mp_filter->Size();
        if (avail == 0) break;
        const Byte* p = mp_filter->Begin();
        out.insert(out.end(), p, p + avail);
        mp_filter->Consume(avail);
    }
    return out;
}

std::size_t FilterReader::Skip(std::size_t n)
{
    std::size_t done = 0;
    while (done < n) {
        std::size_t avail = mp_filter->Size();
        if (avail == 0) break;
        std::size_t k = std::min(avail, n - done);
        mp_filter->Consume(k);
        done += k;
    }
    return done;
}

void FilterWriter::WriteBuffer(const Byte* data, std::size_t n)
{
    while (n > 0) {
        std::size_t space = mp_filter->Size();
        if (space == 0) QVX_THROW("space > 0", "Output stream is corrupt");
        std::size_t k = std::min(space, n);
        std::memcpy(mp_filter->Begin(), data, k);
        mp_filter->Consume(k);
        data += k;
        n -= k;
    }
}

void FilterWriter::WriteFilter(FilterReader& reader)
{
    Filter* src = reader.GetAttachedFilter();
    for (;;) {
        std::size_t avail = src->Size();
        if (avail == 0) break;
        WriteBuffer(src->Begin(), avail);
        src->Consume(avail);
    }
}

}  // namespace qvx::Filters
