#pragma once
// Colours of every colour space turned into sRGB: device spaces by formula (DeviceCMYK
// through the output intent's profile when the document has one), ICC-based spaces through
// Little CMS 2, Separation and DeviceN through their tint transforms.

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "pdf/ColorSpace.h"

namespace qvx::PDF {
class ResourceCache;
class Resources;
}

namespace qvx::Render {

class FunctionEval;

struct RGB {
    double r = 0, g = 0, b = 0;
};

// A device space (gray, RGB, CMYK) as the resources' DefaultGray, DefaultRGB or
// DefaultCMYK turn it, when they name one of as many components; any other space as it is.
std::shared_ptr<const PDF::ColorSpace> WithDefault(std::shared_ptr<const PDF::ColorSpace> cs,
                                                   const PDF::Resources* resources, PDF::ResourceCache& cache);

class ColourConvert {
public:
    // cmyk_intent: the profile DeviceCMYK colours are printed with (null: a fixed formula).
    explicit ColourConvert(std::shared_ptr<const PDF::ICCProfile> cmyk_intent = nullptr);
    ~ColourConvert();
    ColourConvert(const ColourConvert&) = delete;
    ColourConvert& operator=(const ColourConvert&) = delete;

    // One colour of cs (null: DeviceGray) with n components in their natural ranges.
    RGB ToRGB(const PDF::ColorSpace* cs, const double* comps, int n);
    // count pixels of GetComponentCount() components each, 0..1 (Lab: natural ranges), into
    // 8-bit RGB triples.
    void RowToRGB(const PDF::ColorSpace* cs, const float* in, std::size_t count, std::uint8_t* rgb);
    // True when RowToRGB takes the components of cs as they are: gray (one byte three
    // times) or RGB, each component made a byte by ToByte.
    bool PassesThrough(const PDF::ColorSpace* cs) const;
    // A component 0..1 as a byte 0..255, as RowToRGB rounds it.
    static std::uint8_t ToByte(double v);
    // DeviceCMYK (components 0..1) to sRGB when no output intent says otherwise, as the
    // common readers show it.
    static RGB CmykFormula(double c, double m, double y, double k);
    // The components of the initial colour of a space (black, or 1 for tints).
    static std::vector<double> InitialColour(const PDF::ColorSpace* cs);

private:
    struct Transform;
    Transform* IccTransform(const PDF::ICCProfile* profile, int channels);
    const FunctionEval* Tint(const PDF::ColorSpace* cs);
    RGB Device(const PDF::ColorSpace* cs, const double* c, int n, int depth);
    RGB Convert(const PDF::ColorSpace* cs, const double* c, int n, int depth);

    std::shared_ptr<const PDF::ICCProfile> mp_cmyk_intent;
    std::map<const void*, std::shared_ptr<Transform>> m_transforms;
    std::map<const PDF::ColorSpace*, std::unique_ptr<FunctionEval>> m_tints;
    // Colours of Separation/DeviceN images, per space, by their 8-bit components.
    std::map<std::pair<const PDF::ColorSpace*, std::uint64_t>, RGB> m_tint_cache;
};

}  // namespace qvx::Render
