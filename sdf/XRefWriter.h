#pragma once
// The cross-reference section of a save: a classic table with its trailer, or a
// cross-reference stream carrying the trailer keys, and the startxref tail.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qvx::SDF {

class DocWriter;
class Obj;

struct XRefEntry {
    // The type codes of a cross-reference stream: 0 free, 1 in use, 2 in an object stream.
    std::uint8_t type = 0;
    // Free: next free number; in use: offset; compressed: the object stream's number.
    std::uint64_t field2 = 0;
    // Free and in use: generation; compressed: index in the object stream.
    std::uint32_t field3 = 0;
};

// Entries by object number, ascending; each run of consecutive numbers is one subsection.
using XRefEntries = std::vector<std::pair<std::uint32_t, XRefEntry>>;

// Links the free entries into a list in ascending order, starting at entry 0 (when listed)
// and ending with 0.
void LinkFreeEntries(XRefEntries& entries);

// One 20-byte line of a classic section: offset (10 digits), generation (5), n or f, CR LF.
std::string XRefLine(const XRefEntry& e);

// xref CR, the subsections with their 20-byte lines, trailer CR, the trailer, CR.
void WriteXRefTable(DocWriter& w, const XRefEntries& entries, const Obj& trailer);

// The cross-reference stream as object num (generation 0, never encrypted): the trailer's
// Root, Info, ID, Encrypt and Prev plus Type, Size, W, Index and the Flate-compressed
// entries, including its own.
// size is the Size to write.
void WriteXRefStream(DocWriter& w, XRefEntries entries, const Obj& trailer, std::uint32_t num, std::uint32_t size);

// startxref CR offset CR %%EOF LF.
void WriteStartXRef(DocWriter& w, std::uint64_t offset);

}  // namespace qvx::SDF
