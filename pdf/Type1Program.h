#pragma once
// Type 1 font programs as PDF embeds them (FontFile): the three parts the stream's Length1,
// Length2 and Length3 measure, and the program with the advance widths of some glyphs
// changed in their charstrings (hsbw or sbw), so that the program agrees with the widths
// text was placed with.

#include <cstddef>
#include <map>
#include <optional>
#include <string>

#include "common/Buffer.h"

namespace qvx::PDF::Type1Program {

// Length1 (clear text up to and with the end of line after eexec), Length2 (the encrypted
// part) and Length3 (the zeros and cleartomark that close the program).
struct Lengths {
    std::size_t clear, encrypted, tail;
};
Lengths ProgramLengths(Common::ByteView data);

struct Program {
    Common::Bytes data;
    Lengths lengths;
};

// The program with each named glyph's advance set (in the program's units); the encrypted
// part is written in binary. Nullopt when the program is not a Type 1 program in PFA form,
// or when a named glyph's charstring does not begin with its width.
std::optional<Program> WithAdvances(Common::ByteView data, const std::map<std::string, long, std::less<>>& advances);

}  // namespace qvx::PDF::Type1Program
