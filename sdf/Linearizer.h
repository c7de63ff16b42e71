#pragma once
// The linearized layout of a full save (first page first, with hint tables), so that a
// viewer can show the first page before the whole file has arrived.

#include <cstdint>
#include <optional>

namespace qvx::SDF {

class DocWriter;
class Obj;
class SDFDocImpl;
class SecurityHandler;

// Writes everything after the header: the objects reachable from trailer (the trailer to
// write), renumbered in linearized order, with the linearization dictionary, the hint
// stream and both cross-reference sections (classic tables). Returns the offset that the
// final startxref names, or nothing (and writes nothing) when the document has no pages
// to lay out, or pages that are not indirect objects.
std::optional<std::uint64_t> WriteLinearized(DocWriter& w, SDFDocImpl& doc, Obj& trailer, SecurityHandler* handler,
                              bool hex_strings);

}  // namespace qvx::SDF
