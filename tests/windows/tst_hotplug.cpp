// Hot-plug on Windows: WM_DEVICECHANGE with DBT_DEVNODES_CHANGED refills the
// unit selector, any other device-change message leaves it alone. Needs the
// "windows" platform (native windows), so under Wine an X display.
#include "app/demo/demounits.h"
#include "app/mainwindow.h"
#include "config/configstore.h"

#include <QtTest/QtTest>
#include <QtWidgets/QComboBox>

#include <windows.h>

class TestHotplug : public QObject
{
    Q_OBJECT
private slots:
    void deviceChange()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *selector = window.findChild<QComboBox *>("cbDevice");
        QVERIFY(selector);
        QCOMPARE(selector->count(), 0);

        // Plugged in: the library itself sends no news, Windows does.
        demo::attachUnit(*window.configStore().maps()[0], "OR0001");
        const HWND hwnd = reinterpret_cast<HWND>(window.winId());
        // Only wParam values below 0x8000 may be posted (the others carry a pointer).
        constexpr WPARAM configChanged = 0x0018; // DBT_CONFIGCHANGED
        constexpr WPARAM nodesChanged = 0x0007;  // DBT_DEVNODES_CHANGED
        QVERIFY(PostMessageW(hwnd, WM_DEVICECHANGE, configChanged, 0));
        QTest::qWait(300);
        QCOMPARE(selector->count(), 0);
        QVERIFY(PostMessageW(hwnd, WM_DEVICECHANGE, nodesChanged, 0));
        QTRY_COMPARE(selector->count(), 1);
        QVERIFY(selector->itemText(0).contains("OR0001"));
    }
};

QTEST_MAIN(TestHotplug)
#include "tst_hotplug.moc"
