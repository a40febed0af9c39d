#include "gui/editors/CWndHeaders.h"

#include <QPainter>

#include "core/geometry/MatrixGeometry.h"
#include "core/model/Project.h"
#include "gui/kit/ShapePainting.h"

namespace dw {

CWndHeaders::CWndHeaders(QWidget* parent, CProject* project) : QWidget(parent), project_(project) {
    setAttribute(Qt::WA_OpaquePaintEvent);  // every paint covers the whole window
    font_ = VerdanaFont(13, this);
}

void CWndHeaders::Render(QPainter& p, QSize size) const {
    const int w = size.width();
    const int n = project_ ? project_->graphs.visibleCount : 0;
    if (n < 1) {
        FillRect(p, 0, 0, w, size.height(), Rgb(135, 140, 145));
        return;
    }
    p.setFont(font_);
    p.setPen(Qt::black);
    for (int i = 0; i < n; ++i) {
        const RowSpan row = RowBounds(size.height(), n, i);
        FillRect(p, 0, row.top, w, row.bottom, HslColor(RowHue(i, n), kHeaderSaturation, kHeaderLightness));
        const QString name = QString::fromStdString(project_->graphs.GraphName(project_->graphs.graphOfRow[i]));
        // Cut off at the right edge, never shortened or wrapped.
        p.drawText(QRect(5, row.top + 5, qMax(0, w - 5), qMax(0, row.bottom - row.top - 5)),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, name);
        if (i > 0) FrameRect(p, -1, row.top - 1, w + 1, row.top + 2, Rgb(95, 100, 105), Rgb(135, 140, 145));
    }
}

void CWndHeaders::paintEvent(QPaintEvent*) {
    PaintBuffered(this, [this](QPainter& p, QSize size) {
        PaintWithBorder(p, size, border_, [this](QPainter& q, QSize client) { Render(q, client); });
    });
}

void CWndHeaders::SetThinBorder(bool on) {
    border_ = on ? 1 : 0;
    update();
}

}  // namespace dw
