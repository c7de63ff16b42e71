#pragma once
// What a save writes: the choice of objects and their loading.

#include <vector>

#include "sdf/XRefWriter.h"

namespace qvx::SDF {

class Indirect;
class Obj;
class SDFDocImpl;

// The entries a full save writes, by object number: the in-use entries (with prune only
// those reachable from trailer, the trailer to be written), leaving out the structure of
// the loaded file that the save makes anew: its object streams, cross-reference streams
// and Encrypt dictionary.
std::vector<bool> ObjectsToWrite(SDFDocImpl& doc, Obj& trailer, bool prune);

// The referent of entry, loaded for writing. Throws "Error loading the object. " or, for
// an object inside an object stream, "Error loading compressed object stream. ".
Obj& LoadForWrite(Indirect& entry);

// Whether an object may be written inside an object stream: generation 0, not a stream.
bool FitsObjectStream(Indirect& entry);

// The cross-reference entry for object number n when the save does not write it: free,
// with the generation a new object of that number would get.
XRefEntry FreeEntry(const Indirect* entry);

// The objects and the cross-reference section of a save (full or update). For each number
// of listed (ascending), the object when write[n] is set, else a free entry. With compress
// the objects that fit go into object streams (numbered after the table) and the section
// is a cross-reference stream, otherwise a classic table; trailer (a direct dictionary,
// Prev already set for an update) gets Size. Strings and streams are encrypted with
// handler (none: null), strings written in hex with hex. Ends with startxref; returns the
// section's offset.
class DocWriter;
class SecurityHandler;
std::uint64_t WriteBody(DocWriter& w, SDFDocImpl& doc, const std::vector<std::uint32_t>& listed,
                        const std::vector<bool>& write, bool compress, Obj& trailer, SecurityHandler* handler, bool hex);

}  // namespace qvx::SDF
