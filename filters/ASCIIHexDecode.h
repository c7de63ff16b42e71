#pragma once
// Hexadecimal text to bytes. White space is skipped; > or any byte that is not a hex digit
// ends the data; a last lone digit counts as if followed by 0.

#include "filters/Filter.h"

namespace qvx::Filters {

class ASCIIHexDecode : public BufFilter {
public:
    explicit ASCIIHexDecode(std::unique_ptr<Filter> in);

    const char* GetName() const override { return "ASCIIHexDecode"; }

protected:
    std::size_t Fill(Byte* buf, std::size_t capacity) override;

private:
    int m_high = -1;  // the first digit of a pair, while waiting for the second
    bool m_done = false;
};

}  // namespace qvx::Filters
