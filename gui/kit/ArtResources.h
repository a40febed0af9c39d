#pragma once
// The program's pictures, cursors and icon by their resource numbers. They are
// compiled into the binary (resources/art, Qt resource system), loaded on first
// use and kept for the whole run.

#include <QCursor>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace dw {

// Resource numbers of the bitmaps.
enum BitmapId : int {
    IDB_PROGRESS_CREATE = 142,  // 375 x 120 banner: creating music
    IDB_PROGRESS_LOAD = 143,    // 375 x 120 banner: loading music
    IDB_PROGRESS_WRITE = 144,   // 375 x 120 banner: writing music
    IDB_DISPLAY_BG = 146,       // 120 x 40 time display frame
    IDB_TRANSPORT_BG = 148,     // 60 x 60 transport bar background
    IDB_TOOLBAR_BG = 149,       // 40 x 40 toolbar background
    IDB_BTN_PLAY = 150,         // 120 x 40 state strips of the transport bar
    IDB_BTN_NEXT = 151,
    IDB_BTN_PREV = 153,
    IDB_BTN_START = 154,
    IDB_BTN_STOP = 155,
    IDB_BTN_PAUSE = 156,
    IDB_DIGITS = 157,           // 150 x 19 digit strip 0..9
    IDB_TB_NEW = 158,           // 84 x 28 state strips of the toolbar
    IDB_TB_ABOUT = 159,
    IDB_TB_GUIDE = 160,
    IDB_TB_OPEN = 162,
    IDB_TB_SAVECOPY = 164,
    IDB_TB_HOME = 165,
    IDB_TB_EXPORT = 166,
    IDB_TB_SAVE = 167,
    IDB_MAIN_BG = 168,          // 64 x 64 main window background below the control panel
    IDB_ABOUT = 169,            // 450 x 220 About picture
    IDB_VOLUME_BG = 171,        // 171 x 40 volume frame
    IDB_SLIDER_CHANNEL = 172,   // 123 x 20 slider channel
    IDB_SLIDER_THUMB = 173,     // 11 x 22 slider thumb
};

// Resource numbers of the cursors (32 x 32).
enum CursorId : int {
    IDC_HAND_LEFTRIGHT = 138,  // hand under a left/right arrow pair, hot spot (10, 2)
    IDC_HAND_LEFT = 139,       // hand pointing left, for a start edge
    IDC_HAND_RIGHT = 140,      // hand pointing right, for an end edge
};

constexpr int IDI_APP = 128;

// The Qt resource path of a bitmap ("" for an unknown number).
QString BitmapResourcePath(int id);

// The bitmap, or a null pixmap when the number is unknown or the file missing.
QPixmap LoadBitmapResource(int id);

// The cursor with its hot spot; the arrow for an unknown number.
QCursor LoadCursorResource(int id);

// The hot spot of a cursor picture.
QPoint CursorHotSpot(int id);

// The application icon in all its sizes.
QIcon LoadAppIcon();

}  // namespace dw
