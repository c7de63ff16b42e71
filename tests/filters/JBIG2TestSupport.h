#pragma once
// Decoding a JBIG2 stream with the engine and with the jbig2dec program, for comparison.

#include <optional>
#include <string>

#include "common/Buffer.h"
#include "filters/JBIG2Bitmap.h"

namespace qvx::Test::JBIG2 {

// The page as the engine decodes it, in JBIG2's polarity (1 = black) for comparison.
Filters::JBIG2::Bitmap EngineDecode(const Common::Bytes& page, const Common::Bytes& globals = {});

// The page as jbig2dec decodes the embedded stream; nullopt when jbig2dec failed.
std::optional<Filters::JBIG2::Bitmap> OracleDecode(const Common::Bytes& page, const Common::Bytes& globals = {});
bool OracleAvailable();

// Where two bitmaps first differ, or empty when they are equal.
std::string Difference(const Filters::JBIG2::Bitmap& a, const Filters::JBIG2::Bitmap& b);

}  // namespace qvx::Test::JBIG2
