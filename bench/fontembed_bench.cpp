// Conversion of a ten-page file whose text uses four fonts it does not embed (Arial,
// Times-Roman, Verdana and an Adobe-Japan1 CIDFont): once as it is, so that every font gets
// a substitute subset, and once more over that conversion's own output, whose fonts are
// embedded already (the same pages without the font work). Counters give the size of the
// embedded programs and of the whole output. A third case: 300 pages, each with a standard
// font dictionary of its own (as some producers write them), which share three programs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "common/UString.h"
#include "pdf/CMap.h"
#include "pdf/ObjUtil.h"
#include "pdf/StreamData.h"
#include "pdf/compliance/PDFACompliance.h"
#include "sdf/Obj.h"
#include "tests/support/PdfBuilder.h"
#include "tests/support/TestEnv.h"

using namespace qvx;

namespace {

constexpr int kPages = 10;
constexpr int kLevel = 4;  // PDF/A-2b

// The CIDs of a few kanji in the Adobe-Japan1 collection, as a hex string.
std::string KanjiCIDs()
{
    auto table = PDF::CIDToUnicode::ForCollection("Adobe-Japan1");
    std::string hex;
    for (char32_t want : {U'日', U'本', U'語', U'文', U'字'})
        for (std::uint32_t cid = 1; table && cid < 20000; ++cid)
            if (table->Map(cid) == want) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "%04X", cid);
                hex += buf;
                break;
            }
    return hex;
}

std::string Source()
{
    Test::PdfBuilder b = Test::PdfBuilder::Minimal();
    std::string kids;
    for (int i = 0; i < kPages; ++i) kids += std::to_string(100 + 2 * i) + " 0 R ";
    b.Set(2, "<</Type/Pages/Kids[" + kids + "]/Count " + std::to_string(kPages) + ">>");
    b.Set(3, "<</Type/Pages/Kids[]/Count 0>>");
    std::string text =
        "BT /F1 11 Tf 40 700 Td (The quick brown fox jumps over the lazy dog 0123456789) Tj "
        "/F2 11 Tf 0 -20 Td (Pack my box with five dozen liquor jugs!) Tj "
        "/F3 11 Tf 0 -20 Td (Sphinx of black quartz, judge my vow.) Tj "
        "/F4 14 Tf 0 -24 Td <" + KanjiCIDs() + "> Tj ET";
    for (int i = 0; i < kPages; ++i) {
        b.Set(100 + 2 * i, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]/Resources<</Font<</F1 10 0 R/F2 11 0 R"
                           "/F3 12 0 R/F4 13 0 R>>>>/Contents " + std::to_string(101 + 2 * i) + " 0 R>>");
        b.SetStream(101 + 2 * i, "", text);
    }
    b.Set(10, "<</Type/Font/Subtype/TrueType/BaseFont/Arial/Encoding/WinAnsiEncoding/FontDescriptor 20 0 R>>");
    b.Set(20, "<</Type/FontDescriptor/FontName/Arial/Flags 32/FontBBox[-665 -325 2000 1006]/ItalicAngle 0"
              "/Ascent 905/Descent -212/CapHeight 716/StemV 80>>");
    b.Set(11, "<</Type/Font/Subtype/Type1/BaseFont/Times-Roman/Encoding/WinAnsiEncoding>>");
    b.Set(12, "<</Type/Font/Subtype/TrueType/BaseFont/Verdana/Encoding/WinAnsiEncoding/FontDescriptor 21 0 R>>");
    b.Set(21, "<</Type/FontDescriptor/FontName/Verdana/Flags 32/FontBBox[-50 -207 1447 1000]/ItalicAngle 0"
              "/Ascent 1005/Descent -209/CapHeight 727/StemV 80>>");
    b.Set(13, "<</Type/Font/Subtype/Type0/BaseFont/MS-Mincho/Encoding/Identity-H/DescendantFonts[14 0 R]>>");
    b.Set(14, "<</Type/Font/Subtype/CIDFontType0/BaseFont/MS-Mincho/CIDSystemInfo<</Registry(Adobe)/Ordering(Japan1)"
              "/Supplement 2>>/FontDescriptor 22 0 R/DW 1000>>");
    b.Set(22, "<</Type/FontDescriptor/FontName/MS-Mincho/Flags 6/FontBBox[0 -141 1000 859]/ItalicAngle 0"
              "/Ascent 859/Descent -141/CapHeight 700/StemV 80>>");
    return b.Build();
}

std::string FontPerPageSource()
{
    constexpr int kMany = 300;
    static constexpr const char* kFonts[] = {"Helvetica", "Times-Roman", "Courier-Bold"};
    Test::PdfBuilder b = Test::PdfBuilder::Minimal();
    std::string kids;
    for (int i = 0; i < kMany; ++i) {
        const int page = 100 + 3 * i;
        kids += std::to_string(page) + " 0 R ";
        b.Set(page, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]/Resources<</Font<</F1 " + std::to_string(page + 2) +
                        " 0 R>>>>/Contents " + std::to_string(page + 1) + " 0 R>>");
        b.SetStream(page + 1, "", "BT /F1 12 Tf 72 720 Td (Page " + std::to_string(i) + " of many) Tj ET");
        b.Set(page + 2, std::string("<</Type/Font/Subtype/Type1/BaseFont/") + kFonts[i % 3] + "/Encoding/WinAnsiEncoding>>");
    }
    b.Set(2, "<</Type/Pages/Kids[" + kids + "]/Count " + std::to_string(kMany) + ">>");
    b.Set(3, "<</Type/Pages/Kids[]/Count 0>>");
    return b.Build();
}

std::filesystem::path Out(const char* name) { return std::filesystem::temp_directory_path() / name; }

void ConvertTo(const Common::Bytes& in, const std::filesystem::path& out)
{
    PDF::PDFACompliance run(true, in, nullptr, kLevel, nullptr, 0, 0, false);
    run.SaveAs(Common::UString::FromFileName(out.string()), false);
}

Common::Bytes ReadAll(const std::filesystem::path& p)
{
    std::string s = Test::ReadFile(p);
    return Common::Bytes(s.begin(), s.end());
}

double EmbeddedBytes(const std::filesystem::path& p)
{
    PDF::PDFACompliance run(false, Common::UString::FromFileName(p.string()), nullptr, kLevel, nullptr, 0, 0, false);
    double total = 0;
    for (std::uint32_t num : {10u, 11u, 12u, 14u}) {
        SDF::Obj* d = PDF::FindDict(run.GetDoc().GetObj(num), "FontDescriptor");
        for (const char* key : {"FontFile", "FontFile2"})
            if (auto data = PDF::ReadDecoded(PDF::FindStream(d, key), 64u << 20)) total += data->size();
    }
    return total;
}

void BM_ConvertWithFontWork(benchmark::State& state)
{
    std::string src = Source();
    Common::Bytes in(src.begin(), src.end());
    auto out = Out("qvx-fontembed-1.pdf");
    for (auto _ : state) ConvertTo(in, out);
    state.counters["subset_bytes"] = EmbeddedBytes(out);
    state.counters["output_bytes"] = static_cast<double>(std::filesystem::file_size(out));
}

void BM_ConvertFontsAlreadyEmbedded(benchmark::State& state)
{
    std::string src = Source();
    auto first = Out("qvx-fontembed-1.pdf");
    ConvertTo(Common::Bytes(src.begin(), src.end()), first);
    Common::Bytes in = ReadAll(first);
    auto out = Out("qvx-fontembed-2.pdf");
    for (auto _ : state) ConvertTo(in, out);
    state.counters["output_bytes"] = static_cast<double>(std::filesystem::file_size(out));
}

void BM_ConvertFontPerPage(benchmark::State& state)
{
    std::string src = FontPerPageSource();
    Common::Bytes in(src.begin(), src.end());
    auto out = Out("qvx-fontembed-3.pdf");
    for (auto _ : state) ConvertTo(in, out);
    state.counters["output_bytes"] = static_cast<double>(std::filesystem::file_size(out));
}

BENCHMARK(BM_ConvertWithFontWork)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertFontPerPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertFontsAlreadyEmbedded)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
