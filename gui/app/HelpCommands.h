#pragma once
// The toolbar's help commands: the user's guide, the home page, the About box.

#include <QString>

class QWidget;

namespace dw {

// The program's version, shown in the About box.
constexpr int kVersionMajor = 4;
constexpr int kVersionMinor = 0;
constexpr int kVersionPatch = 0;

// Where the user's guide is: the installation folder, "/", the guide's file
// name. With no installation folder the path is "/" and the name, which does
// not exist, so the user hears that the guide cannot be opened.
QString UsersGuidePath();

// Opens the user's guide with the desktop's viewer; when the file is missing
// or nothing can open it, shows "Error: Cannot open User's Guide".
void OpenUsersGuide(QWidget* owner);
// The same for a given path.
void OpenUsersGuideAt(QWidget* owner, const QString& path);

// Opens the program's home page; a failure is not reported.
void OpenHomePage();

// Runs the About box modally.
void ShowAboutBox(QWidget* owner);

}  // namespace dw
