#include "pdf/compliance/ColourRepair.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <string>
#include <memory>
#include <vector>

#include "pdf/ObjUtil.h"
#include "pdf/Resources.h"
#include "pdf/compliance/OutputIntents.h"
#include "render/FunctionEval.h"
#include "sdf/Dict.h"
#include "sdf/Name.h"
#include "sdf/SDFDocImpl.h"
#include "sdf/WriteFlate.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

// Samples of a colorant's tint transform: 8-bit tints are met exactly.
constexpr int kTintSamples = 256;

// The document's profile spaces, made on first use.
struct ProfileSpaces {
    Obj* rgb = nullptr;
    Obj* cmyk = nullptr;
};

// A sampled function of one input (0..1) giving what f gives for that tint of colorant
// `index` alone, at 16 bits per output over the range the samples span.
Obj* SampleColorant(SDF::SDFDoc& doc, const Render::FunctionEval& f, int index, int inputs)
{
    const int n = f.Outputs();
    std::vector<double> values(static_cast<std::size_t>(kTintSamples * n));
    std::vector<double> in(static_cast<std::size_t>(inputs), 0.0);
    for (int s = 0; s < kTintSamples; ++s) {
        in[static_cast<std::size_t>(index)] = s / double(kTintSamples - 1);
        f.Eval(in.data(), inputs, &values[static_cast<std::size_t>(s * n)]);
    }
    auto dict = SDF::Dict::Create();
    dict->PutNumber("FunctionType", 0);
    Obj* domain = dict->PutArray("Domain");
    domain->PushBackNumber(0);
    domain->PushBackNumber(1);
    dict->PutArray("Size")->PushBackNumber(kTintSamples);
    dict->PutNumber("BitsPerSample", 16);
    Obj* range = dict->PutArray("Range");
    std::vector<double> lo(static_cast<std::size_t>(n)), width(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        double a = values[static_cast<std::size_t>(k)], b = a;
        for (int s = 0; s < kTintSamples; ++s) {
            double v = values[static_cast<std::size_t>(s * n + k)];
            a = std::min(a, v), b = std::max(b, v);
        }
        // A constant output still needs a range of some width to be encoded in.
        if (!(b > a)) b = a + 1;
        lo[static_cast<std::size_t>(k)] = a, width[static_cast<std::size_t>(k)] = b - a;
        range->PushBackNumber(a);
        range->PushBackNumber(b);
    }
    Common::Bytes data;
    data.reserve(values.size() * 2);
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::size_t k = i % static_cast<std::size_t>(n);
        double t = std::clamp((values[i] - lo[k]) / width[k], 0.0, 1.0);
        auto v = static_cast<std::uint16_t>(t * 65535 + 0.5);
        data.push_back(static_cast<std::uint8_t>(v >> 8));
        data.push_back(static_cast<std::uint8_t>(v));
    }
    dict->PutName("Filter", "FlateDecode");
    return doc.CreateIndirectStream(SDF::FlateBytes(data), std::move(dict));
}

bool IsSeparationArray(Obj* obj)
{
    obj = Deref(obj);
    return obj && obj->IsArray() && obj->Size() == 4 && IsNameOf(Deref(obj->GetAt(0)), "Separation");
}

bool IsSeparationOf(Obj* obj, std::string_view name)
{
    return IsSeparationArray(obj) && IsNameOf(Deref(Deref(obj)->GetAt(1)), name);
}

}  // namespace

Obj* ProfileSpace(PassContext& ctx, ColorSpace::Family family)
{
    const bool cmyk = family == ColorSpace::e_device_cmyk;
    ProfileSpaces& cached = ctx.caches.Get<ProfileSpaces>();
    Obj*& space = cmyk ? cached.cmyk : cached.rgb;
    if (space) return space;
    if (!cmyk) return space = NewSRGBImageSpace(ctx.doc);
    auto dict = SDF::Dict::Create();
    dict->PutName("Filter", "FlateDecode");
    dict->PutNumber("N", 4);
    Obj* profile = ctx.doc.CreateIndirectStream(CMYKProfileStored(), std::move(dict));
    space = ctx.doc.CreateIndirectArray();
    space->PushBackName("ICCBased");
    space->PushBack(profile);
    return space;
}

void AddDefaultSpace(PassContext& ctx, Obj* resources, ColorSpace::Family family)
{
    Obj* spaces = FindDict(resources, "ColorSpace");
    if (!spaces) spaces = resources->PutDict("ColorSpace");
    spaces->Put(family == ColorSpace::e_device_cmyk ? "DefaultCMYK" : "DefaultRGB", ProfileSpace(ctx, family));
}

void ReplaceAlternate(PassContext& ctx, Obj* space, ColorSpace::Family family)
{
    Obj* profile_space = ProfileSpace(ctx, family);
    if (!space || !space->IsArray() || space->Size() < 3 || Deref(space->GetAt(2)) == Deref(profile_space)) return;
    space->Replace(2, profile_space);
}

Obj* FindSeparation(const Resources* res, std::string_view name)
{
    for (; res; res = res->GetParent()) {
        Obj* spaces = res->Category("ColorSpace");
        if (!spaces || !spaces->IsDict()) continue;
        for (auto it = spaces->DictBegin(); it != spaces->DictEnd(); ++it)
            if (IsSeparationOf(it.Value(), name)) return Deref(it.Value());
    }
    return nullptr;
}

Obj* ColorantsOf(const ColorSpace& device_n)
{
    Obj* arr = device_n.GetSDFObj();
    return arr && arr->IsArray() && arr->Size() > 4 ? FindDict(Deref(arr->GetAt(4)), "Colorants") : nullptr;
}

std::vector<std::string> ColorantNames(const ColorSpace& device_n)
{
    Obj* arr = device_n.GetSDFObj();
    Obj* names = arr && arr->IsArray() && arr->Size() > 1 ? Deref(arr->GetAt(1)) : nullptr;
    if (!names || !names->IsArray() || names->Size() != device_n.GetColorants().size()) return device_n.GetColorants();
    std::vector<std::string> out;
    for (std::size_t i = 0; i < names->Size(); ++i) {
        Obj* n = Deref(names->GetAt(i));
        if (!n || !n->IsName()) return device_n.GetColorants();
        out.emplace_back(n->GetName());
    }
    return out;
}

bool RenameColorant(const ColorSpace& device_n, Obj* separation, const std::string& from, const std::string& to)
{
    Obj* arr = device_n.GetSDFObj();
    Obj* names = arr && arr->IsArray() && arr->Size() > 1 ? Deref(arr->GetAt(1)) : nullptr;
    Obj* colorants = ColorantsOf(device_n);
    if (!names || !names->IsArray() || !colorants || Deref(colorants->FindObj(from)) != separation ||
        colorants->FindObj(to))
        return false;
    std::size_t at = names->Size();
    for (std::size_t i = 0; i < names->Size(); ++i) {
        if (!IsNameOf(Deref(names->GetAt(i)), from)) continue;
        if (at != names->Size()) return false;
        at = i;
    }
    if (at == names->Size()) return false;
    names->Replace(at, SDF::Name::Create(to));
    colorants->Rename(from, to);
    separation->Replace(1, SDF::Name::Create(to));
    return true;
}

bool AddColorantSeparations(PassContext& ctx, const ColorSpace& device_n,
                            const std::function<Obj*(const std::string&)>& known)
{
    Obj* arr = device_n.GetSDFObj();
    std::unique_ptr<Render::FunctionEval> tint = Render::FunctionEval::Create(device_n.GetTintTransform());
    const std::vector<std::string> names = ColorantNames(device_n);
    const int inputs = static_cast<int>(names.size());
    if (!arr || !arr->IsArray() || arr->Size() < 4 || !tint || tint->Outputs() < 1) return false;
    Obj* attrs = arr->Size() > 4 ? Deref(arr->GetAt(4)) : nullptr;
    if (!attrs || !attrs->IsDict()) attrs = arr->Size() > 4 ? arr->Replace(4, SDF::Dict::Create()) : arr->PushBackDict();
    Obj* colorants = FindDict(attrs, "Colorants");
    if (!colorants) colorants = attrs->PutDict("Colorants");
    const auto& process = device_n.GetProcessComponents();
    for (int i = 0; i < inputs; ++i) {
        const std::string& name = names[static_cast<std::size_t>(i)];
        if (name.empty() || name == "None" || std::find(process.begin(), process.end(), name) != process.end() ||
            IsSeparationArray(colorants->FindObj(name)))
            continue;
        if (Obj* same = known(name)) {
            colorants->Put(name, same);
            continue;
        }
        Obj* sep = colorants->PutArray(name);
        sep->PushBackName("Separation");
        sep->PushBackName(name);
        sep->PushBack(arr->GetAt(2));
        sep->PushBack(SampleColorant(ctx.doc, *tint, i, inputs));
    }
    return true;
}

bool RewriteProfileAsVersion2(Obj* stream, const ICCProfile& icc)
{
    Common::Bytes bytes = icc.AsVersion2();
    if (bytes.empty()) return false;
    stream->SetStreamData(SDF::FlateBytes(bytes));
    stream->PutName("Filter", "FlateDecode");
    stream->Erase("DecodeParms");
    return true;
}

void ReplaceOutputIntentProfileSpaces(PassContext& ctx)
{
    const auto& streams = ctx.caches.Get<OutputIntentProfileSpaces>();
    if (streams.empty()) return;
    auto matches = [&](Obj* o) {
        return o && o->IsArray() && o->Size() == 2 && IsNameOf(Deref(o->GetAt(0)), "ICCBased") &&
               streams.count(Deref(o->GetAt(1)));
    };
    auto device = [] { return SDF::Name::Create("DeviceCMYK"); };
    SDF::SDFDocImpl& impl = ctx.doc.GetImpl();
    const std::size_t size = impl.XRefSize();
    for (std::size_t n = 1; n < size && !ctx.Stopped(); ++n) {
        SDF::Indirect* entry = impl.GetEntry(static_cast<std::uint32_t>(n));
        if (!entry || entry->IsFree()) continue;
        Obj* obj = nullptr;
        try {
            obj = entry->Resolve();
        } catch (const std::exception&) {
            continue;
        }
        if (matches(obj)) {
            entry->SetReferent(device());
            entry->SetModified();
            continue;
        }
        // The arrays held directly, in the object's own arrays and dictionaries.
        std::vector<Obj*> todo{obj};
        while (!todo.empty()) {
            Obj* o = todo.back();
            todo.pop_back();
            if (o->IsArray()) {
                for (std::size_t i = 0; i < o->Size(); ++i) {
                    Obj* v = o->GetAt(i);
                    if (v->IsIndirect()) continue;
                    if (matches(v)) o->Replace(i, device());
                    else todo.push_back(v);
                }
            } else if (o->IsDict() || o->IsStream()) {
                std::vector<std::string> keys;
                for (auto it = o->DictBegin(); it != o->DictEnd(); ++it) {
                    Obj* v = it.Value();
                    if (v->IsIndirect()) continue;
                    if (matches(v)) keys.emplace_back(it.KeyText());
                    else todo.push_back(v);
                }
                for (const std::string& k : keys) o->Put(k, device());
            }
        }
    }
}

}  // namespace qvx::PDF
