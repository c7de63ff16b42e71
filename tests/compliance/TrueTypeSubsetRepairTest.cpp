// Conversion of TrueType subsets as other tools leave them: Ghostscript's symbolic subsets,
// with neither Encoding nor ToUnicode, glyphs without names (post format 3) and a cmap that
// leaves out the space; and CIDFonts whose equal CIDSets a tool merged into one stream.
#include <cstring>

#include "tests/compliance/FontReplacementSupport.h"

using namespace qvx::Test::FontReplacement;

namespace {

// The program with its post table turned into format 3, which names no glyph.
std::string WithoutGlyphNames(std::string program)
{
    auto u16 = [&](std::size_t at) { return (static_cast<unsigned char>(program[at]) << 8) | static_cast<unsigned char>(program[at + 1]); };
    auto u32 = [&](std::size_t at) { return (static_cast<std::uint32_t>(u16(at)) << 16) | u16(at + 2); };
    for (unsigned i = 0, n = u16(4); i < n; ++i) {
        std::size_t entry = 12 + 16 * i;
        if (program.compare(entry, 4, "post") == 0) {
            std::memcpy(&program[u32(entry + 8)], "\x00\x03\x00\x00", 4);
            return program;
        }
    }
    ADD_FAILURE() << "no post table";
    return program;
}

}  // namespace

TEST(TrueTypeSubsetRepair, SpaceWithoutGlyphInASymbolicSubsetReadByCode)
{
    const char* const kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    REQUIRE_FONT(kDejaVu);
    std::string dejavu = qvx::Test::ReadFile(kDejaVu);
    auto p = qvx::PDF::FontProgram::Open(qvx::Test::ToBytes(dejavu));
    ASSERT_NE(p, nullptr);
    unsigned gid_a = p->GlyphByCMap(3, 1, 'A');
    auto symbol = qvx::PDF::SubstituteProgram::WithSymbolCMap(qvx::Test::ToBytes(dejavu), {{'A', gid_a}});
    ASSERT_TRUE(symbol);
    std::string program = WithoutGlyphNames(std::string(symbol->begin(), symbol->end()));
    long width_a = std::lround(p->Advance(gid_a) * 1000.0 / p->UnitsPerEm());
    std::string widths = "[318";
    for (int code = 33; code < 'A'; ++code) widths += " 0";
    widths += " " + std::to_string(width_a) + "]";

    // "A A": the space reaches no glyph (353), and nothing tells its text but its code. The
    // space gets a glyph of its width through the (3,0) subtable, drawn as the .notdef that
    // readers drew, and the text and its look stay as they were.
    PdfBuilder b = Page(k2B, "BT /F1 20 Tf 10 100 Td (A A) Tj ET");
    b.Set(10, "<</Type/Font/Subtype/TrueType/BaseFont/ABCDEF+DejaVuSans/FirstChar 32/LastChar 65/Widths" + widths +
                  "/FontDescriptor 11 0 R>>");
    b.Set(11, "<</Type/FontDescriptor/FontName/ABCDEF+DejaVuSans/Flags 4/FontBBox[0 0 1000 1000]/ItalicAngle 0"
              "/Ascent 800/Descent -200/CapHeight 700/StemV 80/FontFile2 12 0 R>>");
    b.SetStream(12, "", program);
    auto c = Convert(b.Build(), k2B);
    EXPECT_EQ(c->first, "353(10)");
    EXPECT_EQ(c->again, "");
    EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));
    EXPECT_TRUE(SameLook(c->in, c->out));
    CopyReader copy(c->out);
    EXPECT_EQ(qvx::PDF::FindIn(copy.Get(10), "Encoding"), nullptr);
    auto fixed = qvx::PDF::FontProgram::Open(qvx::Test::ToBytes(CopyReader::Decoded(copy.Get(11), "FontFile2")));
    ASSERT_NE(fixed, nullptr);
    unsigned space = fixed->GlyphByCMap(3, 0, 0xF020);
    ASSERT_NE(space, 0u);
    EXPECT_EQ(std::lround(fixed->Advance(space) * 1000.0 / fixed->UnitsPerEm()), 318);
}

TEST(TrueTypeSubsetRepair, MergedCIDSetsRepairedEachForItsFont)
{
    const char* const kFonts[] = {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                                  "/usr/share/fonts/truetype/dejavu/DejaVuSans-ExtraLight.ttf"};
    for (const char* f : kFonts) REQUIRE_FONT(f);
    // Two Identity CIDFonts of different programs hold one CIDSet stream (object 30) that
    // lists CID 0 alone: incomplete for both (356). Each gets the CIDSet of its own program.
    PdfBuilder b = CleanFile(k2B);
    b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Resources<</Font<</F1 10 0 R/F2 20 0 R>>" + kGray +
                 ">>/Contents 4 0 R>>");
    b.SetStream(4, "", "BT /F1 20 Tf 10 100 Td <0024> Tj /F2 20 Tf <0025> Tj ET");
    std::vector<std::unique_ptr<qvx::PDF::FontProgram>> programs;
    for (int i = 0; i < 2; ++i) {
        int n = 10 * (i + 1);
        auto on = [&](int k) { return std::to_string(n + k) + " 0 R"; };
        std::string data = qvx::Test::ReadFile(kFonts[i]);
        programs.push_back(qvx::PDF::FontProgram::Open(qvx::Test::ToBytes(data)));
        b.Set(n, "<</Type/Font/Subtype/Type0/BaseFont/ABCDEF+F" + std::to_string(i) + "/Encoding/Identity-H/DescendantFonts[" +
                     on(3) + "]>>");
        b.Set(n + 3, "<</Type/Font/Subtype/CIDFontType2/BaseFont/ABCDEF+F" + std::to_string(i) +
                         "/CIDSystemInfo<</Registry(Adobe)/Ordering(Identity)/Supplement 0>>/CIDToGIDMap/Identity"
                         "/DW 600/FontDescriptor " + on(1) + ">>");
        b.Set(n + 1, "<</Type/FontDescriptor/FontName/ABCDEF+F" + std::to_string(i) +
                         "/Flags 4/FontBBox[0 0 1000 1000]/ItalicAngle 0/Ascent 800/Descent -200/CapHeight 700"
                         "/StemV 80/CIDSet 30 0 R/FontFile2 " + on(2) + ">>");
        b.SetStream(n + 2, "", data);
    }
    b.SetStream(30, "", std::string(1, static_cast<char>(0x80)));
    auto c = Convert(b.Build(), k2B);
    EXPECT_EQ(c->first, "356(11 21) 361(10 20)");
    EXPECT_EQ(c->again, "");
    CopyReader copy(c->out);
    for (int i = 0; i < 2; ++i) {
        std::string bits = CopyReader::Decoded(copy.Get(10 * (i + 1) + 1), "CIDSet");
        long glyphs = programs[i]->GlyphCount();
        ASSERT_EQ(static_cast<long>(bits.size()), (glyphs + 7) / 8) << i;
        EXPECT_NE(bits.back() & (0x80 >> ((glyphs - 1) % 8)), 0) << i;
    }
}
