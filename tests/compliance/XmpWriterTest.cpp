#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include <unistd.h>

#include "pdf/compliance/XmpWriter.h"
#include "tests/compliance/XmpTestSupport.h"
#include "tests/support/TestEnv.h"
#include "tests/compliance/Levels.h"

using namespace qvx;
using Set = std::set<int>;

namespace {

using qvx::Test::k1B, qvx::Test::k2B, qvx::Test::k4, qvx::Test::k4F;

PDF::DocInfoValues Values()
{
    PDF::DocInfoValues v;
    v.creation_date = *PDF::PDFDate::Parse("D:20200102120000+01'00'");
    v.mod_date = *PDF::PDFDate::Parse("D:20210102030405Z");
    v.title = Common::UString::FromUTF8("A\ttitle\xC2\xA0here");
    v.author = Common::UString::FromUTF8("Ann");
    v.subject = Common::UString::FromUTF8("S\xE2\x80\x83");
    v.keywords = Common::UString::FromUTF8("k1, k2");
    v.creator = Common::UString::FromUTF8("Writer");
    v.producer = Common::UString::FromUTF8("Lumbra test");
    v.has_creation_date = v.has_mod_date = v.has_title = v.has_author = v.has_subject = true;
    v.has_keywords = v.has_creator = v.has_producer = true;
    return v;
}

// The value exempi's command line reads from a packet, or "" when it fails.
std::string ExempiGet(const std::string& packet, const std::string& property)
{
    // Tests run as parallel processes: one file per process and call.
    static int calls = 0;
    std::string path = ::testing::TempDir() + "xmp_writer_" + std::to_string(getpid()) + "_" + std::to_string(++calls) + ".xmp";
    std::ofstream(path, std::ios::binary) << packet;
    std::string cmd = "exempi -X -g " + property + " '" + path + "' 2>/dev/null";
    std::string out;
    if (FILE* f = popen(cmd.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, f)) out += buf;
        pclose(f);
    }
    std::remove(path.c_str());
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

}  // namespace

TEST(XmpWriter, FreshPacketValidatesAgainstTheWrittenInfo)
{
    PDF::DocInfoValues v = Values();
    std::string packet = PDF::WriteXmpPacket(k1B, v, nullptr);
    ASSERT_FALSE(packet.empty());
    EXPECT_EQ(v.title.ToUTF8(), "A title here") << "tab and no-break space become spaces, in place";
    EXPECT_EQ(v.subject.ToUTF8(), "S ");
    EXPECT_NE(packet.find("x:xmptk=\"Lumbra\""), std::string::npos);
    EXPECT_TRUE(packet.starts_with("<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"));
    EXPECT_TRUE(packet.ends_with("<?xpacket end=\"w\"?>"));
    // The Info dictionary receives the same values: the revalidation finds nothing.
    EXPECT_EQ(qvx::Test::Codes(k1B, packet, v), Set{});
    EXPECT_EQ(ExempiGet(packet, "pdfaid:part"), "1");
    EXPECT_EQ(ExempiGet(packet, "pdfaid:conformance"), "B");
    EXPECT_EQ(ExempiGet(packet, "pdf:Producer"), "Lumbra test");
    // Dates keep their zone as Info gives it; a UTC date says so, or readers take local time.
    EXPECT_NE(packet.find("<xmp:ModifyDate>2021-01-02T03:04:05Z</xmp:ModifyDate>"), std::string::npos) << packet;
    EXPECT_NE(packet.find("<xmp:CreateDate>2020-01-02T12:00:00+01:00</xmp:CreateDate>"), std::string::npos);
    v.mod_date = *PDF::PDFDate::Parse("D:20210102030405");
    v.creation_date = *PDF::PDFDate::Parse("D:20200102120000-05'30'");
    std::string unzoned = PDF::WriteXmpPacket(k1B, v, nullptr);
    EXPECT_NE(unzoned.find("<xmp:ModifyDate>2021-01-02T03:04:05Z</xmp:ModifyDate>"), std::string::npos);
    EXPECT_NE(unzoned.find("<xmp:CreateDate>2020-01-02T12:00:00-05:30</xmp:CreateDate>"), std::string::npos);
    EXPECT_EQ(qvx::Test::Codes(k1B, unzoned, v), Set{});
}

TEST(XmpWriter, IdentificationPerLevel)
{
    PDF::DocInfoValues v = Values();
    std::string four = PDF::WriteXmpPacket(k4, v, nullptr);
    EXPECT_EQ(ExempiGet(four, "pdfaid:part"), "4");
    EXPECT_EQ(ExempiGet(four, "pdfaid:rev"), "2020");
    EXPECT_EQ(four.find("conformance"), std::string::npos);
    EXPECT_EQ(qvx::Test::Codes(k4, four, v), Set{});
    // A conformance letter handed over from the original packet does not survive level 4.
    qvx::Test::XmpRun run = qvx::Test::RunXmp(k4, qvx::Test::Packet("<pdfaid:rev>2020</pdfaid:rev>", "4", "F"), v, true);
    EXPECT_EQ(run.codes, Set{7113});
    std::string relabelled = PDF::WriteXmpPacket(k4, run.values, run.holder);
    EXPECT_EQ(relabelled.find("conformance"), std::string::npos);
    std::string four_f = PDF::WriteXmpPacket(k4F, v, nullptr);
    EXPECT_EQ(ExempiGet(four_f, "pdfaid:conformance"), "F");
    EXPECT_EQ(qvx::Test::Codes(k4F, four_f, v), Set{});
}

TEST(XmpWriter, KeepsTheOtherPropertiesOfAHandedOverPacket)
{
    // A 2B packet lacking only its identification is handed over and completed.
    std::string original = qvx::Test::kBegin +
                           qvx::Test::XmpBody("<xmp:Nickname>nick</xmp:Nickname><xmp:Rating>4</xmp:Rating>"
                                              "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">Old</rdf:li>"
                                              "<rdf:li xml:lang=\"de\">Alt</rdf:li></rdf:Alt></dc:title>") +
                           qvx::Test::kEnd;
    PDF::DocInfoValues v = Values();
    qvx::Test::XmpRun run = qvx::Test::RunXmp(k2B, original, v, true);
    EXPECT_EQ(run.codes, Set{7111});
    ASSERT_TRUE(run.holder) << "identification findings do not prevent the hand-over";
    std::string packet = PDF::WriteXmpPacket(k2B, run.values, run.holder);
    EXPECT_EQ(ExempiGet(packet, "xmp:Nickname"), "nick");
    EXPECT_EQ(ExempiGet(packet, "xmp:Rating"), "4");
    EXPECT_EQ(ExempiGet(packet, "pdfaid:part"), "2");
    EXPECT_NE(packet.find("xml:lang=\"de\""), std::string::npos) << "other languages of dc:title stay";
    EXPECT_EQ(qvx::Test::Codes(k2B, packet, run.values), Set{});

    // A packet with an undescribed property is not handed over: the new one holds only ours.
    std::string undescribed = original;
    undescribed.insert(undescribed.find("</rdf:RDF>"),
                       "<rdf:Description rdf:about=\"\" xmlns:o=\"http://example.com/o/\"><o:b>1</o:b></rdf:Description>");
    run = qvx::Test::RunXmp(k2B, undescribed, v, true);
    EXPECT_FALSE(run.holder);
    packet = PDF::WriteXmpPacket(k2B, run.values, run.holder);
    EXPECT_EQ(packet.find("example.com"), std::string::npos);
    EXPECT_EQ(packet.find("Nickname"), std::string::npos);
    EXPECT_EQ(qvx::Test::Codes(k2B, packet, run.values), Set{});
}

TEST(XmpWriter, PDFUAPacket)
{
    Common::UString title = Common::UString::FromUTF8("Doc\ttitle");
    std::string packet = PDF::WriteXmpPacketUA(qvx::Test::Packet("<xmp:Nickname>n</xmp:Nickname>"), title);
    EXPECT_EQ(title.ToUTF8(), "Doc title");
    EXPECT_EQ(ExempiGet(packet, "xmp:Nickname"), "n");
    EXPECT_NE(packet.find(">Doc title<"), std::string::npos);
    SDF::CheckState state;
    state.level = 12;
    state.is_pdfua = true;
    PDF::XmpCheckContext ctx{state, 5};
    PDF::XmpUAResult ua = PDF::ValidateXmpPacketUA(ctx, packet);
    EXPECT_TRUE(state.errors.Empty());
    EXPECT_EQ(ua.part.ToUTF8(), "1");
    EXPECT_EQ(PDF::WriteXmpPacketUA("<broken", title), "");
    // Without the pdfuaid schema, or with another part.
    PDF::ValidateXmpPacketUA(ctx, qvx::Test::Packet(""));
    EXPECT_TRUE(state.errors.Has(-151));
    std::string two = packet;
    two.replace(two.find("<pdfuaid:part>1<"), 16, "<pdfuaid:part>2<");
    SDF::CheckState s2;
    s2.level = 12;
    PDF::XmpCheckContext ctx2{s2, 5};
    PDF::ValidateXmpPacketUA(ctx2, two);
    EXPECT_TRUE(s2.errors.Has(-153));
}
