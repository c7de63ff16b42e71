#pragma once
// One-page documents built with PdfBuilder for the renderer tests: objects 1 to 4 are the
// catalog, the page tree, the page and its content; a test adds what its page uses (from
// object 5 on) and renders the page.

#include <string>

#include "common/Buffer.h"
#include "pdf/PageTree.h"
#include "render/PageRenderer.h"
#include "sdf/SDFDoc.h"
#include "tests/support/PdfBuilder.h"

namespace qvx::Test {

struct RenderDoc {
    PdfBuilder b;
    std::string media_box = "[0 0 100 100]";
    std::string resources = "<< >>";
    std::string page_extra;     // more entries of the page dictionary
    std::string catalog_extra;  // more entries of the catalog
    std::string content;

    RenderDoc()
    {
        b.Set(1, "<< >>");
        b.Set(2, "<< >>");
        b.Set(3, "<< >>");
        b.Set(4, "<< >>");
    }

    Render::RenderResult Draw(const Render::RenderOptions& opt = {})
    {
        b.Set(1, "<< /Type /Catalog /Pages 2 0 R " + catalog_extra + " >>");
        b.Set(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        b.Set(3, "<< /Type /Page /Parent 2 0 R /MediaBox " + media_box + " /Resources " + resources +
                     " /Contents 4 0 R " + page_extra + " >>");
        b.SetStream(4, "", content);
        b.SetTrailer("/Root 1 0 R");
        doc = std::make_unique<SDF::SDFDoc>();
        doc->OpenBuffer(Common::ToBytes(b.Build()));
        PDF::PageTree tree(*doc);
        return Render::RenderPage(*doc, tree.GetPage(0), opt);
    }

    std::unique_ptr<SDF::SDFDoc> doc;
};

// The pixel at (x, y) as 0xRRGGBB.
inline unsigned Rgb(const Render::Bitmap& bm, int x, int y)
{
    const std::uint8_t* p = bm.Pixel(x, y);
    return static_cast<unsigned>(p[0]) << 16 | static_cast<unsigned>(p[1]) << 8 | p[2];
}

// Whether each channel of the pixel is within tol of 0xRRGGBB.
inline bool Near(const Render::Bitmap& bm, int x, int y, unsigned rgb, int tol = 3)
{
    const std::uint8_t* p = bm.Pixel(x, y);
    for (int c = 0; c < 3; ++c) {
        int want = static_cast<int>((rgb >> (16 - 8 * c)) & 255);
        if (std::abs(p[c] - want) > tol) return false;
    }
    return true;
}

}  // namespace qvx::Test
