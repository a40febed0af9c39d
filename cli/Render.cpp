#include "cli/Render.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <new>
#include <ostream>
#include <sstream>
#include <system_error>

#include "audio/Export.h"
#include "audio/SourceLoader.h"
#include "base/TextEscape.h"
#include "cli/Cli.h"
#include "cli/ConsoleProgress.h"
#include "cli/PlanJson.h"
#include "cli/ProjectIo.h"
#include "cli/ProjectJson.h"
#include "engine/MusicEngine.h"
#include "model/Project.h"
#include "model/Properties.h"
#include "model/Random.h"
#include "resources/StringTable.h"

namespace dw::cli {

namespace {

namespace fs = std::filesystem;

// A file's name as a message shows it: a name may hold control characters
// (a source path stored in a project can hold anything), which must never
// reach the terminal raw.
std::string Shown(const fs::path& path) { return EscapeForDisplay(path.string()); }

constexpr std::string_view kFormatNames =
    "wav-float, wav16, wav-ima-adpcm, wav-ms-adpcm, wav-gsm, wav-ulaw, wav-alaw, mp3, flac, ogg, opus";

// Checks before any long work that the file can be created where it is asked
// for, so that a typo is not found only after minutes of rendering.
std::string CheckWritableTarget(const fs::path& target) {
    std::error_code ec;
    if (fs::is_directory(target, ec)) return Shown(target) + " is a folder.";
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    if (!fs::is_directory(folder, ec)) return "The folder " + Shown(folder) + " does not exist.";
    // Try it rather than ask access(): root passes access() on a read-only
    // file system, and the writer would then fail only after the render.
    const fs::path probe = folder / (".driftwell-probe-" + std::to_string(::getpid()));
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) return "Cannot write to the folder " + Shown(folder) + ".";
    ::close(fd);
    fs::remove(probe, ec);
    return {};
}

// True when both name one file: the same existing file (links included), or
// the same place for a file that does not exist yet.
bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    if (fs::equivalent(a, b, ec)) return true;
    const fs::path absA = fs::absolute(a, ec).lexically_normal();
    const fs::path absB = fs::absolute(b, ec).lexically_normal();
    return !ec && absA == absB;
}

// Writes `text` to `target` through a temporary file beside it, so that an
// existing file is replaced only by a complete one.
bool WriteTextAtomically(const fs::path& target, const std::string& text, IMessageSink& sink) {
    fs::path temp = target;
    temp += ".part-" + std::to_string(::getpid());
    {
        std::ofstream file(temp, std::ios::binary | std::ios::trunc);
        file << text;
        file.close();
        if (!file) {
            std::error_code ec;
            fs::remove(temp, ec);
            sink.ShowMessage(0, "Cannot write " + Shown(target), MessageIcon::Exclamation);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temp, target, ec);
    if (ec) {
        fs::remove(temp, ec);
        sink.ShowMessage(0, "Cannot write " + Shown(target), MessageIcon::Exclamation);
        return false;
    }
    return true;
}

// Linux grants nearly any allocation and kills the process later when the
// memory runs out. An hour at 48000 Hz needs close to 3 GB for the two music
// buffers, so the engine is told what this machine can hold: with a limit it
// refuses a render that does not fit with its own allocation message.
std::uint64_t CreationMemoryLimit(std::uint32_t sourceFrames) {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return 0;  // unknown: no limit
    const std::uint64_t usable = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 4 * 3;
    const std::uint64_t source = static_cast<std::uint64_t>(sourceFrames) * sizeof(StereoFrame);
    return usable > source ? usable - source : 1;
}

std::string Seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", s);
    return text;
}

int Render(const RenderRequest& request, std::ostream& out, ConsoleProgress& progress) {
    const auto started = std::chrono::steady_clock::now();
    auto usage = [&](const std::string& text) {
        progress.ShowMessage(0, text, MessageIcon::Exclamation);
        return kExitUsage;
    };
    auto failed = [&](const std::string& text) {
        progress.ShowMessage(0, text, MessageIcon::Exclamation);
        return kExitFailed;
    };

    // The project: the named one or the default, then the command line's changes.
    CProject project;
    project.SetDefaults();
    CProperties& properties = project.properties;
    if (!request.project.empty()) {
        // Loading takes a relative source path from the project's folder.
        if (!LoadProjectReporting(project, request.project, progress)) return kExitFailed;
    }
    if (!request.source.empty()) properties.sourcePath = request.source;
    if (request.quality) {
        properties.quality = *request.quality;
        properties.sampleRate = SampleRateOfQuality(*request.quality);
    }
    if (request.length) properties.musicLength = *request.length;
    if (request.volume) properties.volume = *request.volume;
    if (request.loop) properties.loopMusic = true;

    const auto shortest = static_cast<std::uint32_t>(std::ceil(properties.baseMotifLength));
    if (properties.musicLength < shortest)
        return usage("--length: Value " + std::to_string(properties.musicLength) + " not in range " +
                     std::to_string(shortest) + " to " + std::to_string(kMaxMusicLength) +
                     " (the music cannot be shorter than the project's base motif)");
    if (properties.sourcePath.empty())
        return usage("No music source: name a SOURCE file, or a project (-p) that names one.");

    // The output: format and place are checked before the long work starts.
    const fs::path output = request.output;
    const std::string formatName = request.format.empty() ? output.extension().string() : request.format;
    const std::optional<SoundFormat> format = FormatFromName(formatName, properties.sampleRate);
    if (!format) {
        if (request.format.empty())
            return usage("Cannot tell the format from the name " + Shown(output) +
                         ": end it in .wav, .flac, .ogg, .opus or .mp3, or use --format (" +
                         std::string(kFormatNames) + ").");
        return usage("--format: " + EscapeForDisplay(request.format) + " is not one of " + std::string(kFormatNames) +
                     ", or cannot hold music at " + std::to_string(properties.sampleRate) + " Hz.");
    }
    if (SameFile(output, properties.sourcePath) || (!request.project.empty() && SameFile(output, request.project)))
        return usage("The output " + Shown(output) + " would replace an input file.");
    if (const std::string problem = CheckWritableTarget(output); !problem.empty()) return failed(problem);
    if (!request.plan.empty()) {
        if (SameFile(request.plan, properties.sourcePath) ||
            (!request.project.empty() && SameFile(request.plan, request.project)) || SameFile(request.plan, output))
            return usage("The plan " + EscapeForDisplay(request.plan) + " would replace another file of this render.");
        if (const std::string problem = CheckWritableTarget(request.plan); !problem.empty()) return failed(problem);
    }

    // Without --seed the time seed is used; it is printed so the render can be repeated.
    const std::uint32_t seed = request.seed ? *request.seed : TimeSeed();
    if (!request.seed) out << "Seed: " << seed << " (repeat this render with --seed " << seed << ")\n" << std::flush;

    const std::string sourcePath = properties.sourcePath;  // a failed decoding forgets it
    progress.BeginStage("Loading music");
    SourceWarnings warnings;
    const bool decoded = DecodeSource(properties, progress, &warnings);
    progress.EndStage();
    if (CancelRequested()) return failed("Cancelled; nothing was written.");
    if (!decoded) return failed("Could not decode the music source " + Shown(sourcePath) + ".");
    // The render goes on: the source is usable, but not what its file promised.
    for (const int id : warnings) progress.ShowMessage(id, std::string(LoadString(id)) + " (" + Shown(sourcePath) + ")", MessageIcon::Exclamation);

    CMusicEngine engine;
    CreateOptions options;
    options.seed = seed;
    options.threads = request.threads;
    options.allocationLimitBytes = CreationMemoryLimit(properties.sourceFrameCount);
    progress.BeginStage("Creating music");
    const bool created = engine.Create(project, progress, options);
    progress.EndStage();
    if (CancelRequested()) return failed("Cancelled; nothing was written.");
    if (!created) return failed("The music was not created; nothing was written.");

    progress.BeginStage("Writing " + Shown(output.filename()));
    const WriteResult written = WriteSoundFile(output, engine.Output(), engine.OutputFrameCount(),
                                               engine.SampleRate(), *format, progress);
    progress.EndStage();
    if (written == WriteResult::Cancelled) return failed("Cancelled; nothing was written.");
    if (written != WriteResult::Written) return failed("Could not write " + Shown(output) + ".");

    if (!request.plan.empty()) {
        const std::string text = DumpJson(PlanToJson(engine));
        if (!WriteTextAtomically(request.plan, text, progress)) return kExitFailed;
    }

    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!request.quiet) {
        out << "Wrote " << Shown(output) << ": " << properties.musicLength << " s of music, " << format->name
            << ", seed " << seed << ", in " << Seconds(took) << ".\n";
    }
    return kExitOk;
}

}  // namespace

int RunRender(const RenderRequest& request, std::ostream& out, std::ostream& err, bool errIsTerminal) {
    InstallCancelHandlers();
    ConsoleProgress progress(err, ProgressModeFor(request.quiet, errIsTerminal));
    try {
        return Render(request, out, progress);
    } catch (const std::bad_alloc&) {
        progress.ShowMessage(0, "Not enough memory for this render; nothing was written.", MessageIcon::Error);
    } catch (const std::exception& e) {
        progress.ShowMessage(0, "The render failed: " + EscapeForDisplay(e.what()), MessageIcon::Error);
    }
    return kExitFailed;
}

}  // namespace dw::cli
