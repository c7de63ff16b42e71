#pragma once
// Bytes to base-85 text, z for groups of four zero bytes, lines of at most 80 characters,
// ended by ~> on Finish.

#include "filters/Filter.h"

namespace qvx::Filters {

class ASCII85Encode : public BufFilter {
public:
    explicit ASCII85Encode(std::unique_ptr<Filter> out);

    const char* GetName() const override { return "ASCII85Encode"; }
    const char* GetDecodeName() const override { return "ASCII85Decode"; }

protected:
    void Drain(const Byte* data, std::size_t size, bool final) override;

private:
    void PutGroup(std::uint32_t value, int digits);
    void PutChar(Byte c);

    std::uint32_t m_group = 0;
    int m_count = 0;  // bytes in m_group
    std::size_t m_column = 0;
    Common::Bytes m_out;
};

}  // namespace qvx::Filters
