#include <gtest/gtest.h>

#include "sdf/SDFDocImpl.h"
#include "tests/sdf/SaveTestUtil.h"

using namespace qvx;
using namespace qvx::SDF;
using namespace qvx::Test;

namespace {

// qpdf's verdict on the linearization of bytes (status 0 and its all-clear line), its
// general check and its page count.
void ExpectLinearized(Common::ByteView bytes, int pages, const std::string& what)
{
    TempDir dir;
    auto p = WriteTemp(dir, "lin.pdf", bytes);
    RunResult lin = Qpdf({"--check-linearization", p.string()});
    EXPECT_EQ(lin.status, 0) << what << "\n" << lin.output;
    EXPECT_NE(lin.output.find("no linearization errors"), std::string::npos) << what << "\n" << lin.output;
    RunResult check = Qpdf({"--check", p.string()});
    EXPECT_EQ(check.status, 0) << what << "\n" << check.output;
    RunResult npages = Qpdf({"--show-npages", p.string()});
    EXPECT_EQ(npages.output, std::to_string(pages) + "\n") << what;
}

// Six pages inheriting resources and media box from the page tree: an image shared by
// pages 2 to 4, a font shared by pages 1 and 5, a thumbnail on page 6, a form field on
// page 2, outlines shown at open and an open action naming the first page.
void BuildRichDoc(SDFDoc& doc)
{
    Obj* catalog = doc.CreateIndirectDict();
    catalog->PutName("Type", "Catalog");
    catalog->PutName("PageMode", "UseOutlines");
    doc.GetTrailer()->Put("Root", catalog);
    Obj* tree = doc.CreateIndirectDict();
    tree->PutName("Type", "Pages");
    catalog->Put("Pages", tree);
    Obj* box = tree->PutArray("MediaBox");
    for (double v : {0.0, 0.0, 300.0, 200.0}) box->PushBackNumber(v);
    Obj* inherited = doc.CreateIndirectDict();
    tree->Put("Resources", inherited);
    inherited->PutArray("ProcSet")->PushBackName("PDF");

    auto image_dict = Dict::Create();
    image_dict->PutName("Type", "XObject");
    image_dict->PutName("Subtype", "Image");
    image_dict->PutNumber("Width", 2);
    image_dict->PutNumber("Height", 2);
    image_dict->PutName("ColorSpace", "DeviceGray");
    image_dict->PutNumber("BitsPerComponent", 8);
    Obj* image = doc.CreateIndirectStream(Common::ToBytes("\x00\xFF\xFF\x00"), std::move(image_dict));
    Obj* font = doc.CreateIndirectDict();
    font->PutName("Type", "Font");
    font->PutName("Subtype", "Type1");
    font->PutName("BaseFont", "Courier");

    Obj* kids = tree->PutArray("Kids");
    std::vector<Obj*> pages;
    for (int i = 0; i < 6; ++i) {
        Obj* page = doc.CreateIndirectDict();
        page->PutName("Type", "Page");
        page->Put("Parent", tree);
        std::string content = "0.5 g 20 20 100 100 re f";
        if (i >= 1 && i <= 3) {
            Obj* res = page->PutDict("Resources");
            res->PutDict("XObject")->Put("Im1", image);
            content += " q 100 0 0 100 150 50 cm /Im1 Do Q";
        }
        if (i == 0 || i == 4) {
            Obj* res = page->PutDict("Resources");
            res->PutDict("Font")->Put("F1", font);
            content += " BT /F1 20 Tf 150 100 Td (Hello) Tj ET";
        }
        page->Put("Contents", doc.CreateIndirectStream(Common::ToBytes(content)));
        kids->PushBack(page);
        pages.push_back(page);
    }
    tree->PutNumber("Count", 6);
    pages[5]->Put("Thumb", doc.CreateIndirectStream(Common::ToBytes("\x80"), nullptr));
    Obj* thumb = pages[5]->FindObj("Thumb");
    thumb->PutNumber("Width", 1);
    thumb->PutNumber("Height", 1);
    thumb->PutName("ColorSpace", "DeviceGray");
    thumb->PutNumber("BitsPerComponent", 8);

    Obj* widget = doc.CreateIndirectDict();
    widget->PutName("Type", "Annot");
    widget->PutName("Subtype", "Widget");
    widget->PutName("FT", "Tx");
    widget->PutString("T", "name");
    Obj* rect = widget->PutArray("Rect");
    for (double v : {10.0, 10.0, 100.0, 30.0}) rect->PushBackNumber(v);
    widget->Put("P", pages[1]);
    pages[1]->PutArray("Annots")->PushBack(widget);
    catalog->PutDict("AcroForm")->PutArray("Fields")->PushBack(widget);

    Obj* outlines = doc.CreateIndirectDict();
    Obj* item = doc.CreateIndirectDict();
    item->PutString("Title", "Page 3");
    item->Put("Parent", outlines);
    Obj* dest = item->PutArray("Dest");
    dest->PushBack(pages[2]);
    dest->PushBackName("Fit");
    outlines->Put("First", item);
    outlines->Put("Last", item);
    outlines->PutNumber("Count", 1);
    catalog->Put("Outlines", outlines);
    Obj* open = catalog->PutArray("OpenAction");
    open->PushBack(pages[0]);
    open->PushBackName("Fit");
    Obj* info = doc.CreateIndirectDict();
    info->PutString("Title", "Linearized");
    doc.GetTrailer()->Put("Info", info);
}

}  // namespace

TEST(SaveLinearized, QpdfAcceptsLayoutAndHints)
{
    for (int pages : {1, 2, 7}) {
        SDFDoc doc;
        BuildDoc(doc, pages);
        ExpectLinearized(doc.SaveToBuffer(SDFDoc::e_linearize), pages, std::to_string(pages) + " pages");
    }
    SDFDoc rich;
    BuildRichDoc(rich);
    Common::Bytes bytes = rich.SaveToBuffer(SDFDoc::e_linearize | SDFDoc::e_classic_xref);
    ExpectLinearized(bytes, 6, "rich");
    std::string pdf = AsString(bytes);
    // The first object is the linearization dictionary; the inherited attributes moved
    // into the pages; the page tree keeps none.
    EXPECT_EQ(pdf.find(" 0 obj\r<</E "), pdf.find(" 0 obj"));
    EXPECT_EQ(pdf.find("/Resources", pdf.find("/Type/Pages")), std::string::npos);
    // Outlines shown at open come with an outline hint table.
    EXPECT_NE(pdf.find("/O "), std::string::npos);

    // Saved again: the layout is stable and still accepted.
    ExpectLinearized(rich.SaveToBuffer(SDFDoc::e_linearize), 6, "rich, second save");
}

TEST(SaveLinearized, WithoutPagesFallsBackToAPlainSave)
{
    SDFDoc doc;
    Obj* catalog = doc.CreateIndirectDict();
    catalog->PutName("Type", "Catalog");
    doc.GetTrailer()->Put("Root", catalog);
    doc.CreateIndirectDict()->PutName("Unused", "Yes");
    std::string pdf = AsString(doc.SaveToBuffer(SDFDoc::e_linearize | SDFDoc::e_classic_xref));
    EXPECT_EQ(pdf.find("/Linearized"), std::string::npos);
    EXPECT_EQ(pdf.find("/Unused"), std::string::npos);
    EXPECT_NE(pdf.find("\rxref\r0 3\r"), std::string::npos);
}
