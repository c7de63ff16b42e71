// The content-stream reader on arbitrary bytes: the bytes are the page content and also the
// content of a form, a tiling pattern and a Type 3 glyph that the page's resources define,
// so every kind of nested walk, the fonts, colour spaces and the text layout run on them.
#include <cstdint>
#include <string>

#include "common/Exception.h"
#include "fuzz/support/FuzzDoc.h"
#include "pdf/ElementReader.h"
#include "pdf/PageTree.h"
#include "pdf/TextLayout.h"

using namespace qvx;
using qvx::Fuzz::Set;
using qvx::Fuzz::SetStream;

namespace {

struct Sink : PDF::ContentObserver {
    std::size_t issues = 0;
    void OnIssue(const PDF::ContentIssue&) override { ++issues; }
};

void Walk(PDF::ElementReader& r, int budget)
{
    int entered = 0;
    std::u16string text;
    while (const PDF::Element* e = r.Next()) {
        if (e->kind == PDF::Element::e_text) {
            PDF::LayoutText(*e, [&](const PDF::PlacedGlyph& g) {
                if (e->gstate->font) e->gstate->font->ToUnicode(g.code, text);
            });
            if (e->gstate->font && e->gstate->font->GetKind() == PDF::Font::e_type3 && entered < budget &&
                !e->strings.empty() && !e->strings[0].bytes.empty() && r.Type3GlyphBegin(e->strings[0].bytes[0])) {
                ++entered;
                Walk(r, budget - entered);
                r.End();
            }
        } else if (e->kind == PDF::Element::e_form && entered < budget && r.FormBegin()) {
            ++entered;
            Walk(r, budget - entered);
            r.End();
        } else if (e->kind == PDF::Element::e_path && e->gstate->fill.pattern && entered < budget && r.PatternBegin()) {
            ++entered;
            Walk(r, budget - entered);
            r.End();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Common::ByteView content(data, size);
    SDF::SDFDoc doc;
    for (int i = 0; i < 20; ++i) doc.CreateIndirectNull();
    Set(doc, 1, "<< /Type /Catalog /Pages 2 0 R >>");
    Set(doc, 2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    Set(doc, 3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources 5 0 R >>");
    SetStream(doc, 4, "<< >>", content);
    Set(doc, 5, "<< /Font << /F1 6 0 R /F2 7 0 R /F3 8 0 R >> /XObject << /Fm1 9 0 R /Im1 10 0 R >> "
                "/ColorSpace << /CS1 [/Separation /Spot /DeviceCMYK 11 0 R] /CS2 [/Indexed /DeviceRGB 1 <00FF00FF00FF>] "
                "/CS3 [/DeviceN [/A /B] /DeviceRGB 11 0 R] >> /Pattern << /P1 12 0 R >> "
                "/ExtGState << /GS1 << /CA 0.5 /BM /Multiply /Font [7 0 R 9] /SMask << /S /Alpha >> /D [[1 2] 0] >> >> "
                "/Shading << /Sh1 << /ShadingType 2 /ColorSpace /DeviceRGB /Function 11 0 R >> >> "
                "/Properties << /MC1 << /MCID 1 >> >> >>");
    Set(doc, 6, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /FirstChar 32 /LastChar 40 /Widths [1 2 3 4 5 6 7 8 9] "
                "/Encoding << /Differences [32 /space /uni0041 /f_f_i /a.sc] >> >>");
    Set(doc, 7, "<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-H /DescendantFonts [<< /Subtype /CIDFontType2 "
                "/W [0 [500 600] 10 20 700] /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> >>] >>");
    Set(doc, 8, "<< /Type /Font /Subtype /Type3 /FontMatrix [0.001 0 0 0.001 0 0] /FirstChar 0 /LastChar 255 "
                "/Encoding << /Differences [0 /g] >> /CharProcs << /g 13 0 R >> /Resources 5 0 R >>");
    SetStream(doc, 9, "<< /Subtype /Form /BBox [0 0 1 1] /Matrix [1 0 0 1 2 2] >>", content);
    SetStream(doc, 10, "<< /Subtype /Image /Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceGray >>", Common::AsBytes("x"));
    Set(doc, 11, "<< /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [1 1 1 1] /N 1 >>");
    SetStream(doc, 12, "<< /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 1 1] /XStep 1 /YStep 1 /Resources 5 0 R >>", content);
    SetStream(doc, 13, "<< >>", content);
    doc.GetTrailer()->Put("Root", doc.GetObj(1));

    PDF::PageTree pages(doc);
    PDF::ResourceCache cache;
    Sink sink;
    PDF::ElementReader reader(cache, &sink);
    for (const PDF::Page& page : pages.Pages()) {
        reader.Begin(page);
        Walk(reader, 3);
        reader.End();
    }
    return 0;
}
