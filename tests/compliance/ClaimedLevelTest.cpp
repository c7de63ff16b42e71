#include <gtest/gtest.h>

#include "common/Exception.h"
#include "pdf/compliance/ClaimedLevel.h"
#include "tests/compliance/ComplianceTestSupport.h"

using namespace qvx::Test;
using qvx::PDF::LevelFromClaim;
using qvx::PDF::ReadClaimedLevel;

namespace {

int Claimed(const std::string& pdf, const std::string& password = {})
{
    return ReadClaimedLevel(qvx::PDF::RunInput(ToBytes(pdf)), password);
}

// The clean one-page file with another metadata stream.
std::string WithMetadata(const std::string& dict, const std::string& data)
{
    PdfBuilder b = CleanFile(4);
    b.SetStream(5, dict, data);
    return b.Build();
}

}  // namespace

TEST(ClaimedLevel, PartAndConformancePairs)
{
    const std::tuple<const char*, const char*, int> cases[] = {
        {"1", "A", 1}, {"1", "b", 2}, {"2", "A", 3}, {"2", "B", 4},  {"2", "u", 5},  {"3", "A", 6},
        {"3", "B", 7}, {"3", "U", 8}, {"4", "", 9},  {"4", "e", 10}, {"4", "F", 11},
        // Pairs that name no level.
        {"1", "U", 0}, {"1", "", 0},  {"2", "", 0},  {"4", "B", 0},  {"5", "A", 0},  {"", "B", 0},
        {"01", "B", 0}, {"2", "BB", 0}, {" 2", "B", 0},
    };
    for (const auto& [part, conformance, level] : cases)
        EXPECT_EQ(LevelFromClaim(part, conformance), level) << part << "/" << conformance;
}

TEST(ClaimedLevel, ReadFromTheFilesMetadata)
{
    for (int level = 1; level <= 11; ++level) EXPECT_EQ(Claimed(CleanFile(level).Build()), level) << level;
    const std::string xmp = "/Type/Metadata/Subtype/XML";
    // The claim as attributes of the description rather than elements.
    std::string attributes = std::string(kBegin) +
                             "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
                             "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
                             "rdf:about=\"\" xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\" pdfaid:part=\"3\" "
                             "pdfaid:conformance=\"U\"/></rdf:RDF></x:xmpmeta>" + kEnd;
    EXPECT_EQ(Claimed(WithMetadata(xmp, attributes)), 8);
    // No claim: no Metadata stream, a packet without pdfaid:part, a packet the toolkit
    // refuses, bytes that are no XML at all, a claim that names no level.
    EXPECT_EQ(Claimed(PdfBuilder::Minimal().Build()), 0);
    EXPECT_EQ(Claimed(WithMetadata(xmp, kBegin + XmpBody("<pdfaid:conformance>B</pdfaid:conformance>") + kEnd)), 0);
    EXPECT_EQ(Claimed(WithMetadata(xmp, kBegin + XmpBody("<pdfaid:part>2") + kEnd)), 0);
    EXPECT_EQ(Claimed(WithMetadata(xmp, "\x01\x02 not xml")), 0);
    EXPECT_EQ(Claimed(WithMetadata(xmp, "<!DOCTYPE x [<!ENTITY a 'b'>]>" + XmpBody(Ident("2", "B")))), 0);
    EXPECT_EQ(Claimed(WithMetadata(xmp, kBegin + XmpBody(Ident("4", "B")) + kEnd)), 0);
    // A stream whose filter fails to decode claims nothing either.
    EXPECT_EQ(Claimed(WithMetadata(xmp + "/Filter/FlateDecode", "not deflated")), 0);
    // A file that cannot be opened fails as the compliance run would.
    EXPECT_THROW(Claimed("%PDF-1.7\n"), qvx::Common::Exception);
}
