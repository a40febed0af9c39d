#include "gui/kit/ProgressBox.h"

#include <exception>

#include "gui/kit/BackgroundWork.h"

#include <QEventLoop>
#include <QLabel>
#include <QPainter>
#include <QPixmap>

namespace dw {

namespace {
// The caption's label drawn as the banner: the text stays for those who
// read it (screen readers, tests), the picture already shows it.
class BannerLabel final : public QLabel {
public:
    BannerLabel(const QString& text, const QPixmap& banner) : QLabel(text), banner_(banner) {
        setFixedSize(banner_.deviceIndependentSize().toSize());
    }
    QSize sizeHint() const override { return banner_.deviceIndependentSize().toSize(); }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).drawPixmap(0, 0, banner_); }

private:
    QPixmap banner_;
};
}  // namespace

ProgressBox::ProgressBox(QWidget* owner, const QString& caption, IMessageSink* messages, const QString& objectName)
    : messages_(messages), dialog_(caption, QStringLiteral("Cancel"), 0, 100, owner) {
    if (!objectName.isEmpty()) dialog_.setObjectName(objectName);
    dialog_.setWindowTitle(QStringLiteral("Processing..."));
    dialog_.setWindowModality(Qt::WindowModal);
    dialog_.setMinimumDuration(0);
    dialog_.setAutoClose(false);
    dialog_.setAutoReset(false);
    dialog_.setValue(0);
}

void ProgressBox::ShowMessage(int stringId, std::string_view text, MessageIcon icon) {
    dialog_.hide();
    if (messages_) messages_->ShowMessage(stringId, text, icon);
}

void ProgressBox::SetProgress(int percent) { dialog_.setValue(percent); }

void ProgressBox::Run(const std::function<void(IProgress&)>& work) {
    BackgroundWork background(this);
    QEventLoop loop;
    QObject::connect(&background, &BackgroundWork::Progressed, &dialog_, [this](int percent) { SetProgress(percent); });
    QObject::connect(&dialog_, &QProgressDialog::canceled, &background, [&background] { background.Cancel(); });
    QObject::connect(&background, &BackgroundWork::Finished, &loop, &QEventLoop::quit);
    background.Start(work);
    if (dialog_.wasCanceled()) background.Cancel();
    loop.exec();
    if (background.Error()) std::rethrow_exception(background.Error());
}

void ProgressBox::SetBanner(const QPixmap& banner) {
    if (banner.isNull()) return;  // the caption line stays
    dialog_.setLabel(new BannerLabel(dialog_.labelText(), banner));
}

bool ProgressBox::IsRunning() const { return !dialog_.wasCanceled(); }

}  // namespace dw
