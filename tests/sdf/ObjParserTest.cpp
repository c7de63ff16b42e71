#include <gtest/gtest.h>

#include "filters/Filter.h"
#include "filters/MemoryFilter.h"
#include "sdf/ObjParser.h"
#include "sdf/Objects.h"
#include "sdf/SecurityHandler.h"
#include "tests/sdf/ParserTestUtil.h"
#include "tests/sdf/SdfTestUtil.h"

using namespace qvx::SDF;
using qvx::Test::Codes;
using qvx::Test::DocOver;
using qvx::Test::Text;
using qvx::Test::Thrown;

namespace {

using CodeList = std::vector<int>;

CodeList FramingCodes(const std::string& file, int level)
{
    auto doc = DocOver(file, level);
    try {
        Obj* o = doc->GetObj(1);
        if (o->IsStream()) qvx::Test::Decoded(o);
    } catch (const qvx::Common::Exception&) {
    }
    return Codes(*doc);
}

std::string StreamFile(const std::string& dict, const std::string& data, const std::string& keyword_eol = "\n")
{
    return "%PDF-1.7\n1 0 obj\n" + dict + "\nstream" + keyword_eol + data + "\nendstream\nendobj\n";
}

}  // namespace

TEST(ObjParser, ObjectFramingHooks)
{
    const std::string clean = "%PDF-1.7\n1 0 obj\n<</A 1>>\nendobj\n";
    EXPECT_EQ(FramingCodes(clean, 4), CodeList{});
    EXPECT_EQ(FramingCodes("%PDF-1.7\r\n1 0 obj\r\n(x)\r\nendobj\r", 2), CodeList{});
    EXPECT_EQ(FramingCodes("%PDF-1.7 1 0 obj\n<</A 1>>\nendobj\n", 4), CodeList{183});
    EXPECT_EQ(FramingCodes("%PDF-1.7\n1  0 obj\n<</A 1>>\nendobj\n", 4), CodeList{181});
    EXPECT_EQ(FramingCodes("%PDF-1.7\n1 0  obj\n<</A 1>>\nendobj\n", 4), CodeList{182});
    EXPECT_EQ(FramingCodes("%PDF-1.7\n1 0 obj <</A 1>>\nendobj\n", 4), CodeList{185});
    EXPECT_EQ(FramingCodes("%PDF-1.7\n1 0 obj\n<</A 1>> endobj\n", 4), CodeList{184});
    EXPECT_EQ(FramingCodes("%PDF-1.7\n1 0 obj\n<</A 1>>\nendobj 2 0 obj", 4), CodeList{186});
    EXPECT_EQ(FramingCodes("%PDF-1.7\n1\t0\tobj\t<</A 1>> endobj ", 4), (CodeList{181, 182, 184, 185, 186}));
    EXPECT_EQ(FramingCodes("%PDF-1.7\n1\t0\tobj\t<</A 1>> endobj ", 12), CodeList{});
    EXPECT_EQ(FramingCodes("%PDF-1.7\n1\t0\tobj\t<</A 1>> endobj ", 0), CodeList{});
}

TEST(ObjParser, StreamKeywordEOLIs171ForParts1To3)
{
    EXPECT_EQ(FramingCodes(StreamFile("<</Length 3>>", "abc", "\r\n"), 4), CodeList{});
    EXPECT_EQ(FramingCodes(StreamFile("<</Length 3>>", "abc", "\r"), 4), CodeList{171});
    EXPECT_EQ(FramingCodes(StreamFile("<</Length 3>>", "abc", " \n"), 7), CodeList{171});
    EXPECT_EQ(FramingCodes(StreamFile("<</Length 3>>", "abc", "\r"), 10), CodeList{});
}

TEST(ObjParser, StreamLengthIsVerifiedWhenItCannotBeTrusted)
{
    // Length 10 for 12 bytes: with a filter the data is scanned, without one Length is used.
    std::string twelve = "0123456789AB";
    auto plain = DocOver(StreamFile("<</Length 10>>", twelve));
    EXPECT_EQ(plain->GetObj(1)->GetRawStreamLength(), 10u);
    auto filtered = DocOver(StreamFile("<</Length 10/Filter/AHx>>", twelve));
    EXPECT_EQ(filtered->GetObj(1)->GetRawStreamLength(), 12u);
    auto missing = DocOver(StreamFile("<<>>", "abc \r\n"));
    EXPECT_EQ(qvx::Test::Decoded(missing->GetObj(1)), "abc");
    // An endstream not followed by endobj does not end the scan.
    auto decoy = DocOver(StreamFile("<</Length 0>>", "ab endstream cd"));
    EXPECT_EQ(decoy->GetObj(1)->GetRawStreamLength(), 15u);
    auto indirect = DocOver(StreamFile("<</Length 2 0 R>>", "xyz") + "2 0 obj\n3\nendobj\n");
    EXPECT_EQ(qvx::Test::Decoded(indirect->GetObj(1)), "xyz");
    auto runaway = DocOver("%PDF-1.7\n1 0 obj\n<</Filter/AHx>>\nstream\n4142");
    EXPECT_EQ(Thrown([&] { runaway->GetObj(1)->GetRawStreamLength(); }).GetMessage(), "Unexpected end of stream");
    auto empty = DocOver("%PDF-1.7\n1 0 obj\n<</Length 0>>\nstream\n");
    EXPECT_EQ(empty->GetObj(1)->GetRawStreamLength(), 0u);
}

TEST(ObjParser, BrokenIndirectObjects)
{
    auto doc = DocOver("%PDF-1.7\n1 0 obj\n<</A 1>>\nendobj\n2 0 obj\n<</B 2>> stream\n");
    SDFDocImpl& impl = doc->GetImpl();
    impl.SetEntry(3, Indirect::e_in_use, 17, 0);  // points at a body
    impl.SetEntry(4, Indirect::e_in_use, 11, 0);  // "0 obj": one number
    impl.SetEntry(5, Indirect::e_in_use, 9999, 0);
    impl.SetEntry(6, Indirect::e_in_use, 9, 0);   // object 1 under another number: tolerated
    EXPECT_EQ(Thrown([&] { doc->GetObj(3)->Resolve(); }).GetMessage(), "Object header not found");
    EXPECT_EQ(Thrown([&] { doc->GetObj(4)->Resolve(); }).GetMessage(), "Operator obj expects two arguments");
    EXPECT_EQ(Thrown([&] { doc->GetObj(5)->Resolve(); }).GetMessage(), "Object header not found");
    EXPECT_EQ(doc->GetObj(6)->FindObj("A")->GetNumber(), 1);
    EXPECT_TRUE(doc->GetObj(2)->IsStream());

    auto nobody = DocOver("%PDF-1.7\n1 0 obj\nendobj\n2 0 obj\n(x) stream\n");
    EXPECT_EQ(Thrown([&] { nobody->GetObj(1)->Resolve(); }).GetMessage(), "Operator endobj expects a single argument");
    EXPECT_EQ(Thrown([&] { nobody->GetObj(2)->Resolve(); }).GetMessage(), "Stream expects a dictionary as an argument");
    // Extra objects before endobj are dropped; a missing endobj ends at the next keyword.
    auto extra = DocOver("%PDF-1.7\n1 0 obj\n(a) (b)\nendobj\n2 0 obj\n[1 2 3\n3 0 obj\n7\nendobj\n");
    EXPECT_EQ(Text(extra->GetObj(1)->Resolve()), "(a)");
    EXPECT_EQ(Text(extra->GetObj(2)->Resolve()), "[1 2 3 3 0]");
    EXPECT_EQ(extra->GetObj(3)->GetNumber(), 7);
}

TEST(ObjParser, ObjectStreams)
{
    std::string objs = "10 0 11 14 <</A 11 0 R>> (eleven)";
    std::string file = "%PDF-1.7\n5 0 obj\n<</Type/ObjStm/N 2/First 11/Length " + std::to_string(objs.size()) +
                       ">>\nstream\n" + objs + "\nendstream\nendobj\n";
    for (int level : {0, 2, 4}) {
        auto doc = DocOver(file, level);
        SDFDocImpl& impl = doc->GetImpl();
        impl.SetEntry(10, Indirect::e_compressed, 5, 0);
        impl.SetEntry(11, Indirect::e_compressed, 5, 7);  // a wrong index hint: found by number
        impl.SetEntry(12, Indirect::e_compressed, 5, 2);
        impl.SetEntry(13, Indirect::e_compressed, 99, 0);
        Obj* ten = doc->GetObj(10);
        EXPECT_EQ(ten->GetGenNum(), 0);
        EXPECT_EQ(ten->FindObj("A"), doc->GetObj(11));
        EXPECT_EQ(Text(doc->GetObj(11)->Resolve()), "(eleven)");
        EXPECT_EQ(Thrown([&] { doc->GetObj(12)->Resolve(); }).GetMessage(),
                  "Could not locate expected object in object stream");
        EXPECT_EQ(Thrown([&] { doc->GetObj(13)->Resolve(); }).GetMessage(), "Bad obj stream");
        if (level == 2) {
            EXPECT_EQ(Codes(*doc), CodeList{14});
            EXPECT_EQ(doc->GetCheckState().errors.Records().at(14).refs, std::set<std::uint32_t>{5});
        } else {
            EXPECT_EQ(Codes(*doc), CodeList{});
        }
    }
    auto bad = DocOver("%PDF-1.7\n5 0 obj\n<</Type/ObjStm/N/x/First 0/Length 0>>\nstream\n\nendstream\nendobj\n");
    bad->GetImpl().SetEntry(10, Indirect::e_compressed, 5, 0);
    EXPECT_EQ(Thrown([&] { bad->GetObj(10)->Resolve(); }).GetMessage(), "Compressed object stream is corrupt");
    // An object stream whose First needs an object of its own cannot be read.
    auto loop = DocOver("%PDF-1.7\n5 0 obj\n<</Type/ObjStm/N 1/First 11 0 R/Length 0>>\nstream\n\nendstream\nendobj\n");
    loop->GetImpl().SetEntry(11, Indirect::e_compressed, 5, 0);
    EXPECT_EQ(Thrown([&] { loop->GetObj(11)->Resolve(); }).GetMessage(), "Compressed object stream is corrupt");
}

namespace {

// Decrypts by XOR with the object number; counts what it is asked.
class XorHandler : public SecurityHandler {
public:
    void DecryptString(qvx::Common::Bytes& b, std::uint32_t num, std::uint16_t gen) override
    {
        for (auto& c : b) c ^= static_cast<qvx::Common::Byte>(num + gen);
    }
    std::unique_ptr<qvx::Filters::Filter> DecryptStream(std::unique_ptr<qvx::Filters::Filter> raw, const Obj&,
                                                        std::uint32_t num, std::uint16_t gen) override
    {
        std::string data = qvx::Test::ReadAll(*raw);
        for (auto& c : data) c = static_cast<char>(c ^ (num + gen));
        return std::make_unique<qvx::Filters::MemoryFilter>(qvx::Common::ToBytes(data));
    }
    std::unique_ptr<qvx::Filters::Filter> CreateCryptFilter(std::string_view, std::unique_ptr<qvx::Filters::Filter> in,
                                                            const Obj&) override
    {
        return in;
    }
};

}  // namespace

TEST(ObjParser, DecryptionHookAndKeepOriginalVariants)
{
    // Object 1's string and stream bytes are XOR 1; object 2 (the Encrypt dictionary) is plain.
    std::string enc = "ihoe";  // "hind" ^ 1
    auto doc = DocOver("%PDF-1.7\n1 0 obj\n<</S(" + enc + ")/N 1.50/Length 4>>\nstream\n" + enc +
                       "\nendstream\nendobj\n2 0 obj\n<</O(raw)>>\nendobj\n");
    doc->GetTrailer()->Put("Encrypt", doc->GetObj(2));
    doc->GetImpl().SetEncryptObjNum(2);
    Obj* early = doc->GetObj(1)->Resolve();
    EXPECT_EQ(Text(early->FindObj("S")), "(" + enc + ")");
    doc->SetSecurityHandler(std::make_unique<XorHandler>());  // drops what was read before
    EXPECT_FALSE(doc->GetObj(1)->IsLoaded());
    Obj* one = doc->GetObj(1);
    EXPECT_EQ(Text(one->FindObj("S")), "(hind)");
    EXPECT_EQ(qvx::Test::Decoded(one), "hind");
    EXPECT_EQ(qvx::Test::ReadAll(*one->GetRawStream(false)), enc);
    EXPECT_EQ(Text(doc->GetObj(2)->FindObj("O")), "(raw)");

    auto original = ParseKeepOriginal(doc->GetImpl(), *static_cast<Indirect*>(one));
    EXPECT_EQ(Text(original->FindObj("S")), "(" + enc + ")");
    auto* n = dynamic_cast<OriginalStringNumber*>(original->FindObj("N"));
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->GetOriginalText(), "1.50");
    EXPECT_EQ(n->GetNumber(), 1.5);
}
