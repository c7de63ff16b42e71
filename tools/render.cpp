// Draws one page of a PDF into an image, for looking at pages and comparing renderers.
//
//     render FILE PAGE DPI OUT     (PAGE from 1; OUT ending in .ppm: binary PPM, else PNG)
//
// Exit status 0 when drawn, 1 when the file or page cannot be read, 2 on bad arguments.
// A note on standard error says when the resolution was lowered or something was skipped.

#include <cstdlib>
#include <malloc.h>
#include <iostream>
#include <string>

#include "common/Exception.h"
#include "pdf/PageTree.h"
#include "render/BitmapFile.h"
#include "render/PageRenderer.h"
#include "sdf/SDFDoc.h"

using namespace qvx;

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::cerr << "usage: render FILE PAGE DPI OUT\n";
        return 2;
    }
    char* end = nullptr;
    long page = std::strtol(argv[2], &end, 10);
    double dpi = std::strtod(argv[3], nullptr);
    if (!end || *end || page < 1 || !(dpi > 0)) {
        std::cerr << "render: PAGE must be a number from 1, DPI a positive number\n";
        return 2;
    }
    std::string out = argv[4];
#ifdef M_TRIM_THRESHOLD
    // One page, then the process ends: memory freed is kept for the next allocation rather
    // than handed back to the system and faulted in again (cairo frees and takes again
    // its working buffers for every glyph run it fills).
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
    try {
        SDF::SDFDoc doc;
        doc.OpenFile(argv[1]);
        // Opened as viewers open it: with the empty user password when it is encrypted. A
        // file that wants another (some encrypt only their attachments) is drawn as it reads.
        if (!doc.InitSecurityHandler()) std::cerr << "render: the document needs a password; drawn undecrypted\n";
        PDF::PageTree pages(doc);
        if (static_cast<std::size_t>(page) > pages.Count()) {
            std::cerr << "render: the document has " << pages.Count() << " pages\n";
            return 1;
        }
        Render::RenderOptions opt;
        opt.dpi = dpi;
        Render::RenderResult r = Render::RenderPage(doc, pages.GetPage(static_cast<std::size_t>(page - 1)), opt);
        if (out.size() > 4 && out.compare(out.size() - 4, 4, ".ppm") == 0) Render::WritePPM(r.bitmap, out);
        else Render::WritePNG(r.bitmap, out);
        if (r.capped) std::cerr << "render: drawn at " << r.dpi << " dpi (bitmap size cap)\n";
        if (!r.complete) std::cerr << "render: parts of the page could not be drawn\n";
    } catch (const std::exception& e) {
        std::cerr << "render: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
