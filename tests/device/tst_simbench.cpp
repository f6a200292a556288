// Behaviour of the simulated bench that the other device tests lean on.

#include "benchutil.h"
#include "device/devicewatcher.h"
#include "device/ftdiprobe.h"

#include <QtTest>

class TestSimBench : public QObject
{
    Q_OBJECT

private slots:
    void init() { simbench::reset(); }
    void flashOffBus();
    void hotPlugSignal();
    void cbusFunctions_data();
    void cbusFunctions();
};

void TestSimBench::flashOffBus()
{
    Rig rig;
    QVERIFY(rig.link.refreshDeviceList() == 1 && rig.link.openDevice(0));
    // The access line alone does not put the flash on the bus.
    QVERIFY(rig.link.setControlLine(3, 1) && rig.link.beginSyncBitBang(3, 2, 0, 1));
    std::array<uint8_t, 3> id{};
    QVERIFY(!rig.flash.identify(&id));
    QCOMPARE(id, (std::array<uint8_t, 3>{0xFF, 0xFF, 0xFF}));
    QVERIFY(rig.link.setControlLine(1, 1) && rig.link.setControlLine(0, 1));
    QVERIFY(rig.flash.identify());
}

void TestSimBench::hotPlugSignal()
{
    DeviceWatcher watcher;
    QSignalSpy spy(&watcher, &DeviceWatcher::devicesChanged);
    const auto unit = simbench::attach();
    QCOMPARE(spy.count(), 0); // through the event loop, never inside the call
    QVERIFY(spy.wait(1000));
    simbench::detach(unit);
    QVERIFY(spy.wait(1000));
    QCOMPARE(spy.count(), 2);
}

void TestSimBench::cbusFunctions_data()
{
    QTest::addColumn<int>("pin");
    QTest::addColumn<int>("function");
    QTest::addColumn<bool>("onBus");
    QTest::newRow("all in I/O mode") << 0 << int(simbench::cbusIoMode) << true;
    // TXLED# is pulled low while samples are clocked: the flash drops off.
    QTest::newRow("CBUS0 as TXLED") << 0 << int(simbench::cbusTxLed) << false;
    QTest::newRow("CBUS0 as DRIVE_0") << 0 << int(simbench::cbusDrive0) << false;
    // SLEEP# stays high while the chip is awake.
    QTest::newRow("CBUS1 as SLEEP") << 1 << int(simbench::cbusSleep) << true;
    QTest::newRow("CBUS2 as TXLED") << 2 << int(simbench::cbusTxLed) << true; // not a flash line
}

// The query reads the EEPROM functions, and CBUS bit-bang moves only the pins
// in I/O mode: a flash line in another function has that function's level.
void TestSimBench::cbusFunctions()
{
    QFETCH(int, pin);
    QFETCH(int, function);
    QFETCH(bool, onBus);
    simbench::UnitConfig config;
    config.cbusFunctions[size_t(pin)] = uint8_t(function);
    Rig rig(config);
    simbench::UnitConfig locked;
    locked.stringsReadable = false;
    simbench::attach(locked);

    const auto reports = ftdiprobe::probeDevices();
    QCOMPARE(reports.size(), std::size_t(2));
    QCOMPARE(reports[0].cbusFunctions, std::vector<int>(config.cbusFunctions.begin(), config.cbusFunctions.end()));
    QVERIFY(reports[0].stringsReadable && reports[0].eepromReadable);
    QCOMPARE(reports[0].serial, QString("SIM0001"));
    QVERIFY(!reports[1].stringsReadable && reports[1].description.isEmpty() && reports[1].cbusFunctions.empty());

    QVERIFY(rig.open());
    QCOMPARE(rig.flash.identify(), onBus);
}

QTEST_GUILESS_MAIN(TestSimBench)
#include "tst_simbench.moc"
