#include "config/configstore.h"
#include "../common/mapbuilder.h"
#include "../common/logcapture.h"

#include <QtTest/QtTest>

namespace {

using Span = QPair<uint, uint>;  // start, length

// A small map: image of `size` bytes at 0x1000.
std::unique_ptr<FieldMap> smallMap(uint32_t size, const QByteArray &records)
{
    return FieldMap::parse(mapHeader(size, 0x1000) + records);
}

} // namespace

class TestConfigStore : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void typedAccess_data();
    void typedAccess();
    void notFoundLeavesEverything();
    void wideAndShortFields();
    void memoryImage_data();
    void memoryImage();
    void slots_();
    void seal();
    void imageRules_data();
    void imageRules();

private:
    ConfigStore store;
    const FieldMap *map = nullptr;
};

void TestConfigStore::initTestCase()
{
    store.loadEmbeddedMaps();
    QVERIFY(store.maps().size() == 2);
    map = store.maps()[0].get();
}

void TestConfigStore::typedAccess_data()
{
    // op, field, value written or expected, field bytes after (hex), log line
    QTest::addColumn<QByteArray>("op");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<uint>("value");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("line");
    auto row = [](const char *tag, const char *op, const char *name, uint value, const char *hex, const char *line) {
        QTest::newRow(tag) << QByteArray(op) << QByteArray(name) << value << QByteArray(hex) << QString(line);
    };
    row("INT not sign-extended", "getInt", "OutputLevelOffset", 246, "f6",
        "READ CONFIGURATION FIELD INT(1) \"OutputLevelOffset\" @ 00000029 = 246");
    row("UINT 2 bytes big-endian", "setUInt", "Magic", 258, "0102",
        "WRITE CONFIGURATION FIELD UINT(2) \"Magic\" @ 00000000 = 258");
    row("UINT cut to 1 byte", "setUInt", "CSS_Channels", 300, "2c",
        "WRITE CONFIGURATION FIELD UINT(1) \"CSS_Channels\" @ 0000002A = 300");
    row("UINT logged signed", "getUInt", "CSS[1].InputFrequency", 0xFFFFFFFE, "fffffffe",
        "READ CONFIGURATION FIELD UINT(4) \"CSS[1].InputFrequency\" @ 000000CF = -2");
    row("INT negative write", "setInt", "OutputLevelOffset", uint(-10), "f6",
        "WRITE CONFIGURATION FIELD INT(1) \"OutputLevelOffset\" @ 00000029 = -10");
    row("BOOL keeps low 8 bits", "setBool", "Enable", 0x101, "01",
        "WRITE CONFIGURATION FIELD BOOL(1) \"Enable\" @ 0000002C = 1");
    row("BOOL low byte zero", "setBool", "ReadOnly", 0x200, "00",
        "WRITE CONFIGURATION FIELD BOOL(1) \"ReadOnly\" @ 00000004 = 0");
    row("BOOL any bit", "getBool", "CSS[0].Invert", 1, "80",
        "READ CONFIGURATION FIELD BOOL(1) \"CSS[0].Invert\" @ 000000CA = 1");
}

void TestConfigStore::typedAccess()
{
    QFETCH(QByteArray, op);
    QFETCH(QByteArray, name);
    QFETCH(uint, value);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, line);
    const FieldType type = op.endsWith("Bool") ? FieldType::BOOL : op.endsWith("UInt") ? FieldType::UINT : FieldType::INT;
    const FieldRecord *r = map->find(name.constData(), type);
    QVERIFY(r);
    const QByteArray field = QByteArray::fromHex(bytes);
    QByteArray image(892, '\x33');
    if (op.startsWith("get"))
        image.replace(int(r->address), field.size(), field);
    QByteArray expected = image;
    expected.replace(int(r->address), field.size(), field);

    LogCapture log;
    uint32_t got = 0xDEAD;
    int32_t signedGot = 0;
    const bool ok = op == "getUInt" ? store.getUInt(got, name, 0, &image, map)
                    : op == "getBool" ? store.getBool(got, name, 0, &image, map)
                    : op == "getInt"  ? (store.getInt(signedGot, name, 0, &image, map) && (got = uint32_t(signedGot), true))
                    : op == "setUInt" ? store.setUInt(value, name, 0, &image, map)
                    : op == "setInt"  ? store.setInt(int32_t(value), name, 0, &image, map)
                                      : store.setBool(value, name, 0, &image, map);
    QVERIFY(ok);
    if (op.startsWith("get"))
        QCOMPARE(got, value);
    QCOMPARE(image, expected);  // the field as expected, nothing else moved
    QCOMPARE(log.take(), QStringList{line});
}

void TestConfigStore::notFoundLeavesEverything()
{
    QByteArray image(892, '\x01');
    LogCapture log;
    uint32_t v = 42;
    QVERIFY(!store.getUInt(v, "Enable", 0, &image, map));
    QVERIFY(!store.setInt(5, "Magic", 0, &image, map));
    QVERIFY(!store.setUInt(5, "Checksum", 0, &image, map));
    QCOMPARE(v, 42u);
    QCOMPARE(image, QByteArray(892, '\x01'));
    QCOMPARE(log.take(), QStringList({"READ CONFIGURATION FIELD UINT \"Enable\" NOT FOUND!",
                                      "WRITE CONFIGURATION FIELD INT \"Magic\" NOT FOUND!",
                                      "WRITE CONFIGURATION FIELD UINT \"Checksum\" NOT FOUND!"}));

    // No map loaded, no slot held, or a buffer too short: false, nothing touched.
    ConfigStore empty;
    QVERIFY(!empty.getUInt(v, "Magic"));
    QVERIFY(!empty.setUInt(1, "Magic"));
    QVERIFY(!empty.sealChecksum(0));
    empty.setLoadedMap(map);
    QVERIFY(!empty.setUInt(1, "Magic", 0));
    QByteArray shortBuffer(891, '\0');
    QVERIFY(!empty.setUInt(1, "Magic", 0, &shortBuffer));
    QCOMPARE(shortBuffer, QByteArray(891, '\0'));
    QCOMPARE(v, 42u);
}

void TestConfigStore::wideAndShortFields()
{
    auto m = smallMap(16, mapRecord("Wide", 0, 6, FieldType::UINT) + mapRecord("Flag", 6, 2, FieldType::BOOL)
                              + mapRecord("Zero", 8, 0, FieldType::UINT));
    QByteArray image = QByteArray::fromHex("a1b2c3d4e5f60001ffffffffffffffff");
    uint32_t v = 0;
    QVERIFY(store.getUInt(v, "Wide", 0, &image, m.get()));
    QCOMPARE(v, 0xC3D4E5F6u);  // the last four bytes
    QVERIFY(store.getBool(v, "Flag", 0, &image, m.get()));
    QCOMPARE(v, 1u);
    QVERIFY(store.setUInt(0x01020304, "Wide", 0, &image, m.get()));
    QCOMPARE(image.left(6).toHex(), QByteArray("000001020304"));
    v = 99;
    QVERIFY(store.getUInt(v, "Zero", 0, &image, m.get()));
    QCOMPARE(v, 0u);
    QVERIFY(store.setUInt(7, "Zero", 0, &image, m.get()));
    QCOMPARE(image.mid(6).toHex(), QByteArray("0001ffffffffffffffff"));
}

void TestConfigStore::memoryImage_data()
{
    QTest::addColumn<QVector<Span>>("before");
    QTest::addColumn<Span>("added");
    QTest::addColumn<QVector<Span>>("after");

    QTest::newRow("into empty") << QVector<Span>{} << Span(100, 10) << QVector<Span>{{100, 10}};
    QTest::newRow("insert between") << QVector<Span>{{0, 10}, {100, 10}} << Span(50, 10)
                                    << QVector<Span>{{0, 10}, {50, 10}, {100, 10}};
    QTest::newRow("one gap byte stays apart") << QVector<Span>{{0, 10}} << Span(11, 5)
                                              << QVector<Span>{{0, 10}, {11, 5}};
    QTest::newRow("touch after") << QVector<Span>{{0, 10}} << Span(10, 5) << QVector<Span>{{0, 15}};
    QTest::newRow("touch before") << QVector<Span>{{10, 10}} << Span(5, 5) << QVector<Span>{{5, 15}};
    QTest::newRow("bridge two") << QVector<Span>{{0, 10}, {15, 5}} << Span(10, 5) << QVector<Span>{{0, 20}};
    QTest::newRow("overlap several") << QVector<Span>{{0, 10}, {20, 10}, {40, 10}, {70, 5}} << Span(5, 40)
                                     << QVector<Span>{{0, 50}, {70, 5}};
    QTest::newRow("inside one") << QVector<Span>{{0, 100}} << Span(10, 20) << QVector<Span>{{0, 100}};
    QTest::newRow("cover all") << QVector<Span>{{10, 5}, {20, 5}} << Span(0, 100) << QVector<Span>{{0, 100}};
    QTest::newRow("slot 1 beside slot 0") << QVector<Span>{{0x70000, 892}} << Span(0x71000, 892)
                                          << QVector<Span>{{0x70000, 892}, {0x71000, 892}};
    QTest::newRow("right after slot 0") << QVector<Span>{{0x70000, 892}} << Span(0x7037C, 4)
                                        << QVector<Span>{{0x70000, 896}};
    QTest::newRow("top of address space") << QVector<Span>{} << Span(0xFFFFFFF0u, 16)
                                          << QVector<Span>{{0xFFFFFFF0u, 16}};
}

void TestConfigStore::memoryImage()
{
    QFETCH(QVector<Span>, before);
    QFETCH(Span, added);
    QFETCH(QVector<Span>, after);

    MemoryImage image;
    QMap<uint, uint8_t> expected;  // address -> byte
    uint8_t tag = 1;
    for (const Span &s : before) {
        const std::vector<uint8_t> bytes(s.second, tag);
        QVERIFY(image.add(s.first, s.second, bytes.data()));
        for (uint i = 0; i < s.second; ++i)
            expected[s.first + i] = tag;
        ++tag;
    }
    std::vector<uint8_t> fresh(added.second);
    for (uint i = 0; i < added.second; ++i) {
        fresh[i] = uint8_t(0x80 + i);
        expected[added.first + i] = fresh[i];
    }
    const uint8_t *inside = before.size() == 1 ? image.locate(before[0].first, before[0].second) : nullptr;
    QVERIFY(image.add(added.first, added.second, fresh.data()));

    QCOMPARE(int(image.segments().size()), after.size());
    for (int i = 0; i < after.size(); ++i) {
        const auto &seg = image.segments()[std::size_t(i)];
        QCOMPARE(uint(seg.start), after[i].first);
        QCOMPARE(uint(seg.data.size()), after[i].second);
        for (uint k = 0; k < after[i].second; ++k)
            QCOMPARE(seg.data[k], expected.value(seg.start + k));
    }
    if (QByteArray(QTest::currentDataTag()) == "inside one")
        QCOMPARE(image.locate(0, 100), inside);  // written in place
    // A range across two segments is never located.
    if (after.size() > 1)
        QVERIFY(!image.locate(after[0].first, after[1].first + after[1].second - after[0].first));
    QVERIFY(!image.add(0xFFFFFFF0u, 17, fresh.data()));
}

void TestConfigStore::slots_()
{
    ConfigStore s;
    s.loadEmbeddedMaps();
    const FieldMap *m = s.maps()[0].get();
    s.setLoadedMap(m);
    const std::vector<uint8_t> bytes(892, 0x42);
    for (uint32_t slot : {0u, 3u})
        s.image().add(m->slotAddress(slot), 892, bytes.data());
    QVERIFY(s.slotPointer(0));
    QVERIFY(!s.slotPointer(1));  // not held
    QVERIFY(!s.slotPointer(3));  // held, but above maxSlot
    s.image().add(0x71000, 891, bytes.data());
    QVERIFY(!s.slotPointer(1));  // one byte short
}

void TestConfigStore::seal()
{
    ConfigStore s;
    s.loadEmbeddedMaps();
    s.setLoadedMap(s.maps()[1].get());
    // First 891 bytes summing to 0x1234 (0x34 mod 256): the seal is 0xCC.
    QByteArray bytes(892, '\0');
    bytes.replace(0, 18, QByteArray(18, '\xFF'));  // 18 * 0xFF + 0x46 = 0x1234
    bytes[18] = 0x46;
    bytes[891] = 0x77;
    QCOMPARE(byteSum(bytes, 891), uint8_t(0x34));
    s.image().add(0x70000, 892, reinterpret_cast<const uint8_t *>(bytes.constData()));
    QVERIFY(s.sealChecksum(0));
    QCOMPARE(s.slotPointer(0)[891], uint8_t(0xCC));
    QVERIFY(!s.sealChecksum(1));  // not held

    // Degenerate images: size 1 stores 0; size 0 touches nothing.
    auto one = smallMap(1, QByteArray());
    auto zero = smallMap(0, QByteArray());
    const uint8_t marker = 0x99;
    for (const FieldMap *m : {one.get(), zero.get()}) {
        s.image().add(0x1000, 1, &marker);
        s.setLoadedMap(m);
        QCOMPARE(s.sealChecksum(0), m == one.get());
        QCOMPARE(*s.image().locate(0x1000, 1), m == one.get() ? uint8_t(0) : marker);
    }
}

void TestConfigStore::imageRules_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<uint>("value");
    QTest::addColumn<bool>("valid");
    QTest::newRow("valid") << QByteArray() << 0u << true;
    QTest::newRow("bad magic") << QByteArray("Magic") << 0xABCCu << false;
    QTest::newRow("bad version") << QByteArray("Version") << 2u << false;
    QTest::newRow("bad sum") << QByteArray("DISEqC_CONFIG_NB") << 0u << false;
}

void TestConfigStore::imageRules()
{
    QFETCH(QByteArray, field);
    QFETCH(uint, value);
    QFETCH(bool, valid);
    QByteArray image = makeValidImage(store, *map);
    if (!field.isEmpty()) {
        const uint8_t old = uint8_t(image[890]);
        store.setUInt(value, field, 0, &image, map);
        if (field == "DISEqC_CONFIG_NB")
            image[890] = char(old + 1);
    }
    LogCapture log;
    QCOMPARE(store.imageValid(0, false, &image, map), valid);
    QCOMPARE(log.take().size(), 2);  // both field reads logged even after a failure
    QCOMPARE(store.imageValid(0, true, &image, map), valid);
    QCOMPARE(log.take().size(), field == "Magic" ? 1 : 2);
}

QTEST_GUILESS_MAIN(TestConfigStore)
#include "tst_configstore.moc"
