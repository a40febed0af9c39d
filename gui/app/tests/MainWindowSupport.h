#pragma once
// What the main window's tests share: a started window at a known size, and
// small files written into a test's temporary folder.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include "gui/app/CDWDlg.h"

namespace dw::test {

// The main window started on `commandLineFile` (none: a new project) without
// a sound device, shown at a client size of 1600 x 900.
inline std::unique_ptr<CDWDlg> StartMainWindow(const QString& commandLineFile = {}) {
    auto w = std::make_unique<CDWDlg>(nullptr, AudioChoice::Null);
    w->SetCommandLineFile(commandLineFile);
    w->OnInitDialog();
    w->setWindowState(Qt::WindowNoState);
    w->setMinimumSize(0, 0);
    w->resize(1600, 900);
    // Resize events reach a window only once it is shown.
    w->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    return w;
}

// Writes `bytes` to `name` in `dir` and returns the file's path.
inline QString WriteFileIn(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
    return path;
}

}  // namespace dw::test
