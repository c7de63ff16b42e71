#include "pdf/SubstituteProgram.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <vector>

#include "common/Limits.h"
#include "pdf/FontLibraries.h"
#include "pdf/ObjUtil.h"
#include "sdf/Obj.h"

namespace qvx::PDF {

namespace {

constexpr hb_tag_t Tag(const char (&s)[5]) { return HB_TAG(s[0], s[1], s[2], s[3]); }

// Layout and device tables a PDF reader never consults; dropping them also keeps the
// subsetter from pulling in every ligature and alternate of the kept characters.
constexpr hb_tag_t kDropped[] = {Tag("GSUB"), Tag("GPOS"), Tag("GDEF"), Tag("kern"), Tag("hdmx"), Tag("VDMX"),
                                 Tag("LTSH"), Tag("morx"), Tag("JSTF"), Tag("BASE"), Tag("DSIG"), Tag("MATH")};

unsigned U16(const Common::Bytes& t, std::size_t at) { return at + 2 <= t.size() ? (t[at] << 8) | t[at + 1] : 0; }
int S16(const Common::Bytes& t, std::size_t at) { return static_cast<std::int16_t>(U16(t, at)); }
void Put16(Common::Bytes& t, std::size_t at, unsigned v)
{
    t[at] = static_cast<Common::Byte>(v >> 8);
    t[at + 1] = static_cast<Common::Byte>(v);
}

Common::Bytes TableOf(hb_face_t* face, hb_tag_t tag)
{
    hb_blob_t* blob = hb_face_reference_table(face, tag);
    unsigned len = 0;
    const char* p = hb_blob_get_data(blob, &len);
    Common::Bytes out(reinterpret_cast<const Common::Byte*>(p), reinterpret_cast<const Common::Byte*>(p) + len);
    hb_blob_destroy(blob);
    return out;
}

Common::Bytes BlobBytes(hb_blob_t* blob)
{
    unsigned len = 0;
    const char* p = hb_blob_get_data(blob, &len);
    return Common::Bytes(reinterpret_cast<const Common::Byte*>(p), reinterpret_cast<const Common::Byte*>(p) + len);
}

unsigned FontUnits(double thousandths, int upem)
{
    double v = std::round(thousandths * upem / 1000.0);
    return std::isfinite(v) ? static_cast<unsigned>(std::clamp(v, 0.0, 65535.0)) : 0;
}

// One long metric per glyph with the advances asked for: the subset's hmtx may share the
// last advance among trailing glyphs, which could not then differ.
struct HorizontalMetrics {
    Common::Bytes hhea, hmtx;
};

// Glyphs past the program's own (up to glyph_count) are empty: advance 0 unless given. The
// advances not given are multiplied by units, the factor of a program scaled up.
std::optional<HorizontalMetrics> SetAdvances(hb_face_t* face, const std::map<unsigned, unsigned>& advances,
                                             unsigned glyph_count, unsigned units)
{
    HorizontalMetrics m{TableOf(face, Tag("hhea")), TableOf(face, Tag("hmtx"))};
    Common::Bytes maxp = TableOf(face, Tag("maxp"));
    unsigned glyphs = U16(maxp, 4);
    unsigned long_metrics = U16(m.hhea, 34);
    if (m.hhea.size() < 36 || glyphs == 0 || long_metrics == 0 || long_metrics > glyphs ||
        m.hmtx.size() < 4ull * long_metrics + 2ull * (glyphs - long_metrics))
        return std::nullopt;
    unsigned all = std::max(glyphs, glyph_count);
    Common::Bytes out(4ull * all);
    unsigned widest = 0;
    for (unsigned g = 0; g < all; ++g) {
        unsigned advance = g < glyphs ? std::min(65535u, units * U16(m.hmtx, 4 * std::min(g, long_metrics - 1))) : 0;
        int lsb = g >= glyphs         ? 0
                  : g < long_metrics ? S16(m.hmtx, 4 * g + 2)
                                     : S16(m.hmtx, 4 * long_metrics + 2 * (g - long_metrics));
        if (auto it = advances.find(g); it != advances.end()) advance = it->second;
        Put16(out, 4 * g, advance);
        Put16(out, 4 * g + 2, static_cast<unsigned>(lsb) & 0xFFFF);
        widest = std::max(widest, advance);
    }
    Put16(m.hhea, 10, widest);
    Put16(m.hhea, 34, all);
    m.hmtx = std::move(out);
    return m;
}

// Flags of a composite glyph's component records.
constexpr unsigned kWords = 0x0001, kXYValues = 0x0002, kScale = 0x0008, kMore = 0x0020, kXYScale = 0x0040,
                   kTwoByTwo = 0x0080, kUseMyMetrics = 0x0200;

// Calls visit(flags, at) for each component record of the composite glyph in glyf[start, end).
template <class Visit>
void ForEachComponent(const Common::Bytes& glyf, std::size_t start, std::size_t end, Visit visit)
{
    std::size_t at = start + 10;
    for (unsigned flags = kMore; (flags & kMore) && at + 4 <= end;) {
        flags = U16(glyf, at);
        visit(flags, at);
        at += 4 + ((flags & kWords) ? 4 : 2) + ((flags & kScale) ? 2 : (flags & kXYScale) ? 4 : (flags & kTwoByTwo) ? 8 : 0);
    }
}

struct Glyphs {
    Common::Bytes glyf, loca, head;
    unsigned count = 0;
    std::size_t Offset(unsigned g) const
    {
        return S16(head, 50) == 1 ? (static_cast<std::size_t>(U16(loca, 4 * g)) << 16) | U16(loca, 4 * g + 2)
                                  : 2u * U16(loca, 2 * g);
    }
};

std::optional<Glyphs> ReadGlyphs(hb_face_t* face)
{
    Glyphs out{TableOf(face, Tag("glyf")), TableOf(face, Tag("loca")), TableOf(face, Tag("head")),
               U16(TableOf(face, Tag("maxp")), 4)};
    if (out.head.size() < 54 || out.loca.size() < (S16(out.head, 50) == 1 ? 4u : 2u) * (out.count + 1)) return std::nullopt;
    return out;
}

// Readers place a glyph's outline at its origin, xMin less the left side bearing (0 in most
// fonts, not in all); a composite glyph with USE_MY_METRICS takes its origin and advance from
// that component instead. hmtx holds one long metric per glyph.
struct Placement {
    int origin = 0;
    unsigned advance = 0;
};

Placement PlacementOf(const Glyphs& glyphs, const Common::Bytes& hmtx, unsigned g, unsigned depth = 0)
{
    std::size_t at = glyphs.Offset(g), end = std::min(glyphs.Offset(g + 1), glyphs.glyf.size());
    bool outline = at + 10 <= end;
    Placement p{(outline ? S16(glyphs.glyf, at + 2) : 0) - S16(hmtx, 4ull * g + 2), U16(hmtx, 4ull * g)};
    if (!outline || S16(glyphs.glyf, at) >= 0 || depth >= Common::Limits::kMaxGlyphNesting) return p;
    std::optional<unsigned> from;
    ForEachComponent(glyphs.glyf, at, end, [&](unsigned flags, std::size_t rec) {
        if ((flags & kUseMyMetrics) && !from) from = U16(glyphs.glyf, rec + 2);
    });
    return from && *from < glyphs.count && *from != g ? PlacementOf(glyphs, hmtx, *from, depth + 1) : p;
}

// The left side bearing that places glyph g where it was once no component lends it metrics.
unsigned OwnBearing(const Glyphs& glyphs, const Common::Bytes& hmtx, unsigned g)
{
    std::size_t at = glyphs.Offset(g);
    int x_min = at + 10 <= std::min(glyphs.Offset(g + 1), glyphs.glyf.size()) ? S16(glyphs.glyf, at + 2) : 0;
    return static_cast<unsigned>(x_min - PlacementOf(glyphs, hmtx, g).origin) & 0xFFFF;
}

// Composite glyphs may take their metrics from a component (USE_MY_METRICS), which would
// override the advance set for them: the flag is cleared in every component record, and each
// composite gets the left side bearing, and unless given one the advance, that the flag gave
// it, read from the metrics before any advance was set (original).
void OwnMetrics(Glyphs& glyphs, Common::Bytes& hmtx, const Common::Bytes& original, const std::map<unsigned, unsigned>& given)
{
    std::vector<std::pair<unsigned, Placement>> composites;
    for (unsigned g = 0; g < glyphs.count && 4ull * g + 4 <= hmtx.size(); ++g) {
        std::size_t at = glyphs.Offset(g), end = std::min(glyphs.Offset(g + 1), glyphs.glyf.size());
        if (at + 10 <= end && S16(glyphs.glyf, at) < 0) composites.emplace_back(g, PlacementOf(glyphs, original, g));
    }
    for (const auto& [g, placed] : composites) {
        std::size_t at = glyphs.Offset(g), end = std::min(glyphs.Offset(g + 1), glyphs.glyf.size());
        Put16(hmtx, 4ull * g + 2, static_cast<unsigned>(S16(glyphs.glyf, at + 2) - placed.origin) & 0xFFFF);
        if (!given.count(g)) Put16(hmtx, 4ull * g, placed.advance);
        ForEachComponent(glyphs.glyf, at, end, [&](unsigned flags, std::size_t rec) {
            Put16(glyphs.glyf, rec, flags & ~kUseMyMetrics);
        });
    }
}

unsigned Scaled(int v, double scale)
{
    return static_cast<unsigned>(std::clamp<long>(std::lround(v * scale), -32768, 32767)) & 0xFFFF;
}

// The coordinates of one axis of a simple glyph from at (advanced past them); false when the
// glyph is cut short. short_bit and same_bit are the axis's flag bits.
bool ReadCoordinates(const Common::Bytes& g, std::size_t& at, const std::vector<Common::Byte>& flags, unsigned short_bit,
                     unsigned same_bit, std::vector<int>& out)
{
    int v = 0;
    for (Common::Byte f : flags) {
        if (f & short_bit) {
            if (at >= g.size()) return false;
            v += (f & same_bit) ? g[at] : -g[at];
            ++at;
        } else if (!(f & same_bit)) {
            if (at + 2 > g.size()) return false;
            v += S16(g, at);
            at += 2;
        }
        out.push_back(v);
    }
    return true;
}

// A simple glyph with its coordinates scaled, written as 16-bit deltas; nullopt when the
// glyph is cut short.
std::optional<Common::Bytes> ScaleSimple(const Common::Bytes& g, double x_scale, double y_scale)
{
    constexpr unsigned kXShort = 0x02, kYShort = 0x04, kRepeat = 0x08, kXSame = 0x10, kYSame = 0x20;
    std::size_t contours = static_cast<std::size_t>(S16(g, 0)), at = 10 + 2 * contours;
    if (at + 2 > g.size()) return std::nullopt;
    unsigned points = contours ? U16(g, at - 2) + 1 : 0;
    at += 2 + U16(g, at);
    if (at > g.size()) return std::nullopt;
    Common::Bytes out(g.begin(), g.begin() + static_cast<std::ptrdiff_t>(at));
    std::vector<Common::Byte> flags;
    while (flags.size() < points) {
        if (at >= g.size()) return std::nullopt;
        Common::Byte f = g[at++];
        unsigned n = 1;
        if (f & kRepeat) {
            if (at >= g.size()) return std::nullopt;
            n += g[at++];
        }
        for (unsigned i = 0; i < n && flags.size() < points; ++i) flags.push_back(f);
    }
    std::vector<int> xs, ys;
    if (!ReadCoordinates(g, at, flags, kXShort, kXSame, xs) || !ReadCoordinates(g, at, flags, kYShort, kYSame, ys))
        return std::nullopt;
    for (Common::Byte f : flags) out.push_back(static_cast<Common::Byte>(f & ~(kXShort | kYShort | kRepeat | kXSame | kYSame)));
    for (const auto& [vs, scale] : {std::pair{&xs, x_scale}, std::pair{&ys, y_scale}}) {
        long last = 0;
        for (int v : *vs) {
            long now = static_cast<std::int16_t>(Scaled(v, scale));
            out.resize(out.size() + 2);
            Put16(out, out.size() - 2, static_cast<unsigned>(now - last) & 0xFFFF);
            last = now;
        }
    }
    return out;
}

// A composite glyph with its component offsets scaled; every component's arguments are
// written as words, which the scaled offsets may need.
Common::Bytes ScaleComposite(const Common::Bytes& g, double x_scale, double y_scale)
{
    Common::Bytes out(g.begin(), g.begin() + 10);
    std::size_t at = 10;
    for (unsigned flags = kMore; (flags & kMore) && at + 4 <= g.size();) {
        flags = U16(g, at);
        std::size_t args = at + 4, transform = args + ((flags & kWords) ? 4 : 2);
        std::size_t next = transform + ((flags & kScale) ? 2 : (flags & kXYScale) ? 4 : (flags & kTwoByTwo) ? 8 : 0);
        if (next > g.size()) break;
        int a1 = (flags & kWords) ? S16(g, args) : (flags & kXYValues) ? static_cast<std::int8_t>(g[args]) : g[args];
        int a2 = (flags & kWords) ? S16(g, args + 2) : (flags & kXYValues) ? static_cast<std::int8_t>(g[args + 1]) : g[args + 1];
        out.resize(out.size() + 8);
        std::size_t rec = out.size() - 8;
        Put16(out, rec, flags | kWords);
        Put16(out, rec + 2, U16(g, at + 2));
        // Without XY values the arguments are point numbers, which stay.
        Put16(out, rec + 4, (flags & kXYValues) ? Scaled(a1, x_scale) : static_cast<unsigned>(a1));
        Put16(out, rec + 6, (flags & kXYValues) ? Scaled(a2, y_scale) : static_cast<unsigned>(a2));
        out.insert(out.end(), g.begin() + static_cast<std::ptrdiff_t>(transform), g.begin() + static_cast<std::ptrdiff_t>(next));
        at = next;
    }
    out.insert(out.end(), g.begin() + static_cast<std::ptrdiff_t>(std::min(at, g.size())), g.end());
    return out;
}

// The outlines scaled: coordinates, component offsets, bounding boxes and left side
// bearings (hmtx with one long metric per glyph). The glyphs are written back with long
// loca offsets. False when a glyph cannot be read.
bool Scale(Glyphs& glyphs, Common::Bytes& hmtx, double x_scale, double y_scale)
{
    Common::Bytes glyf, loca(4ull * (glyphs.count + 1));
    auto put32 = [&](unsigned g, std::size_t v) {
        Put16(loca, 4ull * g, static_cast<unsigned>(v >> 16));
        Put16(loca, 4ull * g + 2, static_cast<unsigned>(v));
    };
    for (unsigned g = 0; g < glyphs.count; ++g) {
        put32(g, glyf.size());
        std::size_t at = glyphs.Offset(g), end = std::min(glyphs.Offset(g + 1), glyphs.glyf.size());
        if (at + 10 > end) continue;
        Common::Bytes one(glyphs.glyf.begin() + static_cast<std::ptrdiff_t>(at), glyphs.glyf.begin() + static_cast<std::ptrdiff_t>(end));
        for (std::size_t box = 2; box < 10; box += 2) Put16(one, box, Scaled(S16(one, box), box % 4 == 2 ? x_scale : y_scale));
        if (S16(one, 0) < 0) {
            one = ScaleComposite(one, x_scale, y_scale);
        } else {
            auto simple = ScaleSimple(one, x_scale, y_scale);
            if (!simple) return false;
            one = std::move(*simple);
        }
        one.resize((one.size() + 3) & ~std::size_t{3}, 0);
        glyf.insert(glyf.end(), one.begin(), one.end());
        if (4ull * g + 4 <= hmtx.size()) Put16(hmtx, 4ull * g + 2, Scaled(S16(hmtx, 4ull * g + 2), x_scale));
    }
    put32(glyphs.count, glyf.size());
    for (std::size_t box = 36; box < 44; box += 2) Put16(glyphs.head, box, Scaled(S16(glyphs.head, box), box % 4 == 0 ? x_scale : y_scale));
    Put16(glyphs.head, 50, 1);
    glyphs.glyf = std::move(glyf);
    glyphs.loca = std::move(loca);
    return true;
}

// The program of face with some tables replaced (or dropped, when replaced by nothing), and
// added where it had none.
Common::Bytes Rebuild(hb_face_t* face, const std::map<hb_tag_t, Common::Bytes>& replaced)
{
    hb_face_t* builder = hb_face_builder_create();
    hb_tag_t tags[64];
    unsigned start = 0;
    for (const auto& [tag, data] : replaced) {
        if (data.empty()) continue;
        hb_blob_t* had = hb_face_reference_table(face, tag);
        if (hb_blob_get_length(had) == 0) {
            hb_blob_t* blob = hb_blob_create(reinterpret_cast<const char*>(data.data()), static_cast<unsigned>(data.size()),
                                             HB_MEMORY_MODE_DUPLICATE, nullptr, nullptr);
            hb_face_builder_add_table(builder, tag, blob);
            hb_blob_destroy(blob);
        }
        hb_blob_destroy(had);
    }
    for (;;) {
        unsigned count = 64;
        hb_face_get_table_tags(face, start, &count, tags);
        if (count == 0) break;
        for (unsigned i = 0; i < count; ++i) {
            hb_blob_t* blob;
            auto it = replaced.find(tags[i]);
            if (it != replaced.end() && it->second.empty()) continue;  // dropped
            if (it != replaced.end()) {
                blob = hb_blob_create(reinterpret_cast<const char*>(it->second.data()),
                                      static_cast<unsigned>(it->second.size()), HB_MEMORY_MODE_DUPLICATE, nullptr, nullptr);
            } else {
                blob = hb_face_reference_table(face, tags[i]);
            }
            hb_face_builder_add_table(builder, tags[i], blob);
            hb_blob_destroy(blob);
        }
        start += count;
    }
    hb_blob_t* blob = hb_face_reference_blob(builder);
    Common::Bytes out = BlobBytes(blob);
    hb_blob_destroy(blob);
    hb_face_destroy(builder);
    return out;
}

// A cmap table of the one subtable (platform, encoding) of table, or nullopt.
std::optional<Common::Bytes> OneSubtable(const Common::Bytes& table, unsigned platform, unsigned encoding)
{
    unsigned count = U16(table, 2);
    for (unsigned i = 0; i < count && 12 + 8ull * i <= table.size(); ++i) {
        std::size_t rec = 4 + 8ull * i;
        if (U16(table, rec) != platform || U16(table, rec + 2) != encoding) continue;
        std::size_t at = (static_cast<std::size_t>(U16(table, rec + 4)) << 16) | U16(table, rec + 6);
        unsigned format = U16(table, at);
        std::size_t length = format < 8   ? U16(table, at + 2)
                             : format == 14 ? (static_cast<std::size_t>(U16(table, at + 2)) << 16) | U16(table, at + 4)
                                            : (static_cast<std::size_t>(U16(table, at + 4)) << 16) | U16(table, at + 6);
        if (length < 4 || at + length > table.size()) return std::nullopt;
        Common::Bytes out(12, 0);
        Put16(out, 2, 1);
        Put16(out, 4, platform);
        Put16(out, 6, encoding);
        Put16(out, 10, 12);
        out.insert(out.end(), table.begin() + static_cast<std::ptrdiff_t>(at),
                   table.begin() + static_cast<std::ptrdiff_t>(at + length));
        return out;
    }
    return std::nullopt;
}

bool HasTable(hb_face_t* face, hb_tag_t tag)
{
    hb_blob_t* blob = hb_face_reference_table(face, tag);
    bool present = hb_blob_get_length(blob) > 0;
    hb_blob_destroy(blob);
    return present;
}

// Glyphs appended up to glyph_count, empty or each a copy of .notdef's outline; loca is
// written with long offsets and maxp counts them. The name list of post and the vertical
// metrics (one entry per glyph each) would fall short: post keeps no names, and the vertical
// tables go (CIDFonts take theirs from W2).
void AddGlyphs(hb_face_t* face, Glyphs& glyphs, Common::Bytes& hmtx, unsigned glyph_count, bool notdef_copies,
               std::map<hb_tag_t, Common::Bytes>& tables)
{
    std::size_t used = std::min(glyphs.Offset(glyphs.count), glyphs.glyf.size());
    Common::Bytes notdef;
    if (notdef_copies) {
        std::size_t at = std::min(glyphs.Offset(0), used), to = std::min(std::max(glyphs.Offset(1), at), used);
        notdef.assign(glyphs.glyf.begin() + static_cast<std::ptrdiff_t>(at), glyphs.glyf.begin() + static_cast<std::ptrdiff_t>(to));
        notdef.resize((notdef.size() + 3) & ~std::size_t{3}, 0);
    }
    Common::Bytes loca(4ull * (glyph_count + 1));
    auto put32 = [&](unsigned g, std::size_t v) {
        Put16(loca, 4ull * g, static_cast<unsigned>(v >> 16));
        Put16(loca, 4ull * g + 2, static_cast<unsigned>(v));
    };
    for (unsigned g = 0; g <= glyphs.count; ++g) put32(g, std::min(glyphs.Offset(g), used));
    glyphs.glyf.resize(used);
    for (unsigned g = glyphs.count; g < glyph_count; ++g) {
        glyphs.glyf.insert(glyphs.glyf.end(), notdef.begin(), notdef.end());
        put32(g + 1, glyphs.glyf.size());
        // Readers place a TrueType outline by its left side bearing.
        if (notdef.size() >= 10 && 4ull * g + 4 <= hmtx.size()) Put16(hmtx, 4ull * g + 2, U16(notdef, 2));
    }
    glyphs.loca = std::move(loca);
    glyphs.count = glyph_count;
    Put16(glyphs.head, 50, 1);
    Common::Bytes maxp = TableOf(face, Tag("maxp")), post = TableOf(face, Tag("post"));
    Put16(maxp, 4, glyph_count);
    constexpr std::size_t kPostHeader = 32;
    if (post.size() >= kPostHeader) {
        post.resize(kPostHeader);
        Put16(post, 0, 3);
        Put16(post, 2, 0);
    } else {
        post.clear();
    }
    tables[Tag("maxp")] = std::move(maxp);
    tables[Tag("post")] = std::move(post);
    tables[Tag("vhea")].clear();
    tables[Tag("vmtx")].clear();
}

// Glyphs a subset is to gain: up to count, empty or copies of .notdef.
struct AddedGlyphs {
    unsigned count = 0;
    bool notdef_copies = false;
};

// The program of face with the advances given (in thousandths of an em, by glyph), no
// composite glyph taking another's advance, outlines narrowed to x_scale, and the glyphs
// added; nullopt when its tables cannot be read. A glyf program of fewer than 1,000 units
// per em is scaled up to at least that, or some advances could not be within a thousandth
// of an em of their widths. CFF outlines (OpenType) take their advances from hmtx alone and
// are neither scaled nor given more glyphs.
std::optional<Common::Bytes> WithOwnAdvances(hb_face_t* face, const std::map<unsigned, double>& widths, double x_scale,
                                             AddedGlyphs added = {})
{
    bool cff = HasTable(face, Tag("CFF "));
    unsigned upem = hb_face_get_upem(face), units = !cff && upem > 0 && upem < 1000 ? (999 + upem) / upem : 1;
    std::map<unsigned, unsigned> advances;
    for (const auto& [g, w] : widths) advances.emplace(g, FontUnits(w, static_cast<int>(upem * units)));
    unsigned glyph_count = added.count;
    auto metrics = SetAdvances(face, advances, glyph_count, units);
    if (!metrics) return std::nullopt;
    std::map<hb_tag_t, Common::Bytes> tables;
    if (cff) {
        if (x_scale != 1 || glyph_count > hb_face_get_glyph_count(face)) return std::nullopt;
    } else {
        auto glyphs = ReadGlyphs(face);
        if (!glyphs || glyphs->glyf.empty()) return std::nullopt;
        auto original = SetAdvances(face, {}, glyph_count, units);
        if (!original) return std::nullopt;
        OwnMetrics(*glyphs, metrics->hmtx, original->hmtx, advances);
        bool more = glyph_count > glyphs->count;
        if (more) AddGlyphs(face, *glyphs, metrics->hmtx, glyph_count, added.notdef_copies, tables);
        if ((x_scale != 1 || units != 1) && !Scale(*glyphs, metrics->hmtx, x_scale * units, units)) return std::nullopt;
        if (units != 1) {
            Put16(glyphs->head, 18, upem * units);
            for (std::size_t at : {4, 6, 8}) Put16(metrics->hhea, at, Scaled(S16(metrics->hhea, at), units));
            // CIDFonts take vertical metrics from W2.
            tables[Tag("vhea")].clear();
            tables[Tag("vmtx")].clear();
        }
        if (more || x_scale != 1 || units != 1) {
            tables.emplace(Tag("loca"), std::move(glyphs->loca));
            tables.emplace(Tag("head"), std::move(glyphs->head));
        }
        tables.emplace(Tag("glyf"), std::move(glyphs->glyf));
    }
    tables.emplace(Tag("hhea"), std::move(metrics->hhea));
    tables.emplace(Tag("hmtx"), std::move(metrics->hmtx));
    Common::Bytes out = Rebuild(face, tables);
    if (out.empty()) return std::nullopt;
    return out;
}

// The subsetter's input with what fill puts into it, without the tables a reader never
// consults and without hinting (which could move the advances set later at small sizes),
// keeping the outline of .notdef, which readers draw for what a font lacks; null when
// HarfBuzz cannot make one.
template <class Fill>
hb_subset_input_t* CutInput(unsigned flags, Fill fill)
{
    hb_subset_input_t* input = hb_subset_input_create_or_fail();
    if (!input) return nullptr;
    fill(input);
    hb_set_t* dropped = hb_subset_input_set(input, HB_SUBSET_SETS_DROP_TABLE_TAG);
    for (hb_tag_t t : kDropped) hb_set_add(dropped, t);
    hb_subset_input_set_flags(input, HB_SUBSET_FLAGS_NO_HINTING | HB_SUBSET_FLAGS_NOTDEF_OUTLINE | flags);
    return input;
}

hb_blob_t* BlobOf(hb_face_t* cut)
{
    if (!cut) return nullptr;
    hb_blob_t* blob = hb_face_reference_blob(cut);
    hb_face_destroy(cut);
    return blob;
}

// HarfBuzz's subset of face (see CutInput); null when HarfBuzz cannot subset the program.
template <class Fill>
hb_blob_t* Cut(hb_face_t* face, unsigned flags, Fill fill)
{
    hb_subset_input_t* input = CutInput(flags, fill);
    if (!input) return nullptr;
    hb_face_t* cut = hb_subset_or_fail(face, input);
    hb_subset_input_destroy(input);
    return BlobOf(cut);
}

}  // namespace

struct SubstituteProgram::Impl {
    Common::Bytes data;
    hb_blob_t* blob = nullptr;
    hb_face_t* face = nullptr;
    hb_font_t* font = nullptr;
    ~Impl()
    {
        hb_font_destroy(font);
        hb_face_destroy(face);
        hb_blob_destroy(blob);
    }
};

std::unique_ptr<SubstituteProgram> SubstituteProgram::Open(const std::string& path, unsigned index)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return nullptr;
    std::streamoff size = in.tellg();
    if (size <= 0 || static_cast<std::uint64_t>(size) > Common::Limits::kMaxSubstituteFontBytes) return nullptr;
    std::unique_ptr<SubstituteProgram> p(new SubstituteProgram);
    p->mp = std::make_unique<Impl>();
    Impl& m = *p->mp;
    m.data.resize(static_cast<std::size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(m.data.data()), size)) return nullptr;
    m.blob = hb_blob_create(reinterpret_cast<const char*>(m.data.data()), static_cast<unsigned>(m.data.size()),
                            HB_MEMORY_MODE_READONLY, nullptr, nullptr);
    m.face = hb_face_create(m.blob, index);
    m.font = hb_font_create(m.face);
    // PDF embeds CFF outlines differently; only glyf programs go into FontFile2.
    if (!HasTable(m.face, Tag("glyf")) || hb_face_get_glyph_count(m.face) == 0 || hb_face_get_upem(m.face) == 0) return nullptr;
    return p;
}

SubstituteProgram::~SubstituteProgram() = default;

unsigned SubstituteProgram::Glyph(char32_t c) const
{
    hb_codepoint_t g = 0;
    return hb_font_get_nominal_glyph(mp->font, c, &g) ? g : 0;
}

double SubstituteProgram::Advance(char32_t c) const { return GlyphAdvance(Glyph(c)); }

double SubstituteProgram::GlyphAdvance(unsigned glyph) const
{
    return glyph < GlyphCount() ? hb_font_get_glyph_h_advance(mp->font, glyph) * 1000.0 / UnitsPerEm() : 0;
}

unsigned SubstituteProgram::GlyphCount() const { return hb_face_get_glyph_count(mp->face); }

int SubstituteProgram::UnitsPerEm() const { return static_cast<int>(hb_face_get_upem(mp->face)); }

SubstituteProgram::Metrics SubstituteProgram::GetMetrics() const
{
    Metrics out;
    double scale = 1000.0 / UnitsPerEm();
    Common::Bytes head = TableOf(mp->face, Tag("head"));
    for (int i = 0; i < 4; ++i) out.bbox[i] = S16(head, 36 + 2 * i) * scale;
    Common::Bytes hhea = TableOf(mp->face, Tag("hhea"));
    out.ascent = S16(hhea, 4) * scale;
    out.descent = S16(hhea, 6) * scale;
    Common::Bytes os2 = TableOf(mp->face, Tag("OS/2"));
    out.cap_height = U16(os2, 0) >= 2 ? S16(os2, 88) * scale : out.ascent;
    Common::Bytes post = TableOf(mp->face, Tag("post"));
    if (post.size() >= 8) out.italic_angle = S16(post, 4) + U16(post, 6) / 65536.0;
    return out;
}

std::optional<SubstituteProgram::Subset> SubstituteProgram::MakeSubset(const Widths& widths,
                                                                       std::optional<double> notdef_width,
                                                                       double x_scale) const
{
    hb_blob_t* cut_blob = Cut(mp->face, 0, [&](hb_subset_input_t* input) {
        hb_set_t* unicodes = hb_subset_input_unicode_set(input);
        for (const auto& [c, w] : widths) hb_set_add(unicodes, c);
    });
    if (!cut_blob) return std::nullopt;
    hb_face_t* face = hb_face_create(cut_blob, 0);
    hb_font_t* font = hb_font_create(face);

    Subset out;
    std::map<unsigned, double> advances;
    unsigned added = hb_face_get_glyph_count(face);
    for (const auto& [c, w] : widths) {
        hb_codepoint_t g = 0;
        if (!hb_font_get_nominal_glyph(font, c, &g) || g == 0) g = added++;
        out.gids[c] = g;
        advances.emplace(g, w);
    }
    if (notdef_width) advances.emplace(0, *notdef_width);
    auto data = WithOwnAdvances(face, advances, std::clamp(x_scale, 0.01, 1.0), {added, true});
    hb_font_destroy(font);
    hb_face_destroy(face);
    hb_blob_destroy(cut_blob);
    if (!data) return std::nullopt;
    out.data = std::move(*data);
    return out;
}

std::vector<SubstituteProgram::ShapedGlyph> SubstituteProgram::Shape(std::u32string_view text, bool right_to_left) const
{
    hb_buffer_t* buffer = hb_buffer_create();
    hb_buffer_add_utf32(buffer, reinterpret_cast<const std::uint32_t*>(text.data()), static_cast<int>(text.size()), 0,
                        static_cast<int>(text.size()));
    hb_buffer_guess_segment_properties(buffer);
    hb_buffer_set_direction(buffer, right_to_left ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
    hb_shape(mp->font, buffer, nullptr, 0);
    unsigned count = 0;
    const hb_glyph_info_t* infos = hb_buffer_get_glyph_infos(buffer, &count);
    const hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buffer, nullptr);
    std::vector<ShapedGlyph> out;
    const double scale = 1000.0 / UnitsPerEm();
    for (unsigned i = 0; i < count; ++i)
        out.push_back({infos[i].codepoint, positions[i].x_advance * scale, GlyphAdvance(infos[i].codepoint), infos[i].cluster});
    hb_buffer_destroy(buffer);
    return out;
}

std::optional<SubstituteProgram::GlyphSubset> SubstituteProgram::SubsetGlyphs(const std::map<unsigned, double>& widths) const
{
    hb_subset_input_t* input = CutInput(0, [&](hb_subset_input_t* in) {
        hb_set_t* glyphs = hb_subset_input_glyph_set(in);
        for (const auto& [g, w] : widths) hb_set_add(glyphs, g);
    });
    if (!input) return std::nullopt;
    hb_subset_plan_t* plan = hb_subset_plan_create_or_fail(mp->face, input);
    hb_subset_input_destroy(input);
    if (!plan) return std::nullopt;
    GlyphSubset out;
    std::map<unsigned, double> advances;
    const hb_map_t* renumbered = hb_subset_plan_old_to_new_glyph_mapping(plan);
    for (const auto& [g, w] : widths) {
        hb_codepoint_t to = hb_map_get(renumbered, g);
        if (to == HB_MAP_VALUE_INVALID) continue;
        out.gids[g] = to;
        advances.emplace(to, w);
    }
    hb_blob_t* cut_blob = BlobOf(hb_subset_plan_execute_or_fail(plan));
    hb_subset_plan_destroy(plan);
    if (!cut_blob) return std::nullopt;
    hb_face_t* face = hb_face_create(cut_blob, 0);
    out.glyph_count = hb_face_get_glyph_count(face);
    auto data = WithOwnAdvances(face, advances, 1);
    hb_face_destroy(face);
    hb_blob_destroy(cut_blob);
    if (!data) return std::nullopt;
    out.data = std::move(*data);
    return out;
}

// A subset's tag of six capitals, from a hash (FNV-1a) of what the subset keeps.
static constexpr std::uint32_t kTagBasis = 2166136261u, kTagPrime = 16777619u;

static std::string TagOf(std::uint32_t h)
{
    std::string tag;
    for (int i = 0; i < 6; ++i, h /= 26) tag += static_cast<char>('A' + h % 26);
    return tag + "+";
}

std::string SubstituteProgram::SubsetTag(const Widths& widths)
{
    std::uint32_t h = kTagBasis;
    for (const auto& [c, w] : widths) h = (h ^ static_cast<std::uint32_t>(c)) * kTagPrime;
    return TagOf(h);
}

std::string SubstituteProgram::SubsetTag(std::string_view kept)
{
    std::uint32_t h = kTagBasis;
    for (char c : kept) h = (h ^ static_cast<unsigned char>(c)) * kTagPrime;
    return TagOf(h);
}

std::optional<Common::Bytes> SubstituteProgram::KeepGlyphs(const std::map<unsigned, double>& widths) const
{
    unsigned own = hb_face_get_glyph_count(mp->face), count = 0;
    hb_blob_t* cut_blob = Cut(mp->face, HB_SUBSET_FLAGS_RETAIN_GIDS, [&](hb_subset_input_t* input) {
        hb_set_t* glyphs = hb_subset_input_glyph_set(input);
        for (const auto& [g, w] : widths)
            if (g < own) hb_set_add(glyphs, g);
    });
    if (!cut_blob) return std::nullopt;
    hb_face_t* face = hb_face_create(cut_blob, 0);
    for (const auto& [g, w] : widths) count = std::max(count, g + 1);
    auto data = WithOwnAdvances(face, widths, 1, {count, false});
    hb_face_destroy(face);
    hb_blob_destroy(cut_blob);
    return data;
}

namespace {

// f(face) on a face of program, which is read in place.
template <class F>
std::optional<Common::Bytes> OnFace(Common::ByteView program, F f)
{
    hb_blob_t* blob = hb_blob_create(reinterpret_cast<const char*>(program.data()), static_cast<unsigned>(program.size()),
                                     HB_MEMORY_MODE_READONLY, nullptr, nullptr);
    hb_face_t* face = hb_face_create(blob, 0);
    std::optional<Common::Bytes> out = f(face);
    hb_face_destroy(face);
    hb_blob_destroy(blob);
    if (out && out->empty()) out.reset();
    return out;
}

// A cmap table of one Windows subtable (format 4) that takes each character value to its glyph.
Common::Bytes WindowsCMap(unsigned encoding, const std::map<unsigned, unsigned>& glyphs)
{
    std::size_t segments = glyphs.size() + 1;
    Common::Bytes t(12 + 16 + 8 * segments, 0);
    Put16(t, 2, 1);
    Put16(t, 4, 3);
    Put16(t, 6, encoding);
    Put16(t, 10, 12);
    std::size_t sub = 12;
    Put16(t, sub, 4);
    Put16(t, sub + 2, static_cast<unsigned>(t.size() - sub));
    Put16(t, sub + 6, static_cast<unsigned>(2 * segments));
    unsigned power = 1, log = 0;
    while (power * 2 <= segments) power *= 2, ++log;
    Put16(t, sub + 8, 2 * power);
    Put16(t, sub + 10, log);
    Put16(t, sub + 12, static_cast<unsigned>(2 * segments - 2 * power));
    std::size_t ends = sub + 14, starts = ends + 2 * segments + 2, deltas = starts + 2 * segments;
    std::size_t i = 0;
    for (const auto& [c, gid] : glyphs) {
        Put16(t, ends + 2 * i, c);
        Put16(t, starts + 2 * i, c);
        Put16(t, deltas + 2 * i, (gid - c) & 0xFFFF);
        ++i;
    }
    Put16(t, ends + 2 * i, 0xFFFF);
    Put16(t, starts + 2 * i, 0xFFFF);
    Put16(t, deltas + 2 * i, 1);
    return t;
}

std::optional<Common::Bytes> WithWindowsCMap(Common::ByteView program, unsigned encoding, const std::map<unsigned, unsigned>& glyphs)
{
    if (glyphs.empty()) return std::nullopt;
    return OnFace(program, [&](hb_face_t* face) -> std::optional<Common::Bytes> {
        return Rebuild(face, {{Tag("cmap"), WindowsCMap(encoding, glyphs)}});
    });
}

}  // namespace

std::optional<Common::Bytes> SubstituteProgram::CFFTable(Common::ByteView program)
{
    return OnFace(program, [](hb_face_t* face) -> std::optional<Common::Bytes> { return TableOf(face, Tag("CFF ")); });
}

std::optional<Common::Bytes> SubstituteProgram::WithOneCMap(Common::ByteView program, int platform, int encoding)
{
    return OnFace(program, [&](hb_face_t* face) -> std::optional<Common::Bytes> {
        auto cmap = OneSubtable(TableOf(face, Tag("cmap")), static_cast<unsigned>(platform), static_cast<unsigned>(encoding));
        if (!cmap) return std::nullopt;
        return Rebuild(face, {{Tag("cmap"), std::move(*cmap)}});
    });
}

std::optional<Common::Bytes> SubstituteProgram::WithSymbolCMap(Common::ByteView program, const std::map<unsigned, unsigned>& glyphs)
{
    std::map<unsigned, unsigned> by_value;
    for (const auto& [code, gid] : glyphs) by_value.emplace(0xF000 + (code & 0xFF), gid);
    return WithWindowsCMap(program, 0, by_value);
}

std::optional<Common::Bytes> SubstituteProgram::WithUnicodeCMap(Common::ByteView program, const std::map<char32_t, unsigned>& glyphs)
{
    std::map<unsigned, unsigned> by_value;
    for (const auto& [ch, gid] : glyphs)
        if (ch < 0xFFFF) by_value.emplace(static_cast<unsigned>(ch), gid);
    if (by_value.size() != glyphs.size()) return std::nullopt;
    return WithWindowsCMap(program, 1, by_value);
}

std::optional<Common::Bytes> SubstituteProgram::WithGlyphCopies(Common::ByteView program, const std::vector<GlyphCopy>& copies)
{
    return OnFace(program, [&](hb_face_t* face) -> std::optional<Common::Bytes> {
        auto glyphs = ReadGlyphs(face);
        auto metrics = SetAdvances(face, {}, 0, 1);
        Common::Bytes maxp = TableOf(face, Tag("maxp")), post = TableOf(face, Tag("post"));
        int upem = static_cast<int>(hb_face_get_upem(face));
        if (!glyphs || !metrics || glyphs->glyf.empty() || maxp.size() < 6 || glyphs->count + copies.size() > 0xFFFF)
            return std::nullopt;
        // Long loca offsets, every glyph where it was and the copies after them.
        unsigned total = glyphs->count + static_cast<unsigned>(copies.size());
        Common::Bytes glyf, loca(4ull * (total + 1));
        auto append = [&](unsigned g, std::optional<unsigned> from) {
            Put16(loca, 4ull * g, static_cast<unsigned>(glyf.size() >> 16));
            Put16(loca, 4ull * g + 2, static_cast<unsigned>(glyf.size()));
            if (!from) return;
            std::size_t at = std::min(glyphs->Offset(*from), glyphs->glyf.size());
            std::size_t end = std::clamp(glyphs->Offset(*from + 1), at, glyphs->glyf.size());
            std::size_t start = glyf.size();
            glyf.insert(glyf.end(), glyphs->glyf.begin() + static_cast<std::ptrdiff_t>(at), glyphs->glyf.begin() + static_cast<std::ptrdiff_t>(end));
            // A copy has an advance of its own, not its component's.
            if (g >= glyphs->count && end >= at + 10 && S16(glyf, start) < 0)
                ForEachComponent(glyf, start, glyf.size(), [&](unsigned flags, std::size_t rec) { Put16(glyf, rec, flags & ~kUseMyMetrics); });
            glyf.resize((glyf.size() + 3) & ~std::size_t{3}, 0);
        };
        for (unsigned g = 0; g < glyphs->count; ++g) append(g, g);
        unsigned widest = U16(metrics->hhea, 10);
        for (std::size_t i = 0; i < copies.size(); ++i) {
            std::optional<unsigned> source = copies[i].source;
            if (source && *source >= glyphs->count) return std::nullopt;
            append(glyphs->count + static_cast<unsigned>(i), source);
            unsigned advance = FontUnits(copies[i].width, upem);
            metrics->hmtx.resize(metrics->hmtx.size() + 4);
            Put16(metrics->hmtx, metrics->hmtx.size() - 4, advance);
            Put16(metrics->hmtx, metrics->hmtx.size() - 2, source ? OwnBearing(*glyphs, metrics->hmtx, *source) : 0);
            widest = std::max(widest, advance);
        }
        Put16(loca, 4ull * total, static_cast<unsigned>(glyf.size() >> 16));
        Put16(loca, 4ull * total + 2, static_cast<unsigned>(glyf.size()));
        // Glyphs that are all empty still stand in a glyf table: readers look for one.
        if (glyf.empty()) glyf.resize(4, 0);
        Put16(glyphs->head, 50, 1);
        Put16(maxp, 4, total);
        Put16(metrics->hhea, 10, widest);
        Put16(metrics->hhea, 34, total);
        std::map<hb_tag_t, Common::Bytes> tables{{Tag("glyf"), std::move(glyf)}, {Tag("loca"), std::move(loca)},
                                                 {Tag("head"), std::move(glyphs->head)}, {Tag("maxp"), std::move(maxp)},
                                                 {Tag("hhea"), std::move(metrics->hhea)}, {Tag("hmtx"), std::move(metrics->hmtx)}};
        // Tables with a record per glyph that nothing needs are dropped; glyph names
        // (post format 2) gain one per copy, the copy's source's (.notdef for an empty one).
        for (hb_tag_t t : {Tag("hdmx"), Tag("LTSH"), Tag("VDMX")}) tables.emplace(t, Common::Bytes{});
        if (post.size() >= 34 && U16(post, 0) == 2 && U16(post, 2) == 0 && U16(post, 32) == glyphs->count &&
            post.size() >= 34 + 2ull * glyphs->count) {
            std::size_t names = 34 + 2ull * glyphs->count;
            Common::Bytes grown(post.begin(), post.begin() + static_cast<std::ptrdiff_t>(names));
            Put16(grown, 32, total);
            for (const GlyphCopy& c : copies) {
                grown.resize(grown.size() + 2);
                Put16(grown, grown.size() - 2, c.source ? U16(post, 34 + 2ull * *c.source) : 0);
            }
            grown.insert(grown.end(), post.begin() + static_cast<std::ptrdiff_t>(names), post.end());
            tables.emplace(Tag("post"), std::move(grown));
        }
        return Rebuild(face, tables);
    });
}

std::optional<Common::Bytes> SubstituteProgram::WithCFFGlyphCopies(Common::ByteView program, const std::vector<CFFProgram::Copy>& copies)
{
    return OnFace(program, [&](hb_face_t* face) -> std::optional<Common::Bytes> {
        Common::Bytes maxp = TableOf(face, Tag("maxp"));
        auto cff = maxp.size() < 6 ? std::nullopt : CFFProgram::WithGlyphCopies(TableOf(face, Tag("CFF ")), copies);
        if (!cff) return std::nullopt;
        unsigned count = U16(maxp, 4), total = count + static_cast<unsigned>(copies.size());
        std::map<unsigned, unsigned> advances;
        for (std::size_t i = 0; i < copies.size(); ++i)
            advances[count + static_cast<unsigned>(i)] = static_cast<unsigned>(std::clamp(std::round(copies[i].advance), 0.0, 65535.0));
        auto metrics = total > 0xFFFF ? std::nullopt : SetAdvances(face, advances, total, 1);
        if (!metrics) return std::nullopt;
        Put16(maxp, 4, total);
        // Tables with a record per glyph that nothing needs are dropped.
        std::map<hb_tag_t, Common::Bytes> tables{{Tag("CFF "), std::move(*cff)}, {Tag("maxp"), std::move(maxp)},
                                                 {Tag("hhea"), std::move(metrics->hhea)}, {Tag("hmtx"), std::move(metrics->hmtx)}};
        for (hb_tag_t t : {Tag("hdmx"), Tag("LTSH"), Tag("VDMX"), Tag("vhea"), Tag("vmtx")}) tables.emplace(t, Common::Bytes{});
        return Rebuild(face, tables);
    });
}

std::optional<Common::Bytes> SubstituteProgram::WithAdvances(Common::ByteView program, const std::map<unsigned, double>& widths)
{
    return OnFace(program, [&](hb_face_t* face) { return WithOwnAdvances(face, widths, 1); });
}

void FillDescriptorMetrics(SDF::Obj* descriptor, const SubstituteProgram::Metrics& m)
{
    if (!FindArray(descriptor, "FontBBox")) {
        SDF::Obj* box = descriptor->PutArray("FontBBox");
        for (double v : m.bbox) box->PushBackNumber(std::round(v));
    }
    auto fill = [&](const char* key, double v) {
        if (!FindIn(descriptor, key)) descriptor->PutNumber(key, std::round(v));
    };
    fill("ItalicAngle", m.italic_angle);
    fill("Ascent", m.ascent);
    fill("Descent", m.descent);
    fill("CapHeight", m.cap_height);
    fill("StemV", 80);
}

}  // namespace qvx::PDF
