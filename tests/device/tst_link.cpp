#include "benchutil.h"

#include <QtTest>

using simbench::Call;

class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void init() { simbench::reset(); }
    void sampleStream_data();
    void sampleStream();
    void chunking_data();
    void chunking();
    void readBackThroughFlash();
    void transferFaults_data();
    void transferFaults();
    void controlLines();
    void beginSyncBitBangSequence();
    void beginSyncBitBangStops_data();
    void beginSyncBitBangStops();
    void openPastCount();
    void refreshFailures_data();
    void refreshFailures();
    void refreshEmptyThenDevice();
};

void TestLink::sampleStream_data()
{
    QTest::addColumn<QByteArray>("tx");
    QTest::addColumn<QByteArray>("samples");
    QTest::newRow("A5") << QByteArray::fromHex("A5") << QByteArray::fromHex("0105000401050004000401050004010508");
    QTest::newRow("empty") << QByteArray() << QByteArray::fromHex("08");
    QTest::newRow("80 01") << QByteArray::fromHex("8001")
                           << QByteArray::fromHex("0105000400040004000400040004000400"
                                                  "04000400040004000400040004010508");
}

void TestLink::sampleStream()
{
    QFETCH(QByteArray, tx);
    QFETCH(QByteArray, samples);
    simbench::attach();
    DeviceLink link;
    QVERIFY(link.refreshDeviceList() == 1 && link.openDevice(0) && link.beginSyncBitBang(3, 2, 0, 1));
    simbench::clearTrace();

    std::vector<uint8_t> data(tx.begin(), tx.end());
    QVERIFY(link.transfer(data.data(), nullptr, uint32_t(data.size())));
    QCOMPARE(traceLines(), QStringList({"FT_SetBitMode(0x0D,0x04)=0",
                                        QString("FT_Write(%1)=0").arg(samples.size()), "FT_Purge(3)=0"}));
    QCOMPARE(toBytes(simbench::writtenStreams().at(0)), samples);
}

void TestLink::chunking_data()
{
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QVector<int>>("chunks");
    QTest::newRow("0") << 0 << QVector<int>{1};
    QTest::newRow("255") << 255 << QVector<int>{4081};
    QTest::newRow("256: closing sample alone") << 256 << QVector<int>{4096, 1};
    QTest::newRow("257") << 257 << QVector<int>{4096, 17};
    QTest::newRow("512") << 512 << QVector<int>{4096, 4096, 1};
}

void TestLink::chunking()
{
    QFETCH(int, bytes);
    QFETCH(QVector<int>, chunks);
    Rig rig;
    QVERIFY(rig.open());
    simbench::clearTrace();

    std::vector<uint8_t> buf(size_t(bytes) + 1, 0x5A); // never a null buffer
    QVERIFY(rig.link.transfer(buf.data(), buf.data(), uint32_t(bytes)));
    QCOMPARE(writeSizes(), chunks);
    QStringList expected{"FT_SetBitMode(0x0D,0x04)=0"};
    for (int n : chunks)
        expected << QString("FT_Write(%1)=0").arg(n) << QString("FT_Read(%1)=0").arg(n);
    QCOMPARE(traceLines(), expected << "FT_Purge(3)=0");
}

void TestLink::readBackThroughFlash()
{
    simbench::UnitConfig config;
    config.chip = simbench::ChipKind::IS25WQ040;
    Rig rig(config);
    simbench::setFlashBytes(rig.unit, 0xFF, {0x12, 0x34, 0x56});
    QVERIFY(rig.open());

    // Receive into the transmit buffer, as the flash driver does.
    std::vector<uint8_t> id{0x9F, 0, 0, 0};
    QVERIFY(rig.link.transfer(id.data(), id.data(), 4));
    QCOMPARE(toBytes(id), QByteArray::fromHex("FF9D1253"));

    // Bytes on both sides of the chunk boundary land in place.
    std::vector<uint8_t> buf(4 + 300, 0);
    buf[0] = 0x03;
    QVERIFY(rig.link.transfer(buf.data(), buf.data(), uint32_t(buf.size())));
    QCOMPARE(toBytes({buf.begin() + 4 + 0xFF, buf.begin() + 4 + 0x102}), QByteArray::fromHex("123456"));
}

void TestLink::transferFaults_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("nth");
    QTest::newRow("SetBitMode fails") << 0 << 1;
    QTest::newRow("first write fails") << 1 << 1;
    QTest::newRow("second write fails") << 1 << 2;
    QTest::newRow("read fails") << 2 << 1;
    QTest::newRow("purge fails") << 3 << 1;
    QTest::newRow("short write") << 4 << 2;
    QTest::newRow("short read") << 5 << 1;
    QTest::newRow("unplugged") << 6 << 0;
}

void TestLink::transferFaults()
{
    QFETCH(int, fault);
    QFETCH(int, nth);
    Rig rig;
    QVERIFY(rig.open());
    switch (fault) {
    case 0: simbench::failCall(Call::SetBitMode, nth); break;
    case 1: simbench::failCall(Call::Write, nth); break;
    case 2: simbench::failCall(Call::Read, nth); break;
    case 3: simbench::failCall(Call::Purge, nth); break;
    case 4: simbench::shortWrite(nth, 100); break;
    case 5: simbench::shortRead(nth, 4095); break;
    case 6: simbench::detach(rig.unit); break;
    }
    std::vector<uint8_t> buf(300, 0x03);
    QVERIFY(!rig.link.transfer(buf.data(), buf.data(), uint32_t(buf.size())));
    if (fault == 6)
        return;
    // Chip select may have been left low; parking the bus again recovers.
    QVERIFY(rig.link.beginSyncBitBang(3, 2, 0, 1));
    std::vector<uint8_t> id{0x9F, 0, 0, 0};
    QVERIFY(rig.link.transfer(id.data(), id.data(), 4));
    QCOMPARE(id[3], uint8_t(0x33));
}

void TestLink::controlLines()
{
    simbench::attach();
    DeviceLink link;
    QVERIFY(link.refreshDeviceList() == 1 && link.openDevice(0));
    simbench::clearTrace();
    QVERIFY(link.setControlLine(3, 1));
    QVERIFY(link.setControlLine(3, 0));
    QVERIFY(!link.setControlLine(3, 3));
    QCOMPARE(link.cbusState(), uint8_t(0x80));
    QVERIFY(link.setControlLine(3, 2));
    QVERIFY(link.setControlLine(0, 1));
    QCOMPARE(traceLines(), QStringList({"FT_SetBitMode(0x88,0x20)=0", "FT_SetBitMode(0x80,0x20)=0",
                                        "FT_SetBitMode(0x00,0x20)=0", "FT_SetBitMode(0x11,0x20)=0"}));
}

void TestLink::beginSyncBitBangSequence()
{
    simbench::attach();
    DeviceLink link;
    QVERIFY(link.refreshDeviceList() == 1 && link.openDevice(0));
    simbench::clearTrace();
    QVERIFY(link.beginSyncBitBang(3, 2, 0, 1) && link.setClockKHz(1000) && link.resetBitMode());
    QCOMPARE(traceLines(), QStringList({"FT_SetLatencyTimer(0)=0", "FT_SetBitMode(0x0D,0x04)=0",
                                        "FT_SetBaudRate(1000000)=0", "FT_SetUSBParameters(4096,4096)=0",
                                        "FT_Write(1)=0", "FT_Purge(3)=0", "FT_SetBaudRate(125000)=0",
                                        "FT_SetBitMode(0x00,0x00)=0", "FT_Purge(3)=0"}));
    QCOMPARE(toBytes(simbench::writtenStreams().at(0)), QByteArray::fromHex("08"));
}

void TestLink::beginSyncBitBangStops_data()
{
    QTest::addColumn<int>("call");
    QTest::addColumn<int>("callsMade");
    QTest::newRow("latency") << int(Call::SetLatencyTimer) << 1;
    QTest::newRow("bit mode") << int(Call::SetBitMode) << 2;
    QTest::newRow("baud rate") << int(Call::SetBaudRate) << 3;
    QTest::newRow("usb parameters") << int(Call::SetUSBParameters) << 4;
    QTest::newRow("write") << int(Call::Write) << 5;
    QTest::newRow("purge") << int(Call::Purge) << 6;
}

void TestLink::beginSyncBitBangStops()
{
    QFETCH(int, call);
    QFETCH(int, callsMade);
    simbench::attach();
    DeviceLink link;
    QVERIFY(link.refreshDeviceList() == 1 && link.openDevice(0));
    simbench::clearTrace();
    simbench::failCall(Call(call), 1);
    QVERIFY(!link.beginSyncBitBang(3, 2, 0, 1));
    QCOMPARE(int(simbench::trace().size()), callsMade);
}

void TestLink::openPastCount()
{
    simbench::attach();
    DeviceLink link;
    QVERIFY(link.refreshDeviceList() == 1 && link.openDevice(0));
    simbench::clearTrace();
    QVERIFY(!link.openDevice(1));
    QVERIFY(!link.isOpen());
    QCOMPARE(traceLines(), QStringList{"FT_Close=0"});
}

void TestLink::refreshFailures_data()
{
    QTest::addColumn<int>("call");
    QTest::newRow("count") << int(Call::CreateDeviceInfoList);
    QTest::newRow("nodes") << int(Call::GetDeviceInfoList);
}

void TestLink::refreshFailures()
{
    QFETCH(int, call);
    simbench::attach();
    DeviceLink link;
    QCOMPARE(link.refreshDeviceList(), 1);
    simbench::failCall(Call(call), 1);
    QCOMPARE(link.refreshDeviceList(), -1);
    QCOMPARE(link.deviceCount(), 0u);
    QVERIFY(!link.openDevice(0));
    QCOMPARE(link.refreshDeviceList(), 1);
}

void TestLink::refreshEmptyThenDevice()
{
    DeviceLink link;
    QCOMPARE(link.refreshDeviceList(), 0);
    QVERIFY(link.deviceList().empty());
    QCOMPARE(traceLines(), QStringList{"FT_CreateDeviceInfoList=0"});
    simbench::attach();
    QCOMPARE(link.refreshDeviceList(), 1);
    QVERIFY(link.deviceInfo(0) && !link.deviceInfo(1));
}

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
