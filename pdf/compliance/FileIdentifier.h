#pragma once
// File identifiers made by conversion for a document whose trailer ID is unusable.

#include <memory>

#include "sdf/Obj.h"
#include "sdf/SDFDoc.h"

namespace qvx::PDF {

// The trailer's ID is a direct array of two direct, non-empty strings.
bool HasUsableFileID(const SDF::Obj& trailer);

// A new ID array: two strings holding the same 16 bytes, the MD5 digest of a 256-byte
// block filled with the table size, the trailer's address, the time, 40 values of the C
// library generator seeded with that time, and the time again.
std::unique_ptr<SDF::Obj> MakeNewFileID(SDF::SDFDoc& doc);

}  // namespace qvx::PDF
