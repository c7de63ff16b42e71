#pragma once
// Conversion's repairs of colour that does not match the output intent or lacks what a
// DeviceN space must say about its colorants. The pages keep their look: DeviceRGB is given
// the sRGB profile, DeviceCMYK a profile that holds the renderer's own CMYK colours, and a
// colorant's Separation paints what the DeviceN paints with that colorant alone.

#include <functional>
#include <set>
#include <string>

#include "common/Buffer.h"
#include "pdf/ColorSpace.h"
#include "pdf/compliance/PassContext.h"

namespace qvx::PDF {

// The CMYK profile (ICC version 2.1, CMYK to Lab, input class) as bytes, and zlib-compressed
// for a FlateDecode stream; built once per process. CMYKProfile.cpp
const Common::Bytes& CMYKProfileBytes();
const Common::Bytes& CMYKProfileStored();

// The document's [/ICCBased <profile>] array (an indirect object) for DeviceRGB (the sRGB
// profile) or DeviceCMYK (the CMYK profile), made on first use.
SDF::Obj* ProfileSpace(PassContext& ctx, ColorSpace::Family family);

// The ICC streams of CMYK spaces whose profile is the output intent's, which PDF/A-4 wants
// said as DeviceCMYK: under that intent the two mean the same colours.
struct OutputIntentProfileSpaces : std::set<SDF::Obj*> {};

// Conversion: every [/ICCBased S] array of those streams, wherever the document holds it,
// becomes the name DeviceCMYK.
void ReplaceOutputIntentProfileSpaces(PassContext& ctx);

// Sets DefaultRGB or DefaultCMYK to that profile space in a resources dictionary.
void AddDefaultSpace(PassContext& ctx, SDF::Obj* resources, ColorSpace::Family family);

// Makes that profile space the alternate of a Separation or DeviceN array.
void ReplaceAlternate(PassContext& ctx, SDF::Obj* space, ColorSpace::Family family);

// Writes the profile of an ICC stream again at version 2 (Flate-compressed); false, and the
// stream left as it was, when lcms2 cannot.
bool RewriteProfileAsVersion2(SDF::Obj* stream, const ICCProfile& icc);

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

// The colorant names of a DeviceN array as the file has them now (conversion may rename one
// after the space was read).
std::vector<std::string> ColorantNames(const ColorSpace& device_n);

// Gives the Separation that Colorants holds under `from` the name `to`, in the Separation,
// the Colorants key and the DeviceN's names. False, and nothing changed, unless the names
// hold `from` once and Colorants holds that Separation under it.
bool RenameColorant(const ColorSpace& device_n, SDF::Obj* separation, const std::string& from, const std::string& to);

}  // namespace qvx::PDF
