#include "benchutil.h"

#include <QtTest>

namespace {

// A scripted wire: records every transaction and answers like a flash.
struct Wire
{
    QVector<QByteArray> sent;
    QByteArray id = QByteArray::fromHex("7F9D33");
    int failAt = -1;
    bool stuck = false; // status reads answer busy

    static bool transfer(void *context, const uint8_t *tx, uint8_t *rx, uint32_t n)
    {
        auto &w = *static_cast<Wire *>(context);
        const QByteArray bytes(reinterpret_cast<const char *>(tx), int(n));
        w.sent << bytes;
        if (w.sent.size() - 1 == w.failAt)
            return false;
        if (!rx)
            return true;
        std::fill_n(rx, n, w.stuck ? 0x01 : 0x00);
        if (bytes[0] == '\x9F')
            std::copy(w.id.begin(), w.id.end(), rx + 1);
        // A read answers each address with its low byte.
        if (bytes[0] != '\x03' || n < 4)
            return true;
        const uint32_t address = (uint32_t(uint8_t(bytes[1])) << 16) | (uint32_t(uint8_t(bytes[2])) << 8) | uint8_t(bytes[3]);
        for (uint32_t i = 4; i < n; ++i)
            rx[i] = uint8_t(address + i - 4);
        return true;
    }
};

enum FlashOp { Program, Erase, Read };

} // namespace

class TestSpiFlash : public QObject
{
    Q_OBJECT

private slots:
    void identify_data()
    {
        QTest::addColumn<QByteArray>("id");
        QTest::addColumn<QString>("name");
        QTest::addColumn<uint32_t>("sizeKiB");
        QTest::newRow("WD040") << QByteArray::fromHex("7F9D33") << "ISSI IS25WD040" << 512u;
        QTest::newRow("WQ020") << QByteArray::fromHex("9D1152") << "ISSI IS25WQ020" << 256u;
        QTest::newRow("7F9D34") << QByteArray::fromHex("7F9D34") << "unknown" << 0u;
        QTest::newRow("row 0's id") << QByteArray::fromHex("000000") << "unknown" << 0u;
    }

    void identify()
    {
        QFETCH(QByteArray, id);
        QFETCH(QString, name);
        QFETCH(uint32_t, sizeKiB);
        const bool known = sizeKiB != 0;
        Wire wire;
        SpiFlash flash(&Wire::transfer, &wire);
        QVERIFY(flash.identify()); // a previous chip must not linger
        wire.id = id;
        std::array<uint8_t, 3> seen{};
        QCOMPARE(flash.identify(&seen), known);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(seen.data()), 3), id);
        QCOMPARE(QString::fromLatin1(flash.chip().name), name);
        QCOMPARE(flash.chip().sizeKiB, sizeKiB);

        // Without a known geometry nothing may reach the chip.
        wire.sent.clear();
        std::array<uint8_t, 4> buf{};
        QCOMPARE(flash.read(0, 4, buf.data()), known);
        QCOMPARE(flash.program(buf.data(), 4, 0), known);
        QCOMPARE(flash.eraseSector(0), known);
        QCOMPARE(flash.eraseRange(0, 1), known);
        QCOMPARE(wire.sent.isEmpty(), !known);
    }

    void addressedCommands_data()
    {
        QTest::addColumn<int>("op");
        QTest::addColumn<uint32_t>("address");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("ffPage");      // the data's second 256 bytes are all 0xFF
        QTest::addColumn<QStringList>("sent"); // opcode, address, data bytes
        QTest::newRow("program 892") << int(Program) << 0x70000u << 892 << false
                                     << QStringList{"02 070000 256", "02 070100 256", "02 070200 256", "02 070300 124"};
        QTest::newRow("program, erased page skipped") << int(Program) << 0x70000u << 892 << true
                                                      << QStringList{"02 070000 256", "02 070200 256", "02 070300 124"};
        QTest::newRow("program across a page") << int(Program) << 0x700FCu << 10 << false
                                               << QStringList{"02 0700fc 4", "02 070100 6"};
        QTest::newRow("erase straddling") << int(Erase) << 0x70F00u << 0x200 << false
                                          << QStringList{"d7 070000 0", "d7 071000 0"};
        QTest::newRow("erase one sector") << int(Erase) << 0x70000u << 0x1000 << false << QStringList{"d7 070000 0"};
        QTest::newRow("read version bytes") << int(Read) << 0x6FFFEu << 2 << false << QStringList{"03 06fffe 2"};
        QTest::newRow("read past 64 KiB") << int(Read) << 0x20000u << 0x1000A << false
                                          << QStringList{"03 020000 65536", "03 030000 10"};
    }

    void addressedCommands()
    {
        QFETCH(int, op);
        QFETCH(uint32_t, address);
        QFETCH(int, length);
        QFETCH(bool, ffPage);
        QFETCH(QStringList, sent);
        std::vector<uint8_t> data(size_t(length) + 1, 0x00);
        if (ffPage)
            std::fill_n(data.begin() + 256, 256, 0xFF);
        auto run = [&](Wire &wire, int failAt) {
            SpiFlash flash(&Wire::transfer, &wire);
            if (!flash.identify())
                return false;
            wire.sent.clear();
            wire.failAt = failAt;
            return op == Program ? flash.program(data.data(), uint32_t(length), address)
                 : op == Erase   ? flash.eraseRange(address, uint32_t(length))
                                 : flash.read(address, uint32_t(length), data.data());
        };

        Wire wire;
        QVERIFY(run(wire, -1));
        QStringList addressed;
        for (int i = 0; i < wire.sent.size(); ++i) {
            const QByteArray &b = wire.sent[i];
            if (b[0] == '\x02' || b[0] == '\xD7')
                QCOMPARE(wire.sent.value(i - 1), QByteArray::fromHex("06"));
            if (b[0] == '\x06' && i > 0) // the chip is polled until the last command is done
                QCOMPARE(wire.sent.value(i - 1).left(1), QByteArray::fromHex("05"));
            if (b[0] == '\x02' || b[0] == '\xD7' || b[0] == '\x03')
                addressed << b.left(1).toHex() + ' ' + b.mid(1, 3).toHex() + ' ' + QByteArray::number(b.size() - 4);
        }
        QCOMPARE(addressed, sent);
        for (int i = 0; op == Read && i < length; ++i)
            QCOMPARE(data[size_t(i)], uint8_t(address + uint32_t(i)));

        // Whichever transaction fails, the operation reports it.
        for (int i = 0; i < wire.sent.size(); ++i) {
            Wire failing;
            QVERIFY2(!run(failing, i), qPrintable(QString("transaction %1").arg(i)));
        }
    }

    void waitReady()
    {
        Wire wire;
        SpiFlash flash(&Wire::transfer, &wire);
        QVERIFY(flash.waitReady());
        QVERIFY(wire.sent.isEmpty()); // not busy: no status read
        // A failed status read leaves the chip counted as busy.
        QVERIFY(flash.cmdSectorErase(0));
        wire.failAt = 1;
        QVERIFY(!flash.waitReady() && flash.busy());
        // A chip that stays busy is given up on after the set time.
        wire.failAt = -1;
        wire.stuck = true;
        flash.setReadyTimeoutMs(20);
        QVERIFY(!flash.waitReady() && flash.busy());
    }

};

QTEST_GUILESS_MAIN(TestSpiFlash)
#include "tst_spiflash.moc"
