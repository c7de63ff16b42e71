// Colour spaces against the output intent, the Default spaces and the transparency group,
// and the Separation and DeviceN rules.
#include <algorithm>
#include <exception>

#include "common/Limits.h"
#include "pdf/Image.h"
#include "pdf/ObjUtil.h"
#include "pdf/ResourceCache.h"
#include "pdf/Shading.h"
#include "pdf/StreamData.h"
#include "pdf/compliance/ColourChecks.h"
#include "pdf/compliance/ColourRepair.h"
#include "pdf/compliance/OutputIntents.h"
#include "sdf/Dict.h"
#include "sdf/Name.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

// Indexed, Separation and DeviceN spaces nest; real files go two or three deep.
constexpr int kMaxSpaceDepth = 8;

// Tint transforms bigger than this are compared by object only.
constexpr std::uint64_t kMaxCompareBytes = 1u << 20;

bool SameObj(const Obj* a, const Obj* b, int depth = 0);

// Readers take the colour operands as N says where it is given, and as the profile says
// where it is not. A missing N becomes the profile's; an N of 3 or 4 that the profile does
// not have gets the stock profile of that many components (sRGB, or the CMYK profile of the
// device colour repairs), which draws as the device space readers fall back to. True when
// the profile was replaced.
bool RepairComponentCount(PassContext& ctx, const ColorSpace& cs, const ICCProfile& icc)
{
    Obj* stream = cs.GetICCStream();
    Obj* n = FindIn(stream, "N");
    if (!n || !n->IsNumber()) {
        stream->PutNumber("N", icc.GetComponentCount());
        return false;
    }
    const double want = n->GetNumber();
    Obj* space = Deref(cs.GetSDFObj());
    if ((want != 3 && want != 4) || !space || !space->IsArray() || space->Size() < 2) return false;
    Obj* stock = Deref(ProfileSpace(ctx, want == 4 ? ColorSpace::e_device_cmyk : ColorSpace::e_device_rgb));
    space->Replace(1, stock->GetAt(1));
    return true;
}

// Equal dictionary entries, those skip names aside.
template <class Skip>
bool SameEntries(const Obj* a, const Obj* b, int depth, Skip skip)
{
    std::size_t na = 0, nb = 0;
    for (auto it = a->DictBegin(); it != a->DictEnd(); ++it) {
        if (skip(it.KeyText())) continue;
        ++na;
        if (!SameObj(it.Value(), b->FindObj(it.KeyText()), depth + 1)) return false;
    }
    for (auto it = b->DictBegin(); it != b->DictEnd(); ++it) nb += skip(it.KeyText()) ? 0 : 1;
    return na == nb;
}

// Same object, or the same content: equal values, arrays and dictionaries, or streams with
// equal entries (Length and filters aside) and equal decoded data.
bool SameObj(const Obj* a, const Obj* b, int depth)
{
    a = a ? a->Resolve() : nullptr;
    b = b ? b->Resolve() : nullptr;
    if (a == b) return true;
    if (!a || !b || a->GetType() != b->GetType() || depth > kMaxSpaceDepth) return false;
    if (a->IsArray()) {
        if (a->Size() != b->Size()) return false;
        for (std::size_t i = 0; i < a->Size(); ++i)
            if (!SameObj(a->GetAt(i), b->GetAt(i), depth + 1)) return false;
        return true;
    }
    if (a->IsDict()) return SameEntries(a, b, depth, [](std::string_view) { return false; });
    if (!a->IsStream()) return a->IsEqual(b);
    auto stream_key = [](std::string_view k) { return k == "Length" || k == "Filter" || k == "DecodeParms"; };
    if (!SameEntries(a, b, depth, stream_key)) return false;
    auto da = ReadDecoded(a, kMaxCompareBytes), db = ReadDecoded(b, kMaxCompareBytes);
    return da && db && *da == *db && da->size() < kMaxCompareBytes;
}

// Profiles with the same bytes. The profile ID (an MD5 of the rest) may be left zero in one
// copy; two different IDs make different profiles.
bool SameProfileData(const Common::Bytes& a, const Common::Bytes& b)
{
    constexpr std::size_t kIdBegin = 84, kIdEnd = 100;
    if (a.size() != b.size() || a.size() < kIdEnd) return a == b;
    auto zero = [&](const Common::Bytes& p) {
        return std::all_of(p.begin() + kIdBegin, p.begin() + kIdEnd, [](auto c) { return c == 0; });
    };
    bool same_id = std::equal(a.begin() + kIdBegin, a.begin() + kIdEnd, b.begin() + kIdBegin);
    return (same_id || zero(a) || zero(b)) && std::equal(a.begin(), a.begin() + kIdBegin, b.begin()) &&
           std::equal(a.begin() + kIdEnd, a.end(), b.begin() + kIdEnd);
}

// The resources a Default space counts in: those of the stream itself, not of the forms,
// patterns and glyphs it draws that have resources of their own; a stream without a
// dictionary of its own draws with its caller's.
const Resources* DefiningResources(const Resources* res)
{
    while (res && !res->GetDict()) res = res->GetParent();
    return res;
}

}  // namespace

Obj* ColourCheck::ResourcesToHoldDefault(const SpaceUse& use)
{
    if (const Resources* r = DefiningResources(use.res)) return r->GetDict();
    // No resources at all: a form, pattern or appearance gets its own, other content (the
    // page's, a glyph's) the page's.
    Obj* owner = use.stream && use.stream->IsStream() && use.stream->FindObj("BBox") ? use.stream : mp_page;
    return owner->PutDict("Resources");
}

std::shared_ptr<const ColorSpace> ColourCheck::SpaceOf(PassContext& ctx, Obj* obj, const Resources& res,
                                                       bool is_inline)
{
    obj = Deref(obj);
    if (!obj) return nullptr;
    try {
        if (obj->IsName()) {
            std::string_view name = is_inline ? ExpandInlineImageName(obj->GetName()) : obj->GetName();
            if (auto device = ColorSpace::FromFamilyName(name)) return device;
            obj = res.Get("ColorSpace", name);
            if (!obj) return nullptr;
        } else if (is_inline) {
            // An inline image's own array lives only as long as its operator: not cached.
            return ColorSpace::Create(obj, &res);
        }
        return ctx.caches.Get<ResourceCache>().GetColorSpace(obj, &res);
    } catch (const std::exception&) {
        CheckUnreadableDeviceN(ctx, obj);
        return nullptr;
    }
}

const ColorSpace* ColourCheck::GroupColourSpace() const
{
    for (auto it = m_groups.rbegin(); it != m_groups.rend(); ++it)
        if (it->space && !it->space->IsDevice() && (it->depth == 0 || it->isolated)) return it->space.get();
    return nullptr;
}

void ColourCheck::CheckPaint(PassContext& ctx, const ColorState& colour, const SpaceUse& use)
{
    const ColorSpace* cs = colour.space.get();
    if (!cs) return;
    if (cs->GetFamily() != ColorSpace::e_pattern) {
        CheckSpace(ctx, cs, use);
        return;
    }
    // An uncoloured pattern paints in its underlying space; a shading pattern in its shading's.
    if (cs->GetBase()) CheckSpace(ctx, cs->GetBase(), use);
    Obj* pattern = colour.pattern;
    if (pattern && FindNumber(pattern, "PatternType", 0) == 2) {
        Shading sh = Shading::Read(FindIn(pattern, "Shading"));
        CheckSpace(ctx, SpaceOf(ctx, sh.color_space, *use.res, false).get(), use);
    }
}

void ColourCheck::CheckSpace(PassContext& ctx, const ColorSpace* cs, const SpaceUse& use, int depth, bool remember)
{
    if (!cs || depth > kMaxSpaceDepth) return;
    // A space used again in the same setting gives the same findings: profiles and tint
    // transforms are compared once, not for every path drawn.
    if (depth == 0 && remember && !m_spaces_checked
                           .insert({cs, use.stream, use.res ? use.res->GetDict() : nullptr, GroupColourSpace(),
                                    use.alt_owner})
                           .second)
        return;
    switch (cs->GetFamily()) {
    case ColorSpace::e_indexed: CheckSpace(ctx, cs->GetBase(), use, depth + 1); break;
    case ColorSpace::e_separation: CheckSeparation(ctx, *cs, use, depth); break;
    case ColorSpace::e_device_n: CheckDeviceN(ctx, *cs, use, depth); break;
    case ColorSpace::e_icc: CheckICC(ctx, *cs, use); break;
    case ColorSpace::e_device_gray:
    case ColorSpace::e_device_rgb:
    case ColorSpace::e_device_cmyk: CheckDevice(ctx, *cs, use); break;
    default: break;
    }
}

void ColourCheck::CheckSeparation(PassContext& ctx, const ColorSpace& cs, const SpaceUse& use, int depth)
{
    // The alternate first: conversion may replace it, and the colorant is remembered with
    // the alternate it keeps.
    SpaceUse inner = use;
    inner.alt_owner = &cs;
    CheckSpace(ctx, cs.GetAlternate(), inner, depth + 1);
    if (cs.GetColorants().empty()) return;
    Obj* arr = cs.GetSDFObj();
    const bool array = arr && arr->IsArray() && arr->Size() > 2;
    Obj* alt = array ? Deref(arr->GetAt(2)) : nullptr;
    // The array's own name: conversion may have renamed the colorant since the space was read.
    Obj* own = array ? Deref(arr->GetAt(1)) : nullptr;
    const std::string name = own && own->IsName() ? std::string(own->GetName()) : cs.GetColorants().front();
    const Separation sep{cs.GetTintTransform(), alt, arr};
    auto [it, fresh] = m_separations.try_emplace(name, sep);
    if (fresh) return;
    const bool tint = SameObj(it->second.tint, sep.tint), same_alt = SameObj(it->second.alt, alt);
    if (!tint) ctx.Report(SDF::e_PDFA24212, arr);
    if (!same_alt) ctx.Report(SDF::e_PDFA24213, arr);
    // Readers draw a Separation through its alternate and tint transform (a DeviceN through
    // its own), so a colorant of its own name keeps the look; only the separated plates
    // would merge. All and None mean every plate and none.
    if ((tint && same_alt) || !ctx.state.convert || !array || name == "All" || name == "None") return;
    std::string fresh_name;
    for (int k = 2; fresh_name.empty() || m_separations.count(fresh_name); ++k) fresh_name = name + "_" + std::to_string(k);
    if (use.colorant_of) {
        if (!RenameColorant(*use.colorant_of, arr, name, fresh_name)) return;
    } else {
        arr->Replace(1, SDF::Name::Create(fresh_name));
    }
    m_separations.emplace(fresh_name, sep);
}

void ColourCheck::CheckColorantCount(PassContext& ctx, std::size_t colorants)
{
    if (colorants > 8) ctx.Report(SDF::e_PDFA11213);
    if (colorants > 32) ctx.Report(SDF::e_PDFA11214);
}

void ColourCheck::CheckUnreadableDeviceN(PassContext& ctx, Obj* cs)
{
    cs = Deref(cs);
    if (!cs || !cs->IsArray() || cs->Size() < 2 || !IsNameOf(Deref(cs->GetAt(0)), "DeviceN")) return;
    Obj* names = Deref(cs->GetAt(1));
    if (names && names->IsArray() && names->Size() > static_cast<std::size_t>(Common::Limits::kMaxColorComponents))
        CheckColorantCount(ctx, names->Size());
}

void ColourCheck::CheckDeviceN(PassContext& ctx, const ColorSpace& cs, const SpaceUse& use, int depth)
{
    CheckColorantCount(ctx, cs.GetColorants().size());
    if (ctx.Part() >= 2) {
        // The Separation of each colorant that is neither None nor a process colorant, up to
        // the first that has none (null).
        auto separations = [&] {
            std::vector<std::shared_ptr<const ColorSpace>> out;
            const auto& process = cs.GetProcessComponents();
            Obj* colorants = ColorantsOf(cs);
            for (const std::string& name : ColorantNames(cs)) {
                if (name == "None" || std::find(process.begin(), process.end(), name) != process.end()) continue;
                Obj* entry = FindIn(colorants, name);
                std::shared_ptr<const ColorSpace> sep = entry ? SpaceOf(ctx, entry, *use.res, false) : nullptr;
                out.push_back(sep && sep->GetFamily() == ColorSpace::e_separation ? sep : nullptr);
                if (!out.back()) break;
            }
            return out;
        };
        auto seps = separations();
        if (!seps.empty() && !seps.back()) {
            ctx.Report(SDF::e_PDFA24211, cs.GetSDFObj());
            // A Separation of the name met before, or one the resources define for later.
            auto known = [&](const std::string& name) {
                auto it = m_separations.find(name);
                return it != m_separations.end() ? it->second.space : FindSeparation(use.res, name);
            };
            if (ctx.state.convert && AddColorantSeparations(ctx, cs, known)) seps = separations();
        }
        SpaceUse colorant = use;
        colorant.colorant_of = &cs;
        for (const auto& sep : seps)
            if (sep) CheckSpace(ctx, sep.get(), colorant, depth + 1);
    }
    SpaceUse inner = use;
    inner.alt_owner = &cs;
    CheckSpace(ctx, cs.GetAlternate(), inner, depth + 1);
}

void ColourCheck::CheckICC(PassContext& ctx, const ColorSpace& cs, const SpaceUse& use)
{
    Obj* stream = cs.GetICCStream();
    if (!stream) {
        Obj* arr = cs.GetSDFObj();
        ctx.Report(SDF::e_PDFA232, arr && arr->IsArray() && arr->Size() > 1 ? arr->GetAt(1) : arr);
        return;
    }
    const ICCProfile* icc = cs.GetICCProfile();
    if (icc && FindNumber(stream, "N", 0) != icc->GetComponentCount()) {
        ctx.Report(SDF::e_PDFA233, stream);
        // A replaced profile is none of the later rules' concern.
        if (ctx.state.convert && RepairComponentCount(ctx, cs, *icc)) return;
    }
    // PDF/A-1 rests on a version whose readers know profiles of version 2 only; conversion
    // writes a later one again at 2.1, its transforms kept.
    if (ctx.Part() == 1 && icc && (icc->GetVersion() >> 24) > 2) {
        ctx.Report(SDF::e_PDFA232, stream);
        if (ctx.state.convert) RewriteProfileAsVersion2(stream, *icc);
    }
    // Comparing profiles is work done only where the rule is in force.
    if (!SDF::InForce(SDF::e_PDFA462423, ctx.state.level)) return;
    if (!icc || icc->GetComponentCount() != 4) return;
    auto same = [&](const ICCProfile* other, const Obj* other_stream) {
        return other_stream == stream || (other && SameProfileData(other->GetBytes(), icc->GetBytes()));
    };
    const OutputIntentState& oi = ctx.caches.Get<OutputIntentState>();
    const ColorSpace* group = GroupColourSpace();
    const bool intent = oi.profile && same(oi.icc.get(), oi.profile);
    if (intent || (group && group->GetFamily() == ColorSpace::e_icc && same(group->GetICCProfile(), group->GetICCStream())))
        ctx.Report(SDF::e_PDFA462423, use.stream);
    if (intent && ctx.state.convert) ctx.caches.Get<OutputIntentProfileSpaces>().insert(stream);
}

void ColourCheck::CheckDevice(PassContext& ctx, const ColorSpace& cs, const SpaceUse& use)
{
    static const char* const kDefault[] = {"DefaultGray", "DefaultRGB", "DefaultCMYK"};
    static const int kComponents[] = {1, 3, 4};
    const ColorSpace::Family family = cs.GetFamily();
    // A default that names a device space again makes nothing device-independent.
    if (const Resources* r = DefiningResources(use.res)) {
        Obj* def = FindIn(r->Category("ColorSpace"), kDefault[family]);
        if (def && !(def->IsName() && ColorSpace::FromFamilyName(def->GetName()))) return;
    }
    const int oi = ctx.caches.Get<OutputIntentState>().components;
    if (family == ColorSpace::e_device_gray) {
        if (oi != 0) return;
    } else if (oi == kComponents[family]) {
        return;
    }
    // PDF/A-4: inside a transparency group, a device-independent blending space of as many
    // components serves (a device blending space defers to the enclosing group's).
    if (ctx.Part() == 4 && family != ColorSpace::e_device_gray) {
        const ColorSpace* group = GroupColourSpace();
        if (group && group->GetComponentCount() == kComponents[family]) return;
    }
    // Conversion gives a file without an intent the sRGB one, which serves DeviceRGB; the
    // other mismatches get a profile of their own.
    const bool repair = ctx.state.convert && (family == ColorSpace::e_device_cmyk ||
                                              (family == ColorSpace::e_device_rgb && oi != 0));
    if (use.alt_owner) {
        ctx.Report(SDF::e_PDFA2341, use.alt_owner->GetSDFObj());
        if (repair) ReplaceAlternate(ctx, use.alt_owner->GetSDFObj(), family);
        return;
    }
    ctx.Report(oi != 0 ? SDF::e_PDFA2332 : SDF::e_PDFA2331, use.stream);
    if (repair) AddDefaultSpace(ctx, ResourcesToHoldDefault(use), family);
}

}  // namespace qvx::PDF
