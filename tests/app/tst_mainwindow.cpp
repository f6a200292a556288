#include "app/mainwindow.h"

#include <QtTest>
#include <QtWidgets>

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    // The window's own reactions; its layout and texts are the .ui file's (texts:
    // tst_italian; the channel plan toggle: tst_commands).
    void shell()
    {
        MainWindow w;
        QVERIFY(w.statusBar()->autoFillBackground());  // else its colour never shows
#ifndef Q_OS_WIN // there every program shares bin/ with the help
        // The test program's folder has no help/ beside it.
        QVERIFY(!QFile::exists(QCoreApplication::applicationDirPath() + "/help/help_it.pdf"));
        w.findChild<QAction *>("actionHelp")->trigger();
        QCOMPARE(w.statusBar()->currentMessage(), QString("ERROR help file not available!"));
        QCOMPARE(w.statusBar()->palette().brush(QPalette::Window).color(), QColor(Qt::red));
#endif
        for (const QColor &colour : {QColor(Qt::yellow), QColor(Qt::red), QColor(Qt::green)}) {
            w.showStatus(colour.name(), 0, colour);
            for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
                QCOMPARE(w.statusBar()->palette().brush(group, QPalette::Window).color(), colour);
            QCOMPARE(w.statusBar()->palette().brush(QPalette::Window).style(), Qt::SolidPattern);
            // Hovering a menu entry must not erase the message.
            QStatusTipEvent tip{QString()};
            QApplication::sendEvent(&w, &tip);
            QCOMPARE(w.statusBar()->currentMessage(), colour.name());
        }

        // The Version box: its title and text, read while it is open.
        QString version;
        QTimer::singleShot(0, [&version] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            version = box->windowTitle() + '=' + box->text();
            box->accept();
        });
        w.findChild<QAction *>("actionVersion")->trigger();
        QCOMPARE(version, QString("Version=1.1"));

        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.findChild<QAction *>("actionExit")->trigger();
        QVERIFY(!w.isVisible());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
