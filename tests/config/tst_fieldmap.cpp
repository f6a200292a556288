#include "config/configstore.h"
#include "../common/logcapture.h"

#include <QtCore/QFile>
#include <QtTest/QtTest>

namespace {

QByteArray resource(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

uint32_t le32(const QByteArray &b, int at)
{
    return uint8_t(b[at]) | uint8_t(b[at + 1]) << 8 | uint8_t(b[at + 2]) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}

QByteArray record(const QByteArray &name, uint32_t address, uint32_t size, uint32_t type)
{
    QByteArray r = name.left(32);
    r.append(32 - r.size(), '\0');
    for (uint32_t v : {address, size, type})
        for (int i = 0; i < 4; ++i)
            r.append(char((v >> (8 * i)) & 0xFF));
    return r;
}

// A header with imageSize 892 and the shipped pin values.
QByteArray header(const QByteArray &model = "TEST")
{
    QByteArray h = model;
    h.append(32 - h.size(), '\0');
    h.append(QByteArray::fromHex("10100302000100030201" "00000700" "00100000" "7c030000" "02" "0100"));
    return h;
}

} // namespace

class TestFieldMap : public QObject
{
    Q_OBJECT
private slots:
    void shippedMapsAreExact();
    void shippedRecords_data();
    void shippedRecords();
    void recordsAreContiguous();
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
    QCOMPARE(b.size(), 21485);
    QCOMPARE(a.left(32), QByteArray("ORBIX-1").append(25, '\0'));
    QCOMPARE(b.left(32), QByteArray("ORBIX-1S").append(24, '\0'));
    QCOMPARE(a.mid(32), b.mid(32));
    QCOMPARE(a.mid(32, 10).toHex(), QByteArray("10100302000100030201"));
    QCOMPARE(le32(a, 42), 0x70000u);
    QCOMPARE(le32(a, 46), 0x1000u);
    QCOMPARE(le32(a, 50), 892u);
    QCOMPARE(uint8_t(a[54]), uint8_t(2));
    QCOMPARE(a.mid(55, 2).toHex(), QByteArray("0100"));
    // The checksum record: blank-filled name, no NUL anywhere in it.
    const QByteArray last = a.right(44);
    QCOMPARE(last.left(32), QByteArray("Checksum").append(24, ' '));
    QCOMPARE(le32(last, 32), 891u);

    auto map = FieldMap::parse(a);
    QCOMPARE(map->records.size(), std::size_t(488));
    QCOMPARE(map->modelNameText(), QByteArray("ORBIX-1"));
    QCOMPARE(map->imageSize, 892u);
    QCOMPARE(map->version, uint16_t(1));
    QCOMPARE(map->flashLineB, uint8_t(1));
    QVERIFY(map->records.back().name[0] == '\0' && map->records.back().size == 0);
}

void TestFieldMap::shippedRecords_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<uint>("address");
    QTest::addColumn<uint>("size");
    QTest::addColumn<int>("type");
    auto row = [](const char *n, uint a, uint s, FieldType t) {
        QTest::newRow(n) << QString::fromLatin1(n) << a << s << int(t);
    };
    row("Magic", 0, 2, FieldType::UINT);
    row("ReadOnly", 4, 1, FieldType::BOOL);
    row("Password", 5, 8, FieldType::BYTES);
    row("OutputLevelOffset", 41, 1, FieldType::INT);
    row("Enable", 44, 1, FieldType::BOOL);
    row("BTS_Output_Mask", 61, 1, FieldType::UINT);
    row("Input[0].Mode", 62, 1, FieldType::UINT);
    row("Input[0].Invert", 64, 1, FieldType::BOOL);
    row("Input[6].Frequency", 143, 4, FieldType::UINT);
    row("Input[6].DISEqC_Bank", 152, 1, FieldType::UINT);
    row("Output[0].Mode", 153, 1, FieldType::UINT);
    row("Output[2].GPIO_State_18V.Mask", 185, 1, FieldType::UINT);
    row("CSS[0].Mode", 186, 1, FieldType::UINT);
    row("CSS[0].Bandwidth", 198, 4, FieldType::UINT);
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

void TestFieldMap::recordsAreContiguous()
{
    auto map = FieldMap::parse(resource(":/orbix-1.map"));
    uint32_t next = 0;
    for (std::size_t i = 0; i + 1 < map->records.size(); ++i) {
        QCOMPARE(map->records[i].address, next);
        next += map->records[i].size;
    }
    QCOMPARE(next, 892u);
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
    QTest::newRow("empty") << QByteArray("") << int(FieldType::UINT) << -1;
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
    auto headerOnly = FieldMap::parse(header());
    QCOMPARE(headerOnly->records.size(), std::size_t(1));
    QCOMPARE(headerOnly->imageSize, 892u);
    QVERIFY(!headerOnly->find("Magic", FieldType::UINT));

    // Cut inside the header: what was not read stays zero.
    auto cut = FieldMap::parse(header().left(44));
    QCOMPARE(cut->flashLineB, uint8_t(1));
    QCOMPARE(cut->imageBase, 0x0000u);  // two of its four bytes were there, both zero
    QCOMPARE(cut->imageSize, 0u);
    QCOMPARE(cut->version, uint16_t(0));

    // Two whole records and part of a third: the part is ignored.
    const QByteArray bytes = header() + record("A", 0, 1, 2) + record("B", 1, 1, 2) + record("C", 2, 1, 2).left(30);
    auto partial = FieldMap::parse(bytes);
    QCOMPARE(partial->records.size(), std::size_t(3));
    QVERIFY(partial->find("B", FieldType::UINT));
    QVERIFY(!partial->find("C", FieldType::UINT));

    // A NUL-named record ends the walk even with records after it.
    auto stopped = FieldMap::parse(header() + record("", 0, 1, 2) + record("A", 0, 1, 2));
    QVERIFY(!stopped->find("A", FieldType::UINT));
}

void TestFieldMap::fullWidthNames()
{
    const QByteArray full = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";  // 32 bytes, no NUL
    auto map = FieldMap::parse(header() + record("Dup", 0, 1, 1) + record(full, 1, 1, 2) + record("Dup", 2, 1, 2));
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
    auto map = FieldMap::parse(header() + record("Edge", 890, 2, 2) + record("Past", 891, 2, 2)
                               + record("Huge", 0xFFFFFFFF, 2, 2));
    QVERIFY(map->find("Edge", FieldType::UINT));
    QVERIFY(!map->find("Past", FieldType::UINT));
    QVERIFY(!map->find("Huge", FieldType::UINT));

    // And a typed access through it touches nothing, logging NOT FOUND.
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
