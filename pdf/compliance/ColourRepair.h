#pragma once
// Conversion's repairs of colour that does not match the output intent or lacks what a
// DeviceN space must say about its colorants. The pages keep their look: DeviceCMYK is
// given a profile that holds the renderer's own CMYK colours, and a colorant's Separation
// paints what the DeviceN paints with that colorant alone.

#include <functional>
#include <string>

#include "common/Buffer.h"
#include "pdf/ColorSpace.h"
#include "pdf/compliance/PassContext.h"

namespace qvx::PDF {

// The CMYK profile (ICC version 2.1, CMYK to Lab, input class) as bytes, and zlib-compressed
// for a FlateDecode stream; built once per process. CMYKProfile.cpp
const Common::Bytes& CMYKProfileBytes();
const Common::Bytes& CMYKProfileStored();

// The document's [/ICCBased <CMYK profile>] array (an indirect object), made on first use.
SDF::Obj* CMYKProfileSpace(PassContext& ctx);

// Sets DefaultCMYK to the CMYK profile space in a resources dictionary.
void AddDefaultCMYK(PassContext& ctx, SDF::Obj* resources);

// Makes the CMYK profile space the alternate of a Separation or DeviceN array.
void ReplaceCMYKAlternate(PassContext& ctx, SDF::Obj* space);

// Gives each spot colorant of a DeviceN space that lacks one a Separation in its Colorants
// dictionary: the Separation of that name the document already uses (`known` returns it, or
// null), else one whose tint transform samples the DeviceN's with the other colorants at 0.
// False when nothing could be added (a tint transform that cannot be evaluated).
bool AddColorantSeparations(PassContext& ctx, const ColorSpace& device_n,
                            const std::function<SDF::Obj*(const std::string&)>& known);

// A Separation of that colorant name among the colour space resources of res or of the
// streams that invoke it (null when none).
SDF::Obj* FindSeparation(const Resources* res, std::string_view name);

// The Colorants dictionary of a DeviceN array as the file has it now (null when absent).
SDF::Obj* ColorantsOf(const ColorSpace& device_n);

}  // namespace qvx::PDF
