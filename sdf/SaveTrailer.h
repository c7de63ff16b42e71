#pragma once
// The trailer work of a save: the file identifier, the usage rights a rewrite breaks, and
// the trailer dictionary as it is written.

#include <memory>

#include "common/Buffer.h"

namespace qvx::SDF {

class Obj;
class SDFDocImpl;
class SecurityHandler;

// A new file identifier: the MD5 digest of a block of the table size, the time, pseudo-
// random values and further values that differ between calls.
Common::Bytes NewFileID(std::size_t table_size);

// Gives the document's trailer an ID of two equal new identifiers when it has none and
// the save is not encrypted (an encrypted file keeps the ID its keys came from).
void AddFileIDIfMissing(SDFDocImpl& doc, bool encrypting);

// Removes UR3 from the catalog's Perms and Rights from its ViewerPreferences: usage rights
// are signed over the original bytes.
void RemoveUsageRights(SDFDocImpl& doc);

// The trailer to write, a copy of the document's: without Prev, XRefStm and the stream
// keys of a cross-reference stream, with Encrypt made by handler or without Encrypt when
// there is none. The caller sets Size (and Prev for an update).
std::unique_ptr<Obj> WrittenTrailer(SDFDocImpl& doc, SecurityHandler* handler);

}  // namespace qvx::SDF
