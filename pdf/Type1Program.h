#pragma once
// Type 1 font programs as PDF embeds them (FontFile): the three parts the stream's Length1,
// Length2 and Length3 measure, and the program with the advance widths of some glyphs
// changed in their charstrings (hsbw or sbw), so that the program agrees with the widths
// text was placed with, and with glyphs added as copies of others.

#include <cstddef>
#include <map>
#include <optional>
#include <set>
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

// Whether data is a program in the segmented form of PFB files, each part after a header of
// six bytes (0x80, its kind, its length), which PDF files do not hold.
bool IsSegmented(Common::ByteView data);
// Such a program as PDF embeds it: the parts joined (the last one as far as the data goes),
// with the fixed trailer when it is missing; nullopt when a header is damaged.
std::optional<Program> Joined(Common::ByteView data);

// Whether a program in PFA form has a Subrs or CharStrings entry whose binary body does not
// end where its length says (the word that closes each entry does not follow it): readers
// that take the program entry by entry cannot read on. False for anything else.
bool HasDamagedEntries(Common::ByteView data);

using Advances = std::map<std::string, long, std::less<>>;
// A glyph to add: a copy of the charstring of the glyph named source, with its own advance.
struct Copy {
    std::string source;
    long advance;
};
using Copies = std::map<std::string, Copy, std::less<>>;

// The glyphs a subset keeps besides .notdef.
using Keep = std::set<std::string, std::less<>>;

// The program with each named glyph's advance set (in the program's units) and each copy
// added under its new name, and, given keep, without the glyphs it does not name; the
// encrypted part is written in binary. Nullopt when the program is not a Type 1 program in
// PFA form, when a named glyph's charstring does not begin with its width, when a copy's
// source is missing or its name taken, when a kept glyph is built of others (seac) or keep
// comes with copies, or when nothing changes.
std::optional<Program> WithAdvances(Common::ByteView data, const Advances& advances, const Copies& copies = {},
                                    const Keep* keep = nullptr);

}  // namespace qvx::PDF::Type1Program
