#pragma once
// What the object layer needs from a security handler once a document is authorised:
// strings are decrypted as their object is parsed, stream data is decrypted as the first
// stage of its decode chain. The handler decides which objects are exempt (Identity crypt
// filters, metadata with EncryptMetadata false); the document itself never decrypts the
// Encrypt dictionary or cross-reference streams.

#include <cstdint>
#include <memory>
#include <string_view>

#include "common/Buffer.h"

namespace qvx::Filters {
class Filter;
}

namespace qvx::SDF {

class Obj;

class SecurityHandler {
public:
    virtual ~SecurityHandler() = default;
    // Decrypts the bytes of a string found in object num, generation gen, in place.
    virtual void DecryptString(Common::Bytes& bytes, std::uint32_t num, std::uint16_t gen) = 0;
    // Wraps a stream's raw data in a decrypting filter (or returns raw unchanged).
    virtual std::unique_ptr<Filters::Filter> DecryptStream(std::unique_ptr<Filters::Filter> raw,
                                                           const Obj& stream, std::uint32_t num,
                                                           std::uint16_t gen) = 0;
    // The stage for a Crypt filter of a stream's Filter array; name is the crypt filter
    // named by its DecodeParms (Identity when none).
    virtual std::unique_ptr<Filters::Filter> CreateCryptFilter(std::string_view name,
                                                               std::unique_ptr<Filters::Filter> in,
                                                               const Obj& stream) = 0;
};

}  // namespace qvx::SDF
