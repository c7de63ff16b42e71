#include <gtest/gtest.h>

#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"
#include "tests/sdf/ParserTestUtil.h"
#include "tests/sdf/SdfTestUtil.h"
#include "tests/support/PdfBuilder.h"
#include "tests/support/TestEnv.h"

using namespace qvx::SDF;
using qvx::Test::Codes;
using qvx::Test::PdfBuilder;
using qvx::Test::Text;
using qvx::Test::Thrown;

namespace {

using CodeList = std::vector<int>;

std::unique_ptr<SDFDoc> Open(const std::string& bytes, int level = 0)
{
    auto doc = std::make_unique<SDFDoc>();
    doc->GetCheckState().parser_level = level;
    doc->OpenBuffer(qvx::Common::ToBytes(bytes));
    return doc;
}

bool Has(const CodeList& codes, int code) { return std::find(codes.begin(), codes.end(), code) != codes.end(); }

// An incremental update appended to base: the objects, a classic section and a trailer
// whose Prev is base's last section.
std::string Append(const std::string& base, const std::vector<std::pair<int, std::string>>& objs,
                   const std::string& trailer_extra)
{
    std::string out = base;
    std::string xref = "xref\n";
    std::vector<std::pair<int, std::size_t>> offsets;
    for (const auto& [num, body] : objs) {
        offsets.emplace_back(num, out.size());
        out += std::to_string(num) + " 0 obj\n" + body + "\nendobj\n";
    }
    std::size_t prev = std::stoul(base.substr(base.rfind("startxref") + 10));
    std::size_t at = out.size();
    out += xref;
    for (const auto& [num, off] : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n\r\n", off);
        out += std::to_string(num) + " 1\n" + line;
    }
    out += "trailer\n<</Size 20/Root 1 0 R/Prev " + std::to_string(prev) + trailer_extra + ">>\nstartxref\n" +
           std::to_string(at) + "\n%%EOF\n";
    return out;
}

}  // namespace

TEST(XRef, ClassicAndStreamTablesOpen)
{
    for (auto kind : {PdfBuilder::XRef::e_table, PdfBuilder::XRef::e_stream}) {
        PdfBuilder b = PdfBuilder::Minimal();
        b.Set(6, "(six)");
        auto doc = Open(b.Build(kind));
        EXPECT_FALSE(doc->HasRepairedXRef());
        EXPECT_FALSE(doc->IsFullSaveRequired());
        EXPECT_EQ(doc->GetHeader(), "%PDF-1.7");
        EXPECT_EQ(doc->GetVersion(), "1.7");
        EXPECT_EQ(doc->GetRoot()->FindObj("Type")->GetName(), "Catalog");
        EXPECT_EQ(Text(doc->GetObj(6)->Resolve()), "(six)");
        EXPECT_TRUE(doc->GetObj(5)->IsFree());  // a gap in the numbering
        EXPECT_EQ(qvx::Test::Decoded(doc->GetObj(4)), "0 0 m 100 100 l S");
    }
    // A cross-reference stream with W [0 2 0]: every entry is type 1, generation 0.
    PdfBuilder b = PdfBuilder::Minimal();
    std::string base = b.Build(PdfBuilder::XRef::e_none);
    std::string data;
    for (int n = 0; n <= 4; ++n) {
        long off = n == 0 ? 0 : b.Offset(n);
        data += static_cast<char>(off >> 8);
        data += static_cast<char>(off & 0xFF);
    }
    std::size_t at = base.size();
    base += "9 0 obj\n<</Type/XRef/Size 10/Index[0 5]/W[0 2 0]/Root 1 0 R/Length " + std::to_string(data.size()) +
            ">>\nstream\n" + data + "\nendstream\nendobj\nstartxref\n" + std::to_string(at) + "\n%%EOF\n";
    auto doc = Open(base);
    EXPECT_FALSE(doc->HasRepairedXRef());
    EXPECT_EQ(doc->GetObj(3)->GetGenNum(), 0);
    EXPECT_EQ(doc->GetObj(3)->FindObj("Type")->GetName(), "Page");
    EXPECT_TRUE(doc->GetObj(9)->IsStream());  // the stream itself, though no entry lists it
}

// A document without pages is read as it stands: an empty page tree has no first page to
// miss, so its table is kept and nothing is corrupt.
TEST(XRef, TableOfADocumentWithoutPagesIsKept)
{
    PdfBuilder b = PdfBuilder::Minimal();
    b.Set(2, "<</Type/Pages/Kids[]/Count 0>>");
    auto empty = Open(b.Build(), 4);
    EXPECT_FALSE(empty->HasRepairedXRef());
    EXPECT_FALSE(Has(Codes(*empty), 11));
    EXPECT_EQ(empty->GetRoot()->FindObj("Pages")->FindObj("Count")->GetNumber(), 0);
}

TEST(XRef, HeaderOffsetAndStartxrefSearch)
{
    PdfBuilder b = PdfBuilder::Minimal("1.4");
    b.SetPrefix(std::string(100, 'j'));
    auto doc = Open(b.Build(), 2);
    EXPECT_FALSE(doc->HasRepairedXRef());
    EXPECT_EQ(doc->GetObj(3)->GetOffset(), static_cast<std::uint64_t>(b.Offset(3) + 100));
    EXPECT_TRUE(Has(Codes(*doc), 121));

    // startxref 20,000 bytes before the end, behind appended junk.
    PdfBuilder tail = PdfBuilder::Minimal();
    tail.SetTail(std::string(20000, '\n'));
    auto far = Open(tail.Build());
    EXPECT_FALSE(far->HasRepairedXRef());

    std::string no_startxref = PdfBuilder::Minimal().Build();
    no_startxref.replace(no_startxref.rfind("startxref"), 9, "startxrex");
    auto rebuilt = Open(no_startxref);
    EXPECT_TRUE(rebuilt->HasRepairedXRef());
    EXPECT_EQ(rebuilt->GetRoot()->FindObj("Type")->GetName(), "Catalog");
}

TEST(XRef, NewestSectionWinsAndPrevLoopsEnd)
{
    PdfBuilder b = PdfBuilder::Minimal();
    b.Set(5, "(old five)");
    std::string base = b.Build();
    std::string updated = Append(base, {{5, "(new five)"}}, "");
    auto doc = Open(updated);
    EXPECT_FALSE(doc->HasRepairedXRef());
    EXPECT_EQ(Text(doc->GetObj(5)->Resolve()), "(new five)");
    EXPECT_EQ(Text(doc->GetObj(2)->FindObj("Type")), "/Pages");  // from the older section

    // The older section's Prev points back at the newer one: the chain ends there.
    PdfBuilder lb = PdfBuilder::Minimal();
    lb.Set(5, "(old five)");
    lb.SetTrailer("/Root 1 0 R/Prev 0000000000");
    std::string looped = Append(lb.Build(), {{5, "(new five)"}}, "");
    std::string newest = std::to_string(std::stoul(looped.substr(looped.rfind("startxref") + 10)));
    looped.replace(looped.find("/Prev 0000000000") + 6, 10, std::string(10 - newest.size(), '0') + newest);
    auto doc2 = Open(looped);
    EXPECT_FALSE(doc2->HasRepairedXRef());
    EXPECT_EQ(Text(doc2->GetObj(5)->Resolve()), "(new five)");
}

TEST(XRef, ClassicTableQuirks)
{
    PdfBuilder b = PdfBuilder::Minimal();
    std::string pdf = b.Build();
    // Object 1 listed with offset 0 but "n": it is the first object after the header, so in use.
    std::size_t entry1 = pdf.find("\r\n", pdf.find("65535 f")) + 2;
    auto patch = [&](std::string s, std::size_t at, const std::string& line) { return s.replace(at, 20, line); };
    EXPECT_TRUE(Open(patch(pdf, entry1, "0000000000 00000 n\r\n"))->GetObj(1)->IsDict());
    // Object 2 likewise is free: the page tree is gone and the table is rebuilt.
    auto gone = Open(patch(pdf, entry1 + 20, "0000000000 00000 n\r\n"));
    EXPECT_TRUE(gone->HasRepairedXRef());
    EXPECT_TRUE(gone->GetObj(2)->IsDict());

    // A first subsection numbered from 1 that starts with the free-list head.
    std::string from1 = pdf;
    from1.replace(from1.find("xref\n0 "), 7, "xref\n1 ");
    auto shifted = Open(from1);
    EXPECT_FALSE(shifted->HasRepairedXRef());
    EXPECT_EQ(shifted->GetObj(3)->FindObj("Type")->GetName(), "Page");

    std::string bad_kw = patch(pdf, entry1, "0000000009 00000 x\r\n");
    EXPECT_TRUE(Open(bad_kw)->HasRepairedXRef());

    // Numbers past 1,048,575 in a table fail it; the rebuilder takes them up to 8,388,607.
    PdfBuilder big = PdfBuilder::Minimal();
    std::string big_pdf = big.Build();
    std::string high = big_pdf;
    high.replace(high.find("4 0 obj"), 7, "2000000 0 obj");
    high.replace(high.find("/Contents 4 0 R"), 15, "/Contents 2000000 0 R");
    std::size_t x = high.find("xref\n");
    high.insert(high.find("trailer", x), "2000000 1\n0000000000 00000 n\r\n");
    auto rebuilt = Open(high);
    EXPECT_TRUE(rebuilt->HasRepairedXRef());
    EXPECT_TRUE(rebuilt->GetObj(2000000)->IsStream());
    std::string too_high = high;
    too_high.replace(too_high.find("2000000 0 obj"), 13, "9000000 0 obj");
    auto skipped = Open(too_high);
    EXPECT_TRUE(skipped->GetObj(3)->FindObj("Contents")->IsNull());
}

TEST(XRef, RebuildTakesTheLastDefinitionAndRecords11And173)
{
    std::string pdf = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n"
                      "1 0 obj\n<</Type/Catalog/Pages 2 0 R>>\nendobj\n"
                      "2 0 obj\n<</Type/Pages/Kids[3 0 R]/Count 1>>\nendobj\n"
                      "3 0 obj\n<</Type/Page/Parent 2 0 R/Contents 4 0 R>>\nendobj\n"
                      "4 0 obj\n<<>>\nstream\nfirst\nendstream\nendobj\n"
                      "5 0 obj\n(early)\nendobj\n"
                      "6 0 obj\n(broken\nendobj\n"
                      "5 0 obj\n(late)\nendobj\n"
                      "trailer\n<</Root 1 0 R/Size 7>>\n"
                      "startxref\n999999\n%%EOF\n";
    auto doc = Open(pdf, 4);
    EXPECT_TRUE(doc->HasRepairedXRef());
    EXPECT_TRUE(doc->IsFullSaveRequired());
    EXPECT_EQ(Text(doc->GetObj(5)->Resolve()), "(late)");
    EXPECT_EQ(qvx::Test::Decoded(doc->GetObj(4)), "first");
    EXPECT_EQ(doc->GetRoot()->FindObj("Pages")->FindObj("Count")->GetNumber(), 1);
    CodeList codes = Codes(*doc);
    EXPECT_TRUE(Has(codes, 11));
    EXPECT_TRUE(Has(codes, 173));
    EXPECT_EQ(doc->GetCheckState().errors.Records().at(173).refs, std::set<std::uint32_t>{4});

    // No trailer at all: the catalog found in the body becomes Root.
    std::string bare = pdf.substr(0, pdf.find("trailer"));
    auto found = Open(bare);
    EXPECT_EQ(found->GetRoot(), found->GetObj(1));
    EXPECT_EQ(Thrown([] { Open("%PDF-1.7\n(nothing)\n"); }).GetMessage(), "rebuild error");
    // Cut before the catalog too: the objects before the cut open, without a Root.
    std::string uncataloged = bare.substr(bare.find("2 0 obj"));
    auto rootless = Open("%PDF-1.7\n" + uncataloged);
    EXPECT_TRUE(rootless->GetObj(2)->IsDict());
    EXPECT_EQ(Thrown([&] { rootless->GetRoot(); }).GetMessage(), "Doc root not found");
    EXPECT_EQ(Thrown([] { Open(std::string(5000, ' ') + "%PDF-1.7\n1 0 obj\n<<>>\nendobj\n"); }).GetMessage(),
              "PDF header not found. The file is not a valid PDF document.");
    // A file that lost its header line still has its objects: they are found, and a PDF/A
    // check records the missing header.
    std::string headless = pdf.substr(pdf.find('\n') + 1);
    auto opened = Open(headless, 4);
    EXPECT_EQ(opened->GetRoot()->FindObj("Pages")->FindObj("Count")->GetNumber(), 1);
    EXPECT_TRUE(Has(Codes(*opened), 121));
    // Without header or catalog object, a trailer cut short by garbage still names its Root.
    std::string garbled = "1 0 obj\n<</Type/Pages/Kids[]/Count 0>>\nendobj\n"
                          "trailer\n<</Root<</Type/Catalog/Pages 1 0 R>> junk /X R>>\n";
    EXPECT_EQ(Open(garbled)->GetRoot()->FindObj("Pages")->FindObj("Count")->GetNumber(), 0);
    // Nor a catalog marked as one: the dictionary of a cross-reference stream whose data
    // never ends names the Root.
    std::string cut = "1 0 obj\n<</Pages 2 0 R>>\nendobj\n2 0 obj\n<</Type/Pages/Kids[]/Count 0>>\nendobj\n"
                      "3 0 obj<</Type/XRef/Size 4/W[1 2 1]/Root 1 0 R>>stream\n\x01\x00";
    EXPECT_EQ(Open(cut)->GetRoot()->FindObj("Pages")->FindObj("Count")->GetNumber(), 0);
}

TEST(XRef, RebuildRegistersObjectStreamsUnlessDefinedLater)
{
    std::string objs = "7 0 8 5 (a7) (a8)";
    std::string pdf = "%PDF-1.7\n1 0 obj\n<</Type/Catalog/Pages 2 0 R>>\nendobj\n"
                      "2 0 obj\n<</Type/Pages/Kids[]/Count 0>>\nendobj\n"
                      "6 0 obj\n<</Type/ObjStm/N 2/First 8/Length " + std::to_string(objs.size()) + ">>\nstream\n" + objs +
                      "\nendstream\nendobj\n"
                      "8 0 obj\n(plain eight)\nendobj\n"
                      "trailer\n<</Root 1 0 R>>\n";
    auto doc = Open(pdf);
    EXPECT_TRUE(doc->HasRepairedXRef());
    EXPECT_EQ(Text(doc->GetObj(7)->Resolve()), "(a7)");
    EXPECT_EQ(Text(doc->GetObj(8)->Resolve()), "(plain eight)");

    // No trailer can be read (the cross-reference stream's dictionary holds a broken string)
    // and no plain object is a catalog: the catalog an object stream holds becomes Root.
    std::string cat = "<</Type/Catalog/Pages 2 0 R>> ", head = "1 0 2 " + std::to_string(cat.size()) + " ";
    std::string packed = head + cat + "<</Type/Pages/Kids[]/Count 0>>";
    std::string lost = "%PDF-1.7\n5 0 obj\n<</Type/ObjStm/N 2/First " + std::to_string(head.size()) + "/Length " +
                       std::to_string(packed.size()) + ">>\nstream\n" + packed + "\nendstream\nendobj\n"
                       "6 0 obj\n<</Type/XRef/Size 7/W[1 2 1]/Root 1 0 R/ID[<0G>]>>\nstream\n\x01\x00\x00\x00"
                       "\nendstream\nendobj\nstartxref\n9999\n%%EOF\n";
    auto rebuilt = Open(lost);
    EXPECT_EQ(rebuilt->GetRoot(), rebuilt->GetObj(1));
    EXPECT_EQ(rebuilt->GetRoot()->FindObj("Pages")->FindObj("Count")->GetNumber(), 0);
}

TEST(XRef, FileStructureFindings)
{
    auto codes = [](const std::string& pdf, int level) { return Codes(*Open(pdf, level)); };
    PdfBuilder good = PdfBuilder::Minimal();
    EXPECT_EQ(codes(good.Build(), 4), CodeList{});
    EXPECT_EQ(codes(good.Build(), 2), CodeList{});

    PdfBuilder v18 = PdfBuilder::Minimal("1.8");
    EXPECT_EQ(codes(v18.Build(), 4), CodeList{123});
    PdfBuilder v20 = PdfBuilder::Minimal("2.0");
    EXPECT_EQ(codes(v20.Build(), 9), CodeList{});
    EXPECT_EQ(codes(v20.Build(), 4), CodeList{123});
    EXPECT_EQ(codes(PdfBuilder::Minimal().Build(), 9), CodeList{123});
    PdfBuilder junk = PdfBuilder::Minimal();
    junk.SetPrefix("x");
    EXPECT_EQ(codes(junk.Build(), 4), (CodeList{121, 123}));
    PdfBuilder no_binary = PdfBuilder::Minimal();
    no_binary.SetBinaryComment("%abcd");
    EXPECT_EQ(codes(no_binary.Build(), 2), CodeList{122});

    std::string pdf = good.Build();
    std::string crlf = pdf.substr(0, pdf.size() - 1) + "\r\n";
    EXPECT_EQ(codes(crlf, 4), CodeList{});
    EXPECT_EQ(codes(pdf + "\n", 4), CodeList{133});
    EXPECT_EQ(codes(pdf + "junk", 4), CodeList{133});

    std::string sub = pdf;
    sub.replace(sub.find("xref\n0 "), 7, "xref\n0  ");
    EXPECT_EQ(codes(sub, 4), CodeList{141});
    std::string two_eol = pdf;
    two_eol.replace(two_eol.find("xref\n"), 5, "xref\n\n");
    EXPECT_EQ(codes(two_eol, 4), CodeList{142});

    EXPECT_EQ(codes(good.Build(PdfBuilder::XRef::e_stream), 2), CodeList{15});
    EXPECT_EQ(codes(good.Build(PdfBuilder::XRef::e_stream), 4), CodeList{});

    PdfBuilder no_id = PdfBuilder::Minimal();
    no_id.SetTrailer("/Root 1 0 R");
    EXPECT_EQ(codes(no_id.Build(), 4), CodeList{131});
    PdfBuilder empty_id = PdfBuilder::Minimal();
    empty_id.SetTrailer("/Root 1 0 R/ID[<> <>]");
    EXPECT_EQ(codes(empty_id.Build(), 4), CodeList{135});
    EXPECT_EQ(codes(empty_id.Build(), 2), CodeList{});

    // The first section in the file (a linearized file's first-page trailer) has another ID.
    std::string first = good.Build();
    std::string lin = Append(first, {{5, "(x)"}}, "/ID[<01> <02>]");
    EXPECT_EQ(codes(lin, 4), CodeList{134});
}

TEST(XRef, OpensFilesByPath)
{
    qvx::Test::TempDir dir;
    auto path = dir.Write("a.pdf", PdfBuilder::Minimal().Build());
    SDFDoc doc;
    doc.OpenFile(path.string());
    EXPECT_EQ(doc.GetRoot()->FindObj("Pages")->FindObj("Count")->GetNumber(), 1);
    EXPECT_EQ(qvx::Test::Decoded(doc.GetObj(4)), "0 0 m 100 100 l S");
    auto empty = dir.Write("empty.pdf", "");
    EXPECT_EQ(Thrown([&] { SDFDoc().OpenFile(empty.string()); }).GetMessage(),
              "PDF header not found. The file is not a valid PDF document.");
    EXPECT_NE(Thrown([&] { SDFDoc().OpenFile((dir.Path() / "missing.pdf").string()); }).GetMessage().find("missing.pdf"),
              std::string::npos);
}
