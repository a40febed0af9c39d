#include "gui/engine/CDlgProgress.h"

#include <algorithm>

#include <QCoreApplication>
#include <QDialog>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QThread>
#include <QTimerEvent>

#include "gui/kit/ArtResources.h"
#include "gui/kit/MessageBox.h"

namespace dw {

void PumpMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

CDlgProgress::TestHooks& CDlgProgress::Hooks() {
    static TestHooks hooks;
    return hooks;
}


CDlgProgress::CDlgProgress(QWidget* parent, int bitmapId, IMessageSink* messages)
    : QDialog(parent), bitmapId_(bitmapId), messages_(messages) {
    setWindowTitle(QStringLiteral("Processing..."));
    setModal(true);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    // White behind every control, as the banner's own background.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("ctl-%1").arg(kProgressBarId));
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    bar_->setGeometry(10, kBannerHeight + 8, kBannerWidth - 20, 16);

    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("ctl-%1").arg(kCancelId));
    cancel_->setAutoDefault(false);
    cancel_->setGeometry((kBannerWidth - 75) / 2, kBannerHeight + 34, 75, 23);
    connect(cancel_, &QPushButton::clicked, this, [this] { OnCancel(); });

    resize(kBannerWidth, kBannerHeight + 34 + 23 + 10);
}

CDlgProgress::~CDlgProgress() = default;

bool CDlgProgress::OnInitDialog() {
    banner_ = LoadBitmapResource(bitmapId_);
    if (banner_.isNull()) return false;
    const QSize b = banner_.deviceIndependentSize().toSize();
    // The height reaches 25 pixels below the Cancel button.
    setFixedSize(b.width(), cancel_->geometry().bottom() + 1 + 25);
    bar_->setGeometry(25, bar_->y(), b.width() - 51, bar_->height());
    cancel_->move((b.width() - cancel_->width()) / 2, cancel_->y());
    bar_->setValue(0);
    return true;
}

void CDlgProgress::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (initialised_) return;
    initialised_ = true;
    OnInitDialog();
    running_ = true;
    timerId_ = startTimer(0);
}

void CDlgProgress::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timerId_) {
        QDialog::timerEvent(event);
        return;
    }
    killTimer(timerId_);
    timerId_ = 0;
    if (Hooks().onStart) Hooks().onStart(*this);
    if (!ended_) RunWork();
    workDone_ = true;
}

void CDlgProgress::SetProgress(int percent) {
    // The bar shows 0 to 100; the loaders may compute more for tiny sources.
    const int value = std::clamp(percent, 0, 100);
    if (bar_->value() != value) bar_->setValue(value);
    if (Hooks().onReport) Hooks().onReport(*this, percent);
    PumpMessages();
}

void CDlgProgress::ShowMessage(int stringId, std::string_view text, MessageIcon icon) {
    if (messages_) {
        messages_->ShowMessage(stringId, text, icon);
        return;
    }
    MessageBoxSink(this).ShowMessage(stringId, text, icon);
}

void CDlgProgress::HoldAtFull() {
    bar_->setValue(100);
    for (int i = 0; i < Hooks().holdRounds && !ended_ && running_; ++i) {
        QThread::msleep(10);
        PumpMessages();
    }
}

void CDlgProgress::EndDialog(int result) {
    if (ended_) return;
    ended_ = true;
    if (timerId_ != 0) {
        killTimer(timerId_);
        timerId_ = 0;
    }
    done(result);
}

void CDlgProgress::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    if (banner_.isNull()) return;
    QPainter(this).drawPixmap(0, 0, banner_);
}

}  // namespace dw
