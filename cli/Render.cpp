#include "cli/Render.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <new>
#include <ostream>
#include <span>
#include <sstream>
#include <system_error>

#include "core/audio/Export.h"
#include "core/audio/FileTags.h"
#include "core/audio/Mastering.h"
#include "core/audio/SourceLoader.h"
#include "core/base/OutputFile.h"
#include "core/base/SameFile.h"
#include "core/base/TextEscape.h"
#include "cli/Cli.h"
#include "cli/ConsoleProgress.h"
#include "cli/PlanJson.h"
#include "cli/ProjectIo.h"
#include "cli/ProjectJson.h"
#include "cli/RenderInput.h"
#include "core/engine/MusicEngine.h"
#include "core/model/Project.h"
#include "core/model/ProjectFile.h"
#include "core/model/Properties.h"
#include "core/model/Random.h"
#include "core/resources/StringTable.h"

namespace dw::cli {

namespace {

namespace fs = std::filesystem;

// A file's name as a message shows it: a name may hold control characters
// (a source path stored in a project can hold anything), which must never
// reach the terminal raw.
std::string Shown(const fs::path& path) { return EscapeForDisplay(path.string()); }

// Checks before any long work that the file can be written where it is asked
// for, so that a typo or an impossible name is not found only after minutes
// of rendering.
std::string CheckWritableTarget(const fs::path& target) {
    const int err = CheckOutputTarget(target);
    if (err != 0 && target == fs::path(kStandardOutput)) return "Cannot write to standard output: " + ErrorText(err) + ".";
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    switch (err) {
    case 0: return {};
    case EISDIR: return Shown(target) + " is a folder.";
    case ENOENT:
    case ENOTDIR: return "The folder " + Shown(folder) + " does not exist.";
    case ENAMETOOLONG:
        return "Cannot write " + Shown(target) + ": the name is longer than its folder's file system allows (" +
               ErrorText(err) + ").";
    case EACCES:
    case EPERM:
    case EROFS:
    case EDQUOT:
    case ENOSPC: return "Cannot write to the folder " + Shown(folder) + ": " + ErrorText(err) + ".";
    default: return "Cannot write " + Shown(target) + ": " + ErrorText(err) + ".";
    }
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

// "-" for a file means standard input or output, as for most tools.
constexpr std::string_view kStandardStream = "-";

// The engine reports planning, sequencing and rendering, each from 0 to 100.
// Their shares of the bar are what they take of the time of a typical render
// (five minutes at 44100 Hz on two cores: about a sixth each for planning and
// sequencing, which run on one thread), so the time left stays steady.
const std::vector<int> kCreationPasses = {15, 15, 70};

std::string Seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", s);
    return text;
}

std::string Decibels(double value) {
    if (!std::isfinite(value)) return "-inf";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// The finishing that shaped the file, for its comment tag.
std::string FinishText(const FileOptions& file, const FinishReport& finished) {
    std::string text = file.noEffects ? "no effects" : "";
    auto add = [&](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
    if (file.loudness) add("loudness " + Decibels(*file.loudness) + " LUFS under " + Decibels(file.truePeak) + " dBTP");
    if (finished.headroomDb < 0.0) add("lowered " + Decibels(-finished.headroomDb) + " dB for the codec");
    if (file.bitrate) add(std::to_string(*file.bitrate) + " kbit/s");
    if (file.compression) {
        char level[16];
        std::snprintf(level, sizeof level, "%.2f", *file.compression);
        add(std::string("compression ") + level);
    }
    return text;
}

int Render(const RenderRequest& request, std::ostream& out, std::ostream& err, ConsoleProgress& progress) {
    const auto started = std::chrono::steady_clock::now();
    auto usage = [&](const std::string& text) {
        progress.ShowMessage(0, text, MessageIcon::Exclamation);
        return kExitUsage;
    };
    auto failed = [&](const std::string& text) {
        progress.ShowMessage(0, text, MessageIcon::Exclamation);
        return kExitFailed;
    };
    auto cancelled = [&] {
        progress.ShowMessage(0, "Cancelled; nothing was written.", MessageIcon::Exclamation);
        return 128 + CancelSignal();
    };

    // Standard output carries the music alone: everything else goes to standard error.
    const bool toStdout = request.output == kStandardStream;
    const bool fromStdin = request.source == kStandardStream;
    std::ostream& report = toStdout ? err : out;

    // The project: the named one or the default, then the command line's changes.
    CProject project;
    project.SetDefaults();
    CProperties& properties = project.properties;
    if (!request.project.empty()) {
        // Loading takes a relative source path from the project's folder.
        if (!LoadProjectReporting(project, request.project, progress)) return kExitFailed;
    }
    if (!request.source.empty() && !fromStdin) properties.sourcePath = request.source;
    if (const std::string problem = ApplyPropertyOptions(request.settings, properties); !problem.empty())
        return usage(problem);
    if (properties.sourcePath.empty() && !fromStdin)
        return usage("No music source: name a SOURCE file, or a project (-p) that names one.");

    // The output: format and place are checked before the long work starts.
    const fs::path output = toStdout ? fs::path(kStandardOutput) : fs::path(request.output);
    const std::string outputName = toStdout ? "standard output" : Shown(output);
    if (toStdout && ::isatty(STDOUT_FILENO) != 0)
        return usage("Standard output is a terminal: redirect it to a file or a pipe, or name the output file.");
    if (toStdout && request.format.empty())
        return usage("Name the format of standard output with --format (" + OutputFormatNames(true) + ").");
    if (!toStdout && SameFile(output, properties.sourcePath))
        return usage("The output " + outputName + " would replace an input file.");
    if (!toStdout && !request.project.empty() && SameFile(output, request.project))
        return usage("The output " + outputName + " would replace an input file.");
    if (const std::string problem = CheckWritableTarget(output); !problem.empty()) return failed(problem);
    for (const std::string* extra : {&request.plan, &request.saveProject}) {
        if (extra->empty()) continue;
        if (SameFile(*extra, properties.sourcePath) || (!request.project.empty() && SameFile(*extra, request.project)) ||
            (!toStdout && SameFile(*extra, output)) || (!request.plan.empty() && extra != &request.plan &&
                                                        SameFile(*extra, request.plan)))
            return usage("The file " + EscapeForDisplay(*extra) + " would replace another file of this render.");
        if (const std::string problem = CheckWritableTarget(*extra); !problem.empty()) return failed(problem);
    }

    // The source: standard input is read whole first.
    const std::string sourceName = fromStdin ? "standard input" : Shown(properties.sourcePath);
    if (fromStdin) {
        const SpooledInput spooled = SpoolStandardInput();
        if (CancelRequested()) return cancelled();
        if (spooled.path.empty()) return failed(spooled.problem);
        properties.sourcePath = spooled.path;
    }
    if (request.project.empty() && !request.settings.quality) {
        if (const auto quality = QualityForSource(properties.sourcePath)) {
            properties.quality = *quality;
            properties.sampleRate = SampleRateOfQuality(*quality);
        }
    }

    const std::string formatName = request.format.empty() ? output.extension().string() : request.format;
    const std::optional<SoundFormat> format = FormatFromName(formatName, properties.sampleRate);
    if (!format) {
        if (request.format.empty())
            return usage("Cannot tell the format from the name " + outputName + ": end it in " +
                         OutputFormatExtensions() + ", or use --format (" + OutputFormatNames() + ").");
        return usage("--format: " + EscapeForDisplay(request.format) + " is not one of " + OutputFormatNames() +
                     ", or cannot hold music at " + std::to_string(properties.sampleRate) + " Hz.");
    }
    const EncoderSettings encoderSettings{request.file.compression, request.file.bitrate};
    if (const std::string problem = EncoderSettingsProblem(*format, encoderSettings); !problem.empty())
        return usage(problem);
    const SoundFormat fileFormat = ApplyEncoderSettings(*format, encoderSettings);
    if (const OutputFormatRecord* row = OutputFormatOf(*format); row && !row->streams && IsOneWayTarget(output))
        return usage((toStdout ? std::string("Standard output") : "The output " + outputName) +
                     " is a pipe, FIFO or socket, and " + std::string(row->id) +
                     " must go back to finish its header: use " + OutputFormatNames(true) + ".");

    // Without --seed the time seed is used; it is told so the render can be repeated.
    const std::uint32_t seed = CreationSeed(request.seed);
    if (!request.seed && !request.quiet)
        report << "Seed: " << seed << " (repeat this render with --seed " << seed << ")\n" << std::flush;

    const std::string sourcePath = properties.sourcePath;
    progress.BeginStage("Loading music");
    SourceWarnings warnings;
    SourceFailure failure;
    QuietMessages loading(progress);
    const bool decoded = DecodeSource(properties, loading, &warnings, &failure);
    progress.EndStage();
    if (CancelRequested()) return cancelled();
    if (!decoded)
        return failed("Cannot read the music source " + sourceName + ": " +
                      (failure.reason.empty() ? std::string(LoadString(failure.messageId)) : failure.reason) + ".");
    // The render goes on: the source is usable, but not what its file promised.
    if (!request.quiet)
        for (const int id : warnings)
            progress.ShowMessage(id, std::string(LoadString(id)) + " (" + sourceName + ")", MessageIcon::Exclamation);

    CMusicEngine engine;
    CreateOptions options;
    options.random = Random(seed);
    options.threads = request.threads;
    options.allocationLimitBytes = CreationMemoryLimit(properties.sourceFrameCount);
    options.renderInPlace = true;  // no player holds the old music here: one buffer, not two
    progress.BeginStage("Creating music", kCreationPasses);
    const bool created = engine.Create(project, progress, options);
    progress.EndStage();
    if (CancelRequested()) return cancelled();
    if (!created) return failed("The music was not created; nothing was written.");

    // What the listener hears while playing: the effects, and the level.
    FinishOptions finish;
    finish.effects = !request.file.noEffects;
    finish.loudnessLufs = request.file.loudness;
    finish.truePeakCeilingDbtp = request.file.truePeak;
    finish.lossy = IsLossyCodec(fileFormat);
    const bool finishing = (finish.effects && AnyEffectOn(properties)) || finish.loudnessLufs || finish.lossy;
    FinishReport finished;
    if (finishing) {
        progress.BeginStage("Finishing music");
        std::string problem;
        const bool done = FinishForFile(std::span(engine.MutableOutput(), engine.OutputFrameCount()),
                                        engine.SampleRate(), properties, finish, &progress, finished, problem);
        progress.EndStage();
        if (CancelRequested()) return cancelled();
        if (!done) return failed("The music could not be finished: " + problem + "; nothing was written.");
    }

    WriteOptions fileOptions;
    fileOptions.encoder = encoderSettings;
    TagRequest tagRequest;
    tagRequest.title = request.file.title;
    tagRequest.artist = request.file.artist;
    tagRequest.version = DW_VERSION;
    tagRequest.seed = seed;
    tagRequest.projectPath = request.project;
    tagRequest.extra = FinishText(request.file, finished);
    tagRequest.when = TagTime();
    tagRequest.sourcePath = fromStdin ? std::string() : sourcePath;
    fileOptions.tags = MakeSoundTags(properties, tagRequest);

    progress.BeginStage("Writing " + (toStdout ? outputName : Shown(output.filename())));
    WriteError writeError;
    const WriteResult written = WriteSoundFile(output, engine.Output(), engine.OutputFrameCount(),
                                               engine.SampleRate(), fileFormat, progress, writeError, fileOptions);
    progress.EndStage();
    if (written == WriteResult::Cancelled || CancelRequested()) return cancelled();
    if (written != WriteResult::Written)
        return failed("Could not write " + outputName + ": " + writeError.reason + ".");

    if (!request.plan.empty()) {
        const std::string text = DumpJson(PlanToJson(engine));
        if (const int error = WriteWholeFile(request.plan, std::as_bytes(std::span(text.data(), text.size()))))
            return failed("Could not write the plan " + EscapeForDisplay(request.plan) + ": " + ErrorText(error) + ".");
    }
    if (!request.saveProject.empty()) {
        // The source as a path that still holds from elsewhere; music that
        // came through standard input has no file to name.
        std::error_code ec;
        properties.sourcePath = fromStdin ? std::string() : fs::absolute(sourcePath, ec).string();
        if (!StoreProject(project, request.saveProject, progress)) return kExitFailed;
    }

    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!request.quiet) {
        report << "Wrote " << outputName << ": " << properties.musicLength << " s of music, " << fileFormat.name
               << ", seed " << seed << ", in " << Seconds(took) << ".\n";
        if (finished.loudness && finished.loudness->ceilingBinds)
            report << "The true-peak ceiling of " << Decibels(request.file.truePeak) << " dBTP keeps the music "
                   << Decibels(finished.loudness->shortfallLu) << " LU below the target of "
                   << Decibels(*request.file.loudness) << " LUFS.\n";
        if (finished.finished)
            report << "Loudness " << Decibels(finished.finished->integratedLufs) << " LUFS, true peak "
                   << Decibels(finished.finished->truePeakDbtp) << " dBTP.\n";
    }
    return kExitOk;
}

}  // namespace

int RunRender(const RenderRequest& request, std::ostream& out, std::ostream& err, bool errIsTerminal) {
    InstallCancelHandlers();
    DecodeStream::SilenceDecoderNotes(true);
    ConsoleProgress progress(err, ProgressModeFor(request.quiet, errIsTerminal));
    try {
        return Render(request, out, err, progress);
    } catch (const std::bad_alloc&) {
        progress.ShowMessage(0, "Not enough memory for this render; nothing was written.", MessageIcon::Error);
    } catch (const std::exception& e) {
        progress.ShowMessage(0, "The render failed: " + EscapeForDisplay(e.what()), MessageIcon::Error);
    }
    return kExitFailed;
}

}  // namespace dw::cli
