// The help document the window opens: a real PDF of several pages, built from a source
// that explains every error message the window can show.
#include <QtTest>

class TestHelpDoc : public QObject
{
    Q_OBJECT
private slots:
    void isPdfWithPages()
    {
        QFile file(HELP_PDF);
        QVERIFY2(file.open(QIODevice::ReadOnly), HELP_PDF);
        const QByteArray pdf = file.readAll();
        QVERIFY(pdf.startsWith("%PDF-") && pdf.right(32).trimmed().endsWith("%%EOF"));
        // Page objects, not the page tree ("/Type /Pages").
        const int pages = pdf.count("/Type /Page") - pdf.count("/Type /Pages");
        QVERIFY2(pages > 1, qPrintable(QString::number(pages)));
    }

    void explainsEveryError()
    {
        QFile ts(ITALIAN_TS), source(HELP_SOURCE);
        QVERIFY(ts.open(QIODevice::ReadOnly | QIODevice::Text) && source.open(QIODevice::ReadOnly | QIODevice::Text));
        const QString help = QString::fromUtf8(source.readAll());
        // The messages as the Italian window shows them.
        const QRegularExpression error("<translation>(ERRORE[^<]*)</translation>");
        int count = 0;
        for (auto it = error.globalMatch(QString::fromUtf8(ts.readAll())); it.hasNext(); ++count) {
            const QString text = it.next().captured(1).replace("&apos;", "'");
            // A placeholder stands for what the window puts there (a file, a call).
            const QString pattern = QRegularExpression::escape(text).replace(QRegularExpression("\\\\%\\d"), ".+");
            QVERIFY2(help.contains(QRegularExpression(pattern)), qPrintable(text));
        }
        QVERIFY(count >= 10);
    }
};

QTEST_APPLESS_MAIN(TestHelpDoc)
#include "tst_helpdoc.moc"
