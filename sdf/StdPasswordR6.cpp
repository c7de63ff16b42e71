// Revisions 5 and 6 of the standard security handler: SHA-2 hashes of the password with
// salts kept in U and O, and the file key wrapped with AES-256 in UE and OE.
#include <algorithm>

#include "filters/Cipher.h"
#include "filters/Digest.h"
#include "sdf/StdPassword.h"

namespace qvx::SDF::StdPassword {

using Common::Byte;
using Common::Bytes;
using Common::ByteView;
using Filters::Cipher;
using Filters::Digest;

namespace {

constexpr std::size_t kHash = 32;
constexpr std::size_t kSalt = 8;
constexpr Byte kZeroIV[16] = {};

// U or O: hash (32 bytes), validation salt (8), key salt (8).
ByteView ValidationSalt(ByteView v) { return v.subspan(kHash, kSalt); }
ByteView KeySalt(ByteView v) { return v.subspan(kHash + kSalt, kSalt); }

// Algorithm 2.A, the last steps: the file key unwrapped from UE or OE.
Bytes Unwrap(int revision, ByteView password, ByteView salt, ByteView udata, ByteView wrapped)
{
    Bytes kek = HashR6(revision, password, salt, udata);
    return Cipher::AES(Cipher::e_aes_cbc, kek, ByteView(kZeroIV, 16), false, wrapped.first(32));
}

std::optional<Bytes> Authenticate(const Params& params, ByteView password, bool owner)
{
    const Bytes& v = owner ? params.o : params.u;
    const Bytes& wrapped = owner ? params.oe : params.ue;
    if (v.size() < kHash + 2 * kSalt || wrapped.size() < 32 || (owner && params.u.size() < 48)) return std::nullopt;
    ByteView pw = TruncateR6(password);
    ByteView udata = owner ? ByteView(params.u).first(48) : ByteView();
    Bytes h = HashR6(params.revision, pw, ValidationSalt(v), udata);
    if (!std::equal(h.begin(), h.end(), v.begin())) return std::nullopt;
    return Unwrap(params.revision, pw, KeySalt(v), udata, wrapped);
}

// Makes U and UE (owner false) or O and OE (owner true, after U) for file_key.
void Compute(Params& params, ByteView file_key, ByteView password, bool owner)
{
    ByteView pw = TruncateR6(password);
    Bytes salts = Filters::RandomBytes(2 * kSalt);
    ByteView udata = owner ? ByteView(params.u) : ByteView();
    Bytes v = HashR6(params.revision, pw, ByteView(salts).first(kSalt), udata);
    v.insert(v.end(), salts.begin(), salts.end());
    Bytes kek = HashR6(params.revision, pw, ByteView(salts).last(kSalt), udata);
    Bytes wrapped = Cipher::AES(Cipher::e_aes_cbc, kek, ByteView(kZeroIV, 16), true, file_key.first(32));
    (owner ? params.o : params.u) = std::move(v);
    (owner ? params.oe : params.ue) = std::move(wrapped);
}

}  // namespace

ByteView TruncateR6(ByteView password) { return password.first(std::min<std::size_t>(password.size(), 127)); }

Bytes HashR6(int revision, ByteView password, ByteView salt, ByteView udata)
{
    Digest sha256(Digest::e_sha256);
    sha256.Update(password);
    sha256.Update(salt);
    sha256.Update(udata);
    Bytes k = sha256.Final();
    if (revision < 6) return k;

    Bytes k1;
    Bytes e;
    for (int round = 0; round < 64 || e.back() > round - 32; ++round) {
        // K1: 64 copies of password, K and udata; E: K1 under AES-128-CBC keyed by K.
        k1.clear();
        for (int i = 0; i < 64; ++i) {
            k1.insert(k1.end(), password.begin(), password.end());
            k1.insert(k1.end(), k.begin(), k.end());
            k1.insert(k1.end(), udata.begin(), udata.end());
        }
        e = Cipher::AES(Cipher::e_aes_cbc, ByteView(k).first(16), ByteView(k).subspan(16, 16), true, k1);
        // The first 16 bytes of E as a number modulo 3 (256 is 1 modulo 3, so add the bytes).
        unsigned sum = 0;
        for (std::size_t i = 0; i < 16; ++i) sum += e[i];
        static constexpr Digest::Kind kNext[3] = {Digest::e_sha256, Digest::e_sha384, Digest::e_sha512};
        k = Digest::Compute(kNext[sum % 3], e);
    }
    k.resize(kHash);
    return k;
}

std::optional<Bytes> AuthenticateUserR6(const Params& params, ByteView password)
{
    return Authenticate(params, password, false);
}

std::optional<Bytes> AuthenticateOwnerR6(const Params& params, ByteView password)
{
    return Authenticate(params, password, true);
}

void ComputeR6(Params& params, ByteView file_key, ByteView user, ByteView owner)
{
    Compute(params, file_key, user, false);
    Compute(params, file_key, owner, true);
    Bytes perms(16);
    for (int i = 0; i < 4; ++i) perms[i] = static_cast<Byte>(params.p >> (8 * i));
    std::fill(perms.begin() + 4, perms.begin() + 8, 0xFF);
    perms[8] = params.encrypt_metadata ? 'T' : 'F';
    perms[9] = 'a';
    perms[10] = 'd';
    perms[11] = 'b';
    Bytes rnd = Filters::RandomBytes(4);
    std::copy(rnd.begin(), rnd.end(), perms.begin() + 12);
    params.perms = Cipher::AES(Cipher::e_aes_ecb, file_key.first(32), {}, true, perms);
}

bool PermsMatch(const Params& params, ByteView file_key)
{
    if (params.perms.size() < 16 || file_key.size() != 32) return false;
    Bytes d = Cipher::AES(Cipher::e_aes_ecb, file_key, {}, false, ByteView(params.perms).first(16));
    std::uint32_t p = d[0] | (d[1] << 8) | (d[2] << 16) | (static_cast<std::uint32_t>(d[3]) << 24);
    return d[9] == 'a' && d[10] == 'd' && d[11] == 'b' && p == params.p &&
           (d[8] == 'T') == params.encrypt_metadata;
}

}  // namespace qvx::SDF::StdPassword
