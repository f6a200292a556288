// Behaviour of the simulated bench that the other device tests lean on.

#include "benchutil.h"
#include "device/devicewatcher.h"

#include <QtTest>

class TestSimBench : public QObject
{
    Q_OBJECT

private slots:
    void init() { simbench::reset(); }
    void flashOffBus();
    void hotPlugSignal();
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

QTEST_GUILESS_MAIN(TestSimBench)
#include "tst_simbench.moc"
