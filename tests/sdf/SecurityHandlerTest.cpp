// The standard and custom security handlers on documents: the Encrypt dictionary messages,
// authorisation with user, owner and empty passwords for every revision, what is and is not
// decrypted, the output side, removing security and setting it up again.
#include <gtest/gtest.h>

#include "sdf/DocSecurity.h"
#include "sdf/QuandrilCustomSecurityHandler.h"
#include "sdf/SecurityManager.h"
#include "sdf/StdSecurityHandler.h"
#include "SecurityTestUtil.h"

using namespace qvx;
using namespace qvx::SDF;
using qvx::Test::DocOver;
using qvx::Test::ObjText;
using qvx::Test::Text;
using qvx::Test::Thrown;

namespace {

const Common::Bytes kID = Common::ToBytes("0123456789ABCDEF");

// A document whose object 1 is the given Encrypt dictionary text.
std::unique_ptr<SDFDoc> WithEncrypt(const std::string& encrypt)
{
    return qvx::Test::EncryptedDoc("1 0 obj\n" + encrypt + "\nendobj\n", 1, kID);
}

std::string Hex(std::size_t n) { return "<" + std::string(2 * n, 'A') + ">"; }

// Objects 1 (strings), 2 (a stream), 3 (the metadata stream) encrypted by h, and 4, the
// Encrypt dictionary.
std::string SampleObjects(SecurityHandler* h)
{
    auto one = Dict::Create();
    one->PutString("S", "secret string");
    one->PutArray("A")->PushBackString(Common::AsBytes("in an array"));
    auto two = FileStream::Create(Common::ToBytes("stream data, 29 bytes long..."));
    auto meta = Dict::Create();
    meta->PutName("Type", "Metadata");
    meta->PutName("Subtype", "XML");
    auto three = FileStream::Create(Common::ToBytes("<x:xmpmeta/>"), std::move(meta));
    std::unique_ptr<Obj> four = h ? h->CreateEncryptDict() : Dict::Create();
    return ObjText(h, 1, *one) + ObjText(h, 2, *two) + ObjText(h, 3, *three) + ObjText(nullptr, 4, *four);
}

void ExpectSampleReadable(SDFDoc& doc)
{
    EXPECT_EQ(Text(doc.GetObj(1)->FindObj("S")), "(secret string)");
    EXPECT_EQ(Text(doc.GetObj(1)->FindObj("A")), "[(in an array)]");
    EXPECT_EQ(qvx::Test::Decoded(doc.GetObj(2)), "stream data, 29 bytes long...");
    EXPECT_EQ(qvx::Test::Decoded(doc.GetObj(3)), "<x:xmpmeta/>");
}

}  // namespace

TEST(SecurityHandler, EncryptDictionaryMessages)
{
    struct Case {
        std::string encrypt;
        std::string message;
    };
    const Case cases[] = {
        {"[/Standard]", "Encrypt must be a dict."},
        {"<</Filter/Foo/V 1/R 2>>", "Requested security handler was not found."},
        {"<</Filter/Standard/V 1/R 7/O<>/U<>/P -4>>", "Invalid revision number"},
        {"<</Filter/Standard/V 1/O<>/U<>/P -4>>", "Invalid revision number"},
        {"<</Filter/Standard/V 2/R 3/Length 4/O<>/U<>/P -4>>", "Invalid key length"},
        {"<</Filter/Standard/V 5/R 6/O<>/U<>/OE" + Hex(31) + "/UE" + Hex(32) + "/Perms" + Hex(16) + ">>", "Invalid OE size"},
        {"<</Filter/Standard/V 5/R 6/O<>/U<>/OE" + Hex(32) + "/UE" + Hex(48) + "/Perms" + Hex(16) + ">>", "Invalid UE size"},
        {"<</Filter/Standard/V 5/R 5/O<>/U<>/OE" + Hex(32) + "/UE" + Hex(32) + ">>", "Invalid Perms size"},
    };
    for (const Case& c : cases) {
        auto doc = WithEncrypt(c.encrypt);
        EXPECT_EQ(Thrown([&] { doc->InitSecurityHandler(); }).GetMessage(), c.message) << c.encrypt;
    }
    auto foreign = WithEncrypt("<</Filter/Foo/V 1/R 2>>");
    Common::Exception e = Thrown([&] { foreign->InitStdSecurityHandler("pw"); });
    EXPECT_EQ(e.GetMessage(), "Not a standard security handler. The custom filter needs to be registered.");
    EXPECT_EQ(e.GetCondition(), "filter == \"Standard\"");
    // A handler registered for the name is found (the registry is shared by every document).
    SecurityManager::Instance().RegisterHandler("Registered", "", [](const Obj&, Common::ByteView, const void*) {
        return std::unique_ptr<SecurityHandler>(StdSecurityHandler::CreateOutput(1, 40));
    });
    auto registered = WithEncrypt("<</Filter/Registered>>");
    EXPECT_FALSE(registered->InitSecurityHandler());  // an unprepared handler grants nothing
    // Without Encrypt, or with a null one, the document is simply not encrypted.
    auto plain = DocOver("%PDF-1.7\n");
    EXPECT_TRUE(plain->InitSecurityHandler(nullptr, true));
    EXPECT_TRUE(plain->InitStdSecurityHandler("anything", true));
    plain->GetTrailer()->PutNull("Encrypt");
    EXPECT_TRUE(plain->InitStdSecurityHandler("anything", true));
    EXPECT_EQ(plain->GetSecurityHandler(), nullptr);
    DocSecHdlrInfo info = GetDocSecHdlrInfo(*WithEncrypt("<</Filter/Standard/SubFilter/X/V 2/R 3>>")->GetObj(1));
    EXPECT_EQ(info.filter, "Standard");
    EXPECT_EQ(info.sub_filter, "X");
    EXPECT_EQ(info.length, 40);
    EXPECT_EQ(info.r, 3);
}

TEST(SecurityHandler, OutputHandlerRules)
{
    EXPECT_EQ(Thrown([] { StdSecurityHandler::CreateOutput(1, 128); }).GetMessage(),
              "The encryption algorithm V=1 supports only 40 bits keys.");
    for (int bits : {32, 0, 136, 60})
        EXPECT_EQ(Thrown([&] { StdSecurityHandler::CreateOutput(2, bits); }).GetMessage(),
                  "Invalid key length for V=2 encryption.");
    const std::string pdfdoc_message = "Passwords for SecurityHandler v4 or earlier must be compatible with PDFDoc encoding";
    for (int v : {1, 2, 4}) {
        auto h = StdSecurityHandler::CreateOutput(v, 40);
        EXPECT_EQ(Thrown([&] { h->InitPassword("\xE6\x97\xA5", "o"); }).GetMessage(), pdfdoc_message);
        EXPECT_EQ(Thrown([&] { h->InitPassword("u", "\xFF"); }).GetMessage(), pdfdoc_message);
        h->InitPassword("\xE2\x82\xAC\xC3\xA9", "");  // the euro sign and e-acute have bytes
    }
    auto r6 = StdSecurityHandler::CreateOutput(5, 0);
    r6->InitPassword("\xE6\x97\xA5", "\xE6\x9C\xAC");
    EXPECT_EQ(r6->GetRevision(), 6);
    EXPECT_EQ(r6->GetKeyLength(), 32u);
    EXPECT_FALSE(r6->GetPermission(SecurityHandler::e_doc_open));
    EXPECT_EQ(Thrown([&] { r6->CreateEncryptDict(); }).GetMessage(), "The security handler has no Encrypt dictionary (call Prepare)");
    r6->Prepare(kID);
    auto dict = r6->CreateEncryptDict();
    EXPECT_EQ(Text(dict->FindObj("CF")), "<</StdCF<</AuthEvent/DocOpen/CFM/AESV3/Length 32>>>>");
    EXPECT_EQ(dict->FindObj("UE")->Size(), 32u);
    EXPECT_EQ(dict->FindObj("EncryptMetadata"), nullptr);
}

TEST(SecurityHandler, EveryRevisionWithEveryKindOfPassword)
{
    struct Alg {
        int v, bits;
    };
    for (Alg alg : {Alg{1, 40}, Alg{2, 40}, Alg{2, 128}, Alg{4, 128}, Alg{5, 256}}) {
        for (bool empty_user : {false, true}) {
            for (bool encrypt_metadata : {true, false}) {
                if (alg.v < 4 && !encrypt_metadata) continue;
                SCOPED_TRACE(testing::Message() << "V " << alg.v << " bits " << alg.bits << " empty user " << empty_user
                                                << " metadata " << encrypt_metadata);
                std::string user = empty_user ? "" : "user \xC3\xA9";
                auto out = StdSecurityHandler::CreateOutput(alg.v, alg.bits);
                out->InitPassword(user, "owner");
                out->SetPermissions(-3904 | 4);  // printing allowed, changes not
                out->SetEncryptMetadata(encrypt_metadata);
                out->Prepare(kID);
                std::string objects = SampleObjects(out.get());
                EXPECT_EQ(objects.find("secret"), std::string::npos);
                EXPECT_EQ(objects.find("<x:xmpmeta/>") != std::string::npos, !encrypt_metadata);

                auto wrong = qvx::Test::EncryptedDoc(objects, 4, kID);
                EXPECT_FALSE(wrong->InitStdSecurityHandler("wrong"));
                EXPECT_EQ(wrong->GetSecurityHandler(), nullptr);
                Common::Exception e = Thrown([&] { wrong->InitStdSecurityHandler("wrong", true); });
                EXPECT_EQ(e.GetMessage(), "Document authorization failed.");
                EXPECT_EQ(e.GetCondition(), "auth_ok");
                EXPECT_EQ(wrong->InitSecurityHandler(), empty_user);

                auto as_user = qvx::Test::EncryptedDoc(objects, 4, kID);
                ASSERT_TRUE(as_user->InitStdSecurityHandler(user));
                ExpectSampleReadable(*as_user);
                SecurityHandler* h = as_user->GetSecurityHandler();
                EXPECT_EQ(as_user->GetOutputSecurityHandler(), h);
                EXPECT_FALSE(h->GetPermission(SecurityHandler::e_owner));
                EXPECT_TRUE(h->GetPermission(SecurityHandler::e_print));
                EXPECT_FALSE(h->GetPermission(SecurityHandler::e_doc_modify));
                // The Encrypt dictionary itself is never decrypted.
                EXPECT_EQ(Text(as_user->GetObj(4)->FindObj("O")), Text(out->CreateEncryptDict()->FindObj("O")));

                auto as_owner = qvx::Test::EncryptedDoc(objects, 4, kID);
                ASSERT_TRUE(as_owner->InitStdSecurityHandler("owner", true));
                ExpectSampleReadable(*as_owner);
                EXPECT_TRUE(as_owner->GetSecurityHandler()->GetPermission(SecurityHandler::e_doc_modify));
            }
        }
    }
}

TEST(SecurityHandler, PasswordsInTheOtherEncoding)
{
    // Revision 4 keys on PDFDocEncoding bytes, revision 6 on UTF-8: a password typed in the
    // other form opens the document too.
    for (int v : {4, 5}) {
        auto out = StdSecurityHandler::CreateOutput(v, 128);
        out->InitPassword("caf\xC3\xA9", "");
        out->Prepare(kID);
        std::string objects = SampleObjects(out.get());
        auto utf8 = qvx::Test::EncryptedDoc(objects, 4, kID);
        EXPECT_TRUE(utf8->InitStdSecurityHandler("caf\xC3\xA9"));
        auto latin = qvx::Test::EncryptedDoc(objects, 4, kID);
        EXPECT_TRUE(latin->InitStdSecurityHandler("caf\xE9"));
        auto neither = qvx::Test::EncryptedDoc(objects, 4, kID);
        EXPECT_FALSE(neither->InitStdSecurityHandler("cafe"));
    }
}

TEST(SecurityHandler, CryptFiltersChooseWhatIsDecrypted)
{
    // StmF encrypts with AES-128, strings stay plain (StrF Identity); one stream names the
    // Identity filter in its own Filter array, another names StdCF there.
    auto out = StdSecurityHandler::CreateOutput(4, 128);
    out->InitPassword("", "o");
    out->Prepare(kID);
    auto dict = out->CreateEncryptDict();
    dict->PutName("StrF", "Identity");
    dict->FindObj("CF")->PutDict("Plain")->PutName("CFM", "None");
    dict->PutName("EFF", "Plain");
    AESV2CryptHandler aes(out->GetFileKey());
    auto encrypt = [&](std::uint32_t num, std::string_view data) {
        Common::Bytes b = Common::ToBytes(data);
        aes.EncryptString(b, num, 0);
        return std::string(b.begin(), b.end());
    };
    auto stream = [](std::uint32_t num, const std::string& dict, const std::string& data) {
        return std::to_string(num) + " 0 obj\n<<" + dict + "/Length " + std::to_string(data.size()) + ">>\nstream\n" +
               data + "\nendstream\nendobj\n";
    };
    std::string objects = "1 0 obj\n<</S(plain string)>>\nendobj\n" +
                          stream(2, "", encrypt(2, "default")) +
                          stream(3, "/Filter/Crypt/DecodeParms<</Name/Identity>>", "own identity") +
                          stream(5, "/Filter[/Crypt]/DecodeParms[<</Name/StdCF>>]", encrypt(5, "own StdCF")) +
                          stream(6, "/Type/EmbeddedFile", "embedded, EFF None") +
                          ObjText(nullptr, 4, *dict);
    auto doc = qvx::Test::EncryptedDoc(objects, 4, kID);
    ASSERT_TRUE(doc->InitSecurityHandler());
    EXPECT_EQ(Text(doc->GetObj(1)->FindObj("S")), "(plain string)");
    EXPECT_EQ(qvx::Test::Decoded(doc->GetObj(2)), "default");
    EXPECT_EQ(qvx::Test::Decoded(doc->GetObj(3)), "own identity");
    EXPECT_EQ(qvx::Test::Decoded(doc->GetObj(5)), "own StdCF");
    EXPECT_EQ(qvx::Test::Decoded(doc->GetObj(6)), "embedded, EFF None");
    // The raw data of a stream with its own Crypt filter is left to that filter.
    EXPECT_EQ(qvx::Test::ReadAll(*doc->GetObj(5)->GetRawStream(true)), qvx::Test::ReadAll(*doc->GetObj(5)->GetRawStream(false)));
    // A Crypt filter on a stream that is no indirect object cannot be keyed.
    auto direct = FileStream::Create(Common::ToBytes("x"));
    direct->PutName("Filter", "Crypt");
    EXPECT_EQ(Thrown([&] { doc->GetSecurityHandler()->CreateCryptFilter("StdCF", direct->GetRawStream(), *direct); })
                  .GetMessage(),
              "Bad Crypt stm");
}

TEST(SecurityHandler, CustomHandler)
{
    auto out = QuandrilCustomSecurityHandler::CreateOutput("custom pw");
    std::string objects = SampleObjects(out.get());
    EXPECT_NE(objects.find("/SubFilter/QVX_Custom"), std::string::npos);
    auto by_data = qvx::Test::EncryptedDoc(objects, 4, kID);
    EXPECT_TRUE(by_data->InitSecurityHandler("custom pw", true));
    ExpectSampleReadable(*by_data);
    EXPECT_TRUE(by_data->GetSecurityHandler()->GetPermission(SecurityHandler::e_owner));
    auto by_password = qvx::Test::EncryptedDoc(objects, 4, kID);
    EXPECT_TRUE(by_password->InitStdSecurityHandler("custom pw"));
    ExpectSampleReadable(*by_password);
    auto none = qvx::Test::EncryptedDoc(objects, 4, kID);
    EXPECT_FALSE(none->InitSecurityHandler());
    EXPECT_EQ(Thrown([&] { none->InitStdSecurityHandler("other", true); }).GetMessage(), "Document authorization failed.");
}

TEST(SecurityHandler, RemoveSecurityReinitAndSaveEncrypted)
{
    auto out = StdSecurityHandler::CreateOutput(4, 128);
    out->InitPassword("u", "o");
    out->Prepare(kID);
    std::string objects = SampleObjects(out.get());
    auto doc = qvx::Test::EncryptedDoc(objects, 4, kID);
    ASSERT_TRUE(doc->InitStdSecurityHandler("u"));
    EXPECT_EQ(Text(doc->GetObj(1)->FindObj("S")), "(secret string)");
    // Removed security: no Encrypt, no output handler, and objects loaded later still decrypt.
    doc->RemoveSecurity();
    EXPECT_EQ(doc->GetTrailer()->FindObj("Encrypt"), nullptr);
    EXPECT_EQ(doc->GetOutputSecurityHandler(), nullptr);
    EXPECT_NE(doc->GetSecurityHandler(), nullptr);
    EXPECT_EQ(qvx::Test::Decoded(doc->GetObj(2)), "stream data, 29 bytes long...");

    // After a rebuild drops the handler it is set up again with the same password.
    auto again = qvx::Test::EncryptedDoc(objects, 4, kID);
    ASSERT_TRUE(again->InitStdSecurityHandler("u"));
    again->GetImpl().SetSecurityHandler(nullptr);
    ReinitSecurityHandler(again->GetImpl());
    ASSERT_NE(again->GetSecurityHandler(), nullptr);
    EXPECT_EQ(Text(again->GetObj(1)->FindObj("S")), "(secret string)");
    auto broken = WithEncrypt("<</Filter/Standard/V 1/R 9>>");
    ReinitSecurityHandler(broken->GetImpl());  // quiet
    EXPECT_EQ(broken->GetSecurityHandler(), nullptr);

    // A plain document saved encrypted gets an ID and a prepared output handler whose
    // dictionary opens what it encrypted.
    auto plain = DocOver("%PDF-1.7\n");
    auto r3 = StdSecurityHandler::CreateOutput(2, 128);
    r3->InitPassword("", "owner");
    EncryptOnSave(*plain, std::move(r3));
    Common::Bytes id0 = FirstID(*plain->GetTrailer());
    ASSERT_EQ(id0.size(), 16u);
    SecurityHandler* save = plain->GetOutputSecurityHandler();
    ASSERT_NE(save, nullptr);
    StdSecurityHandler reread(*save->CreateEncryptDict(), id0, "");
    ASSERT_TRUE(reread.GetPermission(SecurityHandler::e_doc_open));
    Common::Bytes s = Common::ToBytes("round trip");
    save->EncryptString(s, 7, 2);
    EXPECT_NE(s, Common::ToBytes("round trip"));
    reread.DecryptString(s, 7, 2);
    EXPECT_EQ(s, Common::ToBytes("round trip"));
    auto plain_stream = FileStream::Create(Common::ToBytes("twelve bytes"));
    EXPECT_EQ(save->EncryptedStreamLength(12, *plain_stream), 12u);
}
