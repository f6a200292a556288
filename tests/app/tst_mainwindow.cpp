#include "app/mainwindow.h"

#include <QtTest>
#include <QtWidgets>

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void shell()
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
        for (const char *name :
             {"verticalLayout", "horizontalLayout_4", "hlLNBSupply", "hlInputs", "hlTableCSS", "hlOutputs"})
            QCOMPARE(w.findChild<QLayout *>(name)->spacing(), 6);
        QVERIFY(w.statusBar()->autoFillBackground());
        for (const char *name : {"actionAdvancedMode", "actionChannelPlan"}) {
            QVERIFY(!w.findChild<QAction *>(name)->isChecked());
            QVERIFY(w.findChild<QAction *>(name)->isCheckable());
        }
        for (const QString entry :
             {"actionLoad=Load Configuration File", "actionSave=Save Configuration File", "actionExit=Exit",
              "actionAdvancedMode=Advanced Mode", "actionChannelPlan=Channel Plan", "actionVersion=Version", "actionHelp=Help", "label_2=Device:",
              "btnDeviceRefresh=REFRESH", "btnRead=READ CONFIGURATION", "btnWrite= WRITE CONFIGURATION",
              "btnDefault=READ DEFAULT"}) {
            QObject *o = w.findChild<QObject *>(entry.section('=', 0, 0));
            QVERIFY2(o, qPrintable(entry));
            QCOMPARE(o->property("text").toString(), entry.section('=', 1));
        }
        for (const char *name : {"centralWidget", "cbDevice", "line", "menuBar", "statusBar"})
            QVERIFY2(w.findChild<QWidget *>(name), name);
        for (const char *name : {"btnRead", "btnWrite", "btnDefault"})
            QCOMPARE(w.findChild<QPushButton *>(name)->minimumWidth(), 150);

        QStringList menus;
        for (QAction *a : w.menuBar()->actions()) {
            menus << a->menu()->objectName() + "=" + a->text();
            for (QAction *entry : a->menu()->actions())
                menus << (entry->isSeparator() ? QString("-") : entry->objectName());
        }
        QCOMPARE(menus, QStringList({"menuEEPROM=File", "actionLoad", "actionSave", "-", "actionExit",
                                     "menuPreferences=Preferences", "actionAdvancedMode", "actionChannelPlan",
                                     "menuAbout=?", "actionHelp", "-", "actionVersion"}));

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

    // The picture is an addition: off, the window is as it was; on, it sits below the table.
    void channelPlanToggle()
    {
        MainWindow w;
        const auto tree = [&w] {
            QStringList shown;
            for (const QObject *o : w.findChildren<QObject *>())
                shown << QString::fromLatin1(o->metaObject()->className()) + ':' + o->objectName();
            const QLayout *layout = w.findChild<QLayout *>("verticalLayout");
            for (int i = 0; i < layout->count(); ++i)
                shown << QString::number(i) + '=' + (layout->itemAt(i)->layout() ? layout->itemAt(i)->layout()->objectName()
                                                                                 : layout->itemAt(i)->widget()->objectName());
            return shown;
        };
        const QStringList before = tree();
        auto *action = w.findChild<QAction *>("actionChannelPlan");
        action->trigger();
        auto *layout = w.findChild<QVBoxLayout *>("verticalLayout");
        QCOMPARE(layout->count(), 9);
        QCOMPARE(layout->itemAt(6)->widget()->objectName(), QString("gbChannelPlan"));
        QCOMPARE(layout->stretch(5), 1);
        QCOMPARE(layout->stretch(6), 0);
        // No configuration shown yet: a hint instead of a picture.
        QVERIFY(!w.findChild<QLabel *>("labelPlanHint")->isHidden());
        action->trigger();
        QCOMPARE(tree(), before);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
