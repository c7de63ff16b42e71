// Pages written as PDF files (with a cross-reference table or stream, content split over
// several streams) and read back through the document, the page tree and the element
// reader: the operators and operands read are the ones written, page by page.
#include <gtest/gtest.h>

#include <random>

#include "pdf/ElementReader.h"
#include "pdf/PageTree.h"
#include "sdf/SDFDoc.h"
#include "tests/support/PdfBuilder.h"

using namespace qvx;

namespace {

struct Op {
    std::string text;     // as written
    std::string keyword;
    std::size_t operands;
};

// One random operation with well-formed operands.
Op RandomOp(std::mt19937& rng)
{
    auto num = [&] { return std::to_string(static_cast<int>(rng() % 1000)) + "." + std::to_string(rng() % 10); };
    switch (rng() % 12) {
    case 0: return {"q", "q", 0};
    case 1: return {"Q", "Q", 0};
    case 2: return {num() + " " + num() + " m", "m", 2};
    case 3: return {num() + " " + num() + " " + num() + " " + num() + " re", "re", 4};
    case 4: return {"1 0 0 1 " + num() + " " + num() + " cm", "cm", 6};
    case 5: return {"/F1 " + num() + " Tf", "Tf", 2};
    case 6: return {"(a\\)b) Tj", "Tj", 1};
    case 7: return {"[(x) -" + num() + " <4142>] TJ", "TJ", 1};
    case 8: return {"0.1 0.2 0.3 rg", "rg", 3};
    case 9: return {"/Span <</ActualText (t)>> BDC", "BDC", 2};
    case 10: return {"EMC", "EMC", 0};
    default: return {"BI /W 2 /H 1 /BPC 8 /CS /G ID EI EI", "BI", 0};  // the data is "EI"
    }
}

}  // namespace

TEST(GeneratedPages, OperatorsReadAreTheOperatorsWritten)
{
    std::mt19937 rng(77);
    for (auto xref : {qvx::Test::PdfBuilder::XRef::e_table, qvx::Test::PdfBuilder::XRef::e_stream}) {
        const int pages = 5;
        qvx::Test::PdfBuilder b;
        b.Set(1, "<</Type/Catalog/Pages 2 0 R>>");
        std::string kids;
        std::vector<std::vector<Op>> written(pages);
        int next = 3;
        for (int p = 0; p < pages; ++p) {
            int page = next++;
            kids += std::to_string(page) + " 0 R ";
            // Two content streams per page; an operation never spans them.
            std::string parts[2];
            for (int i = 0; i < 60; ++i) {
                Op op = RandomOp(rng);
                parts[i < 30 ? 0 : 1] += op.text + (rng() % 2 ? "\n" : " ");
                written[p].push_back(op);
            }
            int c1 = next++, c2 = next++;
            b.SetStream(c1, "", parts[0]);
            b.SetStream(c2, "", parts[1]);
            b.Set(page, "<</Type/Page/Parent 2 0 R/Resources<</Font<</F1 " + std::to_string(next) + " 0 R>>>>/Contents[" +
                            std::to_string(c1) + " 0 R " + std::to_string(c2) + " 0 R]>>");
            b.Set(next++, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>");
        }
        b.Set(2, "<</Type/Pages/Kids[" + kids + "]/Count " + std::to_string(pages) + ">>");
        b.SetTrailer("/Root 1 0 R");
        std::string bytes = b.Build(xref);

        SDF::SDFDoc doc;
        doc.OpenBuffer(Common::ToBytes(bytes));
        PDF::PageTree tree(doc);
        ASSERT_EQ(tree.Count(), static_cast<std::size_t>(pages));
        PDF::ResourceCache cache;
        for (int p = 0; p < pages; ++p) {
            std::vector<std::pair<std::string, std::size_t>> read;
            PDF::ElementReader r(cache);
            r.SetOperatorHook([&](const PDF::Operation& op) {
                read.emplace_back(std::string(op.keyword), op.Size());
                if (op.op == PDF::Op::e_BI) {
                    EXPECT_EQ(Common::AsChars(op.inline_data), "EI");
                }
            });
            r.Begin(tree.GetPage(static_cast<std::size_t>(p)));
            while (r.Next()) {
            }
            ASSERT_EQ(read.size(), written[p].size());
            for (std::size_t i = 0; i < read.size(); ++i) {
                EXPECT_EQ(read[i].first, written[p][i].keyword) << "page " << p << " op " << i;
                EXPECT_EQ(read[i].second, written[p][i].operands) << "page " << p << " op " << i;
            }
        }
    }
}
