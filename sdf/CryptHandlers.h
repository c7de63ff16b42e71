#pragma once
// The crypt filter methods a security handler applies to one object's strings and stream
// data: V2 (RC4), AESV2 (AES-128), AESV3 (AES-256) and None (Identity). Each is made
// with the file key; RC4 and AES-128 derive a key per object from it (ISO 32000-1 7.6.2,
// algorithm 1), AES-256 uses it as it is.

#include <cstdint>
#include <memory>
#include <string_view>

#include "common/Buffer.h"
#include "filters/Filter.h"

namespace qvx::SDF {

class CryptHandler {
public:
    virtual ~CryptHandler() = default;

    // The crypt filter method name (V2, AESV2, AESV3, None).
    virtual std::string_view GetName() const = 0;

    virtual void DecryptString(Common::Bytes& bytes, std::uint32_t num, std::uint16_t gen) const = 0;
    virtual void EncryptString(Common::Bytes& bytes, std::uint32_t num, std::uint16_t gen) const = 0;
    // Wrap raw (or plain) data read through the returned filter.
    virtual std::unique_ptr<Filters::Filter> DecryptStream(std::unique_ptr<Filters::Filter> raw, std::uint32_t num,
                                                           std::uint16_t gen) const = 0;
    virtual std::unique_ptr<Filters::Filter> EncryptStream(std::unique_ptr<Filters::Filter> plain, std::uint32_t num,
                                                           std::uint16_t gen) const = 0;
    // Bytes EncryptStream produces for n bytes.
    virtual std::uint64_t EncryptedLength(std::uint64_t n) const = 0;
};

class NoneCryptHandler final : public CryptHandler {
public:
    std::string_view GetName() const override { return "None"; }
    void DecryptString(Common::Bytes&, std::uint32_t, std::uint16_t) const override {}
    void EncryptString(Common::Bytes&, std::uint32_t, std::uint16_t) const override {}
    std::unique_ptr<Filters::Filter> DecryptStream(std::unique_ptr<Filters::Filter> raw, std::uint32_t,
                                                   std::uint16_t) const override
    {
        return raw;
    }
    std::unique_ptr<Filters::Filter> EncryptStream(std::unique_ptr<Filters::Filter> plain, std::uint32_t,
                                                   std::uint16_t) const override
    {
        return plain;
    }
    std::uint64_t EncryptedLength(std::uint64_t n) const override { return n; }
};

// Algorithm 1: MD5 of the file key, the low three bytes of num and two of gen (and "sAlT"
// for AES), cut to the file key length plus 5, at most 16 bytes (always 16 for AES).
Common::Bytes ObjectKey(Common::ByteView file_key, std::uint32_t num, std::uint16_t gen, bool aes);

class V2CryptHandler final : public CryptHandler {
public:
    explicit V2CryptHandler(Common::ByteView file_key) : m_key(file_key.begin(), file_key.end()) {}
    std::string_view GetName() const override { return "V2"; }
    void DecryptString(Common::Bytes& bytes, std::uint32_t num, std::uint16_t gen) const override;
    void EncryptString(Common::Bytes& bytes, std::uint32_t num, std::uint16_t gen) const override;
    std::unique_ptr<Filters::Filter> DecryptStream(std::unique_ptr<Filters::Filter> raw, std::uint32_t num,
                                                   std::uint16_t gen) const override;
    std::unique_ptr<Filters::Filter> EncryptStream(std::unique_ptr<Filters::Filter> plain, std::uint32_t num,
                                                   std::uint16_t gen) const override;
    std::uint64_t EncryptedLength(std::uint64_t n) const override { return n; }

private:
    Common::Bytes m_key;
};

// AES-CBC with a random iv in front of each string and stream. The object key comes from
// ObjectKeyFor, which the AES-256 method and the engine's custom handler replace.
class AESV2CryptHandler : public CryptHandler {
public:
    explicit AESV2CryptHandler(Common::ByteView file_key) : m_key(file_key.begin(), file_key.end()) {}
    std::string_view GetName() const override { return "AESV2"; }
    void DecryptString(Common::Bytes& bytes, std::uint32_t num, std::uint16_t gen) const override;
    void EncryptString(Common::Bytes& bytes, std::uint32_t num, std::uint16_t gen) const override;
    std::unique_ptr<Filters::Filter> DecryptStream(std::unique_ptr<Filters::Filter> raw, std::uint32_t num,
                                                   std::uint16_t gen) const override;
    std::unique_ptr<Filters::Filter> EncryptStream(std::unique_ptr<Filters::Filter> plain, std::uint32_t num,
                                                   std::uint16_t gen) const override;
    std::uint64_t EncryptedLength(std::uint64_t n) const override;

protected:
    virtual Common::Bytes ObjectKeyFor(std::uint32_t num, std::uint16_t gen) const;
    const Common::Bytes& FileKey() const { return m_key; }

private:
    Common::Bytes m_key;
};

class AESV3CryptHandler final : public AESV2CryptHandler {
public:
    // file_key: 32 bytes.
    using AESV2CryptHandler::AESV2CryptHandler;
    std::string_view GetName() const override { return "AESV3"; }

protected:
    // The file key itself; a key of no AES size (a damaged file) is keyed as AESV2 is.
    Common::Bytes ObjectKeyFor(std::uint32_t num, std::uint16_t gen) const override;
};

// The handler for a crypt filter method name, or null for a name none has. None and
// Identity need no key.
std::unique_ptr<CryptHandler> CreateCryptHandler(std::string_view method, Common::ByteView file_key);

}  // namespace qvx::SDF
