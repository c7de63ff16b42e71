// Composite fonts get a TrueType substitute reached by CID: each CID shown is taken to the
// character the font's ToUnicode or its Adobe collection gives it, and the descendant
// becomes a CIDFontType2 whose CIDToGIDMap leads every such CID to that character's glyph.
// The CMap, W and DW stay, so the codes and their widths are unchanged.
#include <algorithm>

#include "pdf/FontProgram.h"
#include "pdf/FontSubstitution.h"
#include "pdf/ObjUtil.h"
#include "pdf/compliance/FontReplacement.h"
#include "sdf/Obj.h"

namespace qvx::PDF::FontReplace {

using SDF::Obj;

namespace {

// The configuration's name of the font's character collection; empty for one it does not know.
std::string CollectionOf(const CMap::SystemInfo& info)
{
    if (info.ordering == "Identity") return "identity";
    if (info.registry != "Adobe") return {};
    for (const char* o : {"Japan1", "Japan2", "GB1", "CNS1", "Korea1"})
        if (info.ordering == o) {
            std::string lower;
            for (char c : info.ordering) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
            return lower;
        }
    return {};
}

// The one character of a code's text, or 0.
char32_t SingleChar(const std::u16string& text)
{
    if (text.size() == 1) return text[0] >= 0xD800 && text[0] < 0xE000 ? 0 : text[0];
    if (text.size() == 2 && text[0] >= 0xD800 && text[0] < 0xDC00 && text[1] >= 0xDC00 && text[1] < 0xE000)
        return 0x10000 + ((text[0] - 0xD800) << 10) + (text[1] - 0xDC00);
    return 0;
}

}  // namespace

bool ReplaceComposite(PassContext& ctx, const FontReplacements::Entry& e)
{
    const Font& font = *e.font;
    Obj* desc = font.GetDescendant();
    if (!desc || !font.GetCMap()) return false;
    std::string collection = CollectionOf(font.GetCIDSystemInfo());
    if (collection.empty()) return false;

    std::map<std::uint32_t, char32_t> chars;  // by CID
    SubstituteProgram::Widths widths;
    std::optional<double> notdef_width;
    std::uint32_t max_cid = 0;
    for (const auto& [cid, c] : e.codes) {
        if (cid > 0xFFFF) continue;
        max_cid = std::max(max_cid, cid);
        std::u16string text;
        char32_t ch = font.ToUnicode(c, text) ? SingleChar(text) : 0;
        if (ch == 0 || cid == 0) {
            if (!notdef_width) notdef_width = font.GetWidth(c);
            continue;
        }
        chars[cid] = ch;
        widths.emplace(ch, font.GetWidth(c));
    }
    if (widths.empty()) return false;

    Style style = StyleOf(font);
    std::string base(FindName(desc, "BaseFont"));
    SubstituteRequest request{base.empty() ? font.GetBaseFont() : base, collection, style.bold, style.italic,
                              style.fixed, {}};
    for (const auto& [ch, w] : widths) request.chars.push_back(ch);
    ChosenSubstitute chosen = FindSubstitute(request);
    if (!chosen.program) return false;
    auto subset = chosen.program->MakeSubset(widths, notdef_width);
    if (!subset || subset->gids.size() != widths.size() || !FontProgram::Open(subset->data)) return false;

    Common::Bytes map(2 * (static_cast<std::size_t>(max_cid) + 1), 0);
    Common::Bytes cidset((max_cid + 8) / 8, 0);
    cidset[0] = 0x80;
    for (const auto& [cid, ch] : chars) {
        unsigned gid = subset->gids.at(ch);
        map[2 * cid] = static_cast<Common::Byte>(gid >> 8);
        map[2 * cid + 1] = static_cast<Common::Byte>(gid);
        cidset[cid / 8] |= static_cast<Common::Byte>(0x80 >> (cid % 8));
    }
    std::string name = SubsetTag(widths) + PostScriptName(request.name);
    Obj* descriptor = EmbedProgram(ctx, font, desc->Resolve(), name, *chosen.program, std::move(subset->data));
    // PDF/A-1 wants the CIDs of a subset listed; later parts only ask that a CIDSet be right.
    if (ctx.Part() == 1) PutStream(ctx, descriptor, "CIDSet", cidset);
    desc->PutName("Subtype", "CIDFontType2");
    desc->PutName("BaseFont", name);
    // The Type 0 font's name is the CIDFont's, joined to the CMap's when that is predefined.
    std::string_view cmap = FindName(font.GetSDFObj(), "Encoding");
    font.GetSDFObj()->Resolve()->PutName("BaseFont", cmap.empty() ? name : name + "-" + std::string(cmap));
    PutStream(ctx, desc, "CIDToGIDMap", map);
    return true;
}

}  // namespace qvx::PDF::FontReplace
