#pragma once
// The document's PDF/A output intent: what the colour checks compare device colour with,
// what the annotation colour checks read, and what conversion creates when it is missing.
//
//     OutputIntentState& oi = ctx.caches.Get<OutputIntentState>();
//     if (oi.components == 0) ...   // no usable GTS_PDFA1 intent

#include <memory>

#include "pdf/ICCProfile.h"
#include "pdf/compliance/PassContext.h"

namespace qvx::PDF {

struct OutputIntentState {
    int components = 0;              // of the GTS_PDFA1 destination profile; 0: none usable
    SDF::Obj* profile = nullptr;     // that profile stream
    std::shared_ptr<const ICCProfile> icc;
};

// The OutputIntents array of the catalog or of a page (holder): profile sharing, the
// GTS_PDFA1 profile, DestOutputProfileRef and OutputConditionIdentifier. The first usable
// GTS_PDFA1 profile becomes the run's. In conversion an unusable array is removed.
void CheckOutputIntents(PassContext& ctx, SDF::Obj* holder);

// Conversion: gives the catalog a single sRGB GTS_PDFA1 output intent, unless the run
// already knows a usable one.
void AddSRGBOutputIntent(PassContext& ctx);

// The sRGB IEC61966-2.1 profile (ICC version 2.1, 3,144 bytes, 17 tags) as bytes, and as
// conversion stores it: zlib-compressed, for a FlateDecode stream. SRGBProfile.cpp
Common::Bytes SRGBProfileBytes();
Common::Bytes SRGBProfileStored();
// A new profile stream of the sRGB profile (the stored bytes, N 3), and a new
// [/ICCBased stream] of it: legal in PDF/A-1 whatever the output intent,
// and what the renderer draws in; for images that conversion draws anew.
SDF::Obj* NewSRGBProfileStream(SDF::SDFDoc& doc);
SDF::Obj* NewSRGBImageSpace(SDF::SDFDoc& doc);

}  // namespace qvx::PDF
