#include "render/FontFaces.h"

#include <algorithm>
#include <cctype>
#include <ft2build.h>
#include <mutex>
#include FT_FREETYPE_H

#include "common/Limits.h"
#include "pdf/FontLibraries.h"
#include "pdf/FontSubstitution.h"
#include "pdf/GlyphList.h"
#include "pdf/ObjUtil.h"
#include "pdf/Std14.h"
#include "pdf/StreamData.h"
#include "sdf/Obj.h"

namespace qvx::Render {

namespace {

// One library for the process: cairo may release a face after the drawer that made it.
std::mutex g_ft_mutex;
FT_Library Library()
{
    static FT_Library lib = [] {
        FT_Library l = nullptr;
        FT_Init_FreeType(&l);
        return l;
    }();
    return lib;
}

struct FaceData {
    FT_Face face = nullptr;
    Common::Bytes bytes;
};

const cairo_user_data_key_t kFaceKey{};

void DestroyFace(void* p)
{
    auto* d = static_cast<FaceData*>(p);
    {
        std::lock_guard<std::mutex> lock(g_ft_mutex);
        FT_Done_Face(d->face);
    }
    delete d;
}

// A cairo face owning its FreeType face and bytes; null when FreeType cannot open them.
cairo_font_face_t* MakeFace(Common::Bytes bytes, const char* path, FT_Face& out)
{
    auto* d = new FaceData;
    d->bytes = std::move(bytes);
    FT_Error err;
    {
        std::lock_guard<std::mutex> lock(g_ft_mutex);
        err = path ? FT_New_Face(Library(), path, 0, &d->face)
                   : FT_New_Memory_Face(Library(), d->bytes.data(), static_cast<FT_Long>(d->bytes.size()), 0, &d->face);
    }
    if (err || !d->face) {
        delete d;
        return nullptr;
    }
    cairo_font_face_t* f = cairo_ft_font_face_create_for_ft_face(d->face, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP);
    if (cairo_font_face_set_user_data(f, &kFaceKey, d, DestroyFace) != CAIRO_STATUS_SUCCESS) {
        cairo_font_face_destroy(f);
        DestroyFace(d);
        return nullptr;
    }
    out = d->face;
    return f;
}

// Codes of one font whose glyphs are remembered (a few bytes each): more than any real
// font uses, few enough to bound a damaged one.
constexpr std::size_t kMaxGlyphLookups = 1u << 16;

bool Contains(const std::string& s, std::string_view part)
{
    std::string a = s, b(part);
    std::transform(a.begin(), a.end(), a.begin(), ::tolower);
    std::transform(b.begin(), b.end(), b.begin(), ::tolower);
    return a.find(b) != std::string::npos;
}

// The file of the first font in fontconfig's order for pat that has the character.
// pat: substituted, ready to match.
std::string CoveringFile(FcPattern* pat, FcChar32 c)
{
    FcResult res;
    std::string file;
    if (FcFontSet* set = FcFontSort(nullptr, pat, FcFalse, nullptr, &res)) {
        for (int i = 0; i < set->nfont && file.empty(); ++i) {
            FcCharSet* chars = nullptr;
            FcChar8* name = nullptr;
            if (FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &chars) == FcResultMatch && FcCharSetHasChar(chars, c) &&
                FcPatternGetString(set->fonts[i], FC_FILE, 0, &name) == FcResultMatch)
                file = reinterpret_cast<const char*>(name);
        }
        FcFontSetDestroy(set);
    }
    return file;
}

// A system font for a font that embeds none: fontconfig's match for its family and style,
// else a generic family chosen by its flags and name.
std::string SubstituteFile(const PDF::Font& font)
{
    std::string name = font.GetBaseFont();
    if (name.size() > 7 && name[6] == '+') name = name.substr(7);
    std::string family = name.substr(0, name.find_first_of(",-"));
    std::string style = name.size() > family.size() ? name.substr(family.size()) : "";
    family = PDF::WithoutFoundrySuffix(family);
    int flags = font.GetFlags();
    double weight = PDF::FindNumber(font.GetDescriptor(), "FontWeight", 400);
    bool bold = Contains(style, "bold") || Contains(style, "black") || Contains(style, "heavy") || weight >= 600;
    bool italic = Contains(style, "italic") || Contains(style, "oblique") || (flags & PDF::Font::e_italic);
    std::string generic = (flags & PDF::Font::e_fixed_pitch) || Contains(name, "courier") || Contains(name, "mono") ? "Courier"
                          : (flags & PDF::Font::e_serif) || Contains(name, "times") || Contains(name, "roman") ? "Times"
                                                                                                                 : "Helvetica";
    std::string path;
    static std::mutex fc_mutex;
    std::lock_guard<std::mutex> lock(fc_mutex);
    for (const std::string& fam : {family, generic}) {
        FcPattern* pat = FcPatternCreate();
        FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(fam.c_str()));
        FcPatternAddInteger(pat, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcChar32 script = 0;   // a character of the CJK script the font's collection covers
        if (font.IsComposite()) {
            const std::string& ordering = font.GetCIDSystemInfo().ordering;
            const char* lang = ordering == "Japan1" ? "ja" : ordering == "GB1" ? "zh-cn" : ordering == "CNS1" ? "zh-tw"
                               : ordering == "Korea1" ? "ko" : nullptr;
            if (lang) FcPatternAddString(pat, FC_LANG, reinterpret_cast<const FcChar8*>(lang));
            if (lang) script = ordering == "Korea1" ? 0xAC00 : 0x4E00;
        }
        FcConfigSubstitute(nullptr, pat, FcMatchPattern);
        FcDefaultSubstitute(pat);
        FcResult res;
        FcPattern* match = FcFontMatch(nullptr, pat, &res);
        FcChar8* file = nullptr;
        FcChar8* got = nullptr;
        bool same = false;
        // Fonts that cover a script do not always declare its language: without the
        // script's character in the match, the first font in fontconfig's order that has it.
        FcCharSet* chars = nullptr;
        if (script && match && !(FcPatternGetCharSet(match, FC_CHARSET, 0, &chars) == FcResultMatch &&
                                 FcCharSetHasChar(chars, script))) {
            if (std::string covering = CoveringFile(pat, script); !covering.empty()) {
                FcPatternDestroy(match);
                FcPatternDestroy(pat);
                path = covering;
                break;
            }
        }
        if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
            path = reinterpret_cast<const char*>(file);
            // Only a real match of the family counts on the first pass; aliases (Arial to a
            // metric-compatible font) are real matches too.
            same = FcPatternGetString(match, FC_FAMILY, 0, &got) == FcResultMatch && !fam.empty() &&
                   (Contains(reinterpret_cast<const char*>(got), fam) || Contains(fam, reinterpret_cast<const char*>(got)) ||
                    Contains(path, "liberation") || Contains(path, "urw"));
        }
        if (match) FcPatternDestroy(match);
        FcPatternDestroy(pat);
        if (same || (&fam != &family && !path.empty())) break;
        // A CJK collection's own match has its script; the generic families do not.
        if (fam == family && script && !path.empty()) break;
    }
    return path;
}

}  // namespace

FontFaces::FontFaces() = default;

FontFaces::~FontFaces()
{
    for (auto& [font, face] : m_faces)
        if (face.face) cairo_font_face_destroy(face.face);
}

const FontFaces::Face& FontFaces::Get(const PDF::Font& font)
{
    auto it = m_faces.find(&font);
    if (it != m_faces.end()) return it->second;
    Face& face = m_faces[&font] = Open(font);
    // A substitute much wider than the font it stands for is narrowed as pdftoppm narrows it:
    // by the ratio of the widths of "m", where "m" is wider than the font's MissingWidth.
    if (face.substitute && font.IsSimple() && !font.IsSymbolic()) {
        for (std::uint32_t code = 0; code < 256; ++code) {
            if (font.GlyphName(code) != "m") continue;
            PDF::Font::CharCode c;
            c.code = c.cid = code;
            double pdf = font.GetWidth(c) / 1000, own = Advance(face, Glyph(face, font, c)) / 1000;
            if (pdf > 0.01 && pdf > font.GetMissingWidth() / 1000 && pdf < 0.9 * own) face.width_scale = pdf / own;
            break;
        }
    }
    return face;
}

FontFaces::Face FontFaces::Open(const PDF::Font& font)
{
    Face f;
    FT_Face ft = nullptr;
    if (SDF::Obj* s = font.GetEmbeddedStream()) {
        if (auto data = PDF::ReadDecoded(s, Common::Limits::kMaxRenderFontBytes); data && !data->empty())
            f.face = MakeFace(std::move(*data), nullptr, ft);
        if (f.face) {
            f.ft = ft;
            return f;
        }
        f.embedded_damaged = true;
    }
    std::string path;
    if (!font.GetStandardName().empty()) path = PDF::Std14::ProgramFile(font.GetStandardName());
    if (path.empty()) path = SubstituteFile(font);
    if (path.empty()) return f;
    f.face = MakeFace({}, path.c_str(), ft);
    if (!f.face && !font.GetStandardName().empty()) {
        path = SubstituteFile(font);
        if (!path.empty()) f.face = MakeFace({}, path.c_str(), ft);
    }
    f.ft = f.face ? ft : nullptr;
    f.substitute = true;
    return f;
}

unsigned FontFaces::Glyph(const Face& face, const PDF::Font& font, const PDF::Font::CharCode& code)
{
    // The key: the code's value, its length (a code of one byte and one of two with the
    // same value may name different characters) and its CID, when the CID fits.
    if (code.cid >> 29 || code.nbytes > 7) return LookUpGlyph(face, font, code);
    const std::uint64_t key = static_cast<std::uint64_t>(code.cid) << 35 | static_cast<std::uint64_t>(code.nbytes) << 32 | code.code;
    if (auto it = face.glyphs.find(key); it != face.glyphs.end()) return it->second;
    unsigned g = LookUpGlyph(face, font, code);
    if (face.glyphs.size() < kMaxGlyphLookups) face.glyphs.emplace(key, g);
    return g;
}

unsigned FontFaces::LookUpGlyph(const Face& face, const PDF::Font& font, const PDF::Font::CharCode& code)
{
    auto* ft = static_cast<FT_Face>(face.ft);
    if (!ft) return 0;
    if (!face.substitute) {
        long g = font.GlyphId(code, PDF::Font::e_as_viewers);
        if (g >= 0) return static_cast<unsigned>(g);
        // The page layer could not open the program (damage FreeType reads past): a TrueType
        // CIDFont's CIDs still lead to glyphs through its CIDToGIDMap, as readers draw them;
        // else fall back on the code itself.
        if (font.GetDescendantKind() == PDF::Font::e_cid_type2) {
            std::uint32_t gid = font.MappedGlyph(code.cid);
            return gid < static_cast<std::uint32_t>(ft->num_glyphs) ? gid : 0;
        }
        return FT_Get_Char_Index(ft, code.cid) ? FT_Get_Char_Index(ft, code.cid) : code.cid;
    }
    std::lock_guard<std::mutex> lock(g_ft_mutex);
    if (font.IsSimple()) {
        std::string_view name = font.GlyphName(code.code);
        if (!name.empty() && FT_HAS_GLYPH_NAMES(ft)) {
            std::string n(name);
            if (unsigned g = FT_Get_Name_Index(ft, n.c_str())) return g;
        }
    }
    std::u16string text;
    if (font.ToUnicode(code, text) && !text.empty()) {
        char32_t u = text[0];
        if (u >= 0xD800 && u < 0xDC00 && text.size() > 1) u = 0x10000 + ((u - 0xD800) << 10) + (text[1] - 0xDC00);
        if (unsigned g = FT_Get_Char_Index(ft, u)) return g;
    } else if (font.GetDescendantKind() == PDF::Font::e_cid_type2) {
        // A TrueType-based composite font with neither a ToUnicode map nor a known character
        // collection names its glyphs by CID alone: pdftoppm looks the CID up in the
        // substitute's character map, as the many writers that number glyphs by their
        // Unicode value expect.
        return FT_Get_Char_Index(ft, code.cid);
    }
    if (font.IsSimple()) {
        if (unsigned g = FT_Get_Char_Index(ft, code.code)) return g;
        if (unsigned g = FT_Get_Char_Index(ft, 0xF000 + code.code)) return g;
    }
    return 0;
}

double FontFaces::Advance(const Face& face, unsigned glyph)
{
    auto* ft = static_cast<FT_Face>(face.ft);
    if (!ft || !ft->units_per_EM) return 0;
    std::lock_guard<std::mutex> lock(g_ft_mutex);
    if (FT_Load_Glyph(ft, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING)) return 0;
    return ft->glyph->metrics.horiAdvance * 1000.0 / ft->units_per_EM;
}

}  // namespace qvx::Render
