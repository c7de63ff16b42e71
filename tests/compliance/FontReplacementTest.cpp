// Conversion of fonts a file does not embed (or embeds damaged): a substitute program is
// chosen (configuration first, then the system's fonts), cut to the glyphs shown, its
// advances set to the file's widths, and the converted copy passes revalidation with the
// text where it was. The substitutes are the Liberation, DejaVu and Droid fonts; tests
// skip without them.
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

using qvx::Test::CleanFile;
using qvx::Test::Findings;
using qvx::Test::PdfBuilder;

namespace {

using qvx::Test::k1B, qvx::Test::k2B, qvx::Test::k2U;
using qvx::SDF::Obj;

const char* const kLiberation = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
const char* const kLiberationBold = "/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf";
const char* const kLiberationSerif = "/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf";
const char* const kDejaVuSerif = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf";
const char* const kNimbusSans = "/usr/share/fonts/type1/urw-base35/NimbusSans-Regular.t1";
const char* const kNimbusSansOTF = "/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf";
const char* const kDejaVuSansBold = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
const char* const kDroid = "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf";

#define REQUIRE_FONT(path) \
    if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " not installed"

const std::string kGray = "/ColorSpace<</DefaultGray[/CalGray<</WhitePoint[0.9505 1 1.089]>>]>>";

// The page shows `content` with font F1 = object 10; objects 11 and up are the caller's.
PdfBuilder Page(int level, const std::string& content)
{
    PdfBuilder b = CleanFile(level);
    b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Resources<</Font<</F1 10 0 R>>" + kGray +
                 ">>/Contents 4 0 R>>");
    b.SetStream(4, "", content);
    return b;
}

// Arial's widths for the codes 32 to 126 (space to tilde) in thousandths of an em.
std::string ArialWidths()
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

struct Converted {
    qvx::Test::TempDir dir;
    std::filesystem::path in, out;
    std::string first, again;  // findings of the conversion and of the copy's revalidation
};

std::unique_ptr<Converted> Convert(const std::string& pdf, int level)
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
std::string WordBoxes(const std::filesystem::path& pdf)
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
void ExpectAdvancesRepaired(const Converted& c)
{
    EXPECT_EQ(c.first, "361(10)");
    EXPECT_EQ(c.again, "");
    EXPECT_EQ(WordBoxes(c.out), WordBoxes(c.in));
    CopyReader copy(c.out);
    EXPECT_EQ(qvx::PDF::NumberAt(qvx::PDF::FindArray(copy.Get(10), "Widths"), 0, 0), 700);
}

bool PdffontsAllEmbedded(const std::filesystem::path& pdf)
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
void ExpectAllEmbedded(const Converted& c, const std::string& first)
{
    EXPECT_EQ(c.first, first);
    EXPECT_EQ(c.again, "");
    EXPECT_TRUE(PdffontsAllEmbedded(c.out));
}

// A name table entry of a program (UTF-16BE in the Windows records): whether text is in it.
bool ProgramNames(const std::string& program, const std::string& text)
{
    std::string wide;
    for (char ch : text) wide += std::string(1, '\0') + ch;
    return program.find(wide) != std::string::npos || program.find(text) != std::string::npos;
}

// The right edge of the widest glyph of a TrueType program (head xMax), in thousandths of an em.
double ProgramXMax(const std::string& program)
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

std::string HexOf(const std::string& bytes)
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
void PutIdentityTrueType(PdfBuilder& b, std::array<int, 3> font_cid_font_descriptor, const std::string& base,
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
bool SameLook(const std::filesystem::path& a, const std::filesystem::path& b)
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
std::unique_ptr<qvx::PDF::FontProgram> DescendantProgram(CopyReader& copy, std::uint32_t desc)
{
    std::string data = CopyReader::Decoded(qvx::PDF::FindDict(copy.Get(desc), "FontDescriptor"), "FontFile2");
    return qvx::PDF::FontProgram::Open(qvx::Common::Bytes(data.begin(), data.end()));
}

// A conversion whose findings were first, that embeds every font, whose copy passes with
// the text where it was and looks as reference does, and in which the Identity-H font 10
// keeps its CIDs as glyph numbers of its descendant's (object 12) program, returned.
std::unique_ptr<qvx::PDF::FontProgram> ExpectGlyphNumbersKept(const Converted& c, const std::string& first,
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
std::string CIDFontPage(int level, const std::string& hex, const std::string& registry, const std::string& ordering)
{
    PdfBuilder b = Page(level, "BT /F1 20 Tf 10 100 Td <" + hex + "> Tj ET");
    b.Set(10, "<</Type/Font/Subtype/Type0/BaseFont/MS-Mincho/Encoding/Identity-H/DescendantFonts[12 0 R]>>");
    b.Set(12, "<</Type/Font/Subtype/CIDFontType0/BaseFont/MS-Mincho/CIDSystemInfo<</Registry(" + registry +
                  ")/Ordering(" + ordering + ")/Supplement 2>>/FontDescriptor 11 0 R/DW 1000>>");
    b.Set(11, "<</Type/FontDescriptor/FontName/MS-Mincho/Flags 6/FontBBox[0 -141 1000 859]/ItalicAngle 0"
              "/Ascent 859/Descent -141/CapHeight 700/StemV 80>>");
    return b.Build();
}

}  // namespace

TEST(FontReplacement, UnembeddedArialAndVerdanaKeepTheirWidths)
{
    REQUIRE_FONT(kLiberation);
    REQUIRE_FONT(kNimbusSans);
    REQUIRE_FONT(kDejaVuSansBold);
    // Arial as TrueType with Arial's widths takes the URW Helvetica program readers draw it
    // with (its advances are those widths). Verdana as Type 1 with made-up widths that no
    // system font has becomes an embedded TrueType subset whose glyphs are squeezed to the
    // narrower widths, as readers draw it. Both keep the text where it was.
    for (const char* base : {"Arial", "Verdana,Bold"}) {
        SCOPED_TRACE(base);
        bool arial = std::string(base) == "Arial";
        PdfBuilder b = Page(k2B, "BT /F1 14 Tf 10 100 Td (Hello World) Tj 0 -20 Td (Quick brown fox) Tj ET");
        std::string widths = ArialWidths();
        if (!arial) {
            widths = "[";
            for (int i = 0; i < 95; ++i) widths += std::to_string(500 + (i * 37) % 300) + " ";
            widths += "]";
        }
        b.Set(10, std::string("<</Type/Font/Subtype/") + (arial ? "TrueType" : "Type1") + "/BaseFont/" + base +
                      "/FirstChar 32/LastChar 126/Widths " + widths +
                      "/Encoding/WinAnsiEncoding/FontDescriptor 11 0 R>>");
        b.Set(11, "<</Type/FontDescriptor/FontName/" + std::string(base) +
                      "/Flags 32/FontBBox[-665 -325 2000 1006]/ItalicAngle 0/Ascent 905/Descent -212/CapHeight 716"
                      "/StemV 80>>");
        auto c = Convert(b.Build(), k2B);
        EXPECT_EQ(c->first, "341(10)");
        EXPECT_EQ(c->again, "");
        EXPECT_TRUE(PdffontsAllEmbedded(c->out));
        std::string before = WordBoxes(c->in);
        EXPECT_NE(before, "");
        EXPECT_EQ(WordBoxes(c->out), before);

        CopyReader copy(c->out);
        Obj* font = copy.Get(10);
        if (arial) {
            EXPECT_EQ(qvx::PDF::FindName(font, "Subtype"), "Type1");
            EXPECT_TRUE(ProgramNames(CopyReader::Decoded(copy.Get(11), "FontFile"), "NimbusSans-Regular"));
            continue;
        }
        EXPECT_EQ(qvx::PDF::FindName(font, "Subtype"), "TrueType");
        EXPECT_TRUE(std::regex_match(std::string(qvx::PDF::FindName(font, "BaseFont")), std::regex("[A-Z]{6}\\+Verdana")));
        // The descriptor keeps its number and now holds the program: a subset, not the
        // whole font.
        std::string program = CopyReader::Decoded(copy.Get(11), "FontFile2");
        EXPECT_GT(program.size(), 1000u);
        EXPECT_LT(program.size(), 40000u);
        EXPECT_TRUE(ProgramNames(program, "DejaVu Sans"));
        // Squeezed by the ratio of the font's "m" (649) to DejaVu Sans Bold's (1042): so is
        // the bounding box of the program's glyphs.
        std::ifstream in(kDejaVuSansBold, std::ios::binary);
        std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_NEAR(ProgramXMax(program) / ProgramXMax(whole), 649.0 / 1042, 0.01);
    }
}

TEST(FontReplacement, StandardFontsAndZeroWidths)
{
    REQUIRE_FONT(kLiberation);
    // Courier without a descriptor whose Widths are all 0: the program's advances become 0
    // too, so the revalidation's width rule (every code shown, .notdef included) finds them
    // in agreement. Code 1 names no glyph: it shows .notdef before, and a copy of .notdef of
    // its own after, at its width.
    PdfBuilder b = Page(k2B, "BT /F1 12 Tf 10 100 Td (AB C\\001) Tj ET");
    std::string zeros = "[";
    for (int i = 0; i < 95; ++i) zeros += "0 ";
    b.Set(10, "<</Type/Font/Subtype/Type1/BaseFont/Courier/FirstChar 1/LastChar 95/Widths" + zeros + "]>>");
    auto c = Convert(b.Build(), k2B);
    EXPECT_EQ(c->first, "341(10)");
    EXPECT_EQ(c->again, "");
    EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));

    // Symbol, and Helvetica without Widths, take the URW programs readers draw them with.
    // Helvetica's code 1 names no glyph: readers give it no width, and so do the Widths
    // written, though the program's .notdef is wider: the code gets a copy of .notdef of no
    // width under a name of its own (pdftotext now passes the code through as text, a
    // control character), and the text stays put.
    PdfBuilder s = Page(k2B, "BT /F1 12 Tf 10 100 Td (abc) Tj /F2 12 Tf (Hel\\001\\001lo) Tj ET");
    s.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Resources<</Font<</F1 10 0 R/F2 11 0 R>>" + kGray +
                 ">>/Contents 4 0 R>>");
    s.Set(10, "<</Type/Font/Subtype/Type1/BaseFont/Symbol>>");
    s.Set(11, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica/Encoding/WinAnsiEncoding>>");
    auto cs = Convert(s.Build(), k2B);
    EXPECT_EQ(cs->first, "341(10 11)");
    EXPECT_EQ(cs->again, "");
    EXPECT_EQ(std::regex_replace(WordBoxes(cs->out), std::regex("\x01"), ""), WordBoxes(cs->in));
    CopyReader copy(cs->out);
    EXPECT_NE(qvx::PDF::FindStream(qvx::PDF::FindDict(copy.Get(10), "FontDescriptor"), "FontFile"), nullptr);
    EXPECT_NE(qvx::PDF::FindStream(qvx::PDF::FindDict(copy.Get(11), "FontDescriptor"), "FontFile"), nullptr);
}

TEST(FontReplacement, ListedStandardFontsWithoutText)
{
    REQUIRE_FONT(kNimbusSans);
    // Helvetica in the page's resources and Times-Roman in those of a form the page draws,
    // neither showing text, and a Courier that does: all three end embedded, the ones
    // without text too (font lists show them), and the form keeps drawing nothing.
    PdfBuilder b = Page(k2B, "BT /F1 12 Tf 10 100 Td (Hi) Tj ET /X1 Do");
    b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Resources<</Font<</F1 10 0 R/F2 11 0 R>>"
             "/XObject<</X1 12 0 R>>" + kGray + ">>/Contents 4 0 R>>");
    b.Set(10, "<</Type/Font/Subtype/Type1/BaseFont/Courier>>");
    b.Set(11, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>");
    b.SetStream(12, "/Type/XObject/Subtype/Form/BBox[0 0 10 10]/Resources<</Font<</F3 13 0 R>>>>", "");
    b.Set(13, "<</Type/Font/Subtype/Type1/BaseFont/Times-Roman/Encoding/WinAnsiEncoding>>");
    auto c = Convert(b.Build(), k2B);
    EXPECT_EQ(c->first, "341(10)");
    EXPECT_EQ(c->again, "");
    EXPECT_TRUE(PdffontsAllEmbedded(c->out));
    CopyReader copy(c->out);
    for (std::uint32_t num : {10u, 11u, 13u})
        EXPECT_NE(qvx::PDF::FindStream(qvx::PDF::FindDict(copy.Get(num), "FontDescriptor"), "FontFile"), nullptr) << num;
}

TEST(FontReplacement, CJKCIDFont)
{
    REQUIRE_FONT(kDroid);
    // An Adobe-Japan1 CIDFontType0 shown with Identity-H: CIDs of 日本語 from the collection.
    auto table = qvx::PDF::CIDToUnicode::ForCollection("Adobe-Japan1");
    if (!table) GTEST_SKIP() << "no Adobe-Japan1 table";
    std::string hex;
    for (char32_t want : {U'日', U'本', U'語'}) {
        for (std::uint32_t cid = 1; cid < 20000; ++cid)
            if (table->Map(cid) == want) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "%04X", cid);
                hex += buf;
                break;
            }
    }
    ASSERT_EQ(hex.size(), 12u);
    for (int level : {k1B, k2B}) {
        SCOPED_TRACE(level);
        auto c = Convert(CIDFontPage(level, hex, "Adobe", "Japan1"), level);
        EXPECT_EQ(c->first, "341(10)");
        EXPECT_EQ(c->again, "");
        EXPECT_TRUE(PdffontsAllEmbedded(c->out));
        EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));
        EXPECT_NE(WordBoxes(c->out).find("日本語"), std::string::npos);
        CopyReader copy(c->out);
        EXPECT_EQ(qvx::PDF::FindName(copy.Get(12), "Subtype"), "CIDFontType2");
        EXPECT_NE(qvx::PDF::FindStream(copy.Get(12), "CIDToGIDMap"), nullptr);
        // PDF/A-1 lists the CIDs of the subset.
        EXPECT_EQ(qvx::PDF::FindStream(copy.Get(11), "CIDSet") != nullptr, level == k1B);
    }
    // A collection no substitute knows stays as it was, with its finding.
    auto cu = Convert(CIDFontPage(k2B, "0001", "Acme", "Private"), k2B);
    EXPECT_EQ(cu->again, "341(10)");
}

TEST(FontReplacement, CollectionOfTheCMap)
{
    REQUIRE_FONT(kDroid);
    // 90ms-RKSJ-H reads codes as CIDs of Adobe-Japan1-2. A CIDFont naming a later supplement
    // takes the CMap's CIDSystemInfo; one naming another collection keeps it (the collection
    // is how its CIDs are read) and its finding.
    auto convert = [](const std::string& registry, const std::string& ordering, int supplement) {
        PdfBuilder b = Page(k2B, "BT /F1 20 Tf 10 100 Td (AB) Tj ET");
        b.Set(10, "<</Type/Font/Subtype/Type0/BaseFont/MS-Mincho/Encoding/90ms-RKSJ-H/DescendantFonts[12 0 R]>>");
        b.Set(12, "<</Type/Font/Subtype/CIDFontType0/BaseFont/MS-Mincho/CIDSystemInfo<</Registry" + registry +
                      "/Ordering" + ordering + "/Supplement " + std::to_string(supplement) +
                      ">>/FontDescriptor 11 0 R/DW 1000>>");
        b.Set(11, "<</Type/FontDescriptor/FontName/MS-Mincho/Flags 6/FontBBox[0 -141 1000 859]/ItalicAngle 0"
                  "/Ascent 859/Descent -141/CapHeight 700/StemV 80>>");
        return Convert(b.Build(), k2B);
    };
    {
        auto c = convert("(Adobe)", "(Japan1)", 6);
        EXPECT_EQ(c->first, "331 341(10)");
        EXPECT_EQ(c->again, "");
        CopyReader copy(c->out);
        Obj* info = qvx::PDF::FindDict(copy.Get(12), "CIDSystemInfo");
        EXPECT_EQ(CopyReader::Text(info, "Registry"), "Adobe");
        EXPECT_EQ(CopyReader::Text(info, "Ordering"), "Japan1");
        EXPECT_EQ(qvx::PDF::FindNumber(info, "Supplement", -1), 2);
    }
    auto other = convert("(Adobe)", "(GB1)", 0);
    EXPECT_EQ(other->first, "331 341(10)");
    EXPECT_NE(other->again.find("331"), std::string::npos);
}

TEST(FontReplacement, TrueTypeCIDsWithoutTextKeepTheirGlyphNumbers)
{
    REQUIRE_FONT(kLiberation);
    REQUIRE_FONT(kLiberationSerif);
    // Identity-H fonts without ToUnicode whose CIDs are glyph numbers of Arial (no
    // CIDToGIDMap: "Hello" as 43 72 79 79 82, the standard Macintosh order Liberation Sans
    // shares) and of Times New Roman (a CIDToGIDMap stream: CIDs 1 to 3 are "Vol", CID 4 a
    // glyph number past Liberation Serif's last). Nothing says which characters they are:
    // the substitute keeps its glyph numbers, its advances become the widths, and the glyph
    // past its end is an empty one. The copy looks as the same page does with the whole
    // Liberation programs embedded.
    auto page = [](int level, bool whole) {
        PdfBuilder b = Page(level, "BT /F1 20 Tf 10 100 Td <002B0048004F004F0052> Tj /F2 20 Tf 0 -30 Td <0001000200030004> Tj ET");
        b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Resources<</Font<</F1 10 0 R/F2 13 0 R>>" + kGray +
                     ">>/Contents 4 0 R>>");
        PutIdentityTrueType(b, {10, 12, 11}, "Arial", "/Identity-H", "/W[43[722]72[556]79[222]82[556]]",
                            whole ? "/FontFile2 17 0 R" : "");
        PutIdentityTrueType(b, {13, 14, 15}, "TimesNewRomanPSMT", "/Identity-H", "/CIDToGIDMap 16 0 R/W[1[722 500 278 600]]",
                            whole ? "/FontFile2 18 0 R" : "");
        b.SetStream(16, "", std::string("\0\0\0\x39\0\x52\0\x4F\x70\0", 10));
        if (whole) {
            b.SetStream(17, "", qvx::Test::ReadFile(kLiberation));
            b.SetStream(18, "", qvx::Test::ReadFile(kLiberationSerif));
        }
        return b.Build();
    };
    qvx::Test::TempDir dir;
    std::filesystem::path reference = dir.Write("reference.pdf", page(k2B, true));
    for (int level : {k1B, k2B}) {
        SCOPED_TRACE(level);
        auto c = Convert(page(level, false), level);
        auto arial = ExpectGlyphNumbersKept(*c, "332(12) 341(10 13)", reference);
        ASSERT_NE(arial, nullptr);
        CopyReader copy(c->out);
        int upem = arial->UnitsPerEm();
        EXPECT_EQ(arial->Advance(43), std::lround(722.0 * upem / 1000));
        EXPECT_EQ(arial->Advance(79), std::lround(222.0 * upem / 1000));
        // Only the glyphs shown: Liberation Sans has some 2,600.
        EXPECT_EQ(arial->GlyphCount(), 83);
        // PDF/A-1 lists the CIDs of the subset.
        EXPECT_EQ(qvx::PDF::FindStream(copy.Get(11), "CIDSet") != nullptr, level == k1B);

        // The map stays, and so does what pdftoppm draws through it.
        EXPECT_NE(qvx::PDF::FindStream(copy.Get(14), "CIDToGIDMap"), nullptr);
        auto times = DescendantProgram(copy, 14);
        ASSERT_NE(times, nullptr);
        EXPECT_EQ(times->GlyphCount(), 0x7001);
        EXPECT_EQ(times->Advance(0x7000), std::lround(600.0 * times->UnitsPerEm() / 1000));
    }
    PdfBuilder mapped = Page(k2B, "BT /F1 20 Tf 10 100 Td <000100020003> Tj ET");
    PutIdentityTrueType(mapped, {10, 14, 15}, "Times#20New#20Roman", "/Identity-H", "/CIDToGIDMap 16 0 R/W[1[722 500 278]]");
    mapped.SetStream(16, "", std::string("\0\0\0\x39\0\x52\0\x4F", 8));
    auto cm = Convert(mapped.Build(), k2B);
    EXPECT_EQ(cm->again, "");
    EXPECT_TRUE(SameLook(cm->in, cm->out));

    // A CMap that leads the only code shown past the largest CID: no glyph number to keep,
    // the font stays as it was.
    PdfBuilder big = Page(k2B, "BT /F1 20 Tf 10 100 Td <01> Tj ET");
    PutIdentityTrueType(big, {10, 12, 11}, "Arial", " 16 0 R", "/CIDToGIDMap/Identity");
    big.SetStream(16, "/Type/CMap/CMapName/Big/CIDSystemInfo<</Registry(Adobe)/Ordering(Identity)/Supplement 0>>",
                  "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /Big def /CMapType 1 def\n"
                  "1 begincodespacerange <00> <FF> endcodespacerange\n1 begincidrange <01> <01> 70000 endcidrange\n"
                  "endcmap CMapName currentdict /CMap defineresource pop end end\n");
    auto cb = Convert(big.Build(), k2B);
    EXPECT_NE(cb->again.find("341(10)"), std::string::npos);
}

TEST(FontReplacement, IdentityTrueTypeCIDsWithCorrelatedWidthsKeepTheirGlyphNumbers)
{
    REQUIRE_FONT(kLiberationBold);
    // Arial Black shown as Identity-H CIDs without CIDToGIDMap: "DESCRIPTION" as glyph
    // numbers of the standard Macintosh order, with widths a fifth larger than Liberation
    // Sans Bold's advances (the same order, a heavier design). No width agrees, but they go
    // with the advances: the CIDs stay glyph numbers of the substitute, which draws the
    // letters meant, as the whole Liberation Sans Bold embedded would.
    auto liberation = qvx::PDF::FontProgram::Open(qvx::Test::ToBytes(qvx::Test::ReadFile(kLiberationBold)));
    ASSERT_NE(liberation, nullptr);
    std::string hex, w = "/W[";
    std::map<unsigned, long> widths;
    for (char ch : std::string("DESCRIPTION")) {
        unsigned gid = liberation->GlyphByCMap(3, 1, static_cast<unsigned char>(ch));
        widths[gid] = std::lround(liberation->Advance(gid) * 1200.0 / liberation->UnitsPerEm());
        char buf[8];
        std::snprintf(buf, sizeof buf, "%04X", gid);
        hex += buf;
    }
    for (auto [gid, width] : widths) w += std::to_string(gid) + "[" + std::to_string(width) + "]";
    auto page = [&](bool whole) {
        PdfBuilder b = Page(k2B, "BT /F1 20 Tf 10 100 Td <" + hex + "> Tj ET");
        PutIdentityTrueType(b, {10, 12, 11}, "Arial-Black", "/Identity-H", w + "]", whole ? "/FontFile2 13 0 R" : "");
        if (whole) b.SetStream(13, "", qvx::Test::ReadFile(kLiberationBold));
        return b.Build();
    };
    qvx::Test::TempDir dir;
    std::filesystem::path reference = dir.Write("reference.pdf", page(true));
    auto program = ExpectGlyphNumbersKept(*Convert(page(false), k2B), "332(12) 341(10)", reference);
    ASSERT_NE(program, nullptr);
    for (auto [gid, width] : widths) EXPECT_EQ(program->Advance(gid), std::lround(width * program->UnitsPerEm() / 1000.0));
}

TEST(FontReplacement, IdentityTrueTypeCIDsOfAnotherGlyphOrderDrawnAsCharacters)
{
    REQUIRE_FONT(kLiberation);
    // Identity-H CIDs without CIDToGIDMap whose widths neither agree nor go with Liberation
    // Sans's advances at those glyph numbers: its glyph order is not the font's, and the
    // CIDs are drawn as poppler draws them, read as characters ("H", "i", a Cyrillic Zhe,
    // and U+0003, which Liberation Sans lacks and poppler draws as its .notdef). The copy
    // looks as poppler draws the original and shows no .notdef.
    for (int level : {k1B, k2B}) {
        SCOPED_TRACE(level);
        PdfBuilder b = Page(level, "BT /F1 20 Tf 10 100 Td <0003004800690416> Tj ET");
        PutIdentityTrueType(b, {10, 12, 11}, "Arial", "/Identity-H", "/W[3[500]72[722]105[222]1046[1000]]");
        auto c = Convert(b.Build(), level);
        ExpectAllEmbedded(*c, "332(12) 341(10)");
        EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));
        EXPECT_TRUE(SameLook(c->in, c->out));

        CopyReader copy(c->out);
        std::string map = CopyReader::Decoded(copy.Get(12), "CIDToGIDMap");
        ASSERT_EQ(map.size(), 2u * 0x417);
        auto glyph = [&](unsigned cid) { return (static_cast<unsigned char>(map[2 * cid]) << 8) | static_cast<unsigned char>(map[2 * cid + 1]); };
        auto program = DescendantProgram(copy, 12);
        ASSERT_NE(program, nullptr);
        EXPECT_EQ(glyph(0x48), program->GlyphByCMap(3, 1, 'H'));
        EXPECT_EQ(glyph(0x69), program->GlyphByCMap(3, 1, 'i'));
        EXPECT_EQ(glyph(0x416), program->GlyphByCMap(3, 1, 0x416));
        EXPECT_NE(glyph(0x416), 0u);
        EXPECT_NE(glyph(3), 0u);
        EXPECT_EQ(program->Advance(glyph(0x48)), std::lround(722.0 * program->UnitsPerEm() / 1000));
        EXPECT_EQ(qvx::PDF::FindStream(copy.Get(11), "CIDSet") != nullptr, level == k1B);
    }
}

TEST(FontReplacement, CJKFontLackingLatinLetters)
{
    REQUIRE_FONT(kDroid);
    // Droid Sans Fallback has Japanese but no Latin letters. A Japanese font shows both,
    // through UniJIS-UCS2-H (codes are UTF-16: "Ab 日本" with a space, which the collection
    // would read as a no-break space) and through the vertical 90ms-RKSJ-V. Readers draw
    // Droid's box for the letters: so does the copy, with boxes that are not .notdef, which
    // PDF/A-2 text may not show.
    struct Case {
        const char* cmap;
        std::string shown;
    };
    for (const Case& k : {Case{"UniJIS-UCS2-H", std::string("\0A\0b\0 \x65\xE5\x67\x2C", 10)},
                          Case{"90ms-RKSJ-V", "Ab \x82\xA0\x82\xA2"}}) {
        for (int level : {k1B, k2B}) {
            SCOPED_TRACE(std::string(k.cmap) + " " + std::to_string(level));
            PdfBuilder b = Page(level, "BT /F1 20 Tf 10 180 Td <" + HexOf(k.shown) + "> Tj ET");
            b.Set(10, std::string("<</Type/Font/Subtype/Type0/BaseFont/KozMinPro-Regular/Encoding/") + k.cmap +
                          "/DescendantFonts[12 0 R]>>");
            b.Set(12, "<</Type/Font/Subtype/CIDFontType0/BaseFont/KozMinPro-Regular/CIDSystemInfo<</Registry(Adobe)"
                      "/Ordering(Japan1)/Supplement 2>>/FontDescriptor 11 0 R/W[1[250]34[600]66[500]231 632 500]>>");
            b.Set(11, "<</Type/FontDescriptor/FontName/KozMinPro-Regular/Flags 6/FontBBox[0 -141 1000 859]"
                      "/ItalicAngle 0/Ascent 859/Descent -141/CapHeight 700/StemV 80>>");
            auto c = Convert(b.Build(), level);
            ExpectAllEmbedded(*c, "341(10)");
            EXPECT_TRUE(SameLook(c->in, c->out));
        }
    }
}

TEST(FontReplacement, ConfigurationEntryWinsOverSystemMatch)
{
    REQUIRE_FONT(kDejaVuSerif);
    REQUIRE_FONT(kLiberation);
    auto& config = qvx::PDF::FontConfig::Instance();
    std::istringstream xml(std::string("<config><fonts>"
                                       "<subst><collection>identity</collection><file>/nonexistent/x.ttf</file>"
                                       "<name>Arial</name></subst>"
                                       "<subst collection='identity' file='") +
                           kDejaVuSerif + "' name='Arial'/></fonts></config>");
    config.Load(xml);
    // The missing file is said once, by whoever loaded the configuration.
    EXPECT_EQ(config.MissingFiles(), std::vector<std::string>{"/nonexistent/x.ttf"});
    PdfBuilder b = Page(k2B, "BT /F1 14 Tf 10 100 Td (Hello) Tj ET");
    b.Set(10, "<</Type/Font/Subtype/TrueType/BaseFont/Arial/FirstChar 32/LastChar 126/Widths " + ArialWidths() +
                  "/Encoding/WinAnsiEncoding/FontDescriptor 11 0 R>>");
    b.Set(11, "<</Type/FontDescriptor/FontName/Arial/Flags 32/FontBBox[-665 -325 2000 1006]/ItalicAngle 0"
              "/Ascent 905/Descent -212/CapHeight 716/StemV 80>>");
    auto c = Convert(b.Build(), k2B);
    config.Clear();
    EXPECT_EQ(c->again, "");
    CopyReader copy(c->out);
    std::string program = CopyReader::Decoded(copy.Get(11), "FontFile2");
    EXPECT_TRUE(ProgramNames(program, "DejaVu Serif"));
    EXPECT_FALSE(ProgramNames(program, "Liberation"));
}

TEST(FontReplacement, DamagedProgramReplacedAndMisfiledProgramMoved)
{
    REQUIRE_FONT(kLiberation);
    // A FontFile2 FreeType cannot open: the substitute's program takes the same object.
    PdfBuilder b = Page(k2U, "BT /F1 14 Tf 10 100 Td (Hello) Tj ET");
    b.Set(10, "<</Type/Font/Subtype/TrueType/BaseFont/Arial/FirstChar 32/LastChar 126/Widths " + ArialWidths() +
                  "/Encoding/WinAnsiEncoding/FontDescriptor 11 0 R>>");
    b.Set(11, "<</Type/FontDescriptor/FontName/Arial/Flags 32/FontBBox[-665 -325 2000 1006]/ItalicAngle 0"
              "/Ascent 905/Descent -212/CapHeight 716/StemV 80/FontFile2 12 0 R>>");
    b.SetStream(12, "", "not a font program at all");
    auto c = Convert(b.Build(), k2U);
    EXPECT_EQ(c->first, "321(10)");
    EXPECT_EQ(c->again, "");
    CopyReader copy(c->out);
    Obj* descriptor = copy.Get(11);
    ASSERT_NE(qvx::PDF::FindStream(descriptor, "FontFile2"), nullptr);
    EXPECT_EQ(descriptor->FindObj("FontFile2")->GetObjNum(), 12u);
    std::string program = CopyReader::Decoded(descriptor, "FontFile2");
    EXPECT_NE(qvx::PDF::FontProgram::Open(qvx::Common::Bytes(program.begin(), program.end())), nullptr);

    // A sound TrueType program filed as FontFile3 Type1C: it moves, as it is, to FontFile2,
    // since readers draw it and a substitute would change the page.
    std::ifstream in(kLiberation, std::ios::binary);
    std::string liberation((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    PdfBuilder m = Page(k2B, "BT /F1 14 Tf 10 100 Td (Hello) Tj ET");
    m.Set(10, "<</Type/Font/Subtype/TrueType/BaseFont/Arial/FirstChar 32/LastChar 126/Widths " + ArialWidths() +
                  "/Encoding/WinAnsiEncoding/FontDescriptor 11 0 R>>");
    m.Set(11, "<</Type/FontDescriptor/FontName/Arial/Flags 32/FontBBox[-665 -325 2000 1006]/ItalicAngle 0"
              "/Ascent 905/Descent -212/CapHeight 716/StemV 80/FontFile3 12 0 R>>");
    m.SetStream(12, "/Subtype/Type1C", liberation);
    auto cm = Convert(m.Build(), k2B);
    EXPECT_EQ(cm->first, "341(10)");
    EXPECT_EQ(cm->again, "");
    CopyReader moved(cm->out);
    descriptor = moved.Get(11);
    EXPECT_EQ(descriptor->FindObj("FontFile3"), nullptr);
    ASSERT_NE(qvx::PDF::FindStream(descriptor, "FontFile2"), nullptr);
    EXPECT_EQ(descriptor->FindObj("FontFile2")->GetObjNum(), 12u);
    EXPECT_TRUE(CopyReader::Decoded(descriptor, "FontFile2") == liberation);
    EXPECT_EQ(WordBoxes(cm->out), WordBoxes(cm->in));
}

TEST(FontReplacement, EmbeddedProgramsRepaired)
{
    const char* const kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    REQUIRE_FONT(kDejaVu);
    std::string program = qvx::Test::ReadFile(kDejaVu);
    auto p = qvx::PDF::FontProgram::Open(qvx::Common::Bytes(program.begin(), program.end()));
    unsigned gid_a = p->GlyphByCMap(3, 1, 'A'), gid_b = p->GlyphByCMap(3, 1, 'B');
    // Whole thousandths: what the writer keeps of a number exactly.
    long width_a = std::lround(p->Advance(gid_a) * 1000.0 / p->UnitsPerEm());
    long width_b = std::lround(p->Advance(gid_b) * 1000.0 / p->UnitsPerEm());
    std::string descriptor = "<</Type/FontDescriptor/FontName/DejaVuSans/Flags 32/FontBBox[0 0 1000 1000]/ItalicAngle 0"
                             "/Ascent 800/Descent -200/CapHeight 700/StemV 80/FontFile2 12 0 R>>";

    // Widths that disagree with the program: the program's advances change, the Widths and
    // so the text's positions stay.
    PdfBuilder b = Page(k2B, "BT /F1 20 Tf 10 100 Td (AB BA) Tj ET");
    b.Set(10, "<</Type/Font/Subtype/TrueType/BaseFont/DejaVuSans/FirstChar 65/LastChar 66/Widths[700 " +
                  std::to_string(width_b) + "]/Encoding/WinAnsiEncoding/FontDescriptor 11 0 R>>");
    b.Set(11, descriptor);
    b.SetStream(12, "", program);
    ExpectAdvancesRepaired(*Convert(b.Build(), k2B));

    // A CIDFontType2 subset without CIDToGIDMap and, at PDF/A-1, without CIDSet: Identity
    // is what readers assume, and the CIDSet lists the program's glyphs.
    char hex[16];
    std::snprintf(hex, sizeof hex, "%04X%04X", gid_a, gid_b);
    PdfBuilder t = Page(k1B, std::string("BT /F1 20 Tf 10 100 Td <") + hex + "> Tj ET");
    t.Set(10, "<</Type/Font/Subtype/Type0/BaseFont/ABCDEF+DejaVuSans/Encoding/Identity-H/DescendantFonts[13 0 R]>>");
    t.Set(13, "<</Type/Font/Subtype/CIDFontType2/BaseFont/ABCDEF+DejaVuSans/CIDSystemInfo<</Registry(Adobe)"
              "/Ordering(Identity)/Supplement 0>>/FontDescriptor 11 0 R/W[" + std::to_string(gid_a) + "[" +
                  std::to_string(width_a) + "]" + std::to_string(gid_b) + "[" + std::to_string(width_b) + "]]>>");
    t.Set(11, descriptor);
    t.SetStream(12, "", program);
    auto ct = Convert(t.Build(), k1B);
    EXPECT_EQ(ct->first, "332(13) 354(11)");
    EXPECT_EQ(ct->again, "");

    // A symbolic TrueType font whose program has several cmap subtables and no (3,0) one:
    // only the (1,0) subtable its codes are read through is left. At 2U it also lacks a
    // ToUnicode map, which is written from the program's glyph names.
    for (int level : {k2B, k2U}) {
        SCOPED_TRACE(level);
        PdfBuilder y = Page(level, "BT /F1 20 Tf 10 100 Td (AB) Tj ET");
        y.Set(10, "<</Type/Font/Subtype/TrueType/BaseFont/DejaVuSans/FirstChar 65/LastChar 66/Widths[" +
                      std::to_string(width_a) + " " + std::to_string(width_b) + "]/FontDescriptor 11 0 R>>");
        std::string symbolic = descriptor;
        symbolic.replace(symbolic.find("/Flags 32"), 9, "/Flags 4");
        y.Set(11, symbolic);
        y.SetStream(12, "", program);
        auto cy = Convert(y.Build(), level);
        EXPECT_EQ(cy->first, level == k2U ? "373(10) 381(10)" : "373(10)");
        EXPECT_EQ(cy->again, "");
        EXPECT_EQ(WordBoxes(cy->out), WordBoxes(cy->in));
    }
}

TEST(FontReplacement, CFFAndType1AdvancesSetToWidths)
{
    REQUIRE_FONT(kNimbusSansOTF);
    REQUIRE_FONT(kNimbusSans);
    // Widths that disagree with the embedded program for A and B (Helvetica's A and B are
    // 667 wide), as an OpenType program with CFF outlines under FontFile3 and as a Type 1
    // program under FontFile: the program's advances change to the widths, the widths and
    // the text's positions stay, and the program still opens.
    struct Case {
        const char *file, *key, *stream_dict;
    };
    for (const Case& k : {Case{kNimbusSansOTF, "FontFile3", "/Subtype/OpenType"}, Case{kNimbusSans, "FontFile", ""}}) {
        SCOPED_TRACE(k.key);
        std::string program = qvx::Test::ReadFile(k.file);
        std::string dict = k.stream_dict;
        if (*k.stream_dict == '\0') {
            std::size_t clear = program.find("eexec") + 6, tail = program.rfind("cleartomark");
            while (tail > clear && (program[tail - 1] == '0' || program[tail - 1] == '\n' || program[tail - 1] == '\r')) --tail;
            dict = "/Length1 " + std::to_string(clear) + "/Length2 " + std::to_string(tail - clear) + "/Length3 " +
                   std::to_string(program.size() - tail);
        }
        PdfBuilder b = Page(k2B, "BT /F1 20 Tf 10 100 Td (ABBA) Tj ET");
        b.Set(10, "<</Type/Font/Subtype/Type1/BaseFont/NimbusSans-Regular/FirstChar 65/LastChar 66/Widths[700 640]"
                  "/Encoding/WinAnsiEncoding/FontDescriptor 11 0 R>>");
        b.Set(11, std::string("<</Type/FontDescriptor/FontName/NimbusSans-Regular/Flags 32/FontBBox[0 0 1000 1000]"
                              "/ItalicAngle 0/Ascent 800/Descent -200/CapHeight 700/StemV 80/") +
                      k.key + " 12 0 R>>");
        b.SetStream(12, dict, program);
        auto c = Convert(b.Build(), k2B);
        ExpectAdvancesRepaired(*c);
        CopyReader copy(c->out);
        Obj* descriptor = copy.Get(11);
        ASSERT_NE(descriptor->FindObj(k.key), nullptr);
        EXPECT_EQ(descriptor->FindObj(k.key)->GetObjNum(), 12u);
        std::string fixed = CopyReader::Decoded(descriptor, k.key);
        auto p = qvx::PDF::FontProgram::Open(qvx::Common::Bytes(fixed.begin(), fixed.end()));
        ASSERT_NE(p, nullptr);
        double scale = 1000.0 / p->UnitsPerEm();
        EXPECT_NEAR(p->Advance(p->GlyphByName("A")) * scale, 700, 1);
        EXPECT_NEAR(p->Advance(p->GlyphByName("B")) * scale, 640, 1);
        // Glyphs the text does not show keep their advances.
        EXPECT_NEAR(p->Advance(p->GlyphByName("C")) * scale, 722, 1);
        if (*k.stream_dict == '\0') {
            // The lengths of the three parts add up to the program.
            double parts = 0;
            for (const char* key : {"Length1", "Length2", "Length3"})
                parts += qvx::PDF::FindNumber(qvx::PDF::FindStream(descriptor, k.key), key, 0);
            EXPECT_EQ(parts, static_cast<double>(fixed.size()));
        }
    }
}

TEST(FontReplacement, CodesWithoutGlyphGetOneOfTheirOwn)
{
    const char* const kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    REQUIRE_FONT(kDejaVu);
    REQUIRE_FONT(kNimbusSans);
    auto open = [](const std::string& bytes) { return qvx::PDF::FontProgram::Open(qvx::Common::Bytes(bytes.begin(), bytes.end())); };
    std::string descriptor = "<</Type/FontDescriptor/FontName/F/Flags 32/FontBBox[0 0 1000 1000]/ItalicAngle 0"
                             "/Ascent 800/Descent -200/CapHeight 700/StemV 80/FontFile2 12 0 R>>";

    // Type 1: B names a glyph the program lacks, and code 1 none, in the program's own
    // encoding either (352). Each gets a copy of .notdef at its width, code 1 under a new
    // name that the encoding gives it.
    std::string type1 = qvx::Test::ReadFile(kNimbusSans);
    std::size_t clear = type1.find("eexec") + 6;
    std::string widths = "[";
    for (int code = 1; code <= 64; ++code) widths += "0 ";
    widths += "667 640]";
    for (int level : {k1B, k2B}) {
        SCOPED_TRACE(level);
        PdfBuilder b = Page(level, "BT /F1 20 Tf 10 100 Td (A\001B) Tj ET");
        b.Set(10, "<</Type/Font/Subtype/Type1/BaseFont/NimbusSans-Regular/FirstChar 1/LastChar 66/Widths" + widths +
                      "/Encoding<</Differences[66/nosuchglyph]>>/FontDescriptor 11 0 R>>");
        std::string d = descriptor;
        b.Set(11, d.replace(d.find("FontFile2"), 9, "FontFile"));
        b.SetStream(12, "/Length1 " + std::to_string(clear), type1);
        auto c = Convert(b.Build(), level);
        EXPECT_EQ(c->first, "352(10)");
        EXPECT_EQ(c->again, "");
        CopyReader copy(c->out);
        auto p = open(CopyReader::Decoded(copy.Get(11), "FontFile"));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->Advance(p->GlyphByName("nosuchglyph")), 640);
        ASSERT_NE(p->GlyphByName("notdef.c1"), 0u);
        EXPECT_EQ(p->Advance(p->GlyphByName("notdef.c1")), 0);
        EXPECT_EQ(copy.Get(11)->FindObj("FontFile")->GetObjNum(), 12u);
    }

    // A symbolic TrueType font whose program has only a (3,1) cmap (353: no symbolic
    // subtable reads the code), and a non-symbolic one showing code 0, which names no glyph
    // (62118, and its width is not .notdef's): the glyph readers drew (A through the Unicode
    // subtable; nothing for .notdef) is reached through a (3,0) subtable at the code's width,
    // the font turned symbolic, and the text stays.
    std::string dejavu = qvx::Test::ReadFile(kDejaVu);
    auto unicode_only = qvx::PDF::SubstituteProgram::WithOneCMap(qvx::Test::ToBytes(dejavu), 3, 1);
    ASSERT_TRUE(unicode_only);
    auto p = open(dejavu);
    unsigned gid_a = p->GlyphByCMap(3, 1, 'A');
    long width_a = std::lround(p->Advance(gid_a) * 1000.0 / p->UnitsPerEm());
    std::string zeros;
    for (int code = 1; code <= 64; ++code) zeros += "0 ";
    struct Case {
        const char *flags, *encoding, *shown, *found;
    };
    for (const Case& k : {Case{"/Flags 4", "", "A", "353(10)"}, Case{"/Flags 32", "/Encoding/MacRomanEncoding", "\\000A", "361(10) 62118(10)"}}) {
        SCOPED_TRACE(k.found);
        PdfBuilder t = Page(k2B, std::string("BT /F1 20 Tf 10 100 Td (") + k.shown + ") Tj ET");
        t.Set(10, "<</Type/Font/Subtype/TrueType/BaseFont/DejaVuSans/FirstChar 0/LastChar 65/Widths[500 " + zeros +
                      std::to_string(width_a) + "]" + k.encoding + "/ToUnicode 13 0 R/FontDescriptor 11 0 R>>");
        std::string d = descriptor;
        t.Set(11, d.replace(d.find("/Flags 32"), 9, k.flags));
        t.SetStream(12, "", std::string(unicode_only->begin(), unicode_only->end()));
        t.SetStream(13, "", "/CIDInit /ProcSet findresource begin 12 dict begin begincmap 1 begincodespacerange <00> <FF> "
                            "endcodespacerange 1 beginbfchar <41> <0041> endbfchar endcmap end end");
        auto c = Convert(t.Build(), k2B);
        EXPECT_EQ(c->first, k.found);
        EXPECT_EQ(c->again, "");
        EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));
        CopyReader copy(c->out);
        auto fixed = open(CopyReader::Decoded(copy.Get(11), "FontFile2"));
        ASSERT_NE(fixed, nullptr);
        EXPECT_EQ(fixed->GlyphCount(), p->GlyphCount() + 1);
        EXPECT_EQ(fixed->GlyphByCMap(3, 0, 0xF041), std::string(k.shown) == "A" ? static_cast<unsigned>(p->GlyphCount()) : gid_a);
    }

    // A CIDFontType2 whose CIDToGIDMap sends CID 1 to glyph 0 (351): the glyph, which readers
    // draw, is copied and the map sends the CID to the copy; the CIDSet, which lacked the
    // CID (356), has it.
    for (int level : {k1B, k2B}) {
        SCOPED_TRACE(level);
        PdfBuilder t = Page(level, "BT /F1 20 Tf 10 100 Td <00010002> Tj ET");
        t.Set(10, "<</Type/Font/Subtype/Type0/BaseFont/ABCDEF+DejaVuSans/Encoding/Identity-H/DescendantFonts[13 0 R]>>");
        t.Set(13, "<</Type/Font/Subtype/CIDFontType2/BaseFont/ABCDEF+DejaVuSans/CIDSystemInfo<</Registry(Adobe)"
                  "/Ordering(Identity)/Supplement 0>>/FontDescriptor 11 0 R/CIDToGIDMap 14 0 R/W[1[600 " +
                      std::to_string(width_a) + "]]>>");
        std::string d = descriptor;
        t.Set(11, d.replace(d.find("/StemV"), 6, "/CIDSet 15 0 R/StemV"));
        t.SetStream(12, "", dejavu);
        t.SetStream(14, "", std::string("\0\0\0\0", 4) + static_cast<char>(gid_a >> 8) + static_cast<char>(gid_a & 0xFF));
        t.SetStream(15, "", std::string(1, static_cast<char>(0xA0)));
        auto c = Convert(t.Build(), level);
        EXPECT_EQ(c->first, "351(10) 356(11)");
        EXPECT_EQ(c->again, "");
        CopyReader copy(c->out);
        std::string map = CopyReader::Decoded(copy.Get(13), "CIDToGIDMap");
        ASSERT_GE(map.size(), 6u);
        EXPECT_EQ((static_cast<unsigned char>(map[2]) << 8) | static_cast<unsigned char>(map[3]), p->GlyphCount());
        EXPECT_EQ(copy.Get(13)->FindObj("CIDToGIDMap")->GetObjNum(), 14u);
    }
}

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

TEST(FontReplacement, NonSymbolicTrueTypeWithUnlistedNamesTurnsSymbolic)
{
    const char* const kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    REQUIRE_FONT(kDejaVu);
    UnlistedGlyph font(kDejaVu);
    ASSERT_FALSE(font.unlisted.empty());
    const std::string& program = font.bytes;
    const std::string& unlisted = font.unlisted;
    unsigned unlisted_gid = font.gid, gid_b = font.program->GlyphByName("B");
    // Code 65 shows that glyph, code 66 shows B through WinAnsiEncoding. With a ToUnicode
    // map of both codes the font turns symbolic and its program gets a (3,0) cmap reaching
    // the same glyphs; without one, or with one that lacks a code shown (the text would be
    // lost), it is left with its finding.
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(qvx::PDF::GlyphList::ToUnicode(unlisted)[0]));
    for (std::string map : {std::string("<41> <") + hex + "> <42> <0042>", std::string("<42> <0042>"), std::string()}) {
        SCOPED_TRACE(map);
        bool to_unicode = map.size() > 12;
        SCOPED_TRACE(to_unicode);
        PdfBuilder b = Page(k2B, "BT /F1 20 Tf 10 100 Td (ABBA) Tj ET");
        b.Set(10, "<</Type/Font/Subtype/TrueType/BaseFont/DejaVuSans/FirstChar 65/LastChar 66/Widths[" +
                      font.Width(unlisted_gid) + " " + font.Width(gid_b) + "]/Encoding<</Type/Encoding/BaseEncoding/WinAnsiEncoding"
                      "/Differences[65/" + unlisted + "]>>/FontDescriptor 11 0 R" +
                      (map.empty() ? "" : "/ToUnicode 13 0 R") + ">>");
        b.Set(11, "<</Type/FontDescriptor/FontName/DejaVuSans/Flags 32/FontBBox[0 0 1000 1000]/ItalicAngle 0"
                  "/Ascent 800/Descent -200/CapHeight 700/StemV 80/FontFile2 12 0 R>>");
        b.SetStream(12, "", program);
        b.SetStream(13, "", "/CIDInit /ProcSet findresource begin 12 dict begin begincmap 1 begincodespacerange <00> <FF> "
                            "endcodespacerange 2 beginbfchar " + map + " endbfchar endcmap end end");
        auto c = Convert(b.Build(), k2B);
        EXPECT_EQ(c->first, "371(10)");
        EXPECT_EQ(c->again, to_unicode ? "" : "371(10)");
        EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));
        CopyReader copy(c->out);
        Obj* font = copy.Get(10);
        Obj* descriptor = copy.Get(11);
        EXPECT_EQ(font->FindObj("Encoding") == nullptr, to_unicode);
        EXPECT_EQ(static_cast<int>(qvx::PDF::FindNumber(descriptor, "Flags", 0)), to_unicode ? 4 : 32);
        if (!to_unicode) continue;
        EXPECT_EQ(descriptor->FindObj("FontFile2")->GetObjNum(), 12u);
        std::string fixed = CopyReader::Decoded(descriptor, "FontFile2");
        auto q = qvx::PDF::FontProgram::Open(qvx::Common::Bytes(fixed.begin(), fixed.end()));
        ASSERT_NE(q, nullptr);
        ASSERT_EQ(q->CMapTables().size(), 1u);
        EXPECT_EQ(q->CMapTables()[0].platform, 3);
        EXPECT_EQ(q->CMapTables()[0].encoding, 0);
        EXPECT_EQ(q->GlyphByCMap(3, 0, 0xF000 + 'A'), unlisted_gid);
        EXPECT_EQ(q->GlyphByCMap(3, 0, 0xF000 + 'B'), gid_b);
    }
}

TEST(FontReplacement, FontsSharingADescriptorGetTheirOwnPrograms)
{
    REQUIRE_FONT(kDejaVuSansBold);
    // Two unembedded fonts of one descriptor, each showing other characters: the first keeps
    // the descriptor, the second gets a copy, and each program has the glyphs of its text.
    PdfBuilder b = Page(k2B, "BT /F1 14 Tf 10 100 Td (Hello) Tj /F2 14 Tf 0 -20 Td (Wxyz) Tj ET");
    b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Resources<</Font<</F1 10 0 R/F2 13 0 R>>" + kGray +
                 ">>/Contents 4 0 R>>");
    for (int num : {10, 13})
        b.Set(num, "<</Type/Font/Subtype/TrueType/BaseFont/Calibri,Bold/FirstChar 32/LastChar 126/Widths " + ArialWidths() +
                       "/Encoding/WinAnsiEncoding/FontDescriptor 11 0 R>>");
    b.Set(11, "<</Type/FontDescriptor/FontName/Calibri,Bold/Flags 32/FontBBox[-503 -312 1240 1026]/ItalicAngle 0"
              "/Ascent 952/Descent -269/CapHeight 632/StemV 80>>");
    auto c = Convert(b.Build(), k2B);
    ExpectAllEmbedded(*c, "341(10 13)");
    EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));
    CopyReader copy(c->out);
    Obj* first = copy.Get(10)->FindObj("FontDescriptor");
    Obj* second = copy.Get(13)->FindObj("FontDescriptor");
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(first->GetObjNum() == 11u || second->GetObjNum() == 11u);
    EXPECT_NE(first->GetObjNum(), second->GetObjNum());
    for (auto [font, text] : {std::pair{first, std::string("Helo")}, std::pair{second, std::string("Wxyz")}}) {
        std::string program = CopyReader::Decoded(font->Resolve(), "FontFile2");
        auto p = qvx::PDF::FontProgram::Open(qvx::Common::Bytes(program.begin(), program.end()));
        ASSERT_NE(p, nullptr);
        for (char ch : text) EXPECT_NE(p->GlyphByCMap(3, 1, static_cast<unsigned char>(ch)), 0u) << text << " " << ch;
    }
}

TEST(FontReplacement, Type3CodesWithoutProceduresGetEmptyOnes)
{
    // Type 3 codes shown without a glyph procedure draw nothing: b has a name but no
    // procedure and gets an empty one of its width (glyph space); code 1 has no name and
    // stays so, with its finding, since a made-up name would show as text. The text and
    // procedure a stay as they were.
    auto convert = [](const std::string& text, int first, const std::string& widths) {
        PdfBuilder b = Page(k2B, "BT /F1 20 Tf 10 100 Td (" + text + ") Tj ET");
        b.Set(10, "<</Type/Font/Subtype/Type3/FontBBox[0 0 1000 1000]/FontMatrix[0.002 0 0 0.002 0 0]/FirstChar " +
                      std::to_string(first) + "/LastChar 98/Widths" + widths +
                      "/Encoding<</Type/Encoding/Differences[97/a/b]>>/CharProcs<</a 11 0 R>>>>");
        b.SetStream(11, "", "300 0 0 0 300 400 d1 0 0 300 400 re f");
        return Convert(b.Build(), k2B);
    };
    std::string widths = "[400";
    for (int code = 2; code < 97; ++code) widths += " 0";
    auto c = convert("ab\\001ab", 1, widths + " 300 250]");
    EXPECT_EQ(c->first, "352(10)");
    EXPECT_EQ(c->again, "352(10)");
    EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));
    CopyReader copy(c->out);
    Obj* procs = qvx::PDF::FindDict(copy.Get(10), "CharProcs");
    EXPECT_EQ(procs->FindObj("a")->GetObjNum(), 11u);
    EXPECT_EQ(CopyReader::Decoded(procs, "b"), "250.000 0 d0");
    EXPECT_EQ(procs->Size(), 2u);
    // Without the nameless code the copy passes.
    auto cn = convert("abab", 97, "[300 250]");
    EXPECT_EQ(cn->first, "352(10)");
    EXPECT_EQ(cn->again, "");
    EXPECT_EQ(WordBoxes(cn->out), WordBoxes(cn->in));
}

TEST(FontReplacement, TrueTypeWithCFFOutlinesBecomesType1)
{
    REQUIRE_FONT(kNimbusSansOTF);
    UnlistedGlyph font(kNimbusSansOTF);
    ASSERT_FALSE(font.unlisted.empty());
    const std::string& program = font.bytes;
    // An OpenType program with CFF outlines under FontFile2 of a TrueType font whose
    // Differences name a glyph without a listed name: readers draw it as a Type 1 font,
    // by glyph name, and so it becomes one, the program moved to FontFile3 as it is.
    // PDF/A-1 files may not hold OpenType programs: there the font stays as it was.
    for (int level : {k2B, k1B}) {
        SCOPED_TRACE(level);
        PdfBuilder b = Page(level, "BT /F1 20 Tf 10 100 Td (ABBA) Tj ET");
        b.Set(10, "<</Type/Font/Subtype/TrueType/BaseFont/NimbusSans-Regular/FirstChar 65/LastChar 66/Widths[" +
                      font.Width(font.gid) + " " + font.Width(font.program->GlyphByName("B")) +
                      "]/Encoding<</Type/Encoding/BaseEncoding/WinAnsiEncoding/Differences[65/" + font.unlisted +
                      "]>>/FontDescriptor 11 0 R>>");
        b.Set(11, "<</Type/FontDescriptor/FontName/NimbusSans-Regular/Flags 32/FontBBox[0 0 1000 1000]/ItalicAngle 0"
                  "/Ascent 800/Descent -200/CapHeight 700/StemV 80/FontFile2 12 0 R>>");
        b.SetStream(12, "/Length1 " + std::to_string(program.size()), program);
        auto c = Convert(b.Build(), level);
        EXPECT_EQ(c->first, "371(10)");
        EXPECT_EQ(c->again, level == k2B ? "" : "371(10)");
        EXPECT_EQ(WordBoxes(c->out), WordBoxes(c->in));
        CopyReader copy(c->out);
        if (level == k1B) {
            EXPECT_EQ(qvx::PDF::FindName(copy.Get(10), "Subtype"), "TrueType");
            continue;
        }
        EXPECT_EQ(qvx::PDF::FindName(copy.Get(10), "Subtype"), "Type1");
        EXPECT_NE(qvx::PDF::FindDict(copy.Get(10), "Encoding"), nullptr);
        Obj* descriptor = copy.Get(11);
        EXPECT_EQ(descriptor->FindObj("FontFile2"), nullptr);
        ASSERT_NE(descriptor->FindObj("FontFile3"), nullptr);
        EXPECT_EQ(descriptor->FindObj("FontFile3")->GetObjNum(), 12u);
        EXPECT_EQ(qvx::PDF::FindName(qvx::PDF::FindStream(descriptor, "FontFile3"), "Subtype"), "OpenType");
        EXPECT_TRUE(CopyReader::Decoded(descriptor, "FontFile3") == program);
    }
}
