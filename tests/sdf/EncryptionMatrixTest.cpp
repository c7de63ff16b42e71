// Files qpdf encrypts with every revision and key length, with user, owner and empty user
// passwords, with and without encrypted metadata and object streams: the right password
// opens them, a wrong one does not, and sdfdump reads the same objects and decoded stream
// bytes from them as from the file `qpdf --decrypt` makes; saved again under their own
// security they stay readable by qpdf with the same password. qpdf runs at test time.
#include <gtest/gtest.h>

#include "tests/sdf/SdfTestUtil.h"
#include "tests/sdf/shared/MiniJson.h"
#include "tests/support/PdfBuilder.h"
#include "tests/support/TestEnv.h"
#include "sdf/SDFDoc.h"
#include "sdf/SecurityHandler.h"

namespace fs = std::filesystem;
using qvx::Test::Json;

namespace {

// qpdf from the PATH.
qvx::Test::RunResult Qpdf(std::vector<std::string> args)
{
    args.insert(args.begin(), {"/usr/bin/env", "qpdf"});
    return qvx::Test::Run(args);
}

fs::path Sdfdump() { return qvx::Test::TolvaPath().parent_path().parent_path().parent_path() / "tools/sdfdump"; }

// Strings of every kind, a metadata stream, a Flate stream and binary data, all reachable
// so that qpdf keeps them.
std::string PlainFile()
{
    qvx::Test::PdfBuilder b = qvx::Test::PdfBuilder::Minimal("1.7");
    b.Set(1, "<</Type/Catalog/Pages 2 0 R/Metadata 6 0 R/Names<</Dests<</Names[(first)[3 0 R/Fit]]>>>>>>");
    b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Resources<<>>/Contents 4 0 R/Annots[7 0 R]"
             "/PieceInfo<</X<</Private 8 0 R/Flated 9 0 R/LastModified(D:20240101120000Z)>>>>>>");
    b.Set(5, "<</Title<FEFF00E9007400E9>/Producer(a \\(paren\\) and \\\\ backslash)/Keywords<00FF10>>>");
    b.SetStream(6, "/Type/Metadata/Subtype/XML", "<?xpacket begin=\"\"?><x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>");
    b.Set(7, "<</Type/Annot/Subtype/Text/Rect[0 0 10 10]/Contents(note with \\r and \\222)/NM<41>>>");
    b.SetStream(8, "", std::string("\0\1\2binary\xff\xfe", 11));
    b.SetStream(9, "/Filter/FlateDecode", qvx::Test::Flate(std::string(5000, 'z') + "tail"));
    b.SetTrailer("/Root 1 0 R/Info 5 0 R/ID[<00112233445566778899AABBCCDDEEFF><00112233445566778899AABBCCDDEEFF>]");
    return b.Build();
}

// Same values, ignoring each stream's Length (encryption changes it).
bool Same(const Json& a, const Json& b)
{
    if (a.kind != b.kind) return false;
    switch (a.kind) {
    case Json::e_null: return true;
    case Json::e_bool: return a.b == b.b;
    case Json::e_number: return a.num == b.num;
    case Json::e_string: return a.str == b.str;
    case Json::e_array:
        if (a.items.size() != b.items.size()) return false;
        for (std::size_t i = 0; i < a.items.size(); ++i)
            if (!Same(a.items[i], b.items[i])) return false;
        return true;
    case Json::e_object: {
        auto next = [](const std::map<std::string, Json>& m, auto it) {
            while (it != m.end() && it->first == "/Length") ++it;
            return it;
        };
        auto ia = next(a.members, a.members.begin()), ib = next(b.members, b.members.begin());
        for (; ia != a.members.end() && ib != b.members.end();
             ia = next(a.members, ++ia), ib = next(b.members, ++ib))
            if (ia->first != ib->first || !Same(ia->second, ib->second)) return false;
        return ia == a.members.end() && ib == b.members.end();
    }
    }
    return false;
}

Json Dump(const fs::path& file, const std::string& password)
{
    auto run = qvx::Test::Run({Sdfdump().string(), "--json", "--password", password, file.string()});
    EXPECT_EQ(run.status, 0) << run.output;
    return run.status == 0 ? Json::Parse(run.output) : Json();
}

bool IsStreamOfType(const Json& v, const std::string& name)
{
    const Json* s = v.Get("stream");
    const Json* type = s ? s->Get("dict")->Get("/Type") : nullptr;
    return type && type->str == name;
}
bool IsXRefStream(const Json& v) { return IsStreamOfType(v, "/XRef"); }

// a (of the encrypted file) and b (of the decrypted one) hold the same objects and decoded
// streams, but for the Encrypt dictionary and the cross-reference streams.
void ExpectSameContent(const Json& a, const Json& b)
{
    ASSERT_EQ(a.kind, Json::e_object);
    ASSERT_EQ(b.kind, Json::e_object);
    const Json* encrypt_ref = a.Get("trailer")->Get("/Encrypt");
    ASSERT_NE(encrypt_ref, nullptr);
    std::string encrypt_id = encrypt_ref->str.substr(0, encrypt_ref->str.size() - 2);
    EXPECT_EQ(b.Get("trailer")->Get("/Encrypt"), nullptr);
    std::size_t compared = 0;
    for (const auto& [id, v] : a.Get("objects")->members) {
        if (id == encrypt_id) continue;
        if (IsXRefStream(v)) {
            // Never decrypted: its ID is the trailer's.
            EXPECT_TRUE(Same(*v.Get("stream")->Get("dict")->Get("/ID"), *a.Get("trailer")->Get("/ID")));
            continue;
        }
        if (IsStreamOfType(v, "/ObjStm")) continue;  // a saved copy packs objects its own way
        const Json* other = b.Get("objects")->Get(id);
        ASSERT_NE(other, nullptr) << id;
        EXPECT_TRUE(Same(v, *other)) << id;
        ++compared;
    }
    EXPECT_GE(compared, 9u);
    for (const auto& [id, v] : b.Get("streams")->members) {
        const Json& obj = *b.Get("objects")->Get(id);
        if (IsXRefStream(obj) || IsStreamOfType(obj, "/ObjStm")) continue;
        const Json* mine = a.Get("streams")->Get(id);
        ASSERT_NE(mine, nullptr) << id;
        EXPECT_EQ(mine->Get("sha256")->str, v.Get("sha256")->str) << id;
    }
    EXPECT_EQ(a.Get("pages")->num, 1);
}

// The file with its startxref pointing nowhere, so that its table is rebuilt.
std::string BreakStartxref(std::string pdf)
{
    std::size_t at = pdf.rfind("startxref");
    std::size_t digit = pdf.find_first_of("0123456789", at);
    if (at != std::string::npos && digit != std::string::npos) pdf[digit] = pdf[digit] == '1' ? '2' : '1';
    return pdf;
}

struct Config {
    std::string name;
    std::vector<std::string> args;  // key length and options, up to the closing --
    bool metadata_option;           // --cleartext-metadata is allowed
};

}  // namespace

TEST(EncryptionMatrix, QpdfEncryptedFilesReadAsQpdfDecryptsThem)
{
    if (Qpdf({"--version"}).status != 0) GTEST_SKIP() << "qpdf not installed";
    qvx::Test::TempDir tmp;
    fs::path plain = tmp.Write("plain.pdf", PlainFile());
    const Config configs[] = {
        {"40-bit RC4", {"40"}, false},
        {"128-bit RC4", {"128", "--use-aes=n"}, true},
        {"AES-128", {"128", "--use-aes=y"}, true},
        {"AES-256 R5", {"256", "--force-R5"}, true},
        {"AES-256 R6", {"256"}, true},
    };
    int checked = 0;
    for (const Config& c : configs) {
        for (bool empty_user : {false, true}) {
            for (bool cleartext : {false, true}) {
                for (bool objstms : {false, true}) {
                    if (cleartext && !c.metadata_option) continue;
                    std::string label = c.name + (empty_user ? ", empty user password" : ", user password") +
                                        (cleartext ? ", cleartext metadata" : "") + (objstms ? ", object streams" : "");
                    SCOPED_TRACE(label);
                    std::string user = empty_user ? "" : "user pw";
                    fs::path enc = tmp.Path() / "enc.pdf", dec = tmp.Path() / "dec.pdf";
                    std::vector<std::string> cmd = {"--allow-weak-crypto", "--stream-data=preserve",
                                                    objstms ? "--object-streams=generate" : "--object-streams=disable",
                                                    plain.string(), "--encrypt", user, "owner pw"};
                    cmd.insert(cmd.end(), c.args.begin(), c.args.end());
                    if (cleartext) cmd.push_back("--cleartext-metadata");
                    cmd.insert(cmd.end(), {"--", enc.string()});
                    ASSERT_EQ(Qpdf(cmd).status, 0);
                    ASSERT_EQ(Qpdf({"--stream-data=preserve", "--password=" + user, "--decrypt", enc.string(), dec.string()}).status, 0);

                    // Opening in the engine: the right passwords, and a wrong one.
                    qvx::SDF::SDFDoc wrong;
                    wrong.OpenFile(enc.string());
                    EXPECT_FALSE(wrong.InitStdSecurityHandler("wrong pw"));
                    EXPECT_EQ(wrong.InitSecurityHandler(), empty_user);
                    qvx::SDF::SDFDoc owner;
                    owner.OpenFile(enc.string());
                    ASSERT_TRUE(owner.InitStdSecurityHandler("owner pw"));
                    EXPECT_TRUE(owner.GetSecurityHandler()->GetPermission(qvx::SDF::SecurityHandler::e_owner));

                    // The dumps: the same content as the decrypted file, also when the table of
                    // a file with object streams has to be rebuilt first.
                    std::string pw = empty_user ? "owner pw" : user;
                    Json theirs = Dump(dec, "");
                    ExpectSameContent(Dump(enc, pw), theirs);
                    if (objstms) {
                        fs::path damaged = tmp.Write("damaged.pdf", BreakStartxref(qvx::Test::ReadFile(enc)));
                        Json rebuilt = Dump(damaged, pw);
                        EXPECT_TRUE(rebuilt.Get("repaired")->b);
                        ExpectSameContent(rebuilt, theirs);
                    }
                    if (empty_user) {
                        EXPECT_EQ(qvx::Test::Run({Sdfdump().string(), enc.string()}).status, 0);
                    }

                    // Saved again under its own security (classic table, or cross-reference and
                    // object streams): qpdf opens the copy with the same password, finds it
                    // clean, and the engine reads the same content from it.
                    fs::path saved = tmp.Path() / "saved.pdf";
                    owner.SaveToPath(saved.string(), objstms ? 0u : std::uint32_t{qvx::SDF::SDFDoc::e_classic_xref});
                    auto check = Qpdf({"--password=" + user, "--check", saved.string()});
                    EXPECT_EQ(check.status, 0) << check.output;
                    EXPECT_NE(check.output.find("No syntax or stream encoding errors"), std::string::npos) << check.output;
                    ExpectSameContent(Dump(saved, pw), theirs);
                    EXPECT_NE(qvx::Test::Run({Sdfdump().string(), "--password", "wrong pw", enc.string()}).output.find("Document authorization failed."),
                              std::string::npos);
                    ++checked;
                }
            }
        }
    }
    EXPECT_EQ(checked, 36);

    // AES-128 (AESV2) keys have 128 bits whatever the dictionary's Length says: a file whose
    // Length was written 40 opens with the empty user password, as qpdf opens it.
    fs::path aes = tmp.Path() / "aes.pdf";
    ASSERT_EQ(Qpdf({"--stream-data=preserve", "--object-streams=disable", plain.string(), "--encrypt", "", "owner pw", "128",
                    "--use-aes=y", "--", aes.string()}).status, 0);
    std::string bytes = qvx::Test::ReadFile(aes);
    const std::size_t length = bytes.find("/Filter /Standard /Length 128");
    ASSERT_NE(length, std::string::npos);
    bytes.replace(length, 29, "/Filter /Standard /Length  40");
    fs::path forty = tmp.Write("forty.pdf", bytes);
    ASSERT_EQ(Qpdf({"--check", forty.string()}).status, 0);
    qvx::SDF::SDFDoc doc;
    doc.OpenFile(forty.string());
    EXPECT_TRUE(doc.InitSecurityHandler());
    fs::path clear = tmp.Path() / "clear.pdf";
    ASSERT_EQ(Qpdf({"--stream-data=preserve", "--decrypt", aes.string(), clear.string()}).status, 0);
    ExpectSameContent(Dump(forty, ""), Dump(clear, ""));
}
