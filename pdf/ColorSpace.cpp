#include "pdf/ColorSpace.h"

#include <cmath>

#include "common/Exception.h"
#include "common/Limits.h"
#include "pdf/ObjUtil.h"
#include "pdf/Resources.h"
#include "sdf/Obj.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

bool DeviceFamily(std::string_view n, ColorSpace::Family& f)
{
    if (n == "DeviceGray" || n == "G") f = ColorSpace::e_device_gray;
    else if (n == "DeviceRGB" || n == "RGB") f = ColorSpace::e_device_rgb;
    else if (n == "DeviceCMYK" || n == "CMYK") f = ColorSpace::e_device_cmyk;
    else return false;
    return true;
}

}  // namespace

std::shared_ptr<const ColorSpace> ColorSpace::Device(Family f)
{
    static const auto make = [](Family fam, int n) {
        std::shared_ptr<ColorSpace> cs(new ColorSpace);
        cs->m_family = fam;
        cs->m_ncomps = n;
        return std::shared_ptr<const ColorSpace>(cs);
    };
    static const std::shared_ptr<const ColorSpace> gray = make(e_device_gray, 1), rgb = make(e_device_rgb, 3),
                                                   cmyk = make(e_device_cmyk, 4);
    return f == e_device_rgb ? rgb : f == e_device_cmyk ? cmyk : gray;
}

std::shared_ptr<const ColorSpace> ColorSpace::FromFamilyName(std::string_view n)
{
    Family f;
    if (DeviceFamily(n, f)) return Device(f);
    if (n != "Pattern") return nullptr;
    static const std::shared_ptr<const ColorSpace> pattern = [] {
        std::shared_ptr<ColorSpace> cs(new ColorSpace);
        cs->m_family = e_pattern;
        cs->m_ncomps = 0;
        return cs;
    }();
    return pattern;
}

std::shared_ptr<const ColorSpace> ColorSpace::Create(Obj* obj, const Resources* res, int depth)
{
    Obj* o = Deref(obj);
    if (!o || depth > Common::Limits::kMaxColorSpaceNesting) return nullptr;
    if (o->IsName()) {
        std::string_view n = o->GetName();
        Family f;
        if (DeviceFamily(n, f)) return Device(f);
        if (n == "Pattern") {
            std::shared_ptr<ColorSpace> cs(new ColorSpace);
            cs->m_family = e_pattern;
            cs->m_ncomps = 0;
            cs->mp_obj = obj;
            return cs;
        }
        if (res) {
            if (Obj* named = res->Get("ColorSpace", n); named && named != o) return Create(named, res, depth + 1);
        }
        return nullptr;
    }
    if (!o->IsArray() || o->Size() == 0) return nullptr;
    std::shared_ptr<ColorSpace> cs(new ColorSpace);
    cs->mp_obj = obj;
    cs->ReadArray(o, res, depth);
    if (cs->m_ncomps < 0) return nullptr;
    return cs;
}

void ColorSpace::ReadArray(Obj* arr, const Resources* res, int depth)
{
    Obj* head = Deref(arr->GetAt(0));
    std::string_view n = head && head->IsName() ? head->GetName() : std::string_view();
    Obj* arg = arr->Size() > 1 ? Deref(arr->GetAt(1)) : nullptr;
    Family f;
    if (DeviceFamily(n, f)) {
        m_family = f;
        m_ncomps = f == e_device_gray ? 1 : f == e_device_rgb ? 3 : 4;
    } else if (n == "CalGray") {
        m_family = e_cal_gray;
        m_ncomps = 1;
    } else if (n == "CalRGB") {
        m_family = e_cal_rgb;
        m_ncomps = 3;
    } else if (n == "Lab") {
        m_family = e_lab;
        m_ncomps = 3;
    } else if (n == "ICCBased") {
        m_family = e_icc;
        m_ncomps = -1;
        if (!arg || !arg->IsStream()) return;
        mp_icc_stream = arg;
        double N = FindNumber(arg, "N", 0);
        m_ncomps = (N == 1 || N == 3 || N == 4) ? static_cast<int>(N) : -1;
        if (Obj* alt = FindIn(arg, "Alternate")) mp_base = Create(alt, res, depth + 1);
        mp_profile = ICCProfile::FromStream(arg);
        if (m_ncomps < 0 && mp_profile) m_ncomps = mp_profile->GetComponentCount();
    } else if (n == "Indexed" || n == "I") {
        m_family = e_indexed;
        m_ncomps = 1;
        mp_base = arg ? Create(arr->GetAt(1), res, depth + 1) : nullptr;
        double hv = NumberAt(arr, 2, -1);
        m_hival = std::isfinite(hv) && hv >= 0 && hv <= 255 ? static_cast<int>(hv) : -1;
        mp_lookup = arr->Size() > 3 ? Deref(arr->GetAt(3)) : nullptr;
        if (!mp_base || m_hival < 0) m_ncomps = -1;
    } else if (n == "Pattern") {
        m_family = e_pattern;
        mp_base = arg ? Create(arr->GetAt(1), res, depth + 1) : nullptr;
        m_ncomps = mp_base ? mp_base->GetComponentCount() : 0;
    } else if (n == "Separation") {
        ReadSeparation(arr, res, depth);
    } else if (n == "DeviceN") {
        ReadDeviceN(arr, res, depth);
    } else {
        m_ncomps = -1;
    }
}

void ColorSpace::ReadSeparation(Obj* arr, const Resources* res, int depth)
{
    m_family = e_separation;
    m_ncomps = 1;
    Obj* name = arr->Size() > 1 ? Deref(arr->GetAt(1)) : nullptr;
    if (name && name->IsName()) m_colorants.emplace_back(name->GetName());
    if (arr->Size() > 2) mp_alt = Create(arr->GetAt(2), res, depth + 1);
    if (arr->Size() > 3) mp_tint = Deref(arr->GetAt(3));
    if (m_colorants.empty() || !mp_alt) m_ncomps = -1;
}

void ColorSpace::ReadDeviceN(Obj* arr, const Resources* res, int depth)
{
    m_family = e_device_n;
    Obj* names = arr->Size() > 1 ? Deref(arr->GetAt(1)) : nullptr;
    if (!names || !names->IsArray() || names->Size() == 0) {
        m_ncomps = -1;
        return;
    }
    QVX_CHECK(names->Size() <= static_cast<std::size_t>(Common::Limits::kMaxColorComponents),
              "Corrupt DeviceN ColorSpace - too many channels");
    for (std::size_t i = 0; i < names->Size(); ++i) {
        Obj* nm = Deref(names->GetAt(i));
        m_colorants.emplace_back(nm && nm->IsName() ? nm->GetName() : std::string_view());
    }
    m_ncomps = static_cast<int>(m_colorants.size());
    if (arr->Size() > 2) mp_alt = Create(arr->GetAt(2), res, depth + 1);
    if (arr->Size() > 3) mp_tint = Deref(arr->GetAt(3));
    if (arr->Size() > 4) {
        Obj* attrs = Deref(arr->GetAt(4));
        if (attrs && attrs->IsDict()) {
            mp_attrs = attrs;
            if (Obj* proc = FindDict(attrs, "Process")) {
                mp_process = Create(FindIn(proc, "ColorSpace"), res, depth + 1);
                if (Obj* comps = FindArray(proc, "Components")) {
                    for (std::size_t i = 0; i < comps->Size(); ++i) {
                        Obj* nm = Deref(comps->GetAt(i));
                        if (nm && nm->IsName()) m_process_names.emplace_back(nm->GetName());
                    }
                }
            }
        }
    }
    if (!mp_alt) m_ncomps = -1;
}

SDF::Obj* ColorSpace::GetColorantsDict() const { return FindDict(mp_attrs, "Colorants"); }

std::string ColorSpace::GetAttributesSubtype() const
{
    std::string_view s = FindName(mp_attrs, "Subtype");
    return s.empty() ? std::string("DeviceN") : std::string(s);
}

const char* ColorSpace::GetFamilyName() const
{
    static const char* const kNames[] = {"DeviceGray", "DeviceRGB", "DeviceCMYK", "CalGray", "CalRGB", "Lab",
                                         "ICCBased", "Indexed", "Pattern", "Separation", "DeviceN"};
    return kNames[m_family];
}

}  // namespace qvx::PDF
