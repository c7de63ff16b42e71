#pragma once
// Object streams for a compressed save: which objects go into which stream, and the
// streams themselves.

#include <cstdint>
#include <vector>

namespace qvx::SDF {

class DocWriter;
class SDFDocImpl;

// Groups objects into object streams. eligible[n] tells whether object n may go into one
// (the caller leaves out streams, objects with a generation other than 0 and objects it
// does not write). Objects are grouped by the part of the document that reaches them
// first: page tree, outlines, structure tree, name trees, page labels, information
// dictionary, then the rest in number order; each group is cut into streams of at most
// kObjStmMaxObjects. Throws "The document does not contain the Root entry." without a catalog.
std::vector<std::vector<std::uint32_t>> CompressObjects(SDFDocImpl& doc, const std::vector<bool>& eligible);

inline constexpr std::size_t kObjStmMaxObjects = 100;

// Writes object stream num holding members (loaded referents of doc's entries), Flate-
// compressed; the stream is encrypted as a whole when w encrypts, its objects never are.
void WriteObjectStream(DocWriter& w, SDFDocImpl& doc, std::uint32_t num, const std::vector<std::uint32_t>& members,
                       bool hex_strings);

}  // namespace qvx::SDF
