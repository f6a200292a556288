#include "app/demo/demounits.h"
#include "config/configstore.h"
#include "device/sim/simbench.h"
#include "../common/mapbuilder.h"
#include "../common/simunits.h"

#include <QtTest/QtTest>

#include <map>

using simbench::Call;

class TestUnitTransfer : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        simbench::reset();
        store = std::make_unique<ShippedStore>();
        QCOMPARE(store->maps().size(), std::size_t(2));
        std::tie(map1, map1s) = std::make_pair(store->map(0), store->map(1));
    }

    void enumeration()
    {
        simbench::UnitConfig serialCable;
        serialCable.description = "ORBIX-1";  // right name, but not an X-series chip
        serialCable.type = 5;
        simbench::attach(serialCable);
        demo::attachUnit(*map1, "A1");
        simbench::UnitConfig stranger;
        stranger.description = "ORBIX-2";
        simbench::attach(stranger);
        const int oldFirmware = demo::attachUnit(*map1s, "B2");
        simbench::setFlashBytes(oldFirmware, 0x6FFFF, {0x11});
        demo::attachUnit(*map1s, "C3");
        simbench::UnitConfig unknownChip;
        unknownChip.description = "ORBIX-1";
        unknownChip.chip = simbench::ChipKind::Unknown;  // its version byte cannot be read
        simbench::attach(unknownChip);

        simbench::clearTrace();
        QCOMPARE(store->enumerateUnits(), 2u);
        QCOMPARE(store->units()[0].map, map1);
        QCOMPARE(store->units()[0].deviceIndex, 1u);
        QCOMPARE(store->units()[1].map, map1s);
        QCOMPARE(store->units()[1].deviceIndex, 4u);
        QCOMPARE(QByteArray(store->unitDeviceInfo(store->units()[1])->SerialNumber), QByteArray("C3"));
        for (const auto &e : simbench::trace()) {
            if (e.call == Call::Open)
                QVERIFY2(e.args[0] != 0, "a device of another type was opened");
        }
        QCOMPARE(linesHigh(), uint8_t(0));
        QVERIFY(!store->currentUnit());

        // Opened anyway, the unknown chip yields no image.
        QVERIFY(store->openUnit(UnitEntry{map1, 5}));
        QVERIFY(!store->readFromUnit(0));
        QVERIFY(!store->loadedMap());
        QCOMPARE(linesHigh(), uint8_t(0));

        simbench::reset();
        QCOMPARE(store->enumerateUnits(), 0u);
        QVERIFY(store->units().empty());
    }

    void readAndRefusals()
    {
        const int unit = demo::attachUnit(*map1s, "S");
        const QByteArray slot1 = flashAt(unit, 0x71000);
        QVERIFY(openFirst());
        QVERIFY(store->readFromUnit(0));
        QCOMPARE(store->loadedMap(), map1s);
        QCOMPARE(slotBytes(0), demo::customImage(*map1s));
        QCOMPARE(linesHigh(), uint8_t(0));

        // Read default: reading slot 1 clears the image, then copySlot(1, 0).
        QVERIFY(store->readFromUnit(1));
        QVERIFY(!store->slotPointer(0));
        QCOMPARE(slotBytes(1), slot1);
        QVERIFY(store->copySlot(1, 0));
        QCOMPARE(slotBytes(0), slot1);
        QCOMPARE(store->image().segments().size(), std::size_t(2));
        QVERIFY(!store->copySlot(0, 3));

        // Refused without a single device call: another model's map, slot 3, a write after a failed read.
        simbench::clearTrace();
        store->setLoadedMap(map1);
        QVERIFY(!store->writeToUnit(0));
        QVERIFY(!store->readFromUnit(3));
        QVERIFY(!store->loadedMap());
        QVERIFY(!store->writeToUnit(0));
        QVERIFY(!store->copySlot(1, 0));
        QVERIFY(simbench::trace().empty());
        QVERIFY(store->closeUnit());
        store->setLoadedMap(map1s);
        QVERIFY(!store->writeToUnit(0));  // no unit open
        QVERIFY(!store->readFromUnit(0));

        // A bad checksum on the unit: false, yet the bytes and the map stay.
        simbench::setFlashBytes(unit, 0x70000 + 500, {uint8_t(flashAt(unit, 0x70000 + 500, 1)[0] ^ 0x40)});
        QVERIFY(openFirst());
        QVERIFY(!store->readFromUnit(0));
        QCOMPARE(store->loadedMap(), map1s);
        QCOMPARE(slotBytes(0), flashAt(unit, 0x70000));
    }

    void writeAndReadBack()
    {
        simbench::UnitConfig config;
        config.description = "ORBIX-1";
        config.fill = 0xCC;  // neither erased flash nor zeroed memory can pass by accident
        config.status = 0x9C;
        const int unit = simbench::attach(config);
        simbench::setFlashBytes(unit, 0x6FFFE, {0x01, 0x10});
        const QByteArray original = demo::customImage(*map1);
        simbench::setFlashBytes(unit, 0x70000, std::vector<uint8_t>(original.begin(), original.end()));
        const QByteArray before = flashAt(unit, 0x60000, 0x20000);

        QVERIFY(openFirst());
        QVERIFY(store->readFromUnit(0));
        QVERIFY(store->setUInt(1300, "CSS[0].OutputFrequency", 0));  // sealed by the write (the seal: tst_configstore)
        QVERIFY(store->writeToUnit(0));
        const QByteArray written = slotBytes(0);
        QVERIFY(store->readFromUnit(0));
        QCOMPARE(slotBytes(0), written);
        QVERIFY(store->closeUnit());

        const QByteArray after = flashAt(unit, 0x60000, 0x20000);
        QCOMPARE(after.mid(0x10000, 892), written);
        QCOMPARE(after.left(0x10000), before.left(0x10000));              // version bytes and below
        QCOMPARE(after.mid(0x10000 + 892, 0x1000 - 892), QByteArray(0x1000 - 892, '\xFF'));  // rest of the erased sector
        QCOMPARE(after.mid(0x11000), before.mid(0x11000));                // other slots
        QCOMPARE(simbench::statusRegister(unit), uint8_t(0x9C));          // protected again
        QCOMPARE(linesHigh(), uint8_t(0));
    }

    // Control lines up (access, flash B, flash A) and down (A, bit mode reset,
    // B, access) around every flash access; write-type commands read nothing back.
    void flashAccessSequence_data()
    {
        QTest::addColumn<bool>("write");
        QTest::newRow("read") << false;
        QTest::newRow("write") << true;
    }

    void flashAccessSequence()
    {
        QFETCH(bool, write);
        demo::attachUnit(*map1, "S1");
        QVERIFY(openFirst());
        QVERIFY(store->readFromUnit(0));
        simbench::clearTrace();
        QVERIFY(write ? store->writeToUnit(0) : store->readFromUnit(0));
        QVERIFY(store->closeUnit());

        // Line events from the CBUS bit-mode calls; commands decoded from each transfer's first samples.
        QStringList lines;
        uint8_t high = 0;
        std::map<int, std::pair<int, int>> commands;  // opcode: transfers, transfers that read
        const auto &trace = simbench::trace();
        for (std::size_t i = 0; i < trace.size(); ++i) {
            const auto &e = trace[i];
            if (e.call != Call::SetBitMode)
                continue;
            if (e.args[1] == 0x00)
                lines << "reset";
            if (e.args[1] == 0x20) {
                const uint8_t now = raisedBy(e.args[0]);
                for (int line = 0; line < 4; ++line)
                    if (((now ^ high) >> line) & 1)
                        lines << QString("%1%2").arg((now >> line) & 1 ? '+' : '-').arg(line);
                high = now;
            }
            if (e.args[1] == 0x04 && i + 1 < trace.size() && trace[i + 1].call == Call::Write) {
                const auto &samples = trace[i + 1].data;
                int op = 0;
                for (std::size_t k = 1; k < 16 && k < samples.size(); k += 2)
                    op = op << 1 | (samples[k] & (1u << map1->mosiPin) ? 1 : 0);
                bool reads = false;
                for (std::size_t j = i + 1; j < trace.size() && trace[j].call != Call::Purge; ++j)
                    reads = reads || trace[j].call == Call::Read;
                ++commands[op].first;
                commands[op].second += reads ? 1 : 0;
            }
        }
        const QString access = QString("+%1 +%2 +%3 -%3 reset -%2 -%1")
                                   .arg(map1->accessLine).arg(map1->flashLineB).arg(map1->flashLineA);
        QVERIFY(!lines.isEmpty());
        QStringList accesses;
        for (int k = 0; k < lines.size() / 7; ++k)
            accesses << access;
        QCOMPARE(lines.join(' '), accesses.join(' '));
        for (const auto &[op, count] : commands) {
            const bool writeType = op == 0x01 || op == 0x02;
            QCOMPARE(count.second, writeType ? 0 : count.first);
        }
        QCOMPARE(commands.count(0x02) > 0, write);
        QCOMPARE(commands.count(0x01) > 0, write);
        QCOMPARE(commands.count(0x03) > 0, !write);
        QVERIFY(commands.count(0x9F) > 0);
    }

    void faults_data()
    {
        QTest::addColumn<bool>("write");
        QTest::addColumn<int>("kind");
        for (bool write : {false, true})
            for (auto [call, name] : {std::pair{Call::Open, "FT_Open"}, {Call::SetBitMode, "FT_SetBitMode"},
                                      {Call::SetLatencyTimer, "FT_SetLatencyTimer"}, {Call::SetBaudRate, "FT_SetBaudRate"},
                                      {Call::SetUSBParameters, "FT_SetUSBParameters"}, {Call::Write, "FT_Write"},
                                      {Call::Read, "FT_Read"}, {Call::Purge, "FT_Purge"}})
                QTest::addRow("%s %s", write ? "write" : "read", name) << write << int(call);
    }

    // Fails the n-th call of one kind, for every n the operation reaches: it
    // reports false, leaves no line high (unless the failed call was the one
    // lowering it), and the next attempt succeeds, also after a write cut
    // short halfway through the slot.
    void faults()
    {
        QFETCH(bool, write);
        QFETCH(int, kind);
        const int unit = demo::attachUnit(*map1, "S");
        QVERIFY(openFirst() && store->readFromUnit(0));
        store->closeUnit();
        QVERIFY(store->setUInt(7, "CSS[3].Pin", 0));
        auto run = [&] {
            const bool ok = store->openUnit(store->units()[0]) && (write ? store->writeToUnit(0) : store->readFromUnit(0));
            store->closeUnit();
            return ok;
        };
        int injected = 0;
        for (int nth = 1; nth < 400; ++nth) {
            simbench::clearTrace();
            simbench::failCall(Call(kind), nth);
            const bool ok = run();
            const auto &trace = simbench::trace();
            const auto failed = std::find_if(trace.begin(), trace.end(), [](const auto &e) { return e.status != FT_OK; });
            simbench::clearFaults();
            if (failed == trace.end()) {
                QVERIFY(ok);
                break;
            }
            ++injected;
            QVERIFY2(!ok, qPrintable(QString("call %1 failed, yet the operation succeeded").arg(nth)));
            if (failed->call != Call::SetBitMode)
                QCOMPARE(linesHigh(), uint8_t(0));
            QVERIFY(run());
            QCOMPARE(linesHigh(), uint8_t(0));
        }
        QVERIFY(injected > 0);
        if (write)
            QCOMPARE(flashAt(unit, 0x70000), slotBytes(0));
    }

private:
    std::unique_ptr<ShippedStore> store;
    const FieldMap *map1 = nullptr;
    const FieldMap *map1s = nullptr;
    bool openFirst() { return store->enumerateUnits() >= 1 && store->openUnit(store->units()[0]); }
    QByteArray slotBytes(uint32_t slot) { return toBytes(store->slotPointer(slot), int(store->loadedMap()->imageSize)); }
};

QTEST_GUILESS_MAIN(TestUnitTransfer)
#include "tst_unittransfer.moc"
