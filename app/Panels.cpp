#include "app/Panels.h"

#include "app/AppMessages.h"
#include "app/controls/Painting.h"
#include "model/Project.h"

#include <QPainter>

namespace dw {

CPanelPlaceholder::CPanelPlaceholder(QWidget* parent, int id, QString name, bool thinBorder)
    : QWidget(parent), id_(id), name_(std::move(name)), border_(thinBorder) {
    setObjectName(QStringLiteral("panel-%1").arg(id));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CPanelPlaceholder::paintEvent(QPaintEvent*) {
    QPixmap buffer = MakeBackBuffer(*this);
    {
        QPainter p(&buffer);
        p.fillRect(rect(), QColor(39, 54, 61));
        if (border_) {
            p.setPen(QColor(100, 100, 100));
            p.drawRect(rect().adjusted(0, 0, -1, -1));
        }
        QFont f = font();
        f.setPixelSize(12);
        p.setFont(f);
        p.setPen(QColor(120, 140, 150));
        p.drawText(rect(), Qt::AlignCenter, name_);
    }
    QPainter(this).drawPixmap(0, 0, buffer);
}

CControlPanelPlaceholder::CControlPanelPlaceholder(QWidget* parent, CProject* project)
    : CPanelPlaceholder(parent, IDC_CONTROL_PANEL, QStringLiteral("Control panel"), true), project_(project) {}

QSize CControlPanelPlaceholder::PanelSize() const {
    return {DialogUnitsToPixelsX(kControlPanelDialogUnitsW), DialogUnitsToPixelsY(kControlPanelDialogUnitsH)};
}

bool CControlPanelPlaceholder::EnsureSource() {
    ++ensureSourceCalls;
    return project_ && !project_->properties.sourcePath.empty();
}

void CControlPanelPlaceholder::UpdateControls() {
    ++updateControlsCalls;
    if (!project_) return;
    // Applying the quality: the rate always follows it; a changed quality also
    // drops the decoded source, takes the encoder list's choice into the
    // properties and tells the main window.
    CProperties& props = project_->properties;
    if (props.quality <= 3) props.sampleRate = SampleRateOfQuality(props.quality);
    if (rememberedQuality_ == static_cast<int>(props.quality)) return;
    rememberedQuality_ = static_cast<int>(props.quality);
    props.sourceLoaded = false;
    props.encoder = static_cast<std::uint32_t>(encoderIndex_);
    SendAppMessage(parentWidget(), WM_APP_ENCODER_CHANGED, 0);
}

}  // namespace dw
