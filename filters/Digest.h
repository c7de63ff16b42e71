#pragma once
// Message digests (MD5 and the SHA-2 family) over OpenSSL's EVP interface, for the
// security handlers and for new file identifiers.

#include <memory>

#include "common/Buffer.h"

namespace qvx::Filters {

class Digest {
public:
    enum Kind { e_md5, e_sha256, e_sha384, e_sha512 };

    explicit Digest(Kind kind);
    ~Digest();
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;

    void Update(Common::ByteView data);
    void Update(std::string_view data) { Update(Common::AsBytes(data)); }
    // The digest of everything passed since construction or the last Final; the object
    // starts over afterwards.
    Common::Bytes Final();

    static Common::Bytes Compute(Kind kind, Common::ByteView data);
    // 16, 32, 48 or 64.
    static std::size_t Length(Kind kind);

private:
    struct Impl;
    std::unique_ptr<Impl> mp_impl;
};

}  // namespace qvx::Filters
