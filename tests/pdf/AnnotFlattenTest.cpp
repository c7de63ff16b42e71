// Annotations drawn into page content: placement on Rect, the appearance state, NoRotate,
// the Annots entry, and content added after the page's own.
#include <gtest/gtest.h>

#include "common/Exception.h"
#include "pdf/Annot.h"
#include "pdf/ObjUtil.h"
#include "pdf/PageTree.h"
#include "pdf/StreamData.h"
#include "sdf/SDFDoc.h"
#include "tests/support/PdfBuilder.h"

using namespace qvx;
using PDF::FindIn;

namespace {

struct Opened {
    explicit Opened(const std::string& bytes)
    {
        doc.OpenBuffer(Common::ToBytes(bytes));
        page = PDF::PageTree(doc).GetPage(0);
    }
    // The last content stream of the page, decoded.
    std::string LastContent() const
    {
        std::vector<SDF::Obj*> s = page.GetContentStreams();
        auto data = PDF::ReadDecoded(s.back(), 1 << 20);
        return data ? std::string(data->begin(), data->end()) : "";
    }
    SDF::SDFDoc doc;
    PDF::Page page;
};

const std::string kForm = "/Type/XObject/Subtype/Form/BBox[0 0 50 25]";

// Page 3 (rotation given) with annotations 6 and 7 (bodies given); forms 8 and 9.
std::string File(const std::string& annot6, const std::string& annot7 = "<</Subtype/Text/Rect[0 0 1 1]>>",
                 int rotate = 0, const std::string& form8 = kForm)
{
    Test::PdfBuilder b = Test::PdfBuilder::Minimal();
    b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 400 400]/Rotate " + std::to_string(rotate) +
                 "/Contents 4 0 R/Annots[6 0 R 7 0 R]>>");
    b.Set(6, annot6);
    b.Set(7, annot7);
    b.SetStream(8, form8, "0 0 50 25 re f");
    b.SetStream(9, "/BBox[0 0 10 10]", "0 0 10 10 re f");
    return b.Build();
}

const std::string kSquare = "<</Subtype/Square/Rect[100 100 200 150]/AP<</N 8 0 R>>";

}  // namespace

TEST(AnnotFlatten, PlacesTheAppearanceOnRect)
{
    // BBox 50 x 25 onto a 100 x 50 rectangle.
    Opened a(File(kSquare + ">>"));
    PDF::Annot(a.page.GetAnnots()->GetAt(0)).Flatten(a.page);
    EXPECT_EQ(a.LastContent(), "Q\nq 2 0 0 2 100 100 cm /Annot0 Do Q\n");
    EXPECT_EQ(a.page.GetAnnots()->Size(), 1u);
    EXPECT_EQ(a.page.GetAnnots()->GetAt(0)->GetObjNum(), 7u);
    // The page had no Resources: it has its own now, referring to the form itself.
    EXPECT_EQ(FindIn(FindIn(a.page.GetResourceDict(), "XObject"), "Annot0"), FindIn(a.doc.GetObj(6), "AP")->FindObj("N")->Resolve());
    // Its content was closed in q/Q: q, the old stream, Q and the drawing.
    std::vector<SDF::Obj*> streams = a.page.GetContentStreams();
    ASSERT_EQ(streams.size(), 3u);
    EXPECT_EQ(streams[1], a.doc.GetObj(4)->Resolve());

    // A second annotation goes into the same closing stream (no deeper q nesting); a
    // Matrix turning the form a quarter turn is fitted by its turned box, and a stream
    // without Subtype becomes a form.
    Opened b(File(kSquare + "/F 2>>", "<</Subtype/Square/Rect[0 0 20 40]/AP<</N<</On 9 0 R/Off 8 0 R>>>>/AS/On>>",
                  0, "/BBox[0 0 50 25]/Matrix[0 1 -1 0 0 0]"));
    // (form 8 has no Subtype here)
    PDF::Annot(b.page.GetAnnots()->GetAt(1)).Flatten(b.page);
    PDF::Annot(b.page.GetAnnots()->GetAt(0)).Flatten(b.page);
    EXPECT_EQ(b.LastContent(), "Q\nq 2 0 0 4 0 0 cm /Annot0 Do Q\nq 4 0 0 1 200 100 cm /Annot1 Do Q\n");
    EXPECT_EQ(b.page.GetContentStreams().size(), 3u);
    EXPECT_EQ(b.page.GetAnnots()->Size(), 0u);
    EXPECT_EQ(PDF::FindName(b.doc.GetObj(8), "Subtype"), "Form");
}

TEST(AnnotFlatten, NoRotateStaysUprightOnARotatedPage)
{
    Opened a(File(kSquare + "/F 16>>", "<</Subtype/Text/Rect[0 0 1 1]>>", 90));
    PDF::Annot(a.page.GetAnnots()->GetAt(0)).Flatten(a.page);
    // Placed (2 0 0 2 100 100), then turned a quarter against the page about (100, 150).
    EXPECT_EQ(a.LastContent(), "Q\nq 0 2 -2 0 150 150 cm /Annot0 Do Q\n");
    // Without the flag the page's rotation applies as to the rest of the content.
    Opened b(File(kSquare + ">>", "<</Subtype/Text/Rect[0 0 1 1]>>", 90));
    PDF::Annot(b.page.GetAnnots()->GetAt(0)).Flatten(b.page);
    EXPECT_EQ(b.LastContent(), "Q\nq 2 0 0 2 100 100 cm /Annot0 Do Q\n");
}

TEST(AnnotFlatten, RefusesWhatCannotBePlaced)
{
    auto message = [](const std::string& annot6, const std::string& form8 = kForm) {
        Opened a(File(annot6, "<</Subtype/Text/Rect[0 0 1 1]>>", 0, form8));
        try {
            PDF::Annot(a.page.GetAnnots()->GetAt(0)).Flatten(a.page);
        } catch (const Common::Exception& e) {
            // Nothing was changed.
            EXPECT_EQ(a.page.GetAnnots()->Size(), 2u);
            EXPECT_EQ(a.page.GetContentStreams().size(), 1u);
            return std::string(e.GetMessage());
        }
        return std::string("no exception");
    };
    EXPECT_EQ(message("(not a dictionary)"), "Operation on invalid object");
    EXPECT_EQ(message("<</Subtype/Square/Rect[100 100 200 150]>>"), "The annotation has no normal appearance for its state");
    EXPECT_EQ(message("<</Subtype/Square/Rect[100 100 200 150]/AP<</N<</On 9 0 R>>>>/AS/Off>>"),
              "The annotation has no normal appearance for its state");
    EXPECT_EQ(message(kSquare + ">>", "/Subtype/Form"), "The appearance has no usable BBox");
    EXPECT_EQ(message("<</Subtype/Square/AP<</N 8 0 R>>>>"), "The annotation has no usable Rect");
    EXPECT_EQ(message(kSquare + ">>", "/BBox[0 0 50 25]/Subtype/Image"), "The appearance is not a form XObject");
}
