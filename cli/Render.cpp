#include "cli/Render.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <ostream>
#include <span>
#include <sstream>
#include <system_error>
#include <vector>

#include "core/audio/Export.h"
#include "core/audio/FileTags.h"
#include "core/audio/Mastering.h"
#include "core/audio/WriteMusic.h"
#include "core/audio/SourceLoader.h"
#include "core/base/OutputFile.h"
#include "core/base/SameFile.h"
#include "core/base/PathText.h"
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
    // Through a symbolic link, the folder that must exist is its target's.
    const fs::path folder = FolderWrittenTo(target);
    switch (err) {
    case 0: return {};
    case EISDIR: return Shown(target) + " is a folder.";
    case ENOENT:
    case ENOTDIR: return "The folder " + Shown(folder) + " does not exist.";
    case ENAMETOOLONG:
        if (PathLongerThanPathMax(target)) return "Cannot write " + Shown(target) + ": " + PathErrorText(target, err) + ".";
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

// A step's way out: the exit status, or none when the render goes on.
using Exit = std::optional<int>;

// How a render stops early: the message, and the status that goes with it.
class Stop {
public:
    explicit Stop(ConsoleProgress& progress) : progress_(progress) {}
    Exit Usage(const std::string& text) const { return Say(text, kExitUsage); }
    Exit Failed(const std::string& text) const { return Say(text, kExitFailed); }
    Exit Cancelled() const { return Say("Cancelled; nothing was written.", 128 + CancelSignal()); }

private:
    Exit Say(const std::string& text, int status) const {
        progress_.ShowMessage(0, text, MessageIcon::Exclamation);
        return status;
    }
    ConsoleProgress& progress_;
};

// The files of one render and how they are shown in messages.
struct Files {
    bool toStdout = false;
    bool fromStdin = false;
    fs::path output;
    std::string outputName;
    std::string sourceName;
    std::string sourcePath;  // the file decoded (for standard input, its spooled copy)
};

Files FilesOf(const RenderRequest& request) {
    Files f;
    f.toStdout = request.output == kStandardStream;
    f.fromStdin = request.source == kStandardStream;
    f.output = f.toStdout ? fs::path(kStandardOutput) : fs::path(request.output);
    f.outputName = f.toStdout ? "standard output" : Shown(f.output);
    return f;
}

// The project: the named one or the default, then the command line's changes.
Exit ReadProject(const RenderRequest& request, const Files& files, CProject& project, ConsoleProgress& progress,
                 const Stop& stop) {
    project.SetDefaults();
    CProperties& properties = project.properties;
    if (!request.project.empty()) {
        // Loading takes a relative source path from the project's folder.
        if (!LoadProjectReporting(project, request.project, progress)) return kExitFailed;
    }
    if (!request.source.empty() && !files.fromStdin) properties.sourcePath = request.source;
    if (const std::string problem = ApplyPropertyOptions(request.settings, properties); !problem.empty())
        return stop.Usage(problem);
    if (properties.sourcePath.empty() && !files.fromStdin)
        return stop.Usage("No music source: name a SOURCE file, or a project (-p) that names one.");
    return std::nullopt;
}

// A file of the render as the checks see it: named, or one of the
// process's standard streams.
struct Place {
    std::string shown;  // as a message names it after "the": "output x.wav", "source read from standard input"
    fs::path path;      // empty for a stream
    int fd = -1;        // the stream's descriptor
};

// True when the two are one file. A stream counts only as a regular file: a
// pipe or a terminal holds nothing that could be lost.
bool SamePlace(const Place& a, const Place& b) {
    if (a.fd < 0 && b.fd < 0) return SameFile(a.path, b.path);
    const auto look = [](const Place& p, struct stat& st) {
        return p.fd >= 0 ? ::fstat(p.fd, &st) == 0 && S_ISREG(st.st_mode) : ::stat(p.path.c_str(), &st) == 0;
    };
    struct stat sa {}, sb {};
    return look(a, sa) && look(b, sb) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// The output and the other files written: checked before the long work
// starts. No output may be an input (the source, also when it comes through
// standard input, and the project), nor another output.
Exit CheckTargets(const RenderRequest& request, const Files& files, const CProperties& properties,
                  const Stop& stop) {
    const fs::path& output = files.output;
    if (files.toStdout && ::isatty(STDOUT_FILENO) != 0)
        return stop.Usage("Standard output is a terminal: redirect it to a file or a pipe, or name the output file.");
    if (files.toStdout && request.format.empty())
        return stop.Usage("Name the format of standard output with --format (" + OutputFormatNames(true) + ").");

    std::vector<Place> inputs;
    if (files.fromStdin)
        inputs.push_back({"source read from standard input", {}, STDIN_FILENO});
    else
        inputs.push_back({"source " + Shown(properties.sourcePath), properties.sourcePath});
    if (!request.project.empty()) inputs.push_back({"project " + Shown(request.project), request.project});
    std::vector<Place> outputs;
    if (files.toStdout)
        outputs.push_back({"standard output", {}, STDOUT_FILENO});
    else
        outputs.push_back({"output " + files.outputName, output});
    if (!request.plan.empty()) outputs.push_back({"plan " + Shown(request.plan), request.plan});
    if (!request.saveProject.empty())
        outputs.push_back({"saved project " + Shown(request.saveProject), request.saveProject});

    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const std::string who = i == 0 && files.toStdout ? "Standard output" : "The " + outputs[i].shown;
        for (const Place& in : inputs)
            if (SamePlace(outputs[i], in))
                return stop.Usage(who + " would replace an input file, the " + in.shown + ".");
        for (std::size_t j = 0; j < i; ++j)
            if (SamePlace(outputs[i], outputs[j]))
                return stop.Usage(who + " would replace another file of this render, the " + outputs[j].shown + ".");
        const fs::path target = outputs[i].fd >= 0 ? fs::path(kStandardOutput) : outputs[i].path;
        if (const std::string problem = CheckWritableTarget(target); !problem.empty()) return stop.Failed(problem);
    }
    return std::nullopt;
}

// The source: standard input is read whole first; without a project or a
// --quality the quality follows the source's rate.
Exit TakeSource(const RenderRequest& request, Files& files, CProperties& properties, const Stop& stop) {
    files.sourceName = files.fromStdin ? "standard input" : Shown(properties.sourcePath);
    if (files.fromStdin) {
        const SpooledInput spooled = SpoolStandardInput();
        if (CancelRequested()) return stop.Cancelled();
        if (spooled.path.empty()) return stop.Failed(spooled.problem);
        properties.sourcePath = spooled.path;
    }
    if (request.project.empty() && !request.settings.quality) {
        if (const auto quality = QualityForSource(properties.sourcePath)) {
            properties.quality = *quality;
            properties.sampleRate = SampleRateOfQuality(*quality);
        }
    }
    return std::nullopt;
}

// Formats written strictly front to back, never going back even to fill in
// totals: they can be appended to what a file holds already (Ogg streams
// chain), and a reader needs nothing of them but their order.
bool NeverGoesBack(SoundContainer container) {
    return container == SoundContainer::Ogg || container == SoundContainer::Opus;
}

std::string NeverGoesBackNames() {
    std::string names;
    for (const OutputFormatRecord& row : OutputFormats())
        if (NeverGoesBack(row.container)) names += (names.empty() ? "" : ", ") + std::string(row.id);
    return names;
}

// The file's format, from --format or the output's extension, with the
// encoder's settings; one that cannot be written where asked is refused.
Exit ChooseFormat(const RenderRequest& request, const Files& files, const CProperties& properties,
                  SoundFormat& fileFormat, EncoderSettings& encoderSettings, const Stop& stop) {
    const std::string formatName = request.format.empty() ? files.output.extension().string() : request.format;
    const std::optional<SoundFormat> format = FormatFromName(formatName, properties.sampleRate);
    if (!format) {
        if (request.format.empty())
            return stop.Usage("Cannot tell the format from the name " + files.outputName + ": end it in " +
                              OutputFormatExtensions() + ", or use --format (" + OutputFormatNames() + ").");
        return stop.Usage("--format: " + EscapeForDisplay(request.format) + " is not one of " + OutputFormatNames() +
                          ", or cannot hold music at " + std::to_string(properties.sampleRate) + " Hz.");
    }
    encoderSettings = EncoderSettings{request.file.compression, request.file.bitrate};
    if (const std::string problem = EncoderSettingsProblem(*format, encoderSettings); !problem.empty())
        return stop.Usage(problem);
    fileFormat = ApplyEncoderSettings(*format, encoderSettings);
    // A chain knows its length before the first byte, so it streams a WAV too.
    if (const OutputFormatRecord* row = OutputFormatOf(*format);
        row && !row->streams && IsOneWayTarget(files.output) && !IsChain(request.chain, properties))
        return stop.Usage((files.toStdout ? std::string("Standard output") : "The output " + files.outputName) +
                          " is a pipe, FIFO or socket, and " + std::string(row->id) +
                          " must go back to finish its header: use " + OutputFormatNames(true) + ".");
    struct stat out {};
    if (files.toStdout && !NeverGoesBack(format->container) && ::fstat(STDOUT_FILENO, &out) == 0 &&
        S_ISREG(out.st_mode)) {
        // Writes into a file opened for appending all land at its end, and
        // one the shell left part-way holds other bytes before ours: a
        // header written there blind would spoil both the old file and ours.
        // (A device such as /dev/null keeps nothing to spoil.)
        const std::string name = OutputFormatOf(*format) ? std::string(OutputFormatOf(*format)->id) : format->name;
        if ((::fcntl(STDOUT_FILENO, F_GETFL) & O_APPEND) != 0)
            return stop.Usage("Standard output is opened for appending (>>), and " + name +
                              " must be written from the start of a file of its own: use > or name the output "
                              "file, or use " + NeverGoesBackNames() + ".");
        if (const off_t at = ::lseek(STDOUT_FILENO, 0, SEEK_CUR); at > 0)
            return stop.Usage("Standard output is at byte " + std::to_string(at) + " of its file, and " + name +
                              " must be written from the start of a file of its own: name the output file, or use " +
                              NeverGoesBackNames() + ".");
    }
    return std::nullopt;
}

Exit DecodeMusicSource(const RenderRequest& request, const Files& files, CProperties& properties,
                       ConsoleProgress& progress, const Stop& stop) {
    progress.BeginStage("Loading music");
    SourceWarnings warnings;
    SourceFailure failure;
    QuietMessages loading(progress);
    const bool decoded = DecodeSource(properties, loading, &warnings, &failure);
    progress.EndStage();
    if (CancelRequested()) return stop.Cancelled();
    if (!decoded)
        return stop.Failed("Cannot read the music source " + files.sourceName + ": " +
                           (failure.reason.empty() ? std::string(LoadString(failure.messageId)) : failure.reason) +
                           ".");
    // The render goes on: the source is usable, but not what its file promised.
    if (!request.quiet)
        for (const int id : warnings)
            progress.ShowMessage(id, std::string(LoadString(id)) + " (" + files.sourceName + ")",
                                 MessageIcon::Exclamation);
    return std::nullopt;
}

Exit CreateMusic(const RenderRequest& request, CProject& project, std::uint32_t seed, CMusicEngine& engine,
                 ConsoleProgress& progress, const Stop& stop) {
    CreateOptions options;
    options.random = Random(seed);
    options.threads = request.threads;
    options.allocationLimitBytes = CreationMemoryLimit(project.properties.sourceFrameCount);
    options.renderInPlace = true;  // no player holds the old music here: one buffer, not two
    progress.BeginStage("Creating music", kCreationPasses);
    const bool created = engine.Create(project, progress, options);
    progress.EndStage();
    if (CancelRequested()) return stop.Cancelled();
    if (!created) return stop.Failed("The music was not created; nothing was written.");
    return std::nullopt;
}

// True when standard output is a pipe or socket whose reader has gone: it
// took what it wanted (`| head -c 100`), which is no failure of the render.
bool StandardOutputReaderGone() {
    struct stat st {};
    if (::fstat(STDOUT_FILENO, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) return false;
    pollfd out{STDOUT_FILENO, POLLOUT, 0};
    return ::poll(&out, 1, 0) == 1 && (out.revents & (POLLERR | POLLHUP)) != 0;
}

// What the listener hears while playing (the effects, and the level), with
// the tags, into the file.
Exit FinishAndWrite(const RenderRequest& request, const Files& files, const CProperties& properties,
                    std::uint32_t seed, const SoundFormat& fileFormat, const EncoderSettings& encoderSettings,
                    CMusicEngine& engine, FinishReport& finished, bool& readerGone, ConsoleProgress& progress,
                    const Stop& stop) {
    WriteError writeError;
    MusicFileRequest file;
    file.target = files.output;
    file.format = fileFormat;
    file.finish.effects = !request.file.noEffects;
    file.finish.loudnessLufs = request.file.loudness;
    file.finish.truePeakCeilingDbtp = request.file.truePeak;
    file.encoder = encoderSettings;
    file.tags.title = request.file.title;
    file.tags.artist = request.file.artist;
    file.tags.version = DW_VERSION;
    file.tags.seed = seed;
    file.tags.projectPath = request.project;
    file.tags.when = TagTime();
    file.tags.sourcePath = files.fromStdin ? std::string() : files.sourcePath;
    file.error = &writeError;
    file.beginStep = [&](MusicFileStep step) {
        if (step == MusicFileStep::Finishing)
            progress.BeginStage("Finishing music");
        else
            progress.BeginStage("Writing " + (files.toStdout ? files.outputName : Shown(files.output.filename())));
    };
    file.endStep = [&] { progress.EndStage(); };

    const MusicFileReport written =
        WriteFinishedMusic(std::span(engine.MutableOutput(), engine.OutputFrameCount()), engine.SampleRate(),
                           properties, file, progress);
    finished = written.finished;
    if (written.result == WriteResult::Cancelled || CancelRequested()) return stop.Cancelled();
    if (!written.finishProblem.empty())
        return stop.Failed("The music could not be finished: " + written.finishProblem + "; nothing was written.");
    if (written.result != WriteResult::Written && files.toStdout && StandardOutputReaderGone()) {
        readerGone = true;  // as `head` does to any program: no failure, nothing to say
        return std::nullopt;
    }
    if (written.result != WriteResult::Written)
        return stop.Failed("Could not write " + files.outputName + ": " + writeError.reason + ".");
    return std::nullopt;
}

// A file written beside the music (the plan, the project used). Its bytes
// wait in a temporary, already on the disk, until the music is in place: a
// render gives every file asked for or replaces none. A device or FIFO takes
// its bytes at once, since it cannot be held back.
struct Companion {
    std::string shown;  // "the plan x.json"
    std::unique_ptr<OutputFile> file;
};

Exit PrepareCompanion(std::string shown, const fs::path& target, std::span<const std::byte> bytes,
                      std::vector<Companion>& ready, const Stop& stop) {
    auto file = std::make_unique<OutputFile>();
    int err = file->Open(target);
    if (err == 0) err = file->Write(bytes.data(), bytes.size());
    if (err == 0) err = file->Sync();
    if (err != 0) return stop.Failed("Could not write " + shown + ": " + ErrorText(err) + "; no file was replaced.");
    ready.push_back({std::move(shown), std::move(file)});
    return std::nullopt;
}

// The plan and the project used, when asked for, ready to be put in place.
Exit PrepareCompanions(const RenderRequest& request, const Files& files, CProject& project,
                       const CMusicEngine& engine, std::vector<Companion>& ready, const Stop& stop) {
    if (!request.plan.empty()) {
        const std::string text = DumpJson(PlanToJson(engine));
        if (Exit exit = PrepareCompanion("the plan " + EscapeForDisplay(request.plan), request.plan,
                                         std::as_bytes(std::span(text.data(), text.size())), ready, stop))
            return exit;
    }
    if (!request.saveProject.empty()) {
        // The source as a path that still holds from elsewhere; music that
        // came through standard input has no file to name.
        std::error_code ec;
        project.properties.sourcePath = files.fromStdin ? std::string() : fs::absolute(files.sourcePath, ec).string();
        const std::vector<std::uint8_t> bytes = StoreProjectToBytes(project);
        if (Exit exit = PrepareCompanion("the project " + EscapeForDisplay(request.saveProject), request.saveProject,
                                         std::as_bytes(std::span(bytes)), ready, stop))
            return exit;
    }
    return std::nullopt;
}

// Once the music is in place. What is left to fail here is the renaming
// alone (the bytes reached the disk before the music was written).
Exit CommitCompanions(std::vector<Companion>& ready, const Files& files, const Stop& stop) {
    for (Companion& c : ready)
        if (const int err = c.file->Commit())
            return stop.Failed("Could not put " + c.shown + " in place: " + ErrorText(err) + "; the music was written to " +
                               files.outputName + ".");
    return std::nullopt;
}

void ReportWritten(const RenderRequest& request, const Files& files, const CProperties& properties,
                   const SoundFormat& fileFormat, std::uint32_t seed, const FinishReport& finished, double took,
                   std::ostream& report) {
    if (request.quiet) return;
    report << "Wrote " << files.outputName << ": " << properties.musicLength << " s of music, " << fileFormat.name
           << ", seed " << seed << ", in " << Seconds(took) << ".\n";
    if (finished.loudness && finished.loudness->ceilingBinds)
        report << "The true-peak ceiling of " << Decibels(request.file.truePeak) << " dBTP keeps the music "
               << Decibels(finished.loudness->shortfallLu) << " LU below the target of "
               << Decibels(*request.file.loudness) << " LUFS.\n";
    if (finished.finished)
        report << "Loudness " << Decibels(finished.finished->integratedLufs) << " LUFS, true peak "
               << Decibels(finished.finished->truePeakDbtp) << " dBTP.\n";
}

int Render(const RenderRequest& request, std::ostream& out, std::ostream& err, ConsoleProgress& progress) {
    const auto started = std::chrono::steady_clock::now();
    const Stop stop(progress);
    Files files = FilesOf(request);
    // Standard output carries the music alone: everything else goes to standard error.
    std::ostream& report = files.toStdout ? err : out;

    CProject project;
    CProperties& properties = project.properties;
    SoundFormat fileFormat;
    EncoderSettings encoderSettings;
    if (Exit exit = ReadProject(request, files, project, progress, stop)) return *exit;
    if (std::string problem = ChainUsageProblem(request, properties); !problem.empty()) return *stop.Usage(problem);
    if (Exit exit = CheckTargets(request, files, properties, stop)) return *exit;
    if (Exit exit = TakeSource(request, files, properties, stop)) return *exit;
    if (Exit exit = ChooseFormat(request, files, properties, fileFormat, encoderSettings, stop)) return *exit;

    // Without --seed the time seed is used; it is told so the render can be repeated.
    const std::uint32_t seed = CreationSeed(request.seed);
    if (!request.seed && !request.quiet)
        report << "Seed: " << seed << " (repeat this render with --seed " << seed << ")\n" << std::flush;

    files.sourcePath = properties.sourcePath;
    CMusicEngine engine;
    FinishReport finished;
    if (Exit exit = DecodeMusicSource(request, files, properties, progress, stop)) return *exit;
    if (IsChain(request.chain, properties))
        return RunChain(request, project, seed, fileFormat, encoderSettings, files.output, files.outputName,
                        files.fromStdin ? std::string() : files.sourcePath, progress, report);
    if (Exit exit = CreateMusic(request, project, seed, engine, progress, stop)) return *exit;
    std::vector<Companion> companions;
    if (Exit exit = PrepareCompanions(request, files, project, engine, companions, stop)) return *exit;
    bool readerGone = false;
    if (Exit exit = FinishAndWrite(request, files, properties, seed, fileFormat, encoderSettings, engine, finished,
                                   readerGone, progress, stop))
        return *exit;
    if (Exit exit = CommitCompanions(companions, files, stop)) return *exit;

    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!readerGone) ReportWritten(request, files, properties, fileFormat, seed, finished, took, report);
    return kExitOk;
}

}  // namespace

int RunRender(const RenderRequest& request, std::ostream& out, std::ostream& err, bool errIsTerminal) {
    InstallCancelHandlers();
    // A reader that stops early must not kill the render mid-write: the
    // write fails with EPIPE instead, and the render tells that from a
    // failure (StandardOutputReaderGone).
    std::signal(SIGPIPE, SIG_IGN);
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
