// The renderer on arbitrary bytes: they are the page content and also the content of a
// form, a tiling pattern, a soft mask group and a Type 3 glyph, the data of an image, a mesh
// shading and a sampled function, and the program of a calculator function, so that every
// drawing path of the page runs on them at a small resolution. The page is then compared
// with a copy whose page content is the bytes reversed, so that the fingerprint walk and the
// look comparison run on the same graph.
#include <cstdint>
#include <string>

#include "fuzz/support/FuzzDoc.h"
#include "pdf/PageTree.h"
#include "render/PageCompare.h"
#include "render/PageRenderer.h"

using namespace qvx;
using qvx::Fuzz::Set;
using qvx::Fuzz::SetStream;

namespace {

// The document around the input: page_content is the page's own content stream, content
// every other stream's data.
void Build(SDF::SDFDoc& doc, Common::ByteView content, Common::ByteView page_content)
{
    for (int i = 0; i < 24; ++i) doc.CreateIndirectNull();
    Set(doc, 1, "<< /Type /Catalog /Pages 2 0 R >>");
    Set(doc, 2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    Set(doc, 3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents 4 0 R /Resources 5 0 R "
                "/Annots [<< /Subtype /Square /Rect [10 10 90 90] /AP << /N 9 0 R >> >>] >>");
    SetStream(doc, 4, "<< >>", page_content);
    Set(doc, 5, "<< /Font << /F1 6 0 R /F2 7 0 R /F3 8 0 R >> /XObject << /Fm1 9 0 R /Im1 10 0 R /Im2 15 0 R >> "
                "/ColorSpace << /CS1 [/Separation /Spot /DeviceCMYK 11 0 R] /CS2 [/Indexed /DeviceRGB 1 <00FF00FF00FF>] "
                "/CS3 [/DeviceN [/A /B] /DeviceRGB 14 0 R] /CS4 [/Lab << /WhitePoint [0.95 1 1.09] >>] >> "
                "/Pattern << /P1 12 0 R /P2 << /PatternType 2 /Shading 16 0 R >> >> "
                "/ExtGState << /GS1 << /CA 0.5 /ca 0.5 /BM /Multiply /SMask << /S /Luminosity /G 9 0 R /TR 17 0 R >> "
                "/D [[1 2] 0] >> /GS2 << /BM /Hue /SMask << /S /Alpha /G 9 0 R >> >> >> "
                "/Shading << /Sh1 << /ShadingType 2 /ColorSpace /DeviceRGB /Function 11 0 R /Coords [0 0 1 1] >> "
                "/Sh2 16 0 R /Sh3 << /ShadingType 1 /ColorSpace /DeviceRGB /Function 18 0 R >> >> >>");
    Set(doc, 6, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    Set(doc, 7, "<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-H /DescendantFonts [<< /Subtype /CIDFontType2 "
                "/W [0 [500 600] 10 20 700] /CIDSystemInfo << /Registry (Adobe) /Ordering (Japan1) /Supplement 0 >> >>] >>");
    Set(doc, 8, "<< /Type /Font /Subtype /Type3 /FontMatrix [0.001 0 0 0.001 0 0] /FirstChar 0 /LastChar 255 "
                "/Encoding << /Differences [0 /g] >> /CharProcs << /g 13 0 R >> /Resources 5 0 R >>");
    SetStream(doc, 9, "<< /Subtype /Form /BBox [0 0 100 100] /Group << /S /Transparency /K true >> >>", content);
    SetStream(doc, 10, "<< /Subtype /Image /Width 7 /Height 5 /BitsPerComponent 4 /ColorSpace /CS2 /SMask 15 0 R "
                       "/Decode [1 0] >>", content);
    Set(doc, 11, "<< /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [1 1 1 1] /N 1 >>");
    SetStream(doc, 12, "<< /PatternType 1 /PaintType 2 /TilingType 1 /BBox [0 0 3 3] /XStep 2 /YStep 2 /Resources 5 0 R >>", content);
    SetStream(doc, 13, "<< >>", content);
    SetStream(doc, 14, "<< /FunctionType 4 /Domain [0 1 0 1] /Range [0 1 0 1 0 1] >>", content);
    SetStream(doc, 15, "<< /Subtype /Image /Width 3 /Height 9 /BitsPerComponent 1 /ColorSpace /DeviceGray /Mask [0 0] >>", content);
    SetStream(doc, 16, "<< /ShadingType 6 /ColorSpace /DeviceRGB /BitsPerCoordinate 8 /BitsPerComponent 8 /BitsPerFlag 8 "
                       "/Decode [0 100 0 100 0 1 0 1 0 1] >>", content);
    Set(doc, 17, "<< /FunctionType 3 /Domain [0 1] /Functions [11 0 R 11 0 R] /Bounds [0.5] /Encode [0 1 1 0] >>");
    SetStream(doc, 18, "<< /FunctionType 0 /Domain [0 1 0 1] /Range [0 1 0 1 0 1] /Size [2 3] /BitsPerSample 4 >>", content);
    doc.GetTrailer()->Put("Root", doc.GetObj(1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Common::ByteView content(data, size);
    SDF::SDFDoc doc;
    Build(doc, content, content);
    PDF::PageTree pages(doc);
    Render::RenderOptions opt;
    opt.dpi = 36;
    for (const PDF::Page& page : pages.Pages()) Render::RenderPage(doc, page, opt);

    Common::Bytes reversed(content.rbegin(), content.rend());
    SDF::SDFDoc copy;
    Build(copy, content, reversed);
    Render::CompareLook(doc, copy, {});
    return 0;
}
