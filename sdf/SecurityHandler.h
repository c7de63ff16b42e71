#pragma once
// What the object layer needs from a security handler once a document is authorised:
// strings are decrypted as their object is parsed, stream data is decrypted as the first
// stage of its decode chain. The handler decides which objects are exempt (Identity crypt
// filters, metadata with EncryptMetadata false); the document itself never decrypts the
// Encrypt dictionary or cross-reference streams.
//
// The output side serves the writer when a document is saved encrypted: strings and
// stream data are encrypted for the object that holds them, and the Encrypt dictionary
// to write comes from the handler.

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
    // What a handler grants (the standard handler: the bits of P, everything to the owner).
    enum Permission {
        e_owner = 1,
        e_doc_open,
        e_doc_modify,
        e_print,
        e_print_high,
        e_extract_content,
        e_mod_annot,
        e_fill_forms,
        e_access_support,
        e_assemble_doc,
    };

    virtual ~SecurityHandler() = default;

    virtual bool GetPermission(Permission p) const = 0;

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

    // Encrypts a string of object num, generation gen, in place.
    virtual void EncryptString(Common::Bytes& bytes, std::uint32_t num, std::uint16_t gen) = 0;
    // Wraps a stream's plain data (its decrypted raw data, still encoded by its filters) in
    // a filter that reads the bytes to write; `stream` decides exemptions as on input.
    virtual std::unique_ptr<Filters::Filter> EncryptStream(std::unique_ptr<Filters::Filter> plain,
                                                           const Obj& stream, std::uint32_t num,
                                                           std::uint16_t gen) = 0;
    // The Length to write for `length` plain bytes of stream.
    virtual std::uint64_t EncryptedStreamLength(std::uint64_t length, const Obj& stream) const = 0;
    // The Encrypt dictionary to write (a detached direct dictionary; its strings are
    // written as they are, never encrypted).
    virtual std::unique_ptr<Obj> CreateEncryptDict() const = 0;
};

}  // namespace qvx::SDF
