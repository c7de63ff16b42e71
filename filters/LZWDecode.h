#pragma once
// LZW decoding as PDF uses it: 9- to 12-bit codes, most significant bit first, clear code
// 256, end code 257. A code past the next free table entry ends the data quietly.

#include <array>

#include "filters/Filter.h"

namespace qvx::Filters {

class LZWDecode : public BufFilter {
public:
    // early_change 1 (the default) widens the codes one entry early; 0 does not.
    explicit LZWDecode(std::unique_ptr<Filter> in, int early_change = 1);

    const char* GetName() const override { return "LZWDecode"; }

protected:
    std::size_t Fill(Byte* buf, std::size_t capacity) override;

private:
    static constexpr int kClear = 256;
    static constexpr int kEnd = 257;
    static constexpr int kTableSize = 4096;

    struct Entry {
        std::uint16_t prefix;  // code of the string without its last byte
        std::uint16_t length;
        Byte last;
        Byte first;
    };

    void ResetTable();
    // The next code, or -1 when the input ends inside it.
    int NextCode();
    // Writes the string of code (one byte more, `extra`, when the code is the entry being
    // defined) to out, or to the pending buffer when it does not fit in room.
    std::size_t Emit(int code, int extra, Byte* out, std::size_t room);

    std::array<Entry, kTableSize> m_table{};
    int m_next = 258;
    int m_width = 9;
    int m_prev = -1;
    int m_early;
    std::uint32_t m_bits = 0;
    int m_bit_count = 0;
    bool m_done = false;
    std::array<Byte, kTableSize + 1> m_pending{};
    std::size_t m_pending_pos = 0;
    std::size_t m_pending_end = 0;
};

}  // namespace qvx::Filters
