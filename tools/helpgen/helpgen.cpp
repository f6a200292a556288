// Build-time generator for the help document: a Markdown source to an A4 PDF.
// Usage: helpgen <in.md> <out.pdf>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QSaveFile>
#include <QtGui/QGuiApplication>
#include <QtGui/QPageLayout>
#include <QtGui/QPdfWriter>
#include <QtGui/QTextBlock>
#include <QtGui/QTextCursor>
#include <QtGui/QTextDocument>
#include <QtGui/QTextFrame>
#include <QtGui/QTextTable>
#include <cstdio>

namespace {

// Markdown tables come without rules, which makes wide tables hard to follow on paper.
void ruleTables(QTextFrame *frame)
{
    for (QTextFrame *child : frame->childFrames()) {
        if (auto *table = qobject_cast<QTextTable *>(child)) {
            QTextTableFormat format = table->format();
            format.setBorder(0.5);
            format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
            format.setBorderBrush(QColor(0x80, 0x80, 0x80));
            format.setCellSpacing(0);
            format.setCellPadding(3);
            format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
            table->setFormat(format);
            // The header row stands out as on screen.
            for (int c = 0; c < table->columns(); ++c) {
                QTextTableCellFormat cell = table->cellAt(0, c).format().toTableCellFormat();
                cell.setBackground(QColor(0xe4, 0xea, 0xf2));
                table->cellAt(0, c).setFormat(cell);
            }
        }
        ruleTables(child);
    }
}

QString firstHeading(const QTextDocument &doc)
{
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        if (b.blockFormat().headingLevel() == 1)
            return b.text();
    return QString();
}

} // namespace

int main(int argc, char **argv)
{
    // The build runs this with QT_QPA_PLATFORM=offscreen: no screen is needed.
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: helpgen <in.md> <out.pdf>\n");
        return 2;
    }

    QFile in(args[1]);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "helpgen: cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    QTextDocument doc;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(10);
    doc.setDefaultFont(font);
    doc.setMarkdown(QString::fromUtf8(in.readAll()), QTextDocument::MarkdownDialectGitHub);
    if (doc.isEmpty()) {
        std::fprintf(stderr, "helpgen: %s is empty\n", qPrintable(args[1]));
        return 1;
    }
    ruleTables(doc.rootFrame());

    // Written beside and renamed, so an interrupted build leaves no half document.
    QSaveFile out(args[2]);
    if (!out.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "helpgen: cannot write %s\n", qPrintable(args[2]));
        return 1;
    }
    {
        QPdfWriter pdf(&out);
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(20, 18, 20, 18), QPageLayout::Millimeter));
        pdf.setTitle(firstHeading(doc));
        pdf.setCreator(QFileInfo(args[0]).fileName());
        // Without a page size of its own the document is paginated for the
        // writer and each page gets its number.
        doc.print(&pdf);
    }
    if (!out.commit()) {
        std::fprintf(stderr, "helpgen: cannot write %s\n", qPrintable(args[2]));
        return 1;
    }
    return 0;
}
