#pragma once
// LZW encoding that LZWDecode reads back: a clear code first and whenever the table
// fills, the end code on Finish.

#include <vector>

#include "filters/Filter.h"

namespace qvx::Filters {

class LZWEncode : public BufFilter {
public:
    explicit LZWEncode(std::unique_ptr<Filter> out, int early_change = 1);

    const char* GetName() const override { return "LZWEncode"; }
    const char* GetDecodeName() const override { return "LZWDecode"; }

protected:
    void Drain(const Byte* data, std::size_t size, bool final) override;

private:
    void Reset();
    void Put(int code);

    int m_early;
    // (code << 8 | byte) -> code of the longer string, 0 when not yet in the table.
    std::vector<std::uint16_t> m_child;
    int m_next = 258;          // the next entry this encoder defines
    int m_decoder_next = 258;  // the next entry the decoder defines (one code behind)
    bool m_first = true;       // no code since the last clear
    int m_width = 9;
    int m_string = -1;         // code of the string matched so far
    std::uint32_t m_bits = 0;
    int m_bit_count = 0;
    Common::Bytes m_out;
};

}  // namespace qvx::Filters
