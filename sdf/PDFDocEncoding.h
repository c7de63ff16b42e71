#pragma once
// PDFDocEncoding (ISO 32000-2, annex D): the single-byte encoding of PDF text strings
// without byte order mark, and of passwords up to revision 4 of the standard handler.

#include <optional>
#include <string>
#include <string_view>

#include "common/Buffer.h"

namespace qvx::SDF {

// The Unicode value of a PDFDocEncoding byte.
char16_t FromPDFDoc(unsigned char c);
// The PDFDocEncoding bytes of UTF-8 text; none when a character has no byte (or the text
// is not well-formed UTF-8).
std::optional<std::string> UTF8ToPDFDoc(std::string_view utf8);
// PDFDocEncoding bytes as UTF-8.
std::string PDFDocToUTF8(Common::ByteView bytes);

}  // namespace qvx::SDF
