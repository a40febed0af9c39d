#include "gui/kit/Painting.h"

#include "core/geometry/ControlGeometry.h"

#include <QPainter>
#include <QWidget>

namespace dw {

void TileBitmap(const QPixmap& bitmap, const Rect& rect, QPainter& painter) {
    if (bitmap.isNull()) return;
    const QSize size = bitmap.deviceIndependentSize().toSize();
    for (const Tile& t : ComputeTiles(rect, size.width(), size.height()))
        painter.drawPixmap(QRect(t.x, t.y, t.w, t.h), bitmap,
                           QRectF(0, 0, t.w * bitmap.devicePixelRatio(), t.h * bitmap.devicePixelRatio()));
}

void DrawBitmapAt(const QPixmap& bitmap, QPainter& painter, QPoint at) {
    if (bitmap.isNull()) return;
    painter.drawPixmap(at, bitmap);
}

void StretchBitmapTo(QSize size, const QPixmap& bitmap, QPainter& painter, QPoint at) {
    if (bitmap.isNull()) return;
    painter.drawPixmap(QRect(at, size), bitmap);
}

QPixmap MakeBackBuffer(const QWidget& widget) {
    const qreal dpr = widget.devicePixelRatioF();
    QPixmap buffer(widget.size() * dpr);
    buffer.setDevicePixelRatio(dpr);
    return buffer;
}

}  // namespace dw
