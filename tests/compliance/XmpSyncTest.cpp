#include <gtest/gtest.h>

#include "pdf/compliance/XmpDates.h"
#include "tests/compliance/XmpTestSupport.h"
#include "tests/compliance/Levels.h"

using namespace qvx;
using qvx::Test::Packet;
using Set = std::set<int>;

namespace {

using qvx::Test::k1B, qvx::Test::k2B, qvx::Test::k4;

PDF::DocInfoValues Info()
{
    PDF::DocInfoValues v;
    v.creation_date = *PDF::PDFDate::Parse("D:20200102120000+01'00'");
    v.mod_date = *PDF::PDFDate::Parse("D:20200102120000+01'00'");
    v.has_creation_date = v.has_mod_date = true;
    v.title = Common::UString::FromUTF8("Title");
    v.author = Common::UString::FromUTF8("Ann");
    v.has_title = v.has_author = true;
    return v;
}

std::string Dates(const std::string& create, const std::string& modify)
{
    return "<xmp:CreateDate>" + create + "</xmp:CreateDate><xmp:ModifyDate>" + modify + "</xmp:ModifyDate>";
}

std::string Title(const std::string& t)
{
    return "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">" + t + "</rdf:li></rdf:Alt></dc:title>";
}

std::string Creator(const std::string& kind, const std::string& items)
{
    return "<dc:creator><rdf:" + kind + ">" + items + "</rdf:" + kind + "></dc:creator>";
}

const std::string kAgreeing = Dates("2020-01-02T11:00:00Z", "2020-01-02T12:00:00+01:00") + Title("Title") +
                              Creator("Seq", "<rdf:li>Ann</rdf:li>");

}  // namespace

TEST(XmpSync, DatesCompareInUtc)
{
    EXPECT_EQ(qvx::Test::Codes(k1B, Packet(kAgreeing), Info()), Set{});
    std::string fraction = Dates("2020-01-02T11:00:00.5Z", "2020-01-02T11:00:00Z") + Title("Title") +
                           Creator("Seq", "<rdf:li>Ann</rdf:li>");
    EXPECT_EQ(qvx::Test::Codes(k1B, Packet(fraction), Info()), Set{737});
    EXPECT_EQ(qvx::Test::Codes(k1B, Packet(Title("Title") + Creator("Seq", "<rdf:li>Ann</rdf:li>")), Info()), (Set{737, 738}));
    EXPECT_EQ(qvx::Test::Codes(k1B, Packet(Dates("2020", "never") + Title("Title") + Creator("Seq", "<rdf:li>Ann</rdf:li>")), Info()),
              (Set{723, 737, 781})) << "a date that is no date also leaves its namespace undescribed";
    // Later parts take the packet's dates without comparing, and ask none where Info has one.
    EXPECT_EQ(qvx::Test::Codes(k2B, Packet(Title("Title") + Creator("Seq", "<rdf:li>Ann</rdf:li>"), "2", "B"), Info()), Set{});
    qvx::Test::XmpRun run = qvx::Test::RunXmp(k2B, Packet(Dates("2019-05-06T07:08:09-02:30", "2019-05-06T07:08:09Z"), "2", "B"), Info());
    EXPECT_EQ(run.codes, Set{});
    EXPECT_EQ(run.values.creation_date.Format(), "D:20190506070809-02'30'");
    EXPECT_EQ(run.values.mod_date.Format(), "D:20190506070809Z");
}

TEST(XmpSync, NewerInfoKeepsItsTexts)
{
    // Info ModDate later than xmp:ModifyDate: 738, and the differing title keeps the Info text.
    std::string older = Dates("2020-01-02T11:00:00Z", "2019-01-01T00:00:00Z") + Title("Other") +
                        Creator("Seq", "<rdf:li>Ann</rdf:li>");
    qvx::Test::XmpRun run = qvx::Test::RunXmp(k1B, Packet(older), Info());
    EXPECT_EQ(run.codes, (Set{731, 738}));
    EXPECT_TRUE(run.values.info_newer);
    EXPECT_EQ(run.values.title.ToUTF8(), "Title");
    EXPECT_EQ(run.values.mod_date, Info().mod_date);
    // XMP newer: the XMP text and date win.
    std::string newer = Dates("2020-01-02T11:00:00Z", "2021-01-01T00:00:00Z") + Title("Other") +
                        Creator("Seq", "<rdf:li>Ann</rdf:li>");
    run = qvx::Test::RunXmp(k1B, Packet(newer), Info());
    EXPECT_EQ(run.codes, (Set{731, 738}));
    EXPECT_EQ(run.values.title.ToUTF8(), "Other");
    EXPECT_EQ(run.values.mod_date.year, 2021);
}

TEST(XmpSync, TextForms)
{
    std::string dates = Dates("2020-01-02T11:00:00Z", "2020-01-02T11:00:00Z");
    auto codes = [&](int level, const std::string& body, const PDF::DocInfoValues& v) {
        return qvx::Test::Codes(level, Packet(dates + body, level == k1B ? "1" : "2", "B"), v);
    };
    // A bag is also no "seq propername", so Dublin Core needs a description as well.
    EXPECT_EQ(codes(k1B, Title("Title") + Creator("Bag", "<rdf:li>Ann</rdf:li>"), Info()), (Set{739, 781}));
    EXPECT_EQ(codes(k1B, Title("Title") + Creator("Seq", "<rdf:li>Ann</rdf:li><rdf:li>Bob</rdf:li>"), Info()), Set{739});
    EXPECT_EQ(codes(k1B, Title("Title") + Creator("Bag", "<rdf:li>Bob</rdf:li>"), Info()), (Set{732, 781}));
    EXPECT_EQ(codes(k1B, Creator("Seq", "<rdf:li>Ann</rdf:li>"), Info()), Set{731});
    // A language alternative without an x-default item, even one whose only item agrees.
    std::string english = "<dc:title><rdf:Alt><rdf:li xml:lang=\"en\">Title</rdf:li></rdf:Alt></dc:title>";
    EXPECT_EQ(codes(k1B, english + Creator("Seq", "<rdf:li>Ann</rdf:li>"), Info()), Set{739});
    std::string german = "<dc:description><rdf:Alt><rdf:li xml:lang=\"de\">d</rdf:li></rdf:Alt></dc:description>";
    EXPECT_EQ(codes(k2B, german, Info()), Set{739});
    EXPECT_EQ(codes(k1B, "<dc:title><rdf:Alt><rdf:li xml:lang=\"en\">E</rdf:li><rdf:li xml:lang=\"X-Default\">Title"
                         "</rdf:li></rdf:Alt></dc:title>" + Creator("Seq", "<rdf:li>Ann</rdf:li>"), Info()),
              Set{}) << "the x-default item need not come first, and its tag is read case-blind";
    EXPECT_EQ(codes(k2B, Creator("Seq", "<rdf:li>Ann</rdf:li>"), Info()), Set{}) << "only PDF/A-1 asks Info's texts of the packet";
    EXPECT_EQ(codes(k1B, Title("Title") + Creator("Seq", "<rdf:li>Ann</rdf:li>") +
                             "<pdf:Producer><rdf:Bag><rdf:li>p</rdf:li></rdf:Bag></pdf:Producer>", Info()),
              (Set{739, 781}));
    PDF::DocInfoValues v = Info();
    v.keywords = Common::UString::FromUTF8("k");
    v.has_keywords = true;
    EXPECT_EQ(codes(k1B, Title("Title") + Creator("Seq", "<rdf:li>Ann</rdf:li>"), v), Set{734});
    EXPECT_EQ(codes(k1B, Title("Title") + Creator("Seq", "<rdf:li>Ann</rdf:li>") + "<pdf:Keywords>k</pdf:Keywords>", v), Set{});
    // A title or description written as plain text is no language alternative, though the
    // toolkit reads it as one; at PDF/A-4 too, where no type table is consulted.
    EXPECT_EQ(codes(k1B, "<dc:title>Title</dc:title>" + Creator("Seq", "<rdf:li>Ann</rdf:li>"), Info()), (Set{739, 781}));
    const std::string rev = "<pdfaid:rev>2020</pdfaid:rev>";
    EXPECT_EQ(qvx::Test::Codes(k4, Packet(rev + "<dc:description>d</dc:description>", "4", "")), Set{739});
    EXPECT_EQ(qvx::Test::Codes(k4, Packet(rev + "<dc:description><rdf:Alt><rdf:li xml:lang=\"x-default\">d</rdf:li>"
                                                "</rdf:Alt></dc:description>", "4", "")),
              Set{});
    // PDF/A-2 and later: no comparison, the packet's text is taken.
    qvx::Test::XmpRun run = qvx::Test::RunXmp(k2B, Packet(dates + Title("Other"), "2", "B"), Info());
    EXPECT_EQ(run.codes, Set{});
    EXPECT_EQ(run.values.title.ToUTF8(), "Other");
}

TEST(XmpSync, DateConversions)
{
    XmpDateTime noon_plus1 = PDF::InfoDateToXmp(*PDF::PDFDate::Parse("D:20200102120000+01'00'"));
    XmpDateTime eleven_utc = PDF::InfoDateToXmp(*PDF::PDFDate::Parse("D:20200102110000Z"));
    EXPECT_EQ(PDF::CompareXmpDates(noon_plus1, eleven_utc), 0);
    XmpDateTime zero_offset = PDF::InfoDateToXmp(*PDF::PDFDate::Parse("D:20200102110000+00'00'"));
    EXPECT_EQ(zero_offset.tzSign, 0);
    XmpDateTime clamped = PDF::InfoDateToXmp(*PDF::PDFDate::Parse("D:20200102110000-99'99'"));
    EXPECT_EQ(clamped.tzHour, 23);
    EXPECT_EQ(clamped.tzMinute, 59);
    EXPECT_LT(PDF::CompareXmpDates(eleven_utc, PDF::InfoDateToXmp(*PDF::PDFDate::Parse("D:2020010211"))), 1);
    // Across midnight and a month end.
    XmpDateTime late = PDF::InfoDateToXmp(*PDF::PDFDate::Parse("D:20200131233000-01'00'"));
    XmpDateTime early = PDF::InfoDateToXmp(*PDF::PDFDate::Parse("D:20200201003000Z"));
    EXPECT_EQ(PDF::CompareXmpDates(late, early), 0);
    EXPECT_EQ(PDF::XmpDateText(late), "2020-01-31T23:30:00-01:00");
    EXPECT_EQ(PDF::XmpDateText(zero_offset), "2020-01-02T11:00:00Z");
    early.nanoSecond = 250000000;
    EXPECT_EQ(PDF::XmpDateText(early), "2020-02-01T00:30:00.25Z");
    // A zone may follow fewer fields than all six.
    EXPECT_EQ(PDF::CompareXmpDates(eleven_utc, PDF::InfoDateToXmp(*PDF::PDFDate::Parse("D:202001021200+01'00'"))), 0);
    EXPECT_EQ(PDF::PDFDate::Parse("D:2020010211Z")->Format(), "D:20200102110000Z");
    EXPECT_FALSE(PDF::PDFDate::Parse("D:20x0"));
    EXPECT_EQ(PDF::PDFDate::Parse("D:2020")->Format(), "D:20200101000000");
}
