#include "pdf/compliance/StreamTidy.h"

#include <algorithm>
#include <exception>

#include "pdf/ObjUtil.h"
#include "pdf/PDFDate.h"
#include "pdf/StreamData.h"
#include "sdf/Objects.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

// Pattern content larger than this is left as it is rather than read for names.
constexpr std::uint64_t kMaxPatternBytes = 1 << 20;

void ClearTransparency(Obj* stream)
{
    std::string_view subtype = FindName(stream, "Subtype");
    if (subtype == "Form" && FindName(FindDict(stream, "Group"), "S") == "Transparency") stream->Erase("Group");
    if (subtype != "Image") return;
    if (stream->FindObj("SMask") && !IsNameOf(FindIn(stream, "SMask"), "None")) stream->Erase("SMask");
    if (FindBool(stream, "ImageMask", false)) {
        stream->Erase("ColorSpace");
        stream->Erase("Mask");
    }
}

// Resources are named in content; without a '/' none is used.
void GivePatternResources(Obj* stream)
{
    if (FindNumber(stream, "PatternType", 0) != 1 || FindDict(stream, "Resources")) return;
    std::optional<Common::Bytes> data = ReadDecoded(stream, kMaxPatternBytes);
    if (data && data->size() < kMaxPatternBytes && std::find(data->begin(), data->end(), '/') == data->end())
        stream->PutDict("Resources");
}

// Private data (PieceInfo) is dated by LastModified, which a form with it must have: the
// copy is made now.
void DatePieceInfo(Obj* stream, std::string_view now)
{
    if (FindName(stream, "Subtype") == "Form" && stream->FindObj("PieceInfo") && !stream->FindObj("LastModified"))
        stream->PutString("LastModified", now);
}

// Parameters of no filter: the data is read as it stands, by readers that ignore them, while
// the stream's decoding rules find them matching no filter and the stream unreadable.
void DropParmsWithoutFilter(Obj* stream)
{
    Obj* filter = stream->FindObj("Filter");
    if ((!filter || filter->IsNull()) && stream->FindObj("DecodeParms")) stream->Erase("DecodeParms");
}

}  // namespace

void TidyStreams(PassContext& ctx)
{
    const std::string now = PDFDate::Now().Format();
    for (std::uint32_t n = 1; n < ctx.doc.XRefSize() && !ctx.Stopped(); ++n) {
        Obj* obj = nullptr;
        try {
            obj = Deref(ctx.doc.GetObj(n));
        } catch (const std::exception&) {
            continue;   // the object pass has reported what cannot be read
        }
        if (!obj || !obj->IsStream()) continue;
        if (ctx.Part() == 1) ClearTransparency(obj);
        GivePatternResources(obj);
        DatePieceInfo(obj, now);
        DropParmsWithoutFilter(obj);
    }
}

}  // namespace qvx::PDF
