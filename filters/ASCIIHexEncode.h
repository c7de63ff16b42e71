#pragma once
// Bytes to hexadecimal text, 64 digits a line, ended by > on Finish.

#include "filters/Filter.h"

namespace qvx::Filters {

class ASCIIHexEncode : public BufFilter {
public:
    explicit ASCIIHexEncode(std::unique_ptr<Filter> out);

    const char* GetName() const override { return "ASCIIHexEncode"; }
    const char* GetDecodeName() const override { return "ASCIIHexDecode"; }

protected:
    void Drain(const Byte* data, std::size_t size, bool final) override;

private:
    std::size_t m_column = 0;
    Common::Bytes m_out;
};

}  // namespace qvx::Filters
