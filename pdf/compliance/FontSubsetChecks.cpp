// Subsets: the CharSet of a Type 1 subset and the CIDSet of a CIDFont subset must cover
// the glyphs of the embedded program (PDF/A-2 and -3) or those shown (PDF/A-1).
#include "common/Limits.h"
#include "pdf/ObjUtil.h"
#include "pdf/StreamData.h"
#include "pdf/compliance/FontRules.h"
#include "sdf/Obj.h"

namespace qvx::PDF::FontRules {

using SDF::Obj;

namespace {

// CIDSet streams hold one bit per CID, 65536 CIDs at most.
constexpr std::uint64_t kMaxCIDSetBytes = 65536 / 8;

bool IsType1Kind(const Font& f) { return f.GetKind() == Font::e_type1 || f.GetKind() == Font::e_mmtype1; }

// The names of a CharSet string ("/a/b/c").
SubsetInfo::Names CharSetNames(const Obj* charset)
{
    SubsetInfo::Names out;
    std::string_view s = Common::AsChars(charset->GetBuffer());
    std::size_t pos = 0;
    while ((pos = s.find('/', pos)) != std::string_view::npos) {
        std::size_t end = s.find_first_of("/ \t\r\n", pos + 1);
        if (end == std::string_view::npos) end = s.size();
        if (end > pos + 1) out.emplace(s.substr(pos + 1, end - pos - 1));
        pos = end;
    }
    return out;
}

void CheckCharSet(PassContext& ctx, const Font& font, SubsetInfo& info)
{
    Obj* descriptor = font.GetDescriptor();
    Obj* charset = FindIn(descriptor, "CharSet");
    if (!charset) {
        if (ctx.Part() == 1 && font.IsSubset()) {
            ctx.Report(SDF::e_PDFA355, descriptor);
            if (ctx.state.convert) RepairCharSet(font, info);
        }
        return;
    }
    if (!charset->IsString()) {
        ctx.Report(SDF::e_PDFA11, descriptor);
        return;
    }
    // PDF/A-4 asks for no CharSet, only that one given be a string.
    if (ctx.Part() == 4) return;
    info.charset = CharSetNames(charset);
    const FontProgram* p = font.GetProgram();
    // PDF/A-1 compares the glyphs shown (CheckSubsetCode).
    if (!p || !p->HasGlyphNames() || ctx.Part() == 1) return;
    // The CharSet names the program's glyphs, no fewer and no more.
    const long count = p->GlyphCount();
    long n = std::min(count, Common::Limits::kMaxFontGlyphsScanned);
    SubsetInfo::Names present;
    bool mismatch = false;
    for (long gid = 0; gid < n && !mismatch; ++gid) {
        std::string name = p->GlyphName(static_cast<unsigned>(gid));
        if (name.empty() || name == ".notdef") continue;
        mismatch = !info.charset->count(name);
        present.insert(std::move(name));
    }
    if (!mismatch && n == count)
        for (const auto& name : *info.charset)
            if (name != ".notdef" && !present.count(name)) mismatch = true;
    if (!mismatch) return;
    ctx.Report(SDF::e_PDFA357, descriptor);
    if (ctx.state.convert) RepairCharSet(font, info);
}

bool BitSet(const Common::Bytes& bits, std::uint32_t cid)
{
    return cid / 8 < bits.size() && (bits[cid / 8] & (0x80 >> (cid % 8)));
}

// The CIDs a TrueType program holds: those whose glyph, through the CIDToGIDMap, has an
// outline of its own (producers list a composite's parts under no CID).
bool TrueTypeCIDsCovered(const Font& font, const FontProgram& p, const Common::Bytes& cidset)
{
    const std::vector<bool> drawn = p.GlyphsDrawnAlone();
    const std::vector<std::uint16_t>* map = font.GetCIDToGIDTable();  // none: Identity
    const std::size_t cids = map ? map->size() : drawn.size();
    for (std::size_t cid = 1; cid < cids; ++cid) {
        const std::size_t gid = map ? (*map)[cid] : cid;
        if (gid > 0 && gid < drawn.size() && drawn[gid] && !BitSet(cidset, static_cast<std::uint32_t>(cid))) return false;
    }
    return true;
}

// Every CID the program holds must be in the CIDSet.
void CheckCIDSetCoverage(PassContext& ctx, const Font& font, SubsetInfo& info)
{
    const FontProgram* p = font.GetProgram();
    if (!p) return;
    bool covered = true;
    if (font.GetDescendantKind() == Font::e_cid_type2) {
        covered = TrueTypeCIDsCovered(font, *p, *info.cidset);
    } else if (font.GetDescendantKind() == Font::e_cid_type0) {
        long n = std::min(p->GlyphCount(), Common::Limits::kMaxFontGlyphsScanned);
        bool keyed = p->IsCIDKeyed();
        // In a CID-keyed program the glyph index is the CID and absent CIDs do not load.
        for (long cid = 1; cid < n && covered; ++cid)
            covered = (keyed && p->Advance(static_cast<unsigned>(cid)) < 0) || BitSet(*info.cidset, static_cast<std::uint32_t>(cid));
    }
    if (covered) return;
    ctx.Report(SDF::e_PDFA356, font.GetDescriptor());
    if (ctx.state.convert) RepairCIDSet(ctx, font, info);
}

}  // namespace

SubsetInfo CheckSubset(PassContext& ctx, const Font& font)
{
    SubsetInfo info;
    if (IsType1Kind(font)) {
        CheckCharSet(ctx, font, info);
        return info;
    }
    if (!font.IsComposite()) return info;
    Obj* descriptor = font.GetDescriptor();
    Obj* cidset = FindIn(descriptor, "CIDSet");
    if (!cidset) {
        if (ctx.Part() == 1 && font.IsSubset()) {
            ctx.Report(SDF::e_PDFA354, descriptor);
            if (ctx.state.convert) RepairCIDSet(ctx, font, info);
        }
        return info;
    }
    if (!cidset->IsStream()) {
        ctx.Report(SDF::e_PDFA11, descriptor);
        return info;
    }
    if (ctx.Part() == 4) return info;
    auto data = ReadDecoded(cidset, kMaxCIDSetBytes);
    info.cidset = data ? std::move(*data) : Common::Bytes{};
    CheckCIDSetCoverage(ctx, font, info);
    return info;
}

void CheckSubsetCode(PassContext& ctx, const Font& font, SubsetInfo& info, const Font::CharCode& c)
{
    if (info.cidset && c.cid != 0 && !BitSet(*info.cidset, c.cid)) {
        ctx.Report(SDF::e_PDFA356, font.GetDescriptor());
        if (ctx.state.convert) RepairCIDSet(ctx, font, info);
    }
    if (info.charset && ctx.Part() == 1) {
        std::string_view name = font.GlyphName(c.code);
        if (!name.empty() && name != ".notdef" && !info.charset->count(name)) {
            ctx.Report(SDF::e_PDFA357, font.GetDescriptor());
            if (ctx.state.convert) RepairCharSet(font, info);
        }
    }
}

}  // namespace qvx::PDF::FontRules
