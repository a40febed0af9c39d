#pragma once
// Shapes, colours and fonts for the windows that draw their content from
// computed geometry (the editors, the timeline, the trim dialog).
// Coordinates follow the convention of Rect: a rectangle covers
// [left, right) × [top, bottom), and a line from a to b leaves out its end
// point, so that the computed pixel columns are painted exactly as computed.

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

#include "core/model/ColorRGB.h"

namespace dw {

inline QColor Rgb(int r, int g, int b) { return QColor(r, g, b); }

// A colour from hue, saturation and lightness through the model's own
// conversion, so that the editors' colours are the same everywhere.
QColor HslColor(float hue, float saturation, float lightness);

// "Verdana" of `points` points on this screen: the line height is
// points × dots per inch / 72 pixels. Another sans-serif stands in where
// Verdana is not installed.
QFont VerdanaFont(int points, const QWidget* widget);

// Fills [left, right) × [top, bottom).
void FillRect(QPainter& p, int left, int top, int right, int bottom, const QColor& color);

// A framed rectangle: a 1-pixel outline on the rectangle's inner edge and the
// inside filled.
void FrameRect(QPainter& p, int left, int top, int right, int bottom, const QColor& pen, const QColor& brush);

// Axis-parallel lines of `thickness` pixels centred on the given row or column,
// from the first coordinate up to (not including) the second.
void HLine(QPainter& p, int x0, int x1, int y, const QColor& color, int thickness = 1);
void VLine(QPainter& p, int x, int y0, int y1, const QColor& color, int thickness = 1);

// Draws a `border`-pixel frame around `size` and has `render(painter, client
// size)` draw the client area inside it, clipped, with its origin at the
// client's top-left corner.
template <class Render>
void PaintWithBorder(QPainter& p, QSize size, int border, Render&& render) {
    if (border > 0) {
        FillRect(p, 0, 0, size.width(), size.height(), QColor(100, 100, 100));
        p.save();
        p.translate(border, border);
        const QSize client(qMax(0, size.width() - 2 * border), qMax(0, size.height() - 2 * border));
        p.setClipRect(QRect(QPoint(0, 0), client));
        render(p, client);
        p.restore();
    } else {
        render(p, size);
    }
}

// Paints a widget the flicker-free way: `render(painter, size)` draws the
// whole client area into an off-screen pixmap of the client size (at the
// screen's device pixel ratio), which is then copied to the widget in one
// piece.
template <class Render>
void PaintBuffered(QWidget* widget, Render&& render) {
    const qreal dpr = widget->devicePixelRatioF();
    QPixmap buffer(widget->size() * dpr);
    buffer.setDevicePixelRatio(dpr);
    {
        QPainter p(&buffer);
        render(p, widget->size());
    }
    QPainter out(widget);
    out.drawPixmap(0, 0, buffer);
}

}  // namespace dw
