#pragma once
// Helpers for the filter tests: sources that hand out data in small windows, a sink that
// fills up, and one-call wrappers around decode and encode chains.

#include <functional>
#include <memory>
#include <random>

#include "common/Exception.h"
#include "filters/Filter.h"
#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"

namespace qvx::Test {

using Common::Byte;
using Common::Bytes;

// An input whose window is never larger than `step` bytes, to exercise refill paths.
class TrickleSource : public Filters::Filter {
public:
    TrickleSource(Bytes data, std::size_t step) : Filter(e_input), m_data(std::move(data)), m_step(step) {}
    const char* GetName() const override { return "Trickle"; }
    Byte* Begin() override { return m_data.data() + m_pos; }
    std::size_t Size() override { return std::min(m_step, m_data.size() - m_pos); }
    void Consume(std::size_t n) override { m_pos += std::min(n, Size()); }
    std::uint64_t Count() const override { return m_pos; }
    std::uint64_t SetCount(std::uint64_t) override { return m_pos; }

private:
    Bytes m_data;
    std::size_t m_step;
    std::size_t m_pos = 0;
};

// An output that takes `capacity` bytes and then offers no more space.
class FullSink : public Filters::Filter {
public:
    explicit FullSink(std::size_t capacity) : Filter(e_output), m_buf(capacity) {}
    const char* GetName() const override { return "FullSink"; }
    Byte* Begin() override { return m_buf.data() + m_pos; }
    std::size_t Size() override { return m_buf.size() - m_pos; }
    void Consume(std::size_t n) override { m_pos += std::min(n, Size()); }
    std::uint64_t Count() const override { return m_pos; }
    std::uint64_t SetCount(std::uint64_t) override { return m_pos; }

private:
    Bytes m_buf;
    std::size_t m_pos = 0;
};

// The message of the engine exception fn throws, or "(no exception)".
inline std::string MessageOf(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const Common::Exception& e) {
        return e.GetMessage();
    }
    return "(no exception)";
}

using DecoderMaker = std::function<std::unique_ptr<Filters::Filter>(std::unique_ptr<Filters::Filter>)>;
using EncoderMaker = DecoderMaker;

// Decodes data through the decoder made by `make`, its input arriving `step` bytes at a time.
inline Bytes Decode(const DecoderMaker& make, const Bytes& data, std::size_t step = 1 << 20)
{
    auto f = make(std::make_unique<TrickleSource>(data, step));
    Filters::FilterReader r(*f);
    return r.ReadAll();
}

// Encodes data written in pieces of `step` bytes into a memory sink; returns the result.
inline Bytes Encode(const EncoderMaker& make, const Bytes& data, std::size_t step = 1 << 20)
{
    auto sink = std::make_unique<Filters::MemoryFilter>();
    auto* mem = sink.get();
    auto f = make(std::move(sink));
    Filters::FilterWriter w(*f);
    for (std::size_t i = 0; i < data.size(); i += step)
        w.WriteBuffer(data.data() + i, std::min(step, data.size() - i));
    w.Finish();
    return mem->Release();
}

// Text-like bytes with repetitions (compressible) mixed with noise, reproducible by seed.
inline Bytes SampleData(std::size_t n, unsigned seed = 1)
{
    std::mt19937 rng(seed);
    Bytes out;
    out.reserve(n);
    const char* words[] = {"BT ", "/F1 12 Tf ", "(Hello) Tj ", "ET\n", "q 1 0 0 1 0 0 cm ", "Q\n"};
    while (out.size() < n) {
        if (rng() % 8 == 0) {
            out.push_back(static_cast<Byte>(rng()));
        } else {
            for (const char* p = words[rng() % 6]; *p && out.size() < n; ++p) out.push_back(static_cast<Byte>(*p));
        }
    }
    return out;
}

}  // namespace qvx::Test
