#include "pdf/FontSubstitution.h"

#include <iconv.h>

#include <algorithm>
#include <filesystem>
#include <mutex>

#include "common/UString.h"
#include "pdf/FontLibraries.h"

#include "pdf/FontConfig.h"

namespace qvx::PDF {

namespace {

// System fonts looked at per request, best match first.
constexpr int kMaxCandidates = 64;

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// Names compare without case, blanks and punctuation: "MS-Mincho" is "MS Mincho".
std::string Normalized(std::string_view s)
{
    std::string out;
    for (char c : Lower(s))
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || static_cast<unsigned char>(c) >= 0x80) out += c;
    return out;
}

bool HasStyleWord(const std::string& lower)
{
    for (const char* w : {"bold", "black", "heavy", "semibold", "demi", "italic", "oblique", "regular", "roman",
                          "medium", "light", "book", "normal"})
        if (lower.find(w) != std::string::npos) return true;
    return false;
}

bool Covers(const SubstituteProgram& p, const std::vector<char32_t>& chars)
{
    return std::all_of(chars.begin(), chars.end(), [&](char32_t c) { return p.Glyph(c) != 0; });
}

bool CoversAny(const SubstituteProgram& p, const std::vector<char32_t>& chars)
{
    return std::any_of(chars.begin(), chars.end(), [&](char32_t c) { return p.Glyph(c) != 0; });
}

// The bytes of a name that is no UTF-8, as the document has them: such names are read with
// each byte a Latin-1 character. Empty for a name that is plain UTF-8 text.
std::string LegacyBytes(std::string_view name)
{
    if (!Common::IsValidUTF8(name)) return std::string(name);
    Common::UString u = Common::UString::FromUTF8(name);
    std::string bytes;
    bool high = false;
    for (char16_t c : u.Units()) {
        if (c > 0xFF) return {};
        high |= c >= 0x80;
        bytes += static_cast<char>(c);
    }
    return high ? bytes : std::string();
}

// A name as the document writes it, and the names its bytes spell in the legacy encodings
// of the CJK systems that produce such names (GBK "宋体", Shift-JIS "ＭＳ 明朝", ...).
std::vector<std::string> NameForms(std::string_view name)
{
    std::vector<std::string> forms{std::string(name)};
    std::string bytes = LegacyBytes(name);
    if (bytes.empty()) return forms;
    for (const char* charset : {"GBK", "SHIFT_JIS", "BIG5", "EUC-KR"}) {
        iconv_t cd = iconv_open("UTF-8", charset);
        if (cd == reinterpret_cast<iconv_t>(-1)) continue;
        std::string out(bytes.size() * 4, '\0');
        char* in = bytes.data();
        char* to = out.data();
        std::size_t in_left = bytes.size(), out_left = out.size();
        if (iconv(cd, &in, &in_left, &to, &out_left) != static_cast<std::size_t>(-1) && in_left == 0) {
            out.resize(out.size() - out_left);
            forms.push_back(std::move(out));
        }
        iconv_close(cd);
    }
    return forms;
}

// Whether an entry names a font with the given name forms (NameForms).
bool NameMatches(const FontSubstitute& e, const std::vector<std::string>& forms)
{
    std::string n = Normalized(e.name);
    if (n.empty()) return false;
    for (const std::string& form : forms) {
        std::string_view plain = form;
        if (plain.size() > 7 && plain[6] == '+') plain.remove_prefix(7);
        // "宋体,Bold" names the family before its style.
        if (n == Normalized(plain) || n == Normalized(plain.substr(0, plain.find(','))) ||
            n == Normalized(SplitFontName(form).family))
            return true;
    }
    return false;
}

ChosenSubstitute FromConfig(const SubstituteRequest& r)
{
    std::vector<FontSubstitute> entries = FontConfig::Instance().Substitutes();
    // Entries of the font's collection first, those naming the font leading them; then
    // entries of any collection that name the font.
    const std::vector<std::string> forms = NameForms(r.name);
    std::vector<const FontSubstitute*> order;
    for (bool by_name : {true, false})
        for (const FontSubstitute& e : entries)
            if (!r.collection.empty() && e.collection == r.collection && NameMatches(e, forms) == by_name) order.push_back(&e);
    for (const FontSubstitute& e : entries)
        if (e.collection != r.collection && NameMatches(e, forms)) order.push_back(&e);
    for (const FontSubstitute* e : order) {
        auto p = SubstituteProgram::Open(e->file, 0);
        if (p && Covers(*p, r.chars)) return {std::move(p), e->file, true};
    }
    return {};
}

const char* LanguageOf(const std::string& collection)
{
    if (collection == "japan1" || collection == "japan2") return "ja";
    if (collection == "gb1") return "zh-cn";
    if (collection == "cns1") return "zh-tw";
    if (collection == "korea1") return "ko";
    return nullptr;
}

std::mutex& FcMutex()
{
    static std::mutex m;
    return m;
}

// The first system font in fontconfig's order that has every character of the request, or
// with whole false, at least one. With by_coverage the order puts the fonts that have the
// characters first.
ChosenSubstitute FromSystem(const SubstituteRequest& r, bool whole, bool by_coverage = false)
{
    std::lock_guard lock(FcMutex());
    NameStyle style = SplitFontName(r.name);
    FcPattern* pat = FcPatternCreate();
    // A CJK name in legacy bytes, as text: fontconfig knows fonts by their localised names too.
    std::vector<std::string> forms = NameForms(r.name);
    for (std::size_t i = 1; i < forms.size(); ++i) {
        std::string family = forms[i].substr(0, forms[i].find(','));
        FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    }
    if (!style.family.empty()) FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(style.family.c_str()));
    if (r.fixed) FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>("monospace"));
    FcPatternAddInteger(pat, FC_WEIGHT, r.bold || style.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pat, FC_SLANT, r.italic || style.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    if (r.fixed) FcPatternAddInteger(pat, FC_SPACING, FC_MONO);
    if (const char* lang = LanguageOf(r.collection)) FcPatternAddString(pat, FC_LANG, reinterpret_cast<const FcChar8*>(lang));
    if (by_coverage) {
        FcCharSet* wanted = FcCharSetCreate();
        for (char32_t c : r.chars) FcCharSetAddChar(wanted, c);
        FcPatternAddCharSet(pat, FC_CHARSET, wanted);
        FcCharSetDestroy(wanted);
    }
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult result;
    FcFontSet* set = FcFontSort(nullptr, pat, FcFalse, nullptr, &result);
    FcPatternDestroy(pat);
    ChosenSubstitute out;
    for (int i = 0; set && i < set->nfont && i < kMaxCandidates && !out.program; ++i) {
        FcPattern* f = set->fonts[i];
        FcChar8* file = nullptr;
        FcChar8* format = nullptr;
        FcCharSet* charset = nullptr;
        int index = 0;
        if (FcPatternGetString(f, FC_FILE, 0, &file) != FcResultMatch) continue;
        if (FcPatternGetString(f, FC_FONTFORMAT, 0, &format) != FcResultMatch ||
            std::string_view(reinterpret_cast<const char*>(format)) != "TrueType")
            continue;
        auto has = [&](char32_t c) { return FcCharSetHasChar(charset, c); };
        if (FcPatternGetCharSet(f, FC_CHARSET, 0, &charset) == FcResultMatch &&
            !(whole ? std::all_of(r.chars.begin(), r.chars.end(), has) : std::any_of(r.chars.begin(), r.chars.end(), has)))
            continue;
        FcPatternGetInteger(f, FC_INDEX, 0, &index);
        std::string path(reinterpret_cast<const char*>(file));
        auto p = SubstituteProgram::Open(path, static_cast<unsigned>(std::max(index, 0)));
        if (p && (whole ? Covers(*p, r.chars) : CoversAny(*p, r.chars))) out = {std::move(p), path, false};
    }
    if (set) FcFontSetDestroy(set);
    return out;
}

}  // namespace

NameStyle SplitFontName(std::string_view name)
{
    if (name.size() > 7 && name[6] == '+') name.remove_prefix(7);
    NameStyle out;
    std::string lower = Lower(name);
    std::size_t cut = name.find_first_of(",-");
    bool styled = cut != std::string_view::npos && HasStyleWord(lower.substr(cut + 1));
    out.family = std::string(styled ? name.substr(0, cut) : name);
    std::string style = styled ? lower.substr(cut + 1) : lower;
    for (const char* w : {"bold", "black", "heavy", "semibold", "demi"})
        out.bold |= style.find(w) != std::string::npos;
    out.italic = style.find("italic") != std::string::npos || style.find("oblique") != std::string::npos;
    // Names written back into a file are PostScript names: printable ASCII without blanks.
    std::erase_if(out.family, [](char c) { return c <= ' ' || c > '~' || std::string_view("()<>[]{}/%#").find(c) != std::string_view::npos; });
    out.family = std::string(WithoutFoundrySuffix(out.family));
    return out;
}

std::string_view WithoutFoundrySuffix(std::string_view family)
{
    // PostScript names of Monotype families end in MT or PSMT ("Arial-BoldMT", "TimesNewRomanPSMT").
    for (std::string_view suffix : {"PSMT", "MT", "PS"})
        if (family.size() > suffix.size() + 2 && family.ends_with(suffix)) return family.substr(0, family.size() - suffix.size());
    return family;
}

bool IsConfigured(std::string_view name)
{
    const std::vector<std::string> forms = NameForms(name);
    std::vector<FontSubstitute> entries = FontConfig::Instance().Substitutes();
    return std::any_of(entries.begin(), entries.end(), [&](const FontSubstitute& e) { return NameMatches(e, forms); });
}

ChosenSubstitute FindSubstitute(const SubstituteRequest& request)
{
    ChosenSubstitute c = FromConfig(request);
    if (!c.program) c = FromSystem(request, true);
    if (!c.program && request.any_family) c = FromSystem(request, true, true);
    if (!c.program && request.partial) c = FromSystem(request, false);
    return c;
}

}  // namespace qvx::PDF
