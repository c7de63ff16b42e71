// The password algorithms against values from files that qpdf encrypted with user password
// "userpw" and owner password "ownerpw" (its --static-id), and the keys it reports for them.
#include <gtest/gtest.h>

#include "filters/Digest.h"
#include "sdf/StdPassword.h"

using namespace qvx;
using namespace qvx::SDF::StdPassword;
using Common::Bytes;

namespace {

Bytes Hex(std::string_view h)
{
    Bytes out;
    for (std::size_t i = 0; i + 1 < h.size(); i += 2)
        out.push_back(static_cast<Common::Byte>(std::stoi(std::string(h.substr(i, 2)), nullptr, 16)));
    return out;
}

Common::ByteView Pw(std::string_view s) { return Common::AsBytes(s); }

const Bytes kID = Hex("b66c8df59bc5a1d6ad9b95a8563220c7");

Params R4Params(int revision, std::size_t key_length, std::string_view o, std::string_view u, std::int32_t p = -4)
{
    Params params;
    params.revision = revision;
    params.key_length = key_length;
    params.o = Hex(o);
    params.u = Hex(u);
    params.p = static_cast<std::uint32_t>(p);
    params.id0 = kID;
    return params;
}

Params R6Params(int revision, std::string_view o, std::string_view u, std::string_view oe, std::string_view ue,
                std::string_view perms)
{
    Params params = R4Params(revision, 32, o, u);
    params.oe = Hex(oe);
    params.ue = Hex(ue);
    params.perms = Hex(perms);
    return params;
}

}  // namespace

TEST(StdPassword, RevisionTwoToFourKnownAnswers)
{
    struct Case {
        Params params;
        std::string user;
        Bytes key;
    };
    const std::string o3 = "07c02079e0d8d0c3404477e977b56ef1720b2f6be2a464225fb7e72ffc05cc7f";
    const std::string u3 = "d55ef9ed5a6b3b48284f42d500dc52330122456a91bae5134273a6db134c87c4";
    Params r4m = R4Params(4, 16, o3, "48661a34fb60c8c3762e13119d4922dc0122456a91bae5134273a6db134c87c4");
    r4m.encrypt_metadata = false;
    const Case cases[] = {
        // 40-bit RC4, revision 2.
        {R4Params(2, 5, "fd7d1bc157fcf76e079d3daf15981cc03686819d8ffd9ea5836d4fec05b4f0aa",
                  "67834adf5d413a28e2cf478475b929bb7a8b05141dd4c980b8f24cf5db823f22"),
         "userpw", Hex("099cd7b0cf")},
        // Revision 2 with an empty user password and printing and changes denied.
        {R4Params(2, 5, "a0b130ed69fe55902dc33d8c602379c856fe7ed15e9d8e0bacd7367a5f67b6dc",
                  "4a5a10102eaa68ee03e9e3abc27392799684797ee52e05f397cd1d059ce15010", -16),
         "", Hex("c7c0d1480c")},
        // 128-bit RC4 (revision 3) and AES-128 (revision 4) share the key derivation.
        {R4Params(3, 16, o3, u3), "userpw", Hex("87703ede58bc581b2eeddf9bb0c374cc")},
        {R4Params(4, 16, o3, u3), "userpw", Hex("87703ede58bc581b2eeddf9bb0c374cc")},
        // Revision 4 with EncryptMetadata false adds four 0xFF bytes to the key hash.
        {r4m, "userpw", Hex("29d928fa930132d62bcfa186266507b9")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.params.revision);
        EXPECT_EQ(AuthenticateUserR4(c.params, Pw(c.user)), c.key);
        EXPECT_EQ(AuthenticateOwnerR4(c.params, Pw("ownerpw")), c.key);
        EXPECT_EQ(AuthenticateUserR4(c.params, Pw("wrong")), std::nullopt);
        EXPECT_EQ(AuthenticateOwnerR4(c.params, Pw(c.user.empty() ? "wrong" : c.user)), std::nullopt);
        EXPECT_EQ(FileKeyR4(c.params, Pw(c.user)), c.key);
        EXPECT_EQ(OwnerValueR4(c.params, Pw("ownerpw"), Pw(c.user)), c.params.o);
        Bytes u = UserValueR4(c.params, c.key);
        std::size_t counted = c.params.revision == 2 ? 32 : 16;
        EXPECT_TRUE(std::equal(u.begin(), u.begin() + static_cast<std::ptrdiff_t>(counted), c.params.u.begin()));
    }
    // The padded form of a password is the password itself to the algorithms.
    EXPECT_EQ(AuthenticateUserR4(cases[0].params, PadPassword(Pw("userpw"))), cases[0].key);
    EXPECT_EQ(PadPassword(Pw(std::string(40, 'x'))), Bytes(32, 'x'));
    EXPECT_EQ(PadPassword({}).front(), 0x28);
    // Short O and U never authorise and never read past their end.
    Params broken = cases[2].params;
    broken.o.resize(20);
    broken.u.resize(10);
    EXPECT_EQ(AuthenticateOwnerR4(broken, Pw("ownerpw")), std::nullopt);
    EXPECT_EQ(AuthenticateUserR4(broken, Pw("userpw")), std::nullopt);
}

TEST(StdPassword, RevisionFiveAndSixKnownAnswers)
{
    Params r6 = R6Params(
        6,
        "ebfe25571c9d70839aedf882728aeb06b4aca10a436fdd53b37125cb57e4bb0c11acb999dc8067919a03c37b5594383d",
        "12501dbb7073dad1b6d9b0f133a743003e67733ec2ddfa1463f43a2e4bac5ba777f3a184b713461a5b1630c47f583c22",
        "990c290999c8fa8669f00776539ee89f9ce2564c944a0e5910c32b18748c8511",
        "26122b1adb87dcaf62fcb56696692f934d81f6151ea400712cd04a82ecaa9d16", "6afa4371e30ac9a1b23a2b39d12977d8");
    Params r5 = R6Params(
        5,
        "7fdade5b5386d7a0ccb0b11012ca510e0b16634e99eed71868a597d3b67ff8ae638ba1d3149ffce96fab4190d568ebc9",
        "7684c6abe74aeb065c1adc94cd3577b026425bf752427088ad1ea05be7d0ed9714301ad2573ff161f8b956edab657236",
        "8dc660c3819bb58d089addb0f559b6b7cac045cf46f77bff62bd5f641f4692df",
        "bbe8b6dac7be9f507ffd1552b5bcafc88fd116245d0c6fdedec6b73a97a49627", "c3966cbe8c611f36349bd9ad1e845b77");
    const std::pair<Params*, Bytes> cases[] = {
        {&r6, Hex("6079cee13e450e2696c06cb9b95e9beeb57cfd4d651ca91b3ad85cd3f4350411")},
        {&r5, Hex("f6320316e899861cf2c3e14e29752425a44f63ba7a56a14c7f6878efe1523994")},
    };
    for (const auto& [params, key] : cases) {
        SCOPED_TRACE(params->revision);
        EXPECT_EQ(AuthenticateUserR6(*params, Pw("userpw")), key);
        EXPECT_EQ(AuthenticateOwnerR6(*params, Pw("ownerpw")), key);
        EXPECT_EQ(AuthenticateUserR6(*params, Pw("ownerpw")), std::nullopt);
        EXPECT_EQ(AuthenticateOwnerR6(*params, Pw("userpw")), std::nullopt);
        EXPECT_TRUE(PermsMatch(*params, key));
        Params other = *params;
        other.encrypt_metadata = false;
        EXPECT_FALSE(PermsMatch(other, key));
        other.encrypt_metadata = true;
        other.p = 0;
        EXPECT_FALSE(PermsMatch(other, key));
    }
    // Revision 5 hashes with one SHA-256.
    EXPECT_EQ(HashR6(5, Pw("pw"), Pw("saltsalt"), {}), Filters::Digest::Compute(Filters::Digest::e_sha256, Pw("pwsaltsalt")));
    // Short values fail quietly.
    Params shortened = r6;
    shortened.u.resize(40);
    EXPECT_EQ(AuthenticateUserR6(shortened, Pw("userpw")), std::nullopt);
    EXPECT_EQ(AuthenticateOwnerR6(shortened, Pw("ownerpw")), std::nullopt);
}

TEST(StdPassword, RevisionSixValuesMadeForOutput)
{
    Params params;
    params.revision = 6;
    params.key_length = 32;
    params.p = static_cast<std::uint32_t>(-3904);
    params.encrypt_metadata = false;
    Bytes key(32, 0x5A);
    // A password of 200 bytes counts by its first 127.
    std::string long_pw(200, 'p');
    ComputeR6(params, key, Pw("\xC3\xA9t\xC3\xA9"), Pw(long_pw));
    EXPECT_EQ(params.u.size(), 48u);
    EXPECT_EQ(params.o.size(), 48u);
    EXPECT_EQ(params.ue.size(), 32u);
    EXPECT_EQ(params.oe.size(), 32u);
    EXPECT_EQ(AuthenticateUserR6(params, Pw("\xC3\xA9t\xC3\xA9")), key);
    EXPECT_EQ(AuthenticateOwnerR6(params, Pw(long_pw.substr(0, 127) + "ignored")), key);
    EXPECT_EQ(AuthenticateOwnerR6(params, Pw(long_pw.substr(0, 126))), std::nullopt);
    EXPECT_TRUE(PermsMatch(params, key));
}
