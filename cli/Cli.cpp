#include "cli/Cli.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <ostream>
#include <string>
#include <system_error>

#include "audio/Export.h"
#include "base/TextEscape.h"
#include "cli/ConsoleProgress.h"
#include "cli/ProjectIo.h"
#include "cli/ProjectJson.h"
#include "cli/Render.h"
#include "model/ProjectFile.h"
#include "model/Properties.h"

#ifndef DW_VERSION
#define DW_VERSION "unknown"
#endif

namespace dw::cli {

namespace {

int RunInfo(const std::string& path, std::ostream& out, std::ostream& err) {
    ConsoleProgress sink(err, ProgressMode::Quiet);
    CProject project;
    if (!LoadProjectReporting(project, path, sink)) return kExitFailed;
    const auto version = ReadProjectVersion(path);
    if (!version) {
        sink.ShowMessage(0, "Cannot read the project file " + EscapeForDisplay(path), MessageIcon::Exclamation);
        return kExitFailed;
    }
    // A source path that is not valid UTF-8 is shown with replacement
    // characters rather than failing the whole report.
    out << DumpJson(ProjectToJson(project, *version)) << std::flush;
    if (!out) {
        sink.ShowMessage(0, "Cannot write to standard output.", MessageIcon::Exclamation);
        return kExitFailed;
    }
    return kExitOk;
}

int RunNew(const std::string& path, bool force, std::ostream& out, std::ostream& err) {
    ConsoleProgress sink(err, ProgressMode::Quiet);
    std::error_code ec;
    // A typo in a script must not wipe out a project somebody worked on.
    if (!force && std::filesystem::exists(path, ec)) {
        sink.ShowMessage(0, EscapeForDisplay(path) + " already exists; use --force to replace it.",
                         MessageIcon::Exclamation);
        return kExitFailed;
    }
    CProject project;
    project.SetDefaults();
    if (!StoreProject(project, path, sink)) return kExitFailed;
    out << "Wrote the default project to " << EscapeForDisplay(path) << '\n';
    return kExitOk;
}

// CLI::Range prints doubles with six decimals ("0.000000 to 1.000000").
CLI::Validator VolumeRange() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            double value = 0.0;
            if (!CLI::detail::lexical_cast(text, value)) return "Value " + text + " is not a number";
            if (!(value >= 0.0 && value <= 1.0)) return "Value " + text + " not in range 0 to 1";
            return {};
        },
        "FLOAT in [0 - 1]");
}

}  // namespace

int Run(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool errIsTerminal) {
    CLI::App app{"Driftwell: turns one recorded piece of music into a long, slowly evolving ambient piece.",
                 "driftwell-cli"};
    app.set_version_flag("--version", std::string("driftwell-cli ") + DW_VERSION);
    app.require_subcommand(1);

    // render
    RenderRequest render;
    std::uint64_t seed = 0;
    std::uint32_t length = 0, quality = 0;
    double volume = 0.0;
    CLI::App* renderCmd = app.add_subcommand("render", "Create music from a source and write it to a sound file.");
    renderCmd->add_option("SOURCE", render.source, "Music source file (replaces the project's source)");
    renderCmd->add_option("-p,--project", render.project, "Project file (.dwv); default: the default project");
    renderCmd->add_option("-o,--output", render.output, "Sound file to write")->required();
    renderCmd->add_option("--format", render.format,
                          "Output format: " + OutputFormatNames() + " (default: from OUT's extension)");
    CLI::Option* seedOpt = renderCmd->add_option("--seed", seed, "Seed of the random generator (default: the time)")
                               ->check(CLI::Range(std::uint64_t{0}, std::uint64_t{0xFFFFFFFFu}));
    CLI::Option* lengthOpt = renderCmd->add_option("--length", length, "Length of the music in seconds")
                                 ->check(CLI::Range(kMinMusicLength, kMaxMusicLength));
    CLI::Option* qualityOpt =
        renderCmd->add_option("--quality", quality, "0: 11025 Hz, 1: 22050 Hz, 2: 44100 Hz, 3: 48000 Hz")
            ->check(CLI::Range(0u, kQualityCount - 1));
    CLI::Option* volumeOpt =
        renderCmd->add_option("--volume", volume, "Peak level of the music, 0 to 1")->check(VolumeRange());
    renderCmd->add_flag("--loop", render.loop, "Make the music loop seamlessly");
    renderCmd->add_option("--plan", render.plan, "Also write what the engine planned, as JSON");
    renderCmd->add_option("--threads", render.threads, "Rendering threads (default: all cores)")
        ->check(CLI::Range(1u, 1024u));
    renderCmd->add_flag("-q,--quiet", render.quiet, "No progress output");

    // info
    std::string infoPath;
    CLI::App* infoCmd = app.add_subcommand("info", "Print a project file as JSON.");
    infoCmd->add_option("PROJECT", infoPath, "Project file (.dwv)")->required();

    // new
    std::string newPath;
    bool force = false;
    CLI::App* newCmd = app.add_subcommand("new", "Write the default project to a file.");
    newCmd->add_option("PROJECT", newPath, "Project file (.dwv) to write")->required();
    newCmd->add_flag("-f,--force", force, "Replace the file if it exists");

    // CLI11 would only say that a subcommand is required; name the word it did not know.
    if (argc > 1 && argv[1][0] != '-' && app.get_subcommands([&](const CLI::App* sub) {
                                             return sub->get_name() == argv[1];
                                         }).empty()) {
        err << "driftwell-cli: unknown command " << EscapeForDisplay(argv[1]) << " (the commands are render, info and new)\n"
            << "Run with --help for more information.\n";
        return kExitUsage;
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help and version are "errors" with status 0; everything else is bad usage.
        const int status = app.exit(e, out, err);
        return status == 0 ? kExitOk : kExitUsage;
    }

    if (*renderCmd) {
        if (*seedOpt) render.seed = static_cast<std::uint32_t>(seed);
        if (*lengthOpt) render.length = length;
        if (*qualityOpt) render.quality = quality;
        if (*volumeOpt) render.volume = volume;
        return RunRender(render, out, err, errIsTerminal);
    }
    if (*infoCmd) return RunInfo(infoPath, out, err);
    if (*newCmd) return RunNew(newPath, force, out, err);
    return kExitUsage;
}

}  // namespace dw::cli
