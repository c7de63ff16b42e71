// Digests, ciphers and the crypt filters: known answers from RFC 1321, FIPS 180, RFC 6229
// and SP 800-38A, round trips read in uneven pieces, and damaged AES data.
#include <gtest/gtest.h>

#include "common/Exception.h"
#include "filters/AESDecryptFilter.h"
#include "filters/AESEncryptFilter.h"
#include "filters/Cipher.h"
#include "filters/CryptoFilter.h"
#include "filters/Digest.h"
#include "FilterTestUtil.h"

using namespace qvx;
using Common::Bytes;
using Filters::Cipher;
using Filters::Digest;

namespace {

Bytes Hex(std::string_view h)
{
    Bytes out;
    for (std::size_t i = 0; i + 1 < h.size(); i += 2) out.push_back(static_cast<Common::Byte>(std::stoi(std::string(h.substr(i, 2)), nullptr, 16)));
    return out;
}

std::string ToHex(const Bytes& b)
{
    static const char* d = "0123456789abcdef";
    std::string s;
    for (auto c : b) s += {d[c >> 4], d[c & 15]};
    return s;
}

Bytes Pattern(std::size_t n)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<Common::Byte>(i * 7 + 3);
    return b;
}

const Bytes kKey128 = Hex("2b7e151628aed2a6abf7158809cf4f3c");
const Bytes kKey256 = Hex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
const Bytes kIV = Hex("000102030405060708090a0b0c0d0e0f");
const Bytes kPlain = Hex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51");

}  // namespace

TEST(Crypto, DigestsKnownAnswers)
{
    auto abc = Common::AsBytes("abc");
    EXPECT_EQ(ToHex(Digest::Compute(Digest::e_md5, abc)), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(ToHex(Digest::Compute(Digest::e_sha256, abc)),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(ToHex(Digest::Compute(Digest::e_sha384, abc)),
              "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7");
    EXPECT_EQ(ToHex(Digest::Compute(Digest::e_sha512, abc)),
              "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f");
    // Pieces give the same digest as the whole, and Final starts the digest over.
    Digest d(Digest::e_sha256);
    d.Update("a");
    d.Update("");
    d.Update("bc");
    EXPECT_EQ(d.Final(), Digest::Compute(Digest::e_sha256, abc));
    d.Update("abc");
    EXPECT_EQ(d.Final(), Digest::Compute(Digest::e_sha256, abc));
    EXPECT_EQ(Digest::Length(Digest::e_sha384), 48u);
}

TEST(Crypto, CiphersKnownAnswers)
{
    // RC4 through the legacy provider: RFC 6229 (40-bit key, first keystream bytes) and the
    // classic "Key"/"Plaintext" pair.
    EXPECT_EQ(ToHex(Cipher::RC4(Hex("0102030405"), Bytes(16, 0))), "b2396305f03dc027ccc3524a0a1118a8");
    EXPECT_EQ(ToHex(Cipher::RC4(Common::AsBytes("Key"), Common::AsBytes("Plaintext"))), "bbf316e8d940af0ad3");
    // SP 800-38A, CBC and ECB.
    EXPECT_EQ(ToHex(Cipher::AES(Cipher::e_aes_cbc, kKey128, kIV, true, kPlain)),
              "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2");
    EXPECT_EQ(ToHex(Cipher::AES(Cipher::e_aes_cbc, kKey256, kIV, true, kPlain)),
              "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d");
    EXPECT_EQ(ToHex(Cipher::AES(Cipher::e_aes_ecb, kKey256, {}, true, Common::ByteView(kPlain).first(16))),
              "f3eed1bdb5d2a03c064b5a7e3db181f8");
    EXPECT_EQ(Cipher::AES(Cipher::e_aes_cbc, kKey256, kIV, false,
                          Cipher::AES(Cipher::e_aes_cbc, kKey256, kIV, true, kPlain)),
              kPlain);
    // Chaining carries over between calls.
    Cipher c(Cipher::e_aes_cbc, kKey128, kIV, true);
    Bytes out(32);
    c.Update(kPlain.data(), 16, out.data());
    c.Update(kPlain.data() + 16, 16, out.data() + 16);
    EXPECT_EQ(ToHex(out), "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2");

    auto message = [](const std::function<void()>& f) {
        try {
            f();
        } catch (const Common::Exception& e) {
            return e.GetMessage();
        }
        return std::string("no exception");
    };
    EXPECT_EQ(message([] { Cipher(Cipher::e_aes_cbc, Bytes(10), kIV, true); }), "Invalid cipher key");
    EXPECT_EQ(message([] { Cipher(Cipher::e_aes_cbc, kKey128, Bytes(8), true); }), "Invalid cipher key");
    EXPECT_EQ(message([] { Cipher(Cipher::e_rc4, {}, {}, true); }), "Invalid cipher key");
    EXPECT_EQ(message([] { Cipher::AES(Cipher::e_aes_ecb, kKey128, {}, true, Bytes(15)); }),
              "AES data is not a whole number of blocks");
    EXPECT_EQ(Filters::RandomBytes(24).size(), 24u);
    EXPECT_NE(Filters::RandomBytes(16), Filters::RandomBytes(16));
}

TEST(Crypto, RC4FilterReadsInAnyPieces)
{
    Bytes data = Pattern(200000);
    Bytes whole = Cipher::RC4(Common::AsBytes("object key"), data);
    for (std::size_t step : {1u, 7u, 4096u, 1u << 20}) {
        auto make = [](std::unique_ptr<Filters::Filter> in) -> std::unique_ptr<Filters::Filter> {
            return std::make_unique<Filters::CryptoFilter>(std::move(in), Common::AsBytes("object key"), 1000);
        };
        EXPECT_EQ(qvx::Test::Decode(make, data, step), whole) << step;
    }
    EXPECT_EQ(Filters::CryptoFilter::Apply(Common::AsBytes("object key"), whole), data);
}

TEST(Crypto, AESFiltersRoundTripAndPadding)
{
    // Fixed iv: the data, then a whole block of padding after 16 bytes of data.
    EXPECT_EQ(ToHex(Filters::AESEncryptFilter::Encrypt(kKey128, Common::AsBytes("hello world"), kIV)),
              "000102030405060708090a0b0c0d0e0f66ee4dfaec56a71cd33cd4c5151d7d88");
    EXPECT_EQ(ToHex(Filters::AESEncryptFilter::Encrypt(kKey128, Common::AsBytes("0123456789abcdef"), kIV)),
              "000102030405060708090a0b0c0d0e0f64768548007aef9f3d258e5c34cdc21bde0a1268436e159434fc21de3696d928");
    // Every length around the block size, through small buffers and trickled input.
    for (std::size_t n : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 33u, 1000u, 70000u}) {
        for (const Bytes& key : {kKey128, kKey256}) {
            Bytes plain = Pattern(n);
            auto enc = std::make_unique<Filters::AESEncryptFilter>(Filters::MemoryFilter::View(plain), key,
                                                                   Common::ByteView(), 64);
            Filters::FilterReader er(*enc);
            Bytes cipher = er.ReadAll();
            EXPECT_EQ(cipher.size(), Filters::AESEncryptFilter::EncryptedSize(n));
            for (std::size_t step : {1u, 5u, 100000u}) {
                auto make = [&](std::unique_ptr<Filters::Filter> in) -> std::unique_ptr<Filters::Filter> {
                    return std::make_unique<Filters::AESDecryptFilter>(std::move(in), key, 80);
                };
                EXPECT_EQ(qvx::Test::Decode(make, cipher, step), plain) << n << " " << step;
            }
            EXPECT_EQ(Filters::AESDecryptFilter::Decrypt(key, cipher), plain);
        }
    }
}

TEST(Crypto, AESDecryptToleratesDamage)
{
    Bytes cipher = Filters::AESEncryptFilter::Encrypt(kKey128, Common::AsBytes("0123456789abcdefXYZ"), kIV);
    using Filters::AESDecryptFilter;
    // Too short for an iv, or an iv alone: nothing.
    EXPECT_TRUE(AESDecryptFilter::Decrypt(kKey128, Bytes(cipher.begin(), cipher.begin() + 10)).empty());
    EXPECT_TRUE(AESDecryptFilter::Decrypt(kKey128, Bytes(cipher.begin(), cipher.begin() + 16)).empty());
    // A trailing partial block is completed with zeros and decrypted (to garbage here).
    Bytes cut(cipher.begin(), cipher.end() - 5);
    Bytes completed = cut;
    completed.resize(cipher.size(), 0);
    Bytes got = AESDecryptFilter::Decrypt(kKey128, cut);
    EXPECT_EQ(got, AESDecryptFilter::Decrypt(kKey128, completed));
    ASSERT_EQ(got.size(), 32u);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 16), Common::ToBytes("0123456789abcdef"));
    // Padding that is not well formed stays data.
    Bytes block(16, 'A');
    block[15] = 3;
    Bytes raw = kIV;
    Bytes enc = Cipher::AES(Cipher::e_aes_cbc, kKey128, kIV, true, block);
    raw.insert(raw.end(), enc.begin(), enc.end());
    EXPECT_EQ(AESDecryptFilter::Decrypt(kKey128, raw), block);
    block[15] = 0;
    EXPECT_EQ(AESDecryptFilter::UnpaddedSize(block.data()), 16u);
    block[15] = 17;
    EXPECT_EQ(AESDecryptFilter::UnpaddedSize(block.data()), 16u);
    std::fill(block.begin(), block.end(), 16);
    EXPECT_EQ(AESDecryptFilter::UnpaddedSize(block.data()), 0u);
    // A wrong key reads garbage of about the right size, never an exception.
    Bytes garbage = AESDecryptFilter::Decrypt(kKey256, cipher);
    EXPECT_GE(garbage.size(), 16u);
    EXPECT_LE(garbage.size(), 32u);
}
