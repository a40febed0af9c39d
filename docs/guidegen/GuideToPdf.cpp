// Renders the user's guide from its Markdown source to PDF at build time:
//   dw_guide_pdf <users-guide.md> <out.pdf>
// Qt's own Markdown reader and PDF writer do the work; this program only sets
// the page, the fonts and a calm heading colour that matches the program.

#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: dw_guide_pdf <users-guide.md> <out.pdf>\n");
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const QString markdown = QString::fromUtf8(in.readAll());

    QPdfWriter pdf(QString::fromLocal8Bit(argv[2]));
    pdf.setTitle(QStringLiteral("Driftwell - User's Guide"));
    pdf.setCreator(QStringLiteral("Driftwell"));
    pdf.setResolution(300);
    pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(20, 20, 20, 20),
                                  QPageLayout::Millimeter));

    QTextDocument doc;
    // Lay the text out at the PDF's resolution, so point sizes are true sizes.
    doc.documentLayout()->setPaintDevice(&pdf);
    QFont body(QStringLiteral("DejaVu Sans"));
    body.setPointSizeF(10.5);
    doc.setDefaultFont(body);
    doc.setDefaultStyleSheet(QStringLiteral("h1, h2 { color: #27363d; } td, th { padding: 4px; }"));
    doc.setMarkdown(markdown);

    // Headings in the program's slate colour, tables with light rules.
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        const int level = b.blockFormat().headingLevel();
        if (level == 0) continue;
        QTextCursor c(b);
        c.select(QTextCursor::BlockUnderCursor);
        QTextCharFormat f;
        f.setForeground(QColor(39, 54, 61));
        f.setFontPointSize(level == 1 ? 22 : 14);
        c.mergeCharFormat(f);
        QTextBlockFormat bf = b.blockFormat();
        bf.setTopMargin(level == 1 ? 0 : 14);
        bf.setBottomMargin(6);
        c.setBlockFormat(bf);
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
            table->setFormat(tf);
        }
    }

    // QTextDocument::print would need the print-support module; paginate by hand.
    QPainter painter(&pdf);
    const QRectF page = pdf.pageLayout().paintRectPixels(pdf.resolution());
    doc.setPageSize(page.size());
    doc.documentLayout();
    const int pages = doc.pageCount();
    for (int i = 0; i < pages; ++i) {
        if (i > 0) pdf.newPage();
        painter.save();
        painter.translate(0, -i * page.height());
        doc.drawContents(&painter, QRectF(0, i * page.height(), page.width(), page.height()));
        painter.restore();
    }
    painter.end();
    return pages > 0 ? 0 : 1;
}
