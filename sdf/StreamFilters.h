#pragma once
// A stream's decode chain: the stream's Filter and DecodeParms objects are turned into
// plain parameters, and the byte-level decoders of filters/ are stacked on its raw data.

#include <memory>
#include <string_view>

#include "filters/DecodeFilterFactory.h"

namespace qvx::SDF {

class Obj;

// Reads one filter's parameters from parms (its DecodeParms dictionary, or null) and from
// the stream's own dictionary (the image's Width, Height, BitsPerComponent) into the plain
// values the decoders take; each decoder uses the ones it knows.
Filters::DecodeParams ReadDecodeParams(const Obj* parms, const Obj& stream);

// One decoding stage over source (the filter factory). Throws "Unknown filter" for other
// names and "CCITTFaxDecode Columns is negative".
std::unique_ptr<Filters::Filter> StreamCreateDecodeFilter(std::string_view name, const Filters::DecodeParams& params,
                                                          std::unique_ptr<Filters::Filter> source);

// The predictor stage of Flate and LZW: source itself for predictor 1 or less, TIFF for 2,
// PNG for 10 to 15; "Unknown predictor function." otherwise.
std::unique_ptr<Filters::Filter> StreamCreatePredictorFilter(const Filters::DecodeParams& params,
                                                             std::unique_ptr<Filters::Filter> source);

// The decoded data of a stream: its raw data (decrypted first when the document has a
// security handler), then each filter in order; a Crypt stage comes from the security
// handler (and passes the data through without one). Throws "Decode parameters do not
// match filter list" when DecodeParms is an array of another length than Filter, and
// "Unknown filter" before decoding anything when one name is unknown.
std::unique_ptr<Filters::Filter> GetDecodedStreamHlp(const Obj& stream);

}  // namespace qvx::SDF
