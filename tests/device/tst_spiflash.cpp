#include "benchutil.h"

#include <QtTest>

using simbench::Call;
using simbench::ChipKind;
using Programs = QVector<QPair<uint32_t, int>>;

namespace {

uint32_t addressOf(const QByteArray &b)
{
    return (uint32_t(uint8_t(b[1])) << 16) | (uint32_t(uint8_t(b[2])) << 8) | uint8_t(b[3]);
}

// A scripted wire: records every transaction and answers like a flash.
struct Wire
{
    QVector<QByteArray> sent;
    QVector<bool> readBack;
    QByteArray id = QByteArray::fromHex("7F9D33");
    int busyPolls = 0;
    int failAt = -1;

    static bool transfer(void *context, const uint8_t *tx, uint8_t *rx, uint32_t n)
    {
        auto &w = *static_cast<Wire *>(context);
        const QByteArray bytes(reinterpret_cast<const char *>(tx), int(n));
        w.sent << bytes;
        w.readBack << (rx != nullptr);
        if (w.sent.size() - 1 == w.failAt)
            return false;
        if (!rx)
            return true;
        std::fill_n(rx, n, 0xEE);
        if (bytes[0] == '\x9F')
            std::copy(w.id.begin(), w.id.end(), rx + 1);
        if (bytes[0] == '\x05')
            rx[1] = w.busyPolls-- > 0 ? 0x03 : 0x00;
        for (uint32_t i = 4; bytes[0] == '\x03' && i < n; ++i)
            rx[i] = uint8_t(addressOf(bytes) + i - 4);
        return true;
    }

    Programs programs() const
    {
        Programs out;
        for (const auto &b : sent) {
            if (b[0] == '\x02')
                out.append({addressOf(b), b.size() - 4});
        }
        return out;
    }
};

} // namespace

class TestSpiFlash : public QObject
{
    Q_OBJECT

private slots:
    void init() { simbench::reset(); }
    void commandBytes_data();
    void commandBytes();
    void identify_data();
    void identify();
    void refusesUnidentified();
    void programPages_data();
    void programPages();
    void eraseRange_data();
    void eraseRange();
    void readChunks_data();
    void readChunks();
    void waitReady();
    void updateStatusSequence();

    void fullCycle_data();
    void fullCycle();
    void writeProtection();
    void faults_data();
    void faults();
    void powerLoss_data();
    void powerLoss();
    void stuckBusyTimesOut();
    void flashOffBus();
};

void TestSpiFlash::commandBytes_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("readBack");
    QTest::addColumn<bool>("setsBusy");
    QTest::newRow("read id") << 0 << QByteArray::fromHex("9F000000") << true << false;
    QTest::newRow("write enable") << 1 << QByteArray::fromHex("06") << true << false;
    QTest::newRow("read status") << 2 << QByteArray::fromHex("0500") << true << false;
    QTest::newRow("write status") << 3 << QByteArray::fromHex("019C") << false << true;
    QTest::newRow("read") << 4 << QByteArray::fromHex("0306FFFE0000") << true << false;
    QTest::newRow("page program") << 5 << QByteArray::fromHex("020700FCA1B2") << false << true;
    QTest::newRow("sector erase") << 6 << QByteArray::fromHex("D7071000") << true << true;
}

void TestSpiFlash::commandBytes()
{
    QFETCH(int, command);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, readBack);
    QFETCH(bool, setsBusy);
    Wire wire;
    SpiFlash flash(&Wire::transfer, &wire);
    std::array<uint8_t, 3> id{};
    uint8_t value = 0;
    std::array<uint8_t, 2> data{0xA1, 0xB2};
    const bool ok = command == 0 ? flash.cmdReadId(id)
                  : command == 1 ? flash.cmdWriteEnable()
                  : command == 2 ? flash.cmdReadStatus(value)
                  : command == 3 ? flash.cmdWriteStatus(0x9C)
                  : command == 4 ? flash.cmdRead(0x6FFFE, 2, data.data())
                  : command == 5 ? flash.cmdPageProgram(data.data(), 2, 0x700FC)
                                 : flash.cmdSectorErase(0x71000);
    QVERIFY(ok);
    QCOMPARE(wire.sent, QVector<QByteArray>{bytes});
    QCOMPARE(wire.readBack, QVector<bool>{readBack});
    QCOMPARE(flash.busy(), setsBusy);
}

void TestSpiFlash::identify_data()
{
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<QString>("name");
    QTest::newRow("WD020") << QByteArray::fromHex("7F9D32") << "ISSI IS25WD020";
    QTest::newRow("WD040") << QByteArray::fromHex("7F9D33") << "ISSI IS25WD040";
    QTest::newRow("WQ020") << QByteArray::fromHex("9D1152") << "ISSI IS25WQ020";
    QTest::newRow("WQ040") << QByteArray::fromHex("9D1253") << "ISSI IS25WQ040";
    QTest::newRow("7F9D34") << QByteArray::fromHex("7F9D34") << "unknown";
    QTest::newRow("row 0's id") << QByteArray::fromHex("000000") << "unknown";
}

void TestSpiFlash::identify()
{
    QFETCH(QByteArray, id);
    QFETCH(QString, name);
    Wire wire;
    SpiFlash flash(&Wire::transfer, &wire);
    QVERIFY(flash.identify()); // a previous chip must not linger
    wire.id = id;
    std::array<uint8_t, 3> seen{};
    QCOMPARE(flash.identify(&seen), name != "unknown");
    QCOMPARE(QString::fromLatin1(flash.chip().name), name);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(seen.data()), 3), id);
}

void TestSpiFlash::refusesUnidentified()
{
    Wire wire;
    SpiFlash flash(&Wire::transfer, &wire);
    std::array<uint8_t, 4> buf{};
    QVERIFY(!flash.read(0, 4, buf.data()));
    QVERIFY(!flash.program(buf.data(), 4, 0));
    QVERIFY(!flash.eraseSector(0));
    QVERIFY(!flash.eraseRange(0, 1));
    QVERIFY(wire.sent.isEmpty());
}

void TestSpiFlash::programPages_data()
{
    QTest::addColumn<uint32_t>("address");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("erasedPage"); // 256-byte run left at 0xFF, or -1
    QTest::addColumn<Programs>("expected");
    QTest::newRow("892 at 0x70000") << 0x70000u << 892 << -1
                                    << Programs{{0x70000, 256}, {0x70100, 256}, {0x70200, 256}, {0x70300, 124}};
    QTest::newRow("10 at 0x700FC") << 0x700FCu << 10 << -1 << Programs{{0x700FC, 4}, {0x70100, 6}};
    QTest::newRow("erased page skipped") << 0x70000u << 892 << 1
                                         << Programs{{0x70000, 256}, {0x70200, 256}, {0x70300, 124}};
    QTest::newRow("nothing") << 0x70000u << 0 << -1 << Programs{};
}

void TestSpiFlash::programPages()
{
    QFETCH(uint32_t, address);
    QFETCH(int, length);
    QFETCH(int, erasedPage);
    QFETCH(Programs, expected);
    Wire wire;
    SpiFlash flash(&Wire::transfer, &wire);
    QVERIFY(flash.identify());
    std::vector<uint8_t> data(size_t(length) + 1, 0x00);
    if (erasedPage >= 0)
        std::fill_n(data.begin() + erasedPage * 256, 256, 0xFF);
    QVERIFY(flash.program(data.data(), uint32_t(length), address));
    QCOMPARE(wire.programs(), expected);
    for (int i = 0; i < wire.sent.size(); ++i) {
        if (wire.sent[i][0] == '\x02')
            QCOMPARE(wire.sent[i - 1], QByteArray::fromHex("06"));
    }
}

void TestSpiFlash::eraseRange_data()
{
    QTest::addColumn<uint32_t>("address");
    QTest::addColumn<uint32_t>("length");
    QTest::addColumn<QVector<uint32_t>>("sectors");
    QTest::newRow("one slot") << 0x70000u << 892u << QVector<uint32_t>{0x70000};
    QTest::newRow("straddling") << 0x70F00u << 0x200u << QVector<uint32_t>{0x70000, 0x71000};
    QTest::newRow("one past a sector") << 0x70000u << 0x1001u << QVector<uint32_t>{0x70000, 0x71000};
    QTest::newRow("empty") << 0x70000u << 0u << QVector<uint32_t>{};
}

void TestSpiFlash::eraseRange()
{
    QFETCH(uint32_t, address);
    QFETCH(uint32_t, length);
    QFETCH(QVector<uint32_t>, sectors);
    Wire wire;
    SpiFlash flash(&Wire::transfer, &wire);
    QVERIFY(flash.identify());
    QVERIFY(flash.eraseRange(address, length));
    QVector<uint32_t> erased;
    for (const auto &b : wire.sent) {
        if (b[0] == '\xD7')
            erased << addressOf(b);
    }
    QCOMPARE(erased, sectors);
}

void TestSpiFlash::readChunks_data()
{
    QTest::addColumn<uint32_t>("address");
    QTest::addColumn<int>("length");
    QTest::addColumn<QVector<int>>("transactions");
    QTest::newRow("version bytes") << 0x6FFFEu << 2 << QVector<int>{6};
    QTest::newRow("past 64 KiB") << 0x20000u << 0x1000A << QVector<int>{4 + 0x10000, 4 + 10};
    QTest::newRow("nothing") << 0u << 0 << QVector<int>{};
}

void TestSpiFlash::readChunks()
{
    QFETCH(uint32_t, address);
    QFETCH(int, length);
    QFETCH(QVector<int>, transactions);
    Wire wire;
    SpiFlash flash(&Wire::transfer, &wire);
    QVERIFY(flash.identify());
    wire.sent.clear();
    std::vector<uint8_t> out(size_t(length) + 1, 0);
    QVERIFY(flash.read(address, uint32_t(length), out.data()));
    QVector<int> sizes;
    for (const auto &b : wire.sent)
        sizes << b.size();
    QCOMPARE(sizes, transactions);
    // The wire answers each address with its low byte.
    for (int i = 0; i < length; ++i)
        QCOMPARE(out[size_t(i)], uint8_t(address + uint32_t(i)));
}

void TestSpiFlash::waitReady()
{
    Wire wire;
    SpiFlash flash(&Wire::transfer, &wire);
    QVERIFY(flash.waitReady());
    QVERIFY(!flash.pollBusy());
    QVERIFY(wire.sent.isEmpty());

    QVERIFY(flash.cmdSectorErase(0));
    wire.busyPolls = 2;
    QVERIFY(flash.waitReady());
    QCOMPARE(wire.sent.size(), 4); // the erase and three status reads
    QVERIFY(!flash.busy());

    QVERIFY(flash.cmdSectorErase(0));
    wire.failAt = wire.sent.size();
    QVERIFY(!flash.waitReady());
    QVERIFY(flash.busy());
}

void TestSpiFlash::updateStatusSequence()
{
    Wire wire;
    SpiFlash flash(&Wire::transfer, &wire);
    wire.busyPolls = 1;
    QVERIFY(flash.updateStatus(0x9C));
    QStringList sent;
    for (const auto &b : wire.sent)
        sent << b.toHex();
    QCOMPARE(sent, QStringList({"06", "019c", "0500", "0500", "0500"}));
}

// ---- against the simulated unit ----

void TestSpiFlash::fullCycle_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("IS25WD020") << int(ChipKind::IS25WD020);
    QTest::newRow("IS25WD040") << int(ChipKind::IS25WD040);
    QTest::newRow("IS25WQ020") << int(ChipKind::IS25WQ020);
    QTest::newRow("IS25WQ040") << int(ChipKind::IS25WQ040);
}

void TestSpiFlash::fullCycle()
{
    QFETCH(int, kind);
    simbench::UnitConfig config;
    config.chip = ChipKind(kind);
    config.fill = 0xCC;
    config.status = 0x9C;
    Rig rig(config);
    const auto before = simbench::flashBytes(rig.unit, 0, 0x80000);
    // The 256 KiB chips see the slot address wrapped into their top block.
    const uint32_t base = before.size() == 0x80000 ? 0x70000 : 0x30000;
    QVERIFY(rig.open());
    SpiFlash &flash = rig.flash;
    QVERIFY(flash.identify());
    QCOMPARE(flash.chip().sizeKiB * 1024, uint32_t(before.size()));

    std::vector<uint8_t> image(892);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = uint8_t(i * 7 + 1);
    std::fill_n(image.begin() + 256, 256, 0xFF); // an already-erased page
    QVERIFY(flash.updateStatus(0x00) && flash.eraseRange(0x70000, 892) && flash.program(image.data(), 892, 0x70000));
    QVERIFY(flash.updateStatus(0x9C));
    QCOMPARE(flash.status() & 0xFC, 0x9C);
    std::vector<uint8_t> back(892);
    QVERIFY(flash.read(0x70000, 892, back.data()));
    QVERIFY(back == image);

    auto after = simbench::flashBytes(rig.unit, 0, 0x80000);
    QVERIFY(std::all_of(after.begin() + base + 892, after.begin() + base + 0x1000, [](uint8_t b) { return b == 0xFF; }));
    std::copy_n(before.begin() + base, 0x1000, after.begin() + base);
    QVERIFY(after == before);
}

void TestSpiFlash::writeProtection()
{
    simbench::UnitConfig config;
    config.fill = 0xCC;
    config.status = 0x9C;
    Rig rig(config);
    QVERIFY(rig.open() && rig.flash.identify());
    const std::vector<uint8_t> data(16, 0x00);
    // Protected: the commands go out, the flash ignores them.
    QVERIFY(rig.flash.eraseRange(0x70000, 16) && rig.flash.program(data.data(), 16, 0x70000));
    QVERIFY(rig.flash.waitReady());
    QCOMPARE(toBytes(simbench::flashBytes(rig.unit, 0x70000, 2)), QByteArray::fromHex("CCCC"));
    // Protecting the top block only leaves the block below it writable.
    QVERIFY(rig.flash.updateStatus(0x04));
    QVERIFY(rig.flash.eraseSector(0x70000) && rig.flash.eraseSector(0x60000) && rig.flash.waitReady());
    QCOMPARE(toBytes(simbench::flashBytes(rig.unit, 0x70000, 1)), QByteArray::fromHex("CC"));
    QCOMPARE(toBytes(simbench::flashBytes(rig.unit, 0x60000, 1)), QByteArray::fromHex("FF"));
}

void TestSpiFlash::faults_data()
{
    QTest::addColumn<int>("call");
    QTest::addColumn<int>("nth");
    QTest::addColumn<int>("operation"); // 0 identify, 1 read, 2 erase, 3 program, 4 update status
    QTest::newRow("identify: write") << int(Call::Write) << 1 << 0;
    QTest::newRow("read: read") << int(Call::Read) << 1 << 1;
    QTest::newRow("read: second chunk") << int(Call::Write) << 2 << 1;
    QTest::newRow("erase: purge") << int(Call::Purge) << 2 << 2;
    QTest::newRow("program: poll before third page") << int(Call::SetBitMode) << 6 << 3;
    QTest::newRow("update status: wait after write") << int(Call::Read) << 2 << 4;
}

void TestSpiFlash::faults()
{
    QFETCH(int, call);
    QFETCH(int, nth);
    QFETCH(int, operation);
    simbench::setTiming({0, 0, 0, 0, 0, 0});
    Rig rig;
    QVERIFY(rig.open() && rig.flash.identify());
    std::vector<uint8_t> buf(892, 0x11);
    simbench::failCall(Call(call), nth);
    const bool ok = operation == 0 ? rig.flash.identify()
                  : operation == 1 ? rig.flash.read(0x70000, 892, buf.data())
                  : operation == 2 ? rig.flash.eraseRange(0x70000, 892)
                  : operation == 3 ? rig.flash.program(buf.data(), 892, 0x70000)
                                   : rig.flash.updateStatus(0x00);
    QVERIFY(!ok);
}

void TestSpiFlash::powerLoss_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<int>("nth");
    QTest::addColumn<int>("bytesDone");
    QTest::addColumn<int>("cleared"); // bytes of the sector left at 0x00
    QTest::addColumn<int>("erased");  // and at 0xFF
    QTest::newRow("erase") << int(simbench::Op::Erase) << 1 << 1000 << 0 << 1000;
    QTest::newRow("second page program") << int(simbench::Op::Program) << 2 << 10 << 256 + 10 << 0;
}

void TestSpiFlash::powerLoss()
{
    QFETCH(int, op);
    QFETCH(int, nth);
    QFETCH(int, bytesDone);
    QFETCH(int, cleared);
    QFETCH(int, erased);
    simbench::UnitConfig config;
    config.fill = 0xCC;
    Rig rig(config);
    QVERIFY(rig.open() && rig.flash.identify());
    simbench::powerLoss(rig.unit, simbench::Op(op), nth, uint32_t(bytesDone));
    const std::vector<uint8_t> zeros(892, 0x00);
    QVERIFY(!(op == int(simbench::Op::Erase) ? rig.flash.eraseRange(0x70000, 892)
                                             : rig.flash.program(zeros.data(), 892, 0x70000)));
    QVERIFY(!rig.flash.waitReady());
    const auto sector = simbench::flashBytes(rig.unit, 0x70000, 0x1000);
    QCOMPARE(int(std::count(sector.begin(), sector.end(), 0x00)), cleared);
    QCOMPARE(int(std::count(sector.begin(), sector.end(), 0xFF)), erased);
    QCOMPARE(rig.link.refreshDeviceList(), 0);
    QVERIFY(simbench::replug(rig.unit));
    QCOMPARE(rig.link.refreshDeviceList(), 1);
}

void TestSpiFlash::stuckBusyTimesOut()
{
    Rig rig;
    QVERIFY(rig.open());
    QCOMPARE(rig.flash.readyTimeoutMs(), SpiFlash::defaultReadyTimeoutMs);
    rig.flash.setReadyTimeoutMs(50);
    QVERIFY(rig.flash.identify() && rig.flash.eraseSector(0x70000));
    simbench::setStuckBusy(rig.unit, true);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!rig.flash.waitReady());
    QVERIFY(clock.elapsed() >= 50 && clock.elapsed() < 2000);
    QVERIFY(rig.flash.busy());
    simbench::setStuckBusy(rig.unit, false);
    QVERIFY(rig.flash.waitReady());
}

void TestSpiFlash::flashOffBus()
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

QTEST_GUILESS_MAIN(TestSpiFlash)
#include "tst_spiflash.moc"
