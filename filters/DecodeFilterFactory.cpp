#include "filters/DecodeFilterFactory.h"

#include <algorithm>

#include "common/Exception.h"
#include "common/Limits.h"
#include "filters/ASCII85Decode.h"
#include "filters/ASCIIHexDecode.h"
#include "filters/CCITTFaxDecode.h"
#include "filters/DCTDecode.h"
#include "filters/FlateDecode.h"
#include "filters/JBIG2Decode.h"
#include "filters/JPXDecode.h"
#include "filters/LZWDecode.h"
#include "filters/PNGPredictorDecode.h"
#include "filters/RunLengthDecode.h"
#include "filters/TIFFPredictorDecode.h"

namespace qvx::Filters {

namespace {

enum Kind { e_flate, e_lzw, e_a85, e_ahx, e_rl, e_dct, e_ccitt, e_jbig2, e_jpx, e_unknown };

struct Entry { std::string_view full, abbrev; Kind kind; };
constexpr Entry kNames[] = {
    {"FlateDecode", "Fl", e_flate},      {"LZWDecode", "LZW", e_lzw},        {"ASCII85Decode", "A85", e_a85},
    {"ASCIIHexDecode", "AHx", e_ahx},    {"RunLengthDecode", "RL", e_rl},    {"DCTDecode", "DCT", e_dct},
    {"CCITTFaxDecode", "CCF", e_ccitt},  {"JBIG2Decode", "", e_jbig2},       {"JPXDecode", "", e_jpx},
};

const Entry* Find(std::string_view name)
{
    for (const Entry& e : kNames)
        if (name == e.full || (!e.abbrev.empty() && name == e.abbrev)) return &e;
    return nullptr;
}

Kind KindOf(std::string_view name)
{
    const Entry* e = Find(name);
    return e ? e->kind : e_unknown;
}

template <class T>
std::unique_ptr<Filter> Budgeted(std::unique_ptr<T> f, const DecodeParams& p)
{
    const std::uint64_t ratio = Common::Limits::kDecodeOutputRatio;
    const std::uint64_t scaled = p.raw_length > UINT64_MAX / ratio ? UINT64_MAX : p.raw_length * ratio;
    f->SetOutputBudget(std::max(Common::Limits::kDecodeOutputFloor, scaled));
    return f;
}

}  // namespace

bool IsDecodeFilterName(std::string_view name) { return KindOf(name) != e_unknown; }

std::string_view FullDecodeFilterName(std::string_view name)
{
    const Entry* e = Find(name);
    return e ? e->full : std::string_view();
}

std::unique_ptr<Filter> CreatePredictorFilter(const DecodeParams& p, std::unique_ptr<Filter> source)
{
    if (p.predictor <= 1) return source;
    PredictorParams pp;
    pp.predictor = p.predictor;
    pp.colors = p.colors;
    pp.bits_per_component = p.bits_per_component;
    pp.columns = p.columns.value_or(1);
    const bool known = p.predictor == 2 || (p.predictor >= 10 && p.predictor <= 15);
    if (!known) QVX_THROW("predictor == 2 || (predictor >= 10 && predictor <= 15)", "Unknown predictor function.");
    // A row geometry no image can have (a zero or absurd colour count, an odd depth) leaves
    // the data as it is, as qpdf does, rather than losing the stream.
    try {
        PredictorRow row(pp);
    } catch (const Common::Exception&) {
        return source;
    }
    if (p.predictor == 2) return Budgeted(std::make_unique<TIFFPredictorDecode>(std::move(source), pp), p);
    return Budgeted(std::make_unique<PNGPredictorDecode>(std::move(source), pp), p);
}

std::unique_ptr<Filter> CreateDecodeFilter(std::string_view name, const DecodeParams& p, std::unique_ptr<Filter> source)
{
    switch (KindOf(name)) {
    case e_flate: return CreatePredictorFilter(p, Budgeted(std::make_unique<FlateDecode>(std::move(source)), p));
    case e_lzw:
        return CreatePredictorFilter(p, Budgeted(std::make_unique<LZWDecode>(std::move(source), p.early_change), p));
    case e_a85: return Budgeted(std::make_unique<ASCII85Decode>(std::move(source)), p);
    case e_ahx: return Budgeted(std::make_unique<ASCIIHexDecode>(std::move(source)), p);
    case e_rl: return Budgeted(std::make_unique<RunLengthDecode>(std::move(source)), p);
    case e_dct: return Budgeted(std::make_unique<DCTDecode>(std::move(source), p.color_transform), p);
    case e_ccitt: {
        CCITTParams c;
        c.k = p.k;
        c.end_of_line = p.end_of_line;
        c.encoded_byte_align = p.encoded_byte_align;
        c.columns = p.columns.value_or(1728);
        QVX_CHECK(c.columns >= 0, "CCITTFaxDecode Columns is negative");
        c.rows = std::max(0, p.rows.value_or(int(std::min<std::uint32_t>(p.height, INT32_MAX))));
        c.end_of_block = p.end_of_block;
        c.black_is_1 = p.black_is_1;
        c.damaged_rows_before_error = p.damaged_rows_before_error;
        return Budgeted(std::make_unique<CCITTFaxDecode>(std::move(source), c), p);
    }
    case e_jbig2:
        return Budgeted(std::make_unique<JBIG2Decode>(std::move(source), p.jbig2_globals, p.width, p.height), p);
    case e_jpx: return Budgeted(std::make_unique<JPXDecode>(std::move(source), p.image_bits_per_component, p.image_indexed), p);
    case e_unknown: break;
    }
    QVX_THROW("IsDecodeFilterName(name)", "Unknown filter");
}

}  // namespace qvx::Filters
