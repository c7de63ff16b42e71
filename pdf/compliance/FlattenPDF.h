#pragma once
// The page flattener: rewrites one page so that its content no longer uses transparency
// and looks the same at the chosen resolution. What transparency touched is drawn by the
// renderer and put back as JPEG images; everything opaque stays vector content, and text
// that was transparent stays on the page as invisible text (see FlattenPlan.h).
//
//     FlattenPDF f(doc);
//     f.SetDpi(300);
//     f.SetJpegQuality(85);
//     f.Begin(page);
//     while (!f.Step()) {}
//
// The page is changed only by the last step, when everything is ready, so a page whose
// content cannot be read or drawn is left exactly as it was (the step throws). The page
// keeps its other entries (Annots, Parent, ...), loses Group, and gets resources of its own
// that list what its new content names; objects other than the page and the new streams
// keep their numbers and contents.

#include <memory>

#include "pdf/Page.h"
#include "pdf/ResourceCache.h"
#include "sdf/SDFDoc.h"

namespace qvx::PDF {

class FlattenPlan;

// What the flattened pages of one document share: the fonts and colour spaces read, and
// the ICCBased space of the images (made with the first image).
struct FlattenShared {
    ResourceCache& cache;
    SDF::Obj* image_space = nullptr;
};

class FlattenPDF {
public:
    FlattenPDF(SDF::SDFDoc& doc, FlattenShared& shared);
    ~FlattenPDF();

    void SetDpi(int dpi) { m_dpi = dpi; }
    void SetJpegQuality(int quality) { m_quality = quality; }

    void Begin(const Page& page);
    // One step (read the content, draw the regions, write the page); true when done.
    bool Step();

private:
    enum Stage { e_idle, e_plan, e_draw, e_write, e_done };
    void Plan();
    void Draw();
    void Write();
    SDF::Obj* ImageSpace();

    SDF::SDFDoc& m_doc;
    FlattenShared& m_shared;
    int m_dpi = 300;
    int m_quality = 85;
    Page m_page;
    Stage m_stage = e_idle;
    std::unique_ptr<FlattenPlan> mp_plan;
    struct Jpeg {
        Common::Bytes data;
        int width = 0, height = 0;
        Rect rect;  // where it goes, on the pixel grid
    };
    std::vector<Jpeg> m_images;
};

}  // namespace qvx::PDF
