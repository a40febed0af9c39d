// How long the trim dialog's waveform takes to paint its data for a long
// source: the first paint at a size computes the peaks of every column, later
// paints only read the cache. Built, never registered as a test.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "core/geometry/TrimGeometry.h"

namespace {

std::vector<float> LongSource(std::uint32_t frames) {
    std::vector<float> data(2 * static_cast<std::size_t>(frames));
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<float>(std::sin(i * 0.001));
    return data;
}

constexpr std::uint32_t kSixtyMinutes = 60u * 60u * 48000u;

void BM_PeaksFirstPaint(benchmark::State& state) {
    static const auto data = LongSource(kSixtyMinutes);
    const int width = static_cast<int>(state.range(0));
    for (auto _ : state) {
        dw::WavePeakCache cache;
        benchmark::DoNotOptimize(cache.Get(data.data(), kSixtyMinutes, width).data());
    }
}
BENCHMARK(BM_PeaksFirstPaint)->Arg(700)->Arg(1400)->Unit(benchmark::kMicrosecond);

void BM_PeaksCachedPaint(benchmark::State& state) {
    static const auto data = LongSource(kSixtyMinutes);
    const int width = static_cast<int>(state.range(0));
    dw::WavePeakCache cache;
    cache.Get(data.data(), kSixtyMinutes, width);
    for (auto _ : state) benchmark::DoNotOptimize(cache.Get(data.data(), kSixtyMinutes, width).data());
}
BENCHMARK(BM_PeaksCachedPaint)->Arg(700)->Arg(1400)->Unit(benchmark::kMicrosecond);

}  // namespace
