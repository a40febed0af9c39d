#include "gui/app/HelpCommands.h"

#include "gui/app/CDlgAbout.h"
#include "core/platform/Platform.h"
#include "gui/app/platform/ShellOpen.h"
#include "core/resources/StringTable.h"
#include "gui/kit/MessageBox.h"
#include "gui/kit/TableText.h"

#include <QFileInfo>
#include <QUrl>

namespace dw {

namespace {
QString Text(int id) { return TableText(id); }
}  // namespace

QString UsersGuidePath() {
    return QString::fromStdString(JoinInstallPath(ReadInstallPath(), Text(IDS_GUIDE_FILE_NAME).toStdString()));
}

void OpenUsersGuide(QWidget* owner) { OpenUsersGuideAt(owner, UsersGuidePath()); }

void OpenUsersGuideAt(QWidget* owner, const QString& path) {
    // The desktop's opener starts a helper and reports success even for a
    // file that is not there, so a missing guide is caught here first.
    const bool opened = QFileInfo(path).isFile() && ShellOpen(QUrl::fromLocalFile(path));
    if (!opened) ShowMessageBox(owner, Text(IDS_CANNOT_OPEN_GUIDE), MessageIcon::Exclamation);
}

void OpenHomePage() { ShellOpen(QUrl(Text(IDS_HOME_PAGE_ADDRESS))); }

void ShowAboutBox(QWidget* owner) {
    CDlgAbout about(owner);
    about.exec();
}

}  // namespace dw
