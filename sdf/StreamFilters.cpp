#include "sdf/StreamFilters.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "common/Exception.h"
#include "sdf/Obj.h"
#include "sdf/SDFDoc.h"
#include "sdf/SecurityHandler.h"

namespace qvx::SDF {

using Filters::Filter;

namespace {

// The value of key in a dictionary or stream, resolved; null when absent or unreadable.
const Obj* Value(const Obj* dict, std::string_view key)
{
    if (!dict || !(dict->IsDict() || dict->IsStream())) return nullptr;
    Obj* v = dict->FindObj(key);
    if (!v) return nullptr;
    try {
        return v->Resolve();
    } catch (const Common::Exception&) {
        return nullptr;
    }
}

std::optional<int> IntValue(const Obj* dict, std::string_view key)
{
    const Obj* v = Value(dict, key);
    if (!v || !v->IsNumber()) return std::nullopt;
    double d = v->GetNumber();
    if (!(d > -2147483648.0 && d < 2147483648.0)) return std::nullopt;
    return static_cast<int>(d);
}

bool BoolValue(const Obj* dict, std::string_view key, bool def)
{
    const Obj* v = Value(dict, key);
    return v && v->IsBool() ? v->GetBool() : def;
}

bool IsCrypt(std::string_view name) { return name == "Crypt"; }

}  // namespace

Filters::DecodeParams ReadDecodeParams(const Obj* parms, const Obj& stream)
{
    Filters::DecodeParams p;
    p.predictor = IntValue(parms, "Predictor").value_or(1);
    p.columns = IntValue(parms, "Columns");
    p.colors = IntValue(parms, "Colors").value_or(1);
    p.bits_per_component = IntValue(parms, "BitsPerComponent").value_or(8);
    p.early_change = IntValue(parms, "EarlyChange").value_or(1);
    p.color_transform = IntValue(parms, "ColorTransform").value_or(-1);
    p.k = IntValue(parms, "K").value_or(0);
    p.end_of_line = BoolValue(parms, "EndOfLine", false);
    p.encoded_byte_align = BoolValue(parms, "EncodedByteAlign", false);
    p.rows = IntValue(parms, "Rows");
    p.end_of_block = BoolValue(parms, "EndOfBlock", true);
    p.black_is_1 = BoolValue(parms, "BlackIs1", false);
    p.damaged_rows_before_error = IntValue(parms, "DamagedRowsBeforeError").value_or(0);
    p.width = static_cast<std::uint32_t>(std::max(0, IntValue(&stream, "Width").value_or(0)));
    p.height = static_cast<std::uint32_t>(std::max(0, IntValue(&stream, "Height").value_or(0)));
    p.image_bits_per_component = IntValue(&stream, "BitsPerComponent").value_or(0);
    if (const Obj* cs = Value(&stream, "ColorSpace"); cs && cs->IsArray() && cs->Size() > 0) {
        const Obj* family = cs->GetAt(0);
        p.image_indexed = family && family->IsName() && family->GetName() == "Indexed";
    }
    if (const Obj* g = Value(parms, "JBIG2Globals"); g && g->IsStream()) {
        auto dec = g->GetDecodedStream();
        while (std::size_t n = dec->Size()) {
            p.jbig2_globals.insert(p.jbig2_globals.end(), dec->Begin(), dec->Begin() + n);
            dec->Consume(n);
        }
    }
    return p;
}

std::unique_ptr<Filter> StreamCreatePredictorFilter(const Filters::DecodeParams& params, std::unique_ptr<Filter> source)
{
    return Filters::CreatePredictorFilter(params, std::move(source));
}

std::unique_ptr<Filter> StreamCreateDecodeFilter(std::string_view name, const Filters::DecodeParams& params,
                                                 std::unique_ptr<Filter> source)
{
    return Filters::CreateDecodeFilter(name, params, std::move(source));
}

std::unique_ptr<Filter> GetDecodedStreamHlp(const Obj& stream)
{
    const Obj* filter = Value(&stream, "Filter");
    const Obj* parms = Value(&stream, "DecodeParms");
    std::vector<std::string_view> names;
    std::vector<const Obj*> parm_list;
    if (filter && filter->IsName()) {
        names.push_back(filter->GetName());
    } else if (filter && filter->IsArray()) {
        for (std::size_t i = 0; i < filter->Size(); ++i) {
            const Obj* n = filter->GetAt(i)->Resolve();
            if (!n->IsName()) QVX_THROW("n->IsName()", "Unknown filter");
            names.push_back(n->GetName());
        }
    }
    if (parms && parms->IsArray()) {
        if (parms->Size() != names.size()) QVX_THROW("parms->Size() == names.size()", "Decode parameters do not match filter list");
        for (std::size_t i = 0; i < parms->Size(); ++i) parm_list.push_back(parms->GetAt(i)->Resolve());
    } else if (parms && parms->IsDict()) {
        if (names.size() > 1) QVX_THROW("names.size() <= 1", "Decode parameters do not match filter list");
        parm_list.push_back(parms);
    }
    parm_list.resize(names.size(), nullptr);
    for (std::string_view n : names)
        if (!IsCrypt(n) && !Filters::IsDecodeFilterName(n)) QVX_THROW("IsCrypt(n) || Filters::IsDecodeFilterName(n)", "Unknown filter");

    const std::uint64_t raw_length = stream.GetRawStreamLength();
    std::unique_ptr<Filter> chain = stream.GetRawStream(true);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const Obj* p = parm_list[i] && parm_list[i]->IsDict() ? parm_list[i] : nullptr;
        if (IsCrypt(names[i])) {
            SDFDoc* doc = stream.GetDoc();
            SecurityHandler* sh = doc ? doc->GetSecurityHandler() : nullptr;
            if (!sh) continue;
            const Obj* cf = Value(p, "Name");
            chain = sh->CreateCryptFilter(cf && cf->IsName() ? cf->GetName() : "Identity", std::move(chain), stream);
            continue;
        }
        Filters::DecodeParams dp = ReadDecodeParams(p, stream);
        dp.raw_length = raw_length;
        chain = StreamCreateDecodeFilter(names[i], dp, std::move(chain));
    }
    return chain;
}

}  // namespace qvx::SDF
