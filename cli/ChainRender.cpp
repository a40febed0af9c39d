#include "cli/ChainRender.h"

#include <signal.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "cli/Cli.h"
#include "cli/ConsoleProgress.h"
#include "cli/ProjectJson.h"
#include "cli/Render.h"
#include "core/audio/ChainWriter.h"
#include "core/audio/FileTags.h"
#include "core/base/OutputFile.h"
#include "core/base/TextEscape.h"
#include "core/model/Project.h"

namespace dw::cli {

namespace {

// A chain is held to a day and more; beyond a few weeks a mistyped unit is likelier than a wish.
constexpr double kLongestChainSeconds = 1000.0 * 3600.0;
// Without --loudness a chain is brought to the level of streamed music, so that its pieces match.
constexpr double kChainLoudnessLufs = -16.0;

std::optional<double> Number(const std::string& text) {
    if (text.empty()) return std::nullopt;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || c == '.')) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::uint64_t Frames(double seconds, std::uint32_t rate) {
    return static_cast<std::uint64_t>(std::llround(seconds * rate));
}

std::optional<double> DurationOf(const ChainOptions& chain) {
    return chain.duration.empty() ? std::nullopt : ParseDuration(chain.duration);
}

std::string Clock(std::uint64_t frames, std::uint32_t rate) {
    const double s = static_cast<double>(frames) / rate;
    const auto whole = static_cast<std::uint64_t>(s);
    char text[48];
    std::snprintf(text, sizeof text, "%02llu:%02llu:%06.3f", static_cast<unsigned long long>(whole / 3600),
                  static_cast<unsigned long long>(whole / 60 % 60), s - static_cast<double>(whole / 60 * 60));
    return text;
}

}  // namespace

std::optional<double> ParseDuration(const std::string& text) {
    if (text.empty()) return std::nullopt;
    const char unit = text.back();
    if (unit == 'h' || unit == 'm' || unit == 's') {
        const auto n = Number(text.substr(0, text.size() - 1));
        if (!n) return std::nullopt;
        return *n * (unit == 'h' ? 3600.0 : unit == 'm' ? 60.0 : 1.0);
    }
    double total = 0.0;
    std::size_t start = 0;
    int parts = 0;
    for (;;) {
        const std::size_t colon = text.find(':', start);
        const std::string part = text.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        const auto n = Number(part);
        if (!n || ++parts > 3) return std::nullopt;
        // Minutes and seconds after a colon are below 60 and whole (seconds may have a fraction).
        if (parts > 1 && *n >= 60.0) return std::nullopt;
        total = total * 60.0 + *n;
        if (colon == std::string::npos) break;
        if (part.find('.') != std::string::npos) return std::nullopt;
        start = colon + 1;
    }
    return total;
}

bool IsChain(const ChainOptions& chain, const CProperties& properties) {
    if (chain.endless) return true;
    const auto seconds = DurationOf(chain);
    return seconds && *seconds > properties.musicLength;
}

std::string ChainUsageProblem(const RenderRequest& request, CProperties& properties) {
    const ChainOptions& chain = request.chain;
    std::optional<double> seconds;
    if (!chain.duration.empty()) {
        seconds = ParseDuration(chain.duration);
        if (!seconds || *seconds <= 0.0 || *seconds > kLongestChainSeconds)
            return "--duration: " + EscapeForDisplay(chain.duration) +
                   " is not a duration up to 1000 h (seconds, h:mm:ss, 90m or 8h).";
    }
    if (chain.endless && seconds) return "--endless and --duration contradict each other: give one.";
    if (!chain.from.empty()) {
        const auto from = ParseDuration(chain.from);
        if (!from) return "--from: " + EscapeForDisplay(chain.from) + " is not a time (seconds, h:mm:ss, 90m or 8h).";
        if (!IsChain(chain, properties)) return "--from starts a chain somewhere: give --duration longer than a piece.";
        if (seconds && *from >= *seconds) return "--from: " + EscapeForDisplay(chain.from) + " is past the end of the chain.";
    }
    if (seconds && *seconds <= properties.musicLength && !chain.endless) {
        // One piece, as today; a shorter duration is that piece's length.
        if (*seconds == properties.musicLength) return {};
        if (*seconds < kMinMusicLength || std::floor(*seconds) != *seconds)
            return "--duration: one piece is a whole number of seconds from " + std::to_string(kMinMusicLength) +
                   " to " + std::to_string(kMaxMusicLength) + ".";
        properties.musicLength = static_cast<std::uint32_t>(*seconds);
        return {};
    }
    if (!IsChain(chain, properties)) return {};
    if (!(chain.crossfade >= 0.0) || chain.crossfade * 2.0 > properties.musicLength)
        return "--crossfade: " + std::to_string(static_cast<long long>(chain.crossfade)) +
               " s is longer than half a piece (" + std::to_string(properties.musicLength / 2) +
               " s); shorten it or lengthen the pieces with --length.";
    if (chain.endless) {
        const std::filesystem::path target = request.output == "-" ? std::filesystem::path(kStandardOutput)
                                                                   : std::filesystem::path(request.output);
        struct stat st {};
        if (::stat(target.c_str(), &st) == 0 ? S_ISREG(st.st_mode) : true)
            return "--endless never ends, so it writes only to standard output, a FIFO or a device, not to the "
                   "file " + (request.output == "-" ? std::string("standard output is redirected to")
                                                    : EscapeForDisplay(request.output)) + ".";
        if (!request.plan.empty()) return "--plan lists the pieces of a chain with an end: give --duration.";
    }
    return {};
}

int RunChain(const RenderRequest& request, CProject& project, std::uint32_t seed, const SoundFormat& format,
             const EncoderSettings& encoder, const std::filesystem::path& output, const std::string& outputName,
             const std::string& tagSourcePath, ConsoleProgress& progress, std::ostream& report) {
    const auto started = std::chrono::steady_clock::now();
    const ChainOptions& chain = request.chain;
    CProperties& properties = project.properties;
    const std::uint32_t rate = properties.sampleRate;

    ChainRequest job;
    ChainPlan& plan = job.plan;
    plan.seed = seed;
    plan.pieceFrames = std::uint64_t{properties.musicLength} * rate;
    plan.crossfadeFrames = Frames(chain.crossfade, rate);
    if (!chain.endless) plan.totalFrames = Frames(*ParseDuration(chain.duration), rate);
    plan.fadeInFrames = std::uint64_t{properties.fadeIn} * rate;
    plan.fadeOutFrames = std::uint64_t{properties.fadeOut} * rate;
    job.from = chain.from.empty() ? 0 : Frames(*ParseDuration(chain.from), rate);
    job.target = output;
    job.format = format;
    job.encoder = encoder;
    job.finish.effects = !request.file.noEffects;
    job.finish.loudnessLufs = request.file.loudness.value_or(kChainLoudnessLufs);
    job.finish.truePeakCeilingDbtp = request.file.truePeak;
    job.threads = request.threads;
    job.tags.title = request.file.title;
    job.tags.artist = request.file.artist;
    job.tags.version = DW_VERSION;
    job.tags.projectPath = request.project;
    job.tags.when = TagTime();
    job.tags.sourcePath = tagSourcePath;

    if (!request.plan.empty()) {
        nlohmann::ordered_json pieces = nlohmann::ordered_json::array();
        for (std::uint64_t k = 0; k < plan.PieceCount(); ++k)
            pieces.push_back({{"index", k},
                              {"seed", PieceSeed(seed, k)},
                              {"start", Clock(plan.PieceStart(k), rate)},
                              {"end", Clock(plan.PieceEnd(k), rate)}});
        const nlohmann::ordered_json json = {{"seed", seed},
                                             {"sampleRate", rate},
                                             {"pieceSeconds", properties.musicLength},
                                             {"crossfadeSeconds", chain.crossfade},
                                             {"durationSeconds", static_cast<double>(*plan.totalFrames) / rate},
                                             {"pieces", pieces}};
        const std::string text = DumpJson(json);
        if (const int error = WriteWholeFile(request.plan, std::as_bytes(std::span(text.data(), text.size())))) {
            progress.ShowMessage(0, "Could not write the plan " + EscapeForDisplay(request.plan) + ": " +
                                        ErrorText(error) + ".", MessageIcon::Exclamation);
            return kExitFailed;
        }
    }

    // A reader that closes the pipe is told by the write's EPIPE, not by a signal that kills.
    ::signal(SIGPIPE, SIG_IGN);
    progress.BeginStage("Writing a chain to " + outputName);
    const ChainReport done = WriteChain(project, job, progress);
    progress.EndStage();
    if (done.result == WriteResult::Cancelled || CancelRequested()) {
        progress.ShowMessage(0, chain.endless ? std::string("Stopped.") : "Cancelled; nothing was written.",
                             MessageIcon::Exclamation);
        return 128 + (CancelSignal() != 0 ? CancelSignal() : SIGINT);
    }
    if (done.readerGone && chain.endless) return kExitOk;  // the listener went away: the usual end
    if (!done.problem.empty()) {
        progress.ShowMessage(0, "The chain failed: " + done.problem + "; nothing was written.", MessageIcon::Exclamation);
        return kExitFailed;
    }
    if (done.result != WriteResult::Written) {
        progress.ShowMessage(0, "Could not write " + outputName + ": " + done.error.reason + ".",
                             MessageIcon::Exclamation);
        return kExitFailed;
    }
    if (!request.quiet) {
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        char line[160];
        std::snprintf(line, sizeof line, "%s of music as a chain of %llu pieces of %u s (crossfade %g s)",
                      Clock(done.frames, rate).c_str(), static_cast<unsigned long long>(plan.PieceCount()),
                      properties.musicLength, chain.crossfade);
        char tookText[32];
        std::snprintf(tookText, sizeof tookText, "%.1f s", took);
        report << "Wrote " << outputName << ": " << line << ", " << format.name << ", seed " << seed << ", in "
               << tookText << ".\n";
        if (done.rf64) report << "The WAV holds more than 4 GiB, so it is written as RF64.\n";
    }
    return kExitOk;
}

}  // namespace dw::cli
