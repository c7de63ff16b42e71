// Opens a PDF file with the engine and saves it: a round trip through the document layer.
//
//   sdfsave [--classic] [--linearize] [--incremental] [--prune] in.pdf out.pdf
//
// Without options the save is full, with a cross-reference stream and object streams.
// Exit status: 0 saved, 1 bad command line, 2 the file did not open, 3 the save failed.

#include <cstdio>
#include <cstring>
#include <string>

#include "common/Exception.h"
#include "sdf/SDFDoc.h"

using namespace qvx;

int main(int argc, char** argv)
{
    std::uint32_t flags = 0;
    int i = 1;
    for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
        std::string opt = argv[i];
        if (opt == "--classic") flags |= SDF::SDFDoc::e_classic_xref;
        else if (opt == "--linearize") flags |= SDF::SDFDoc::e_linearize;
        else if (opt == "--incremental") flags |= SDF::SDFDoc::e_incremental;
        else if (opt == "--prune") flags |= SDF::SDFDoc::e_prune_unused;
        else i = argc;
    }
    if (argc - i != 2) {
        std::fprintf(stderr, "usage: sdfsave [--classic] [--linearize] [--incremental] [--prune] in.pdf out.pdf\n");
        return 1;
    }
    SDF::SDFDoc doc;
    try {
        doc.OpenFile(argv[i]);
    } catch (const Common::Exception& e) {
        std::fprintf(stderr, "open: %s\n", e.GetMessage().c_str());
        return 2;
    }
    try {
        doc.SaveToPath(argv[i + 1], flags);
    } catch (const Common::Exception& e) {
        std::fprintf(stderr, "save: %s\n", e.GetMessage().c_str());
        return 3;
    }
    return 0;
}
