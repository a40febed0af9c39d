#include "gui/app/CDWApp.h"
#include "gui/kit/TableText.h"

#include "gui/app/CDWDlg.h"
#include "gui/app/QuitOnSignal.h"
#include "core/resources/StringTable.h"
#include "gui/kit/MessageBox.h"

#include <QApplication>
#include <QFileInfo>
#include <QFont>
#include <QScreen>

#include <string>
#include <vector>

namespace dw {

namespace {
QString Text(int id) { return TableText(id); }
}  // namespace

ScreenInfo CDWApp::ScreenInfoOf(const QScreen* screen) {
    ScreenInfo info;
    if (!screen) return ScreenInfo{0, 0, 0, 0, 0};
    info.width = screen->size().width();
    info.height = screen->size().height();
    info.bitsPerPixel = screen->depth();
    info.dpiX = qRound(screen->logicalDotsPerInchX());
    info.dpiY = qRound(screen->logicalDotsPerInchY());
    return info;
}

QString CDWApp::StartupCheckMessage(bool osSupported, bool screenSupported) {
    if (!osSupported) return Text(IDS_OS_NOT_SUPPORTED);
    if (!screenSupported) return Text(IDS_SCREEN_NOT_SUPPORTED);
    return {};
}

bool CDWApp::WantsNullAudio(const QStringList& arguments) {
    return arguments.mid(1).contains(QStringLiteral("--null-audio"));
}

int CDWApp::Run(const QStringList& arguments) {
    // Where Verdana is not installed, a close sans serif stands in.
    QFont::insertSubstitutions(QStringLiteral("Verdana"), {QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    QFont::insertSubstitutions(QStringLiteral("MS Shell Dlg"), {QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});

    const QString message =
        StartupCheckMessage(CheckOsVersion(), IsScreenSupported(ScreenInfoOf(QGuiApplication::primaryScreen())));
    if (!message.isEmpty()) {
        ShowMessageBox(nullptr, message, MessageIcon::Information);
        return 0;
    }

    QApplication::setApplicationName(QStringLiteral("Driftwell"));
    // The framework's per-user settings place; the program stores nothing there.
    QApplication::setOrganizationName(QStringLiteral("Local AppWizard-Generated Applications"));

    std::vector<std::string> args;
    for (const QString& a : arguments.mid(1)) args.push_back(a.toStdString());
    const std::string file =
        CommandLineFileNamePosix(args, [](const std::string& p) { return QFileInfo::exists(QString::fromStdString(p)); });

    CDWDlg dialog(nullptr, WantsNullAudio(arguments) ? AudioChoice::Null : AudioChoice::FromEnvironment);
    dialog.SetCommandLineFile(QString::fromStdString(file));
    QuitOnSignal(&dialog, [&dialog] { dialog.KeepUnsavedWork(); });
    dialog.exec();
    return 0;
}

}  // namespace dw
