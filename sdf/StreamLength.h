#pragma once
// How long a stream's data is, when its Length cannot be trusted.

#include <cstdint>
#include <optional>

#include "common/Buffer.h"

namespace qvx::SDF {

class Dict;
class FileStream;
class Obj;
class SDFDocImpl;

// The data length of a stream whose data starts at data_offset in the document's file:
// Length, verified against a following endstream when the stream has a filter or Length
// is missing, zero or not a number; found by CalcStmLength when that fails. Throws
// "Unexpected end of stream" when no end can be found (unless Length was 0); in conversion a
// stream usable when cut whose Length runs past the end of the file ends there.
std::uint64_t FindStreamLength(SDFDocImpl& doc, const Dict& dict, std::uint64_t data_offset);

// Whether the part of a stream that arrived before the file was cut still serves: the objects
// of an object stream, content (a page's, a form's or a glyph's) and an image's rows. A font
// program, a colour profile, metadata, a CMap or a function cut short serves no reader.
bool UsableWhenCut(const Obj& dict);

// Scans from data_offset for endstream followed (after white space and comments) by
// endobj; the length excludes the white space just before endstream. Empty when the data
// ends first.
std::optional<std::uint64_t> CalcStmLength(Common::ByteView file, std::uint64_t data_offset);

// A usable Length value: a number in 0 .. 2^32 - 1 (read without loading anything while
// the cross-reference data is still being read).
std::optional<std::uint64_t> StreamLengthValue(SDFDocImpl& doc, const Dict& dict);

// The reader takes an unfiltered stream's Length as it stands, and ends a filtered one whose
// Length does not serve at an endstream followed by endobj; viewers read any stream whose
// Length does not end at endstream up to the first endstream. This gives the stream that
// data in memory, as viewers read it (a short Length would cut text off the page, a
// damaged endobj would lose the stream).
void ReadToEndstream(SDFDocImpl& doc, FileStream& stream);

}  // namespace qvx::SDF
