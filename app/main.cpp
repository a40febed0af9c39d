// driftwell: the desktop application.
//   driftwell [--null-audio] [project.dwv]
// --null-audio (or DRIFTWELL_AUDIO=null) plays to a silent device.
#include "app/CDWApp.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return dw::CDWApp::Run(QApplication::arguments());
}
