#pragma once
// Run-length decoding: a length byte n < 128 copies n + 1 bytes, n > 128 repeats the next
// byte 257 - n times, 128 (or the end of the input) ends the data.

#include "filters/Filter.h"

namespace qvx::Filters {

class RunLengthDecode : public BufFilter {
public:
    explicit RunLengthDecode(std::unique_ptr<Filter> in);

    const char* GetName() const override { return "RunLengthDecode"; }

protected:
    std::size_t Fill(Byte* buf, std::size_t capacity) override;

private:
    std::size_t m_literal = 0;  // bytes still to copy from the input
    std::size_t m_repeat = 0;   // copies of m_byte still to write
    int m_byte = -1;            // the repeated byte, -1 until it has been read
    bool m_done = false;
};

}  // namespace qvx::Filters
