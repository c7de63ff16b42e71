#pragma once
// The adaptive binary arithmetic decoder of JBIG2 (the MQ coder) and the integer and
// symbol-ID decoders built on it. Past the end of its data the decoder reads 0xFF bytes,
// as the coder's terminating marker would supply, so it never reads outside the span.

#include <cstdint>
#include <vector>

#include "common/Buffer.h"

namespace qvx::Filters::JBIG2 {

// One row of the probability estimation table: Qe, the next index after an MPS and after
// an LPS, and whether an LPS switches the MPS.
struct QeEntry {
    std::uint16_t qe;
    std::uint8_t nmps, nlps, swtch;
};
extern const QeEntry kQeTable[47];

// The adaptive state of a set of contexts: a probability index and the more probable
// symbol per context, all starting at index 0 with MPS 0.
class Contexts {
public:
    explicit Contexts(std::size_t count = 0) : m_state(count, 0) {}
    std::uint8_t& operator[](std::size_t cx) { return m_state[cx]; }
    std::size_t Size() const { return m_state.size(); }
    void Reset() { std::fill(m_state.begin(), m_state.end(), 0); }

private:
    std::vector<std::uint8_t> m_state;  // index << 1 | mps
};

class ArithDecoder {
public:
    // The span must outlive the decoder.
    explicit ArithDecoder(Common::ByteView data);

    int Decode(Contexts& cx, std::size_t index);
    // Bytes the decoder read past the end of its data (supplied as 0xFF); a stream that
    // keeps going long after its data ended is damaged (real coders overrun by a byte or two).
    std::uint64_t Overrun() const { return m_overrun; }
    bool Exhausted() const { return m_overrun > 256; }

private:
    void ByteIn();
    Common::Byte At(std::size_t i) const { return i < m_data.size() ? m_data[i] : 0xFF; }

    Common::ByteView m_data;
    std::size_t m_bp = 0;
    std::uint32_t m_c = 0;
    std::uint32_t m_a = 0;
    int m_ct = 0;
    std::uint64_t m_overrun = 0;
};

// The integer decoders IAxx: a value, or out-of-band (used to end a list).
class IntDecoder {
public:
    IntDecoder() : m_cx(512) {}
    // False for the out-of-band value.
    bool Decode(ArithDecoder& dec, std::int32_t& value);

private:
    Contexts m_cx;
};

// The symbol ID decoder IAID: code_len bits, most significant first.
class IdDecoder {
public:
    // Throws when code_len is beyond what a symbol count can need.
    explicit IdDecoder(unsigned code_len);
    std::uint32_t Decode(ArithDecoder& dec);

private:
    unsigned m_len;
    Contexts m_cx;
};

}  // namespace qvx::Filters::JBIG2
