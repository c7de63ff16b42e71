// Revisions 2 to 4 of the standard security handler: MD5 and RC4 over the padded password.
#include <algorithm>
#include <cstring>

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

constexpr Byte kPadding[32] = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E,
                               0x56, 0xFF, 0xFA, 0x01, 0x08, 0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68,
                               0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

// Key bytes: always 5 for revision 2; the file key length, at most an MD5 digest, after.
std::size_t KeyBytes(const Params& params)
{
    if (params.revision <= 2) return 5;
    return std::clamp<std::size_t>(params.key_length, 1, 16);
}

// The first n bytes of v (fewer when v is shorter).
ByteView Head(ByteView v, std::size_t n) { return v.first(std::min(n, v.size())); }

// RC4 with key XOR i for i in the given order, as algorithms 3, 5 and 7 apply it.
Bytes RC4Rounds(ByteView key, Bytes data, int from, int to)
{
    Bytes k(key.begin(), key.end());
    int step = from <= to ? 1 : -1;
    for (int i = from;; i += step) {
        for (std::size_t j = 0; j < k.size(); ++j) k[j] = static_cast<Byte>(key[j] ^ i);
        data = Cipher::RC4(k, data);
        if (i == to) break;
    }
    return data;
}

// Algorithm 3 steps a to d: the RC4 key made from the owner password.
Bytes OwnerKey(const Params& params, ByteView owner)
{
    Bytes h = Digest::Compute(Digest::e_md5, PadPassword(owner));
    if (params.revision >= 3)
        for (int i = 0; i < 50; ++i) h = Digest::Compute(Digest::e_md5, h);
    h.resize(KeyBytes(params));
    return h;
}

}  // namespace

Bytes PadPassword(ByteView password)
{
    Bytes out(Head(password, 32).begin(), Head(password, 32).end());
    out.insert(out.end(), kPadding, kPadding + (32 - out.size()));
    return out;
}

Bytes FileKeyR4(const Params& params, ByteView password)
{
    Digest md5(Digest::e_md5);
    md5.Update(PadPassword(password));
    md5.Update(Head(params.o, 32));
    const Byte p[4] = {static_cast<Byte>(params.p), static_cast<Byte>(params.p >> 8),
                       static_cast<Byte>(params.p >> 16), static_cast<Byte>(params.p >> 24)};
    md5.Update(ByteView(p, 4));
    md5.Update(params.id0);
    if (params.revision >= 4 && !params.encrypt_metadata) {
        const Byte ff[4] = {0xFF, 0xFF, 0xFF, 0xFF};
        md5.Update(ByteView(ff, 4));
    }
    Bytes h = md5.Final();
    std::size_t n = KeyBytes(params);
    if (params.revision >= 3)
        for (int i = 0; i < 50; ++i) h = Digest::Compute(Digest::e_md5, Head(h, n));
    h.resize(n);
    return h;
}

Bytes OwnerValueR4(const Params& params, ByteView owner, ByteView user)
{
    Bytes key = OwnerKey(params, owner.empty() ? user : owner);
    Bytes o = Cipher::RC4(key, PadPassword(user));
    if (params.revision >= 3) o = RC4Rounds(key, std::move(o), 1, 19);
    return o;
}

Bytes UserValueR4(const Params& params, ByteView file_key)
{
    if (params.revision <= 2) return Cipher::RC4(file_key, ByteView(kPadding, 32));
    Digest md5(Digest::e_md5);
    md5.Update(ByteView(kPadding, 32));
    md5.Update(params.id0);
    Bytes u = RC4Rounds(file_key, Cipher::RC4(file_key, md5.Final()), 1, 19);
    u.resize(32, 0);
    return u;
}

std::optional<Bytes> AuthenticateUserR4(const Params& params, ByteView password)
{
    Bytes key = FileKeyR4(params, password);
    Bytes u = UserValueR4(params, key);
    std::size_t n = params.revision <= 2 ? 32 : 16;
    if (params.u.size() < n || !std::equal(u.begin(), u.begin() + static_cast<std::ptrdiff_t>(n), params.u.begin()))
        return std::nullopt;
    return key;
}

std::optional<Bytes> AuthenticateOwnerR4(const Params& params, ByteView password)
{
    if (params.o.size() < 32) return std::nullopt;
    Bytes key = OwnerKey(params, password);
    Bytes user(params.o.begin(), params.o.begin() + 32);
    user = params.revision <= 2 ? Cipher::RC4(key, user) : RC4Rounds(key, std::move(user), 19, 0);
    return AuthenticateUserR4(params, user);
}

}  // namespace qvx::SDF::StdPassword
