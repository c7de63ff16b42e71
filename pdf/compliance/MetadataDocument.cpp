#include "pdf/compliance/MetadataDocument.h"

#include "filters/Filter.h"
#include "filters/FilterReader.h"
#include "pdf/ObjUtil.h"
#include "pdf/compliance/XmpPacketScan.h"
#include "pdf/compliance/XmpWriter.h"
#include "sdf/Dict.h"

namespace qvx::PDF {

namespace {

constexpr std::size_t kChunk = 1024;

SDF::Obj* MetadataStream(SDF::SDFDoc& doc)
{
    // A rebuilt file may be left with a catalog that is no dictionary.
    SDF::Obj* root = doc.GetRoot();
    SDF::Obj* md = root && root->IsDict() ? root->FindObj("Metadata") : nullptr;
    return Deref(md) && md->IsStream() ? md : nullptr;
}


std::string ReadPacket(SDF::Obj* stream)
{
    std::unique_ptr<Filters::Filter> data = stream->GetDecodedStream();
    Filters::FilterReader reader(*data);
    XmpPacketBuffer packet;
    Filters::Byte chunk[kChunk];
    while (!packet.Complete()) {
        std::size_t n = reader.Read(chunk, kChunk);
        packet.Append(std::string_view(reinterpret_cast<const char*>(chunk), n), n == kChunk);
    }
    return packet.Bytes();
}

// PDFDocEncoding when every unit is ASCII, else UTF-16BE with its byte order mark.
std::string EncodeText(const Common::UString& text)
{
    bool ascii = true;
    for (char16_t c : text.Units()) ascii = ascii && c < 0x80 && (c >= 0x20 || c == '\t' || c == '\n' || c == '\r');
    if (ascii) return std::string(text.Units().begin(), text.Units().end());
    std::string out = "\xFE\xFF";
    for (char16_t c : text.Units()) {
        out += static_cast<char>(c >> 8);
        out += static_cast<char>(c & 0xFF);
    }
    return out;
}

SDF::Obj* CreateMetadataStream(SDF::SDFDoc& doc, const std::string& packet)
{
    auto dict = SDF::Dict::Create();
    dict->PutName("Type", "Metadata");
    dict->PutName("Subtype", "XML");
    SDF::Obj* stream = doc.CreateIndirectStream(Common::ToBytes(packet), std::move(dict));
    doc.GetRoot()->Put("Metadata", stream);
    return stream;
}

}  // namespace

std::uint32_t ObjNumOf(const SDF::Obj* obj) { return obj && obj->IsIndirect() ? obj->GetObjNum() : 0; }

SDF::Obj* InfoDict(SDF::SDFDoc& doc)
{
    SDF::Obj* info = doc.GetTrailer()->FindObj("Info");
    return Deref(info) && info->IsDict() ? info : nullptr;
}

DocInfoValues ReadDocInfoValues(SDF::SDFDoc& doc)
{
    DocInfoValues v;
    SDF::Obj* info = InfoDict(doc);
    // An entry whose value is null, directly or through a reference, or a free entry is absent.
    auto find = [&](std::string_view key) { return info ? Deref(info->FindObj(key)) : nullptr; };
    auto date = [&](std::string_view key, bool& has) -> std::optional<PDFDate> {
        SDF::Obj* o = find(key);
        has = o != nullptr;
        return o && o->IsString() ? PDFDate::Parse(Common::AsChars(o->GetBuffer())) : std::nullopt;
    };
    std::optional<PDFDate> mod = date("ModDate", v.has_mod_date);
    v.mod_date = mod ? *mod : PDFDate::Now();
    std::optional<PDFDate> created = date("CreationDate", v.has_creation_date);
    v.creation_date = created ? *created : v.mod_date;
    auto text = [&](std::string_view key, Common::UString& out, bool& has) {
        SDF::Obj* o = find(key);
        has = o != nullptr;
        if (o && o->IsString()) out = o->GetAsPDFText();
    };
    text("Title", v.title, v.has_title);
    text("Author", v.author, v.has_author);
    text("Subject", v.subject, v.has_subject);
    text("Keywords", v.keywords, v.has_keywords);
    text("Creator", v.creator, v.has_creator);
    text("Producer", v.producer, v.has_producer);
    return v;
}

std::optional<std::string> ReadMetadataPacket(SDF::SDFDoc& doc)
{
    SDF::Obj* md = MetadataStream(doc);
    if (!md) return std::nullopt;
    return ReadPacket(md);
}

bool ProcessMetadata(SDF::SDFDoc& doc, DocInfoValues& values, XmpMetaHolder* holder)
{
    SDF::CheckState& state = doc.GetCheckState();
    if (!state.is_pdfa) return true;
    SDF::Obj* root = doc.GetRoot();
    SDF::Obj* md = MetadataStream(doc);
    if (!md) {
        state.Report(SDF::e_PDFA721, ObjNumOf(root));
        return false;
    }
    XmpCheckContext ctx{state, ObjNumOf(md)};
    if (md->FindObj("Filter")) ctx.Report(SDF::e_PDFA722);
    std::string packet;
    try {
        packet = ReadPacket(md);
    } catch (const std::exception&) {
        ctx.Report(SDF::e_PDFA723);
        values.TrimTrailingNuls();
        return true;
    }
    return ValidateXmpPacket(ctx, packet, values, holder);
}

XmpUAResult ProcessMetadataUA(SDF::SDFDoc& doc)
{
    SDF::CheckState& state = doc.GetCheckState();
    SDF::Obj* md = MetadataStream(doc);
    if (!md) {
        state.Report(SDF::e_PDFA721, ObjNumOf(doc.GetRoot()));
        return {};
    }
    XmpCheckContext ctx{state, ObjNumOf(md)};
    try {
        return ValidateXmpPacketUA(ctx, ReadPacket(md));
    } catch (const std::exception&) {
        ctx.Report(SDF::e_PDFA723);
        return {};
    }
}

void WriteMetadata(SDF::SDFDoc& doc, DocInfoValues values, const XmpMetaHolder& holder)
{
    // The packet cannot say 24:00 or the 13th month: readers of it carry such a date over,
    // and the Info date, left as it was, would then say another time.
    values.mod_date = values.mod_date.Normalised();
    values.creation_date = values.creation_date.Normalised();
    std::string packet = WriteXmpPacket(doc.GetCheckState().level, values, holder);
    if (!packet.empty()) CreateMetadataStream(doc, packet);
    SDF::Obj* info = InfoDict(doc);
    if (!info) info = doc.GetTrailer()->Put("Info", doc.CreateIndirectDict());
    info->PutString("Author", EncodeText(values.author));
    info->PutString("Subject", EncodeText(values.subject));
    info->PutString("Title", EncodeText(values.title));
    info->PutString("Keywords", EncodeText(values.keywords));
    info->PutString("Creator", EncodeText(values.creator));
    info->PutString("Producer", EncodeText(values.producer));
    // The packet takes a date that names no time zone as UTC; the Info date says so too, or
    // readers that compare the two find them apart.
    auto put_date = [&](std::string_view key, PDFDate date) {
        if (date.year == 0) return;
        if (date.tz == 0) date.tz = 'Z';
        info->PutString(key, date.Format());
    };
    put_date("ModDate", values.mod_date);
    put_date("CreationDate", values.creation_date);
}

void UpdateMetadataUA(SDF::SDFDoc& doc, Common::UString title)
{
    std::string existing;
    try {
        existing = ReadMetadataPacket(doc).value_or(std::string());
    } catch (const std::exception&) {
        existing.clear();   // an unreadable packet is replaced
    }
    std::string packet = WriteXmpPacketUA(existing, title);
    if (!packet.empty()) CreateMetadataStream(doc, packet);
}

}  // namespace qvx::PDF
