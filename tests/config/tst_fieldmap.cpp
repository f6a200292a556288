#include "../common/logcapture.h"
#include "../common/mapbuilder.h"

#include <QtTest/QtTest>

static const QByteArray kFull = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";  // 32 bytes, no NUL

// Full-width names, a same-named record of another type first, records
// reaching past the image, and a NUL-named record with one after it.
static const QByteArray kSynthetic = mapHeader() + mapRecord("Dup", 0, 1, FieldType::BOOL) + mapRecord(kFull, 1, 1, FieldType::UINT)
                                     + mapRecord("Dup", 2, 1, FieldType::UINT) + mapRecord("Edge", 890, 2, FieldType::UINT)
                                     + mapRecord("Past", 891, 2, FieldType::UINT) + mapRecord("Huge", 0xFFFFFFFF, 2, FieldType::UINT)
                                     + mapRecord("", 3, 1, FieldType::UINT) + mapRecord("After", 4, 1, FieldType::UINT);

class TestFieldMap : public QObject
{
    Q_OBJECT
private slots:
    void shippedMaps()
    {
        const QByteArray a = readAll(":/orbix-1.map");
        QCOMPARE(a.left(57), mapHeader(892, 0x70000, "ORBIX-1"));
        QCOMPARE(readAll(":/orbix-1s.map"), pad32("ORBIX-1S") + a.mid(32));

        ShippedStore store;
        QVERIFY(!store.loadMap(":/no-such.map"));
        QCOMPARE(store.map(0)->modelNameText() + store.map(1)->modelNameText(), QByteArray("ORBIX-1ORBIX-1S"));
        const FieldMap &map = *store.map(0);
        QVERIFY(map.records.back().name[0] == '\0' && map.records.back().size == 0);
        uint32_t next = 0;  // every field starts where the previous one ends
        for (std::size_t i = 0; i + 1 < map.records.size(); ++i) {
            QCOMPARE(map.records[i].address, next);
            next += map.records[i].size;
        }
        QCOMPARE(next, 892u);
    }

    void lookup_data()
    {
        QTest::addColumn<bool>("shipped");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("address");  // -1: not found
        auto row = [](bool shipped, const QByteArray &key, FieldType t, int address = -1) {
            QTest::newRow((key + " as " + QByteArray::number(int(t))).constData()) << shipped << key << int(t) << address;
        };
        // Shipped records at group boundaries.
        row(true, "Password", FieldType::BYTES, 5);
        row(true, "OutputLevelOffset", FieldType::INT, 41);
        row(true, "Enable", FieldType::BOOL, 44);
        row(true, "CSS[31].Invert", FieldType::BOOL, 791);
        const std::pair<const char *, int> uints[] = {
            {"CSS_Channels", 42}, {"Input[0].Mode", 62}, {"Input[6].DISEqC_Bank", 152}, {"Output[0].Mode", 153},
            {"Output[2].GPIO_State_18V.Mask", 185}, {"CSS[0].Mode", 186}, {"CSS[31].Pin", 793}, {"BTS[0].Mode", 794},
            {"BTS[7].OutputLevel", 889}, {"DISEqC_CONFIG_NB", 890}};
        for (const auto &[key, address] : uints)
            row(true, key, FieldType::UINT, address);
        // Not found: wrong type, blank-filled name, prefix, longer, case.
        for (const char *key : {"Enable", "Checksum", "Magi", "MagicX", "magic"})
            row(true, key, FieldType::UINT);
        row(false, kFull, FieldType::UINT, 1);
        row(false, kFull + "tail beyond 32", FieldType::UINT, 1);
        row(false, kFull.left(31), FieldType::UINT);
        row(false, "Dup", FieldType::UINT, 2);
        row(false, "Edge", FieldType::UINT, 890);
        for (const char *key : {"Past", "Huge", "After"})
            row(false, key, FieldType::UINT);
    }

    void lookup()
    {
        QFETCH(bool, shipped);
        QFETCH(QByteArray, key);
        QFETCH(int, type);
        QFETCH(int, address);
        ShippedStore store;
        const auto synthetic = FieldMap::parse(kSynthetic);
        const FieldMap *map = shipped ? store.map(0) : synthetic.get();
        const FieldRecord *r = map->find(key.constData(), FieldType(type));
        QCOMPARE(r ? qint64(r->address) : -1, qint64(address));
        if (r || type != int(FieldType::UINT))
            return;
        // A typed access that finds nothing touches nothing and says so.
        QByteArray image(892, '\x5A');
        uint32_t v = 7;
        LogCapture log;
        QVERIFY(!store.getUInt(v, key, 0, &image, map) && !store.setUInt(1, key, 0, &image, map));
        QVERIFY(v == 7 && image == QByteArray(892, '\x5A'));
        QCOMPARE(log.take(), QStringList({"READ CONFIGURATION FIELD UINT \"" + key + "\" NOT FOUND!",
                                          "WRITE CONFIGURATION FIELD UINT \"" + key + "\" NOT FOUND!"}));
    }

    void shortMaps()
    {
        auto headerOnly = FieldMap::parse(mapHeader());  // exactly 57 bytes
        QCOMPARE(headerOnly->records.size(), std::size_t(1));
        QCOMPARE(headerOnly->imageSize, 892u);
        QVERIFY(!headerOnly->find("Magic", FieldType::UINT));

        // Cut inside the header: what was not read stays zero.
        auto cut = FieldMap::parse(mapHeader().left(48));
        QCOMPARE(cut->flashLineB, uint8_t(1));
        QCOMPARE(cut->imageBase, 0x70000u);
        QCOMPARE(cut->slotStride, 0x1000u);  // two of its four bytes arrived
        QCOMPARE(cut->imageSize, 0u);

        // Two whole records and part of a third: the part is ignored.
        auto partial = FieldMap::parse(mapHeader() + mapRecord("A", 0, 1, FieldType::UINT)
                                       + mapRecord("B", 1, 1, FieldType::UINT) + mapRecord("C", 2, 1, FieldType::UINT).left(30));
        QCOMPARE(partial->records.size(), std::size_t(3));
        QVERIFY(partial->find("B", FieldType::UINT));
        QVERIFY(!partial->find("C", FieldType::UINT));
    }
};

QTEST_GUILESS_MAIN(TestFieldMap)
#include "tst_fieldmap.moc"
