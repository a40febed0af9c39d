#include "core/platform/StartOptions.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace dw {

namespace {

// Qt reads these itself (with one dash or two); the first group takes a value.
constexpr std::array<std::string_view, 12> kQtWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
    "qwindowtitle", "session", "display", "geometry", "style", "stylesheet"};
constexpr std::array<std::string_view, 5> kQtFlags = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

std::string HelpText(const std::string& version) {
    return "Usage: driftwell [OPTIONS] [PROJECT.dwv]\n"
           "Driftwell " + version + ": turns one recorded piece of music into a long, slowly evolving ambient piece.\n"
           "Opens PROJECT.dwv when it is given, otherwise the default project.\n"
           "\n"
           "Options:\n"
           "  -h,--help     Print this help message and exit\n"
           "  --version     Print the version and exit\n"
           "  --null-audio  Play to a silent device (as DRIFTWELL_AUDIO=null does)\n"
           "  Qt's own options (-style, -platform, ...) are taken as well.\n"
           "\n"
           "To create music without a window, use driftwell-cli (driftwell-cli --help).\n"
           "Exit status: 0 done, 2 bad usage.\n";
}

}  // namespace

StartCommand ParseStartOptions(const std::vector<std::string>& args, const std::string& version) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") break;  // the rest are file names
        if (a.size() < 2 || a[0] != '-') continue;
        if (a == "-h" || a == "--help") return {StartAction::Help, HelpText(version)};
        if (a == "--version") return {StartAction::Version, "driftwell " + version + "\n"};
        if (a == "--null-audio") continue;
        std::string_view name(a);
        name.remove_prefix(name.starts_with("--") ? 2 : 1);
        const std::size_t equals = name.find('=');
        const std::string_view bare = name.substr(0, equals);
        if (std::find(kQtWithValue.begin(), kQtWithValue.end(), bare) != kQtWithValue.end()) {
            if (equals == std::string_view::npos) ++i;  // its value follows
            continue;
        }
        if (equals == std::string_view::npos && std::find(kQtFlags.begin(), kQtFlags.end(), bare) != kQtFlags.end())
            continue;
        return {StartAction::Usage, "driftwell: unknown option " + a + "\nRun with --help for more information.\n"};
    }
    return {};
}

}  // namespace dw
