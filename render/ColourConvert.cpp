#include "render/ColourConvert.h"

#include <algorithm>
#include <cmath>
#include <lcms2.h>
#include <mutex>

#include "common/Digest.h"
#include "common/Limits.h"
#include "pdf/ICCProfile.h"
#include "pdf/ObjUtil.h"
#include "pdf/ResourceCache.h"
#include "pdf/Resources.h"
#include "pdf/StreamData.h"
#include "render/FunctionEval.h"
#include "sdf/Obj.h"

namespace qvx::Render {

using PDF::ColorSpace;

namespace {

double Clamp01(double v) { return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0; }

// The sRGB colours of the 16 overprints of solid process inks on a press of the SWOP kind, by
// index c*8 + m*4 + y*2 + k: the renditions of the process colours that design tools and the
// common readers show (cyan 00ADEF, magenta EC008C, yellow FFF200, red ED1C24). Black ink
// alone is a dark grey, not 0 0 0.
constexpr double kInkOverprints[16][3] = {
    {255, 255, 255}, {35, 31, 32}, {255, 242, 0}, {28, 26, 0},   // paper, K, Y, YK
    {236, 0, 140},   {36, 0, 0},   {237, 28, 36}, {34, 0, 0},    // M, MK, MY, MYK
    {0, 173, 239},   {0, 15, 36},  {0, 166, 80},  {0, 19, 0},    // C, CK, CY, CYK
    {46, 49, 146},   {0, 0, 2},    {54, 54, 57},  {0, 0, 0},     // CM, CMK, CMY, CMYK
};

double SrgbGamma(double v)
{
    v = std::clamp(v, 0.0, 1.0);
    return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
}

// The dictionary of a CIE-based space ([/CalRGB << ... >>]), or null.
SDF::Obj* CieDict(const ColorSpace* cs)
{
    if (!cs || !cs->GetSDFObj() || !cs->GetSDFObj()->IsArray() || cs->GetSDFObj()->Size() < 2) return nullptr;
    return PDF::Deref(cs->GetSDFObj()->GetAt(1));
}

void WhitePoint(SDF::Obj* dict, double& wx, double& wy, double& wz)
{
    wx = 0.9505, wy = 1, wz = 1.089;
    if (SDF::Obj* wp = PDF::FindArray(dict, "WhitePoint"))
        wx = PDF::NumberAt(wp, 0, wx), wy = PDF::NumberAt(wp, 1, wy), wz = PDF::NumberAt(wp, 2, wz);
    if (!(wx > 0) || !(wy > 0) || !(wz > 0)) wx = 0.9505, wy = 1, wz = 1.089;
}

// XYZ relative to the space's white (scaled onto the D65 white) to sRGB.
RGB XyzToRGB(double X, double Y, double Z, double wx, double wy, double wz)
{
    X *= 0.9505 / wx, Y *= 1.0 / wy, Z *= 1.089 / wz;
    double r = 3.2406 * X - 1.5372 * Y - 0.4986 * Z;
    double g = -0.9689 * X + 1.8758 * Y + 0.0415 * Z;
    double b = 0.0557 * X - 0.2040 * Y + 1.0570 * Z;
    return {SrgbGamma(r), SrgbGamma(g), SrgbGamma(b)};
}

// CalGray and CalRGB: components through their gammas and matrix to XYZ.
RGB CalToRGB(const ColorSpace* cs, const double* c, int n)
{
    SDF::Obj* d = CieDict(cs);
    double wx, wy, wz;
    WhitePoint(d, wx, wy, wz);
    auto at = [&](int i) { return Clamp01(i < n ? c[i] : 0); };
    if (cs->GetFamily() == ColorSpace::e_cal_gray) {
        double g = PDF::FindNumber(d, "Gamma", 1);
        double y = std::pow(at(0), g > 0 ? g : 1);
        return XyzToRGB(wx * y, wy * y, wz * y, wx, wy, wz);
    }
    double gm[3] = {1, 1, 1}, m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    if (SDF::Obj* ga = PDF::FindArray(d, "Gamma"))
        for (int i = 0; i < 3; ++i) gm[i] = PDF::NumberAt(ga, i, 1);
    if (SDF::Obj* ma = PDF::FindArray(d, "Matrix"); ma && ma->Size() >= 9)
        for (int i = 0; i < 9; ++i) m[i] = PDF::NumberAt(ma, i, m[i]);
    double v[3];
    for (int i = 0; i < 3; ++i) v[i] = std::pow(at(i), gm[i] > 0 ? gm[i] : 1);
    double X = m[0] * v[0] + m[3] * v[1] + m[6] * v[2];
    double Y = m[1] * v[0] + m[4] * v[1] + m[7] * v[2];
    double Z = m[2] * v[0] + m[5] * v[1] + m[8] * v[2];
    return XyzToRGB(X, Y, Z, wx, wy, wz);
}

// CIE L*a*b* (of the space's WhitePoint) to sRGB.
RGB LabToRGB(const ColorSpace* cs, double L, double a, double b)
{
    double wx, wy, wz;
    WhitePoint(CieDict(cs), wx, wy, wz);
    auto g = [](double t) { return t >= 6.0 / 29 ? t * t * t : 108.0 / 841 * (t - 4.0 / 29); };
    double l = (L + 16) / 116;
    return XyzToRGB(wx * g(l + a / 500), wy * g(l), wz * g(l - b / 200), wx, wy, wz);
}

}  // namespace

struct ColourConvert::Transform {
    cmsHTRANSFORM h16 = nullptr, h8 = nullptr;
    int channels = 0;
    ~Transform()
    {
        if (h16) cmsDeleteTransform(h16);
        if (h8) cmsDeleteTransform(h8);
    }
};

ColourConvert::ColourConvert(std::shared_ptr<const PDF::ICCProfile> cmyk_intent) : mp_cmyk_intent(std::move(cmyk_intent))
{
    if (mp_cmyk_intent && mp_cmyk_intent->GetComponentCount() != 4) mp_cmyk_intent.reset();
}

ColourConvert::~ColourConvert() = default;

RGB ColourConvert::CmykFormula(double c, double m, double y, double k)
{
    // A halftone of coverages c, m, y, k shows each overprint over the share of the paper
    // where just its inks fall (the Neugebauer blend): interpolated ink by ink, k first.
    const double tc = Clamp01(c), tm = Clamp01(m), ty = Clamp01(y), tk = Clamp01(k);
    RGB out;
    double* channel[3] = {&out.r, &out.g, &out.b};
    for (int ch = 0; ch < 3; ++ch) {
        double v[8];
        for (int i = 0; i < 8; ++i) {
            const double a = kInkOverprints[2 * i][ch];
            v[i] = a + (kInkOverprints[2 * i + 1][ch] - a) * tk;
        }
        for (int i = 0; i < 4; ++i) v[i] = v[2 * i] + (v[2 * i + 1] - v[2 * i]) * ty;
        for (int i = 0; i < 2; ++i) v[i] = v[2 * i] + (v[2 * i + 1] - v[2 * i]) * tm;
        *channel[ch] = (v[0] + (v[1] - v[0]) * tc) / 255;
    }
    return out;
}

ColourConvert::Transform* ColourConvert::IccTransform(const PDF::ICCProfile* profile, int channels)
{
    auto it = m_transforms.find(profile);
    if (it != m_transforms.end()) return it->second->h16 ? it->second.get() : nullptr;
    const auto& bytes = profile->GetBytes();
    // Making a transform costs far more than drawing most pages with it, and every page
    // drawn has converters of its own: transforms are kept for the process, by profile.
    static std::mutex lock;
    static std::map<std::string, std::shared_ptr<Transform>> made;
    auto digest = Common::Md5(Common::ByteView(bytes.data(), bytes.size()));
    std::string key(reinterpret_cast<const char*>(digest.data()), digest.size());
    key += static_cast<char>(channels);
    std::lock_guard<std::mutex> hold(lock);
    if (auto found = made.find(key); found != made.end()) {
        m_transforms[profile] = found->second;
        return found->second->h16 ? found->second.get() : nullptr;
    }
    auto t = std::make_shared<Transform>();
    cmsHPROFILE in = cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
    cmsHPROFILE out = cmsCreate_sRGBProfile();
    cmsUInt32Number f16 = 0, f8 = 0;
    if (channels == 1) f16 = TYPE_GRAY_16, f8 = TYPE_GRAY_8;
    else if (channels == 3) f16 = TYPE_RGB_16, f8 = TYPE_RGB_8;
    else if (channels == 4) f16 = TYPE_CMYK_16, f8 = TYPE_CMYK_8;
    // The space as the header names it: lcms2 returns it as an enumeration, which a value it
    // does not know would overflow.
    if (in && out && f16 && profile->GetColorSpace() != "Lab ") {
        t->h16 = cmsCreateTransform(in, f16, out, TYPE_RGB_16, INTENT_RELATIVE_COLORIMETRIC, 0);
        t->h8 = cmsCreateTransform(in, f8, out, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC, 0);
        t->channels = channels;
    }
    if (in) cmsCloseProfile(in);
    if (out) cmsCloseProfile(out);
    Transform* r = t->h16 && t->h8 ? t.get() : nullptr;
    if (made.size() < 64) made.emplace(key, t);
    m_transforms[profile] = std::move(t);
    return r;
}

const FunctionEval* ColourConvert::Tint(const ColorSpace* cs)
{
    auto it = m_tints.find(cs);
    if (it != m_tints.end()) return it->second.get();
    auto f = FunctionEval::Create(cs->GetTintTransform());
    const FunctionEval* r = f.get();
    m_tints[cs] = std::move(f);
    return r;
}

std::vector<double> ColourConvert::InitialColour(const ColorSpace* cs)
{
    if (!cs) return {0};
    switch (cs->GetFamily()) {
    case ColorSpace::e_device_cmyk: return {0, 0, 0, 1};
    case ColorSpace::e_separation: case ColorSpace::e_device_n:
        return std::vector<double>(std::max(1, cs->GetComponentCount()), 1.0);
    case ColorSpace::e_lab: return {0, 0, 0};
    default: return std::vector<double>(std::max(1, cs->GetComponentCount()), 0.0);
    }
}

RGB ColourConvert::Device(const ColorSpace* cs, const double* c, int n, int depth)
{
    auto at = [&](int i) { return i < n ? c[i] : 0.0; };
    int comps = cs ? cs->GetComponentCount() : 1;
    if (comps == 4) {
        if (mp_cmyk_intent && depth < 2) {
            if (Transform* t = IccTransform(mp_cmyk_intent.get(), 4)) {
                std::uint16_t in[4], out[3];
                for (int i = 0; i < 4; ++i) in[i] = static_cast<std::uint16_t>(Clamp01(at(i)) * 65535 + 0.5);
                cmsDoTransform(t->h16, in, out, 1);
                return {out[0] / 65535.0, out[1] / 65535.0, out[2] / 65535.0};
            }
        }
        return CmykFormula(at(0), at(1), at(2), at(3));
    }
    if (comps == 3) return {Clamp01(at(0)), Clamp01(at(1)), Clamp01(at(2))};
    double g = Clamp01(at(0));
    return {g, g, g};
}

RGB ColourConvert::Convert(const ColorSpace* cs, const double* c, int n, int depth)
{
    if (!cs || depth > Common::Limits::kMaxColorSpaceNesting) return Device(nullptr, c, n, depth);
    switch (cs->GetFamily()) {
    case ColorSpace::e_device_gray: case ColorSpace::e_device_rgb: case ColorSpace::e_device_cmyk:
        return Device(cs, c, n, depth);
    case ColorSpace::e_cal_gray: case ColorSpace::e_cal_rgb:
        return CalToRGB(cs, c, n);
    case ColorSpace::e_lab:
        return LabToRGB(cs, n > 0 ? c[0] : 0, n > 1 ? c[1] : 0, n > 2 ? c[2] : 0);
    case ColorSpace::e_icc: {
        const PDF::ICCProfile* p = cs->GetICCProfile();
        int ch = cs->GetComponentCount();
        if (p && p->GetComponentCount() == ch && ch != 3) {
            // sRGB-like RGB profiles are taken as they are: the difference is below what shows.
            if (Transform* t = IccTransform(p, ch)) {
                std::uint16_t in[4] = {}, out[3];
                for (int i = 0; i < ch; ++i) in[i] = static_cast<std::uint16_t>(Clamp01(i < n ? c[i] : 0) * 65535 + 0.5);
                cmsDoTransform(t->h16, in, out, 1);
                return {out[0] / 65535.0, out[1] / 65535.0, out[2] / 65535.0};
            }
        }
        if (p && p->GetColorSpace() == "Lab ") return LabToRGB(nullptr, n > 0 ? c[0] : 0, n > 1 ? c[1] : 0, n > 2 ? c[2] : 0);
        if (cs->GetBase() && cs->GetBase()->GetComponentCount() == ch) return Convert(cs->GetBase(), c, n, depth + 1);
        return Device(cs, c, n, depth);
    }
    case ColorSpace::e_indexed: {
        const ColorSpace* base = cs->GetBase();
        if (!base) return {};
        int bn = base->GetComponentCount();
        long idx = std::lround(std::clamp(n > 0 ? c[0] : 0.0, 0.0, static_cast<double>(cs->GetHighVal())));
        SDF::Obj* lookup = PDF::Deref(cs->GetLookup());
        double comps[Common::Limits::kMaxColorComponents] = {};
        if (lookup && bn > 0 && bn <= Common::Limits::kMaxColorComponents) {
            Common::Bytes data;
            if (lookup->IsString()) {
                auto b = lookup->GetBuffer();
                data.assign(b.begin(), b.end());
            } else if (lookup->IsStream()) {
                if (auto d = PDF::ReadDecoded(lookup, static_cast<std::uint64_t>(cs->GetHighVal() + 1) * bn)) data = std::move(*d);
            }
            for (int i = 0; i < bn; ++i) {
                std::size_t k = static_cast<std::size_t>(idx) * bn + i;
                comps[i] = k < data.size() ? data[k] / 255.0 : 0;
                if (base->GetFamily() == ColorSpace::e_lab) {
                    // Lab lookups are scaled to the ranges of the space.
                    static const double lo[3] = {0, -100, -100}, hi[3] = {100, 100, 100};
                    comps[i] = lo[i] + comps[i] * (hi[i] - lo[i]);
                }
            }
        }
        return Convert(base, comps, bn, depth + 1);
    }
    case ColorSpace::e_separation: case ColorSpace::e_device_n: {
        const ColorSpace* alt = cs->GetAlternate();
        const FunctionEval* f = Tint(cs);
        if (cs->GetFamily() == ColorSpace::e_separation && !cs->GetColorants().empty() && cs->GetColorants()[0] == "None")
            return {1, 1, 1};
        if (!alt || !f) {
            double g = 1 - Clamp01(n > 0 ? c[0] : 0);
            return {g, g, g};
        }
        double out[Common::Limits::kMaxColorComponents + 1] = {};
        if (f->Outputs() > Common::Limits::kMaxColorComponents) return {};
        f->Eval(c, n, out);
        return Convert(alt, out, f->Outputs(), depth + 1);
    }
    case ColorSpace::e_pattern:
        return Convert(cs->GetBase(), c, n, depth + 1);
    }
    return {};
}

std::shared_ptr<const PDF::ColorSpace> WithDefault(std::shared_ptr<const PDF::ColorSpace> cs,
                                                   const PDF::Resources* resources, PDF::ResourceCache& cache)
{
    static const char* const kDefault[] = {"DefaultGray", "DefaultRGB", "DefaultCMYK"};
    if (!cs || !resources || cs->GetFamily() > ColorSpace::e_device_cmyk) return cs;
    SDF::Obj* def = PDF::FindIn(resources->Category("ColorSpace"), kDefault[cs->GetFamily()]);
    if (!def) return cs;
    try {
        std::shared_ptr<const ColorSpace> d = cache.GetColorSpace(def, resources);
        const int family = d ? d->GetFamily() : ColorSpace::e_pattern;
        if (family == ColorSpace::e_pattern || family == ColorSpace::e_indexed || family <= ColorSpace::e_device_cmyk ||
            d->GetComponentCount() != cs->GetComponentCount())
            return cs;
        return d;
    } catch (const std::exception&) {
        return cs;
    }
}

RGB ColourConvert::ToRGB(const ColorSpace* cs, const double* comps, int n)
{
    RGB r = Convert(cs, comps, n, 0);
    return {Clamp01(r.r), Clamp01(r.g), Clamp01(r.b)};
}

std::uint8_t ColourConvert::ToByte(double v) { return static_cast<std::uint8_t>(Clamp01(v) * 255 + 0.5); }

namespace {

// The profile an ICC-based space of n components is converted through: none for RGB, which
// is taken as sRGB, nor for a profile of another number of components.
const PDF::ICCProfile* OwnProfile(const ColorSpace* cs, int n)
{
    const PDF::ICCProfile* p = cs && cs->GetFamily() == ColorSpace::e_icc ? cs->GetICCProfile() : nullptr;
    return p && p->GetComponentCount() == n && n != 3 ? p : nullptr;
}

}  // namespace

bool ColourConvert::PassesThrough(const ColorSpace* cs) const
{
    int n = cs ? std::max(1, cs->GetComponentCount()) : 1;
    ColorSpace::Family fam = cs ? cs->GetFamily() : ColorSpace::e_device_gray;
    if (n != 1 && n != 3) return false;
    return fam == ColorSpace::e_device_gray || fam == ColorSpace::e_device_rgb ||
           (fam == ColorSpace::e_icc && !OwnProfile(cs, n));
}

void ColourConvert::RowToRGB(const ColorSpace* cs, const float* in, std::size_t count, std::uint8_t* rgb)
{
    int n = cs ? std::max(1, cs->GetComponentCount()) : 1;
    ColorSpace::Family fam = cs ? cs->GetFamily() : ColorSpace::e_device_gray;
    auto to8 = ToByte;
    // ICC spaces (and DeviceCMYK under an output intent) go through one lcms call per row.
    const PDF::ICCProfile* profile = OwnProfile(cs, n);
    if (fam == ColorSpace::e_device_cmyk && mp_cmyk_intent) profile = mp_cmyk_intent.get();
    if (profile) {
        if (Transform* t = IccTransform(profile, n)) {
            std::vector<std::uint8_t> buf(count * n);
            for (std::size_t i = 0; i < count * n; ++i) buf[i] = to8(in[i]);
            cmsDoTransform(t->h8, buf.data(), rgb, static_cast<cmsUInt32Number>(count));
            return;
        }
    }
    bool device = fam == ColorSpace::e_device_gray || fam == ColorSpace::e_device_rgb || fam == ColorSpace::e_device_cmyk ||
                  (fam == ColorSpace::e_icc && !profile && (n == 1 || n == 3));
    if (device && !(n == 4 && mp_cmyk_intent)) {
        for (std::size_t i = 0; i < count; ++i, in += n, rgb += 3) {
            if (n == 1) rgb[0] = rgb[1] = rgb[2] = to8(in[0]);
            else if (n == 3) rgb[0] = to8(in[0]), rgb[1] = to8(in[1]), rgb[2] = to8(in[2]);
            else if (n == 4) {
                // Runs of one colour (paper, flat art) are blended once.
                if (i > 0 && std::equal(in, in + 4, in - 4)) std::copy(rgb - 3, rgb, rgb);
                else {
                    RGB c = CmykFormula(in[0], in[1], in[2], in[3]);
                    rgb[0] = to8(c.r), rgb[1] = to8(c.g), rgb[2] = to8(c.b);
                }
            } else rgb[0] = rgb[1] = rgb[2] = 0;
        }
        return;
    }
    // Everything else colour by colour, remembered by its 8-bit components (images repeat
    // few colours, and a tint transform per pixel is slow).
    bool cacheable = n <= 8 && fam != ColorSpace::e_lab;
    double c[Common::Limits::kMaxColorComponents];
    for (std::size_t i = 0; i < count; ++i, in += n, rgb += 3) {
        std::uint64_t key = 0;
        for (int k = 0; k < n && k < Common::Limits::kMaxColorComponents; ++k) {
            c[k] = in[k];
            key = (key << 8) | to8(in[k]);
        }
        if (fam == ColorSpace::e_indexed) cacheable = true, key = static_cast<std::uint64_t>(in[0]);
        RGB r;
        if (cacheable) {
            auto it = m_tint_cache.find({cs, key});
            if (it == m_tint_cache.end()) {
                if (m_tint_cache.size() > 1u << 16) m_tint_cache.clear();
                it = m_tint_cache.emplace(std::make_pair(cs, key), ToRGB(cs, c, n)).first;
            }
            r = it->second;
        } else {
            r = ToRGB(cs, c, n);
        }
        rgb[0] = to8(r.r), rgb[1] = to8(r.g), rgb[2] = to8(r.b);
    }
}

}  // namespace qvx::Render
