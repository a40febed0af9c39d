// Renders the user's guide from its Markdown source to PDF at build time:
//   dw_guide_pdf <users-guide.md> <pictures dir> <fonts dir> <out.pdf>
// Qt's own Markdown reader and PDF writer do the work; this program sets the
// page, the fonts (the DejaVu files in <fonts dir>, named explicitly, never
// what the font configuration of the machine would pick), a calm heading
// colour that matches the program, puts in the pictures the guide names
// (made by dw_guide_pictures into <pictures dir>), keeps list items and
// table rows whole on one page, and makes the file the same bytes every time
// it is built from the same sources.

#include <QAbstractTextDocumentLayout>
#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHashFunctions>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kResolution = 300;
// The pictures are made at twice the size of the windows; at this many
// picture pixels to the inch they show the windows at a comfortable size.
constexpr double kPicturePixelsPerInch = 220.0;

void Fail(const QString& text) { std::fprintf(stderr, "dw_guide_pdf: %s\n", qPrintable(text)); }

// Registers the fonts from their files; false (with the reason said) when
// one is missing, rather than falling back to another font.
bool LoadFonts(const QString& dir) {
    const char* files[] = {"DejaVuSans.ttf",     "DejaVuSans-Bold.ttf",     "DejaVuSans-Oblique.ttf",
                           "DejaVuSans-BoldOblique.ttf", "DejaVuSansMono.ttf", "DejaVuSansMono-Bold.ttf"};
    for (const char* name : files) {
        const QString path = dir + QLatin1Char('/') + QLatin1String(name);
        if (!QFileInfo::exists(path)) {
            Fail(QStringLiteral("the font %1 is missing (Debian packages fonts-dejavu-core and fonts-dejavu-extra)")
                     .arg(path));
            return false;
        }
        if (QFontDatabase::addApplicationFont(path) < 0) {
            Fail(QStringLiteral("cannot read the font %1").arg(path));
            return false;
        }
    }
    return true;
}

// Every picture the text names is read from the pictures folder and shown at
// its comfortable size, never wider than the text.
bool PlacePictures(QTextDocument& doc, const QString& dir, double textWidth) {
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isImageFormat()) continue;
            QTextImageFormat image = fragment.charFormat().toImageFormat();
            const QString path = dir + QLatin1Char('/') + image.name();
            QImage picture(path);
            if (picture.isNull()) {
                Fail(QStringLiteral("cannot read the picture %1").arg(path));
                return false;
            }
            doc.addResource(QTextDocument::ImageResource, QUrl(image.name()), picture);
            // The layout takes an image's size in pixels of 96 to the inch
            // and scales them to the page's resolution itself.
            const double width =
                std::min(textWidth, picture.width() * kResolution / kPicturePixelsPerInch) * 96.0 / kResolution;
            image.setWidth(width);
            image.setHeight(width * picture.height() / picture.width());
            QTextCursor c(&doc);
            c.setPosition(fragment.position());
            c.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            c.setCharFormat(image);
        }
    }
    return true;
}

// Code in the monospaced face, by name. Code blocks in a smaller size, and
// wrapped where a line is still wider than the page rather than cut off at
// its edge.
void SetCodeFont(QTextDocument& doc) {
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        const bool codeBlock = b.blockFormat().hasProperty(QTextFormat::BlockCodeFence) ||
                               b.blockFormat().nonBreakableLines();
        if (codeBlock) {
            QTextBlockFormat bf = b.blockFormat();
            bf.setNonBreakableLines(false);
            QTextCursor(b).setBlockFormat(bf);
        }
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!codeBlock && !fragment.charFormat().fontFixedPitch()) continue;
            QTextCursor c(&doc);
            c.setPosition(fragment.position());
            c.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            QTextCharFormat f;
            f.setFontFamilies({QStringLiteral("DejaVu Sans Mono")});
            f.setFontFixedPitch(true);
            if (codeBlock) f.setFontPointSize(8.5);
            c.mergeCharFormat(f);
        }
    }
}

bool InTable(const QTextBlock& b) { return qobject_cast<QTextTable*>(QTextCursor(b).currentFrame()) != nullptr; }

// Where a list item or a table row would run over the bottom of a page, it
// starts the next page instead: a row is read as one, and an item keeps its
// number with its text. Returns false when one cannot fit on a page at all.
bool KeepItemsWhole(QTextDocument& doc, double pageHeight) {
    for (int pass = 0; pass < 200; ++pass) {
        bool moved = false;
        auto* layout = doc.documentLayout();
        for (QTextBlock b = doc.begin(); b.isValid() && !moved; b = b.next()) {
            if (!b.textList() && !InTable(b)) continue;
            QRectF r = layout->blockBoundingRect(b);
            QTextTable* table = qobject_cast<QTextTable*>(QTextCursor(b).currentFrame());
            QTextBlock first = b;
            if (table) {
                // The whole row: from its first cell's first block to the row's bottom.
                const QTextTableCell cell = table->cellAt(b.position());
                const QTextTableCell rowStart = table->cellAt(cell.row(), 0);
                const QTextTableCell rowEnd = table->cellAt(cell.row(), table->columns() - 1);
                first = doc.findBlock(rowStart.firstPosition());
                QRectF top = layout->blockBoundingRect(first);
                QRectF bottom = layout->blockBoundingRect(doc.findBlock(rowEnd.lastPosition()));
                for (int col = 0; col < table->columns(); ++col) {
                    const QTextTableCell c = table->cellAt(cell.row(), col);
                    bottom = bottom.united(layout->blockBoundingRect(doc.findBlock(c.lastPosition())));
                }
                r = QRectF(top.topLeft(), QPointF(top.right(), bottom.bottom()));
            }
            const int topPage = static_cast<int>(std::floor(r.top() / pageHeight));
            const int bottomPage = static_cast<int>(std::floor((r.bottom() - 0.5) / pageHeight));
            if (topPage == bottomPage) continue;
            if (r.height() > pageHeight) {
                Fail(QStringLiteral("a list item or table row is taller than a page: \"%1\"").arg(b.text().left(60)));
                return false;
            }
            if (table) {
                const int row = table->cellAt(b.position()).row();
                const double push = (topPage + 1) * pageHeight - r.top() + 1;
                if (row == 0) {
                    // The table starts the next page.
                    QTextTableFormat tf = table->format();
                    tf.setTopMargin(tf.topMargin() + push);
                    table->setFormat(tf);
                } else {
                    // The row above grows to the page's end (an empty tail in
                    // its cells), so this row starts the next page.
                    for (int col = 0; col < table->columns(); ++col) {
                        QTextTableCell above = table->cellAt(row - 1, col);
                        QTextTableCellFormat cf = above.format().toTableCellFormat();
                        const double padding =
                            cf.hasProperty(QTextFormat::TableCellBottomPadding) ? cf.bottomPadding() : table->format().cellPadding();
                        cf.setBottomPadding(padding + push);
                        above.setFormat(cf);
                    }
                }
                moved = true;
                continue;
            }
            // Pushed down to the next page's top by a margin above it (the
            // layout's own page-break policies lose blocks that follow a
            // broken list item).
            const double push = (topPage + 1) * pageHeight - r.top();
            QTextBlockFormat bf = first.blockFormat();
            bf.setTopMargin(bf.topMargin() + push + 1);
            QTextCursor(first).setBlockFormat(bf);
            moved = true;
        }
        if (!moved) return true;
        // A change lays out again only from the changed block on, and that
        // loses blocks further down in a paginated document: lay it all out.
        doc.markContentsDirty(0, doc.characterCount());
        (void)doc.pageCount();
    }
    Fail(QStringLiteral("the pages do not settle"));
    return false;
}

// QPdfWriter stamps the file with the moment it was written and with a
// random document id. Both are replaced, at the same length so that the
// cross-reference offsets stay true, by SOURCE_DATE_EPOCH's time (or a fixed
// one) and an id taken from the rest of the file.
bool MakeReproducible(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    QByteArray pdf = f.readAll();
    f.close();

    bool ok = false;
    const qint64 epoch = qEnvironmentVariable("SOURCE_DATE_EPOCH").toLongLong(&ok);
    const QDateTime when = QDateTime::fromSecsSinceEpoch(ok ? epoch : 0, Qt::UTC);

    // Info dictionary dates: (D:YYYYMMDDHHmmSS...)
    static const QRegularExpression infoDate(QStringLiteral("\\(D:(\\d{14})([^)]*)\\)"));
    // XMP dates: 2026-12-11T00:25:46+00:00 and the like.
    static const QRegularExpression xmpDate(
        QStringLiteral("\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}(?:[+-]\\d{2}:\\d{2}|Z)?"));
    static const QRegularExpression uuid(
        QStringLiteral("[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}"));
    static const QRegularExpression hexId(QStringLiteral("/ID\\s*\\[\\s*<([0-9a-fA-F]+)>\\s*<([0-9a-fA-F]+)>\\s*\\]"));

    QString text = QString::fromLatin1(pdf);
    auto replaceSameLength = [&text](const QRegularExpression& re, auto make) {
        QString result;
        qsizetype last = 0;
        for (auto it = re.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            result += text.mid(last, m.capturedStart() - last);
            QString replacement = make(m);
            replacement = replacement.leftJustified(m.capturedLength(), QLatin1Char(' '), true);
            result += replacement;
            last = m.capturedEnd();
        }
        result += text.mid(last);
        text = result;
    };
    replaceSameLength(infoDate, [&when](const QRegularExpressionMatch& m) {
        QString stamp = QStringLiteral("(D:") + when.toString(QStringLiteral("yyyyMMddHHmmss"));
        stamp += m.captured(2).isEmpty() ? QString() : QStringLiteral("Z");
        return stamp.leftJustified(m.capturedLength() - 1, QLatin1Char(' '), true) + QLatin1Char(')');
    });
    replaceSameLength(xmpDate, [&when](const QRegularExpressionMatch& m) {
        QString stamp = when.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
        if (m.capturedLength() > stamp.size()) stamp += QStringLiteral("+00:00").left(m.capturedLength() - stamp.size());
        return stamp;
    });
    // The ids: a digest of everything but themselves.
    QString withoutIds = text;
    withoutIds.replace(uuid, QString());
    withoutIds.replace(hexId, QString());
    const QByteArray digest =
        QCryptographicHash::hash(withoutIds.toLatin1(), QCryptographicHash::Sha256).toHex();
    replaceSameLength(uuid, [&digest](const QRegularExpressionMatch&) {
        const QString h = QString::fromLatin1(digest);
        return h.mid(0, 8) + QLatin1Char('-') + h.mid(8, 4) + QLatin1Char('-') + h.mid(12, 4) + QLatin1Char('-') +
               h.mid(16, 4) + QLatin1Char('-') + h.mid(20, 12);
    });
    replaceSameLength(hexId, [&digest](const QRegularExpressionMatch& m) {
        const QString h = QString::fromLatin1(digest + digest);
        return QStringLiteral("/ID [<%1> <%2>]").arg(h.left(m.captured(1).size()), h.mid(64 - m.captured(2).size(), m.captured(2).size()));
    });
    pdf = text.toLatin1();

    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(pdf) != pdf.size()) return false;
    return f.flush();
}

}  // namespace

int main(int argc, char** argv) {
    // The PDF writer keeps its fonts in a hash and writes them in the hash's
    // order: with the per-run random seed, each build would order them anew.
    QHashSeed::setDeterministicGlobalSeed();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: dw_guide_pdf <users-guide.md> <pictures dir> <fonts dir> <out.pdf>\n");
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        Fail(QStringLiteral("cannot read %1: %2").arg(in.fileName(), in.errorString()));
        return 1;
    }
    const QString markdown = QString::fromUtf8(in.readAll());
    const QString pictures = QString::fromLocal8Bit(argv[2]);
    if (!LoadFonts(QString::fromLocal8Bit(argv[3]))) return 1;
    const QString outPath = QString::fromLocal8Bit(argv[4]);

    auto pdf = std::make_unique<QPdfWriter>(outPath);
    pdf->setTitle(QStringLiteral("Driftwell - User's Guide"));
    pdf->setCreator(QStringLiteral("Driftwell"));
    pdf->setResolution(kResolution);
    pdf->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(20, 20, 20, 20),
                                   QPageLayout::Millimeter));
    const QRectF page = pdf->pageLayout().paintRectPixels(pdf->resolution());

    QTextDocument doc;
    // Lay the text out at the PDF's resolution, so point sizes are true sizes.
    doc.documentLayout()->setPaintDevice(pdf.get());
    QFont body(QStringLiteral("DejaVu Sans"));
    body.setPointSizeF(10.5);
    doc.setDefaultFont(body);
    doc.setDefaultStyleSheet(QStringLiteral("h1, h2 { color: #27363d; } td, th { padding: 4px; }"));
    doc.setMarkdown(markdown);
    QTextOption wrap = doc.defaultTextOption();
    wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    doc.setDefaultTextOption(wrap);

    // Headings in the program's slate colour, tables with light rules.
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        const int level = b.blockFormat().headingLevel();
        if (level == 0) continue;
        // The heading's own text only: a BlockUnderCursor selection reaches
        // back over the paragraph separator before it, and the block format
        // set on it would make that paragraph a heading too.
        QTextCursor c(b);
        c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        QTextCharFormat f;
        f.setForeground(QColor(39, 54, 61));
        f.setFontPointSize(level == 1 ? 22 : 14);
        c.mergeCharFormat(f);
        QTextBlockFormat bf = b.blockFormat();
        bf.setTopMargin(level == 1 ? 0 : 14);
        bf.setBottomMargin(6);
        QTextCursor(b).setBlockFormat(bf);
    }
    for (QTextFrame* frame : doc.rootFrame()->childFrames()) {
        if (auto* table = qobject_cast<QTextTable*>(frame)) {
            QTextTableFormat tf = table->format();
            tf.setBorder(0.5);
            tf.setBorderBrush(QColor(150, 165, 175));
            tf.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
            tf.setCellPadding(4);
            tf.setCellSpacing(0);
            tf.setWidth(QTextLength(QTextLength::PercentageLength, 100));
            tf.setHeaderRowCount(1);
            table->setFormat(tf);
        }
    }
    SetCodeFont(doc);
    if (!PlacePictures(doc, pictures, page.width())) return 1;

    doc.setPageSize(page.size());
    if (!KeepItemsWhole(doc, page.height())) return 1;

    // QTextDocument::print would need the print-support module; paginate by hand.
    QPainter painter(pdf.get());
    const int pages = doc.pageCount();
    for (int i = 0; i < pages; ++i) {
        if (i > 0) pdf->newPage();
        painter.save();
        painter.translate(0, -i * page.height());
        doc.drawContents(&painter, QRectF(0, i * page.height(), page.width(), page.height()));
        painter.restore();
    }
    painter.end();
    pdf.reset();  // writes the file
    if (pages <= 0) return 1;
    if (!MakeReproducible(outPath)) {
        Fail(QStringLiteral("cannot rewrite %1").arg(outPath));
        return 1;
    }
    return 0;
}
