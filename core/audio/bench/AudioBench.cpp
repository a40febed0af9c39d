// What the device thread spends per block: the three effects at the project's
// highest rate, the output converter from 11025 Hz to the device's 44100 Hz,
// and the copy of PlaybackStreamProc. Built, never run as a test.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/audio/Effects.h"
#include "core/audio/Mastering.h"
#include "core/model/Properties.h"
#include "core/audio/Playback.h"
#include "core/audio/RateConverter.h"

namespace {

constexpr std::size_t kBlock = 512;

void BM_EffectsChain(benchmark::State& state) {
    dw::LowPassFilter lp;
    dw::Reverb rv;
    dw::Chorus ch;
    lp.Prepare(48000);
    rv.Prepare(48000);
    ch.Prepare(48000);
    lp.SetParams(dw::HighCutParams(0.25, 48000));
    rv.SetParams(dw::ReverbParamsFor(0.25));
    ch.SetParams(dw::ChorusParamsFor(0.25));
    std::vector<float> block(2 * kBlock, 0.1f);
    for (auto _ : state) {
        ch.Process(block.data(), kBlock);
        rv.Process(block.data(), kBlock);
        lp.Process(block.data(), kBlock);
        benchmark::DoNotOptimize(block.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kBlock));
}
BENCHMARK(BM_EffectsChain);

void BM_OutputConverter(benchmark::State& state) {
    dw::RateConverter conv;
    conv.Prepare(11025, 44100, kBlock);
    std::vector<float> out(2 * kBlock);
    for (auto _ : state) {
        conv.Render(out.data(), kBlock, [](float* d, std::size_t n) { std::fill(d, d + 2 * n, 0.25f); });
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kBlock));
}
BENCHMARK(BM_OutputConverter);

void BM_PlaybackStreamProc(benchmark::State& state) {
    std::vector<dw::StereoFrame> music(48000 * 60);
    dw::PlaybackStream record;
    record.data = music.data();
    record.frames = static_cast<std::int32_t>(music.size());
    record.total = static_cast<std::uint32_t>(music.size() * 8);
    std::vector<float> dest(2 * kBlock);
    for (auto _ : state) {
        if (dw::PlaybackStreamProc(nullptr, dest.data(), kBlock * 8, &record) & dw::kStreamEnd) record.position = 0;
        benchmark::DoNotOptimize(dest.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kBlock));
}
BENCHMARK(BM_PlaybackStreamProc);

// Finishing a written file: 60 minutes at 48000 Hz, the whole offline effect
// chain (loop warm-up included) and the loudness measurement with its 4x
// oversampled true peak. Compare with the render of the same piece
// (bench/EngineBench.cpp); together they should stay under a quarter of it.
std::vector<dw::StereoFrame>& HourAt48k() {
    static std::vector<dw::StereoFrame> music = [] {
        std::vector<dw::StereoFrame> m(48000u * 3600u);
        for (std::size_t i = 0; i < m.size(); ++i) {
            const double t = static_cast<double>(i) / 48000.0;
            m[i].left = static_cast<float>(0.3 * std::sin(2 * M_PI * 220.0 * t) * std::sin(0.1 * t));
            m[i].right = static_cast<float>(0.3 * std::sin(2 * M_PI * 331.0 * t) * std::cos(0.07 * t));
        }
        return m;
    }();
    return music;
}

void BM_HourOfEffectsOffline(benchmark::State& state) {
    auto& music = HourAt48k();
    dw::CProperties p;
    p.SetDefaults();
    p.highCutOn = p.reverbOn = p.chorusOn = true;
    p.loopMusic = true;
    for (auto _ : state) {
        dw::ApplyEffectsOffline(music, 48000, p, p.loopMusic);
        benchmark::DoNotOptimize(music.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * music.size()));
}
BENCHMARK(BM_HourOfEffectsOffline)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

void BM_HourOfLoudness(benchmark::State& state) {
    auto& music = HourAt48k();
    for (auto _ : state) benchmark::DoNotOptimize(dw::MeasureLoudness(music, 48000));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * music.size()));
}
BENCHMARK(BM_HourOfLoudness)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

// Both as a written file is finished: the effects, and the measurement taken
// in the same sweep, then the one scaling to -16 LUFS.
void BM_HourFinished(benchmark::State& state) {
    auto& music = HourAt48k();
    dw::CProperties p;
    p.SetDefaults();
    p.highCutOn = p.reverbOn = p.chorusOn = true;
    dw::FinishOptions options;
    options.loudnessLufs = -16.0;
    double effects = 0.0, level = 0.0;
    for (auto _ : state) {
        dw::FinishReport report;
        std::string problem;
        if (!dw::FinishForFile(music, 48000, p, options, nullptr, report, problem)) state.SkipWithError(problem.c_str());
        effects += report.effectsSeconds;
        level += report.levelSeconds;
    }
    const auto runs = static_cast<double>(std::max<benchmark::IterationCount>(1, state.iterations()));
    state.counters["effects_and_measure_ms"] = 1000.0 * effects / runs;
    state.counters["scaling_ms"] = 1000.0 * level / runs;
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * music.size()));
}
BENCHMARK(BM_HourFinished)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
