#include "gui/kit/ShapePainting.h"

#include <QFontInfo>

namespace dw {

QColor HslColor(float hue, float saturation, float lightness) {
    const CColorRGB c(hue, saturation, lightness);
    return QColor(c.red, c.green, c.blue);
}

QFont VerdanaFont(int points, const QWidget* widget) {
    QFont font(QStringLiteral("Verdana"));
    font.setStyleHint(QFont::SansSerif);
    const int dpi = widget ? widget->logicalDpiY() : 96;
    const int lineHeight = (points * dpi + 36) / 72;
    // A font's em is about 0.82 of its line height (ascent plus descent).
    font.setPixelSize(qMax(1, qRound(lineHeight * 0.82)));
    return font;
}

void FillRect(QPainter& p, int left, int top, int right, int bottom, const QColor& color) {
    if (right > left && bottom > top) p.fillRect(left, top, right - left, bottom - top, color);
}

void FrameRect(QPainter& p, int left, int top, int right, int bottom, const QColor& pen, const QColor& brush) {
    FillRect(p, left, top, right, bottom, pen);
    FillRect(p, left + 1, top + 1, right - 1, bottom - 1, brush);
}

void HLine(QPainter& p, int x0, int x1, int y, const QColor& color, int thickness) {
    const int top = y - (thickness - 1) / 2;
    FillRect(p, qMin(x0, x1), top, qMax(x0, x1), top + thickness, color);
}

void VLine(QPainter& p, int x, int y0, int y1, const QColor& color, int thickness) {
    const int left = x - (thickness - 1) / 2;
    FillRect(p, left, qMin(y0, y1), left + thickness, qMax(y0, y1), color);
}

}  // namespace dw
