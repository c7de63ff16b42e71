#include "pdf/GlyphList.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "pdf/GlyphListData.h"

namespace qvx::PDF::GlyphList {

using GlyphListData::Entry;

namespace {

const Entry* Lookup(std::string_view name)
{
    const Entry* begin = GlyphListData::kEntries;
    const Entry* end = begin + GlyphListData::kCount;
    const Entry* it = std::lower_bound(begin, end, name, [](const Entry& e, std::string_view n) {
        return std::string_view(e.name) < n;
    });
    return it != end && std::string_view(it->name) == name ? it : nullptr;
}

int Hex(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // the forms require upper-case digits
}

// n upper-case hex digits; -1 when one is not.
long HexRun(std::string_view s)
{
    long v = 0;
    for (char c : s) {
        int h = Hex(c);
        if (h < 0) return -1;
        v = v * 16 + h;
    }
    return v;
}

bool Scalar(long v) { return v >= 0 && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF); }

// One component of a ligature name.
std::u32string Component(std::string_view c)
{
    if (const Entry* e = Lookup(c)) {
        std::u32string out;
        for (char32_t cp : e->cps) {
            if (!cp) break;
            out += cp;
        }
        return out;
    }
    if (c.size() >= 7 && c.substr(0, 3) == "uni" && (c.size() - 3) % 4 == 0) {
        std::u32string out;
        for (std::size_t i = 3; i < c.size(); i += 4) {
            long v = HexRun(c.substr(i, 4));
            if (!Scalar(v)) return {};
            out += static_cast<char32_t>(v);
        }
        return out;
    }
    if (c.size() >= 5 && c.size() <= 7 && c[0] == 'u') {
        long v = HexRun(c.substr(1));
        if (Scalar(v)) return std::u32string(1, static_cast<char32_t>(v));
    }
    return {};
}

}  // namespace

std::u32string ToUnicode(std::string_view name)
{
    if (std::size_t dot = name.find('.'); dot != std::string_view::npos) name = name.substr(0, dot);
    std::u32string out;
    while (!name.empty()) {
        std::size_t us = name.find('_');
        out += Component(name.substr(0, us));
        if (us == std::string_view::npos) break;
        name.remove_prefix(us + 1);
    }
    return out;
}

bool IsListed(std::string_view name) { return Lookup(name) != nullptr; }

std::string_view NameFor(char32_t cp)
{
    static std::once_flag once;
    static std::unordered_map<char32_t, const char*> by_cp;
    std::call_once(once, [] {
        for (std::size_t i = 0; i < GlyphListData::kCount; ++i) {
            const Entry& e = GlyphListData::kEntries[i];
            if (e.cps[1] == 0) by_cp.emplace(e.cps[0], e.name);
        }
    });
    auto it = by_cp.find(cp);
    return it == by_cp.end() ? std::string_view() : std::string_view(it->second);
}

namespace {

// The glyph names of TeX's math, symbol and extension fonts that the Adobe list lacks, with
// the character each glyph draws. Sorted by name.
struct NamedCharacter {
    const char* name;
    char32_t cp;
};
constexpr NamedCharacter kTeXNames[] = {
    {"Ifractur", 0x2111},
    {"Rfractur", 0x211C},
    {"angbracketleft", 0x27E8},
    {"angbracketleftbig", 0x27E8},
    {"angbracketright", 0x27E9},
    {"angbracketrightbig", 0x27E9},
    {"arrowbothv", 0x2195},
    {"arrowdblbothv", 0x21D5},
    {"arrownortheast", 0x2197},
    {"arrownorthwest", 0x2196},
    {"arrowsoutheast", 0x2198},
    {"arrowsouthwest", 0x2199},
    {"bardbl", 0x2225},
    {"braceleftbig", 0x007B},
    {"bracerightbig", 0x007D},
    {"bracketleftbig", 0x005B},
    {"bracketrightbig", 0x005D},
    {"ceilingleft", 0x2308},
    {"ceilingright", 0x2309},
    {"circlecopyrt", 0x20DD},
    {"circledivide", 0x2298},
    {"circledot", 0x2299},
    {"circledotdisplay", 0x2A00},
    {"circledottext", 0x2A00},
    {"circleminus", 0x2296},
    {"circlemultiplydisplay", 0x2A02},
    {"circlemultiplytext", 0x2A02},
    {"circleplusdisplay", 0x2A01},
    {"circleplustext", 0x2A01},
    {"contintegraldisplay", 0x222E},
    {"contintegraltext", 0x222E},
    {"coproduct", 0x2210},
    {"coproductdisplay", 0x2210},
    {"coproducttext", 0x2210},
    {"diamondmath", 0x22C4},
    {"epsilon1", 0x03F5},
    {"equivasymptotic", 0x224D},
    {"flat", 0x266D},
    {"floorleft", 0x230A},
    {"floorright", 0x230B},
    {"follows", 0x227B},
    {"followsequal", 0x2AB0},
    {"greatermuch", 0x226B},
    {"harpoonleftbarbs", 0x21BD},
    {"harpoonleftbarbsup", 0x21BC},
    {"harpoonrightbarbs", 0x21C1},
    {"harpoonrightbarbsup", 0x21C0},
    {"integraldisplay", 0x222B},
    {"integraltext", 0x222B},
    {"intersectiondisplay", 0x22C2},
    {"intersectionsq", 0x2293},
    {"intersectiontext", 0x22C2},
    {"latticetop", 0x22A4},
    {"lessmuch", 0x226A},
    {"logicalanddisplay", 0x22C0},
    {"logicalandtext", 0x22C0},
    {"logicalordisplay", 0x22C1},
    {"logicalortext", 0x22C1},
    {"lscript", 0x2113},
    {"mapsto", 0x21A6},
    {"natural", 0x266E},
    {"negationslash", 0x0338},
    {"owner", 0x220B},
    {"parenleftbig", 0x0028},
    {"parenrightbig", 0x0029},
    {"pi1", 0x03D6},
    {"precedesequal", 0x2AAF},
    {"productdisplay", 0x220F},
    {"producttext", 0x220F},
    {"radicalBig", 0x221A},
    {"radicalBigg", 0x221A},
    {"radicalbig", 0x221A},
    {"radicalbigg", 0x221A},
    {"rho1", 0x03F1},
    {"sharp", 0x266F},
    {"similarequal", 0x2243},
    {"slurabove", 0x2323},
    {"slurbelow", 0x2322},
    {"star", 0x22C6},
    {"subsetsqequal", 0x2291},
    {"summationdisplay", 0x2211},
    {"summationtext", 0x2211},
    {"supersetsqequal", 0x2292},
    {"tie", 0x2040},
    {"triangleinv", 0x25BD},
    {"triangleleft", 0x25C1},
    {"triangleright", 0x25B7},
    {"turnstileleft", 0x22A2},
    {"turnstileright", 0x22A3},
    {"uniondisplay", 0x22C3},
    {"unionmulti", 0x228E},
    {"unionmultidisplay", 0x2A04},
    {"unionmultitext", 0x2A04},
    {"unionsq", 0x2294},
    {"unionsqdisplay", 0x2A06},
    {"unionsqtext", 0x2A06},
    {"uniontext", 0x22C3},
    {"vector", 0x20D7},
    {"visiblespace", 0x2423},
    {"wreathproduct", 0x2240},
};

// The names the Adobe list gives a private-use value (Adobe's own codes for the Symbol
// font's bracket pieces and sans and serif marks, and for the Expert fonts' oldstyle
// figures), with the character Unicode has for each since (the radical's bar is an
// overline). Sorted by name.
constexpr NamedCharacter kPublicForms[] = {
    {"arrowhorizex", 0x23AF},   {"arrowvertex", 0x23D0},     {"braceex", 0x23AA},        {"braceleftbt", 0x23A9},
    {"braceleftmid", 0x23A8},   {"bracelefttp", 0x23A7},     {"bracerightbt", 0x23AD},   {"bracerightmid", 0x23AC},
    {"bracerighttp", 0x23AB},   {"bracketleftbt", 0x23A3},   {"bracketleftex", 0x23A2},  {"bracketlefttp", 0x23A1},
    {"bracketrightbt", 0x23A6}, {"bracketrightex", 0x23A5},  {"bracketrighttp", 0x23A4}, {"copyrightsans", 0x00A9},
    {"copyrightserif", 0x00A9}, {"eightoldstyle", U'8'},     {"fiveoldstyle", U'5'},     {"fouroldstyle", U'4'},
    {"integralex", 0x23AE},     {"nineoldstyle", U'9'},      {"oneoldstyle", U'1'},      {"parenleftbt", 0x239D},
    {"parenleftex", 0x239C},    {"parenlefttp", 0x239B},     {"parenrightbt", 0x23A0},   {"parenrightex", 0x239F},
    {"parenrighttp", 0x239E},   {"radicalex", 0x203E},       {"registersans", 0x00AE},    {"registerserif", 0x00AE},  {"sevenoldstyle", U'7'},
    {"sixoldstyle", U'6'},      {"threeoldstyle", U'3'},     {"trademarksans", 0x2122},  {"trademarkserif", 0x2122},
    {"twooldstyle", U'2'},      {"zerooldstyle", U'0'},
};

template <std::size_t N>
char32_t Find(const NamedCharacter (&table)[N], std::string_view name)
{
    const auto* it = std::lower_bound(std::begin(table), std::end(table), name,
                                      [](const NamedCharacter& e, std::string_view n) { return std::string_view(e.name) < n; });
    return it != std::end(table) && it->name == name ? it->cp : 0;
}

}  // namespace

char32_t TeXNameToUnicode(std::string_view name) { return Find(kTeXNames, name); }

char32_t PublicFormOf(std::string_view name) { return Find(kPublicForms, name); }

}  // namespace qvx::PDF::GlyphList
