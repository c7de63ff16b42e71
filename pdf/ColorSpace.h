#pragma once
// Colour spaces of every family, read from their name or array form.
//
//     auto cs = ColorSpace::Create(obj, &resources);  // null when obj is no colour space
//     if (cs->GetFamily() == ColorSpace::e_device_n) cs->GetColorants();
//
// Named spaces other than the device and Pattern names are looked up in the ColorSpace
// resources. Construction throws "Corrupt DeviceN ColorSpace - too many channels" for a
// DeviceN with more than 32 names.

#include <memory>
#include <string>
#include <vector>

#include "pdf/ICCProfile.h"

namespace qvx::SDF {
class Obj;
}

namespace qvx::PDF {

class Resources;

class ColorSpace {
public:
    // Family numbers as the colour checks use them.
    enum Family { e_device_gray = 0, e_device_rgb = 1, e_device_cmyk = 2, e_cal_gray = 3, e_cal_rgb = 4,
                  e_lab = 5, e_icc = 6, e_indexed = 7, e_pattern = 8, e_separation = 9, e_device_n = 10 };

    static std::shared_ptr<const ColorSpace> Create(SDF::Obj* obj, const Resources* res = nullptr, int depth = 0);
    // The device space of that family (gray, RGB, CMYK), shared.
    static std::shared_ptr<const ColorSpace> Device(Family f);
    // The space a family name stands for without resources (DeviceGray, DeviceRGB,
    // DeviceCMYK, their abbreviations, and Pattern without underlying space), else null.
    static std::shared_ptr<const ColorSpace> FromFamilyName(std::string_view name);

    Family GetFamily() const { return m_family; }
    // Colour components of a colour in this space (Pattern: those of its underlying space, or 0).
    int GetComponentCount() const { return m_ncomps; }
    // The object as given (a name or an array), null for the built-in device spaces.
    SDF::Obj* GetSDFObj() const { return mp_obj; }
    bool IsDevice() const { return m_family <= e_device_cmyk; }

    // Indexed: base; Pattern: underlying space (may be null); ICCBased: Alternate (may be null).
    const ColorSpace* GetBase() const { return mp_base.get(); }
    // Separation and DeviceN: the alternate space.
    const ColorSpace* GetAlternate() const { return mp_alt.get(); }
    SDF::Obj* GetTintTransform() const { return mp_tint; }
    // Separation: its one colorant; DeviceN: the names of its array.
    const std::vector<std::string>& GetColorants() const { return m_colorants; }
    // DeviceN attributes dictionary (null when absent), its Subtype ("DeviceN", "NChannel"),
    // its Colorants dictionary and its Process space and component names.
    SDF::Obj* GetAttributes() const { return mp_attrs; }
    SDF::Obj* GetColorantsDict() const;
    std::string GetAttributesSubtype() const;
    const ColorSpace* GetProcessSpace() const { return mp_process.get(); }
    const std::vector<std::string>& GetProcessComponents() const { return m_process_names; }

    // ICCBased: the profile stream, N, and the profile read with lcms2 (null when invalid).
    SDF::Obj* GetICCStream() const { return mp_icc_stream; }
    const ICCProfile* GetICCProfile() const { return mp_profile.get(); }
    // Indexed: hival and the lookup (string or stream).
    int GetHighVal() const { return m_hival; }
    SDF::Obj* GetLookup() const { return mp_lookup; }

    // The family name ("DeviceRGB", "ICCBased", ...).
    const char* GetFamilyName() const;

private:
    ColorSpace() = default;
    void ReadArray(SDF::Obj* arr, const Resources* res, int depth);
    void ReadSeparation(SDF::Obj* arr, const Resources* res, int depth);
    void ReadDeviceN(SDF::Obj* arr, const Resources* res, int depth);

    Family m_family = e_device_gray;
    int m_ncomps = 1;
    SDF::Obj* mp_obj = nullptr;
    std::shared_ptr<const ColorSpace> mp_base, mp_alt, mp_process;
    SDF::Obj* mp_tint = nullptr;
    std::vector<std::string> m_colorants, m_process_names;
    SDF::Obj* mp_attrs = nullptr;
    SDF::Obj* mp_icc_stream = nullptr;
    std::shared_ptr<const ICCProfile> mp_profile;
    int m_hival = 0;
    SDF::Obj* mp_lookup = nullptr;
};

}  // namespace qvx::PDF
