#include "benchutil.h"

#include <QtTest>

using simbench::Call;

enum LinkOp { Refresh, Open, ControlLine, BitBang, Clock, Transfer, Reset };

class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void init() { simbench::reset(); }

    void sampleStream_data()
    {
        QTest::addColumn<int>("bytes"); // all 0xA5
        QTest::addColumn<bool>("readBack");
        QTest::addColumn<QVector<int>>("chunks");
        QTest::addColumn<QByteArray>("lastChunk");
        const auto a5 = QByteArray::fromHex("0105000401050004000401050004010508");
        const auto cs = QByteArray::fromHex("08");
        QTest::newRow("one byte") << 1 << false << QVector<int>{17} << a5;
        QTest::newRow("no bytes: chip select only") << 0 << false << QVector<int>{1} << cs;
        QTest::newRow("256: closing sample alone") << 256 << true << QVector<int>{4096, 1} << cs;
        QTest::newRow("257, write only") << 257 << false << QVector<int>{4096, 17} << a5;
    }

    void sampleStream()
    {
        QFETCH(int, bytes);
        QFETCH(bool, readBack);
        QFETCH(QVector<int>, chunks);
        QFETCH(QByteArray, lastChunk);
        Rig rig;
        QVERIFY(rig.open());
        simbench::clearTrace();

        std::vector<uint8_t> buf(size_t(bytes) + 1, 0xA5); // never a null buffer
        QVERIFY(rig.link.transfer(buf.data(), readBack ? buf.data() : nullptr, uint32_t(bytes)));
        QStringList expected{"FT_SetBitMode(0x0D,0x04)=0"};
        for (int n : chunks) {
            expected << QString("FT_Write(%1)=0").arg(n);
            if (readBack)
                expected << QString("FT_Read(%1)=0").arg(n);
        }
        QCOMPARE(traceLines(), expected << "FT_Purge(3)=0");
        QCOMPARE(toBytes(simbench::writtenStreams().back()), lastChunk);
    }

    void callFails_data()
    {
        QTest::addColumn<int>("op");
        QTest::addColumn<int>("call");
        QTest::addColumn<int>("nth");
        QTest::addColumn<bool>("shortCount"); // the call succeeds but moves too few bytes
        QTest::newRow("refresh: count") << int(Refresh) << int(Call::CreateDeviceInfoList) << 1 << false;
        QTest::newRow("refresh: list") << int(Refresh) << int(Call::GetDeviceInfoList) << 1 << false;
        QTest::newRow("open") << int(Open) << int(Call::Open) << 1 << false;
        QTest::newRow("control line") << int(ControlLine) << int(Call::SetBitMode) << 1 << false;
        QTest::newRow("bit-bang: latency") << int(BitBang) << int(Call::SetLatencyTimer) << 1 << false;
        QTest::newRow("bit-bang: mode") << int(BitBang) << int(Call::SetBitMode) << 1 << false;
        QTest::newRow("bit-bang: baud rate") << int(BitBang) << int(Call::SetBaudRate) << 1 << false;
        QTest::newRow("bit-bang: usb parameters") << int(BitBang) << int(Call::SetUSBParameters) << 1 << false;
        QTest::newRow("bit-bang: idle write") << int(BitBang) << int(Call::Write) << 1 << false;
        QTest::newRow("bit-bang: purge") << int(BitBang) << int(Call::Purge) << 1 << false;
        QTest::newRow("clock") << int(Clock) << int(Call::SetBaudRate) << 1 << false;
        QTest::newRow("transfer: mode") << int(Transfer) << int(Call::SetBitMode) << 1 << false;
        QTest::newRow("transfer: second write") << int(Transfer) << int(Call::Write) << 2 << false;
        QTest::newRow("transfer: read") << int(Transfer) << int(Call::Read) << 1 << false;
        QTest::newRow("transfer: purge") << int(Transfer) << int(Call::Purge) << 1 << false;
        QTest::newRow("transfer: short write") << int(Transfer) << int(Call::Write) << 2 << true;
        QTest::newRow("transfer: short read") << int(Transfer) << int(Call::Read) << 1 << true;
        QTest::newRow("reset: mode") << int(Reset) << int(Call::SetBitMode) << 1 << false;
        QTest::newRow("reset: purge") << int(Reset) << int(Call::Purge) << 1 << false;
    }

    void callFails()
    {
        QFETCH(int, op);
        QFETCH(int, call);
        QFETCH(int, nth);
        QFETCH(bool, shortCount);
        Rig rig;
        QVERIFY(rig.open());
        if (!shortCount)
            simbench::failCall(Call(call), nth);
        else if (Call(call) == Call::Write)
            simbench::shortWrite(nth, 100);
        else
            simbench::shortRead(nth, 100);

        DeviceLink &link = rig.link;
        std::vector<uint8_t> buf(300, 0x03); // two USB chunks
        bool failed = false;
        switch (op) {
        case Refresh: failed = link.refreshDeviceList() == -1 && link.deviceCount() == 0; break;
        case Open: failed = !link.openDevice(0); break;
        case ControlLine: failed = !link.setControlLine(3, 0); break;
        case BitBang: failed = !link.beginSyncBitBang(3, 2, 0, 1); break;
        case Clock: failed = !link.setClockKHz(1000); break;
        case Transfer: failed = !link.transfer(buf.data(), buf.data(), uint32_t(buf.size())); break;
        case Reset: failed = !link.resetBitMode(); break;
        }
        QVERIFY(failed);
        // The faulty call was reached, and nothing followed it.
        QCOMPARE(simbench::trace().back().call, Call(call));
    }

    void setupCalls()
    {
        Rig rig;
        QVERIFY(rig.link.refreshDeviceList() == 1 && rig.link.openDevice(0));
        simbench::clearTrace();
        QVERIFY(rig.link.setControlLine(3, 1) && rig.link.setControlLine(3, 0));
        QVERIFY(!rig.link.setControlLine(3, 3)); // refused without a call
        QCOMPARE(rig.link.cbusState(), uint8_t(0x80));
        QVERIFY(rig.link.setControlLine(3, 2));
        QVERIFY(rig.link.beginSyncBitBang(3, 2, 0, 1) && rig.link.setClockKHz(1000) && rig.link.resetBitMode());
        QCOMPARE(traceLines(), QStringList({"FT_SetBitMode(0x88,0x20)=0", "FT_SetBitMode(0x80,0x20)=0",
                                            "FT_SetBitMode(0x00,0x20)=0", "FT_SetLatencyTimer(0)=0",
                                            "FT_SetBitMode(0x0D,0x04)=0", "FT_SetBaudRate(1000000)=0",
                                            "FT_SetUSBParameters(4096,4096)=0", "FT_Write(1)=0", "FT_Purge(3)=0",
                                            "FT_SetBaudRate(125000)=0", "FT_SetBitMode(0x00,0x00)=0", "FT_Purge(3)=0"}));
        QCOMPARE(toBytes(simbench::writtenStreams().at(0)), QByteArray::fromHex("08")); // bus parked idle
    }

    void deviceList()
    {
        DeviceLink link;
        QCOMPARE(link.refreshDeviceList(), 0);
        QVERIFY(link.deviceList().empty());
        simbench::attach();
        QCOMPARE(link.refreshDeviceList(), 1);
        QVERIFY(link.deviceInfo(0) && !link.deviceInfo(1) && link.openDevice(0));
        simbench::clearTrace();
        // Past the end: refused, and the open device is closed.
        QVERIFY(!link.openDevice(1) && !link.isOpen());
        QCOMPARE(traceLines(), QStringList{"FT_Close=0"});
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
