// Writing FLAC: libsndfile on one thread (as every FLAC file was written
// before) against WriteSoundFile's encoding on one worker and on every core.
// Prints wall and CPU time and the size of each file; built, never a test.
//
//   dw_flac_bench [MUSIC.wav] [FOLDER]
//
// MUSIC.wav (any file libsndfile reads, taken as stereo at its own rate) is
// the music, for instance an hour rendered by `driftwell-cli render --quality
// 3 --length 3599 -o hour.wav`; without it, ten minutes of tones with a
// little noise at 48000 Hz. The files are written into FOLDER (default: the
// temporary folder) and removed.
#include <sndfile.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/audio/Export.h"
#include "core/audio/FlacWriter.h"

namespace {

double CpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

bool Load(const char* path, std::vector<dw::StereoFrame>& music, std::uint32_t& rate) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path, SFM_READ, &info);
    if (f == nullptr) return false;
    rate = static_cast<std::uint32_t>(info.samplerate);
    music.resize(static_cast<std::size_t>(info.frames));
    std::vector<float> block(static_cast<std::size_t>(65536 * info.channels));
    std::size_t at = 0;
    sf_count_t got = 0;
    while ((got = sf_readf_float(f, block.data(), 65536)) > 0) {
        for (sf_count_t i = 0; i < got && at < music.size(); ++i, ++at) {
            const float l = block[static_cast<std::size_t>(i * info.channels)];
            music[at] = {l, info.channels > 1 ? block[static_cast<std::size_t>(i * info.channels + 1)] : l};
        }
    }
    music.resize(at);
    sf_close(f);
    return true;
}

void Synthetic(std::vector<dw::StereoFrame>& music, std::uint32_t& rate) {
    rate = 48000;
    music.resize(std::size_t{rate} * 600);
    std::uint32_t noise = 1;
    for (std::size_t i = 0; i < music.size(); ++i) {
        noise = noise * 1664525u + 1013904223u;
        const double t = static_cast<double>(i) / rate;
        const double s = 0.3 * std::sin(2 * M_PI * 220 * t) * (0.6 + 0.4 * std::sin(0.1 * t)) +
                         0.2 * std::sin(2 * M_PI * 331 * t + std::sin(0.7 * t)) +
                         static_cast<std::int32_t>(noise) * 2e-12;
        music[i] = {static_cast<float>(s), static_cast<float>(0.8 * s - 0.1 * std::sin(2 * M_PI * 97 * t))};
    }
}

bool WriteWithLibsndfile(const std::filesystem::path& path, const std::vector<dw::StereoFrame>& music,
                         std::uint32_t rate) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = 2;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (f == nullptr) return false;
    sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const auto* samples = reinterpret_cast<const float*>(music.data());
    const std::size_t total = 2 * music.size();
    for (std::size_t at = 0; at < total; at += 2 * 16384) {
        const auto n = static_cast<sf_count_t>(std::min<std::size_t>(2 * 16384, total - at));
        if (sf_write_float(f, samples + at, n) != n) return sf_close(f), false;
    }
    return sf_close(f) == 0;
}

void Measure(const char* what, const std::filesystem::path& path, const std::function<bool()>& write) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu = CpuSeconds();
    const bool ok = write();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double used = CpuSeconds() - cpu;
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    std::printf("%-34s %s wall %6.2f s  cpu %6.2f s  size %llu bytes\n", what, ok ? "  " : "FAILED", wall, used,
                static_cast<unsigned long long>(ec ? 0 : size));
    std::filesystem::remove(path, ec);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<dw::StereoFrame> music;
    std::uint32_t rate = 0;
    if (argc > 1 ? !Load(argv[1], music, rate) : (Synthetic(music, rate), false)) {
        std::fprintf(stderr, "dw_flac_bench: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::filesystem::path folder = argc > 2 ? argv[2] : std::filesystem::temp_directory_path();
    const auto frames = static_cast<std::uint32_t>(music.size());
    std::printf("%u frames at %u Hz (%.1f minutes), %u cores\n", frames, rate, frames / (60.0 * rate),
                std::thread::hardware_concurrency());
    const dw::SoundFormat format = *dw::FormatFromName("flac", rate);
    dw::NullProgress progress;
    const auto path = folder / ("dw-flac-bench-" + std::to_string(::getpid()) + ".flac");
    Measure("libsndfile, one thread", path, [&] { return WriteWithLibsndfile(path, music, rate); });
    for (unsigned workers : {1u, 0u}) {
        const std::string what = workers == 1 ? "WriteFlacFile, one worker" : "WriteFlacFile, one worker per core";
        Measure(what.c_str(), path, [&] {
            dw::WriteError error;
            return dw::WriteFlacFile(path, music.data(), frames, format, progress, error, {}, {workers}) ==
                   dw::WriteResult::Written;
        });
    }
    return 0;
}
