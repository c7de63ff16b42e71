#include <gtest/gtest.h>

#include "sdf/SDFDocImpl.h"
#include "tests/sdf/SaveTestUtil.h"
#include "tests/sdf/SdfTestUtil.h"

using namespace qvx;
using namespace qvx::SDF;
using namespace qvx::Test;

namespace {

std::string Save(SDFDoc& doc, std::uint32_t flags, std::string_view header = {})
{
    return AsString(doc.SaveToBuffer(flags, header));
}

void SetID(SDFDoc& doc, std::string_view id)
{
    Obj* a = doc.GetTrailer()->PutArray("ID");
    a->PushBackString(Common::AsBytes(id));
    a->PushBackString(Common::AsBytes(id));
}

}  // namespace

TEST(Save, ClassicFullSaveExactBytes)
{
    SDFDoc doc;
    doc.GetTrailer()->Put("Root", doc.CreateIndirectDict())->PutName("Type", "Catalog");
    SetID(doc, "a");
    EXPECT_EQ(Save(doc, SDFDoc::e_classic_xref),
              "%PDF-1.7\r%\xE2\xE3\xCF\xD3\r\n"
              "1 0 obj\r<</Type/Catalog>>\rendobj\r"
              "xref\r0 2\r0000000000 65535 f\r\n0000000016 00000 n\r\n"
              "trailer\r<</ID[(a) (a)]/Root 1 0 R/Size 2>>\r"
              "startxref\r49\r%%EOF\n");
    // The header given replaces the document's; hex output; a stream with its length.
    doc.CreateIndirectStream(Common::ToBytes("hello"));
    doc.GetRoot()->Put("S", doc.GetObj(2));
    doc.SetWriteStringsAsHex(true);
    std::string pdf = Save(doc, SDFDoc::e_classic_xref, "%PDF-1.4");
    EXPECT_EQ(pdf.substr(0, 16), "%PDF-1.4\r%\xE2\xE3\xCF\xD3\r\n");
    EXPECT_NE(pdf.find("\r2 0 obj\r<</Length 5>>\rstream\nhello\nendstream\rendobj\rxref\r0 3\r"), std::string::npos);
    EXPECT_EQ(TrailerText(pdf), "<</ID[<61> <61>]/Root 1 0 R/Size 3>>");
}

TEST(Save, XRefOffsetsFreeListAndPruning)
{
    SDFDoc doc;
    BuildDoc(doc, 2);                       // objects 1 .. 9
    Obj* orphan = doc.CreateIndirectDict(); // 10: reachable from nothing
    orphan->PutName("Orphan", "Yes");
    doc.GetImpl().FreeObj(3);               // the font: now free, its reference reads null

    for (std::uint32_t flags : {std::uint32_t{SDFDoc::e_classic_xref}, SDFDoc::e_classic_xref | SDFDoc::e_prune_unused}) {
        std::string pdf = Save(doc, flags);
        std::vector<XRefLineRead> lines = ReadClassicXRef(pdf, StartXRef(pdf));
        ASSERT_EQ(lines.size(), 11u);
        for (const auto& l : lines) {
            if (l.type != 'n') continue;
            std::string head = std::to_string(l.num) + " " + std::to_string(l.gen) + " obj\r";
            EXPECT_EQ(pdf.compare(l.offset, head.size(), head), 0) << l.num;
        }
        bool pruned = flags & SDFDoc::e_prune_unused;
        EXPECT_EQ(pdf.find("/Orphan") == std::string::npos, pruned);
        // The free entries form one list from entry 0, in ascending order.
        EXPECT_EQ(lines[0].type, 'f');
        EXPECT_EQ(lines[0].gen, 65535u);
        EXPECT_EQ(lines[0].offset, 3u);
        EXPECT_EQ(lines[3].type, 'f');
        EXPECT_EQ(lines[3].offset, pruned ? 10u : 0u);
        EXPECT_EQ(lines[10].type, pruned ? 'f' : 'n');
        if (pruned) {
            EXPECT_EQ(lines[10].gen, 1u);  // left out: the next use is generation 1
        }
        EXPECT_NE(pdf.find("/F1 3 0 R"), std::string::npos);
        EXPECT_EQ(QpdfCheck(Common::AsBytes(pdf)).status, 0) << QpdfCheck(Common::AsBytes(pdf)).output;
    }
}

TEST(Save, TrailerRules)
{
    SDFDoc doc;
    BuildDoc(doc);
    Obj* t = doc.GetTrailer();
    t->PutNumber("Prev", 1234);
    t->PutNumber("XRefStm", 999);
    t->PutName("Type", "XRef");
    t->PutArray("W");
    t->PutArray("Index");
    t->PutName("Filter", "FlateDecode");
    t->PutDict("DecodeParms");
    t->PutNumber("Length", 10);
    t->PutDict("Encrypt")->PutName("Filter", "Standard");
    t->PutNumber("Custom", 7);
    doc.GetImpl().SetHasXRefStream();
    Obj* root = doc.GetRoot();
    Obj* perms = root->PutDict("Perms");
    perms->PutDict("UR3");
    perms->PutNumber("DocMDP", 0);
    Obj* vp = root->PutDict("ViewerPreferences");
    vp->PutDict("Rights");
    vp->PutBool("HideToolbar", true);

    std::string pdf = Save(doc, SDFDoc::e_classic_xref);
    std::string trailer = TrailerText(pdf);
    EXPECT_EQ(trailer.substr(0, 16), "<</Custom 7/ID[(");
    // The ID is random bytes, which may hold "]/" themselves.
    EXPECT_EQ(trailer.substr(trailer.rfind("]/")), "]/Info 7 0 R/Root 1 0 R/Size 8>>");
    EXPECT_NE(pdf.find("/Perms<</DocMDP 0>>"), std::string::npos);
    EXPECT_NE(pdf.find("/ViewerPreferences<</HideToolbar true>>"), std::string::npos);
    EXPECT_EQ(pdf.find("UR3"), std::string::npos);
    EXPECT_EQ(pdf.find("Rights"), std::string::npos);

    // The new ID: two equal 16-byte strings, kept by the next save, unique per document.
    Obj* id = doc.GetTrailer()->FindObj("ID");
    ASSERT_TRUE(id && id->IsArray() && id->Size() == 2);
    EXPECT_EQ(id->GetAt(0)->GetBuffer().size(), 16u);
    EXPECT_TRUE(id->GetAt(0)->IsEqual(id->GetAt(1)));
    std::string first(Common::AsChars(id->GetAt(0)->GetBuffer()));
    Save(doc, SDFDoc::e_classic_xref);
    EXPECT_EQ(std::string(Common::AsChars(doc.GetTrailer()->FindObj("ID")->GetAt(0)->GetBuffer())), first);
    SDFDoc other;
    BuildDoc(other);
    Save(other, 0);
    EXPECT_NE(std::string(Common::AsChars(other.GetTrailer()->FindObj("ID")->GetAt(0)->GetBuffer())), first);
}

TEST(Save, CrossReferenceStreamAndObjectStreams)
{
    SDFDoc doc;
    BuildDoc(doc, 3);  // 11 objects: 3 content streams, 8 others
    doc.GetRoot()->PutString("Binary", std::string_view("\0\xFF(\\", 4));
    // A private trailer key, here one whose name holds a NUL byte that strict readers cannot
    // parse, stays out of the stream every reader needs.
    doc.GetTrailer()->PutNumber(std::string_view("Som\0thing", 9), 1);
    std::string pdf = Save(doc, 0);
    EXPECT_EQ(QpdfCheck(Common::AsBytes(pdf)).status, 0) << QpdfCheck(Common::AsBytes(pdf)).output;

    // startxref names the cross-reference stream, the last object, which carries the trailer.
    std::size_t xref = StartXRef(pdf);
    EXPECT_EQ(pdf.compare(xref, 23, "15 0 obj\r<</DecodeParms"), 0) << pdf.substr(xref, 40);
    std::string dict = pdf.substr(xref, pdf.find(">>\rstream", xref) - xref);
    for (const char* key : {"/Filter/FlateDecode", "/Info 11 0 R", "/Root 1 0 R", "/Size 16", "/Type/XRef", "/W[1 "})
        EXPECT_NE(dict.find(key), std::string::npos) << key << " in " << dict;
    EXPECT_EQ(dict.find("/Index"), std::string::npos);
    EXPECT_EQ(dict.find("/Som"), std::string::npos) << dict;

    TempDir dir;
    auto p = WriteTemp(dir, "c.pdf", Common::AsBytes(pdf));
    std::string table = Qpdf({"--show-xref", p.string()}).output;
    int compressed = 0, streams = 0;
    for (std::size_t at = 0; (at = table.find("compressed; stream = ", at)) != std::string::npos; ++at) ++compressed;
    for (std::size_t at = 0; (at = table.find("uncompressed", at)) != std::string::npos; ++at) ++streams;
    EXPECT_EQ(compressed, 8);
    EXPECT_EQ(streams, 3 + 3 + 1);        // contents, object streams, cross-reference stream
    EXPECT_EQ(Qpdf({"--show-npages", p.string()}).output, "3\n");
    std::string catalog = Qpdf({"--show-object=1", p.string()}).output;
    EXPECT_NE(catalog.find("/Binary <00ff285c>"), std::string::npos) << catalog;
}
