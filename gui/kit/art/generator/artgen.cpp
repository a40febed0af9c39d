// Draws every picture, cursor and icon of the program from code, so that the
// art can be changed, re-coloured or redrawn at another size by editing this
// one file. Run it (dw_artgen <output folder>) after a change and commit the
// PNG files it writes; the program itself embeds the PNGs.
//
// One palette runs through everything: deep slate for frames, a misty blue
// grey for surfaces, sea-foam for what is active, warm sand for highlights.

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>
#include <QtMath>

#include <cstdio>
#include <functional>

namespace {

const QColor kSlateDeep(26, 36, 43);
const QColor kSlate(39, 54, 61);
const QColor kSlateLight(62, 80, 90);
const QColor kMist(120, 130, 145);
const QColor kMistLight(176, 188, 198);
const QColor kFoam(150, 208, 196);
const QColor kFoamBright(196, 236, 226);
const QColor kSand(226, 206, 170);
const QColor kPaper(240, 245, 250);
const QColor kLcd(22, 34, 38);

QString gOut;

QImage NewImage(int w, int h, bool transparent = false) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(transparent ? Qt::transparent : kSlate);
    return img;
}

void Save(const QImage& img, const QString& name) {
    const QString path = gOut + "/" + name;
    if (!img.save(path, "PNG")) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

// A soft sine wave line, periodic in `period` pixels so tiles join up.
void WaveLine(QPainter& p, double x0, double x1, double y, double amp, double period, double phase, const QPen& pen) {
    QPainterPath path;
    for (double x = x0; x <= x1 + 0.01; x += 0.5) {
        const double yy = y + amp * std::sin((x / period) * 2 * M_PI + phase);
        if (x == x0) path.moveTo(x, yy);
        else path.lineTo(x, yy);
    }
    p.strokePath(path, pen);
}

// ---------------------------------------------------------------- backgrounds

QImage ToolbarBackground() {
    QImage img = NewImage(40, 40);
    QPainter p(&img);
    QLinearGradient g(0, 0, 0, 40);
    g.setColorAt(0, QColor(58, 74, 84));
    g.setColorAt(1, QColor(34, 47, 55));
    p.fillRect(0, 0, 40, 40, g);
    p.setRenderHint(QPainter::Antialiasing);
    QColor w = kFoam;
    w.setAlpha(22);
    WaveLine(p, 0, 40, 27, 2.0, 40, 0, QPen(w, 1.2));
    w.setAlpha(14);
    WaveLine(p, 0, 40, 32, 1.5, 40, 1.7, QPen(w, 1.0));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(86, 104, 114));
    p.drawLine(0, 0, 39, 0);
    p.setPen(QColor(18, 26, 31));
    p.drawLine(0, 39, 39, 39);
    return img;
}

QImage TransportBackground() {
    QImage img = NewImage(60, 60);
    QPainter p(&img);
    QLinearGradient g(0, 0, 0, 60);
    g.setColorAt(0, QColor(50, 66, 76));
    g.setColorAt(1, QColor(28, 39, 46));
    p.fillRect(0, 0, 60, 60, g);
    p.setRenderHint(QPainter::Antialiasing);
    QColor w = kFoam;
    w.setAlpha(16);
    WaveLine(p, 0, 60, 40, 3.0, 60, 0.6, QPen(w, 1.2));
    w.setAlpha(10);
    WaveLine(p, 0, 60, 47, 2.0, 30, 2.1, QPen(w, 1.0));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(90, 108, 118));
    p.drawLine(0, 0, 59, 0);
    p.setPen(QColor(16, 23, 28));
    p.drawLine(0, 1, 59, 1);
    return img;
}

QImage MainBackground() {
    // A quiet woven texture a little darker than the window colour.
    QImage img = NewImage(64, 64);
    QPainter p(&img);
    p.fillRect(0, 0, 64, 64, QColor(104, 115, 129));
    p.setRenderHint(QPainter::Antialiasing);
    for (int k = -1; k <= 1; ++k) {
        QColor c(255, 255, 255, 14);
        WaveLine(p, 0, 64, 16 + 32 * k + 16, 4.0, 64, 0.0, QPen(c, 1.4));
        QColor d(20, 30, 40, 20);
        WaveLine(p, 0, 64, 16 + 32 * k, 4.0, 64, M_PI, QPen(d, 1.4));
    }
    return img;
}

// ---------------------------------------------------------------- buttons

using Glyph = std::function<void(QPainter&, const QRectF&, const QColor&)>;

// A state strip: normal, pressed, hovered, each `s` x `s`.
QImage ButtonStrip(int s, bool round, const QImage& bg, int bgOffsetY, const Glyph& glyph) {
    QImage img = NewImage(3 * s, s);
    QPainter p(&img);
    for (int state = 0; state < 3; ++state) {
        const int x0 = state * s;
        // The bar's own background behind the button, so it sits in place.
        for (int x = 0; x < s; x += bg.width()) p.drawImage(QPoint(x0 + x, 0), bg, QRect(0, bgOffsetY, s, s));
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r(x0 + 1.5, 1.5, s - 3, s - 3);
        QLinearGradient g(0, 0, 0, s);
        QColor top, bottom, rim, ink;
        if (state == 0) {
            top = QColor(78, 98, 110); bottom = QColor(46, 62, 72); rim = QColor(20, 30, 36); ink = kPaper;
        } else if (state == 1) {
            top = QColor(30, 44, 52); bottom = QColor(44, 62, 70); rim = QColor(12, 18, 22); ink = kFoam;
        } else {
            top = QColor(96, 132, 138); bottom = QColor(58, 86, 92); rim = QColor(24, 40, 44); ink = kFoamBright;
        }
        g.setColorAt(0, top);
        g.setColorAt(1, bottom);
        p.setPen(QPen(rim, 1.0));
        p.setBrush(g);
        if (round) p.drawEllipse(r);
        else p.drawRoundedRect(r, s * 0.22, s * 0.22);
        // A fine highlight along the upper edge (pressed buttons lose it).
        if (state != 1) {
            p.setBrush(Qt::NoBrush);
            QColor hi(255, 255, 255, state == 2 ? 70 : 45);
            p.setPen(QPen(hi, 1.0));
            const QRectF ri = r.adjusted(1, 1, -1, -1);
            if (round) p.drawArc(ri, 30 * 16, 120 * 16);
            else p.drawRoundedRect(ri.adjusted(0, 0, 0, -ri.height() * 0.5), s * 0.18, s * 0.18);
        }
        if (state == 2) {
            QRadialGradient glow(r.center(), s * 0.5);
            glow.setColorAt(0, QColor(196, 236, 226, 60));
            glow.setColorAt(1, QColor(196, 236, 226, 0));
            p.setPen(Qt::NoPen);
            p.setBrush(glow);
            if (round) p.drawEllipse(r);
            else p.drawRoundedRect(r, s * 0.22, s * 0.22);
        }
        const double shift = state == 1 ? 1.0 : 0.0;
        glyph(p, r.translated(shift, shift), ink);
        p.setRenderHint(QPainter::Antialiasing, false);
    }
    return img;
}

// Glyph helpers work in a unit box mapped onto the button's inner square.
struct Unit {
    QRectF r;
    QPointF at(double u, double v) const { return {r.left() + u * r.width(), r.top() + v * r.height()}; }
    double len(double u) const { return u * r.width(); }
};

QPen InkPen(const QColor& ink, double w) {
    QPen pen(ink, w);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

void Triangle(QPainter& p, QPointF a, QPointF b, QPointF c, const QColor& ink) {
    QPainterPath path;
    path.moveTo(a);
    path.lineTo(b);
    path.lineTo(c);
    path.closeSubpath();
    p.setPen(InkPen(ink, 1.0));
    p.setBrush(ink);
    p.drawPath(path);
}

// Toolbar glyphs (28 x 28 buttons).
void GlyphNew(QPainter& p, const QRectF& r, const QColor& ink) {
    Unit u{r};
    QPainterPath page;
    page.moveTo(u.at(0.30, 0.22));
    page.lineTo(u.at(0.58, 0.22));
    page.lineTo(u.at(0.72, 0.36));
    page.lineTo(u.at(0.72, 0.78));
    page.lineTo(u.at(0.30, 0.78));
    page.closeSubpath();
    p.setBrush(Qt::NoBrush);
    p.setPen(InkPen(ink, 1.4));
    p.drawPath(page);
    p.drawLine(u.at(0.58, 0.22), u.at(0.58, 0.36));
    p.drawLine(u.at(0.58, 0.36), u.at(0.72, 0.36));
    p.setPen(InkPen(kSand, 1.6));
    p.drawLine(u.at(0.51, 0.50), u.at(0.51, 0.68));
    p.drawLine(u.at(0.42, 0.59), u.at(0.60, 0.59));
}

void GlyphOpen(QPainter& p, const QRectF& r, const QColor& ink) {
    Unit u{r};
    QPainterPath back;
    back.moveTo(u.at(0.22, 0.74));
    back.lineTo(u.at(0.22, 0.28));
    back.lineTo(u.at(0.40, 0.28));
    back.lineTo(u.at(0.46, 0.35));
    back.lineTo(u.at(0.72, 0.35));
    back.lineTo(u.at(0.72, 0.46));
    p.setBrush(Qt::NoBrush);
    p.setPen(InkPen(ink, 1.4));
    p.drawPath(back);
    QPainterPath front;
    front.moveTo(u.at(0.22, 0.74));
    front.lineTo(u.at(0.33, 0.48));
    front.lineTo(u.at(0.82, 0.48));
    front.lineTo(u.at(0.70, 0.74));
    front.closeSubpath();
    QColor fill = kSand;
    fill.setAlpha(110);
    p.setBrush(fill);
    p.drawPath(front);
}

void Disk(QPainter& p, Unit u, const QColor& ink, double dx, double dy, double scale) {
    auto at = [&](double a, double b) { return u.at(dx + a * scale, dy + b * scale); };
    QPainterPath d;
    d.moveTo(at(0.0, 0.0));
    d.lineTo(at(0.78, 0.0));
    d.lineTo(at(1.0, 0.22));
    d.lineTo(at(1.0, 1.0));
    d.lineTo(at(0.0, 1.0));
    d.closeSubpath();
    p.setPen(InkPen(ink, 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawPath(d);
    QColor label = kSand;
    label.setAlpha(150);
    p.setBrush(label);
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(at(0.2, 0.56), at(0.8, 0.9)));
    p.setBrush(ink);
    p.drawRect(QRectF(at(0.22, 0.08), at(0.62, 0.32)));
}

void GlyphSave(QPainter& p, const QRectF& r, const QColor& ink) { Disk(p, Unit{r}, ink, 0.25, 0.25, 0.5); }

void GlyphSaveCopy(QPainter& p, const QRectF& r, const QColor& ink) {
    QColor faded = ink;
    faded.setAlpha(120);
    Disk(p, Unit{r}, faded, 0.17, 0.17, 0.44);
    Disk(p, Unit{r}, ink, 0.36, 0.36, 0.44);
}

void GlyphExport(QPainter& p, const QRectF& r, const QColor& ink) {
    Unit u{r};
    // A small sound wave flowing into an arrow: the music goes out to a file.
    QPainterPath wave;
    for (int i = 0; i <= 40; ++i) {
        const double t = i / 40.0;
        const double x = 0.18 + 0.40 * t;
        const double y = 0.50 + 0.16 * std::sin(t * 4 * M_PI) * (1 - 0.3 * t);
        if (i == 0) wave.moveTo(u.at(x, y));
        else wave.lineTo(u.at(x, y));
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(InkPen(ink, 1.4));
    p.drawPath(wave);
    p.setPen(InkPen(kSand, 1.6));
    p.drawLine(u.at(0.60, 0.50), u.at(0.80, 0.50));
    p.drawLine(u.at(0.72, 0.40), u.at(0.82, 0.50));
    p.drawLine(u.at(0.72, 0.60), u.at(0.82, 0.50));
}

void GlyphGuide(QPainter& p, const QRectF& r, const QColor& ink) {
    Unit u{r};
    p.setBrush(Qt::NoBrush);
    p.setPen(InkPen(ink, 1.3));
    QPainterPath left, right;
    left.moveTo(u.at(0.50, 0.32));
    left.cubicTo(u.at(0.40, 0.26), u.at(0.28, 0.26), u.at(0.20, 0.30));
    left.lineTo(u.at(0.20, 0.74));
    left.cubicTo(u.at(0.28, 0.70), u.at(0.40, 0.70), u.at(0.50, 0.76));
    right.moveTo(u.at(0.50, 0.32));
    right.cubicTo(u.at(0.60, 0.26), u.at(0.72, 0.26), u.at(0.80, 0.30));
    right.lineTo(u.at(0.80, 0.74));
    right.cubicTo(u.at(0.72, 0.70), u.at(0.60, 0.70), u.at(0.50, 0.76));
    p.drawPath(left);
    p.drawPath(right);
    p.drawLine(u.at(0.50, 0.32), u.at(0.50, 0.76));
    QColor lines = kSand;
    lines.setAlpha(170);
    p.setPen(InkPen(lines, 1.0));
    for (double v : {0.42, 0.52, 0.62}) {
        p.drawLine(u.at(0.27, v), u.at(0.43, v + 0.02));
        p.drawLine(u.at(0.57, v + 0.02), u.at(0.73, v));
    }
}

void GlyphAbout(QPainter& p, const QRectF& r, const QColor& ink) {
    Unit u{r};
    p.setBrush(Qt::NoBrush);
    p.setPen(InkPen(ink, 1.4));
    p.drawEllipse(QRectF(u.at(0.24, 0.24), u.at(0.76, 0.76)));
    p.setPen(InkPen(kSand, 2.0));
    p.drawPoint(u.at(0.50, 0.37));
    p.setPen(InkPen(kSand, 1.8));
    p.drawLine(u.at(0.50, 0.48), u.at(0.50, 0.64));
}

void GlyphHome(QPainter& p, const QRectF& r, const QColor& ink) {
    Unit u{r};
    // A globe: the program's page on the web.
    const QRectF globe(u.at(0.22, 0.22), u.at(0.78, 0.78));
    p.setBrush(Qt::NoBrush);
    p.setPen(InkPen(ink, 1.3));
    p.drawEllipse(globe);
    p.drawEllipse(QRectF(u.at(0.38, 0.22), u.at(0.62, 0.78)));
    QColor lat = kSand;
    lat.setAlpha(190);
    p.setPen(InkPen(lat, 1.0));
    p.drawLine(u.at(0.23, 0.50), u.at(0.77, 0.50));
    p.drawLine(u.at(0.29, 0.36), u.at(0.71, 0.36));
    p.drawLine(u.at(0.29, 0.64), u.at(0.71, 0.64));
}

// Transport glyphs (40 x 40 round buttons).
void GlyphStop(QPainter& p, const QRectF& r, const QColor& ink) {
    Unit u{r};
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawRoundedRect(QRectF(u.at(0.35, 0.35), u.at(0.65, 0.65)), 1.5, 1.5);
}

void GlyphPause(QPainter& p, const QRectF& r, const QColor& ink) {
    Unit u{r};
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawRoundedRect(QRectF(u.at(0.34, 0.33), u.at(0.45, 0.67)), 1.2, 1.2);
    p.drawRoundedRect(QRectF(u.at(0.55, 0.33), u.at(0.66, 0.67)), 1.2, 1.2);
}

void GlyphPlay(QPainter& p, const QRectF& r, const QColor& ink) {
    Unit u{r};
    Triangle(p, u.at(0.39, 0.31), u.at(0.39, 0.69), u.at(0.71, 0.50), kFoamBright.lighter(105));
    (void)ink;
}

void GlyphStart(QPainter& p, const QRectF& r, const QColor& ink) {
    Unit u{r};
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawRoundedRect(QRectF(u.at(0.32, 0.34), u.at(0.39, 0.66)), 1.0, 1.0);
    Triangle(p, u.at(0.68, 0.34), u.at(0.68, 0.66), u.at(0.42, 0.50), ink);
}

void GlyphPrev(QPainter& p, const QRectF& r, const QColor& ink) {
    Unit u{r};
    Triangle(p, u.at(0.52, 0.35), u.at(0.52, 0.65), u.at(0.30, 0.50), ink);
    Triangle(p, u.at(0.72, 0.35), u.at(0.72, 0.65), u.at(0.50, 0.50), ink);
}

void GlyphNext(QPainter& p, const QRectF& r, const QColor& ink) {
    Unit u{r};
    Triangle(p, u.at(0.28, 0.35), u.at(0.28, 0.65), u.at(0.50, 0.50), ink);
    Triangle(p, u.at(0.48, 0.35), u.at(0.48, 0.65), u.at(0.70, 0.50), ink);
}

// ---------------------------------------------------------------- frames

// A recessed dark panel with rounded corners over the bar's background.
void InsetPanel(QPainter& p, const QRectF& r, const QColor& fill) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(90, 110, 120), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(0, 1, 0, 1), 7, 7);  // light lip below
    p.setPen(QPen(QColor(10, 16, 20), 1.0));
    p.setBrush(fill);
    p.drawRoundedRect(r, 7, 7);
    QLinearGradient shade(0, r.top(), 0, r.top() + 8);
    shade.setColorAt(0, QColor(0, 0, 0, 70));
    shade.setColorAt(1, QColor(0, 0, 0, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shade);
    p.drawRoundedRect(r.adjusted(1, 1, -1, -1), 6, 6);
}

QImage DisplayFrame(const QImage& transportBg) {
    QImage img = NewImage(120, 40);
    QPainter p(&img);
    p.drawImage(QPoint(0, 0), transportBg, QRect(0, 10, 60, 40));
    p.drawImage(QPoint(60, 0), transportBg, QRect(0, 10, 60, 40));
    InsetPanel(p, QRectF(2.5, 2.5, 115, 35), kLcd);
    // Colon between the minutes (ending at x 44) and the seconds (from 53),
    // and the decimal point between the seconds (ending at 84) and tenths (93).
    p.setPen(Qt::NoPen);
    p.setBrush(kFoam.darker(115));
    p.drawEllipse(QPointF(48.5, 16.0), 1.6, 1.6);
    p.drawEllipse(QPointF(48.5, 24.0), 1.6, 1.6);
    p.drawEllipse(QPointF(88.5, 27.0), 1.6, 1.6);
    return img;
}

QImage DigitStrip() {
    QImage img(150, 19, QImage::Format_ARGB32_Premultiplied);
    img.fill(kLcd);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont f("DejaVu Sans Mono");
    f.setPixelSize(19);
    f.setBold(true);
    p.setFont(f);
    for (int d = 0; d < 10; ++d) {
        const QRect cell(d * 15, 0, 15, 19);
        p.setPen(kFoamBright);
        p.drawText(cell.adjusted(0, 1, 0, 1), Qt::AlignCenter, QString::number(d));
    }
    return img;
}

void Speaker(QPainter& p, QPointF c, const QColor& ink) {
    QPainterPath body;
    body.moveTo(c + QPointF(-9, -3.5));
    body.lineTo(c + QPointF(-5, -3.5));
    body.lineTo(c + QPointF(0, -8));
    body.lineTo(c + QPointF(0, 8));
    body.lineTo(c + QPointF(-5, 3.5));
    body.lineTo(c + QPointF(-9, 3.5));
    body.closeSubpath();
    p.setPen(InkPen(ink, 1.0));
    p.setBrush(ink);
    p.drawPath(body);
    p.setBrush(Qt::NoBrush);
    QColor wave = kFoam;
    for (int i = 0; i < 3; ++i) {
        wave.setAlpha(220 - i * 60);
        p.setPen(InkPen(wave, 1.4));
        const double rr = 4.0 + i * 3.5;
        p.drawArc(QRectF(c.x() - rr + 1, c.y() - rr, 2 * rr, 2 * rr), -45 * 16, 90 * 16);
    }
}

QImage VolumeFrame(const QImage& transportBg) {
    QImage img = NewImage(171, 40);
    QPainter p(&img);
    for (int x = 0; x < 171; x += 60) p.drawImage(QPoint(x, 0), transportBg, QRect(0, 10, 60, 40));
    InsetPanel(p, QRectF(2.5, 2.5, 166, 35), kLcd);
    Speaker(p, QPointF(21, 20), kPaper);
    return img;
}

QImage SliderChannel() {
    QImage img(123, 20, QImage::Format_ARGB32_Premultiplied);
    img.fill(kLcd);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // A wedge that grows to the right: louder that way.
    QPainterPath wedge;
    wedge.moveTo(6, 12.5);
    wedge.lineTo(117, 5.5);
    wedge.lineTo(117, 14.5);
    wedge.lineTo(6, 14.5);
    wedge.closeSubpath();
    QLinearGradient g(6, 0, 117, 0);
    g.setColorAt(0, QColor(60, 90, 92));
    g.setColorAt(1, kFoam);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawPath(wedge);
    p.setPen(QPen(QColor(8, 12, 14), 1.0));
    p.drawLine(QPointF(6, 15.5), QPointF(117, 15.5));
    return img;
}

QImage SliderThumb() {
    QImage img(11, 22, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 11, 0);
    g.setColorAt(0, kPaper);
    g.setColorAt(1, kMistLight);
    p.setPen(QPen(QColor(14, 22, 26), 1.0));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0.5, 0.5, 10, 21), 3.5, 3.5);
    p.setPen(QPen(kSlateLight, 1.0));
    p.drawLine(QPointF(5.5, 6), QPointF(5.5, 16));
    return img;
}

// ---------------------------------------------------------------- pictures

// Misty horizon with drifting lines of sound: the About picture and the banners.
void MistScene(QPainter& p, int w, int h, double seed) {
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0.0, QColor(238, 243, 246));
    sky.setColorAt(0.55, QColor(214, 226, 232));
    sky.setColorAt(1.0, QColor(188, 206, 212));
    p.fillRect(0, 0, w, h, sky);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient sun(QPointF(w * 0.78, h * 0.34), h * 0.5);
    sun.setColorAt(0, QColor(250, 236, 208, 170));
    sun.setColorAt(1, QColor(250, 236, 208, 0));
    p.fillRect(0, 0, w, h, sun);
    for (int i = 0; i < 7; ++i) {
        const double y = h * (0.52 + i * 0.065);
        QColor c(60 + i * 4, 110 - i * 3, 118 - i * 2, 40 + i * 14);
        WaveLine(p, -2, w + 2, y, 3.0 + i * 1.1, 140 + 23 * i, seed + i * 0.9, QPen(c, 1.2 + 0.25 * i));
    }
    // Grains: small dots drifting along the waves.
    unsigned state = 12345u + static_cast<unsigned>(seed * 1000);
    auto rnd = [&state]() {
        state = state * 214013u + 2531011u;
        return ((state >> 16) & 0x7FFF) / 32767.0;
    };
    for (int i = 0; i < 70; ++i) {
        const double x = rnd() * w;
        const double y = h * (0.48 + 0.44 * rnd());
        const double r = 0.6 + 1.4 * rnd();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(70, 120, 124, 50 + static_cast<int>(110 * rnd())));
        p.drawEllipse(QPointF(x, y), r, r);
    }
}

QImage AboutPicture() {
    QImage img = NewImage(450, 220);
    QPainter p(&img);
    MistScene(p, 450, 220, 0.4);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont title("DejaVu Sans");
    title.setPixelSize(40);
    title.setWeight(QFont::Light);
    title.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    p.setFont(title);
    p.setPen(kSlate);
    p.drawText(QPointF(26, 86), "Driftwell");
    QFont sub("DejaVu Sans");
    sub.setPixelSize(13);
    p.setFont(sub);
    p.setPen(QColor(70, 92, 104));
    p.drawText(QPointF(28, 110), "Long, slowly changing ambient music");
    p.drawText(QPointF(28, 127), "grown from a single recording.");
    QFont small("DejaVu Sans");
    small.setPixelSize(10);
    p.setFont(small);
    p.setPen(QColor(80, 100, 110));
    p.drawText(QPointF(28, 206), "Granular resynthesis for quiet, unhurried listening.");
    return img;
}

void Hourglass(QPainter& p, QPointF c, double s) {
    QPainterPath glass;
    glass.moveTo(c + QPointF(-s * 0.5, -s));
    glass.lineTo(c + QPointF(s * 0.5, -s));
    glass.cubicTo(c + QPointF(s * 0.5, -s * 0.35), c + QPointF(s * 0.08, -s * 0.2), c + QPointF(s * 0.08, 0));
    glass.cubicTo(c + QPointF(s * 0.08, s * 0.2), c + QPointF(s * 0.5, s * 0.35), c + QPointF(s * 0.5, s));
    glass.lineTo(c + QPointF(-s * 0.5, s));
    glass.cubicTo(c + QPointF(-s * 0.5, s * 0.35), c + QPointF(-s * 0.08, s * 0.2), c + QPointF(-s * 0.08, 0));
    glass.cubicTo(c + QPointF(-s * 0.08, -s * 0.2), c + QPointF(-s * 0.5, -s * 0.35), c + QPointF(-s * 0.5, -s));
    glass.closeSubpath();
    p.setPen(QPen(kSlate, 1.6));
    p.setBrush(QColor(255, 255, 255, 120));
    p.drawPath(glass);
    // Sand: a little left on top, a heap below.
    QPainterPath top;
    top.moveTo(c + QPointF(-s * 0.32, -s * 0.45));
    top.lineTo(c + QPointF(s * 0.32, -s * 0.45));
    top.lineTo(c + QPointF(0, -s * 0.05));
    top.closeSubpath();
    QPainterPath heap;
    heap.moveTo(c + QPointF(-s * 0.44, s * 0.94));
    heap.quadTo(c + QPointF(0, s * 0.35), c + QPointF(s * 0.44, s * 0.94));
    heap.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 160, 100));
    p.drawPath(top);
    p.drawPath(heap);
    p.setPen(QPen(QColor(200, 160, 100), 1.0));
    p.drawLine(c, c + QPointF(0, s * 0.6));
    p.setPen(QPen(kSlate, 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c + QPointF(-s * 0.62, -s), c + QPointF(s * 0.62, -s));
    p.drawLine(c + QPointF(-s * 0.62, s), c + QPointF(s * 0.62, s));
}

void GrainCloud(QPainter& p, QPointF c, double s) {
    // A cloud of short windowed grains, each a tiny bell-shaped blip.
    unsigned state = 777u;
    auto rnd = [&state]() {
        state = state * 214013u + 2531011u;
        return ((state >> 16) & 0x7FFF) / 32767.0;
    };
    for (int i = 0; i < 26; ++i) {
        const double x = c.x() + (rnd() - 0.5) * 2.2 * s;
        const double y = c.y() + (rnd() - 0.5) * 1.4 * s;
        const double w = s * (0.25 + 0.25 * rnd());
        QPainterPath g;
        for (int k = 0; k <= 24; ++k) {
            const double t = k / 24.0;
            const double env = std::sin(t * M_PI);
            const double yy = y - env * env * std::sin(t * 6 * M_PI) * s * 0.12;
            if (k == 0) g.moveTo(x + (t - 0.5) * w, yy);
            else g.lineTo(x + (t - 0.5) * w, yy);
        }
        p.setPen(QPen(QColor(50, 100, 108, 90 + static_cast<int>(120 * rnd())), 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawPath(g);
    }
}

QImage ProgressBanner(const QString& text, bool loading) {
    QImage img = NewImage(375, 120);
    QPainter p(&img);
    MistScene(p, 375, 120, loading ? 1.3 : 2.2);
    // The lower part fades to white, where the progress bar sits.
    QLinearGradient fade(0, 70, 0, 120);
    fade.setColorAt(0, QColor(255, 255, 255, 0));
    fade.setColorAt(1, QColor(255, 255, 255, 255));
    p.fillRect(0, 70, 375, 50, fade);
    p.setRenderHint(QPainter::Antialiasing);
    if (loading) Hourglass(p, QPointF(48, 46), 22);
    else GrainCloud(p, QPointF(48, 46), 22);
    QFont f("DejaVu Sans");
    f.setPixelSize(24);
    f.setWeight(QFont::Light);
    p.setFont(f);
    p.setPen(kSlate);
    p.drawText(QPointF(92, 55), text);
    return img;
}

// ---------------------------------------------------------------- cursors

// A right hand seen from the back, index finger pointing up, drawn in a
// 32 x 32 cursor with its fingertip at (tipX, tipY).
QPainterPath HandUp(double tipX, double tipY) {
    QPainterPath h;
    const double x = tipX, y = tipY;
    h.moveTo(x - 2, y + 2);
    h.quadTo(x - 2, y, x, y);
    h.quadTo(x + 2, y, x + 2, y + 2);
    h.lineTo(x + 2, y + 10);
    h.quadTo(x + 3.5, y + 8.5, x + 5, y + 10);        // middle finger
    h.quadTo(x + 6.5, y + 9, x + 8, y + 11);          // ring finger
    h.quadTo(x + 10, y + 10, x + 11, y + 12.5);       // little finger
    h.lineTo(x + 11, y + 19);
    h.quadTo(x + 11, y + 24, x + 7, y + 26);
    h.lineTo(x - 1, y + 26);
    h.quadTo(x - 4, y + 24, x - 6, y + 19);
    h.lineTo(x - 8, y + 14);                          // thumb
    h.quadTo(x - 8.5, y + 12, x - 6.5, y + 12.5);
    h.lineTo(x - 2, y + 16);
    h.closeSubpath();
    return h;
}

void DrawCursorShape(QPainter& p, const QPainterPath& path) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(10, 14, 18), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(250, 252, 253));
    p.drawPath(path);
}

QImage CursorHandLeftRight() {
    QImage img = NewImage(32, 32, true);
    QPainter p(&img);
    // The double arrow on top, its centre the hot spot (10, 2).
    QPainterPath arrow;
    arrow.moveTo(1, 3);
    arrow.lineTo(5, 0);
    arrow.lineTo(5, 2);
    arrow.lineTo(15, 2);
    arrow.lineTo(15, 0);
    arrow.lineTo(19, 3);
    arrow.lineTo(15, 6);
    arrow.lineTo(15, 4);
    arrow.lineTo(5, 4);
    arrow.lineTo(5, 6);
    arrow.closeSubpath();
    DrawCursorShape(p, arrow);
    DrawCursorShape(p, HandUp(10, 6.5));
    return img;
}

QImage CursorHand(bool pointRight) {
    QImage img = NewImage(32, 32, true);
    QPainter p(&img);
    // The upward hand turned a quarter: pointing left, fingertip at (2, 12).
    QTransform t;
    t.translate(2, 12);
    t.rotate(-90);
    t.translate(-0, -0);
    QPainterPath hand = t.map(HandUp(0, 0));
    if (pointRight) {
        QTransform m;
        m.translate(31, 0);
        m.scale(-1, 1);
        hand = m.map(hand);
    }
    DrawCursorShape(p, hand);
    return img;
}

// ---------------------------------------------------------------- icon

QImage AppIcon(int size) {
    QImage img = NewImage(size, size, true);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);
    const QRectF r(8, 8, 240, 240);
    QLinearGradient g(0, 8, 0, 248);
    g.setColorAt(0, QColor(70, 104, 118));
    g.setColorAt(0.6, QColor(36, 56, 66));
    g.setColorAt(1, QColor(22, 34, 40));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(r, 52, 52);
    QRadialGradient moon(QPointF(176, 78), 46);
    moon.setColorAt(0, QColor(250, 232, 196, 255));
    moon.setColorAt(0.55, QColor(240, 214, 170, 230));
    moon.setColorAt(1, QColor(240, 214, 170, 0));
    p.setBrush(moon);
    p.drawEllipse(QPointF(176, 78), 46, 46);
    p.setClipPath([&] {
        QPainterPath c;
        c.addRoundedRect(r, 52, 52);
        return c;
    }());
    const double widths[] = {14, 11, 9, 7};
    for (int i = 0; i < 4; ++i) {
        QColor c = kFoam;
        c.setAlpha(255 - i * 45);
        WaveLine(p, 0, 256, 132 + i * 30, 12 - i * 2, 200 - i * 24, i * 1.3, QPen(c, widths[i], Qt::SolidLine, Qt::RoundCap));
    }
    if (size >= 32) {
        p.setBrush(kFoamBright);
        const QPointF grains[] = {{58, 100}, {86, 84}, {118, 104}, {70, 120}, {104, 70}};
        for (const auto& gp : grains) p.drawEllipse(gp, 5, 5);
    }
    return img;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    gOut = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(gOut + "/icon");

    const QImage toolbarBg = ToolbarBackground();
    const QImage transportBg = TransportBackground();
    Save(toolbarBg, "toolbar-bg.png");
    Save(transportBg, "transport-bg.png");
    Save(MainBackground(), "main-bg.png");

    struct ToolButton {
        const char* file;
        void (*glyph)(QPainter&, const QRectF&, const QColor&);
    };
    const ToolButton toolButtons[] = {
        {"tb-new.png", GlyphNew},          {"tb-open.png", GlyphOpen},   {"tb-save.png", GlyphSave},
        {"tb-savecopy.png", GlyphSaveCopy}, {"tb-export.png", GlyphExport}, {"tb-guide.png", GlyphGuide},
        {"tb-about.png", GlyphAbout},      {"tb-home.png", GlyphHome},
    };
    for (const auto& b : toolButtons) Save(ButtonStrip(28, false, toolbarBg, 6, b.glyph), b.file);

    const ToolButton transportButtons[] = {
        {"btn-stop.png", GlyphStop},   {"btn-pause.png", GlyphPause}, {"btn-play.png", GlyphPlay},
        {"btn-start.png", GlyphStart}, {"btn-prev.png", GlyphPrev},   {"btn-next.png", GlyphNext},
    };
    for (const auto& b : transportButtons) Save(ButtonStrip(40, true, transportBg, 10, b.glyph), b.file);

    Save(DisplayFrame(transportBg), "display-frame.png");
    Save(DigitStrip(), "digits.png");
    Save(VolumeFrame(transportBg), "volume-frame.png");
    Save(SliderChannel(), "slider-channel.png");
    Save(SliderThumb(), "slider-thumb.png");
    Save(AboutPicture(), "about.png");
    Save(ProgressBanner("Creating Music", false), "progress-create.png");
    Save(ProgressBanner("Loading Music", true), "progress-load.png");
    Save(ProgressBanner("Writing Music", false), "progress-write.png");
    Save(CursorHandLeftRight(), "cursor-hand-leftright.png");
    Save(CursorHand(false), "cursor-hand-left.png");
    Save(CursorHand(true), "cursor-hand-right.png");
    for (int size : {16, 24, 32, 48, 64, 128, 256}) Save(AppIcon(size), QString("icon/driftwell-%1.png").arg(size));
    return 0;
}
