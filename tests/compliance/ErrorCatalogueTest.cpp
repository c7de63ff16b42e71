#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "pdf/compliance/ErrorCatalogue.h"
#include "pdf/compliance/ErrorStoreReader.h"
#include "pdf/compliance/PDFUATranslation.h"
#include "sdf/Rules.h"

using namespace qvx::PDF;

TEST(ErrorCatalogue, RowsAreUniqueButOneAndLookupTakesTheFirst)
{
    auto rows = qvx::SDF::Rules();
    ASSERT_EQ(rows.size(), 282u);
    std::map<int, int> seen;
    for (const auto& r : rows) {
        ++seen[r.code];
        ASSERT_NE(r.message, nullptr);
        EXPECT_GT(std::string(r.message).size(), 0u) << r.code;
    }
    for (const auto& [code, n] : seen) EXPECT_EQ(n, code == -17111 ? 2 : 1) << code;
    EXPECT_EQ(rows.front().code, 10);
    EXPECT_EQ(rows.back().code, -172181);
    // -17111 stands for two rules; the ViewerPreferences one comes first.
    EXPECT_STREQ(FindErrorMessage(-17111),
                 "ViewerPreferences dictionary in the document catalog must contain DisplayDocTitle key and set to true.");
    EXPECT_EQ(FindErrorMessage(5), nullptr);
    EXPECT_STREQ(ErrorStoreReader::GetErrorMessage(5), "Bad id");
    EXPECT_STREQ(ErrorStoreReader::GetErrorMessage(0), "Bad id");
}

TEST(ErrorCatalogue, MessagesAreExactAndFitAnXmlAttribute)
{
    // Oddities that a retyped table would lose: trailing comma, double space, final period.
    const std::map<int, std::string> sample = {
        {10, "Invalid PDF structure"},
        {1124, "Contains an integer value outside of the allowed range [-2^31, 2^31-1],"},
        {788, "'pdfaProperty:name' is using a wrong  type"},
        {46735, "Invalid PDF/A revision."},
        {7830, "Required description for 'pdfaField::valueType' is missing"},
        {1, "Embedded file has no MIME type entry"},
        {-1719, "The XMP Metadata stream is not valid."},
        {-103, "Corrupt content stream."},
        {4621064, "Symbolic TrueType fonts shall not contain an Encoding entry in the font dictionary, and the 'cmap' subtable "
                  "in the embedded font program shall either contain the Microsoft Symbol (3,0 - Platform ID=3, Encoding "
                  "ID=0) or the Mac Roman (1,0 - Platform ID=1, Encoding ID=0) encoding"},
        {-172181, "Use of .notdef glyph."},
    };
    for (const auto& [code, text] : sample) EXPECT_EQ(ErrorStoreReader::GetErrorMessage(code), text) << code;
    // The report writes messages unescaped.
    for (const auto& r : qvx::SDF::Rules()) EXPECT_EQ(std::string(r.message).find_first_of("\"&<"), std::string::npos) << r.code;
}

TEST(ErrorCatalogue, CodeText)
{
    EXPECT_EQ(ErrorCodeText(1101), "e_PDFA1101");
    EXPECT_EQ(ErrorCodeText(0), "e_PDFA0");
    EXPECT_EQ(ErrorCodeText(-1719), "e_PDFUA1719");
    EXPECT_EQ(ErrorCodeText(INT32_MIN), "e_PDFUA2147483648");
}

TEST(PDFUATranslation, TableIsCompleteAndPointsIntoTheCatalogue)
{
    auto pairs = PDFUATranslationTable();
    ASSERT_EQ(pairs.size(), 35u);
    std::set<int> from, to;
    for (const auto& p : pairs) {
        EXPECT_GT(p.pdfa, 0);
        EXPECT_LT(p.pdfua, 0);
        EXPECT_NE(FindErrorMessage(p.pdfa), nullptr) << p.pdfa;
        EXPECT_NE(FindErrorMessage(p.pdfua), nullptr) << p.pdfua;
        from.insert(p.pdfa);
        to.insert(p.pdfua);
    }
    EXPECT_EQ(from.size(), 35u);
    EXPECT_EQ(to.size(), 35u);
    // Spot checks at both ends and in the middle of the table.
    std::map<int, int> m;
    for (const auto& p : pairs) m[p.pdfa] = p.pdfua;
    EXPECT_EQ(m.at(10), -101);
    EXPECT_EQ(m.at(81), -17111);
    EXPECT_EQ(m.at(3331), -1721331);
    EXPECT_EQ(m.at(357), -1721421);
    EXPECT_EQ(m.at(356), -1721422);
    EXPECT_EQ(m.at(62118), -172181);
}

TEST(PDFUATranslation, MovesNumbersAndFlagAndMergesUnderTheCap)
{
    qvx::SDF::ErrorStore store(3);
    store.AddError(81, 7u);
    store.AddError(81, 2u);
    store.AddError(723);
    store.AddError(1101, 4u);  // no counterpart: stays
    store.AddError(-101, 9u);  // already recorded under the PDF/UA code
    store.ClearPresent();
    store.AddError(10, 1u);
    store.AddError(10, 5u);
    store.AddError(10, 9u);
    TranslateToPDFUA(store);

    ErrorStoreReader r(store);
    std::vector<int> codes;
    for (int i = 0; i < r.GetErrorCount(); ++i) codes.push_back(r.GetError(i));
    EXPECT_EQ(codes, (std::vector<int>{-17111, -1719, -101, 1101}));
    const auto& recs = store.Records();
    EXPECT_EQ(recs.at(-17111).refs, (std::set<std::uint32_t>{2, 7}));
    EXPECT_FALSE(recs.at(-17111).present);
    EXPECT_TRUE(recs.at(-1719).refs.empty());
    EXPECT_EQ(recs.at(-101).refs, (std::set<std::uint32_t>{1, 5, 9}));
    EXPECT_TRUE(recs.at(-101).present);
    EXPECT_STREQ(r.GetErrorMessage(r.GetError(0)), FindErrorMessage(-17111));
}
