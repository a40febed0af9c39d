#include "gui/engine/CDlgProgress.h"

#include <algorithm>

#include <QDialog>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QTimerEvent>

#include "gui/kit/ArtResources.h"
#include "gui/kit/MessageBox.h"

namespace dw {

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
    connect(&work_, &BackgroundWork::Progressed, this, &CDlgProgress::SetProgress);
    connect(&work_, &BackgroundWork::Finished, this, &CDlgProgress::OnWorkFinished);

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
    if (ended_) {
        workDone_ = true;
        return;
    }
    work_.SetReportsInStep(static_cast<bool>(Hooks().onReport));
    work_.Start([this](IProgress& progress) { RunWork(progress); });
}

void CDlgProgress::OnWorkFinished() {
    workDone_ = true;
    WorkFinished(work_.Error());
}

void CDlgProgress::StopWorkAndWait() {
    running_ = false;
    work_.CancelAndWait();
}

void CDlgProgress::StopWork() {
    running_ = false;
    work_.Cancel();
}

void CDlgProgress::SetProgress(int percent) {
    // The bar shows 0 to 100; the loaders may compute more for tiny sources.
    const int value = std::clamp(percent, 0, 100);
    if (bar_->value() != value) bar_->setValue(value);
    if (Hooks().onReport) Hooks().onReport(*this, percent);
}

void CDlgProgress::ShowMessage(int stringId, std::string_view text, MessageIcon icon) {
    if (messages_) {
        messages_->ShowMessage(stringId, text, icon);
        return;
    }
    MessageBoxSink(this).ShowMessage(stringId, text, icon);
}

void CDlgProgress::HoldAtFull(std::function<void()> then) {
    bar_->setValue(100);
    holding_ = true;
    QTimer::singleShot(std::max(0, Hooks().holdRounds) * 10, this, [this, then = std::move(then)] {
        holding_ = false;
        if (!ended_) then();
    });
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
