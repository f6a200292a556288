// Every other device test stands on the simulated bench, so the behaviour
// they lean on is checked here.

#include "benchutil.h"
#include "device/devicewatcher.h"

#include <QtTest>

class TestSimBench : public QObject
{
    Q_OBJECT

private slots:
    void init() { simbench::reset(); }
    void oneByteLag();
    void staleHandles();
    void hotPlugSignal();
    void busyLasts_data();
    void busyLasts();
    void programRules();
};

static FT_HANDLE openFirst()
{
    uint32_t count = 0;
    FT_HANDLE handle = nullptr;
    if (FT_CreateDeviceInfoList(&count) != FT_OK || count == 0 || FT_Open(0, &handle) != FT_OK)
        return nullptr;
    return handle;
}

void TestSimBench::oneByteLag()
{
    simbench::attach();
    FT_HANDLE h = openFirst();
    QVERIFY(h && FT_SetBitMode(h, 0x0D, 0x04) == FT_OK);
    std::array<uint8_t, 4> out{0x08, 0x01, 0x0C, 0x05};
    std::array<uint8_t, 4> in{};
    uint32_t n = 0;
    QVERIFY(FT_Write(h, out.data(), 4, &n) == FT_OK && FT_Read(h, in.data(), 4, &n) == FT_OK && n == 4);
    // Inputs float high (the flash is off the bus); outputs show the byte before.
    QCOMPARE(in[0], uint8_t(0xF2));
    for (size_t i = 1; i < 4; ++i)
        QCOMPARE(in[i], uint8_t(0xF2 | out[i - 1]));
    QVERIFY(FT_Write(h, out.data(), 2, &n) == FT_OK && FT_Purge(h, FT_PURGE_RX) == FT_OK);
    QVERIFY(FT_Read(h, in.data(), 4, &n) == FT_OK && n == 0);
}

void TestSimBench::staleHandles()
{
    const auto unit = simbench::attach();
    FT_HANDLE h = openFirst();
    QVERIFY(h);
    FT_HANDLE second = nullptr;
    QCOMPARE(FT_Open(0, &second), FT_STATUS(FT_DEVICE_NOT_OPENED));
    QVERIFY(simbench::detach(unit));
    QCOMPARE(FT_SetBitMode(h, 0x88, 0x20), FT_STATUS(FT_IO_ERROR));
    QVERIFY(simbench::replug(unit));
    // Plugged back in, the unit needs a new handle.
    QCOMPARE(FT_Purge(h, 3), FT_STATUS(FT_IO_ERROR));
    QCOMPARE(FT_Close(h), FT_STATUS(FT_OK));
    QCOMPARE(FT_Close(h), FT_STATUS(FT_INVALID_HANDLE));
    h = openFirst();
    QVERIFY(h && FT_Purge(h, 3) == FT_OK);
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

void TestSimBench::busyLasts_data()
{
    QTest::addColumn<int>("command"); // 0 write status, 1 page program, 2 sector erase
    QTest::addColumn<int>("eraseReads");
    QTest::addColumn<int>("busyReads");
    QTest::newRow("status") << 0 << 3 << 1;
    QTest::newRow("program") << 1 << 3 << 1;
    QTest::newRow("erase") << 2 << 3 << 3;
    QTest::newRow("erase, instant") << 2 << 0 << 0;
}

void TestSimBench::busyLasts()
{
    QFETCH(int, command);
    QFETCH(int, eraseReads);
    QFETCH(int, busyReads);
    simbench::Timing timing;
    timing.eraseReads = eraseReads;
    simbench::setTiming(timing);
    Rig rig;
    QVERIFY(rig.open());
    const std::array<uint8_t, 1> zero{0};
    QVERIFY(rig.flash.cmdWriteEnable());
    QVERIFY(command == 0   ? rig.flash.cmdWriteStatus(0)
            : command == 1 ? rig.flash.cmdPageProgram(zero.data(), 1, 0)
                           : rig.flash.cmdSectorErase(0));
    uint8_t status = 0;
    for (int i = 0; i < busyReads; ++i) {
        QVERIFY(rig.flash.cmdReadStatus(status));
        QCOMPARE(status & 0x03, 0x03); // WIP with WEL
    }
    QVERIFY(rig.flash.cmdReadStatus(status));
    QCOMPARE(status & 0x03, 0x00);
}

void TestSimBench::programRules()
{
    Rig rig;
    simbench::setFlashBytes(rig.unit, 0x100, {0x3C, 0x3C});
    simbench::setFlashBytes(rig.unit, 0x1FE, {0x3C, 0x3C});
    QVERIFY(rig.open());
    const std::array<uint8_t, 4> data{0x0F, 0x0F, 0xF0, 0xF0};
    // Without write enable the program is ignored.
    QVERIFY(rig.flash.cmdPageProgram(data.data(), 4, 0x1FE) && rig.flash.waitReady());
    QCOMPARE(toBytes(simbench::flashBytes(rig.unit, 0x1FE, 2)), QByteArray::fromHex("3C3C"));
    // With it, bits only clear, and the address wraps inside the page.
    QVERIFY(rig.flash.cmdWriteEnable() && rig.flash.cmdPageProgram(data.data(), 4, 0x1FE) && rig.flash.waitReady());
    QCOMPARE(toBytes(simbench::flashBytes(rig.unit, 0x1FE, 2)), QByteArray::fromHex("0C0C"));
    QCOMPARE(toBytes(simbench::flashBytes(rig.unit, 0x100, 2)), QByteArray::fromHex("3030"));
    QCOMPARE(toBytes(simbench::flashBytes(rig.unit, 0x200, 1)), QByteArray::fromHex("FF"));
}

QTEST_GUILESS_MAIN(TestSimBench)
#include "tst_simbench.moc"
