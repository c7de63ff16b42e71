#pragma once
// What the object layer needs from a security handler once a document is authorised:
// strings are decrypted as their object is parsed, stream data is decrypted as the first
// stage of its decode chain. The handler decides which objects are exempt (Identity crypt
// filters, metadata with EncryptMetadata false); the document itself never decrypts the
// Encrypt dictionary or cross-reference streams.
//
// The output side is what the writer needs to save a document encrypted: the Encrypt
// dictionary to write, and string and stream encryption per object. The writer never
// encrypts the Encrypt dictionary, cross-reference streams or objects inside object
// streams (the object stream is encrypted as a whole). A handler that can only decrypt
// keeps the defaults, which refuse to save.

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

    // Output. Called once per save before anything is encrypted: the Encrypt dictionary to
    // write (a direct dictionary) for a file whose identifier starts with id0, the first
    // ID string (empty when the file has none); handlers whose keys depend on it derive them
    // here.
    virtual std::unique_ptr<Obj> CreateEncryptDict(Common::ByteView id0);
    // Encrypts the bytes of a string of object num, generation gen, in place.
    virtual void EncryptString(Common::Bytes& bytes, std::uint32_t num, std::uint16_t gen);
    // An output stage that encrypts a stream's data for object num, generation gen and
    // writes the result into sink (or returns sink unchanged for an exempt stream).
    virtual std::unique_ptr<Filters::Filter> EncryptStream(std::unique_ptr<Filters::Filter> sink,
                                                           const Obj& stream, std::uint32_t num,
                                                           std::uint16_t gen);
};

}  // namespace qvx::SDF
