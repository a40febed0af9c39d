#include "cli/Cli.h"


#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>
#include <system_error>

#include "core/audio/Export.h"
#include "core/audio/FlacWriter.h"
#include "core/audio/Loudness.h"
#include "core/base/TextEscape.h"
#include "cli/ConsoleProgress.h"
#include "cli/OptionChecks.h"
#include "cli/ProjectIo.h"
#include "cli/ProjectJson.h"
#include "cli/PropertyOptions.h"
#include "cli/Render.h"
#include "core/model/ProjectFile.h"
#include "core/model/Properties.h"

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

int RunNew(const std::string& path, const std::string& source, const PropertyOptions& settings, bool force,
           std::ostream& out, std::ostream& err) {
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
    // The project is read from wherever it ends up: the source is named in full.
    if (!source.empty()) project.properties.sourcePath = std::filesystem::absolute(source, ec).string();
    if (const std::string problem = ApplyPropertyOptions(settings, project.properties); !problem.empty()) {
        sink.ShowMessage(0, problem, MessageIcon::Exclamation);
        return kExitUsage;
    }
    if (!StoreProject(project, path, sink)) return kExitFailed;
    out << "Wrote the project to " << EscapeForDisplay(path) << '\n';
    return kExitOk;
}

}  // namespace

int Run(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool errIsTerminal) {
    CLI::App app{"Driftwell: turns one recorded piece of music into a long, slowly evolving ambient piece.",
                 "driftwell-cli"};
    const std::string version = std::string("driftwell-cli ") + DW_VERSION;
    app.set_version_flag("--version", version);
    bool verbose = false;  // read from argv below: CLI11 answers --version first
    app.add_flag("--verbose", verbose, "With --version: also say which FLAC path this build runs");
    // CLI11 answers --version the moment it meets it, whatever follows; the
    // longer answer is given here, in either order of the two words.
    const auto given = [&](std::string_view word) {
        for (int i = 1; i < argc; ++i)
            if (word == argv[i]) return true;
        return false;
    };
    if (given("--version") && given("--verbose")) {
        out << version << '\n' << FlacPathText() << '\n';
        return kExitOk;
    }
    app.require_subcommand(1);
    const std::string footer =
        "Output format: " + OutputFormatNames() + "\n"
        "  (render --format; by default from the output's extension; to a pipe: " + OutputFormatNames(true) + ")\n"
        "A file named - is standard input (SOURCE) or standard output (-o).\n"
        "Exit status: 0 done, 1 failed (a file that cannot be read or written, a project that is refused),\n"
        "2 bad usage, 130 interrupted (Ctrl+C), 143 terminated (SIGTERM); nothing is written then.";
    app.footer(footer);

    // render
    RenderRequest render;
    std::uint64_t seed = 0;
    CLI::App* renderCmd = app.add_subcommand("render", "Create music from a source and write it to a sound file.");
    renderCmd->footer(footer);
    renderCmd->add_option("SOURCE", render.source, "Music source file (replaces the project's source); - reads standard input")
        ->check(NotEmpty());
    renderCmd->add_option("-p,--project", render.project, "Project file (.dwv); default: the default project")
        ->check(NotEmpty());
    renderCmd->add_option("-o,--output", render.output, "Sound file to write; - writes standard output (with --format)")
        ->required()
        ->check(NotEmpty());
    renderCmd->add_option("--format", render.format,
                          "Output format: " + OutputFormatNames() + " (default: from OUT's extension)")
        ->check(NotEmpty());
    CLI::Option* seedOpt = renderCmd->add_option("--seed", seed, "Seed of the random generator (default: the time)")
                               ->check(WholeBetween(0, 0xFFFFFFFFu));
    renderCmd->add_option("--plan", render.plan, "Also write what the engine planned, as JSON")->check(NotEmpty());
    renderCmd->add_option("--save-project", render.saveProject, "Also write the project this render used (.dwv)")
        ->check(NotEmpty());
    renderCmd->add_option("--threads", render.threads, "Rendering threads (default: all cores)")
        ->check(WholeBetween(1, 1024));
    renderCmd->add_flag("-q,--quiet", render.quiet, "Print nothing but errors");
    AddPropertyOptions(*renderCmd, render.settings);
    renderCmd->add_flag("--no-effects", render.file.noEffects,
                        "Write the music without the project's high-cut, reverb and chorus");
    renderCmd->add_option("--loudness", render.file.loudness,
                          "Integrated loudness to set, in LUFS (EBU R128), e.g. -16; default: peak at the volume")
        ->check(NumberBetween(-70.0, 0.0, "-70", "0"));
    char ceiling[32];
    std::snprintf(ceiling, sizeof ceiling, "%g", kTruePeakCeilingDbtp);
    renderCmd->add_option("--true-peak", render.file.truePeak,
                          std::string("True-peak ceiling in dBTP (default: ") + ceiling + ")")
        ->check(NumberBetween(-20.0, 0.0, "-20", "0"));
    renderCmd->add_option("--title", render.file.title, "Title tag (default: the project's or the source's name)")
        ->check(TagText());
    renderCmd->add_option("--artist", render.file.artist, "Artist tag")->check(TagText());
    renderCmd->add_option("--bitrate", render.file.bitrate, "Bit rate in kbit/s, for mp3 and opus")
        ->check(WholeBetween(1, 100000));
    renderCmd->add_option("--compression", render.file.compression,
                          "Compression level from 0 (best) to 1 (smallest), for flac, ogg, opus and mp3")
        ->check(AnyNumber());

    renderCmd->add_option("--duration", render.chain.duration,
                          "Length of the music: seconds, h:mm:ss, 90m or 8h; longer than a piece, a chain of "
                          "variations (crossfaded pieces of the project's length)")
        ->check(NotEmpty());
    renderCmd->add_option("--crossfade", render.chain.crossfade,
                          "Seconds over which a chain's pieces cross (default 30, at most half a piece)")
        ->check(NumberBetween(0.0, 1800.0, "0", "1800"));
    renderCmd->add_option("--from", render.chain.from, "Start the chain at this time (as --duration takes it)")
        ->check(NotEmpty());
    renderCmd->add_flag("--endless", render.chain.endless,
                        "A chain without end, to standard output, a FIFO or a device, until stopped");

    // info
    std::string infoPath;
    CLI::App* infoCmd = app.add_subcommand("info", "Print a project file as JSON.");
    infoCmd->add_option("PROJECT", infoPath, "Project file (.dwv)")->required()->check(NotEmpty());

    // new
    std::string newPath, newSource;
    bool force = false;
    PropertyOptions newSettings;
    CLI::App* newCmd =
        app.add_subcommand("new", "Write a project file: the default project with the settings given.");
    newCmd->add_option("PROJECT", newPath, "Project file (.dwv) to write")->required()->check(NotEmpty());
    newCmd->add_option("--source", newSource, "Music source file of the project")->check(NotEmpty());
    newCmd->add_flag("-f,--force", force, "Replace the file if it exists");
    AddPropertyOptions(*newCmd, newSettings);

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
        // Help and version are "errors" with status 0; everything else is bad
        // usage, told with the values as given made safe for a terminal.
        if (e.get_exit_code() == 0) {
            app.exit(e, out, err);
            return kExitOk;
        }
        err << EscapeForDisplay(e.what()) << "\nRun with --help for more information.\n";
        return kExitUsage;
    }
    if (*renderCmd) {
        if (const std::string problem = SourceDateEpochProblem(); !problem.empty()) {
            err << "driftwell-cli: " << EscapeForDisplay(problem) << "\n";
            return kExitUsage;
        }
    }

    if (*renderCmd) {
        if (*seedOpt) render.seed = static_cast<std::uint32_t>(seed);
        return RunRender(render, out, err, errIsTerminal);
    }
    if (*infoCmd) return RunInfo(infoPath, out, err);
    if (*newCmd) return RunNew(newPath, newSource, newSettings, force, out, err);
    return kExitUsage;
}

}  // namespace dw::cli
