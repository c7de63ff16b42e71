#pragma once
// Reads a bit stream most significant bit first, from a byte span and optionally from a
// source that hands out further spans. Past the end it reads zero bits and remembers that
// it did, so decoders can peek whole code words without checking the length first.

#include <cstdint>
#include <functional>

#include "common/Buffer.h"

namespace qvx::Filters {

class CCITTBitReader {
public:
    // Called when the current span is used up; returns the next one, empty at the end.
    // A returned span stays valid until the next call.
    using Source = std::function<Common::ByteView()>;

    explicit CCITTBitReader(Common::ByteView data, Source more = {});

    // The next n bits (1 <= n <= 32), right-aligned.
    std::uint32_t Peek(unsigned n)
    {
        if (m_avail < n) Refill();
        return static_cast<std::uint32_t>(m_acc >> (64 - n));
    }

    // Consumes n bits (n <= 32).
    void Skip(unsigned n)
    {
        if (m_avail < n) Refill();
        unsigned real = m_avail - m_pad;
        if (n > real) {
            m_overrun = true;
            m_pad -= n - real;
        }
        m_acc = n < 64 ? m_acc << n : 0;
        m_avail -= n;
        m_pos += n;
    }

    unsigned ReadBit()
    {
        unsigned b = Peek(1);
        Skip(1);
        return b;
    }

    void AlignToByte()
    {
        if (m_pos % 8) Skip(8 - static_cast<unsigned>(m_pos % 8));
    }

    // Consumes zero bits up to the next one bit or the end of the data; returns how many.
    std::uint64_t SkipZeros();

    // No data bits are left.
    bool AtEnd()
    {
        if (m_avail == m_pad) Refill();
        return m_avail == m_pad;
    }

    // Some bits consumed lay past the end of the data.
    bool Overrun() const { return m_overrun; }
    // Bits consumed so far, including any past the end.
    std::uint64_t Position() const { return m_pos; }

private:
    void Refill();

    const Common::Byte* mp_cur;
    const Common::Byte* mp_end;
    Source m_more;
    std::uint64_t m_acc = 0;  // left-aligned
    unsigned m_avail = 0;     // bits in m_acc
    unsigned m_pad = 0;       // of them, zero bits past the end of the data
    std::uint64_t m_pos = 0;
    bool m_done = false;
    bool m_overrun = false;
};

}  // namespace qvx::Filters
