// Conversion's rewrite of bare CFF programs (glyph copies, advances, the structure mended) and
// the structure check on arbitrary bytes. Whatever a rewrite returns must open again.
#include <map>
#include <vector>

#include "pdf/CFFProgram.h"
#include "pdf/FontProgram.h"

using namespace qvx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Common::ByteView bytes(data, size);
    // A copy of .notdef, one without outline, under a name and under a CID.
    const std::vector<PDF::CFFProgram::Copy> copies = {{0u, 278, "notdef.c32", 60000}, {std::nullopt, 0, "blank.c33", 60001}};
    if (auto out = PDF::CFFProgram::WithGlyphCopies(bytes, copies)) PDF::FontProgram::Open(std::move(*out));
    const std::map<unsigned, double> advances = {{0, 500}, {1, -20}, {3, 100000}};
    if (auto out = PDF::CFFProgram::WithAdvances(bytes, advances)) PDF::FontProgram::Open(std::move(*out));
    if (auto out = PDF::CFFProgram::Mended(bytes)) PDF::FontProgram::Open(std::move(*out));
    PDF::CFFProgram::IsIntact(bytes);
    return 0;
}
