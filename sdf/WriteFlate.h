#pragma once
// Compression of the data the writer makes itself (cross-reference and object streams).

#include "common/Buffer.h"

namespace qvx::SDF {

// The Flate-compressed bytes of data; with png_columns > 0 the PNG Up predictor is applied
// first to rows of that many bytes (DecodeParms Predictor 12, Columns png_columns).
Common::Bytes FlateBytes(Common::ByteView data, int png_columns = 0);

}  // namespace qvx::SDF
