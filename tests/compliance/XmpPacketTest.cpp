#include <gtest/gtest.h>

#include <tuple>

#include "common/Exception.h"
#include "common/Limits.h"
#include "pdf/compliance/XmpPacketScan.h"
#include "tests/compliance/XmpTestSupport.h"
#include "tests/compliance/Levels.h"

using namespace qvx;
using qvx::Test::Codes;
using qvx::Test::Packet;
using Set = std::set<int>;

namespace {

using qvx::Test::k1B, qvx::Test::k2B, qvx::Test::k2U, qvx::Test::k4, qvx::Test::k4F;

std::string Utf16(const std::string& ascii, bool big, bool bom)
{
    std::string out = bom ? (big ? "\xFE\xFF" : "\xFF\xFE") : "";
    for (char c : ascii) {
        out += big ? '\0' : c;
        out += big ? c : '\0';
    }
    return out;
}

std::string Utf32LE(const std::string& ascii)
{
    std::string out;
    for (char c : ascii) out += std::string(1, c) + std::string(3, '\0');
    return out;
}

}  // namespace

TEST(XmpPacket, WrapperInstructions)
{
    EXPECT_EQ(Codes(k1B, Packet("")), Set{});
    std::string bare = qvx::Test::XmpBody(qvx::Test::Ident("1", "B"));
    EXPECT_EQ(Codes(k1B, bare), Set{725});
    EXPECT_EQ(Codes(k1B, "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\" bytes=\"1234\"?>" + bare + qvx::Test::kEnd),
              Set{751});
    EXPECT_EQ(Codes(k1B, qvx::Test::kBegin + bare + "<?xpacket end=\"w\" encoding=\"x\"?>"), Set{751});
    // Another instruction mentioning the words is not the wrapper.
    EXPECT_EQ(Codes(k1B, "<?other encoding bytes?>" + bare), Set{725});
}

TEST(XmpPacket, BrokenAndHostileTextIsInvalidMetadata)
{
    EXPECT_EQ(Codes(k1B, "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF"), Set{723});
    EXPECT_EQ(Codes(k1B, "not xml at all"), Set{723});
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>" +
                         qvx::Test::XmpBody("<dc:format>&b;</dc:format>");
    EXPECT_EQ(Codes(k1B, laughs), Set{723});
    // Nesting past the limit never reaches the toolkit, which would recurse off the stack.
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<a>";
    EXPECT_EQ(Codes(k1B, Packet("<dc:format>" + deep + "</dc:format>")), Set{723});
}

TEST(XmpPacket, NestingLimitAndChunkBuffer)
{
    std::string ok, over;
    for (std::uint32_t i = 0; i < Common::Limits::kXmpMaxNesting; ++i) ok += "<a>";
    over = ok + "<a>";
    EXPECT_NO_THROW(PDF::ScanXmpPacket(ok));
    EXPECT_THROW(PDF::ScanXmpPacket(over), Common::Exception);
    EXPECT_NO_THROW(PDF::ScanXmpPacket("<a/><a/><a b='>'/>" + ok));

    PDF::XmpPacketBuffer buffer;
    buffer.Append(std::string(1024, ' '), true);
    EXPECT_FALSE(buffer.Complete());
    buffer.Append("", false);
    EXPECT_TRUE(buffer.Complete());
    EXPECT_EQ(buffer.Bytes().size(), 1024u);
    EXPECT_THROW(buffer.Append("x", false), Common::Exception);
    PDF::XmpPacketBuffer big;
    EXPECT_THROW(big.Append(std::string(Common::Limits::kXmpMaxPacketBytes + 1, ' '), false), Common::Exception);
}

TEST(XmpPacket, EncodingsAndDeclaredPrefixes)
{
    std::string p = Packet("");
    EXPECT_EQ(Codes(k1B, Utf16(p, true, true)), Set{});
    EXPECT_EQ(Codes(k1B, Utf16(p, false, false)), Set{});
    EXPECT_EQ(Codes(k1B, Utf32LE(p)), Set{}) << "Exempi alone cannot read UTF-32";
    // An XML declaration that names the packet's own encoding.
    EXPECT_EQ(Codes(k1B, Utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + p, true, true)), Set{});
    EXPECT_EQ(Codes(k1B, Utf32LE("<?xml version=\"1.0\" encoding=\"UTF-32\"?>" + p)), Set{});
    // PDF/A-4 takes UTF-8 only: other encodings, and bytes that are not UTF-8, are invalid.
    std::string p4 = Packet("<pdfaid:rev>2020</pdfaid:rev>", "4", "");
    EXPECT_EQ(Codes(k4, p4), Set{});
    EXPECT_EQ(Codes(k4, Utf16(p4, false, true)), Set{723});
    EXPECT_EQ(Codes(k4, Utf16(p4, true, false)), Set{723});
    EXPECT_EQ(Codes(k4, Packet("<dc:format>caf\xE9/x</dc:format><pdfaid:rev>2020</pdfaid:rev>", "4", "")), Set{723});
    EXPECT_EQ(Codes(k2B, Utf16(Packet("", "2", "B"), false, true)), Set{});
    PDF::XmpPacketScan scan = PDF::ScanXmpPacket(p);
    EXPECT_TRUE(scan.wrapper_seen);
    EXPECT_EQ(scan.declared_prefixes.at("http://www.aiim.org/pdfa/ns/id/"), std::set<std::string>{"pdfaid"});
}

TEST(XmpPacket, XmpBasicNamesAndIdentifier)
{
    EXPECT_EQ(Codes(k1B, Packet("<xmp:Nonsense>x</xmp:Nonsense>")), (Set{724, 781}));
    // Thumbnails items match "Thumbnail"; at PDF/A-4 the names are not checked.
    EXPECT_EQ(Codes(k4, Packet("<xmp:Nonsense>x</xmp:Nonsense><pdfaid:rev>2020</pdfaid:rev>", "4", "")), Set{});
    // xmp:Rating is a basic name, but PDF/A-1 does not predefine it.
    EXPECT_EQ(Codes(k1B, Packet("<xmp:Rating>3</xmp:Rating>")), Set{781});
    EXPECT_EQ(Codes(k2B, Packet("<xmp:Rating>3</xmp:Rating>", "2", "B")), Set{});
    EXPECT_EQ(Codes(k1B, Packet("<xmp:Identifier>abc</xmp:Identifier>")), (Set{739, 781}));
    EXPECT_EQ(Codes(k1B, Packet("<xmp:Identifier><rdf:Bag><rdf:li>abc</rdf:li></rdf:Bag></xmp:Identifier>")), Set{});

    // Conversion deletes the offending properties; nothing was handed over to keep.
    qvx::Test::XmpRun run = qvx::Test::RunXmp(k1B, Packet("<xmp:Nonsense>x</xmp:Nonsense>"), {}, true);
    EXPECT_TRUE(run.codes.count(724));
    EXPECT_FALSE(run.holder);
    run = qvx::Test::RunXmp(k1B, Packet(""), {}, true);
    EXPECT_TRUE(run.holder) << "a clean packet is handed to the writer";
}

TEST(XmpPacket, PredefinedValueTypes)
{
    EXPECT_EQ(Codes(k1B, Packet("<xmpRights:Marked>True</xmpRights:Marked>")), Set{});
    EXPECT_EQ(Codes(k1B, Packet("<xmpRights:Marked>true</xmpRights:Marked>")), Set{781});
    EXPECT_EQ(Codes(k1B, Packet("<dc:format>application/pdf</dc:format>")), Set{});
    EXPECT_EQ(Codes(k1B, Packet("<dc:format>pdf</dc:format>")), Set{781});
    EXPECT_EQ(Codes(k1B, Packet("<dc:date><rdf:Seq><rdf:li>2020-01-02</rdf:li></rdf:Seq></dc:date>")), Set{});
    EXPECT_EQ(Codes(k1B, Packet("<dc:date><rdf:Seq><rdf:li>yesterday</rdf:li></rdf:Seq></dc:date>")), Set{781});
    const std::string tiff = " xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\"";
    auto with_tiff = [&](const std::string& body) {
        return qvx::Test::kBegin + std::string("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
               "<rdf:Description rdf:about=\"\" xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\"") + tiff + ">" + body +
               qvx::Test::Ident("1", "B") + "</rdf:Description></rdf:RDF></x:xmpmeta>" + qvx::Test::kEnd;
    };
    EXPECT_EQ(Codes(k1B, with_tiff("<tiff:XResolution>-.5</tiff:XResolution><tiff:ImageWidth>+12</tiff:ImageWidth>")), Set{});
    EXPECT_EQ(Codes(k1B, with_tiff("<tiff:ImageWidth>12px</tiff:ImageWidth>")), Set{781});
    // The edges of each patterned type: whole values only, one point in a real, one slash
    // in a MIME type, the fixed shape of a GPS coordinate.
    auto codes = [&](const std::string& prop, const std::string& ns, const std::string& value) {
        std::string prefix = prop.substr(0, prop.find(':'));
        return Codes(k2B, Packet("<" + prop + " xmlns:" + prefix + "=\"" + ns + "\">" + value + "</" + prop + ">",
                                 "2", "B"));
    };
    const std::string dm = "http://ns.adobe.com/xmp/1.0/DynamicMedia/", exif = "http://ns.adobe.com/exif/1.0/";
    const std::string tiff_ns = "http://ns.adobe.com/tiff/1.0/", dc = "http://purl.org/dc/elements/1.1/";
    const std::vector<std::tuple<std::string, std::string, std::vector<std::string>, std::vector<std::string>>> cases = {
        {"xmpDM:tempo", dm, {"5.", "+0.25", "-.5", "12"}, {".", "1.2.3", "-", "1e5", "", " 1"}},
        {"tiff:ImageWidth", tiff_ns, {"-007", "+12"}, {"+", "1.0", " 12", "12 "}},
        {"dc:format", dc, {"image/svg+xml", "application/x_y.z-1"},
         {"a/b/c", "/pdf", "application/", "app lication/pdf", "caf\xC3\xA9/pdf"}},
        {"exif:GPSLatitude", exif, {"12,34,56N", "12,34.56W"},
         {"12,34,56X", "1,34,56N", "12,34;56N", "12,34,56NN", "ab,cd,efN"}},
    };
    for (const auto& [prop, ns, good_values, bad_values] : cases) {
        for (const std::string& v : good_values) EXPECT_EQ(codes(prop, ns, v), Set{}) << prop << " " << v;
        for (const std::string& v : bad_values) EXPECT_EQ(codes(prop, ns, v), Set{781}) << prop << " " << v;
    }
    // A structured value: fields of the right namespace and type pass, others fail.
    const std::string size = "<xmpTPg:MaxPageSize xmlns:xmpTPg=\"http://ns.adobe.com/xap/1.0/t/pg/\""
                             " xmlns:stDim=\"http://ns.adobe.com/xap/1.0/sType/Dimensions#\" rdf:parseType=\"Resource\">"
                             "<stDim:w>W</stDim:w><stDim:unit>inch</stDim:unit></xmpTPg:MaxPageSize>";
    EXPECT_EQ(Codes(k1B, Packet(size)), Set{781});
    std::string good = size;
    good.replace(good.find(">W<"), 3, ">8.5<");
    EXPECT_EQ(Codes(k1B, Packet(good)), Set{});
    std::string foreign = good;
    foreign.replace(foreign.find("sType/Dimensions#"), 17, "sType/Other#");
    EXPECT_EQ(Codes(k1B, Packet(foreign)), Set{781});
}

TEST(XmpPacket, ValueTypesJudgeTheWrittenForm)
{
    // Forms the toolkit rewrites on parsing still fail: aliases of other schemas' properties,
    // a simple value where a bag is due, an Alt without languages, a Seq for a simple type.
    EXPECT_EQ(Codes(k1B, Packet("<xmp:Author>Someone</xmp:Author>")), Set{781});
    EXPECT_EQ(Codes(k1B, Packet("<pdf:Title><rdf:Alt><rdf:li xml:lang=\"x-default\">T</rdf:li></rdf:Alt></pdf:Title>")),
              Set{781});
    EXPECT_EQ(Codes(k1B, Packet("<dc:contributor>First contributor</dc:contributor>")), Set{781});
    // Their items get no x-default language either, so the title and subject texts are not there.
    EXPECT_EQ(Codes(k2B, Packet("<dc:title><rdf:Alt><rdf:li>T</rdf:li></rdf:Alt></dc:title>", "2", "B")),
              (Set{739, 781}));
    EXPECT_EQ(Codes(k2B, Packet("<dc:description><rdf:Seq><rdf:li>D</rdf:li></rdf:Seq></dc:description>", "2", "B")),
              (Set{739, 781}));
    EXPECT_EQ(Codes(k1B, Packet("<xmp:CreatorTool><rdf:Seq><rdf:li>Tool</rdf:li></rdf:Seq></xmp:CreatorTool>")),
              (Set{739, 781}));
    // The same properties in their own forms pass; so do attribute and qualified values.
    EXPECT_EQ(Codes(k1B, Packet("<dc:contributor><rdf:Bag><rdf:li>A</rdf:li></rdf:Bag></dc:contributor>"
                                "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">T</rdf:li></rdf:Alt></dc:title>"
                                "<xmp:CreatorTool>Tool</xmp:CreatorTool>"
                                "<xmpRights:Marked><rdf:Description><rdf:value>True</rdf:value></rdf:Description>"
                                "</xmpRights:Marked>")),
              Set{});
    // Aliases are no PDF/A-2 properties either.
    EXPECT_EQ(Codes(k2B, Packet("<pdf:Author>Someone</pdf:Author>", "2", "B")), Set{781});
}

TEST(XmpPacket, QualifiedSimpleValuesInEveryForm)
{
    // rdf:value gives the value of a qualified simple property however it is written: as an
    // attribute, among the fields of rdf:parseType="Resource", or in a Description inside.
    for (const char* form : {"<xmpRights:Marked rdf:value=\"True\"/>",
                             "<xmpRights:Marked rdf:parseType=\"Resource\"><rdf:value>True</rdf:value></xmpRights:Marked>",
                             "<xmpRights:Marked><rdf:Description rdf:value=\"True\"/></xmpRights:Marked>",
                             "<xmpRights:Marked><rdf:Description><rdf:value>True</rdf:value></rdf:Description>"
                             "</xmpRights:Marked>"}) {
        EXPECT_EQ(Codes(k1B, Packet(form)), Set{}) << form;
        EXPECT_EQ(Codes(k2B, Packet(form, "2", "B")), Set{}) << form;
    }
    // The value is still judged by its type.
    EXPECT_EQ(Codes(k2B, Packet("<xmpRights:Marked rdf:parseType=\"Resource\"><rdf:value>yes</rdf:value>"
                                "</xmpRights:Marked>", "2", "B")),
              Set{781});
    EXPECT_EQ(Codes(k1B, Packet("<xmpRights:Marked rdf:value=\"yes\"/>")), Set{781});
}

TEST(XmpPacket, PDFAIdentification)
{
    EXPECT_EQ(Codes(k1B, Packet("", "2", "B")), Set{7114});
    EXPECT_EQ(Codes(k2U, Packet("", "2", "A")), Set{7113});
    EXPECT_EQ(Codes(k2B, Packet("", "2", "U")), Set{});
    EXPECT_EQ(Codes(k1B, qvx::Test::kBegin + qvx::Test::XmpBody("") + qvx::Test::kEnd), Set{7111});
    EXPECT_EQ(Codes(k4, Packet("<pdfaid:rev>2020</pdfaid:rev>", "4", "")), Set{});
    EXPECT_EQ(Codes(k4, Packet("<pdfaid:rev>2020</pdfaid:rev>", "4", "B")), Set{7113});
    EXPECT_EQ(Codes(k4, Packet("<pdfaid:rev>20</pdfaid:rev>", "4", "")), Set{46735});
    EXPECT_EQ(Codes(k4, Packet("<pdfaid:rev>20x0</pdfaid:rev>", "4", "")), Set{46735});
    EXPECT_EQ(Codes(k4F, Packet("<pdfaid:rev>2020</pdfaid:rev>", "4", "")), (Set{7111}));
    EXPECT_EQ(Codes(k4F, Packet("<pdfaid:rev>2020</pdfaid:rev>", "4", "F")), Set{});
    // The identification under another namespace is no identification.
    std::string wrong = Packet("");
    wrong.replace(wrong.find("pdfa/ns/id/"), 11, "pdfa/ns/idX/");
    EXPECT_EQ(Codes(k1B, wrong), (Set{781, 7111}));
    // The right namespace under another prefix: PDF/A-1 wants "pdfaid".
    std::string renamed = Packet("");
    for (std::size_t p; (p = renamed.find("pdfaid")) != std::string::npos;) renamed.replace(p, 6, "pdfaX");
    EXPECT_EQ(Codes(k1B, renamed), Set{7112});
    EXPECT_EQ(Codes(k2B, renamed.replace(renamed.find(">1<"), 3, ">2<")), Set{});

    // rdf:RDF may stand without x:xmpmeta around it (WeasyPrint writes such packets, the
    // identification as attributes); an XML comment or declaration before it changes nothing.
    auto bare = [](const std::string& before, const std::string& attributes) {
        return qvx::Test::kBegin + before + "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
               "xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\"><rdf:Description rdf:about=\"\" " + attributes +
               "/></rdf:RDF>" + qvx::Test::kEnd;
    };
    EXPECT_EQ(Codes(k2B, bare("", "pdfaid:part=\"2\" pdfaid:conformance=\"B\"")), Set{});
    EXPECT_EQ(Codes(k2B, bare("<!-- made by hand -->", "pdfaid:part=\"2\" pdfaid:conformance=\"B\"")), Set{});
    EXPECT_EQ(Codes(k1B, bare("", "pdfaid:part=\"2\" pdfaid:conformance=\"B\"")), Set{7114});
    EXPECT_EQ(Codes(k2B, bare("", "pdfaid:part=\"2\"")), Set{7111});

    qvx::Test::XmpRun run = qvx::Test::RunXmp(k2B, Packet("", "2", "B"));
    EXPECT_EQ(run.values.part.ToUTF8(), "2");
    EXPECT_EQ(run.values.conformance.ToUTF8(), "B");
}
