#include <gtest/gtest.h>

#include "tests/compliance/XmpTestSupport.h"
#include "tests/compliance/Levels.h"

using namespace qvx;
using qvx::Test::Packet;
using Set = std::set<int>;

namespace {

using qvx::Test::k1B, qvx::Test::k2B, qvx::Test::k4;

const std::string kNs = " xmlns:pdfaExtension=\"http://www.aiim.org/pdfa/ns/extension/\""
                        " xmlns:pdfaSchema=\"http://www.aiim.org/pdfa/ns/schema#\""
                        " xmlns:pdfaProperty=\"http://www.aiim.org/pdfa/ns/property#\""
                        " xmlns:pdfaType=\"http://www.aiim.org/pdfa/ns/type#\""
                        " xmlns:pdfaField=\"http://www.aiim.org/pdfa/ns/field#\"";

std::string Property(const std::string& name, const std::string& type)
{
    return "<rdf:li rdf:parseType=\"Resource\"><pdfaProperty:name>" + name + "</pdfaProperty:name>"
           "<pdfaProperty:valueType>" + type + "</pdfaProperty:valueType><pdfaProperty:category>external"
           "</pdfaProperty:category><pdfaProperty:description>d</pdfaProperty:description></rdf:li>";
}

std::string Schema(const std::string& properties, const std::string& value_types = "", bool with_uri = true)
{
    std::string s = "<rdf:li rdf:parseType=\"Resource\"><pdfaSchema:schema>My</pdfaSchema:schema>";
    if (with_uri) s += "<pdfaSchema:namespaceURI>http://example.com/my/</pdfaSchema:namespaceURI>";
    s += "<pdfaSchema:prefix>my</pdfaSchema:prefix><pdfaSchema:property><rdf:Seq>" + properties +
         "</rdf:Seq></pdfaSchema:property>";
    if (!value_types.empty()) s += "<pdfaSchema:valueType><rdf:Seq>" + value_types + "</rdf:Seq></pdfaSchema:valueType>";
    return s + "</rdf:li>";
}

std::string ValueType(const std::string& type, const std::string& field_type)
{
    return "<rdf:li rdf:parseType=\"Resource\"><pdfaType:type>" + type + "</pdfaType:type>"
           "<pdfaType:namespaceURI>http://example.com/t/</pdfaType:namespaceURI><pdfaType:prefix>t</pdfaType:prefix>"
           "<pdfaType:description>d</pdfaType:description><pdfaType:field><rdf:Seq><rdf:li rdf:parseType=\"Resource\">"
           "<pdfaField:name>f</pdfaField:name><pdfaField:valueType>" + field_type + "</pdfaField:valueType>"
           "<pdfaField:description>d</pdfaField:description></rdf:li></rdf:Seq></pdfaType:field></rdf:li>";
}

// A packet using my:a (simple) and my:s (a struct with field t:f), described by schemas.
std::string WithSchemas(const std::string& schemas, const std::string& ns = kNs, const std::string& part = "1",
                        const std::string& conf = "B")
{
    std::string desc = "<rdf:Description rdf:about=\"\"" + ns + "><pdfaExtension:schemas><rdf:Bag>" + schemas +
                       "</rdf:Bag></pdfaExtension:schemas></rdf:Description>"
                       "<rdf:Description rdf:about=\"\" xmlns:my=\"http://example.com/my/\" xmlns:t=\"http://example.com/t/\">"
                       "<my:a>1</my:a><my:s rdf:parseType=\"Resource\"><t:f>x</t:f></my:s></rdf:Description>";
    std::string p = Packet("", part, conf);
    p.insert(p.find("</rdf:RDF>"), desc);
    return p;
}

const std::string kGoodSchema = Schema(Property("a", "Text") + Property("s", "MyStruct"), ValueType("MyStruct", "Text"));

}  // namespace

TEST(XmpExtensionSchema, DescribedNamespacesPass)
{
    EXPECT_EQ(qvx::Test::Codes(k1B, WithSchemas(kGoodSchema)), Set{});
    EXPECT_EQ(qvx::Test::Codes(k2B, WithSchemas(kGoodSchema, kNs, "2", "B")), Set{});
    // Not described at all.
    std::string bare = Packet("<xmp:Nickname>n</xmp:Nickname>");
    bare.insert(bare.find("</rdf:RDF>"), "<rdf:Description rdf:about=\"\" xmlns:my=\"http://example.com/my/\"><my:a>1</my:a></rdf:Description>");
    EXPECT_EQ(qvx::Test::Codes(k1B, bare), Set{781});
    EXPECT_EQ(qvx::Test::Codes(k4, WithSchemas("", kNs, "4", "") .replace(0, 0, "")), Set{46735})
        << "PDF/A-4 checks no extension schemas, only its identification";
}

TEST(XmpExtensionSchema, PropertyDescriptions)
{
    // A property the document does not use, and one used but not described.
    EXPECT_EQ(qvx::Test::Codes(k1B, WithSchemas(Schema(Property("a", "Text") + Property("s", "MyStruct") +
                                                           Property("unused", "Text"),
                                                       ValueType("MyStruct", "Text")))),
              Set{789});
    EXPECT_EQ(qvx::Test::Codes(k1B, WithSchemas(Schema(Property("s", "MyStruct"), ValueType("MyStruct", "Text")))),
              Set{789});
    EXPECT_EQ(qvx::Test::Codes(k1B, WithSchemas(Schema(Property("a", "Text") + Property("s", "MyStruct"), "", false))),
              Set{782});
    std::string no_value_type = Schema("<rdf:li rdf:parseType=\"Resource\"><pdfaProperty:name>a</pdfaProperty:name></rdf:li>" +
                                       Property("s", "Text"));
    // s declared Text but used as a struct is not checked without a custom type.
    EXPECT_EQ(qvx::Test::Codes(k1B, WithSchemas(no_value_type)), Set{7810});
    // Another namespace stays undescribed.
    std::string other = WithSchemas(kGoodSchema);
    other.insert(other.find("</rdf:RDF>"), "<rdf:Description rdf:about=\"\" xmlns:o=\"http://example.com/o/\"><o:b>1</o:b></rdf:Description>");
    EXPECT_EQ(qvx::Test::Codes(k1B, other), Set{781});
}

TEST(XmpExtensionSchema, CustomValueTypes)
{
    // The custom type is not described.
    EXPECT_EQ(qvx::Test::Codes(k1B, WithSchemas(Schema(Property("a", "Text") + Property("s", "MyStruct")))),
              (Set{7816, 7818}));
    // Described under another name, and a field whose custom type is described nowhere.
    EXPECT_EQ(qvx::Test::Codes(k1B, WithSchemas(Schema(Property("a", "Text") + Property("s", "MyStruct"),
                                                       ValueType("Other", "Text")))),
              Set{7818});
    EXPECT_EQ(qvx::Test::Codes(k1B, WithSchemas(Schema(Property("a", "Text") + Property("s", "MyStruct"),
                                                       ValueType("MyStruct", "Undescribed")))),
              Set{7830});
    // A type with fields for a property used as simple text.
    EXPECT_EQ(qvx::Test::Codes(k1B, WithSchemas(Schema(Property("a", "MyStruct") + Property("s", "Text"),
                                                       ValueType("MyStruct", "Text")))),
              Set{7831});
}

TEST(XmpExtensionSchema, ContainerForms)
{
    std::string seq = WithSchemas(kGoodSchema);
    seq.replace(seq.find("<rdf:Bag>"), 9, "<rdf:Seq>");
    seq.replace(seq.find("</rdf:Bag>"), 10, "</rdf:Seq>");
    EXPECT_EQ(qvx::Test::Codes(k1B, seq), Set{784});
    // The namespace is used, but not for pdfaExtension:schemas.
    std::string none = WithSchemas(kGoodSchema);
    none.replace(none.find("pdfaExtension:schemas>"), 21, "pdfaExtension:other");
    none.replace(none.find("pdfaExtension:schemas>"), 21, "pdfaExtension:other");
    EXPECT_EQ(qvx::Test::Codes(k1B, none), Set{783});
    // The packet binds the field namespace to another prefix.
    std::string ns = kNs;
    ns.replace(ns.find("xmlns:pdfaField"), 15, "xmlns:myField");
    std::string renamed = WithSchemas(kGoodSchema, ns);
    for (std::size_t p; (p = renamed.find("pdfaField:")) != std::string::npos;) renamed.replace(p, 10, "myField:");
    EXPECT_EQ(qvx::Test::Codes(k1B, renamed), Set{7815});
}
