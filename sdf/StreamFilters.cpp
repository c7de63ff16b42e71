#include "sdf/StreamFilters.h"

#include <algorithm>
#include <vector>

#include "common/Exception.h"
#include "common/Limits.h"
#include "filters/ASCII85Decode.h"
#include "filters/ASCIIHexDecode.h"
#include "filters/CCITTFaxDecode.h"
#include "filters/DCTDecode.h"
#include "filters/FilterReader.h"
#include "filters/FlateDecode.h"
#include "filters/JPXDecode.h"
#include "filters/LZWDecode.h"
#include "filters/PNGPredictorDecode.h"
#include "filters/RunLengthDecode.h"
#include "filters/TIFFPredictorDecode.h"
#include "sdf/Obj.h"
#include "sdf/SDFDoc.h"
#include "sdf/SDFDocImpl.h"
#include "sdf/SecurityHandler.h"

namespace qvx::SDF {

using Filters::Filter;

namespace {

// The value of key in dict, resolved; null when absent or unreadable.
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

int IntValue(const Obj* dict, std::string_view key, int def)
{
    const Obj* v = Value(dict, key);
    if (!v || !v->IsNumber()) return def;
    double d = v->GetNumber();
    if (!(d > -2147483648.0 && d < 2147483648.0)) return def;
    return static_cast<int>(d);
}

bool BoolValue(const Obj* dict, std::string_view key, bool def)
{
    const Obj* v = Value(dict, key);
    return v && v->IsBool() ? v->GetBool() : def;
}

template <class F>
std::unique_ptr<Filter> Budgeted(std::unique_ptr<F> f, std::uint64_t budget)
{
    f->SetOutputBudget(budget);
    return f;
}

Common::Bytes ReadAll(Filter& f)
{
    Filters::FilterReader r(f);
    return r.ReadAll();
}

}  // namespace

std::string_view CanonicalFilterName(std::string_view n)
{
    static constexpr std::pair<std::string_view, std::string_view> kAbbrev[] = {
        {"Fl", "FlateDecode"}, {"LZW", "LZWDecode"}, {"A85", "ASCII85Decode"}, {"AHx", "ASCIIHexDecode"},
        {"RL", "RunLengthDecode"}, {"DCT", "DCTDecode"}, {"CCF", "CCITTFaxDecode"}};
    static constexpr std::string_view kFull[] = {"FlateDecode", "LZWDecode", "ASCII85Decode", "ASCIIHexDecode",
                                                 "RunLengthDecode", "DCTDecode", "CCITTFaxDecode",
                                                 "JBIG2Decode", "JPXDecode", "Crypt"};
    for (auto [a, full] : kAbbrev)
        if (n == a) return full;
    for (std::string_view f : kFull)
        if (n == f) return f;
    return {};
}

DecodeParams ReadDecodeParams(std::string_view name, const Obj* parms, const Obj& stream)
{
    DecodeParams p;
    std::string_view full = CanonicalFilterName(name);
    if (full == "FlateDecode" || full == "LZWDecode") {
        p.predictor.predictor = IntValue(parms, "Predictor", 1);
        p.predictor.columns = IntValue(parms, "Columns", 1);
        p.predictor.colors = IntValue(parms, "Colors", 1);
        p.predictor.bits_per_component = IntValue(parms, "BitsPerComponent", 8);
        p.early_change = IntValue(parms, "EarlyChange", 1);
    } else if (full == "DCTDecode") {
        p.color_transform = IntValue(parms, "ColorTransform", -1);
    } else if (full == "CCITTFaxDecode") {
        Filters::CCITTParams& c = p.ccitt;
        c.k = IntValue(parms, "K", 0);
        c.end_of_line = BoolValue(parms, "EndOfLine", false);
        c.encoded_byte_align = BoolValue(parms, "EncodedByteAlign", false);
        c.columns = IntValue(parms, "Columns", 1728);
        if (c.columns < 0) QVX_THROW("columns >= 0", "CCITTFaxDecode Columns is negative");
        c.rows = IntValue(parms, "Rows", IntValue(&stream, "Height", 0));
        c.end_of_block = BoolValue(parms, "EndOfBlock", true);
        c.black_is_1 = BoolValue(parms, "BlackIs1", false);
        c.damaged_rows_before_error = IntValue(parms, "DamagedRowsBeforeError", 0);
    } else if (full == "JPXDecode") {
        p.bits_per_component = IntValue(&stream, "BitsPerComponent", 0);
    } else if (full == "JBIG2Decode") {
        p.width = IntValue(&stream, "Width", 0);
        p.height = IntValue(&stream, "Height", 0);
        const Obj* g = Value(parms, "JBIG2Globals");
        if (g && g->IsStream()) {
            auto dec = g->GetDecodedStream();
            p.jbig2_globals = ReadAll(*dec);
        }
    }
    return p;
}

std::unique_ptr<Filter> StreamCreatePredictorFilter(const Filters::PredictorParams& params, std::unique_ptr<Filter> source)
{
    int pred = params.predictor;
    if (pred <= 1) return source;
    if (pred == 2) return std::make_unique<Filters::TIFFPredictorDecode>(std::move(source), params);
    if (pred >= 10 && pred <= 15) return std::make_unique<Filters::PNGPredictorDecode>(std::move(source), params);
    QVX_THROW("false", "Unknown predictor function.");
}

std::unique_ptr<Filter> StreamCreateDecodeFilter(std::string_view name, const DecodeParams& p, std::unique_ptr<Filter> src)
{
    std::string_view full = CanonicalFilterName(name);
    std::uint64_t b = p.output_budget;
    if (full == "FlateDecode" || full == "LZWDecode") {
        std::unique_ptr<Filter> dec =
            full == "FlateDecode" ? Budgeted(std::make_unique<Filters::FlateDecode>(std::move(src)), b)
                                  : Budgeted(std::make_unique<Filters::LZWDecode>(std::move(src), p.early_change), b);
        auto pred = StreamCreatePredictorFilter(p.predictor, std::move(dec));
        if (auto* buf = dynamic_cast<Filters::BufFilter*>(pred.get())) buf->SetOutputBudget(b);
        return pred;
    }
    if (full == "ASCII85Decode") return Budgeted(std::make_unique<Filters::ASCII85Decode>(std::move(src)), b);
    if (full == "ASCIIHexDecode") return Budgeted(std::make_unique<Filters::ASCIIHexDecode>(std::move(src)), b);
    if (full == "RunLengthDecode") return Budgeted(std::make_unique<Filters::RunLengthDecode>(std::move(src)), b);
    if (full == "DCTDecode") return Budgeted(std::make_unique<Filters::DCTDecode>(std::move(src), p.color_transform), b);
    if (full == "CCITTFaxDecode") return Budgeted(std::make_unique<Filters::CCITTFaxDecode>(std::move(src), p.ccitt), b);
    if (full == "JPXDecode") return Budgeted(std::make_unique<Filters::JPXDecode>(std::move(src), p.bits_per_component), b);
    if (full == "JBIG2Decode") QVX_THROW("false", "An error occurred while decoding JBIG2 stream");
    QVX_THROW("false", "Unknown filter");
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
            if (!n->IsName()) QVX_THROW("false", "Unknown filter");
            names.push_back(n->GetName());
        }
    }
    if (parms && parms->IsArray()) {
        if (parms->Size() != names.size()) QVX_THROW("false", "Decode parameters do not match filter list");
        for (std::size_t i = 0; i < parms->Size(); ++i) parm_list.push_back(parms->GetAt(i)->Resolve());
    } else if (parms && parms->IsDict()) {
        if (names.size() > 1) QVX_THROW("false", "Decode parameters do not match filter list");
        parm_list.push_back(parms);
    }
    parm_list.resize(names.size(), nullptr);
    for (std::string_view n : names)
        if (CanonicalFilterName(n).empty()) QVX_THROW("false", "Unknown filter");

    std::uint64_t raw_len = stream.GetRawStreamLength();
    std::uint64_t budget = std::max(Common::Limits::kDecodeOutputFloor, raw_len * Common::Limits::kDecodeOutputRatio);
    std::unique_ptr<Filter> chain = stream.GetRawStream(true);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (CanonicalFilterName(names[i]) == "Crypt") {
            SDFDoc* doc = stream.GetDoc();
            SecurityHandler* sh = doc ? doc->GetSecurityHandler() : nullptr;
            if (!sh) continue;
            const Obj* cf = Value(parm_list[i], "Name");
            std::string_view cf_name = cf && cf->IsName() ? cf->GetName() : "Identity";
            chain = sh->CreateCryptFilter(cf_name, std::move(chain), stream);
            continue;
        }
        DecodeParams p = ReadDecodeParams(names[i], parm_list[i] && parm_list[i]->IsDict() ? parm_list[i] : nullptr, stream);
        p.output_budget = budget;
        chain = StreamCreateDecodeFilter(names[i], p, std::move(chain));
    }
    return chain;
}

}  // namespace qvx::SDF
