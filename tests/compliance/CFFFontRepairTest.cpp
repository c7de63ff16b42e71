// Conversion of CIDFonts whose embedded program some readers cannot take: a CFF program with
// a Font DICT that has no Private DICT (damaged, mended), one with a header longer than four
// bytes (sound, written in the common form), and a CIDFontType0 whose program is filed under
// FontFile (a bare CFF program filed again as CIDFontType0C, a Type 1 program replaced).
#include "pdf/CFFProgram.h"
#include "tests/compliance/FontReplacementSupport.h"
#include "tests/support/CFFBuilder.h"

using namespace qvx::Test::FontReplacement;

namespace {

namespace CFFProgram = qvx::PDF::CFFProgram;

// Font 10, a Type 0 font with Identity-H over the CIDFontType0 object 13, showing hex (CIDs
// 1 and 2, 600 and 640 wide, unless told otherwise); descriptor 11 files program 12 under key.
PdfBuilder CIDFontFile(int level, const std::string& key, const std::string& stream_dict, const std::string& program,
                       const std::string& hex = "000100020001", const std::string& widths = "1[600 640]",
                       const std::string& font_extra = "")
{
    PdfBuilder b = Page(level, "BT /F1 20 Tf 10 100 Td <" + hex + "> Tj ET");
    b.Set(10, "<</Type/Font/Subtype/Type0/BaseFont/TestCFF/Encoding/Identity-H/DescendantFonts[13 0 R]" + font_extra + ">>");
    b.Set(13, "<</Type/Font/Subtype/CIDFontType0/BaseFont/TestCFF/CIDSystemInfo<</Registry(Adobe)/Ordering(Identity)"
              "/Supplement 0>>/FontDescriptor 11 0 R/W[" + widths + "]>>");
    b.Set(11, "<</Type/FontDescriptor/FontName/TestCFF/Flags 4/FontBBox[0 0 1000 1000]/ItalicAngle 0/Ascent 800"
              "/Descent -200/CapHeight 700/StemV 80/" + key + " 12 0 R>>");
    b.SetStream(12, stream_dict, program);
    return b;
}

// A ToUnicode CMap of two-byte codes, each (code, UTF-16 value) in hex.
std::string ToUnicode(const std::vector<std::pair<std::string, std::string>>& pairs)
{
    std::string out = "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /T def "
                      "1 begincodespacerange <0000> <FFFF> endcodespacerange " + std::to_string(pairs.size()) + " beginbfchar";
    for (const auto& [code, text] : pairs) out += " <" + code + "> <" + text + ">";
    return out + " endbfchar endcmap CMapName currentdict /CMap defineresource pop end end";
}

// The advances of CIDs 1 and 2 in a CID-keyed program.
std::pair<long, long> Advances(const std::string& program)
{
    auto p = qvx::PDF::FontProgram::Open(qvx::Common::Bytes(program.begin(), program.end()));
    if (!p || !p->IsCIDKeyed()) return {-1, -1};
    return {p->Advance(p->GlyphByCID(1)), p->Advance(p->GlyphByCID(2))};
}

}  // namespace

TEST(CFFFontRepair, DamagedStructureMendedAndLongHeaderRewritten)
{
    const std::string good = qvx::Test::MakeCFF({{"", 1, 600}, {"", 2, 640}}, true);
    const qvx::Common::Bytes good_bytes(good.begin(), good.end());
    EXPECT_TRUE(CFFProgram::IsIntact(good_bytes));
    EXPECT_FALSE(CFFProgram::HasLongHeader(good_bytes));

    // The Font DICT's Private entry (two offsets and the operator) becomes PaintType entries
    // of the same size: FreeType reads on, readers that walk the structure cannot.
    std::string no_private = good;
    const std::string private_entry = "\x12";
    std::size_t fd = no_private.rfind(private_entry);
    ASSERT_NE(fd, std::string::npos);
    no_private.replace(fd - 10, 11, std::string("\x1c\x00\x00\x0c\x05\x8b\x0c\x05\x8b\x0c\x05", 11));
    EXPECT_FALSE(CFFProgram::IsIntact(qvx::Common::Bytes(no_private.begin(), no_private.end())));
    auto mended = CFFProgram::Mended(qvx::Common::Bytes(no_private.begin(), no_private.end()));
    ASSERT_TRUE(mended);
    EXPECT_TRUE(CFFProgram::IsIntact(*mended));
    EXPECT_EQ(Advances(std::string(mended->begin(), mended->end())), std::make_pair(600L, 640L));

    // A Private DICT whose first entry holds a byte no number starts with (255) and a real
    // without digits: damaged; mended without that entry, whose value is the default.
    std::string bad_number = good;
    const std::string default_width("\x1c\x00\x00\x14", 4);
    std::size_t priv = bad_number.rfind(default_width);
    ASSERT_NE(priv, std::string::npos);
    bad_number.replace(priv, 4, std::string("\xff\x1e\xff\x06", 4));
    EXPECT_FALSE(CFFProgram::IsIntact(qvx::Common::Bytes(bad_number.begin(), bad_number.end())));
    auto cleaned = CFFProgram::Mended(qvx::Common::Bytes(bad_number.begin(), bad_number.end()));
    ASSERT_TRUE(cleaned);
    EXPECT_TRUE(CFFProgram::IsIntact(*cleaned));
    EXPECT_EQ(std::string(cleaned->begin(), cleaned->end()).find(std::string("\x1e\xff", 2)), std::string::npos);
    EXPECT_EQ(Advances(std::string(cleaned->begin(), cleaned->end())), std::make_pair(600L, 640L));

    // No font in the Name INDEX (the header grows by what the INDEX loses, so every offset
    // holds): damaged, and nothing to mend.
    const std::size_t name_index = 18;
    std::string no_name = good;
    no_name.replace(0, 4 + name_index, std::string("\1\0\x14\4", 4) + std::string(16, '\0') + std::string(2, '\0'));
    ASSERT_EQ(no_name.size(), good.size());
    EXPECT_FALSE(CFFProgram::IsIntact(qvx::Common::Bytes(no_name.begin(), no_name.end())));
    EXPECT_FALSE(CFFProgram::Mended(qvx::Common::Bytes(no_name.begin(), no_name.end())));

    // A ten-byte header before a Name INDEX with one-byte offsets: sound, yet long.
    std::string long_header = good;
    long_header.replace(0, 4 + name_index, std::string("\1\0\x0a\4", 4) + std::string(6, '\0') + std::string("\0\1\1\1\x08TestCFF", 12));
    ASSERT_EQ(long_header.size(), good.size());
    const qvx::Common::Bytes long_bytes(long_header.begin(), long_header.end());
    EXPECT_TRUE(CFFProgram::IsIntact(long_bytes));
    EXPECT_TRUE(CFFProgram::HasLongHeader(long_bytes));
    EXPECT_EQ(Advances(long_header), std::make_pair(600L, 640L));

    // A Top DICT with a real without digits (read as 0) as its UnderlinePosition, and a
    // UniqueID; the Name INDEX takes one-byte offsets to make room, so every offset holds.
    const std::size_t top_index = 4 + name_index;
    const std::size_t top_size = (static_cast<unsigned char>(good[top_index + 9]) << 8 | static_cast<unsigned char>(good[top_index + 10])) - 1;
    const std::string added("\x1e\xff\x0c\x03\x8b\x0d", 6);
    std::string empty_real = good.substr(0, 4) + std::string("\0\1\1\1\x08TestCFF", 12) + good.substr(top_index, 7) +
                             std::string("\0\0", 2) + static_cast<char>((top_size + 1 + added.size()) >> 8) +
                             static_cast<char>((top_size + 1 + added.size()) & 0xFF) + good.substr(top_index + 11, top_size) +
                             added + good.substr(top_index + 11 + top_size);
    ASSERT_EQ(empty_real.size(), good.size());
    EXPECT_TRUE(CFFProgram::IsIntact(qvx::Common::Bytes(empty_real.begin(), empty_real.end())));
    EXPECT_EQ(Advances(empty_real), std::make_pair(600L, 640L));

    // Converted: the damaged program is mended in place (321), the long header rewritten
    // without a finding; both keep their glyphs and the text where it was.
    for (int level : {k1B, k2B}) {
        SCOPED_TRACE(level);
        FiledProgram m = ExpectProgramRepaired(CIDFontFile(level, "FontFile3", "/Subtype/CIDFontType0C", no_private).Build(), level,
                                               "321(10)", "FontFile3");
        EXPECT_EQ(m.subtype, "CIDFontType0C");
        EXPECT_TRUE(CFFProgram::IsIntact(qvx::Common::Bytes(m.data.begin(), m.data.end())));
        EXPECT_EQ(Advances(m.data), std::make_pair(600L, 640L));
        FiledProgram h = ExpectProgramRepaired(CIDFontFile(level, "FontFile3", "/Subtype/CIDFontType0C", long_header).Build(), level,
                                               "", "FontFile3");
        EXPECT_FALSE(CFFProgram::HasLongHeader(qvx::Common::Bytes(h.data.begin(), h.data.end())));
        EXPECT_EQ(Advances(h.data), std::make_pair(600L, 640L));
    }
    // With no font to mend, a substitute takes the program's place, drawing what the
    // ToUnicode says.
    REQUIRE_FONT(kLiberation);
    PdfBuilder n = CIDFontFile(k1B, "FontFile3", "/Subtype/CIDFontType0C", no_name, "000100020001", "1[600 640]",
                               "/ToUnicode 14 0 R");
    n.SetStream(14, "", ToUnicode({{"0001", "0041"}, {"0002", "0042"}}));
    auto c = Convert(n.Build(), k1B);
    ExpectAllEmbedded(*c, "321(10)");
    EXPECT_NE(CopyReader::Decoded(CopyReader(c->out).Get(11), "FontFile2"), "");
}

TEST(CFFFontRepair, CIDFontProgramUnderFontFile)
{
    // A bare name-keyed CFF program under FontFile: no CIDFont takes a FontFile (341). It is
    // filed again as CIDFontType0C, CID-keyed, each CID drawing the glyph it reached by
    // number, as readers draw it.
    const std::string named = qvx::Test::MakeCFF({{"A", 0, 600}, {"B", 0, 640}}, false);
    for (int level : {k1B, k2B}) {
        SCOPED_TRACE(level);
        FiledProgram f = ExpectProgramRepaired(CIDFontFile(level, "FontFile", "", named).Build(), level, "341(10)", "FontFile3");
        EXPECT_EQ(f.subtype, "CIDFontType0C");
        EXPECT_EQ(Advances(f.data), std::make_pair(600L, 640L));
        CopyReader copy(Convert(CIDFontFile(level, "FontFile", "", named).Build(), level)->out);
        EXPECT_EQ(copy.Get(11)->FindObj("FontFile"), nullptr);
    }

    // A Type 1 program has no CID-keyed form: a substitute replaces it, drawing what the
    // glyphs the CIDs reach are named after (A and B), not what a wrong ToUnicode says.
    REQUIRE_FONT(kNimbusSans);
    REQUIRE_FONT(kLiberation);
    const std::string type1 = qvx::Test::ReadFile(kNimbusSans);
    auto program = qvx::PDF::FontProgram::Open(qvx::Common::Bytes(type1.begin(), type1.end()));
    ASSERT_NE(program, nullptr);
    const unsigned a = program->GlyphByName("A"), b = program->GlyphByName("B");
    ASSERT_TRUE(a > 0 && b > 0 && a < 0x10000 && b < 0x10000);
    char hex[32];
    std::snprintf(hex, sizeof hex, "%04X%04X%04X", a, b, a);
    const std::string cid_a(hex, 4), cid_b(hex + 4, 4);
    PdfBuilder t = CIDFontFile(k1B, "FontFile", "/Length1 " + std::to_string(type1.find("eexec") + 6), type1, hex,
                               std::to_string(a) + "[667] " + std::to_string(b) + "[667]", "/ToUnicode 14 0 R");
    t.SetStream(14, "", ToUnicode({{cid_a, "0078"}, {cid_b, "0079"}}));
    auto c = Convert(t.Build(), k1B);
    ExpectAllEmbedded(*c, "341(10)");
    CopyReader copy(c->out);
    EXPECT_EQ(qvx::PDF::FindName(copy.Get(13), "Subtype"), "CIDFontType2");
    std::string map = CopyReader::Decoded(copy.Get(13), "CIDToGIDMap");
    auto glyph = [&](unsigned cid) {
        return 2 * cid + 1 < map.size() ? (static_cast<unsigned char>(map[2 * cid]) << 8) | static_cast<unsigned char>(map[2 * cid + 1]) : 0u;
    };
    auto substitute = DescendantProgram(copy, 13);
    ASSERT_NE(substitute, nullptr);
    EXPECT_NE(glyph(a), 0u);
    EXPECT_EQ(glyph(a), substitute->GlyphByCMap(3, 1, 'A'));
    EXPECT_EQ(glyph(b), substitute->GlyphByCMap(3, 1, 'B'));
    EXPECT_NE(glyph(a), glyph(b));
}
