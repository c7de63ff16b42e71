#pragma once
// A stream's decode chain: the stream's Filter and DecodeParms objects are turned into
// plain parameters, and the byte-level decoders of filters/ are stacked on its raw data.

#include <memory>
#include <string>
#include <string_view>

#include "common/Buffer.h"
#include "filters/CCITTParams.h"
#include "filters/PredictorParams.h"

namespace qvx::Filters {
class Filter;
}

namespace qvx::SDF {

class Obj;

// The parameters of one decoding stage, as plain values.
struct DecodeParams {
    Filters::PredictorParams predictor;  // FlateDecode, LZWDecode
    int early_change = 1;                // LZWDecode
    int color_transform = -1;            // DCTDecode (-1: absent)
    Filters::CCITTParams ccitt;          // CCITTFaxDecode
    int bits_per_component = 0;          // JPXDecode: the image's (0: absent)
    Common::Bytes jbig2_globals;         // JBIG2Decode: the decoded globals stream
    int width = 0, height = 0;           // JBIG2Decode: the image's size
    // Most bytes a decoding stage may produce (0: no limit).
    std::uint64_t output_budget = 0;
};

// The full filter name of a name or its abbreviation (Fl, LZW, A85, AHx, RL, DCT, CCF);
// empty for a name no decoder has.
std::string_view CanonicalFilterName(std::string_view name);

// Reads the parameters of filter `name` from parms (its DecodeParms dictionary, or null)
// and from the stream's own dictionary (the image entries). Throws "CCITTFaxDecode
// Columns is negative".
DecodeParams ReadDecodeParams(std::string_view name, const Obj* parms, const Obj& stream);

// One decoding stage over source. Throws "Unknown filter" for other names.
std::unique_ptr<Filters::Filter> StreamCreateDecodeFilter(std::string_view name, const DecodeParams& params,
                                                          std::unique_ptr<Filters::Filter> source);

// The predictor stage of Flate and LZW: source itself for predictor 1 or less, TIFF for 2,
// PNG for 10 to 15; "Unknown predictor function." otherwise.
std::unique_ptr<Filters::Filter> StreamCreatePredictorFilter(const Filters::PredictorParams& params,
                                                             std::unique_ptr<Filters::Filter> source);

// The decoded data of a stream: its raw data (decrypted first when the document has a
// security handler), then each filter in order. Throws "Decode parameters do not match
// filter list" when DecodeParms is an array of another length than Filter, and "Unknown
// filter" before decoding anything when one name is unknown.
std::unique_ptr<Filters::Filter> GetDecodedStreamHlp(const Obj& stream);

}  // namespace qvx::SDF
