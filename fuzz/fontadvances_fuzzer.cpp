// Conversion's rewrite of an embedded TrueType program's advances (hmtx, hhea, and the
// composite glyph records of glyf) on arbitrary bytes; what it returns must open again.
#include <map>

#include "pdf/FontProgram.h"
#include "pdf/SubstituteProgram.h"

using namespace qvx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::map<unsigned, double> widths = {{0, 0}, {1, 500}, {3, 1000}, {70000, 250}};
    auto out = PDF::SubstituteProgram::WithAdvances(Common::ByteView(data, size), widths);
    if (out) PDF::FontProgram::Open(std::move(*out));
    return 0;
}
