#pragma once
// The password algorithms of the standard security handler: revisions 2 to 4 of
// ISO 32000-1 (7.6.3.3 and 7.6.3.4) and revisions 5 and 6 of ISO 32000-2 (7.6.4.3 and
// 7.6.4.4). Passwords are bytes: PDFDocEncoding up to revision 4, UTF-8 from revision 5.
// Values shorter than the standard sizes never make these functions read past them; they
// simply fail to authorise.

#include <cstdint>
#include <optional>

#include "common/Buffer.h"

namespace qvx::SDF::StdPassword {

// What the algorithms read from an Encrypt dictionary and the trailer.
struct Params {
    int revision = 2;              // 2 to 6
    std::size_t key_length = 5;    // file key bytes: 5 to 16 up to revision 4, 32 after
    Common::Bytes o, u, oe, ue, perms;
    std::uint32_t p = 0;           // the permission bits as an unsigned 32-bit value
    Common::Bytes id0;             // the first string of the trailer's ID
    bool encrypt_metadata = true;
};

// Revisions 2 to 4.
// The password truncated or completed to 32 bytes with the standard padding.
Common::Bytes PadPassword(Common::ByteView password);
// Algorithm 2: the file key for a user password (given as typed, or already padded).
Common::Bytes FileKeyR4(const Params& params, Common::ByteView password);
// Algorithm 3: the O value for an owner password (the user password when it is empty).
Common::Bytes OwnerValueR4(const Params& params, Common::ByteView owner, Common::ByteView user);
// Algorithms 4 and 5: the U value for a file key (32 bytes; revision 3 and 4 pad the
// 16 bytes that count with zeros).
Common::Bytes UserValueR4(const Params& params, Common::ByteView file_key);
// Algorithms 6 and 7: the file key when password is the user or the owner password.
std::optional<Common::Bytes> AuthenticateUserR4(const Params& params, Common::ByteView password);
std::optional<Common::Bytes> AuthenticateOwnerR4(const Params& params, Common::ByteView password);

// Revisions 5 and 6.
// Algorithm 2.B (revision 6) or plain SHA-256 (revision 5) of password, salt and udata.
Common::Bytes HashR6(int revision, Common::ByteView password, Common::ByteView salt, Common::ByteView udata);
// Algorithms 11 and 12 with 2.A: the file key when password is the user or owner password.
std::optional<Common::Bytes> AuthenticateUserR6(const Params& params, Common::ByteView password);
std::optional<Common::Bytes> AuthenticateOwnerR6(const Params& params, Common::ByteView password);
// Algorithms 8, 9 and 10: fills o, u, oe, ue and perms of params (revision, p and
// encrypt_metadata set) for file_key, with fresh random salts.
void ComputeR6(Params& params, Common::ByteView file_key, Common::ByteView user, Common::ByteView owner);
// Algorithm 13: whether Perms decrypts to the P and EncryptMetadata of params.
bool PermsMatch(const Params& params, Common::ByteView file_key);
// Passwords of revision 5 and 6 count up to 127 bytes.
Common::ByteView TruncateR6(Common::ByteView password);

}  // namespace qvx::SDF::StdPassword
