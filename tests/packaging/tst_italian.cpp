// The Italian interface: found where the programs look for it, complete, and in step with the code.
#include "app/mainwindow.h"
#include "app/translation.h"
#include "panels/comboboxdelegate.h"
#include "panels/gbchannelplan.h"
#include "panels/gbinput.h"
#include "panels/gblnbsupply.h"
#include "panels/gboutput.h"
#include "panels/gbtablecss.h"

#include <QtTest>
#include <QtWidgets>

namespace {

// Texts that read the same in Italian.
const QSet<QString> SameInItalian{"Ostrel RIZ edaradovuzur", "File", "?", "Satellite", "A", "B", "C", "D",
                                  "14V", "14V/18V/22kHz", "SCR", "SCD2", "SCR/SCD2", "BSKYB", "PIN"};

struct Message {
    QString context, source, translation, type;
};

// The messages of a .ts file in file order; none when it cannot be read.
QVector<Message> readTs(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QVector<Message> messages;
    QString context;
    for (QXmlStreamReader xml(&file); !xml.atEnd();) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("name"))
            context = xml.readElementText();
        else if (xml.name() == QLatin1String("source"))
            messages.append({context, xml.readElementText(), {}, {}});
        else if (xml.name() == QLatin1String("translation")) {
            messages.last().type = xml.attributes().value("type").toString();
            messages.last().translation = xml.readElementText();
        }
    }
    return messages;
}

// Every text a user can read in the window, the four kinds of panel and the status line.
QStringList shownTexts()
{
    MainWindow window;
    gbLNBSupply lnb(0, 0, 2);
    gbInput input(0, 1, 0x0F, 2);
    gbOutput output(0, 1, 2, 4);
    gbTableCSS css;
    gbChannelPlan plan;
    QStringList texts{window.windowTitle()};
    QList<QComboBox *> boxes;
    for (QWidget *root : std::initializer_list<QWidget *>{&window, &lnb, &input, &output, &css, &plan}) {
        for (const QObject *o : root->findChildren<QObject *>())
            if (o->inherits("QAction") || o->inherits("QLabel") || o->inherits("QAbstractButton"))
                texts << o->property("text").toString();
        if (auto *box = qobject_cast<QGroupBox *>(root))
            texts << box->title() << box->windowTitle();
        boxes << root->findChildren<QComboBox *>();
    }
    auto *table = css.findChild<QTableWidget *>("tableCSS");
    for (int c = 0; c < table->columnCount(); ++c) {
        texts << table->horizontalHeaderItem(c)->text();
        if (auto *delegate = qobject_cast<ComboBoxDelegate *>(table->itemDelegateForColumn(c)))
            boxes << delegate->editor();
    }
    // LO choices are frequencies and stay as they are.
    for (const QComboBox *box : boxes)
        for (int i = 0; i < box->count() && !box->objectName().startsWith("cbLO"); ++i)
            texts << box->itemText(i);
    // No unit is attached and no configuration shown: each command says so.
    for (const char *name : {"btnRead", "btnWrite", "actionHelp"}) {
        QObject *command = window.findChild<QObject *>(name);
        QMetaObject::invokeMethod(command, command->inherits("QAction") ? "trigger" : "click");
        texts << window.statusBar()->currentMessage();
    }
    texts.removeAll(QString());
    return texts;
}

} // namespace

class TestItalian : public QObject
{
    Q_OBJECT
private slots:
    void windowReadsItalian()
    {
        const QStringList english = shownTexts();
        // it_IT falls back to language_it, in the folder the demo is started from.
        const QString cwd = QDir::currentPath();
        const QLocale locale(QLocale::Italian, QLocale::Italy);
        QTemporaryDir empty;
        QTranslator none, translator;  // no file in the working directory: nothing installed
        QVERIFY(QDir::setCurrent(empty.path()) && !installTranslation(*qApp, none, locale));
        QVERIFY(QDir::setCurrent(OSTREL_QM_DIR));
        const bool installed = installTranslation(*qApp, translator, locale);
        QDir::setCurrent(cwd);
        QVERIFY(installed);
        const QStringList italian = shownTexts();
        qApp->removeTranslator(&translator);

        QVERIFY(english.size() > 70);
        QCOMPARE(italian.size(), english.size());
        QStringList untranslated;
        for (int i = 0; i < english.size(); ++i)
            if (italian[i] == english[i] && !SameInItalian.contains(english[i]))
                untranslated << english[i];
        QVERIFY2(untranslated.isEmpty(), qPrintable(untranslated.join(" | ")));
    }

    // Every message finished, keeping its placeholders and leading blank; a text
    // added to the code and not yet in the .ts shows up too.
    void translationSource()
    {
        const auto messages = readTs(OSTREL_SOURCE_DIR "/resources/translations/language_it.ts");
        QVERIFY(messages.size() > 80);
        const auto key = [](const Message &m) { return m.context + '\x1f' + m.source; };
        QSet<QString> inCode, inTs;
        for (const Message &m : messages) {
            bool kept = m.source.startsWith(' ') == m.translation.startsWith(' ');
            for (char n = '1'; n <= '9'; ++n)
                kept = kept && m.source.count(QString('%') + n) == m.translation.count(QString('%') + n);
            QVERIFY2(m.type.isEmpty() && !m.translation.isEmpty() && kept, qPrintable(m.context + ": " + m.source));
            inTs << key(m);
        }

#ifndef LUPDATE
        QSKIP("lupdate runs on the build host: checked by the native build");
#else
        QTemporaryDir dir;
        const QString fresh = dir.filePath("fresh.ts"), src = OSTREL_SOURCE_DIR;
        QStringList args{"-silent", "-recursive", "-I", src};
        for (const QString &sub : QString(OSTREL_TEXT_DIRS).split(','))
            args << src + '/' + sub;
        QCOMPARE(QProcess::execute(LUPDATE, args << "-ts" << fresh), 0);
        for (const Message &m : readTs(fresh))
            inCode << key(m);
        QVERIFY2(inCode == inTs, "run the update_translations target and translate what is new");
#endif
    }
};

QTEST_MAIN(TestItalian)
#include "tst_italian.moc"
