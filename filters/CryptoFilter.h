#pragma once
// RC4 over the bytes read from the attached filter. RC4 is its own inverse, so the same
// filter decrypts a stream's raw data and encrypts data for output.

#include "filters/Cipher.h"
#include "filters/Filter.h"

namespace qvx::Filters {

class CryptoFilter : public BufFilter {
public:
    // key: 1 to 256 bytes (the object key of the security handler).
    CryptoFilter(std::unique_ptr<Filter> in, Common::ByteView key, std::size_t buf_size = 1 << 16);

    const char* GetName() const override { return "Crypt"; }

    // The whole of data through RC4.
    static Common::Bytes Apply(Common::ByteView key, Common::ByteView data);

protected:
    std::size_t Fill(Byte* buf, std::size_t capacity) override;

private:
    Cipher m_rc4;
};

}  // namespace qvx::Filters
