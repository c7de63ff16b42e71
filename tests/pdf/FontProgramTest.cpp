#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "PdfTestDoc.h"
#include "pdf/Font.h"
#include "pdf/FontProgram.h"
#include "pdf/SubstituteProgram.h"
#include "pdf/Type1Program.h"
#include "tests/support/TrueTypeBuilder.h"

using namespace qvx;
using qvx::Test::TestDoc;

namespace {

const char* kType1 = "/usr/share/fonts/type1/urw-base35/NimbusSans-Regular.t1";
const char* kTrueType = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

std::string Slurp(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

unsigned U16(const std::string& b, std::size_t at)
{
    return static_cast<unsigned char>(b[at]) << 8 | static_cast<unsigned char>(b[at + 1]);
}
void Put16(std::string& b, std::size_t at, unsigned v)
{
    b[at] = static_cast<char>(v >> 8), b[at + 1] = static_cast<char>(v & 255);
}
int S16(const std::string& b, std::size_t at) { return static_cast<std::int16_t>(U16(b, at)); }

// Where table tag of an sfnt program starts (0 when it has none).
std::size_t TableAt(const std::string& sfnt, const char* tag)
{
    for (std::size_t i = 0, n = U16(sfnt, 4); i < n; ++i) {
        std::size_t rec = 12 + 16 * i;
        if (sfnt.compare(rec, 4, tag) == 0) return static_cast<std::size_t>(U16(sfnt, rec + 8)) << 16 | U16(sfnt, rec + 10);
    }
    return 0;
}

// The program with the character map subtables of (platform, encoding) `from` renamed `to`.
std::string Retabled(std::string ttf, std::initializer_list<std::pair<std::pair<int, int>, std::pair<int, int>>> renames)
{
    if (std::size_t cmap = TableAt(ttf, "cmap")) {
        for (std::size_t k = 0, m = U16(ttf, cmap + 2); k < m; ++k) {
            std::size_t at = cmap + 4 + 8 * k;
            for (const auto& [from, to] : renames)
                if (static_cast<int>(U16(ttf, at)) == from.first && static_cast<int>(U16(ttf, at + 2)) == from.second)
                    Put16(ttf, at, static_cast<unsigned>(to.first)), Put16(ttf, at + 2, static_cast<unsigned>(to.second));
        }
    }
    return ttf;
}

// Glyph g's outline in the glyf table of a program with long loca offsets or short ones.
std::size_t GlyphAt(const std::string& ttf, unsigned g)
{
    std::size_t loca = TableAt(ttf, "loca");
    std::size_t off = S16(ttf, TableAt(ttf, "head") + 50) == 1
                          ? static_cast<std::size_t>(U16(ttf, loca + 4 * g)) << 16 | U16(ttf, loca + 4 * g + 2)
                          : 2u * U16(ttf, loca + 2 * g);
    return TableAt(ttf, "glyf") + off;
}

}  // namespace

TEST(FontProgram, Type1ProgramAndEmbeddedFont)
{
    if (!std::filesystem::exists(kType1)) GTEST_SKIP() << "fonts-urw-base35 is not installed";
    std::string bytes = Slurp(kType1);
    auto p = PDF::FontProgram::Open(Common::ToBytes(bytes));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Format(), "Type 1");
    EXPECT_EQ(p->UnitsPerEm(), 1000);
    EXPECT_TRUE(p->HasGlyphNames());
    unsigned a = p->GlyphByName("A");
    ASSERT_NE(a, 0u);
    EXPECT_EQ(p->GlyphName(a), "A");
    EXPECT_EQ(p->Advance(a), 667);
    EXPECT_EQ(p->GlyphByName("nosuchglyph"), 0u);
    EXPECT_EQ(p->GlyphByBuiltinCode('A'), a);  // StandardEncoding is the program's own
    EXPECT_EQ(PDF::FontProgram::Open(Common::ToBytes("not a font")), nullptr);

    // The same program embedded: codes map to glyphs by the encoding's names.
    TestDoc t;
    t.SetStream(2, "<< /Length1 1 >>", bytes);
    t.Set(3, "<< /Type /FontDescriptor /FontName /NimbusSans-Regular /Flags 32 /FontFile @2 >>");
    t.Set(1, "<< /Type /Font /Subtype /Type1 /BaseFont /NimbusSans-Regular /FirstChar 65 /LastChar 66 /Widths [667 700] "
             "/FontDescriptor @3 /Encoding << /Differences [66 /nosuchglyph] >> >>");
    auto f = PDF::Font::Create(t.Get(1));
    EXPECT_EQ(f->GetEmbeddedKey(), "FontFile");
    EXPECT_TRUE(f->GetStandardName().empty());  // embedded: not the standard font
    ASSERT_TRUE(f->GetProgram());
    EXPECT_FALSE(f->IsProgramDamaged());
    EXPECT_EQ(f->GlyphId({'A', 1, 'A'}), static_cast<long>(a));
    EXPECT_EQ(f->GlyphId({'B', 1, 'B'}), 0);  // a Differences name the program lacks
    EXPECT_EQ(f->GetProgram()->Advance(static_cast<unsigned>(f->GlyphId({'A', 1, 'A'}))), 667);
    // As the program of a CIDFontType0: its glyphs are not numbered by CID, so the
    // CIDToGIDMap it comes with places CID 1 on "A".
    t.SetStream(7, "<< >>", std::string{0, 0, static_cast<char>(a >> 8), static_cast<char>(a & 255)});
    t.Set(8, "<< /Type /Font /Subtype /CIDFontType0 /BaseFont /NimbusSans-Regular /FontDescriptor @3 /CIDToGIDMap @7 "
             "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> >>");
    t.Set(9, "<< /Type /Font /Subtype /Type0 /BaseFont /NimbusSans-Regular /Encoding /Identity-H /DescendantFonts [@8] >>");
    EXPECT_EQ(PDF::Font::Create(t.Get(9))->GlyphId({1, 2, 1}), static_cast<long>(a));

    t.SetStream(4, "<< >>", "garbage");
    t.Set(5, "<< /Type /FontDescriptor /FontFile2 @4 /Flags 4 >>");
    t.Set(6, "<< /Type /Font /Subtype /TrueType /BaseFont /X /FontDescriptor @5 >>");
    auto damaged = PDF::Font::Create(t.Get(6));
    EXPECT_TRUE(damaged->IsSymbolic());
    EXPECT_TRUE(damaged->IsProgramDamaged());
    EXPECT_EQ(damaged->GlyphId({'A', 1, 'A'}), -1);
}

TEST(FontProgram, TrueTypeCMapTables)
{
    if (!std::filesystem::exists(kTrueType)) GTEST_SKIP() << "no DejaVu fonts";
    std::string bytes = Slurp(kTrueType);
    auto p = PDF::FontProgram::Open(Common::ToBytes(bytes));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Format(), "TrueType");
    EXPECT_EQ(p->UnitsPerEm(), 2048);
    bool has31 = false;
    for (const auto& t : p->CMapTables()) has31 |= t.platform == 3 && t.encoding == 1;
    EXPECT_TRUE(has31);
    unsigned g = p->GlyphByCMap(3, 1, 0x00E9);
    EXPECT_NE(g, 0u);
    EXPECT_EQ(p->GlyphByCMap(3, 1, 0xE000), 0u);
    EXPECT_GT(p->Advance(g), 0);

    // Non-symbolic TrueType: the code's glyph name goes through the (3,1) table.
    TestDoc t;
    t.SetStream(2, "<< >>", bytes);
    t.Set(3, "<< /Type /FontDescriptor /Flags 32 /FontFile2 @2 >>");
    t.Set(1, "<< /Type /Font /Subtype /TrueType /BaseFont /DejaVuSans /Encoding /WinAnsiEncoding /FontDescriptor @3 >>");
    auto f = PDF::Font::Create(t.Get(1));
    EXPECT_EQ(f->GlyphId({0xE9, 1, 0xE9}), static_cast<long>(g));

    // Glyphs appended as copies (of é, and without outline), each at its own width; a copy
    // of a glyph the program lacks cannot be made.
    auto grown = PDF::SubstituteProgram::WithGlyphCopies(Common::ToBytes(bytes), {{g, 300}, {std::nullopt, 0}});
    ASSERT_TRUE(grown);
    auto q = PDF::FontProgram::Open(*grown);
    ASSERT_NE(q, nullptr);
    auto n = static_cast<unsigned>(p->GlyphCount());
    EXPECT_EQ(q->GlyphCount(), p->GlyphCount() + 2);
    EXPECT_EQ(q->GlyphByCMap(3, 1, 0x00E9), g);
    EXPECT_NEAR(q->Advance(n) * 1000.0 / q->UnitsPerEm(), 300, 1);
    EXPECT_EQ(q->Advance(n + 1), 0);
    EXPECT_EQ(q->Advance(g), p->Advance(g));
    EXPECT_EQ(q->GlyphName(n), p->GlyphName(g));
    EXPECT_FALSE(PDF::SubstituteProgram::WithGlyphCopies(Common::ToBytes(bytes), {{n + 5, 300}}));

    // A program of empty glyphs keeps its glyf table when a copy is added, which some
    // readers cannot open a TrueType program without.
    auto blank = PDF::SubstituteProgram::WithGlyphCopies(Common::ToBytes(qvx::Test::MakeTrueType({.empty_glyphs = true})), {{0, 300}});
    ASSERT_TRUE(blank);
    auto opened = PDF::FontProgram::Open(*blank);
    ASSERT_NE(opened, nullptr);
    EXPECT_FALSE(opened->SFNTTable("glyf").empty());
    EXPECT_EQ(opened->GlyphCount(), 4u);
}

TEST(FontProgram, CompositeGlyphsStayWhereTheirComponentPutThem)
{
    if (!std::filesystem::exists(kTrueType)) GTEST_SKIP() << "no DejaVu fonts";
    std::string bytes = Slurp(kTrueType);
    auto p = PDF::FontProgram::Open(Common::ToBytes(bytes));
    ASSERT_TRUE(p);
    unsigned a = p->GlyphByCMap(3, 1, 'A'), adieresis = p->GlyphByCMap(3, 1, 0xC4), agrave = p->GlyphByCMap(3, 1, 0xC0);
    constexpr unsigned kUseMyMetrics = 0x200;
    std::size_t hmtx = TableAt(bytes, "hmtx");
    auto x_min = [](const std::string& ttf, unsigned g) { return S16(ttf, GlyphAt(ttf, g) + 2); };
    auto lsb = [](const std::string& ttf, unsigned g) { return S16(ttf, TableAt(ttf, "hmtx") + 4 * g + 2); };
    // Both are composites whose first component, A, lends them its metrics; their own are
    // made to disagree with A's, which readers ignore while the component lends its own.
    for (unsigned g : {adieresis, agrave}) {
        ASSERT_LT(S16(bytes, GlyphAt(bytes, g)), 0);
        ASSERT_EQ(U16(bytes, GlyphAt(bytes, g) + 12), a);
        ASSERT_TRUE(U16(bytes, GlyphAt(bytes, g) + 10) & kUseMyMetrics);
        Put16(bytes, hmtx + 4 * g, 1000);
        Put16(bytes, hmtx + 4 * g + 2, static_cast<unsigned>(x_min(bytes, g) + 50));
    }
    // With an advance set for À, no composite borrows metrics any more: each has the left
    // side bearing that keeps its outline where A's origin put it, and Ä, given no advance,
    // keeps A's.
    auto fixed = PDF::SubstituteProgram::WithAdvances(Common::ToBytes(bytes), {{agrave, 600}});
    ASSERT_TRUE(fixed);
    std::string out(fixed->begin(), fixed->end());
    auto q = PDF::FontProgram::Open(*fixed);
    ASSERT_TRUE(q);
    int a_origin = x_min(bytes, a) - lsb(bytes, a);
    for (unsigned g : {adieresis, agrave}) {
        EXPECT_FALSE(U16(out, GlyphAt(out, g) + 10) & kUseMyMetrics);
        EXPECT_EQ(lsb(out, g), x_min(out, g) - a_origin);
    }
    EXPECT_EQ(q->Advance(adieresis), p->Advance(a));
    EXPECT_NEAR(q->Advance(agrave) * 1000.0 / q->UnitsPerEm(), 600, 1);
    // A copy of Ä is placed as Ä was, at its own width.
    auto grown = PDF::SubstituteProgram::WithGlyphCopies(Common::ToBytes(bytes), {{adieresis, 300}});
    ASSERT_TRUE(grown);
    std::string copied(grown->begin(), grown->end());
    auto n = static_cast<unsigned>(p->GlyphCount());
    EXPECT_FALSE(U16(copied, GlyphAt(copied, n) + 10) & kUseMyMetrics);
    EXPECT_EQ(lsb(copied, n), x_min(copied, n) - a_origin);
    EXPECT_EQ(lsb(copied, adieresis), lsb(bytes, adieresis));
}

TEST(FontProgram, TrueTypeGlyphsThroughTheTablesAFontHas)
{
    if (!std::filesystem::exists(kTrueType)) GTEST_SKIP() << "no DejaVu fonts";
    std::string bytes = Slurp(kTrueType);
    auto glyph = [](const std::string& program, const std::string& font, std::uint32_t code,
                    PDF::Font::GlyphLookup lookup = PDF::Font::e_as_viewers) {
        TestDoc t;
        t.SetStream(2, "<< >>", program);
        t.Set(1, "<< /Type /Font /Subtype /TrueType /BaseFont /DejaVuSans " + font + " >>");
        return PDF::Font::Create(t.Get(1))->GlyphId({code, 1, code}, lookup);
    };
    auto p = PDF::FontProgram::Open(Common::ToBytes(bytes));
    ASSERT_TRUE(p);
    long eacute = p->GlyphByCMap(3, 1, 0xE9), a = p->GlyphByCMap(3, 1, 'A');
    // Its Windows tables renamed to the Unicode platform: as viewers look, a non-symbolic font
    // finds é through them, not through the Mac table by the code (where 0xE9 is another
    // letter, which is all the font rules accept).
    std::string unicode = Retabled(bytes, {{{3, 1}, {0, 5}}, {{3, 10}, {0, 6}}});
    const std::string winansi = "/Encoding /WinAnsiEncoding /FontDescriptor << /Flags 32 /FontFile2 @2 >>";
    EXPECT_EQ(glyph(unicode, winansi, 0xE9), eacute);
    EXPECT_NE(glyph(unicode, winansi, 0xE9, PDF::Font::e_standard_maps), eacute);
    // A variant's name finds the variant, not the glyph of the character it stands for.
    std::string variant = "/Encoding << /Differences [65 /uni02E5.5] >> /FontDescriptor << /Flags 32 /FontFile2 @2 >>";
    EXPECT_EQ(glyph(bytes, variant, 'A'), static_cast<long>(p->GlyphByName("uni02E5.5")));
    EXPECT_NE(p->GlyphByName("uni02E5.5"), p->GlyphByCMap(3, 1, 0x02E5));
    // Without its Mac table, a symbolic font with neither names nor a (3,0) table: viewers
    // take the code itself through the Windows Unicode table; the font rules find no glyph.
    std::string windows = Retabled(bytes, {{{1, 0}, {1, 99}}});
    const std::string symbolic = "/Encoding /Identity-H /FontDescriptor << /Flags 4 /FontFile2 @2 >>";
    EXPECT_EQ(glyph(windows, symbolic, 'A'), a);
    EXPECT_EQ(glyph(windows, symbolic, 'A', PDF::Font::e_standard_maps), 0);
}

TEST(FontProgram, Type1AdvancesAndBadPrograms)
{
    if (!std::filesystem::exists(kType1)) GTEST_SKIP() << "fonts-urw-base35 is not installed";
    std::string bytes = Slurp(kType1);
    Common::Bytes data = Common::ToBytes(bytes);
    auto lengths = PDF::Type1Program::ProgramLengths(data);
    // The clear part ends with "eexec" and its end of line; the tail is the zeros and cleartomark.
    std::string clear = bytes.substr(0, lengths.clear);
    while (!clear.empty() && (clear.back() == '\r' || clear.back() == '\n')) clear.pop_back();
    EXPECT_TRUE(clear.ends_with("eexec"));
    EXPECT_NE(bytes.substr(bytes.size() - lengths.tail).find("cleartomark"), std::string::npos);
    auto fixed = PDF::Type1Program::WithAdvances(data, {{"A", 700}, {"quoteright", -5}});
    ASSERT_TRUE(fixed);
    EXPECT_EQ(fixed->lengths.clear, lengths.clear);
    EXPECT_EQ(fixed->lengths.tail, lengths.tail);
    auto p = PDF::FontProgram::Open(fixed->data);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Advance(p->GlyphByName("A")), 700);
    EXPECT_EQ(p->Advance(p->GlyphByName("quoteright")), -5);
    EXPECT_EQ(p->Advance(p->GlyphByName("B")), 667);

    // Copies of .notdef under new names, each with its own width; the program keeps its
    // glyphs. A copy of a glyph the program lacks, or under a name it has, cannot be made.
    auto grown = PDF::Type1Program::WithAdvances(data, {}, {{"notdef.c1", {".notdef", 0}}, {"uni0020", {".notdef", 250}}});
    ASSERT_TRUE(grown);
    auto g = PDF::FontProgram::Open(grown->data);
    ASSERT_NE(g, nullptr);
    auto original = PDF::FontProgram::Open(data);
    EXPECT_EQ(g->GlyphCount(), original->GlyphCount() + 2);
    ASSERT_NE(g->GlyphByName("notdef.c1"), 0u);
    EXPECT_EQ(g->Advance(g->GlyphByName("notdef.c1")), 0);
    EXPECT_EQ(g->Advance(g->GlyphByName("uni0020")), 250);
    EXPECT_EQ(g->Advance(g->GlyphByName("A")), 667);
    EXPECT_FALSE(PDF::Type1Program::WithAdvances(data, {}, {{"x1", {"nosuchglyph", 0}}}));
    EXPECT_FALSE(PDF::Type1Program::WithAdvances(data, {}, {{"A", {".notdef", 0}}}));

    // Not a Type 1 program, no glyph of the names asked for: nothing to give back.
    EXPECT_FALSE(PDF::Type1Program::WithAdvances(Common::ToBytes("not a font"), {{"A", 1}}));
    EXPECT_FALSE(PDF::Type1Program::WithAdvances(data, {{"nosuchglyph", 1}}));
    // A program cut short anywhere is read without fault (the caller opens what comes back
    // before it writes it: a cut program may not open).
    for (std::size_t cut = 1; cut < data.size(); cut += 1237)
        PDF::Type1Program::WithAdvances(Common::ByteView(data).first(cut), {{"A", 700}});
}

// Damage FreeType reads past but other readers stop at: the program does not open.
TEST(FontProgram, DamagedProgramsFreeTypePassesOver)
{
    using qvx::Test::MakeTrueType;
    auto opens = [](const std::string& bytes) { return PDF::FontProgram::Open(Common::ToBytes(bytes)) != nullptr; };
    auto sound = PDF::FontProgram::Open(Common::ToBytes(MakeTrueType()));
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(sound->GlyphCount(), 3);
    EXPECT_EQ(sound->Advance(2), 500);
    EXPECT_FALSE(opens(MakeTrueType({.component = 2})));             // a composite glyph drawing itself
    EXPECT_FALSE(opens(MakeTrueType({.short_maxp = true})));         // the maxp of CFF outlines
    EXPECT_FALSE(opens(MakeTrueType({.loca_format = 2})));

    // A Type 1 charstring whose stated length runs past its body: the word that closes the
    // entry is not where the length puts it.
    if (!std::filesystem::exists(kType1)) GTEST_SKIP() << "fonts-urw-base35 is not installed";
    std::string bytes = Slurp(kType1);
    EXPECT_FALSE(PDF::Type1Program::HasDamagedEntries(Common::ToBytes(bytes)));
    auto lengths = PDF::Type1Program::ProgramLengths(Common::ToBytes(bytes));
    auto crypt = [](const std::string& in, bool encrypt) {
        std::string out(in.size(), '\0');
        std::uint16_t r = 55665;
        for (std::size_t i = 0; i < in.size(); ++i) {
            out[i] = static_cast<char>(static_cast<unsigned char>(in[i]) ^ (r >> 8));
            unsigned cipher = static_cast<unsigned char>(encrypt ? out[i] : in[i]);
            r = static_cast<std::uint16_t>((cipher + r) * 52845u + 22719u);
        }
        return out;
    };
    std::string priv = crypt(bytes.substr(lengths.clear, lengths.encrypted), false);
    std::size_t entry = priv.find("/A ");
    ASSERT_NE(entry, std::string::npos);
    std::size_t len_at = entry + 3, len_end = priv.find(' ', len_at);
    int length = std::stoi(priv.substr(len_at, len_end - len_at));
    auto with_length = [&](int n) {
        std::string p = priv;
        p.replace(len_at, len_end - len_at, std::to_string(n));
        return bytes.substr(0, lengths.clear) + crypt(p, true) + bytes.substr(lengths.clear + lengths.encrypted);
    };
    EXPECT_FALSE(PDF::Type1Program::HasDamagedEntries(Common::ToBytes(with_length(length))));
    EXPECT_TRUE(opens(with_length(length)));
    EXPECT_TRUE(PDF::Type1Program::HasDamagedEntries(Common::ToBytes(with_length(length + 3))));
    EXPECT_FALSE(opens(with_length(length + 3)));
    EXPECT_TRUE(PDF::Type1Program::HasDamagedEntries(Common::ToBytes(with_length(1 << 30))));
}
