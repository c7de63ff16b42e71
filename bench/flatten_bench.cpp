// Flattening one page against drawing it: a letter page of 60 lines of text over an opaque
// background, with three half-transparent shapes over parts of the text and one line of
// transparent text. The flattener (plan, drawing of the transparent regions, JPEG, new
// content) at 150 and 300 dpi, beside the renderer drawing the whole page at the same
// resolutions. The document is rebuilt outside the timing before each flattening.
#include <benchmark/benchmark.h>

#include <string>

#include "pdf/PageTree.h"
#include "pdf/ResourceCache.h"
#include "pdf/compliance/FlattenPDF.h"
#include "render/PageRenderer.h"
#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"

using namespace qvx;

namespace {

std::string Content()
{
    std::string c = "0.95 0.95 0.9 rg 0 0 612 792 re f 0 g BT /F1 10 Tf 12 TL 50 740 Td\n";
    for (int line = 0; line < 60; ++line)
        c += "(Line " + std::to_string(line) + ": the quick brown fox jumps over the lazy dog, again and again.) Tj T*\n";
    c += "ET\n";
    c += "q /Half gs 1 0 0 rg 80 600 200 100 re f 0 0 1 rg 300 300 150 150 re f 0 0.6 0 rg 60 100 400 60 re f Q\n";
    c += "q /Half gs 0.2 0.2 0.8 rg BT /F1 24 Tf 100 400 Td (Transparent heading) Tj ET Q\n";
    return c;
}

void Build(SDF::SDFDoc& doc)
{
    SDF::Obj* font = doc.CreateIndirectDict();
    font->PutName("Type", "Font");
    font->PutName("Subtype", "Type1");
    font->PutName("BaseFont", "Helvetica");
    std::string text = Content();
    SDF::Obj* content = doc.CreateIndirectStream(Common::Bytes(text.begin(), text.end()));
    SDF::Obj* page = doc.CreateIndirectDict();
    page->PutName("Type", "Page");
    SDF::Obj* box = page->PutArray("MediaBox");
    for (double v : {0, 0, 612, 792}) box->PushBackNumber(v);
    SDF::Obj* res = page->PutDict("Resources");
    res->PutDict("Font")->Put("F1", font);
    res->PutDict("ExtGState")->PutDict("Half")->PutNumber("ca", 0.5);
    page->Put("Contents", content);
    SDF::Obj* pages = doc.CreateIndirectDict();
    pages->PutName("Type", "Pages");
    pages->PutArray("Kids")->PushBack(page);
    pages->PutNumber("Count", 1);
    page->Put("Parent", pages);
    SDF::Obj* catalog = doc.CreateIndirectDict();
    catalog->PutName("Type", "Catalog");
    catalog->Put("Pages", pages);
    doc.GetTrailer()->Put("Root", catalog);
}

void BM_FlattenPage(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        SDF::SDFDoc doc;
        Build(doc);
        PDF::PageTree pages(doc);
        PDF::ResourceCache cache;
        PDF::FlattenShared shared{cache};
        state.ResumeTiming();
        PDF::FlattenPDF f(doc, shared);
        f.SetDpi(static_cast<int>(state.range(0)));
        f.SetJpegQuality(85);
        f.Begin(pages.GetPage(0));
        while (!f.Step()) {
        }
    }
    state.SetLabel(std::to_string(state.range(0)) + " dpi");
}
BENCHMARK(BM_FlattenPage)->Arg(150)->Arg(300)->Unit(benchmark::kMillisecond);

void BM_RenderWholePage(benchmark::State& state)
{
    SDF::SDFDoc doc;
    Build(doc);
    PDF::PageTree pages(doc);
    Render::RenderOptions o;
    o.dpi = static_cast<double>(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(Render::RenderPage(doc, pages.GetPage(0), o));
    state.SetLabel(std::to_string(state.range(0)) + " dpi");
}
BENCHMARK(BM_RenderWholePage)->Arg(150)->Arg(300)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
