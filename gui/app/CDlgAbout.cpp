#include "gui/app/CDlgAbout.h"

#include "gui/app/HelpCommands.h"
#include "core/geometry/MainLayout.h"
#include "core/resources/StringTable.h"
#include "gui/kit/ArtResources.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace dw {

CDlgAbout::CDlgAbout(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Driftwell"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);
    // The template's size and button, in dialog units: 323 x 208, OK 57 x 17 at (133, 182).
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setDefault(true);
    ok_->setGeometry(DialogUnitsToPixelsX(133), DialogUnitsToPixelsY(182), DialogUnitsToPixelsX(57),
                     DialogUnitsToPixelsY(17));
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    setFixedSize(DialogUnitsToPixelsX(323), DialogUnitsToPixelsY(208));

    // White behind the controls.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    picture_ = LoadBitmapResource(IDB_ABOUT);
    if (picture_.isNull()) return;  // keeps the template's size, without picture
    const QSize pic = picture_.deviceIndependentSize().toSize();
    const int bh = ok_->height();
    setFixedSize(pic.width(), pic.height() + bh + 2 * (bh / 2));
    ok_->move((pic.width() - ok_->width()) / 2, pic.height() + bh / 2);
}

QString CDlgAbout::VersionText() {
    // The table's text is "Version %d.%d.%d"; its three numbers are filled in
    // one by one, so a text from elsewhere can never be taken as a format.
    const std::string_view table = LoadString(IDS_VERSION_FORMAT);
    QString text = table.empty() ? QStringLiteral("Version %d.%d.%d")
                                 : QString::fromUtf8(table.data(), static_cast<qsizetype>(table.size()));
    for (int n : {kVersionMajor, kVersionMinor, kVersionPatch}) {
        const auto at = text.indexOf(QStringLiteral("%d"));
        if (at < 0) break;
        text.replace(at, 2, QString::number(n));
    }
    return text;
}

int CDlgAbout::VersionFontPixelHeight(int dpiY) { return MulDiv(14, dpiY, 72); }

QFont CDlgAbout::VersionFont() const {
    QFont f(QStringLiteral("Verdana"));
    const QScreen* s = screen();
    const int dpiY = s ? qRound(s->logicalDotsPerInchY()) : 96;
    f.setPixelSize(VersionFontPixelHeight(dpiY));
    f.setWeight(QFont::Bold);
    return f;
}

QRect CDlgAbout::versionTextRect() const {
    const QFontMetrics fm(VersionFont());
    const int w = fm.horizontalAdvance(VersionText());
    return QRect(width() - w - 4, 35, w, fm.height());
}

void CDlgAbout::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!picture_.isNull()) p.drawPixmap(0, 0, picture_);
    p.setFont(VersionFont());
    p.setPen(QColor(91, 113, 125));
    const QRect r = versionTextRect();
    p.drawText(r, Qt::AlignLeft | Qt::AlignTop, VersionText());
}

}  // namespace dw
