#include "gui/kit/ArtResources.h"

#include <QFile>
#include <QHash>

static void InitArtResources() { Q_INIT_RESOURCE(art); }

namespace dw {

namespace {

struct Entry {
    int id;
    const char* file;
};

// File names say what the picture is; the number is the one the code uses.
constexpr Entry kBitmaps[] = {
    {IDB_PROGRESS_CREATE, "progress-create.png"},
    {IDB_PROGRESS_LOAD, "progress-load.png"},
    {IDB_PROGRESS_WRITE, "progress-write.png"},
    {IDB_DISPLAY_BG, "display-frame.png"},
    {IDB_TRANSPORT_BG, "transport-bg.png"},
    {IDB_TOOLBAR_BG, "toolbar-bg.png"},
    {IDB_BTN_PLAY, "btn-play.png"},
    {IDB_BTN_NEXT, "btn-next.png"},
    {IDB_BTN_PREV, "btn-prev.png"},
    {IDB_BTN_START, "btn-start.png"},
    {IDB_BTN_STOP, "btn-stop.png"},
    {IDB_BTN_PAUSE, "btn-pause.png"},
    {IDB_DIGITS, "digits.png"},
    {IDB_TB_NEW, "tb-new.png"},
    {IDB_TB_ABOUT, "tb-about.png"},
    {IDB_TB_GUIDE, "tb-guide.png"},
    {IDB_TB_OPEN, "tb-open.png"},
    {IDB_TB_SAVECOPY, "tb-savecopy.png"},
    {IDB_TB_HOME, "tb-home.png"},
    {IDB_TB_EXPORT, "tb-export.png"},
    {IDB_TB_SAVE, "tb-save.png"},
    {IDB_MAIN_BG, "main-bg.png"},
    {IDB_ABOUT, "about.png"},
    {IDB_VOLUME_BG, "volume-frame.png"},
    {IDB_SLIDER_CHANNEL, "slider-channel.png"},
    {IDB_SLIDER_THUMB, "slider-thumb.png"},
};

constexpr Entry kCursors[] = {
    {IDC_HAND_LEFTRIGHT, "cursor-hand-leftright.png"},
    {IDC_HAND_LEFT, "cursor-hand-left.png"},
    {IDC_HAND_RIGHT, "cursor-hand-right.png"},
};

void EnsureInit() {
    static const bool once = [] {
        InitArtResources();
        return true;
    }();
    (void)once;
}

}  // namespace

QString BitmapResourcePath(int id) {
    for (const auto& e : kBitmaps)
        if (e.id == id) return QStringLiteral(":/art/") + QLatin1String(e.file);
    return {};
}

QPixmap LoadBitmapResource(int id) {
    EnsureInit();
    static QHash<int, QPixmap> cache;
    if (auto it = cache.constFind(id); it != cache.constEnd()) return *it;
    const QString path = BitmapResourcePath(id);
    if (path.isEmpty()) return {};
    QPixmap pixmap(path);
    if (!pixmap.isNull()) cache.insert(id, pixmap);
    return pixmap;
}

QPoint CursorHotSpot(int id) {
    switch (id) {
    case IDC_HAND_LEFTRIGHT: return {10, 2};
    case IDC_HAND_LEFT: return {2, 12};
    case IDC_HAND_RIGHT: return {29, 12};
    default: return {0, 0};
    }
}

QCursor LoadCursorResource(int id) {
    EnsureInit();
    for (const auto& e : kCursors) {
        if (e.id != id) continue;
        QPixmap pixmap(QStringLiteral(":/art/") + QLatin1String(e.file));
        if (pixmap.isNull()) break;
        const QPoint hot = CursorHotSpot(id);
        return QCursor(pixmap, hot.x(), hot.y());
    }
    return QCursor(Qt::ArrowCursor);
}

QIcon LoadAppIcon() {
    EnsureInit();
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/art/icon/driftwell-%1.png").arg(size), QSize(size, size));
    return icon;
}

}  // namespace dw
