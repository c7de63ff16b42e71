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

// Writes, for each number of listed (ascending), the object when write[n] is set or a free
// entry otherwise, and records its cross-reference entry. Objects listed in streams are
// recorded as compressed and written inside object streams, which follow as objects
// first_stm, first_stm + 1, ... (numbers above every listed one).
class DocWriter;
void WriteObjects(DocWriter& w, SDFDocImpl& doc, const std::vector<std::uint32_t>& listed,
                  const std::vector<bool>& write, const std::vector<std::vector<std::uint32_t>>& streams,
                  std::uint32_t first_stm, bool hex_strings, XRefEntries& entries);

}  // namespace qvx::SDF
