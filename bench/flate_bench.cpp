// Flate decoding throughput: the filter chain (MemoryFilter -> FlateDecode, read through
// its window as the parser does) against zlib's inflate called directly on the same data
// into a buffer of the same size. Prints the chain's throughput as a share of zlib's.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>

#include "filters/FilterReader.h"
#include "filters/FlateDecode.h"
#include "filters/MemoryFilter.h"

using namespace qvx;

namespace {

constexpr std::size_t kPlainSize = 16u << 20;
constexpr std::size_t kOutChunk = 1u << 16;

// Content-stream-like text with some noise: compresses about as real page content does.
const Common::Bytes& Plain()
{
    static const Common::Bytes data = [] {
        std::mt19937 rng(7);
        const char* words[] = {"BT ", "/F1 12 Tf ", "(Hello world) Tj ", "ET\n", "q 1 0 0 1 72 720 cm ", "Q\n",
                               "0.5 g ", "100 200 m 300 400 l S\n"};
        Common::Bytes out;
        out.reserve(kPlainSize);
        while (out.size() < kPlainSize) {
            if (rng() % 6 == 0) {
                out.push_back(Common::Byte(rng()));
            } else {
                for (const char* p = words[rng() % 8]; *p; ++p) out.push_back(Common::Byte(*p));
            }
        }
        out.resize(kPlainSize);
        return out;
    }();
    return data;
}

const Common::Bytes& Packed()
{
    static const Common::Bytes data = [] {
        const Common::Bytes& plain = Plain();
        uLongf len = compressBound(uLong(plain.size()));
        Common::Bytes out(len);
        compress2(out.data(), &len, plain.data(), uLong(plain.size()), 6);
        out.resize(len);
        return out;
    }();
    return data;
}

void BM_ZlibInflate(benchmark::State& state)
{
    const Common::Bytes& in = Packed();
    Common::Bytes out(kOutChunk);
    for (auto _ : state) {
        z_stream zs{};
        inflateInit(&zs);
        zs.next_in = const_cast<Common::Byte*>(in.data());
        zs.avail_in = uInt(in.size());
        std::size_t total = 0;
        int rc;
        do {
            zs.next_out = out.data();
            zs.avail_out = uInt(out.size());
            rc = inflate(&zs, Z_NO_FLUSH);
            total += out.size() - zs.avail_out;
        } while (rc == Z_OK);
        inflateEnd(&zs);
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kPlainSize));
}
BENCHMARK(BM_ZlibInflate)->Unit(benchmark::kMillisecond);

void BM_FlateDecodeChain(benchmark::State& state)
{
    const Common::Bytes& in = Packed();
    for (auto _ : state) {
        Filters::FlateDecode dec(Filters::MemoryFilter::View(in));
        std::size_t total = 0;
        for (std::size_t n; (n = dec.Size()) > 0;) {
            benchmark::DoNotOptimize(dec.Begin());
            dec.Consume(n);
            total += n;
        }
        if (total != kPlainSize) state.SkipWithError("wrong size");
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kPlainSize));
}
BENCHMARK(BM_FlateDecodeChain)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's CPU time per iteration (wall time suffers from whatever else the
// machine runs) to print the ratio at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration) m_times[r.benchmark_name()] = r.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> m_times;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double zlib = reporter.m_times["BM_ZlibInflate"], chain = reporter.m_times["BM_FlateDecodeChain"];
    if (zlib > 0 && chain > 0)
        std::printf("flate: filter chain throughput / zlib inflate = %.3f (%zu MiB from %zu KiB)\n", zlib / chain,
                    kPlainSize >> 20, Packed().size() >> 10);
    return 0;
}
