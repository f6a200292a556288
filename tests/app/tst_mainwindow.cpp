#include "app/mainwindow.h"
#include "app/translation.h"
#include "app/demo/demounits.h"
#include "config/configstore.h"
#include "device/sim/simbench.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>
#include <QtCore/QTranslator>
#include <QtGui/QStatusTipEvent>
#include <QtTest/QtTest>
#include <QtWidgets/QAction>
#include <QtWidgets/QApplication>
#include <QtWidgets/QBoxLayout>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QMenu>
#include <QtWidgets/QMenuBar>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QStatusBar>

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void shell();
    void widgets();
    void menus();
    void statusColours_data();
    void statusColours();
    void helpMissing();
    void translationFromWorkingDirectory();
    void unitSelector();
};

void TestMainWindow::shell()
{
    MainWindow w;
    QCOMPARE(w.objectName(), QString("MainWindow"));
    QCOMPARE(w.windowTitle(), QString("Ostrel RIZ edaradovuzur"));
    QCOMPARE(w.size(), QSize(1000, 720));
    QVERIFY(!w.findChild<QLabel *>("labelLogo")->pixmap(Qt::ReturnByValue).isNull());
    auto *layout = w.findChild<QVBoxLayout *>("verticalLayout");
    QCOMPARE(layout->count(), 8);
    QCOMPARE(layout->itemAt(5)->layout()->objectName(), QString("hlTableCSS"));
    for (int i = 0; i < layout->count(); ++i)
        QCOMPARE(layout->stretch(i), i == 5 ? 1 : 0);
    QCOMPARE(w.findChild<QHBoxLayout *>("horizontalLayout_3")->spacing(), 20);
    QCOMPARE(w.findChild<QHBoxLayout *>("horizontalLayout_3")->contentsMargins(), QMargins(25, 25, 25, 25));
    QVERIFY(w.findChild<QStatusBar *>("statusBar")->autoFillBackground());
    QVERIFY(!w.findChild<QAction *>("actionAdvancedMode")->isChecked());
    QVERIFY(w.findChild<QAction *>("actionAdvancedMode")->isCheckable());
}

void TestMainWindow::widgets()
{
    MainWindow w;
    for (const QString entry : {"actionLoad=Load Configuration File", "actionSave=Save Configuration File",
                                "actionExit=Exit", "actionAdvancedMode=Advanced Mode", "actionVersion=Version",
                                "actionHelp=Help", "label_2=Device:", "btnDeviceRefresh=REFRESH",
                                "btnRead=READ CONFIGURATION", "btnWrite= WRITE CONFIGURATION", "btnDefault=READ DEFAULT"}) {
        QObject *o = w.findChild<QObject *>(entry.section('=', 0, 0));
        QVERIFY2(o, qPrintable(entry));
        QCOMPARE(o->property("text").toString(), entry.section('=', 1));
    }
    for (const char *name : {"centralWidget", "cbDevice", "line", "menuBar", "statusBar"})
        QVERIFY2(w.findChild<QWidget *>(name), name);
    for (const char *name : {"verticalLayout", "horizontalLayout_4", "hlLNBSupply", "hlInputs", "hlTableCSS", "hlOutputs"})
        QCOMPARE(w.findChild<QLayout *>(name)->spacing(), 6);
    for (const char *name : {"btnRead", "btnWrite", "btnDefault"})
        QCOMPARE(w.findChild<QPushButton *>(name)->minimumWidth(), 150);
}

void TestMainWindow::menus()
{
    MainWindow w;
    QStringList titles;
    for (QAction *a : w.findChild<QMenuBar *>("menuBar")->actions())
        titles << a->menu()->objectName() + "=" + a->text();
    QCOMPARE(titles, QStringList({"menuEEPROM=File", "menuPreferences=Preferences", "menuAbout=?"}));
    auto entries = [&](const char *menu) {
        QStringList names;
        for (QAction *a : w.findChild<QMenu *>(menu)->actions())
            names << (a->isSeparator() ? QString("-") : a->objectName());
        return names;
    };
    QCOMPARE(entries("menuEEPROM"), QStringList({"actionLoad", "actionSave", "-", "actionExit"}));
    QCOMPARE(entries("menuPreferences"), QStringList({"actionAdvancedMode"}));
    QCOMPARE(entries("menuAbout"), QStringList({"actionHelp", "-", "actionVersion"}));

    // Exit closes the window.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.findChild<QAction *>("actionExit")->trigger();
    QVERIFY(!w.isVisible());
}

void TestMainWindow::statusColours_data()
{
    QTest::addColumn<QColor>("colour");
    QTest::newRow("yellow") << QColor(Qt::yellow);
    QTest::newRow("red") << QColor(Qt::red);
    QTest::newRow("green") << QColor(Qt::green);
}

void TestMainWindow::statusColours()
{
    QFETCH(QColor, colour);
    MainWindow w;
    w.showStatus("message", 0, colour);
    auto *bar = w.findChild<QStatusBar *>("statusBar");
    QCOMPARE(bar->currentMessage(), QString("message"));
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        QCOMPARE(bar->palette().brush(group, QPalette::Window).color(), colour);
    QCOMPARE(bar->palette().brush(QPalette::Window).style(), Qt::SolidPattern);
    // Hovering a menu entry must not erase it.
    QStatusTipEvent tip{QString()};
    QApplication::sendEvent(&w, &tip);
    QCOMPARE(bar->currentMessage(), QString("message"));
}

void TestMainWindow::helpMissing()
{
    // The test program's folder has no help/ beside it.
    QVERIFY(!QFile::exists(QCoreApplication::applicationDirPath() + "/help/help_it.pdf"));
    MainWindow w;
    w.findChild<QAction *>("actionHelp")->trigger();
    auto *bar = w.findChild<QStatusBar *>("statusBar");
    QCOMPARE(bar->currentMessage(), QString("ERROR help file not available!"));
    QCOMPARE(bar->palette().brush(QPalette::Window).color(), QColor(Qt::red));
}

void TestMainWindow::translationFromWorkingDirectory()
{
    const QString qm = QFINDTESTDATA("tst_translation.qm");
    QVERIFY(!qm.isEmpty());
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));

    QTranslator none;
    QVERIFY(!installTranslation(*qApp, none, QLocale(QLocale::Italian, QLocale::Italy)));

    // language_it_IT is not there, so the lookup shortens the name to language_it.
    QVERIFY(QFile::copy(qm, dir.filePath("language_it.qm")));
    QTranslator translator;
    QVERIFY(installTranslation(*qApp, translator, QLocale(QLocale::Italian, QLocale::Italy)));
    {
        MainWindow w;
        QCOMPARE(w.findChild<QAction *>("actionExit")->text(), QString("Esci"));
        QCOMPARE(w.findChild<QAction *>("actionHelp")->text(), QString("Help"));
    }
    QCoreApplication::removeTranslator(&translator);
    QDir::setCurrent(previous);
}

void TestMainWindow::unitSelector()
{
    simbench::reset();
    ConfigStore maps;
    maps.loadEmbeddedMaps();
    simbench::UnitConfig stranger;
    stranger.description = "ORBIX-9";
    simbench::attach(stranger);
    const int first = demo::attachUnit(*maps.maps()[0], "OR0001");
    demo::attachUnit(*maps.maps()[1], "OR0002");

    MainWindow w;
    auto *selector = w.findChild<QComboBox *>("cbDevice");
    QCOMPARE(selector->count(), 2);
    QCOMPARE(selector->itemText(0), QString("0: ORBIX-1, Serial Number=OR0001, HW Version=1.0, SW Version=1.0"));
    QCOMPARE(selector->itemText(1), QString("1: ORBIX-1S, Serial Number=OR0002, HW Version=1.0, SW Version=1.0"));
    QCOMPARE(selector->currentIndex(), 0);
    selector->setCurrentIndex(1);

    // Unplugging refills the selector without a click, numbering stays dense.
    QVERIFY(simbench::detach(first));
    QTRY_COMPARE(selector->count(), 1);
    QCOMPARE(selector->itemText(0), QString("0: ORBIX-1S, Serial Number=OR0002, HW Version=1.0, SW Version=1.0"));
    QVERIFY(simbench::replug(first));
    QTRY_COMPARE(selector->count(), 2);
    QCOMPARE(selector->currentIndex(), 0);

    simbench::reset();
    w.findChild<QPushButton *>("btnDeviceRefresh")->click();
    QCOMPARE(selector->count(), 0);
    QCOMPARE(selector->currentIndex(), -1);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
