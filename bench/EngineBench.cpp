// The engine's hot path: the default project (64 s, four sections, default
// matrix) from a synthetic source, at 11025 and 44100 Hz. Whole Create and
// rendering alone (stages C and D from a finished plan), production renderer
// against the scalar reference in the same run, with grain-frames per second,
// and the stages of a creation (plan_ms, render_ms, finish_ms: the passes
// after the grains). BM_CreateProduction/11025 is the creation after an edit
// in the program: same length, buffers and threads reused.
// BM_Command is the command line's render from start to file, stage by stage:
// decode a float WAV source, create in place into a fresh engine, write a
// float WAV (decode_ms, plan_ms, render_ms, finish_ms, write_ms). Its
// arguments are the rate, the length in seconds (0: the project's 64) and
// whether the written file is finished: high-cut, reverb and chorus on and a
// loudness target of -16 LUFS as the command finishes a file, reported as
// effects_ms and loudness_ms (measurement, true peak, the one scaling) and as a
// share of the creation (plan, render, final passes: finishing_share) and of
// the whole unfinished command (finishing_share_of_command).
// BM_Command/48000/3599/1 is the 60-minute piece of the finishing goal:
//   dw_bench_engine --benchmark_filter=BM_Command/48000
//
//   dw_bench_engine --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
// On a busy machine compare the CPU column of the one-thread runs: it counts
// the rendering thread only.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <thread>

#include "core/audio/Export.h"
#include "core/audio/Mastering.h"
#include "core/audio/SourceLoader.h"
#include "core/engine/MusicEngine.h"
#include "core/model/Progress.h"
#include "core/model/Project.h"

namespace {

using dw::CMusicEngine;
using dw::CProject;
using dw::CreateOptions;
using dw::RenderMode;

// Counts the grain-frames of one render.

void MakeProject(CProject& project, std::uint32_t rate) {
    project.SetDefaults();
    project.properties.sampleRate = rate;
    project.properties.quality = rate == 44100 ? 2 : 0;
    const std::uint32_t frames = 180 * rate;  // three minutes of source
    project.properties.sourceFrames = dw::MakeSilentFrames(frames);
    project.properties.sourceFrameCount = frames;
    project.properties.sourceLoaded = true;
    std::uint32_t noise = 1;
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        noise = noise * 1664525u + 1013904223u;
        const double n = (static_cast<double>(noise >> 8) / 16777216.0 - 0.5) * 0.05;
        project.properties.sourceFrames[i].left = static_cast<float>(0.5 * std::sin(2 * M_PI * 220 * t) + n);
        project.properties.sourceFrames[i].right = static_cast<float>(0.5 * std::sin(2 * M_PI * 330 * t) - n);
    }
}

// Grain-frames of the default project's render: the sum of every grain's
// length (dropped tail samples included), computed from the plan's sections.
double GrainFrames(const CProject& project, const CMusicEngine& engine) {
    double total = 0;
    const std::int32_t rate = static_cast<std::int32_t>(engine.SampleRate());
    const std::int64_t frames = engine.OutputFrameCount();
    const auto& plan = engine.PlannedSections();
    std::int64_t position = 0;
    std::int64_t sectionEnd = -1;
    std::size_t index = 0;
    std::uint32_t length = 0;
    std::int64_t hop = 1;
    while (position < frames) {
        if (position > sectionEnd && index < plan.size()) {
            const int column = plan[index].section;
            const double g = dw::MatrixValue(project.matrix, dw::kGranulation, column);
            length = dw::GrainLengthFrames(g, rate);
            const double c = 50.0 + 450.0 * g;
            const double density = c + 2.0 * dw::MatrixValue(project.matrix, dw::kSmoothness, column) * c;
            hop = static_cast<std::int64_t>(rate / density);
            sectionEnd = plan[index].outputEnd;
            ++index;
        }
        total += length;
        position += hop;
    }
    return total;
}

// CPU seconds of the whole process (every thread) so far. On a machine that
// other work keeps busy, CPU time over threads estimates the wall time the
// render would take on idle cores.
double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

void Run(benchmark::State& state, RenderMode mode, bool whole) {
    const auto rate = static_cast<std::uint32_t>(state.range(0));
    static std::unique_ptr<CProject> project;
    static std::uint32_t projectRate = 0;
    if (!project || projectRate != rate) {
        project = std::make_unique<CProject>();
        MakeProject(*project, rate);
        projectRate = rate;
    }
    CMusicEngine engine;
    dw::NullProgress progress;
    CreateOptions options;
    options.random = dw::Random(2026);
    options.renderer = mode;
    options.threads = static_cast<unsigned>(state.range(1));
    if (!engine.Create(*project, progress, options)) {
        state.SkipWithError("creation failed");
        return;
    }
    const double grainFrames = GrainFrames(*project, engine);
    const double cpuBefore = ProcessCpuSeconds();
    CMusicEngine::StageSeconds stages;
    for (auto _ : state) {
        const bool ok = whole ? engine.Create(*project, progress, options) : engine.Rerender(progress, options);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(engine.Output()[0]);
        stages.plan += engine.LastStageSeconds().plan;
        stages.render += engine.LastStageSeconds().render;
        stages.finish += engine.LastStageSeconds().finish;
    }
    const double perIteration = 1000.0 / static_cast<double>(state.iterations());
    if (whole) state.counters["plan_ms"] = stages.plan * perIteration;
    state.counters["render_ms"] = stages.render * perIteration;
    state.counters["finish_ms"] = stages.finish * perIteration;
    state.counters["cpu_ms_all_threads"] =
        (ProcessCpuSeconds() - cpuBefore) * 1000.0 / static_cast<double>(state.iterations());
    state.counters["grain_frames_per_s"] =
        benchmark::Counter(grainFrames * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["threads"] =
        options.threads == 0 ? std::max(1u, std::thread::hardware_concurrency()) : options.threads;
}

void BM_CreateProduction(benchmark::State& s) { Run(s, RenderMode::Production, true); }
void BM_RenderProduction(benchmark::State& s) { Run(s, RenderMode::Production, false); }
void BM_CreateReference(benchmark::State& s) { Run(s, RenderMode::Reference, true); }
void BM_RenderReference(benchmark::State& s) { Run(s, RenderMode::Reference, false); }

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The command line's render, stage by stage, as driftwell-cli render does it:
// a fresh engine each time, so allocating and first touching the music buffer
// count too.
void BM_Command(benchmark::State& state) {
    const auto rate = static_cast<std::uint32_t>(state.range(0));
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("dw-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path source = folder / "source.wav";
    const std::filesystem::path target = folder / "music.wav";
    const dw::SoundFormat wavFloat = *dw::FormatFromName("wav-float", rate);
    dw::NullProgress progress;
    {
        CProject synthetic;
        MakeProject(synthetic, rate);
        if (dw::WriteSoundFile(source, synthetic.properties.sourceFrames.get(), synthetic.properties.sourceFrameCount,
                               rate, wavFloat, progress) != dw::WriteResult::Written) {
            state.SkipWithError("cannot write the source");
            return;
        }
    }
    const auto seconds = static_cast<std::uint32_t>(state.range(1));
    const bool finished = state.range(2) != 0;
    double decode = 0, plan = 0, render = 0, finish = 0, effects = 0, loudness = 0, write = 0;
    for (auto _ : state) {
        CProject project;
        project.SetDefaults();
        project.properties.sampleRate = rate;
        project.properties.quality = rate == 48000 ? 3 : rate == 44100 ? 2 : 0;
        project.properties.sourcePath = source.string();
        if (seconds != 0) project.properties.musicLength = seconds;
        if (finished) project.properties.highCutOn = project.properties.reverbOn = project.properties.chorusOn = true;
        auto start = std::chrono::steady_clock::now();
        if (!dw::DecodeSource(project.properties, progress)) {
            state.SkipWithError("decoding failed");
            break;
        }
        decode += Since(start);
        CMusicEngine engine;
        CreateOptions options;
        options.random = dw::Random(2026);
        options.renderInPlace = true;
        if (!engine.Create(project, progress, options)) {
            state.SkipWithError("creation failed");
            break;
        }
        plan += engine.LastStageSeconds().plan;
        render += engine.LastStageSeconds().render;
        finish += engine.LastStageSeconds().finish;
        if (finished) {
            // As the command finishes a file: effects, then the loudness
            // measured and every gain made in one pass.
            dw::FinishOptions finishing;
            finishing.loudnessLufs = -16.0;
            dw::FinishReport report;
            std::string problem;
            if (!dw::FinishForFile(std::span(engine.MutableOutput(), engine.OutputFrameCount()), rate,
                                   project.properties, finishing, nullptr, report, problem)) {
                state.SkipWithError(("finishing failed: " + problem).c_str());
                break;
            }
            effects += report.effectsSeconds;
            loudness += report.levelSeconds;
        }
        start = std::chrono::steady_clock::now();
        if (dw::WriteSoundFile(target, engine.Output(), engine.OutputFrameCount(), rate, wavFloat, progress) !=
            dw::WriteResult::Written) {
            state.SkipWithError("writing failed");
            break;
        }
        write += Since(start);
    }
    std::filesystem::remove_all(folder);
    const double perIteration = 1000.0 / static_cast<double>(std::max<benchmark::IterationCount>(1, state.iterations()));
    state.counters["decode_ms"] = decode * perIteration;
    state.counters["plan_ms"] = plan * perIteration;
    state.counters["render_ms"] = render * perIteration;
    state.counters["finish_ms"] = finish * perIteration;
    state.counters["write_ms"] = write * perIteration;
    if (finished) {
        state.counters["effects_ms"] = effects * perIteration;
        state.counters["loudness_ms"] = loudness * perIteration;
        // Against the creation alone, and against the whole command that
        // renders the piece to a file without finishing it.
        state.counters["finishing_share"] = (effects + loudness) / std::max(1e-9, plan + render + finish);
        state.counters["finishing_share_of_command"] =
            (effects + loudness) / std::max(1e-9, decode + plan + render + finish + write);
    }
}

// Arguments: sample rate, render threads (0: one per core; the reference
// always runs on one).
BENCHMARK(BM_RenderProduction)->ArgsProduct({{11025, 44100}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CreateProduction)->ArgsProduct({{11025, 44100}, {0}})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RenderReference)->ArgsProduct({{11025, 44100}, {1}})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_CreateReference)->ArgsProduct({{11025, 44100}, {1}})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_Command)->Args({44100, 0, 0})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Command)->Args({48000, 3599, 1})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
