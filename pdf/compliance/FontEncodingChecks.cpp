// Encodings of TrueType fonts (with their programs' cmap subtables) and the CMaps of
// composite fonts.
#include "pdf/ObjUtil.h"
#include "pdf/GlyphList.h"
#include "pdf/compliance/FontReplacement.h"
#include "pdf/compliance/FontRules.h"
#include "sdf/Obj.h"
#include "sdf/Rules.h"

namespace qvx::PDF::FontRules {

using SDF::Obj;

namespace {

// The CMaps every reader knows (the predefined CMaps of the PDF 1.7 reference).
bool IsStandardCMapName(std::string_view n)
{
    static constexpr std::string_view kNames[] = {
        "GB-EUC-H", "GB-EUC-V", "GBpc-EUC-H", "GBpc-EUC-V", "GBK-EUC-H", "GBK-EUC-V", "GBKp-EUC-H", "GBKp-EUC-V",
        "GBK2K-H", "GBK2K-V", "UniGB-UCS2-H", "UniGB-UCS2-V", "UniGB-UTF16-H", "UniGB-UTF16-V", "B5pc-H", "B5pc-V",
        "HKscs-B5-H", "HKscs-B5-V", "ETen-B5-H", "ETen-B5-V", "ETenms-B5-H", "ETenms-B5-V", "CNS-EUC-H", "CNS-EUC-V",
        "UniCNS-UCS2-H", "UniCNS-UCS2-V", "UniCNS-UTF16-H", "UniCNS-UTF16-V", "83pv-RKSJ-H", "90ms-RKSJ-H",
        "90ms-RKSJ-V", "90msp-RKSJ-H", "90msp-RKSJ-V", "90pv-RKSJ-H", "Add-RKSJ-H", "Add-RKSJ-V", "EUC-H", "EUC-V",
        "Ext-RKSJ-H", "Ext-RKSJ-V", "H", "V", "UniJIS-UCS2-H", "UniJIS-UCS2-V", "UniJIS-UCS2-HW-H",
        "UniJIS-UCS2-HW-V", "UniJIS-UTF16-H", "UniJIS-UTF16-V", "KSC-EUC-H", "KSC-EUC-V", "KSCms-UHC-H",
        "KSCms-UHC-V", "KSCms-UHC-HW-H", "KSCms-UHC-HW-V", "KSCpc-EUC-H", "UniKS-UCS2-H", "UniKS-UCS2-V",
        "UniKS-UTF16-H", "UniKS-UTF16-V", "Identity-H", "Identity-V"};
    for (std::string_view k : kNames)
        if (k == n) return true;
    return false;
}

bool IsLatinEncodingName(std::string_view n) { return n == "MacRomanEncoding" || n == "WinAnsiEncoding"; }

// Every glyph name of a Differences array is in the Adobe Glyph List.
bool DifferencesListed(const Obj* differences)
{
    if (!differences) return true;
    for (std::size_t i = 0, n = differences->Size(); i < n; ++i) {
        const Obj* v = Deref(differences->GetAt(i));
        if (v && v->IsName() && !GlyphList::IsListed(v->GetName())) return false;
    }
    return true;
}

bool NonSymbolicEncodingOk(const Obj* enc)
{
    if (!enc) return false;
    if (enc->IsName()) return IsLatinEncodingName(enc->GetName());
    if (!enc->IsDict()) return false;
    return IsLatinEncodingName(FindName(enc, "BaseEncoding")) && DifferencesListed(FindArray(enc, "Differences"));
}

bool HasTable(const FontProgram& p, int platform, int encoding)
{
    for (const auto& t : p.CMapTables())
        if (t.platform == platform && t.encoding == encoding) return true;
    return false;
}

// A CIDFont and its CMap name the same character collection; from PDF/A-2 on the CMap's
// supplement must also reach the font's.
bool SystemInfoCompatible(const CMap::SystemInfo& font, const CMap::SystemInfo& cmap, bool supplements)
{
    if (!font.present || !cmap.present) return true;
    if (font.registry != cmap.registry || font.ordering != cmap.ordering) return false;
    return !supplements || font.supplement < 0 || cmap.supplement < 0 || cmap.supplement >= font.supplement;
}

}  // namespace

bool HasLatinEncoding(const Font& font) { return NonSymbolicEncodingOk(FindIn(font.GetSDFObj(), "Encoding")); }

bool WantsNamedEncoding(PassContext& ctx, const Font& font)
{
    if (!ctx.state.convert || ctx.Part() != 1 || font.IsSymbolic() || !SymbolOutlinesFit(font)) return false;
    const Obj* enc = Deref(FindIn(font.GetSDFObj(), "Encoding"));
    return !(enc && enc->IsName() && IsLatinEncodingName(enc->GetName()));
}

bool WantsUnicodeCMap(const Font& font)
{
    const FontProgram* p = font.GetProgram();
    return p && !font.IsSymbolic() && !HasTable(*p, 3, 1) && !HasTable(*p, 1, 0) && HasLatinEncoding(font);
}

void CheckComposite(PassContext& ctx, const Font& font)
{
    Obj* d = font.GetSDFObj();
    Obj* enc = FindIn(d, "Encoding");
    const CMap* cmap = font.GetCMap();
    bool embedded = enc && enc->IsStream();
    if (!cmap) {
        // Neither a predefined name nor a readable embedded CMap.
        ctx.Report(SDF::e_PDFA3331);
        return;
    }
    if (!embedded && !(enc && enc->IsName() && IsStandardCMapName(enc->GetName()))) ctx.Report(SDF::e_PDFA3331, d);
    // An embedded CMap may build only on a standard one.
    if (embedded) {
        Obj* use = FindIn(enc, "UseCMap");
        bool use_ok = use ? use->IsName() && IsStandardCMapName(use->GetName())
                          : cmap->GetUseCMap().empty() || IsStandardCMapName(cmap->GetUseCMap());
        if (!use_ok) ctx.Report(ctx.state.is_pdfua ? SDF::e_PDFUA1721333 : SDF::e_PDFA3331, enc);
    }
    if (!cmap->IsIdentity()) {
        if (!SystemInfoCompatible(font.GetCIDSystemInfo(), cmap->GetSystemInfo(), ctx.Part() != 1)) {
            ctx.Report(SDF::e_PDFA331);
            if (ctx.state.convert) RepairSystemInfo(font, cmap->GetSystemInfo());
        }
    }
    if (embedded) {
        int dict_wmode = static_cast<int>(FindNumber(enc, "WMode", 0));
        if (dict_wmode != cmap->GetWMode()) ctx.Report(SDF::e_PDFA3332, enc);
        if (cmap->MaxCID() > 65535) ctx.Report(SDF::e_PDFA11215);
        if (ctx.state.convert) DescribeEmbeddedCMap(enc->Resolve(), *cmap);
    }
    if (font.GetDescendantKind() == Font::e_cid_type2) {
        Obj* map = font.GetCIDToGIDMapObj();
        if (!map || !(map->IsStream() || IsNameOf(map, "Identity"))) {
            ctx.Report(SDF::e_PDFA332, font.GetDescendant());
            // Glyphs are looked up by CID already when the map is missing.
            if (ctx.state.convert) font.GetDescendant()->Resolve()->PutName("CIDToGIDMap", "Identity");
        }
    }
}

bool CheckTrueTypeEncoding(PassContext& ctx, const Font& font)
{
    Obj* d = font.GetSDFObj();
    Obj* enc = font.GetEncodingObj();
    const FontProgram* p = font.GetProgram();
    int part = ctx.Part();
    if (!font.IsSymbolic()) {
        const bool named = WantsNamedEncoding(ctx, font);
        if (!NonSymbolicEncodingOk(enc)) {
            ctx.Report(SDF::e_PDFA371, d);
            // A font without a usable program is given a new encoding by its replacement. One
            // whose glyph names have no listed equivalent turns symbolic, its program given a
            // cmap that reaches the same glyphs by code, or, with CFF outlines, becomes the
            // Type 1 font readers take it for (once the codes shown are known).
            if (ctx.state.convert && p && !RepairLatinEncoding(font)) return SymbolCMapFits(font) || IsCFFTrueType(font);
        }
        if (!p) return false;
        if (HasTable(*p, 3, 1) || HasTable(*p, 1, 0)) return named;
        ctx.Report(SDF::e_PDFA4621061, d);
        ctx.Report(SDF::e_PDFUA172161, d);
        // The program is given a (3,1) subtable once the codes shown are known.
        return named || (ctx.state.convert && SDF::InForce(SDF::e_PDFA4621061, ctx.state.level) && WantsUnicodeCMap(font));
    }
    if (enc) {
        ctx.Report(SDF::e_PDFA372, d);
        if (ctx.state.convert) {
            // Readers took the text of the codes from the encoding's glyph names; once it is
            // gone only a ToUnicode map can say it.
            if (!FindStream(d, "ToUnicode")) RepairToUnicode(ctx, font);
            d->Resolve()->Erase("Encoding");
        }
    }
    if (!p) return false;
    std::size_t n = p->CMapTables().size();
    if (part == 4) {
        if (HasTable(*p, 3, 0) || HasTable(*p, 1, 0)) return false;
        ctx.Report(SDF::e_PDFA4621064, d);
        return ctx.state.convert && SDF::InForce(SDF::e_PDFA4621064, ctx.state.level);
    }
    if (n != 1 && (part == 1 || !HasTable(*p, 3, 0))) {
        ctx.Report(SDF::e_PDFA373, d);
        return true;
    }
    return false;
}

}  // namespace qvx::PDF::FontRules
