// The cost of a chain of variations: `dw_bench_chain [hours] [piece-seconds]
// [format] [out]` (default 8 h of 600 s pieces at 48000 Hz, effects on,
// -16 LUFS, to FLAC in a file beside the working folder) prints the wall
// time, the CPU time of all threads, the peak memory and each stage's time.
// Format "flac-one-thread" writes FLAC through libsndfile's encoder on the
// writing thread, as chains were written before FLAC was encoded on every
// core, to compare the two on the same machine at the same time.
// A command that prints figures, never a test.
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/audio/ChainWriter.h"
#include "core/model/Project.h"

using namespace dw;

namespace {

// A minute of two swelling tones with a little noise: the source the creation grains.
void SyntheticSource(CProperties& p, std::uint32_t frames) {
    p.sourceFrames = MakeSilentFrames(frames);
    p.sourceFrameCount = frames;
    p.sourceLoaded = true;
    std::uint32_t noise = 12345;
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / p.sampleRate;
        noise = noise * 1664525u + 1013904223u;
        const double n = (static_cast<double>(noise >> 8) / 16777216.0 - 0.5) * 0.02;
        const double swell = 0.6 + 0.4 * std::sin(2.0 * 3.141592653589793 * 0.1 * t);
        const double a = std::sin(2.0 * 3.141592653589793 * 220.0 * t);
        const double b = std::sin(2.0 * 3.141592653589793 * 331.0 * t);
        p.sourceFrames[i].left = static_cast<float>(swell * (0.5 * a + 0.2 * b) + n);
        p.sourceFrames[i].right = static_cast<float>(swell * (0.2 * a + 0.5 * b) - n);
    }
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const double hours = argc > 1 ? std::atof(argv[1]) : 8.0;
    const std::uint32_t pieceSeconds = argc > 2 ? static_cast<std::uint32_t>(std::atoi(argv[2])) : 600;
    std::string formatName = argc > 3 ? argv[3] : "flac";
    const bool oneThread = formatName == "flac-one-thread";
    if (oneThread) formatName = "flac";
    const std::string out = argc > 4 ? argv[4] : "/tmp/dw_bench_chain." + formatName;

    CProject project;
    project.SetDefaults();
    CProperties& p = project.properties;
    p.quality = 3;
    p.sampleRate = 48000;
    p.musicLength = pieceSeconds;
    p.highCutOn = p.reverbOn = p.chorusOn = true;
    SyntheticSource(p, 60 * p.sampleRate);

    ChainRequest request;
    request.plan.seed = 1;
    request.plan.pieceFrames = std::uint64_t{pieceSeconds} * p.sampleRate;
    request.plan.crossfadeFrames = 30ull * p.sampleRate;
    request.plan.totalFrames = static_cast<std::uint64_t>(hours * 3600.0 * p.sampleRate);
    request.target = out;
    request.format = *FormatFromName(formatName, p.sampleRate);
    request.finish.loudnessLufs = -16.0;
    request.flacOnOneThread = oneThread;

    NullProgress progress;
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    const ChainReport report = WriteChain(project, request, progress);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = CpuSeconds() - cpu0;
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    if (report.result != WriteResult::Written) {
        std::printf("failed: %s%s\n", report.problem.c_str(), report.error.reason.c_str());
        return 1;
    }
    const double musicHours = static_cast<double>(report.frames) / p.sampleRate / 3600.0;
    std::printf("chain: %.2f h of %u s pieces at %u Hz, effects on, -16 LUFS, to %s%s (%s)\n", musicHours,
                pieceSeconds, p.sampleRate, formatName.c_str(), oneThread ? " on one thread" : "", out.c_str());
    std::printf("pieces %llu  wall %.1f s (%.0fx real time)  cpu %.1f s  peak %.0f MiB\n",
                static_cast<unsigned long long>(report.pieces), wall, musicHours * 3600.0 / wall, cpu,
                static_cast<double>(u.ru_maxrss) / 1024.0);
    const ChainStageSeconds& s = report.seconds;
    std::printf("stages (wall, summed): creation %.1f s  finishing %.1f s  encoding+writing %.1f s  "
                "writer waiting for creation %.1f s\n",
                s.creation, s.finishing, s.encoding, s.waiting);
    std::printf("per hour of music: wall %.1f s  cpu %.1f s  creation %.1f s  finishing %.1f s  "
                "encoding+writing %.1f s  waiting %.1f s\n",
                wall / musicHours, cpu / musicHours, s.creation / musicHours, s.finishing / musicHours,
                s.encoding / musicHours, s.waiting / musicHours);
    return 0;
}
