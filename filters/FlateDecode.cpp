#include "filters/FlateDecode.h"

#include <algorithm>

namespace qvx::Filters {

FlateDecode::FlateDecode(std::unique_ptr<Filter> in, bool raw) : BufFilter(e_input, std::move(in))
{
    // A stream that cannot even start inflating decodes to nothing.
    m_done = inflateInit2(&m_zs, raw ? -MAX_WBITS : MAX_WBITS) != Z_OK;
}

FlateDecode::~FlateDecode()
{
    inflateEnd(&m_zs);
}

std::size_t FlateDecode::Fill(Byte* buf, std::size_t capacity)
{
    if (m_done || !mp_attached) return 0;
    m_zs.next_out = buf;
    m_zs.avail_out = static_cast<uInt>(capacity);
    while (m_zs.avail_out > 0) {
        // Inflate straight from the attached filter's window, so nothing is copied on input.
        Common::ByteView in = PeekInput();
        bool input_ended = in.empty();
        m_zs.next_in = const_cast<Byte*>(in.data());
        m_zs.avail_in = static_cast<uInt>(std::min<std::size_t>(in.size(), 1u << 30));
        uInt in_before = m_zs.avail_in;
        uInt out_before = m_zs.avail_out;
        int rc = inflate(&m_zs, input_ended ? Z_FINISH : Z_NO_FLUSH);
        ConsumeInput(in_before - m_zs.avail_in);
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            // The end of the stream, or damage: either way nothing more comes.
            m_done = true;
            m_damaged = rc != Z_STREAM_END;
            break;
        }
        if (m_zs.avail_out == 0) break;  // more may be pending; the next fill goes on
        bool progress = in_before != m_zs.avail_in || out_before != m_zs.avail_out;
        if (input_ended || !progress) {
            m_done = true;
            break;
        }
    }
    m_produced += capacity - m_zs.avail_out;
    return capacity - m_zs.avail_out;
}

}  // namespace qvx::Filters
