// Recording-path costs: appending 100 ms blocks for a 300 s recording, and encoding that recording as WAV,
// measured beside a plain memcpy of the same float samples.
#include "app/DictationSession.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

using namespace vokari;

namespace {

constexpr std::size_t kBlock = 1600;                    // 100 ms at 16 kHz
constexpr std::size_t kBlocks = 3000;                   // 300 s
constexpr std::size_t kSamples = kBlock * kBlocks;      // 4 800 000

std::vector<float> speechLike(std::size_t n) {
    std::vector<float> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = 0.6f * std::sin(static_cast<float>(i) * 0.05f) + ((i % 97 == 0) ? 0.7f : 0.0f);
    }
    return v;
}

void BM_Append300sIn100msBlocks(benchmark::State& state) {
    auto block = speechLike(kBlock);
    for (auto _ : state) {
        DictationSession session;
        for (std::size_t i = 0; i < kBlocks; ++i) {
            session.appendSamples(block);
        }
        benchmark::DoNotOptimize(session.sampleCount());
    }
    // The session stores one std::vector<float>; the same appends into one count its reallocations.
    std::vector<float> probe;
    std::size_t reallocations = 0;
    for (std::size_t i = 0; i < kBlocks; ++i) {
        auto before = probe.capacity();
        probe.insert(probe.end(), block.begin(), block.end());
        reallocations += probe.capacity() != before;
    }
    state.counters["reallocations"] = static_cast<double>(reallocations);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSamples * sizeof(float)));
}

void BM_Encode300s(benchmark::State& state) {
    DictationSession session;
    session.appendSamples(speechLike(kSamples));
    for (auto _ : state) {
        auto wav = session.getWAVData();
        benchmark::DoNotOptimize(wav.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSamples * sizeof(float)));
}

void BM_MemcpySameFloats(benchmark::State& state) {
    auto src = speechLike(kSamples);
    for (auto _ : state) {
        std::vector<float> dst(kSamples);
        std::memcpy(dst.data(), src.data(), kSamples * sizeof(float));
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSamples * sizeof(float)));
}

} // namespace

BENCHMARK(BM_Append300sIn100msBlocks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode300s)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpySameFloats)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
