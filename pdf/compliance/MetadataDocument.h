#pragma once
// Where the metadata checks meet the document: the catalog's Metadata stream and the
// trailer's Info dictionary, read and written.

#include <optional>
#include <string>

#include "pdf/compliance/DocInfoValues.h"
#include "pdf/compliance/XmpToolkit.h"
#include "pdf/compliance/XmpValidation.h"
#include "sdf/SDFDoc.h"

namespace qvx::PDF {

// The Info values: dates parsed (a missing ModDate is now in UTC, a missing CreationDate
// a copy of ModDate), texts decoded to Unicode, and which keys are present.
DocInfoValues ReadDocInfoValues(SDF::SDFDoc& doc);

// The metadata validation of a PDF/A run: 721 (against the catalog) when the catalog has
// no Metadata stream, 722 when that stream has a Filter, then the packet checks on its
// decoded data, read 1024 bytes at a time. Returns false when there is no metadata
// stream or the toolkit cannot start. Does nothing (true) when the run is not a PDF/A one.
bool ProcessMetadata(SDF::SDFDoc& doc, DocInfoValues& values, XmpMetaHolder* holder);

// The PDF/UA counterpart (721 without a Metadata stream).
XmpUAResult ProcessMetadataUA(SDF::SDFDoc& doc);

// Conversion: writes the packet for the run's level as a new unfiltered Metadata stream
// and puts the values into the Info dictionary (created when missing).
void WriteMetadata(SDF::SDFDoc& doc, DocInfoValues values, const XmpMetaHolder& holder);

// PDF/UA conversion: keeps the existing packet's properties, sets the title and pdfuaid.
void UpdateMetadataUA(SDF::SDFDoc& doc, Common::UString title);

// The decoded data of the catalog's Metadata stream, nullopt when there is none. Throws
// when the data cannot be decoded or is larger than the packet limit.
std::optional<std::string> ReadMetadataPacket(SDF::SDFDoc& doc);

// The trailer's Info when it is a dictionary (a reference to a free entry is none), else null.
SDF::Obj* InfoDict(SDF::SDFDoc& doc);

// Object number of an indirect object, 0 for a direct one or null.
std::uint32_t ObjNumOf(const SDF::Obj* obj);

}  // namespace qvx::PDF
