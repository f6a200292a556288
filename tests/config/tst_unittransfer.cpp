#include "app/demo/demounits.h"
#include "config/configstore.h"
#include "device/sim/simbench.h"
#include "../common/mapbuilder.h"
#include "../common/simunits.h"

#include <QtTest/QtTest>

#include <set>

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

        QVERIFY(store->enumerateUnits() && store->openUnit(store->units()[0]));  // enumerating again closes it
        simbench::clearTrace();
        QCOMPARE(store->enumerateUnits(), 2u);
        QCOMPARE(store->units()[0].map, map1);
        QCOMPARE(store->units()[0].deviceIndex, 0u);
        QCOMPARE(store->units()[1].map, map1s);
        QCOMPARE(store->units()[1].deviceIndex, 3u);
        QCOMPARE(linesHigh(), uint8_t(0));
        QVERIFY(!store->currentUnit());

        // Opened anyway, the unknown chip yields no image.
        QVERIFY(store->openUnit(UnitEntry{map1, 4}));
        QVERIFY(!store->readFromUnit(0));
        QVERIFY(!store->loadedMap());
        QCOMPARE(linesHigh(), uint8_t(0));
    }

    void readAndRefusals()
    {
        const int unit = demo::attachUnit(*map1s, "S");
        const QByteArray slot1 = flashAt(unit, 0x71000);
        QVERIFY(openFirst() && store->readFromUnit(0));

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
        QVERIFY(store->closeUnit() && !store->currentUnit());
        store->setLoadedMap(map1s);
        QVERIFY(!store->writeToUnit(0));  // no unit open
        QVERIFY(!store->readFromUnit(0));
    }

    // Control lines up (access, flash B, flash A) and down (A, bit mode reset,
    // B, access) around every flash access; write-type commands read nothing back.
    void flashAccessSequence()
    {
        for (const bool write : {false, true}) {
            init();
            demo::attachUnit(*map1, "S1");
            QVERIFY(openFirst() && store->readFromUnit(0));
            simbench::clearTrace();
            QVERIFY(write ? store->writeToUnit(0) : store->readFromUnit(0));
            QVERIFY(store->closeUnit());

            // Line events from the CBUS bit-mode calls; commands decoded from each transfer's first samples.
            QString lines;
            uint8_t high = 0;
            std::set<QString> commands;  // opcodes in hex, "r" for a transfer that reads
            const auto &trace = simbench::trace();
            for (std::size_t i = 0; i < trace.size(); ++i) {
                const auto &e = trace[i];
                const uint8_t now = e.call == Call::SetBitMode && e.args[1] == 0x20 ? raisedBy(e.args[0]) : high;
                for (int line = 0; line < 4; ++line)
                    if (((now ^ high) >> line) & 1)
                        lines += QString("%1%2 ").arg((now >> line) & 1 ? '+' : '-').arg(line);
                high = now;
                if (e.call == Call::SetBitMode && e.args[1] == 0x00)
                    lines += "reset ";
                if (e.call != Call::SetBitMode || e.args[1] != 0x04 || i + 1 == trace.size() || trace[i + 1].call != Call::Write)
                    continue;
                int op = 0;
                for (std::size_t k = 1; k < 16 && k < trace[i + 1].data.size(); k += 2)
                    op = op << 1 | (trace[i + 1].data[k] & (1u << map1->mosiPin) ? 1 : 0);
                bool reads = false;
                for (std::size_t j = i + 1; j < trace.size() && trace[j].call != Call::Purge; ++j)
                    reads = reads || trace[j].call == Call::Read;
                commands.insert(QString::number(op, 16) + (reads ? "r" : ""));
            }
            const QString access = QString("+%1 +%2 +%3 -%3 reset -%2 -%1 ")
                                       .arg(map1->accessLine).arg(map1->flashLineB).arg(map1->flashLineA);
            QVERIFY(!lines.isEmpty());
            QCOMPARE(lines, access.repeated(lines.count(' ') / 7));
            QCOMPARE(QStringList(commands.begin(), commands.end()).join(' '), write ? "1 2 5r 6r 9fr d7r" : "3r 9fr");
        }
    }

    void faults_data()
    {
        QTest::addColumn<bool>("write");
        QTest::addColumn<int>("kind");
        for (bool write : {false, true})
            for (int kind = int(Call::Open); kind < simbench::callKinds; ++kind)
                if (Call(kind) != Call::Close)
                    QTest::addRow("%s %s", write ? "write" : "read", simbench::describe({Call(kind), {}, 0, {}}).c_str())
                        << write << kind;
    }

    // Fails the n-th call of one kind, for every n the operation reaches: it
    // reports false, leaves no line high (unless the failed call was the one
    // lowering it), and the next attempt succeeds, also after a write cut
    // short halfway through the slot; that write erased and programmed the
    // slot's sector alone, and protected the flash again.
    void faults()
    {
        QFETCH(bool, write);
        QFETCH(int, kind);
        simbench::UnitConfig config = demo::unitConfig(*map1, "S");
        config.fill = 0xCC;  // neither erased flash nor zeroed memory can pass by accident
        const int unit = simbench::attach(config);
        simbench::setFlashBytes(unit, 0x6FFFE, {0x01, 0x10});
        const QByteArray original = demo::customImage(*map1);
        simbench::setFlashBytes(unit, 0x70000, std::vector<uint8_t>(original.begin(), original.end()));
        const QByteArray before = flashAt(unit, 0x60000, 0x20000);
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
        if (!write)
            return;
        const QByteArray after = flashAt(unit, 0x60000, 0x20000);
        QCOMPARE(after.mid(0x10000, 892), slotBytes(0));
        QCOMPARE(after.left(0x10000), before.left(0x10000));                                  // version bytes and below
        QCOMPARE(after.mid(0x10000 + 892, 0x1000 - 892), QByteArray(0x1000 - 892, '\xFF'));  // rest of the erased sector
        QCOMPARE(after.mid(0x11000), before.mid(0x11000));                                    // other slots
        QCOMPARE(simbench::statusRegister(unit), uint8_t(0x9C));                              // protected again
        QVERIFY(store->openUnit(store->units()[0]) && store->readFromUnit(0));                // sealed by the write
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
