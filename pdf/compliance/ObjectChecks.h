#pragma once
// The checks the object pass (pass 6) runs on each object it visits. Each may throw; the
// pass then records 11 against the object and replaces it by null.

#include "pdf/compliance/PassContext.h"

namespace qvx::PDF {

// PDF/A streams: F, FFilter and FDecodeParms (174), the filters (1101, 13, 1102, 1103),
// the PDF/A-1 metadata-stream filter (722), and the stream's bytes in the file (173, 172,
// 184), with the repairs of conversion. StreamChecks.cpp
void CheckStream(PassContext& ctx, SDF::Obj& stream);

// Conversion of an LZW stream: its decoded data compressed with Flate in a new stream that
// keeps the old entries, swapped into the old object number so every reference reaches it.
// A stream that cannot be decoded in full is left as it is. StreamRecode.cpp
void ReencodeLZW(PassContext& ctx, SDF::Obj& stream);
// Conversion of a JPEG 2000 image readers of the level cannot take: its samples at 8 bits
// (indices at their depth) in a new image, JPEG-compressed where JPEG carries its colour
// space, Flate otherwise, with the profile the file carried; swapped in like an LZW stream.
// Throws "Incorrect color space" for an image whose colours cannot be carried over.
// StreamRecode.cpp
void RecompressAsJPEG(PassContext& ctx, SDF::Obj& stream);

// Whether a filter, by its full name, may encode PDF/A data (LZW, JPEG 2000 and Crypt
// have rules of their own). StreamChecks.cpp
bool IsPermittedFilter(std::string_view full_name);

// A PDF/A-2 or later stream with JPEG 2000 data: the image group's JPX checks (283x);
// true when one fails.
// JPXChecks.cpp
bool CheckJPXStream(PassContext& ctx, SDF::Obj& stream);

// A dictionary that is not a stream: Filespec dictionaries and their embedded files (81, 1,
// 2, 3, 101, 1111; PDF/UA runs too). FileSpecChecks.cpp
void CheckNonStreamDict(PassContext& ctx, SDF::Obj& dict);

// Whether a dictionary is a Filespec dictionary (Type Filespec, or an F entry). FileSpecChecks.cpp
bool IsFileSpec(const SDF::Obj& dict);

}  // namespace qvx::PDF
