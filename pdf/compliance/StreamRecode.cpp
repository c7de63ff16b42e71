#include <optional>
#include <string_view>

#include "common/Limits.h"
#include "filters/Filter.h"
#include "pdf/compliance/ObjectChecks.h"
#include "sdf/Objects.h"
#include "sdf/WriteFlate.h"

namespace qvx::PDF {

namespace {

// The whole decoded data, or nothing when it cannot be decoded to the end or is too large.
std::optional<Common::Bytes> DecodeFully(const SDF::Obj& stream)
{
    try {
        std::unique_ptr<Filters::Filter> f = stream.GetDecodedStream();
        Common::Bytes out;
        while (std::size_t n = f->Size()) {
            if (out.size() + n > Common::Limits::kMaxRecodedStreamBytes) return std::nullopt;
            out.insert(out.end(), f->Begin(), f->Begin() + n);
            f->Consume(n);
        }
        return out;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// Entries that describe the old encoding or the old bytes.
bool DescribesEncoding(std::string_view key)
{
    return key == "Length" || key == "Filter" || key == "DecodeParms" || key == "DL" || key == "F" ||
           key == "FFilter" || key == "FDecodeParms";
}

}  // namespace

void ReencodeLZW(PassContext& ctx, SDF::Obj& stream)
{
    std::optional<Common::Bytes> data = DecodeFully(stream);
    if (!data) return;
    auto dict = SDF::Dict::Create();
    for (auto it = stream.DictBegin(); it != stream.DictEnd(); ++it)
        if (!DescribesEncoding(it.KeyText())) dict->Put(it.KeyText(), it.Value());
    dict->PutName("Filter", "FlateDecode");
    SDF::Obj* fresh = ctx.doc.CreateIndirectStream(SDF::FlateBytes(*data), std::move(dict));
    ctx.doc.Swap(&stream, fresh);
}

}  // namespace qvx::PDF
