#include "filters/FlateEncode.h"

#include <algorithm>

#include "common/Exception.h"

namespace qvx::Filters {

FlateEncode::FlateEncode(std::unique_ptr<Filter> out, int level, bool raw)
    : BufFilter(e_output, std::move(out))
{
    level = level < 0 ? Z_DEFAULT_COMPRESSION : std::min(level, 9);
    int rc = raw ? deflateInit2(&m_zs, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY)
                 : deflateInit(&m_zs, level);
    QVX_CHECK(rc == Z_OK, "Error encoding a Flate stream");
}

FlateEncode::~FlateEncode()
{
    deflateEnd(&m_zs);
}

void FlateEncode::Drain(const Byte* data, std::size_t size, bool final)
{
    QVX_CHECK(mp_attached, "The attached stream is corrupt");
    m_zs.next_in = const_cast<Byte*>(data);
    m_zs.avail_in = static_cast<uInt>(size);
    int flush = final ? Z_FINISH : Z_NO_FLUSH;
    for (;;) {
        // Deflate straight into the sink's free space.
        std::size_t space = mp_attached->Size();
        if (space == 0) QVX_THROW("space > 0", "The attached stream is corrupt");
        m_zs.next_out = mp_attached->Begin();
        m_zs.avail_out = static_cast<uInt>(std::min<std::size_t>(space, 1u << 30));
        uInt out_before = m_zs.avail_out;
        int rc = deflate(&m_zs, flush);
        mp_attached->Consume(out_before - m_zs.avail_out);
        if (rc == Z_STREAM_END) return;
        // Z_BUF_ERROR: no progress was possible, which is only right while not finishing.
        if (rc == Z_BUF_ERROR && !final) return;
        if (rc != Z_OK) QVX_THROW("rc == Z_OK", "Error encoding a Flate stream");
        // Without finish, deflate is done with this input once it leaves output space over.
        if (!final && m_zs.avail_in == 0 && m_zs.avail_out > 0) return;
    }
}

}  // namespace qvx::Filters
