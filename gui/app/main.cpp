// driftwell: the desktop application.
//   driftwell [--null-audio] [project.dwv]
// --null-audio (or DRIFTWELL_AUDIO=null) plays to a silent device. --help and
// --version are answered before Qt starts, so they need no display.
#include "gui/app/CDWApp.h"
#include "core/platform/StartOptions.h"

#include <QApplication>

#include <cstdio>
#include <string>
#include <vector>

#ifndef DW_VERSION
#define DW_VERSION "unknown"
#endif

int main(int argc, char** argv) {
    const dw::StartCommand command =
        dw::ParseStartOptions(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc), DW_VERSION);
    switch (command.action) {
    case dw::StartAction::Help:
    case dw::StartAction::Version:
        std::fputs(command.text.c_str(), stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    case dw::StartAction::Usage:
        std::fputs(command.text.c_str(), stderr);
        return dw::kStartExitUsage;
    case dw::StartAction::Run:
        break;
    }
    QApplication app(argc, argv);
    return dw::CDWApp::Run(QApplication::arguments());
}
