// The cost of walking a large object graph: 200,000 indirect dictionaries in a tree (each
// with a Kids array of references, a number, a name and a string), walked from the root
// through every reference. Once in memory, and once opened from its saved bytes so that
// every object is parsed on first use. The saved file is then checked by `qpdf --check`
// (which also reads every object) and the ratio of the two times is printed.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"

using namespace qvx;

namespace {

constexpr std::uint32_t kObjects = 200000;

// A tree of kObjects dictionaries under the catalog's /Tree entry; returns the catalog.
SDF::Obj* BuildGraph(SDF::SDFDoc& doc)
{
    std::vector<SDF::Obj*> nodes;
    nodes.reserve(kObjects);
    for (std::uint32_t i = 0; i < kObjects; ++i) {
        SDF::Obj* d = doc.CreateIndirectDict();
        d->PutNumber("Value", i);
        d->PutName("Kind", i % 2 ? "Odd" : "Even");
        d->PutString("Label", "node");
        nodes.push_back(d);
    }
    for (std::uint32_t i = 0; i < kObjects; ++i) {
        SDF::Obj* kids = nodes[i]->PutArray("Kids");
        for (std::uint32_t k = 2 * i + 1; k <= 2 * i + 2 && k < kObjects; ++k) kids->PushBack(nodes[k]);
    }
    SDF::Obj* catalog = doc.CreateIndirectDict();
    catalog->PutName("Type", "Catalog");
    catalog->Put("Tree", nodes[0]);
    doc.GetTrailer()->Put("Root", catalog);
    return catalog;
}

// Visits every object reachable from root once; returns how many values were seen.
std::size_t Walk(SDF::Obj* root)
{
    std::vector<SDF::Obj*> stack{root};
    std::vector<bool> seen;
    std::size_t values = 0;
    while (!stack.empty()) {
        SDF::Obj* o = stack.back();
        stack.pop_back();
        if (o->IsIndirect()) {
            std::uint32_t n = o->GetObjNum();
            if (n >= seen.size()) seen.resize(n + 1);
            if (seen[n]) continue;
            seen[n] = true;
        }
        SDF::Obj* v = o->Resolve();
        ++values;
        if (v->IsDict()) {
            for (auto it = v->DictBegin(); it.HasNext(); it.Next()) stack.push_back(it.Value());
        } else if (v->IsArray()) {
            for (std::size_t i = 0; i < v->Size(); ++i) stack.push_back(v->GetAt(i));
        }
    }
    return values;
}

const Common::Bytes& SavedGraph()
{
    static const Common::Bytes bytes = [] {
        SDF::SDFDoc doc;
        BuildGraph(doc);
        return doc.SaveToBuffer(SDF::SDFDoc::e_classic_xref);
    }();
    return bytes;
}

void BM_WalkInMemory(benchmark::State& state)
{
    SDF::SDFDoc doc;
    SDF::Obj* root = BuildGraph(doc);
    for (auto _ : state) benchmark::DoNotOptimize(Walk(root));
    state.SetItemsProcessed(std::int64_t(state.iterations()) * kObjects);
}
BENCHMARK(BM_WalkInMemory)->Unit(benchmark::kMillisecond);

void BM_OpenAndWalk(benchmark::State& state)
{
    const Common::Bytes& bytes = SavedGraph();
    for (auto _ : state) {
        SDF::SDFDoc doc;
        doc.OpenBuffer(bytes);
        benchmark::DoNotOptimize(Walk(doc.GetTrailer()));
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * kObjects);
}
BENCHMARK(BM_OpenAndWalk)->Unit(benchmark::kMillisecond);

// Best of three wall times of f, in seconds.
template <class F>
double BestOfThree(F f)
{
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        auto start = std::chrono::steady_clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    if (std::system("command -v qpdf >/dev/null 2>&1") != 0) return 0;
    const auto path = std::filesystem::temp_directory_path() / "tolva-objgraph-bench.pdf";
    {
        const Common::Bytes& bytes = SavedGraph();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
    }
    const double ours = BestOfThree([&] {
        SDF::SDFDoc doc;
        doc.OpenFile(path.string());
        benchmark::DoNotOptimize(Walk(doc.GetTrailer()));
    });
    const std::string check = "qpdf --check '" + path.string() + "' >/dev/null 2>&1";
    const double qpdf = BestOfThree([&] { benchmark::DoNotOptimize(std::system(check.c_str())); });
    std::filesystem::remove(path);
    std::printf("object graph (%u objects): open+walk %.3f s, qpdf --check %.3f s, ratio %.2f\n", kObjects, ours, qpdf,
                ours / qpdf);
    return 0;
}
