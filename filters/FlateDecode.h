#pragma once
// Inflates a zlib stream (or a raw deflate stream) pulled from the attached filter.
// Damage ends the data quietly: what was inflated before the fault is the result.

#include <zlib.h>

#include <cstdint>

#include "filters/Filter.h"

namespace qvx::Filters {

class FlateDecode : public BufFilter {
public:
    // raw: no zlib header or checksum (window bits -15).
    explicit FlateDecode(std::unique_ptr<Filter> in, bool raw = false);
    ~FlateDecode() override;

    const char* GetName() const override { return "FlateDecode"; }
    // Damage met before a single byte came out: the data is not deflate data at all.
    bool DamagedFromStart() const { return m_damaged && m_produced == 0; }

protected:
    std::size_t Fill(Byte* buf, std::size_t capacity) override;

private:
    z_stream m_zs{};
    bool m_done = false;
    bool m_damaged = false;
    std::uint64_t m_produced = 0;
};

}  // namespace qvx::Filters
