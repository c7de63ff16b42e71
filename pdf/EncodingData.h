#pragma once
// The built-in single-byte encodings as glyph names per code (null: no glyph).

namespace qvx::PDF::EncodingData {
extern const char* const kStandard[256];
extern const char* const kWinAnsi[256];
extern const char* const kMacRoman[256];
extern const char* const kSymbol[256];
extern const char* const kZapfDingbats[256];
}  // namespace qvx::PDF::EncodingData
