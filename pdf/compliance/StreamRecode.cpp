#include <optional>
#include <string_view>
#include <vector>

#include "common/Exception.h"
#include "common/Limits.h"
#include "filters/DCTEncode.h"
#include "filters/Filter.h"
#include "filters/FilterReader.h"
#include "filters/JPXDecode.h"
#include "filters/MemoryFilter.h"
#include "pdf/ColorSpace.h"
#include "pdf/ObjUtil.h"
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

// The colour space of a JPEG 2000 image without one in its dictionary: the ICC profile the
// file carries, else the device space of its channels.
std::unique_ptr<SDF::Obj> DecodedSpace(PassContext& ctx, Filters::JPXDecode& jpx, int n)
{
    const Common::Bytes& icc = jpx.GetIccProfile();
    if (!icc.empty() && (n == 1 || n == 3 || n == 4)) {
        auto dict = SDF::Dict::Create();
        dict->PutNumber("N", n);
        dict->PutName("Filter", "FlateDecode");
        auto space = SDF::Array::Create();
        space->PushBackName("ICCBased");
        space->PushBack(ctx.doc.CreateIndirectStream(SDF::FlateBytes(icc), std::move(dict)));
        return space;
    }
    Filters::JPXDecode::ColourSpace declared = jpx.GetColourSpace();
    if (declared == Filters::JPXDecode::e_other) QVX_THROW("a colour space JPEG carries", "Incorrect color space");
    if (n == 1) return SDF::Name::Create("DeviceGray");
    if (n == 3) return SDF::Name::Create("DeviceRGB");
    if (n == 4) return SDF::Name::Create("DeviceCMYK");
    QVX_THROW("1, 3 or 4 channels", "Incorrect color space");
}

// The number of channels the colour space of a JPEG 2000 file names; 0 when it names none
// that says.
int NamedChannels(Filters::JPXDecode::ColourSpace space)
{
    switch (space) {
    case Filters::JPXDecode::e_gray: return 1;
    case Filters::JPXDecode::e_rgb: return 3;
    case Filters::JPXDecode::e_cmyk: return 4;
    default: return 0;
    }
}

// The samples of the given channels of 8-bit pixels with all channels each.
Common::Bytes Channels(const Common::Bytes& samples, int all, const std::vector<int>& kept)
{
    Common::Bytes out;
    out.reserve(samples.size() / static_cast<std::size_t>(all) * kept.size());
    for (std::size_t at = 0; at + static_cast<std::size_t>(all) <= samples.size(); at += static_cast<std::size_t>(all))
        for (int c : kept) out.push_back(samples[at + static_cast<std::size_t>(c)]);
    return out;
}

Common::Bytes EncodeDCT(const Common::Bytes& samples, int width, int height, int components)
{
    Filters::DCTEncodeParams p;
    p.width = width;
    p.height = height;
    p.components = components;
    auto sink = std::make_unique<Filters::MemoryFilter>();
    Filters::MemoryFilter* mem = sink.get();
    Filters::DCTEncode enc(std::move(sink), p);
    Filters::FilterWriter w(enc);
    w.WriteBuffer(samples.data(), samples.size());
    w.Finish();
    return mem->Release();
}

}  // namespace

void RecompressAsJPEG(PassContext& ctx, SDF::Obj& stream)
{
    SDF::Obj* filter = Deref(stream.FindObj("Filter"));
    if (filter && filter->IsArray() && filter->Size() == 1) filter = Deref(filter->GetAt(0));
    // JPEG 2000 data is image data: page thumbnails carry it without Type and Subtype.
    const std::string_view subtype = FindName(&stream, "Subtype");
    if (!filter || !IsNameOf(filter, "JPXDecode") || !(subtype == "Image" || subtype.empty())) return;
    // Indices keep their depth (scaled they would name other entries); colours become 8-bit.
    SDF::Obj* space = FindIn(&stream, "ColorSpace");
    std::shared_ptr<const ColorSpace> cs = space ? ColorSpace::Create(space) : nullptr;
    const bool indexed = cs && cs->GetFamily() == ColorSpace::e_indexed;
    const int bpc = indexed ? static_cast<int>(FindNumber(&stream, "BitsPerComponent", 8)) : 8;
    Filters::JPXDecode jpx(stream.GetRawStream(), bpc, indexed);
    const int width = jpx.GetWidth(), height = jpx.GetHeight(), all = jpx.GetComponents();
    if (jpx.GetBitsPerComponent() != bpc) QVX_THROW("the depth asked for", "Incorrect color space");
    // Readers ignore the opacity channels the file defines unless SMaskInData asks for them
    // as a soft mask; the new image keeps the colour channels they draw.
    const bool keep_all = indexed || FindNumber(&stream, "SMaskInData", 0) != 0;
    // Channels after those the file's colour space names (a grey picture's second, which
    // no channel definition calls opacity) carry no colour either.
    const int named = NamedChannels(jpx.GetColourSpace());
    std::vector<int> drawn;
    for (int c = 0; c < all; ++c)
        if (keep_all || (!jpx.IsOpacity(c) && (named == 0 || c < named))) drawn.push_back(c);
    const int n = static_cast<int>(drawn.size());
    // An alpha channel beside the colours has no place in the new image.
    if (cs && cs->GetComponentCount() != n) QVX_THROW("as many channels as the colour space", "Incorrect color space");
    std::unique_ptr<SDF::Obj> new_space = cs ? nullptr : DecodedSpace(ctx, jpx, n);
    Common::Bytes samples;
    std::size_t expected = static_cast<std::size_t>(height) * ((static_cast<std::size_t>(width) * all * bpc + 7) / 8);
    if (expected > Common::Limits::kMaxRecodedStreamBytes) return;
    samples.resize(expected);
    // Samples the decoder ends short of would come out as black: the image stays as it was.
    if (Filters::FilterReader(jpx).Read(samples.data(), samples.size()) != expected)
        QVX_THROW("every sample", "JPXDecode: An error occurred reading the image");
    if (n < all) samples = Channels(samples, all, drawn);
    auto dict = SDF::Dict::Create();
    for (auto it = stream.DictBegin(); it != stream.DictEnd(); ++it)
        if (!DescribesEncoding(it.KeyText()) && it.KeyText() != "SMaskInData") dict->Put(it.KeyText(), it.Value());
    if (new_space) dict->Put("ColorSpace", std::move(new_space));
    dict->PutNumber("BitsPerComponent", bpc);
    // JPEG carries grey, RGB and CMYK samples of 8 bits; anything else is kept without loss.
    const bool jpeg = !indexed && (n == 1 || n == 3 || n == 4);
    dict->PutName("Filter", jpeg ? "DCTDecode" : "FlateDecode");
    Common::Bytes data = jpeg ? EncodeDCT(samples, width, height, n) : SDF::FlateBytes(samples);
    SDF::Obj* fresh = ctx.doc.CreateIndirectStream(std::move(data), std::move(dict));
    ctx.doc.Swap(&stream, fresh);
}

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
