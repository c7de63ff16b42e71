#pragma once
// Conversion of fonts in tests: pages that show a font, conversion with revalidation, and
// readers of the converted copy shared by the font replacement and font repair tests.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

#include "pdf/CMap.h"
#include "pdf/FontConfig.h"
#include "pdf/FontProgram.h"
#include "pdf/GlyphList.h"
#include "pdf/ObjUtil.h"
#include "pdf/StreamData.h"
#include "pdf/SubstituteProgram.h"
#include "sdf/Obj.h"
#include "tests/compliance/ComplianceTestSupport.h"
#include "tests/compliance/Levels.h"
#include "tests/support/TestEnv.h"

// The tests take every name of this namespace, these included.
namespace qvx::Test::FontReplacement {

using qvx::Test::CleanFile;
using qvx::Test::Findings;
using qvx::Test::PdfBuilder;
using qvx::Test::k1B, qvx::Test::k2B, qvx::Test::k2U, qvx::Test::k4;
using qvx::SDF::Obj;

const char* const kLiberation = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
const char* const kLiberationBold = "/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf";
const char* const kLiberationSerif = "/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf";
const char* const kDejaVuSerif = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf";
const char* const kNimbusSans = "/usr/share/fonts/type1/urw-base35/NimbusSans-Regular.t1";
const char* const kNimbusSansOTF = "/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf";
const char* const kDejaVuSansBold = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
const char* const kDroid = "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf";
const char* const kCarlito = "/usr/share/fonts/truetype/crosextra/Carlito-Regular.ttf";
const char* const kCaladea = "/usr/share/fonts/truetype/crosextra/Caladea-Regular.ttf";

#define REQUIRE_FONT(path) \
    if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " not installed"

const std::string kGray = "/ColorSpace<</DefaultGray[/CalGray<</WhitePoint[0.9505 1 1.089]>>]>>";

// A system font program with a glyph of one character that the glyph list has no name for
// (Differences naming it cannot become names of the list); unlisted is empty when there is
// none.
struct UnlistedGlyph {
    std::string bytes;
    std::unique_ptr<qvx::PDF::FontProgram> program;
    std::string unlisted;
    unsigned gid = 0;

    explicit UnlistedGlyph(const char* path)
        : bytes(qvx::Test::ReadFile(path)), program(qvx::PDF::FontProgram::Open(qvx::Common::Bytes(bytes.begin(), bytes.end())))
    {
        for (unsigned g = 1; program && g < static_cast<unsigned>(program->GlyphCount()) && unlisted.empty(); ++g) {
            std::string name = program->GlyphName(g);
            std::u32string u = qvx::PDF::GlyphList::ToUnicode(name);
            if (u.size() == 1 && !qvx::PDF::GlyphList::IsListed(name) && qvx::PDF::GlyphList::NameFor(u[0]).empty()) {
                unlisted = name;
                gid = g;
            }
        }
    }
    // The advance of glyph g in thousandths of an em, as a Widths entry.
    std::string Width(unsigned g) const
    {
        return std::to_string(std::lround(program->Advance(g) * 1000.0 / program->UnitsPerEm()));
    }
};

// The page shows `content` with font F1 = object 10; objects 11 and up are the caller's.
inline PdfBuilder Page(int level, const std::string& content)
{
    PdfBuilder b = CleanFile(level);
    b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Resources<</Font<</F1 10 0 R>>" + kGray +
                 ">>/Contents 4 0 R>>");
    b.SetStream(4, "", content);
    return b;
}

// Arial's widths for the codes 32 to 126 (space to tilde) in thousandths of an em.
inline std::string ArialWidths()
{
    static const int w[] = {278, 278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333, 278, 278, 556, 556, 556,
                            556, 556, 556, 556, 556, 556, 556, 278, 278, 584, 584, 584, 556, 1015, 667, 667, 722, 722, 667,
                            611, 778, 722, 278, 500, 667, 556, 833, 722, 778, 667, 778, 722, 667, 611, 722, 667, 944, 667,
                            667, 611, 278, 278, 278, 469, 556, 333, 556, 556, 500, 556, 556, 278, 556, 556, 222, 222, 500,
                            222, 833, 556, 556, 556, 556, 333, 500, 278, 556, 500, 722, 500, 500, 500, 334, 260, 334, 584};
    std::string s = "[";
    for (int v : w) s += std::to_string(v) + " ";
    return s + "]";
}

// Object 10 as an unembedded TrueType Arial with Arial's widths, its descriptor object 11
// (descriptor_extra: more entries, a program for one).
inline void SetArial(PdfBuilder& b, const std::string& descriptor_extra = "")
{
    b.Set(10, "<</Type/Font/Subtype/TrueType/BaseFont/Arial/FirstChar 32/LastChar 126/Widths " + ArialWidths() +
                  "/Encoding/WinAnsiEncoding/FontDescriptor 11 0 R>>");
    b.Set(11, "<</Type/FontDescriptor/FontName/Arial/Flags 32/FontBBox[-665 -325 2000 1006]/ItalicAngle 0"
              "/Ascent 905/Descent -212/CapHeight 716/StemV 80" + descriptor_extra + ">>");
}

struct Converted {
    qvx::Test::TempDir dir;
    std::filesystem::path in, out;
    std::string first, again;  // findings of the conversion and of the copy's revalidation
};

inline std::unique_ptr<Converted> Convert(const std::string& pdf, int level)
{
    auto c = std::make_unique<Converted>();
    c->in = c->dir.Write("in.pdf", pdf);
    c->out = c->dir.Path() / "out.pdf";
    {
        qvx::PDF::PDFACompliance run(true, qvx::Test::ToBytes(pdf), nullptr, level, nullptr, 0, 0, false);
        c->first = Findings(run);
        run.SaveAs(qvx::Common::UString::FromFileName(c->out.string()), false);
    }
    qvx::PDF::PDFACompliance again(false, qvx::Common::UString::FromFileName(c->out.string()), nullptr, level,
                                   nullptr, 0, 0, false);
    c->again = Findings(again);
    return c;
}

// Object num of the converted copy, and the decoded bytes of stream `key` in dictionary d.
struct CopyReader {
    qvx::PDF::PDFACompliance run;
    explicit CopyReader(const std::filesystem::path& p)
        : run(false, qvx::Common::UString::FromFileName(p.string()), nullptr, k2B, nullptr, 0, 0, false)
    {
    }
    Obj* Get(std::uint32_t num) { return run.GetDoc().GetObj(num)->Resolve(); }
    static std::string Text(Obj* d, const char* key)
    {
        Obj* s = qvx::PDF::FindIn(d, key);
        return s && s->IsString() ? std::string(qvx::Common::AsChars(s->GetBuffer())) : std::string();
    }
    static std::string Decoded(Obj* d, const char* key)
    {
        auto data = qvx::PDF::ReadDecoded(qvx::PDF::FindStream(d, key), 64u << 20);
        return data ? std::string(data->begin(), data->end()) : std::string();
    }
};

// The words of pdftotext -bbox with their boxes, one per line.
inline std::string WordBoxes(const std::filesystem::path& pdf)
{
    auto r = qvx::Test::Run({"/usr/bin/pdftotext", "-bbox", pdf.string(), "-"});
    std::string out;
    std::regex word(R"re(<word xMin="([^"]+)" yMin="([^"]+)" xMax="([^"]+)" yMax="([^"]+)">([^<]*)</word>)re");
    for (auto it = std::sregex_iterator(r.output.begin(), r.output.end(), word); it != std::sregex_iterator(); ++it)
        out += (*it)[5].str() + " " + (*it)[1].str() + " " + (*it)[3].str() + "\n";
    return out;
}

// A conversion that repairs the widths rule (361) of font 10 alone: the copy passes, the
// text stays, and the first width is still 700.
inline void ExpectAdvancesRepaired(const Converted& c)
{
    EXPECT_EQ(c.first, "361(10)");
    EXPECT_EQ(c.again, "");
    EXPECT_EQ(WordBoxes(c.out), WordBoxes(c.in));
    CopyReader copy(c.out);
    EXPECT_EQ(qvx::PDF::NumberAt(qvx::PDF::FindArray(copy.Get(10), "Widths"), 0, 0), 700);
}

// A program as the converted copy files it: the stream's Subtype and Length1, and its bytes.
struct FiledProgram {
    std::string subtype, data;
    double length1 = 0;
};

// A file whose one finding (first, also in its conversion) is the font 10's program, which
// conversion repairs: the copy passes with its text where it was, and descriptor 11 holds the
// program under key in object 12, returned.
inline FiledProgram ExpectProgramRepaired(const std::string& pdf, int level, const std::string& first, const char* key)
{
    EXPECT_EQ(Findings(pdf, level), first);
    auto c = Convert(pdf, level);
    EXPECT_EQ(c->first, first);
    EXPECT_EQ(c->again, "");
    EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));
    CopyReader copy(c->out);
    Obj* descriptor = copy.Get(11);
    Obj* stream = qvx::PDF::FindStream(descriptor, key);
    if (!stream) {
        ADD_FAILURE() << key << " missing";
        return {};
    }
    EXPECT_EQ(descriptor->FindObj(key)->GetObjNum(), 12u);
    return {std::string(qvx::PDF::FindName(stream, "Subtype")), CopyReader::Decoded(descriptor, key),
            qvx::PDF::FindNumber(stream, "Length1", 0)};
}

inline bool PdffontsAllEmbedded(const std::filesystem::path& pdf)
{
    auto r = qvx::Test::Run({"/usr/bin/pdffonts", pdf.string()});
    std::istringstream lines(r.output);
    std::string line;
    int fonts = 0, embedded = 0;
    for (int n = 0; std::getline(lines, line); ++n) {
        if (n < 2 || line.size() < 60) continue;
        ++fonts;
        embedded += line.find(" yes ") != std::string::npos;
    }
    return fonts > 0 && fonts == embedded;
}

// A conversion whose findings were first, that embeds every font, and whose copy passes.
inline void ExpectAllEmbedded(const Converted& c, const std::string& first)
{
    EXPECT_EQ(c.first, first);
    EXPECT_EQ(c.again, "");
    EXPECT_TRUE(PdffontsAllEmbedded(c.out));
}

// A name table entry of a program (UTF-16BE in the Windows records): whether text is in it.
inline bool ProgramNames(const std::string& program, const std::string& text)
{
    std::string wide;
    for (char ch : text) wide += std::string(1, '\0') + ch;
    return program.find(wide) != std::string::npos || program.find(text) != std::string::npos;
}

// The right edge of the widest glyph of a TrueType program (head xMax), in thousandths of an em.
inline double ProgramXMax(const std::string& program)
{
    auto u16 = [&](std::size_t at) { return at + 2 <= program.size() ? (static_cast<unsigned char>(program[at]) << 8) | static_cast<unsigned char>(program[at + 1]) : 0; };
    for (std::size_t i = 0, n = u16(4); i < n; ++i) {
        std::size_t rec = 12 + 16 * i;
        if (program.compare(rec, 4, "head") != 0) continue;
        std::size_t head = (static_cast<std::size_t>(u16(rec + 8)) << 16) | u16(rec + 10);
        return static_cast<std::int16_t>(u16(head + 40)) * 1000.0 / std::max(1, u16(head + 18));
    }
    return 0;
}

inline std::string HexOf(const std::string& bytes)
{
    std::string out;
    char buf[3];
    for (unsigned char b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        out += buf;
    }
    return out;
}

// An unembedded Type 0 font (object font, Encoding encoding) over a CIDFontType2 of the
// Identity collection (object cid_font, with the entries extra) named base, whose
// descriptor is object descriptor (with the entries program).
inline void PutIdentityTrueType(PdfBuilder& b, std::array<int, 3> font_cid_font_descriptor, const std::string& base,
                         const std::string& encoding, const std::string& extra, const std::string& program = "")
{
    auto [font, cid_font, descriptor] = font_cid_font_descriptor;
    auto ref = [](int num) { return std::to_string(num) + " 0 R"; };
    b.Set(font, "<</Type/Font/Subtype/Type0/BaseFont/" + base + "/Encoding" + encoding + "/DescendantFonts[" +
                    ref(cid_font) + "]>>");
    b.Set(cid_font, "<</Type/Font/Subtype/CIDFontType2/BaseFont/" + base +
                        "/CIDSystemInfo<</Registry(Adobe)/Ordering(Identity)/Supplement 0>>/FontDescriptor " +
                        ref(descriptor) + extra + ">>");
    b.Set(descriptor, "<</Type/FontDescriptor/FontName/" + base +
                          "/Flags 32/FontBBox[-665 -325 2000 1006]/ItalicAngle 0/Ascent 905/Descent -212"
                          "/CapHeight 716/StemV 80" + program + ">>");
}

// Whether pdftoppm draws page 1 of both files alike, pixel for pixel.
inline bool SameLook(const std::filesystem::path& a, const std::filesystem::path& b)
{
    qvx::Test::TempDir dir;
    std::string drawn[2];
    for (int i = 0; i < 2; ++i) {
        std::string prefix = (dir.Path() / ("p" + std::to_string(i))).string();
        qvx::Test::Run({"/usr/bin/pdftoppm", "-gray", "-r", "50", "-f", "1", "-l", "1", "-singlefile",
                        (i ? b : a).string(), prefix});
        drawn[i] = qvx::Test::ReadFile(prefix + ".pgm");
    }
    return !drawn[0].empty() && drawn[0] == drawn[1];
}

// The program of font num's descendant (object desc) in a converted copy.
inline std::unique_ptr<qvx::PDF::FontProgram> DescendantProgram(CopyReader& copy, std::uint32_t desc)
{
    std::string data = CopyReader::Decoded(qvx::PDF::FindDict(copy.Get(desc), "FontDescriptor"), "FontFile2");
    return qvx::PDF::FontProgram::Open(qvx::Common::Bytes(data.begin(), data.end()));
}

// A conversion whose findings were first, that embeds every font, whose copy passes with
// the text where it was and looks as reference does, and in which the Identity-H font 10
// keeps its CIDs as glyph numbers of its descendant's (object 12) program, returned.
inline std::unique_ptr<qvx::PDF::FontProgram> ExpectGlyphNumbersKept(const Converted& c, const std::string& first,
                                                              const std::filesystem::path& reference)
{
    ExpectAllEmbedded(c, first);
    EXPECT_EQ(WordBoxes(c.out), WordBoxes(c.in));
    EXPECT_TRUE(SameLook(reference, c.out));
    CopyReader copy(c.out);
    EXPECT_EQ(qvx::PDF::FindName(copy.Get(12), "CIDToGIDMap"), "Identity");
    return DescendantProgram(copy, 12);
}

// An unembedded CIDFontType0 (object 12, descriptor 11) under Type 0 font 10 with
// Identity-H, showing the CIDs of hex.
inline std::string CIDFontPage(int level, const std::string& hex, const std::string& registry, const std::string& ordering)
{
    PdfBuilder b = Page(level, "BT /F1 20 Tf 10 100 Td <" + hex + "> Tj ET");
    b.Set(10, "<</Type/Font/Subtype/Type0/BaseFont/MS-Mincho/Encoding/Identity-H/DescendantFonts[12 0 R]>>");
    b.Set(12, "<</Type/Font/Subtype/CIDFontType0/BaseFont/MS-Mincho/CIDSystemInfo<</Registry(" + registry +
                  ")/Ordering(" + ordering + ")/Supplement 2>>/FontDescriptor 11 0 R/DW 1000>>");
    b.Set(11, "<</Type/FontDescriptor/FontName/MS-Mincho/Flags 6/FontBBox[0 -141 1000 859]/ItalicAngle 0"
              "/Ascent 859/Descent -141/CapHeight 700/StemV 80>>");
    return b.Build();
}

}  // namespace qvx::Test::FontReplacement
