#include <gtest/gtest.h>

#include <set>

#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"
#include "sdf/ObjWriter.h"
#include "sdf/SDFDocImpl.h"
#include "tests/sdf/SaveTestUtil.h"
#include "tests/sdf/SdfTestUtil.h"

using namespace qvx;
using namespace qvx::SDF;
using namespace qvx::Test;

namespace {

// "Encrypts" by adding the object number to every byte and appending a marker byte, so
// that the output shows which object each string and stream was encrypted for and that
// lengths follow the encrypted data.
Common::Byte Shift(Common::Byte b, std::uint32_t num) { return static_cast<Common::Byte>(b + num); }

class ShiftHandler : public PassThroughHandler {
public:
    std::unique_ptr<Obj> CreateEncryptDict() const override
    {
        auto d = Dict::Create();
        d->PutName("Filter", "Shift");
        d->PutString("O", "owner");
        return d;
    }
    void EncryptString(Common::Bytes& bytes, std::uint32_t num, std::uint16_t gen) override
    {
        strings.insert(num);
        EXPECT_EQ(gen, 0);
        for (auto& b : bytes) b = Shift(b, num);
        bytes.push_back('!');
    }
    std::unique_ptr<Filters::Filter> EncryptStream(std::unique_ptr<Filters::Filter> plain, const Obj&,
                                                   std::uint32_t num, std::uint16_t) override
    {
        streams.insert(num);
        Filters::FilterReader r(*plain);
        Common::Bytes bytes = r.ReadAll();
        for (auto& b : bytes) b = Shift(b, num);
        bytes.push_back('!');
        return std::make_unique<Filters::MemoryFilter>(std::move(bytes));
    }
    std::uint64_t EncryptedStreamLength(std::uint64_t length, const Obj&) const override { return length + 1; }

    std::set<std::uint32_t> strings, streams;
};

}  // namespace

TEST(SaveEncrypted, StringsStreamsAndTheEncryptDictionary)
{
    SDFDoc doc;
    BuildDoc(doc);  // 1 catalog ... 6 content stream "0 0 1 rg ...", 7 info with its title
    auto h = std::make_shared<ShiftHandler>();
    doc.SetOutputSecurityHandler(h);
    std::string pdf = AsString(doc.SaveToBuffer(SDFDoc::e_classic_xref));

    // No identifier is made up for an encrypted file (its keys come from the one it has).
    EXPECT_EQ(doc.GetTrailer()->FindObj("ID"), nullptr);
    // The Encrypt dictionary from the handler, in the trailer, its strings as they are.
    EXPECT_EQ(TrailerText(pdf), "<</Encrypt<</Filter/Shift/O<6F776E6572>>>/Info 7 0 R/Root 1 0 R/Size 8>>");
    // Strings: encrypted for their object, written in hex.
    std::string title;
    for (char c : std::string("Writer (test)")) title += static_cast<char>(c + 7);
    std::string hex;
    ObjWriter::AppendHexString(hex, Common::AsBytes(title + "!"));
    EXPECT_NE(pdf.find("7 0 obj\r<</Title" + hex + ">>\rendobj"), std::string::npos);
    // Streams: encrypted data and its length.
    std::size_t at = pdf.find("6 0 obj\r<</Length 63>>\rstream\n");
    ASSERT_NE(at, std::string::npos);
    std::string data = pdf.substr(pdf.find("stream\n", at) + 7, 63);
    const std::string shifted{char('0' + 6), char(' ' + 6), char('0' + 6)};
    EXPECT_EQ(data.substr(0, 3), shifted);
    EXPECT_EQ(data.back(), '!');
    EXPECT_EQ(h->strings, (std::set<std::uint32_t>{7}));
    EXPECT_EQ(h->streams, (std::set<std::uint32_t>{6}));

    // Compressed: objects inside object streams are not encrypted one by one, their stream
    // is; the cross-reference stream never is.
    h->strings.clear();
    h->streams.clear();
    pdf = AsString(doc.SaveToBuffer(0));
    EXPECT_TRUE(h->strings.empty());
    EXPECT_EQ(h->streams.size(), 1u + 3u);  // the content stream and three object streams
    EXPECT_TRUE(h->streams.count(6));
    EXPECT_EQ(h->streams.count(static_cast<std::uint32_t>(doc.XRefSize()) + 3), 0u);
    EXPECT_NE(pdf.find("/Encrypt<</Filter/Shift/O<6F776E6572>>>"), std::string::npos);

    // Linearized: numbers change, and encryption follows the new numbers.
    h->strings.clear();
    h->streams.clear();
    pdf = AsString(doc.SaveToBuffer(SDFDoc::e_linearize));
    std::size_t info = pdf.find("/Title<");
    ASSERT_NE(info, std::string::npos);
    std::size_t obj = pdf.rfind(" 0 obj", info);
    std::uint32_t info_num = static_cast<std::uint32_t>(std::stoul(pdf.substr(pdf.rfind('\r', obj) + 1)));
    EXPECT_EQ(h->strings, (std::set<std::uint32_t>{info_num}));
    EXPECT_EQ(h->streams.size(), 2u);  // the content stream and the hint stream
}
