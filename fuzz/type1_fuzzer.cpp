// Conversion's rewrite of the widths in an embedded Type 1 program (eexec and charstring
// decryption, hsbw and sbw), and its cut to a subset of glyphs, on arbitrary bytes. The
// three lengths must add up to the bytes they measure, and what a rewrite returns must open
// again.
#include <cstdlib>
#include <map>
#include <string>

#include "pdf/FontProgram.h"
#include "pdf/Type1Program.h"

using namespace qvx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Small, two-byte, five-byte and negative widths.
    const std::map<std::string, long, std::less<>> widths = {{".notdef", 0}, {"A", 700}, {"B", -5}, {"space", 100000}};
    Common::ByteView bytes(data, size);
    auto lengths = PDF::Type1Program::ProgramLengths(bytes);
    if (lengths.clear + lengths.encrypted + lengths.tail != size) std::abort();
    const PDF::Type1Program::Keep keep = {"A", "space"};
    for (auto out : {PDF::Type1Program::WithAdvances(bytes, widths), PDF::Type1Program::WithAdvances(bytes, {}, {}, &keep)}) {
        if (!out) continue;
        if (out->lengths.clear + out->lengths.encrypted + out->lengths.tail != out->data.size()) std::abort();
        PDF::FontProgram::Open(std::move(out->data));
    }
    return 0;
}
