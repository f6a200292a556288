#include "config/configstore.h"
#include "../common/logcapture.h"
#include "../common/mapbuilder.h"

#include <QtCore/QFile>
#include <QtTest/QtTest>

namespace {

QByteArray resource(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestFieldMap : public QObject
{
    Q_OBJECT
private slots:
    void shippedMapsAreExact();
    void shippedRecords_data();
    void shippedRecords();
    void registryOrder();
    void lookup_data();
    void lookup();
    void shortMaps();
    void fullWidthNames();
    void recordOutsideImageIsNotFound();
};

void TestFieldMap::shippedMapsAreExact()
{
    const QByteArray a = resource(":/orbix-1.map");
    const QByteArray b = resource(":/orbix-1s.map");
    QCOMPARE(a.size(), 21485);
    QCOMPARE(a.left(57), mapHeader(892, 0x70000, "ORBIX-1"));
    QCOMPARE(b.left(32), QByteArray("ORBIX-1S").append(24, '\0'));
    QCOMPARE(a.mid(32), b.mid(32));
    // The checksum record: blank-filled name, no NUL anywhere in it.
    QCOMPARE(a.right(44), QByteArray("Checksum").append(24, ' ') + le32(891) + le32(1) + le32(2));

    auto map = FieldMap::parse(a);
    QCOMPARE(map->records.size(), std::size_t(488));
    QCOMPARE(map->modelNameText(), QByteArray("ORBIX-1"));
    QCOMPARE(map->imageBase, 0x70000u);
    QCOMPARE(map->flashLineB, uint8_t(1));
    QVERIFY(map->records.back().name[0] == '\0' && map->records.back().size == 0);
    // Every field starts where the previous one ends.
    uint32_t next = 0;
    for (std::size_t i = 0; i + 1 < map->records.size(); ++i) {
        QCOMPARE(map->records[i].address, next);
        next += map->records[i].size;
    }
    QCOMPARE(next, 892u);
}

void TestFieldMap::shippedRecords_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<uint>("address");
    QTest::addColumn<uint>("size");
    QTest::addColumn<int>("type");
    auto row = [](const char *n, uint a, uint s, FieldType t) { QTest::newRow(n) << QString(n) << a << s << int(t); };
    row("Password", 5, 8, FieldType::BYTES);
    row("OutputLevelOffset", 41, 1, FieldType::INT);
    row("Enable", 44, 1, FieldType::BOOL);
    row("Input[0].Mode", 62, 1, FieldType::UINT);
    row("Input[6].DISEqC_Bank", 152, 1, FieldType::UINT);
    row("Output[0].Mode", 153, 1, FieldType::UINT);
    row("Output[2].GPIO_State_18V.Mask", 185, 1, FieldType::UINT);
    row("CSS[0].Mode", 186, 1, FieldType::UINT);
    row("CSS[31].Invert", 791, 1, FieldType::BOOL);
    row("CSS[31].Pin", 793, 1, FieldType::UINT);
    row("BTS[0].Mode", 794, 1, FieldType::UINT);
    row("BTS[7].OutputLevel", 889, 1, FieldType::UINT);
    row("DISEqC_CONFIG_NB", 890, 1, FieldType::UINT);
}

void TestFieldMap::shippedRecords()
{
    QFETCH(QString, name);
    QFETCH(uint, address);
    QFETCH(uint, size);
    QFETCH(int, type);
    auto map = FieldMap::parse(resource(":/orbix-1s.map"));
    const FieldRecord *r = map->find(name.toLatin1().constData(), FieldType(type));
    QVERIFY(r);
    QCOMPARE(r->address, address);
    QCOMPARE(r->size, size);
}

void TestFieldMap::registryOrder()
{
    ConfigStore store;
    store.loadEmbeddedMaps();
    QCOMPARE(store.maps().size(), std::size_t(2));
    QCOMPARE(store.maps()[0]->modelNameText(), QByteArray("ORBIX-1"));
    QCOMPARE(store.maps()[1]->modelNameText(), QByteArray("ORBIX-1S"));
    QVERIFY(!store.loadMap(":/no-such.map"));
    QCOMPARE(store.maps().size(), std::size_t(2));
}

void TestFieldMap::lookup_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("address");  // -1: not found
    QTest::newRow("exact") << QByteArray("CSS_Channels") << int(FieldType::UINT) << 42;
    QTest::newRow("wrong type") << QByteArray("Enable") << int(FieldType::UINT) << -1;
    QTest::newRow("blank-filled") << QByteArray("Checksum") << int(FieldType::UINT) << -1;
    QTest::newRow("prefix") << QByteArray("Magi") << int(FieldType::UINT) << -1;
    QTest::newRow("longer") << QByteArray("MagicX") << int(FieldType::UINT) << -1;
    QTest::newRow("case") << QByteArray("magic") << int(FieldType::UINT) << -1;
}

void TestFieldMap::lookup()
{
    QFETCH(QByteArray, key);
    QFETCH(int, type);
    QFETCH(int, address);
    auto map = FieldMap::parse(resource(":/orbix-1.map"));
    const FieldRecord *r = map->find(key.constData(), FieldType(type));
    QCOMPARE(r ? int(r->address) : -1, address);
}

void TestFieldMap::shortMaps()
{
    auto headerOnly = FieldMap::parse(mapHeader());
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
    const QByteArray bytes = mapHeader() + mapRecord("A", 0, 1, FieldType::UINT) + mapRecord("B", 1, 1, FieldType::UINT)
                             + mapRecord("C", 2, 1, FieldType::UINT).left(30);
    auto partial = FieldMap::parse(bytes);
    QCOMPARE(partial->records.size(), std::size_t(3));
    QVERIFY(partial->find("B", FieldType::UINT));
    QVERIFY(!partial->find("C", FieldType::UINT));

    // A NUL-named record ends the walk even with records after it.
    auto stopped = FieldMap::parse(mapHeader() + mapRecord("", 0, 1, FieldType::UINT) + mapRecord("A", 0, 1, FieldType::UINT));
    QVERIFY(!stopped->find("A", FieldType::UINT));
}

void TestFieldMap::fullWidthNames()
{
    const QByteArray full = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";  // 32 bytes, no NUL
    auto map = FieldMap::parse(mapHeader() + mapRecord("Dup", 0, 1, FieldType::BOOL)
                               + mapRecord(full, 1, 1, FieldType::UINT) + mapRecord("Dup", 2, 1, FieldType::UINT));
    const FieldRecord *r = map->find(full.constData(), FieldType::UINT);
    QVERIFY(r && r->address == 1);
    QVERIFY(map->find((full + "tail beyond 32").constData(), FieldType::UINT));
    QVERIFY(!map->find(full.left(31).constData(), FieldType::UINT));
    // Same name, other type first: passed over, the walk goes on.
    r = map->find("Dup", FieldType::UINT);
    QVERIFY(r && r->address == 2);
}

void TestFieldMap::recordOutsideImageIsNotFound()
{
    auto map = FieldMap::parse(mapHeader() + mapRecord("Edge", 890, 2, FieldType::UINT)
                               + mapRecord("Past", 891, 2, FieldType::UINT) + mapRecord("Huge", 0xFFFFFFFF, 2, FieldType::UINT));
    QVERIFY(map->find("Edge", FieldType::UINT));
    QVERIFY(!map->find("Past", FieldType::UINT));
    QVERIFY(!map->find("Huge", FieldType::UINT));

    // A typed access through such a record touches nothing and logs NOT FOUND.
    ConfigStore store;
    QByteArray image(892, '\x5A');
    LogCapture log;
    uint32_t v = 7;
    QVERIFY(!store.getUInt(v, "Past", 0, &image, map.get()));
    QVERIFY(!store.setUInt(1, "Huge", 0, &image, map.get()));
    QCOMPARE(v, 7u);
    QCOMPARE(image, QByteArray(892, '\x5A'));
    QCOMPARE(log.take(), QStringList({"READ CONFIGURATION FIELD UINT \"Past\" NOT FOUND!",
                                      "WRITE CONFIGURATION FIELD UINT \"Huge\" NOT FOUND!"}));
}

QTEST_GUILESS_MAIN(TestFieldMap)
#include "tst_fieldmap.moc"
