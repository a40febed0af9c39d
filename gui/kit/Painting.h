#pragma once
// Painting helpers shared by every window that draws its own chrome. None of
// them owns the pixmap it draws. Windows paint into a back buffer of their
// client size (MakeBackBuffer) and copy it to the screen in one piece, so a
// repaint never flickers and HiDPI screens get a buffer at their own density.

#include "core/geometry/Rect.h"

#include <QPixmap>
#include <QPoint>
#include <QSize>

class QPainter;
class QWidget;

namespace dw {

// Covers the rectangle with copies of the bitmap; right and bottom are reached
// inclusively (the last column and row end on pixel column r and row b).
void TileBitmap(const QPixmap& bitmap, const Rect& rect, QPainter& painter);

// The whole bitmap, unscaled, its top-left corner at `at`.
void DrawBitmapAt(const QPixmap& bitmap, QPainter& painter, QPoint at);

// The whole bitmap stretched to `size`, its top-left corner at `at`.
void StretchBitmapTo(QSize size, const QPixmap& bitmap, QPainter& painter, QPoint at);

// A back buffer for `widget`'s client area at the screen's device pixel ratio.
QPixmap MakeBackBuffer(const QWidget& widget);

}  // namespace dw
