#include <gtest/gtest.h>

#include "pdf/compliance/MetadataDocument.h"
#include "pdf/compliance/MetadataStep.h"
#include "sdf/Dict.h"
#include "tests/compliance/XmpTestSupport.h"
#include "tests/compliance/Levels.h"

using namespace qvx;
using SDF::Obj;
using Set = std::set<int>;

namespace {

using qvx::Test::k1B, qvx::Test::k2B, qvx::Test::k4, qvx::Test::kUA;

// An in-memory document: catalog (object 1) and, when packet is given, a Metadata stream.
struct Doc {
    SDF::SDFDoc doc;
    Obj* root = nullptr;
    Obj* metadata = nullptr;
    bool stop = false;

    explicit Doc(int level, bool convert = false)
    {
        root = doc.CreateIndirectDict();
        root->PutName("Type", "Catalog");
        doc.GetTrailer()->Put("Root", root);
        SDF::CheckState& s = doc.GetCheckState();
        s.level = level;
        s.is_pdfa = level >= 1 && level <= 11;
        s.is_pdfua = level == 12;
        s.convert = convert;
        s.stop = &stop;
    }
    void SetMetadata(const std::string& data, const std::string& filter = "")
    {
        auto dict = SDF::Dict::Create();
        dict->PutName("Type", "Metadata");
        if (!filter.empty()) dict->PutName("Filter", filter);
        metadata = doc.CreateIndirectStream(Common::ToBytes(data), std::move(dict));
        root->Put("Metadata", metadata);
    }
    Obj* Info()
    {
        Obj* info = doc.GetTrailer()->FindObj("Info");
        if (!info) info = doc.GetTrailer()->Put("Info", doc.CreateIndirectDict());
        return info;
    }
    Set Codes() const
    {
        Set s;
        for (const auto& [code, rec] : const_cast<SDF::SDFDoc&>(doc).GetCheckState().errors.Records()) s.insert(code);
        return s;
    }
    const SDF::ErrorRecord& Record(int code) { return doc.GetCheckState().errors.Records().at(code); }
};

std::string Hex(const std::string& s)
{
    static const char* d = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) out += {d[c >> 4], d[c & 15]};
    return out + ">";
}

}  // namespace

TEST(MetadataStep, MetadataStreamLookup)
{
    Doc none(k1B);
    PDF::RunMetadataStep(none.doc, {});
    EXPECT_EQ(none.Codes(), Set{721});
    EXPECT_EQ(none.Record(721).refs, std::set<std::uint32_t>{none.root->GetObjNum()});

    Doc dict(k1B);
    dict.root->Put("Metadata", dict.doc.CreateIndirectDict());
    PDF::RunMetadataStep(dict.doc, {});
    EXPECT_EQ(dict.Codes(), Set{721});

    // A filtered stream: 722, and the decoded packet is still checked.
    Doc filtered(k1B);
    filtered.SetMetadata(Hex(qvx::Test::Packet("")), "ASCIIHexDecode");
    PDF::RunMetadataStep(filtered.doc, {});
    EXPECT_EQ(filtered.Codes(), Set{722});
    EXPECT_EQ(filtered.Record(722).refs, std::set<std::uint32_t>{filtered.metadata->GetObjNum()});

    // A packet of exactly 1024 bytes: one full chunk, then an empty one.
    std::string packet = qvx::Test::Packet("");
    packet.insert(packet.size() - std::string(qvx::Test::kEnd).size(), std::string(1024 - packet.size(), ' '));
    ASSERT_EQ(packet.size(), 1024u);
    Doc exact(k1B);
    exact.SetMetadata(packet);
    PDF::RunMetadataStep(exact.doc, {});
    EXPECT_EQ(exact.Codes(), Set{});
}

TEST(MetadataStep, InfoSynchronisationAndFirstStop)
{
    const std::string title = "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">X</rdf:li></rdf:Alt></dc:title>";
    Doc d(k1B);
    d.SetMetadata(qvx::Test::Packet(title));
    d.Info()->PutString("Title", std::string("\xFE\xFF\0Y", 4));
    d.doc.GetCheckState().first_stop = true;
    PDF::RunMetadataStep(d.doc, {});
    EXPECT_EQ(d.Codes(), Set{731});
    EXPECT_TRUE(d.stop);

    Doc same(k1B);
    same.SetMetadata(qvx::Test::Packet(title));
    same.Info()->PutString("Title", "X");
    PDF::RunMetadataStep(same.doc, {});
    EXPECT_EQ(same.Codes(), Set{});
}

TEST(MetadataStep, ConversionRewritesMetadataAndInfo)
{
    for (int level : {k1B, k2B}) {
        Doc d(level, true);
        d.SetMetadata(qvx::Test::Packet("<xmp:Bogus>1</xmp:Bogus><dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">"
                                        "Ol\td</rdf:li></rdf:Alt></dc:title>", level == k1B ? "1" : "2", "B"));
        d.Info()->PutString("Title", "T\tab");
        d.Info()->PutString("Author", "Ann");
        PDF::RunMetadataStep(d.doc, {});
        EXPECT_TRUE(d.Codes().count(724));
        Obj* md = d.root->FindObj("Metadata");
        ASSERT_TRUE(md && md->IsStream());
        EXPECT_NE(md->GetObjNum(), d.metadata->GetObjNum());
        EXPECT_EQ(md->FindObj("Filter"), nullptr);
        EXPECT_EQ(md->FindObj("Subtype")->GetName(), "XML");
        Obj* info = d.doc.GetTrailer()->FindObj("Info");
        EXPECT_EQ(info->FindObj("Author")->GetAsPDFText().ToUTF8(), "Ann");
        EXPECT_TRUE(info->FindObj("ModDate") && info->FindObj("CreationDate")) << "missing dates become now";
        for (const char* key : {"Subject", "Keywords", "Creator", "Producer"}) EXPECT_TRUE(info->FindObj(key)) << key;
        // The packet's title wins (the Info dictionary has no newer date), cleaned of its tab.
        EXPECT_EQ(info->FindObj("Title")->GetAsPDFText().ToUTF8(), "Ol d");

        // The converted document validates without findings.
        SDF::CheckState& s = d.doc.GetCheckState();
        s.errors = SDF::ErrorStore();
        s.convert = false;
        PDF::RunMetadataStep(d.doc, {});
        EXPECT_EQ(d.Codes(), Set{}) << level;
    }
    // In validation mode nothing changes.
    Doc v(k1B);
    v.SetMetadata("<broken");
    PDF::RunMetadataStep(v.doc, {});
    EXPECT_EQ(v.Codes(), Set{723});
    EXPECT_EQ(v.root->FindObj("Metadata")->GetObjNum(), v.metadata->GetObjNum());
    EXPECT_EQ(v.doc.GetTrailer()->FindObj("Info"), nullptr);
}

TEST(MetadataStep, ConversionLeavesOutCharactersXmlCannotHold)
{
    // An image tool writes UTF-16 without its byte order mark, so the title reads as
    // PDFDocEncoding with a NUL before every letter; XML has no form for a NUL or most
    // other controls, so the copy says what the packet can say, in both places.
    Doc d(k1B, true);
    d.Info()->PutString("Title", std::string("\0i\0m\0-\0g\0" "4\0\0", 12));
    d.Info()->PutString("Author", "A\x01nn\x05");
    d.Info()->PutString("Producer", "tool\tone");
    PDF::RunMetadataStep(d.doc, {});
    Obj* info = d.doc.GetTrailer()->FindObj("Info");
    EXPECT_EQ(info->FindObj("Title")->GetAsPDFText().ToUTF8(), "im-g4");
    EXPECT_EQ(info->FindObj("Author")->GetAsPDFText().ToUTF8(), "Ann");
    EXPECT_EQ(info->FindObj("Producer")->GetAsPDFText().ToUTF8(), "tool\tone");
    std::optional<std::string> packet = PDF::ReadMetadataPacket(d.doc);
    ASSERT_TRUE(packet);
    EXPECT_NE(packet->find(">im-g4<"), std::string::npos) << *packet;

    SDF::CheckState& s = d.doc.GetCheckState();
    s.errors = SDF::ErrorStore();
    s.convert = false;
    PDF::RunMetadataStep(d.doc, {});
    EXPECT_EQ(d.Codes(), Set{});
}

TEST(MetadataStep, ConversionWritesInfoDatesInTheZoneOfThePacket)
{
    Doc d(k1B, true);
    d.SetMetadata(qvx::Test::Packet(""));
    d.Info()->PutString("CreationDate", "D:20171201000000");
    d.Info()->PutString("ModDate", "D:20180102030405+02'00'");
    PDF::RunMetadataStep(d.doc, {});
    // A date without a zone is UTC in the packet, and so in the Info dictionary; an offset stays.
    EXPECT_EQ(d.Info()->FindObj("CreationDate")->GetAsPDFText().ToUTF8(), "D:20171201000000Z");
    EXPECT_EQ(d.Info()->FindObj("ModDate")->GetAsPDFText().ToUTF8(), "D:20180102030405+02'00'");
    std::optional<std::string> packet = PDF::ReadMetadataPacket(d.doc);
    ASSERT_TRUE(packet);
    EXPECT_NE(packet->find("2017-12-01T00:00:00Z"), std::string::npos) << *packet;
    EXPECT_NE(packet->find("2018-01-02T03:04:05+02:00"), std::string::npos) << *packet;
}

TEST(MetadataStep, ConversionCarriesOverDatesOutOfRange)
{
    // Hour 24, second 60, the 13th month and 30 February are carried over in both places;
    // written as they were, the packet's readers carried them over and the dates disagreed.
    const std::pair<const char*, const char*> dates[] = {{"D:2020010124", "D:20200102000000Z"},
                                                         {"D:19991231235960", "D:20000101000000Z"},
                                                         {"D:20201301", "D:20210101000000Z"},
                                                         {"D:20200230", "D:20200301000000Z"},
                                                         {"D:20200229", "D:20200229000000Z"}};
    for (const auto& [given, written] : dates) {
        Doc d(k1B, true);
        d.Info()->PutString("CreationDate", given);
        d.Info()->PutString("ModDate", given);
        PDF::RunMetadataStep(d.doc, {});
        EXPECT_EQ(d.Info()->FindObj("ModDate")->GetAsPDFText().ToUTF8(), written) << given;
        EXPECT_EQ(d.Info()->FindObj("CreationDate")->GetAsPDFText().ToUTF8(), written) << given;
        SDF::CheckState& s = d.doc.GetCheckState();
        s.errors = SDF::ErrorStore();
        s.convert = false;
        PDF::RunMetadataStep(d.doc, {});
        EXPECT_EQ(d.Codes(), Set{}) << given;
    }
}

TEST(MetadataStep, ConversionWritesUTCAsZAlone)
{
    // A valid file keeps its packet; only the zone of its Info dates is written the short way.
    const std::string dates = "<xmp:CreateDate>2026-12-08T19:03:29Z</xmp:CreateDate>"
                              "<xmp:ModifyDate>2026-12-08T19:03:29Z</xmp:ModifyDate>";
    for (bool convert : {false, true}) {
        Doc d(k1B, convert);
        d.SetMetadata(qvx::Test::Packet(dates));
        d.Info()->PutString("CreationDate", "D:20261208190329Z00'00'");
        d.Info()->PutString("ModDate", "D:20261208190329Z00'00'");
        PDF::RunMetadataStep(d.doc, {});
        EXPECT_EQ(d.Codes(), Set{});
        EXPECT_EQ(d.root->FindObj("Metadata")->GetObjNum(), d.metadata->GetObjNum());
        const char* expected = convert ? "D:20261208190329Z" : "D:20261208190329Z00'00'";
        EXPECT_EQ(d.Info()->FindObj("CreationDate")->GetAsPDFText().ToUTF8(), expected);
        EXPECT_EQ(d.Info()->FindObj("ModDate")->GetAsPDFText().ToUTF8(), expected);
    }
}

TEST(MetadataStep, PDFA4InfoRules)
{
    const std::string packet = qvx::Test::Packet("<pdfaid:rev>2020</pdfaid:rev>", "4", "");
    Doc no_piece(k4, true);
    no_piece.SetMetadata(packet);
    no_piece.Info()->PutString("ModDate", "D:20200101000000Z");
    PDF::RunMetadataStep(no_piece.doc, {});
    EXPECT_TRUE(no_piece.Codes().count(46134));
    EXPECT_EQ(no_piece.doc.GetTrailer()->FindObj("Info"), nullptr);

    Doc piece(k4, true);
    piece.SetMetadata(packet);
    piece.root->PutDict("PieceInfo");
    piece.Info()->PutString("ModDate", "D:20200101000000Z");
    piece.Info()->PutString("Title", "t");
    PDF::RunMetadataStep(piece.doc, {});
    EXPECT_TRUE(piece.Codes().count(46135));
    EXPECT_EQ(piece.Info()->Size(), 1u);
    EXPECT_TRUE(piece.Info()->FindObj("ModDate"));

    Doc bad_piece(k4);
    bad_piece.SetMetadata(packet);
    bad_piece.root->PutNumber("PieceInfo", 1);
    bad_piece.Info()->PutString("ModDate", "D:20200101000000Z");
    PDF::RunMetadataStep(bad_piece.doc, {});
    EXPECT_EQ(bad_piece.Codes(), (Set{11, 46134}));

    Doc clean(k4);
    clean.SetMetadata(packet);
    PDF::RunMetadataStep(clean.doc, {});
    EXPECT_EQ(clean.Codes(), Set{});
}

TEST(MetadataStep, PDFUA)
{
    Doc none(kUA);
    PDF::RunMetadataStep(none.doc, {});
    EXPECT_EQ(none.Codes(), Set{721});

    Doc d(kUA, true);
    d.SetMetadata(qvx::Test::Packet(""));
    PDF::RunMetadataStep(d.doc, Common::UString::FromUTF8("/some/dir/report.pdf"));
    EXPECT_EQ(d.Codes(), (Set{-17110, -151}));
    std::optional<std::string> packet = PDF::ReadMetadataPacket(d.doc);
    ASSERT_TRUE(packet);
    EXPECT_NE(packet->find(">report.pdf<"), std::string::npos);
    EXPECT_NE(packet->find("<pdfuaid:part>1</pdfuaid:part>"), std::string::npos);
}
