// The object pass's checks of one PDF/A stream: forbidden keys, filters, the PDF/A-1
// metadata-stream filter, and the framing of its bytes in the file.
#include <algorithm>
#include <exception>
#include <optional>
#include <string_view>
#include <vector>

#include "filters/Filter.h"
#include "filters/FilterReader.h"
#include "pdf/ObjUtil.h"
#include "pdf/compliance/ObjectChecks.h"
#include "sdf/CharClass.h"
#include "sdf/Objects.h"
#include "sdf/SDFDocImpl.h"
#include "sdf/StreamFilters.h"
#include "sdf/StreamLength.h"

namespace qvx::PDF {

namespace {

using namespace SDF::CharClass;

bool IsNamed(const SDF::Obj* o, std::string_view name) { return o && o->IsName() && o->GetName() == name; }

// F, FFilter, FDecodeParms (external stream data).
void CheckExternalDataKeys(PassContext& ctx, SDF::Obj& stream)
{
    static constexpr std::string_view kKeys[] = {"F", "FFilter", "FDecodeParms"};
    bool found = false;
    // A null value is no entry at all.
    for (std::string_view k : kKeys) found = found || FindIn(&stream, k);
    if (!found) return;
    ctx.Report(SDF::e_PDFA174, &stream);
    if (ctx.state.convert)
        for (std::string_view k : kKeys) stream.Erase(k);
}

// A Crypt filter may only be the identity: DecodeParms (or its first element) absent, not a
// dictionary, or naming Identity.
bool IsIdentityCrypt(const SDF::Obj& stream)
{
    SDF::Obj* parms = stream.FindObj("DecodeParms");
    if (parms && parms->IsArray()) {
        if (parms->Size() == 0) return false;
        parms = parms->GetAt(0);
    }
    if (!parms || !parms->IsDict()) return true;
    return IsNamed(parms->FindObj("Name"), "Identity");
}

// Conversion: data under a filter no reader knows means nothing to any of them; a stream
// other than an image (whose empty data would draw where nothing was drawn) keeps no data.
// Returns whether it dropped the data.
bool DropUndecodableData(PassContext& ctx, SDF::Obj& stream)
{
    if (!ctx.state.convert || IsNamed(stream.FindObj("Subtype"), "Image")) return false;
    stream.SetStreamData(Common::Bytes());
    stream.Erase("Filter");
    stream.Erase("DecodeParms");
    return true;
}

// Whether the filters hold LZW, to be re-encoded in conversion unless JPEG 2000 comes too;
// jpx tells whether JPEG 2000 data is to be recompressed.
bool CheckFilters(PassContext& ctx, SDF::Obj& stream, bool& jpx)
{
    SDF::Obj* filter = stream.FindObj("Filter");
    if (!filter || filter->IsNull()) return false;
    std::vector<SDF::Obj*> names;
    if (filter->IsName()) {
        names.push_back(filter);
    } else if (filter->IsArray()) {
        for (std::size_t i = 0; i < filter->Size(); ++i) names.push_back(filter->GetAt(i));
    } else {
        ctx.Report(SDF::e_PDFA1103, &stream);
        DropUndecodableData(ctx, stream);
        return false;
    }
    for (SDF::Obj* name : names) {
        if (!name->IsName()) {
            ctx.Report(SDF::e_PDFA1103, &stream);
            if (DropUndecodableData(ctx, stream)) return false;
            continue;
        }
        std::string_view n = name->GetName();
        if (n == "LZWDecode" || n == "LZW") {
            ctx.Report(SDF::e_PDFA1101, &stream);
            return std::none_of(names.begin(), names.end(), [](SDF::Obj* o) { return IsNamed(o, "JPXDecode"); });
        }
        if (n == "JPXDecode") {
            if (ctx.Part() == 1) ctx.Report(SDF::e_PDFA13, &stream);
            jpx = ctx.Part() == 1 || CheckJPXStream(ctx, stream);
        } else if (n == "Crypt") {
            if (IsIdentityCrypt(stream)) continue;
            ctx.Report(SDF::e_PDFA1102, &stream);
            return false;
        } else if (!IsPermittedFilter(n)) {
            ctx.Report(SDF::e_PDFA1103, &stream);
            std::string_view full = Filters::FullDecodeFilterName(n);
            if (full.empty() && DropUndecodableData(ctx, stream)) return false;
            if (ctx.state.convert && !full.empty() && full != n) name->SetName(full);
        }
    }
    return false;
}

// PDF/A-1: every metadata stream is unfiltered; conversion stores its decoded data.
void CheckMetadataStreamFilter(PassContext& ctx, SDF::Obj& stream)
{
    if (ctx.Part() != 1 || !IsNamed(stream.FindObj("Type"), "Metadata") || !stream.FindObj("Filter")) return;
    ctx.Report(SDF::e_PDFA722, &stream);
    if (!ctx.state.convert) return;
    Common::Bytes data = Filters::FilterReader(*stream.GetDecodedStream()).ReadAll();
    stream.SetStreamData(std::move(data));
    stream.Erase("Filter");
    stream.Erase("DecodeParms");
}

// The stream's bytes in the file: Length bytes of data, an EOL marker, endstream, an EOL
// marker, endobj.
void CheckFraming(PassContext& ctx, SDF::Obj& stream)
{
    auto* file_stream = dynamic_cast<SDF::FileStream*>(stream.Resolve());
    if (!file_stream || file_stream->IsNewStream()) return;
    SDF::SDFDocImpl& impl = ctx.doc.GetImpl();
    Common::ByteView file = impl.GetFileView();
    const std::uint64_t start = file_stream->GetDataOffset();
    std::optional<std::uint64_t> length = SDF::StreamLengthValue(impl, *file_stream->GetDict());
    if (!length || start >= file.size() || file.size() - start <= *length ||
        !IsEOL(file[static_cast<std::size_t>(start + *length)])) {
        ctx.Report(SDF::e_PDFA173, &stream);
        if (ctx.state.convert) SDF::ReadToEndstream(impl, *file_stream);
        return;
    }
    std::size_t p = SkipEOLMarker(file, static_cast<std::size_t>(start + *length));
    if (!BytesAt(file, p, "endstream")) {
        ctx.Report(SDF::e_PDFA172, &stream);
        return;
    }
    p += 9;
    if (p >= file.size() || !IsEOL(file[p]) || !BytesAt(file, SkipEOLMarker(file, p), "endobj"))
        ctx.Report(SDF::e_PDFA184, &stream);
}

}  // namespace

bool IsPermittedFilter(std::string_view name)
{
    static constexpr std::string_view kPermitted[] = {"FlateDecode",     "ASCIIHexDecode", "ASCII85Decode",
                                                      "RunLengthDecode", "CCITTFaxDecode", "JBIG2Decode",
                                                      "DCTDecode"};
    for (std::string_view p : kPermitted)
        if (name == p) return true;
    return false;
}

void CheckStream(PassContext& ctx, SDF::Obj& stream)
{
    CheckExternalDataKeys(ctx, stream);
    bool jpx = false;
    bool lzw = CheckFilters(ctx, stream, jpx);
    CheckMetadataStreamFilter(ctx, stream);
    CheckFraming(ctx, stream);
    if (lzw && ctx.state.convert) ReencodeLZW(ctx, stream);
    if (!jpx || !ctx.state.convert) return;
    // An image that cannot be recompressed stays as it was, with its finding.
    try {
        RecompressAsJPEG(ctx, stream);
    } catch (const std::exception&) {
    }
}

}  // namespace qvx::PDF
