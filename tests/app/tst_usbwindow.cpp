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
        MainWindow w;
        auto *selector = w.findChild<QComboBox *>("cbDevice");
        QCOMPARE(selector->count(), 2);
        QCOMPARE(selector->itemText(0), "0: ORBIX-1, Serial Number=" + bench.value("unit1/serial").toString()
                                            + ", HW Version=1.0, SW Version=1.0");
        const auto slot = [&w] { return toBytes(w.configStore().slotPointer(0), 892); };
        const auto run = [&w](const char *button) {
            w.findChild<QPushButton *>(button)->click();
            QCOMPARE(w.statusBar()->currentMessage(), QString("Ready"));
        };
        run("btnRead");
        const int at = int(w.configStore().loadedMap()->slotAddress(0));
        QCOMPARE(slot(), before.mid(at, 892));

        w.findChild<gbTableCSS *>("gbTableCSS")->setIfOut(0, 1250000);
        run("btnWrite");
        // The emulator wrote the flash back to its file: the new image in
        // its slot, every other byte as it was. Read default leaves it so.
        const QByteArray expected = QByteArray(before).replace(at, 892, slot());
        QVERIFY(slot() != before.mid(at, 892));
        QVERIFY(readAll(flashPath) == expected);
        run("btnDefault");
        QCOMPARE(w.findChild<gbTableCSS *>("gbTableCSS")->ifOut(7), 1092000u);
        QVERIFY(readAll(flashPath) == expected);
    }
};

QTEST_MAIN(TestUsbWindow)
#include "tst_usbwindow.moc"
