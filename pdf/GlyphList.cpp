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
    {"Digamma", 0x03DC},
    {"Finv", 0x2132},
    {"Gmir", 0x2141},
    {"Ifractur", 0x2111},
    {"Omegainv", 0x2127},
    {"Rfractur", 0x211C},
    {"Yen", 0x00A5},
    {"angbracketleft", 0x27E8},
    {"angbracketleftBig", 0x27E8},
    {"angbracketleftBigg", 0x27E8},
    {"angbracketleftbig", 0x27E8},
    {"angbracketleftbigg", 0x27E8},
    {"angbracketright", 0x27E9},
    {"angbracketrightBig", 0x27E9},
    {"angbracketrightBigg", 0x27E9},
    {"angbracketrightbig", 0x27E9},
    {"angbracketrightbigg", 0x27E9},
    {"anticlockwise", 0x21BA},
    {"approxorequal", 0x224A},
    {"arrowbothv", 0x2195},
    {"arrowbt", 0x2193},
    {"arrowdblbothv", 0x21D5},
    {"arrowdblbt", 0x21D3},
    {"arrowdbltp", 0x21D1},
    {"arrowhookleft", 0x21AA},
    {"arrowhookright", 0x21A9},
    {"arrowleftbothalf", 0x21BD},
    {"arrowlefttophalf", 0x21BC},
    {"arrownortheast", 0x2197},
    {"arrownorthwest", 0x2196},
    {"arrowparrleftright", 0x21C6},
    {"arrowparrrightleft", 0x21C4},
    {"arrowrightbothalf", 0x21C1},
    {"arrowrighttophalf", 0x21C0},
    {"arrowsoutheast", 0x2198},
    {"arrowsouthwest", 0x2199},
    {"arrowtailleft", 0x21A2},
    {"arrowtailright", 0x21A3},
    {"arrowtp", 0x2191},
    {"arrowtripleleft", 0x21DA},
    {"arrowtripleright", 0x21DB},
    {"arrowvertexdbl", 0x2016},
    {"backslashBig", 0x005C},
    {"backslashBigg", 0x005C},
    {"backslashbig", 0x005C},
    {"backslashbigg", 0x005C},
    {"bardbl", 0x2225},
    {"beth", 0x2136},
    {"between", 0x226C},
    {"bracehtipdownleft", 0x23DE},
    {"bracehtipdownright", 0x23DE},
    {"bracehtipupleft", 0x23DF},
    {"bracehtipupright", 0x23DF},
    {"braceleftBig", 0x007B},
    {"braceleftBigg", 0x007B},
    {"braceleftbig", 0x007B},
    {"braceleftbigg", 0x007B},
    {"bracerightBig", 0x007D},
    {"bracerightBigg", 0x007D},
    {"bracerightbig", 0x007D},
    {"bracerightbigg", 0x007D},
    {"bracketleftBig", 0x005B},
    {"bracketleftBigg", 0x005B},
    {"bracketleftbig", 0x005B},
    {"bracketleftbigg", 0x005B},
    {"bracketrightBig", 0x005D},
    {"bracketrightBigg", 0x005D},
    {"bracketrightbig", 0x005D},
    {"bracketrightbigg", 0x005D},
    {"ceilingleft", 0x2308},
    {"ceilingleftBig", 0x2308},
    {"ceilingleftBigg", 0x2308},
    {"ceilingleftbig", 0x2308},
    {"ceilingleftbigg", 0x2308},
    {"ceilingright", 0x2309},
    {"ceilingrightBig", 0x2309},
    {"ceilingrightBigg", 0x2309},
    {"ceilingrightbig", 0x2309},
    {"ceilingrightbigg", 0x2309},
    {"check", 0x2713},
    {"circleR", 0x00AE},
    {"circleS", 0x24C8},
    {"circleasterisk", 0x229B},
    {"circlecopyrt", 0x20DD},
    {"circledivide", 0x2298},
    {"circledot", 0x2299},
    {"circledotdisplay", 0x2A00},
    {"circledottext", 0x2A00},
    {"circleequal", 0x229C},
    {"circleminus", 0x2296},
    {"circlemultiplydisplay", 0x2A02},
    {"circlemultiplytext", 0x2A02},
    {"circleplusdisplay", 0x2A01},
    {"circleplustext", 0x2A01},
    {"circlering", 0x229A},
    {"clockwise", 0x21BB},
    {"complement", 0x2201},
    {"contintegraldisplay", 0x222E},
    {"contintegraltext", 0x222E},
    {"coproduct", 0x2210},
    {"coproductdisplay", 0x2210},
    {"coproducttext", 0x2210},
    {"daleth", 0x2138},
    {"dblarrowdwn", 0x21CA},
    {"dblarrowheadleft", 0x219E},
    {"dblarrowheadright", 0x21A0},
    {"dblarrowup", 0x21C8},
    {"diamondmath", 0x22C4},
    {"diamondsolid", 0x25C6},
    {"dividemultiply", 0x22C7},
    {"dotplus", 0x2214},
    {"epsilon1", 0x03F5},
    {"epsiloninv", 0x03F6},
    {"equaldotleftright", 0x2252},
    {"equaldotrightleft", 0x2253},
    {"equalorfollows", 0x22DF},
    {"equalorgreater", 0x22DD},
    {"equalorless", 0x22DC},
    {"equalorprecedes", 0x22DE},
    {"equalorsimilar", 0x2242},
    {"equalsdots", 0x2251},
    {"equivasymptotic", 0x224D},
    {"flat", 0x266D},
    {"floorleft", 0x230A},
    {"floorleftBig", 0x230A},
    {"floorleftBigg", 0x230A},
    {"floorleftbig", 0x230A},
    {"floorleftbigg", 0x230A},
    {"floorright", 0x230B},
    {"floorrightBig", 0x230B},
    {"floorrightBigg", 0x230B},
    {"floorrightbig", 0x230B},
    {"floorrightbigg", 0x230B},
    {"follows", 0x227B},
    {"followsequal", 0x2AB0},
    {"followsorcurly", 0x227F},
    {"followsorequal", 0x227D},
    {"forces", 0x22A9},
    {"forcesbar", 0x22AA},
    {"fork", 0x22D4},
    {"frown", 0x2322},
    {"geomequivalent", 0x224E},
    {"greaterdbleqlless", 0x2A8C},
    {"greaterdblequal", 0x2267},
    {"greaterdot", 0x22D7},
    {"greaterlessequal", 0x22DB},
    {"greatermuch", 0x226B},
    {"greaterorapproxeql", 0x2A86},
    {"greaterorequalslant", 0x2A7E},
    {"greaterornotequal", 0x2269},
    {"greaterorsimilar", 0x2273},
    {"harpoondownleft", 0x21C3},
    {"harpoondownright", 0x21C2},
    {"harpoonleftbarbs", 0x21BD},
    {"harpoonleftbarbsup", 0x21BC},
    {"harpoonleftright", 0x21CB},
    {"harpoonrightbarbs", 0x21C1},
    {"harpoonrightbarbsup", 0x21C0},
    {"harpoonrightleft", 0x21CC},
    {"harpoonupleft", 0x21BF},
    {"harpoonupright", 0x21BE},
    {"hatwide", 0x02C6},
    {"hatwider", 0x02C6},
    {"hatwidest", 0x02C6},
    {"integraldisplay", 0x222B},
    {"integraltext", 0x222B},
    {"intercal", 0x22BA},
    {"intersectiondbl", 0x22D2},
    {"intersectiondisplay", 0x22C2},
    {"intersectionsq", 0x2293},
    {"intersectiontext", 0x22C2},
    {"latticetop", 0x22A4},
    {"lessdbleqlgreater", 0x2A8B},
    {"lessdblequal", 0x2266},
    {"lessdot", 0x22D6},
    {"lessequalgreater", 0x22DA},
    {"lessmuch", 0x226A},
    {"lessorapproxeql", 0x2A85},
    {"lessorequalslant", 0x2A7D},
    {"lessornotequal", 0x2268},
    {"lessorsimilar", 0x2272},
    {"logicalanddisplay", 0x22C0},
    {"logicalandtext", 0x22C0},
    {"logicalordisplay", 0x22C1},
    {"logicalortext", 0x22C1},
    {"lscript", 0x2113},
    {"maltesecross", 0x2720},
    {"mapsto", 0x21A6},
    {"measuredangle", 0x2221},
    {"multimap", 0x22B8},
    {"multiopenleft", 0x22CB},
    {"multiopenright", 0x22CC},
    {"natural", 0x266E},
    {"negationslash", 0x0338},
    {"notarrowboth", 0x21AE},
    {"notarrowleft", 0x219A},
    {"notarrowright", 0x219B},
    {"notdblarrowboth", 0x21CE},
    {"notdblarrowleft", 0x21CD},
    {"notdblarrowright", 0x21CF},
    {"notexistential", 0x2204},
    {"notfollows", 0x2281},
    {"notfollowsoreql", 0x22E1},
    {"notforces", 0x22AE},
    {"notforcesextra", 0x22AF},
    {"notgreaterequal", 0x2271},
    {"notlessequal", 0x2270},
    {"notprecedesoreql", 0x22E0},
    {"notsatisfies", 0x22AD},
    {"notsimilar", 0x2241},
    {"notsubseteql", 0x2288},
    {"notsuperseteql", 0x2289},
    {"nottriangeqlleft", 0x22EC},
    {"nottriangeqlright", 0x22ED},
    {"nottriangleleft", 0x22EA},
    {"nottriangleright", 0x22EB},
    {"notturnstile", 0x22AC},
    {"owner", 0x220B},
    {"parenleftBig", 0x0028},
    {"parenleftBigg", 0x0028},
    {"parenleftbig", 0x0028},
    {"parenleftbigg", 0x0028},
    {"parenrightBig", 0x0029},
    {"parenrightBigg", 0x0029},
    {"parenrightbig", 0x0029},
    {"parenrightbigg", 0x0029},
    {"pi1", 0x03D6},
    {"planckover2pi", 0x210F},
    {"planckover2pi1", 0x210F},
    {"precedesequal", 0x2AAF},
    {"precedesorcurly", 0x227E},
    {"precedesorequal", 0x227C},
    {"prime", 0x2032},
    {"primereverse", 0x2035},
    {"productdisplay", 0x220F},
    {"producttext", 0x220F},
    {"radicalBig", 0x221A},
    {"radicalBigg", 0x221A},
    {"radicalbig", 0x221A},
    {"radicalbigg", 0x221A},
    {"radicalbt", 0x23B7},
    {"radicalvertex", 0x23D0},
    {"revasymptequal", 0x22CD},
    {"revsimilar", 0x223D},
    {"rho1", 0x03F1},
    {"rightanglene", 0x231D},
    {"rightanglenw", 0x231C},
    {"rightanglese", 0x231F},
    {"rightanglesw", 0x231E},
    {"satisfies", 0x22A8},
    {"sharp", 0x266F},
    {"shiftleft", 0x21B0},
    {"shiftright", 0x21B1},
    {"similarequal", 0x2243},
    {"slashBig", 0x002F},
    {"slashBigg", 0x002F},
    {"slashbig", 0x002F},
    {"slashbigg", 0x002F},
    {"slurabove", 0x2323},
    {"slurbelow", 0x2322},
    {"smile", 0x2323},
    {"sphericalangle", 0x2222},
    {"square", 0x25A1},
    {"squaredot", 0x22A1},
    {"squareimage", 0x228F},
    {"squareminus", 0x229F},
    {"squaremultiply", 0x22A0},
    {"squareoriginal", 0x2290},
    {"squareplus", 0x229E},
    {"squaresmallsolid", 0x25AA},
    {"squaresolid", 0x25A0},
    {"squiggleleftright", 0x21AD},
    {"squiggleright", 0x21DD},
    {"star", 0x22C6},
    {"subsetdbl", 0x22D0},
    {"subsetnoteql", 0x228A},
    {"subsetsqequal", 0x2291},
    {"summationdisplay", 0x2211},
    {"summationtext", 0x2211},
    {"supersetdbl", 0x22D1},
    {"supersetnoteql", 0x228B},
    {"supersetsqequal", 0x2292},
    {"suppress", 0x0337},
    {"tie", 0x2040},
    {"tildewide", 0x02DC},
    {"tildewider", 0x02DC},
    {"tildewidest", 0x02DC},
    {"triangle", 0x25B3},
    {"triangledownsld", 0x25BC},
    {"triangleinv", 0x25BD},
    {"triangleleft", 0x25C1},
    {"triangleleftequal", 0x22B4},
    {"triangleleftsld", 0x25C0},
    {"triangleright", 0x25B7},
    {"trianglerightequal", 0x22B5},
    {"trianglerightsld", 0x25B6},
    {"trianglesolid", 0x25B2},
    {"turnstileleft", 0x22A2},
    {"turnstileright", 0x22A3},
    {"uniondbl", 0x22D3},
    {"uniondisplay", 0x22C3},
    {"unionmulti", 0x228E},
    {"unionmultidisplay", 0x2A04},
    {"unionmultitext", 0x2A04},
    {"unionsq", 0x2294},
    {"unionsqdisplay", 0x2A06},
    {"unionsqtext", 0x2A06},
    {"uniontext", 0x22C3},
    {"vector", 0x20D7},
    {"vextenddouble", 0x2016},
    {"vextendsingle", 0x2223},
    {"visiblespace", 0x2423},
    {"wreathproduct", 0x2240},
};

// The names the Adobe list gives a private-use value (Adobe's own codes for the Symbol
// font's bracket pieces and sans and serif marks, and for the Expert fonts' oldstyle
// figures), with the character Unicode has for each since (the radical's bar is an
// overline). Sorted by name.
constexpr NamedCharacter kPublicForms[] = {
    {"arrowhorizex", 0x23AF},
    {"arrowvertex", 0x23D0},
    {"braceex", 0x23AA},
    {"braceleftbt", 0x23A9},
    {"braceleftmid", 0x23A8},
    {"bracelefttp", 0x23A7},
    {"bracerightbt", 0x23AD},
    {"bracerightmid", 0x23AC},
    {"bracerighttp", 0x23AB},
    {"bracketleftbt", 0x23A3},
    {"bracketleftex", 0x23A2},
    {"bracketlefttp", 0x23A1},
    {"bracketrightbt", 0x23A6},
    {"bracketrightex", 0x23A5},
    {"bracketrighttp", 0x23A4},
    {"copyrightsans", 0x00A9},
    {"copyrightserif", 0x00A9},
    {"eightoldstyle", U'8'},
    {"fiveoldstyle", U'5'},
    {"fouroldstyle", U'4'},
    {"integralex", 0x23AE},
    {"nineoldstyle", U'9'},
    {"oneoldstyle", U'1'},
    {"parenleftbt", 0x239D},
    {"parenleftex", 0x239C},
    {"parenlefttp", 0x239B},
    {"parenrightbt", 0x23A0},
    {"parenrightex", 0x239F},
    {"parenrighttp", 0x239E},
    {"radicalex", 0x203E},
    {"registersans", 0x00AE},
    {"registerserif", 0x00AE},
    {"sevenoldstyle", U'7'},
    {"sixoldstyle", U'6'},
    {"threeoldstyle", U'3'},
    {"trademarksans", 0x2122},
    {"trademarkserif", 0x2122},
    {"twooldstyle", U'2'},
    {"zerooldstyle", U'0'},
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
