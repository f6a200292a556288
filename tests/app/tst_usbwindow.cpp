// The product's window on its real USB path: this program links the usb
// backend, and tools/usb-emu.sh preloads the emulator with a bench of two
// units in front of libusb. Driven by object names, as a user would.
#include "app/mainwindow.h"
#include "config/configstore.h"
#include "panels/gbtablecss.h"
#include "../common/mapbuilder.h"

#include <QtTest>
#include <QtWidgets>

class TestUsbWindow : public QObject
{
    Q_OBJECT
private slots:
    void readEditWriteDefault()
    {
        const QString benchPath = qEnvironmentVariable("OSTREL_USB_BENCH");
        QVERIFY2(!benchPath.isEmpty(), "run through tools/usb-emu.sh");
        QSettings bench(benchPath, QSettings::IniFormat);
        const QString flashPath = QFileInfo(benchPath).dir().absoluteFilePath(bench.value("unit1/flash").toString());
        const QByteArray before = readAll(flashPath);
        QCOMPARE(before.size(), 512 * 1024);

        MainWindow w;
        w.show();
        auto *selector = w.findChild<QComboBox *>("cbDevice");
        QCOMPARE(selector->count(), 2);
        QCOMPARE(selector->itemText(0), "0: ORBIX-1, Serial Number=" + bench.value("unit1/serial").toString()
                                            + ", HW Version=1.0, SW Version=1.0");

        click(w, "btnRead");
        QCOMPARE(w.statusBar()->currentMessage(), QString("Ready"));
        const uint32_t slotAddress = w.configStore().loadedMap()->slotAddress(0);
        QCOMPARE(slot(w), before.mid(int(slotAddress), 892));

        table(w)->setIfOut(0, 1250000);
        click(w, "btnWrite");
        QCOMPARE(w.statusBar()->currentMessage(), QString("Ready"));
        QCOMPARE(table(w)->ifOut(0), 1250000u);
        // The emulator wrote the flash back to its file: the new image in
        // its slot, every other byte as it was.
        QByteArray expected = before;
        expected.replace(int(slotAddress), 892, slot(w));
        QVERIFY(slot(w) != before.mid(int(slotAddress), 892));
        QVERIFY(readAll(flashPath) == expected);

        click(w, "btnDefault");
        QCOMPARE(w.statusBar()->currentMessage(), QString("Ready"));
        QCOMPARE(table(w)->ifOut(7), 1092000u);
        QVERIFY(readAll(flashPath) == expected);
    }

private:
    static void click(MainWindow &w, const char *name) { w.findChild<QPushButton *>(name)->click(); }
    static gbTableCSS *table(MainWindow &w) { return w.findChild<gbTableCSS *>("gbTableCSS"); }
    static QByteArray slot(MainWindow &w) { return toBytes(w.configStore().slotPointer(0), 892); }
};

QTEST_MAIN(TestUsbWindow)
#include "tst_usbwindow.moc"
