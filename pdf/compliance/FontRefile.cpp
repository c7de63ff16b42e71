// Conversion: an embedded program filed under a key or FontFile3 Subtype that does not suit
// it, or that the PDF/A part does not know, is filed again as what it is; readers draw the
// same outlines. PDF/A-1 builds on PDF 1.4, which has no OpenType programs: there an
// OpenType program gives up its wrapper, its CFF outlines becoming a bare CFF program
// (Type1C, or CIDFontType0C for a CIDFont) and its glyf outlines a FontFile2 program. A Type 1
// program in the segmented form of PFB files gets its parts joined.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "pdf/CFFProgram.h"
#include "pdf/FontProgram.h"
#include "pdf/ObjUtil.h"
#include "pdf/StreamData.h"
#include "pdf/SubstituteProgram.h"
#include "pdf/Type1Program.h"
#include "pdf/compliance/FontReplacement.h"
#include "pdf/compliance/FontRules.h"
#include "sdf/Obj.h"

namespace qvx::PDF::FontRules {

using SDF::Obj;

namespace {

bool IsType1Kind(Font::Kind kind) { return kind == Font::e_type1 || kind == Font::e_mmtype1; }

std::size_t U16(const Common::Bytes& d, std::size_t at) { return at + 2 <= d.size() ? static_cast<std::size_t>(d[at] << 8 | d[at + 1]) : 0; }
std::uint32_t U32(const Common::Bytes& d, std::size_t at) { return static_cast<std::uint32_t>(U16(d, at) << 16 | U16(d, at + 2)); }
void PutU32(Common::Bytes& d, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) d[at + i] = static_cast<Common::Byte>(v >> (24 - 8 * i));
}

// Where each table of an SFNT program's directory lies: its record, offset and length.
struct TableRecord {
    std::size_t record, offset, length;
};
std::map<std::string, TableRecord> TableRecords(const Common::Bytes& d)
{
    std::map<std::string, TableRecord> out;
    for (std::size_t i = 0, n = U16(d, 4); i < n && 28 + 16 * i <= d.size(); ++i) {
        std::size_t rec = 12 + 16 * i;
        out[std::string(reinterpret_cast<const char*>(d.data() + rec), 4)] = {rec, U32(d, rec + 8), U32(d, rec + 12)};
    }
    return out;
}

// The stream a descriptor files under key, as the descriptor holds it: an indirect object,
// which is moved by reference; null otherwise.
Obj* FiledStream(Obj* descriptor, std::string_view key)
{
    Obj* stream = descriptor->Resolve()->FindObj(key);
    return stream && stream->IsIndirect() && stream->IsStream() ? stream : nullptr;
}

// A CFF program, name-keyed, as a CIDFont's program: CID-keyed, each CID drawing the glyph it
// reached in the font as it was (by number, or through CIDToGIDMap).
std::optional<Common::Bytes> CIDKeyed(const Font& font, const Common::Bytes& cff, long glyph_count)
{
    const std::vector<std::uint16_t>* table = font.GetCIDToGIDTable();
    std::size_t cids = table ? table->size() : static_cast<std::size_t>(glyph_count);
    std::map<unsigned, unsigned> glyphs;
    for (std::uint32_t cid = 1; cid < cids; ++cid) {
        long gid = font.GlyphId({cid, 2, cid});
        if (gid > 0) glyphs.emplace(cid, static_cast<unsigned>(gid));
    }
    return CFFProgram::AsCIDKeyed(cff, glyphs);
}

bool IsOpenType(const Common::Bytes& data) { return data.size() >= 4 && Common::AsChars(data).substr(0, 4) == "OTTO"; }

// The bare CFF program of an OpenType program with CFF outlines, or a bare program itself, as
// a font of kind takes it; nullopt when there is none or the kind takes no CFF program.
std::optional<Common::Bytes> BareCFF(const Font& font, Font::Kind kind, const Common::Bytes& data)
{
    auto cff = IsOpenType(data) ? SubstituteProgram::CFFTable(data) : std::optional<Common::Bytes>(data);
    auto bare = cff ? FontProgram::Open(*cff) : nullptr;
    if (!bare) return std::nullopt;
    if (kind == Font::e_cid_type0) return bare->IsCIDKeyed() ? cff : CIDKeyed(font, *cff, bare->GlyphCount());
    if (bare->IsCIDKeyed() || !(IsType1Kind(kind) || kind == Font::e_truetype)) return std::nullopt;
    return cff;
}

// The program of stream (data) given to the font as the bare CFF program it holds, under
// FontFile3 in stream's place; a CFF TrueType font becomes the Type 1 font readers draw. kind
// is the font's kind, or the one it is to become.
bool PutBareCFF(PassContext& ctx, const Font& font, Obj* stream, const Common::Bytes& data, Font::Kind kind)
{
    auto cff = BareCFF(font, kind, data);
    if (!cff || !FontProgram::Open(*cff)) return false;
    Obj* descriptor = font.GetDescriptor()->Resolve();
    descriptor->Erase(font.GetEmbeddedKey());
    descriptor->Put("FontFile3", stream);
    FontReplace::PutStream(ctx, descriptor, "FontFile3", *cff)->PutName("Subtype", kind == Font::e_cid_type0 ? "CIDFontType0C" : "Type1C");
    if (kind == Font::e_truetype) font.GetSDFObj()->Resolve()->PutName("Subtype", "Type1");
    // The map described the OpenType program's glyph order, which the CIDs now carry.
    if (kind == Font::e_cid_type0) font.GetDescendant()->Resolve()->Erase("CIDToGIDMap");
    return true;
}

// A simple font's CFF program (stream, data) under FontFile3: an OpenType one as it is, or as
// the bare CFF program where the PDF/A part knows no OpenType. A font that says TrueType
// becomes the Type 1 font readers draw.
bool FileCFFProgram(PassContext& ctx, const Font& font, Obj* stream, const Common::Bytes& data)
{
    if (ctx.Part() == 1 || !IsOpenType(data)) return PutBareCFF(ctx, font, stream, data, font.GetKind());
    if (!IsType1Kind(font.GetKind()) && font.GetKind() != Font::e_truetype) return false;
    Obj* descriptor = font.GetDescriptor()->Resolve();
    descriptor->Erase(font.GetEmbeddedKey());
    descriptor->Put("FontFile3", stream);
    for (const char* k : {"Length1", "Length2", "Length3"}) stream->Erase(k);
    stream->PutName("Subtype", "OpenType");
    if (font.GetKind() == Font::e_truetype) font.GetSDFObj()->Resolve()->PutName("Subtype", "Type1");
    return true;
}

// A CIDFontType2 whose FontFile2 holds CFF outlines in OpenType tables: a CIDFontType0 with
// the bare program, CID-keyed, each CID drawing the glyph it reached through CIDToGIDMap.
bool RefileCFFCIDFont(PassContext& ctx, const Font& font)
{
    Obj* stream = FiledStream(font.GetDescriptor(), "FontFile2");
    if (!stream) return false;
    auto data = ReadDecoded(stream, FontReplace::kMaxEmbeddedProgramBytes);
    if (!data || !IsOpenType(*data) || !PutBareCFF(ctx, font, stream, *data, Font::e_cid_type0)) return false;
    font.GetDescendant()->Resolve()->PutName("Subtype", "CIDFontType0");
    return true;
}

// A CIDFontType0 whose FontFile holds a bare CFF program rather than a Type 1 one: the
// program, CID-keyed, under FontFile3. Readers take such a CIDFont's CIDs for glyph numbers,
// and so does the CID-keyed program. A Type 1 program has no such form.
bool RefileCFFFontFile(PassContext& ctx, const Font& font)
{
    Obj* stream = FiledStream(font.GetDescriptor(), "FontFile");
    auto data = stream ? ReadDecoded(stream, FontReplace::kMaxEmbeddedProgramBytes) : std::nullopt;
    const FontProgram* program = font.GetProgram();
    if (!data || !program || program->Format() != "CFF" || program->IsSFNT()) return false;
    return PutBareCFF(ctx, font, stream, *data, Font::e_cid_type0);
}

// A program filed under the key of another kind of program: TrueType outlines under FontFile
// or FontFile3 (of a TrueType font or a CIDFontType2), and, for a simple font, a Type 1 or
// CFF program under FontFile2 or a Type 1 program under FontFile3. It is filed under its
// own key; a Type 1 or CFF program of a font that says TrueType makes it the Type 1 font
// readers draw.
bool RefileByFormat(PassContext& ctx, const Font& font)
{
    const std::string key = font.GetEmbeddedKey();
    const FontProgram* program = font.GetProgram();
    Obj* stream = FiledStream(font.GetDescriptor(), key);
    if (!program || !stream) return false;
    const std::string format = program->Format();
    const Font::Kind kind = font.IsComposite() ? font.GetDescendantKind() : font.GetKind();
    const bool truetype = format == "TrueType" && (kind == Font::e_truetype || kind == Font::e_cid_type2);
    if (truetype ? key == "FontFile2" : font.IsComposite() || (key == "FontFile3" && format != "Type 1")) return false;
    auto data = ReadDecoded(stream, FontReplace::kMaxEmbeddedProgramBytes);
    if (!data) return false;
    Obj* descriptor = font.GetDescriptor()->Resolve();
    auto file_under = [&](const char* new_key) {
        descriptor->Erase(key);
        descriptor->Put(new_key, stream);
        for (const char* k : {"Length2", "Length3", "Subtype"}) stream->Erase(k);
    };
    if (truetype) {
        file_under("FontFile2");
        stream->PutNumber("Length1", static_cast<double>(data->size()));
        return true;
    }
    if (format == "Type 1" && (IsType1Kind(kind) || kind == Font::e_truetype)) {
        file_under("FontFile");
        FontReplace::PutType1Lengths(stream, Type1Program::ProgramLengths(*data));
        if (kind == Font::e_truetype) font.GetSDFObj()->Resolve()->PutName("Subtype", "Type1");
        return true;
    }
    return format == "CFF" && FileCFFProgram(ctx, font, stream, *data);
}

}  // namespace

bool RefileProgram(PassContext& ctx, const Font& font)
{
    if (RefileByFormat(ctx, font)) return true;
    Obj* descriptor = font.GetDescriptor();
    if (descriptor && font.IsComposite() && font.GetDescendantKind() == Font::e_cid_type2 && font.GetEmbeddedKey() == "FontFile2")
        return RefileCFFCIDFont(ctx, font);
    if (descriptor && font.IsComposite() && font.GetDescendantKind() == Font::e_cid_type0 && font.GetEmbeddedKey() == "FontFile")
        return RefileCFFFontFile(ctx, font);
    if (!descriptor || font.GetEmbeddedKey() != "FontFile3") return false;
    descriptor = descriptor->Resolve();
    Obj* stream = FiledStream(descriptor, "FontFile3");
    if (!stream) return false;
    auto data = ReadDecoded(stream, FontReplace::kMaxEmbeddedProgramBytes);
    if (!data || data->size() < 4) return false;
    std::string_view magic(reinterpret_cast<const char*>(data->data()), 4);
    bool sfnt = magic == std::string_view("\0\1\0\0", 4) || magic == "true";
    const bool opentype = IsOpenType(*data);
    Font::Kind kind = font.IsComposite() ? font.GetDescendantKind() : font.GetKind();
    if (opentype && ctx.Part() == 1) return PutBareCFF(ctx, font, stream, *data, kind);
    auto program = FontProgram::Open(std::move(*data));
    if (!program) return false;
    std::string format = program->Format();
    const char* subtype = nullptr;
    if (opentype) subtype = "OpenType";
    else if (format == "CFF" && !sfnt && IsType1Kind(kind)) subtype = "Type1C";
    else if (format == "CFF" && !sfnt && kind == Font::e_cid_type0 && program->IsCIDKeyed()) subtype = "CIDFontType0C";
    if (!subtype) return false;
    stream->PutName("Subtype", subtype);
    return true;
}

bool IsSegmentedType1(const Font& font)
{
    if (font.GetEmbeddedKey() != "FontFile") return false;
    // The first segment's header tells; every Type 1 font is tested, so only it is decoded.
    auto data = ReadDecoded(font.GetEmbeddedStream(), 6);
    return data && Type1Program::IsSegmented(*data);
}

bool JoinType1Segments(PassContext& ctx, const Font& font)
{
    auto data = ReadDecoded(font.GetEmbeddedStream(), FontReplace::kMaxEmbeddedProgramBytes);
    auto joined = data ? Type1Program::Joined(*data) : std::nullopt;
    if (!joined || !FontProgram::Open(joined->data)) return false;
    Obj* stream = FontReplace::PutStream(ctx, font.GetDescriptor()->Resolve(), "FontFile", joined->data);
    FontReplace::PutType1Lengths(stream, joined->lengths);
    return true;
}

bool RepairLocaFormat(PassContext& ctx, const Font& font)
{
    if (font.GetEmbeddedKey() != "FontFile2") return false;
    auto data = ReadDecoded(font.GetEmbeddedStream(), FontReplace::kMaxEmbeddedProgramBytes);
    if (!data || data->size() < 12) return false;
    Common::Bytes& d = *data;
    const std::map<std::string, TableRecord> tables = TableRecords(d);
    auto head = tables.find("head"), loca = tables.find("loca"), maxp = tables.find("maxp");
    if (head == tables.end() || loca == tables.end() || maxp == tables.end()) return false;
    constexpr std::size_t kLocaFormat = 50;
    std::size_t at = head->second.offset + kLocaFormat;
    std::size_t entries = U16(d, maxp->second.offset + 4) + 1;
    if (at + 2 > d.size() || head->second.length < kLocaFormat + 2) return false;
    // Long offsets take four bytes a glyph, short ones two.
    d[at] = 0;
    d[at + 1] = loca->second.length >= entries * 4 ? 1 : 0;
    if (!FontProgram::Open(d)) return false;
    PutTrueType(ctx, font, d);
    return true;
}

bool HasUnreadablePost(const Font& font)
{
    const FontProgram* p = font.GetEmbeddedKey() == "FontFile2" ? font.GetProgram() : nullptr;
    if (!p) return false;
    const Common::Bytes post = p->SFNTTable("post");
    // Format 2 names the glyphs through an index array that follows its header.
    return post.size() >= 32 && U32(post, 0) == 0x00020000 && (post.size() < 34 || 34 + 2 * U16(post, 32) > post.size());
}

bool MendPostTable(PassContext& ctx, const Font& font)
{
    if (font.GetEmbeddedKey() != "FontFile2") return false;
    auto data = ReadDecoded(font.GetEmbeddedStream(), FontReplace::kMaxEmbeddedProgramBytes);
    if (!data) return false;
    Common::Bytes& d = *data;
    const std::map<std::string, TableRecord> tables = TableRecords(d);
    auto post = tables.find("post");
    constexpr std::size_t kHeader = 32;
    if (post == tables.end() || post->second.length < kHeader || post->second.offset + kHeader > d.size()) return false;
    // Format 3: the same header, and no glyph names, which the table could not give anyway.
    const std::size_t at = post->second.offset;
    PutU32(d, at, 0x00030000);
    std::uint32_t sum = 0;
    for (std::size_t k = 0; k < kHeader; k += 4) sum += U32(d, at + k);
    PutU32(d, post->second.record + 4, sum);
    PutU32(d, post->second.record + 12, static_cast<std::uint32_t>(kHeader));
    if (!FontProgram::Open(d)) return false;
    PutTrueType(ctx, font, d);
    return true;
}

bool HasLongCFFHeader(const Font& font)
{
    if (font.GetEmbeddedKey() != "FontFile3" || font.GetEmbeddedSubtype() == "OpenType") return false;
    auto data = ReadDecoded(font.GetEmbeddedStream(), 3);
    return data && CFFProgram::HasLongHeader(*data);
}

bool MendCFF(PassContext& ctx, const Font& font)
{
    if (font.GetEmbeddedKey() != "FontFile3" || font.GetEmbeddedSubtype() == "OpenType") return false;
    auto data = ReadDecoded(font.GetEmbeddedStream(), FontReplace::kMaxEmbeddedProgramBytes);
    auto mended = data ? CFFProgram::Mended(*data) : std::nullopt;
    if (!mended || !FontProgram::Open(*mended)) return false;
    const std::string subtype = font.GetEmbeddedSubtype();
    FontReplace::PutStream(ctx, font.GetDescriptor()->Resolve(), "FontFile3", *mended)->PutName("Subtype", subtype);
    return true;
}

bool IsCFFTrueType(const Font& font)
{
    const FontProgram* p = font.GetProgram();
    bool sfnt = font.GetEmbeddedKey() == "FontFile2" ||
                (font.GetEmbeddedKey() == "FontFile3" && font.GetEmbeddedSubtype() == "OpenType");
    return font.GetKind() == Font::e_truetype && sfnt && p && p->Format() == "CFF" && font.GetDescriptor();
}

void RepairCFFTrueType(PassContext& ctx, const Font& font)
{
    if (!IsCFFTrueType(font)) return;
    Obj* stream = FiledStream(font.GetDescriptor(), font.GetEmbeddedKey());
    auto data = stream ? ReadDecoded(stream, FontReplace::kMaxEmbeddedProgramBytes) : std::nullopt;
    if (data) FileCFFProgram(ctx, font, stream, *data);
}

}  // namespace qvx::PDF::FontRules
