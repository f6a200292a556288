#include "config/configstore.h"
#include "../common/imagefactory.h"
#include "../common/logcapture.h"

#include <QtTest/QtTest>

namespace {

using Span = QPair<uint, uint>;  // start, length

QByteArray record(const QByteArray &name, uint32_t address, uint32_t size, FieldType type)
{
    QByteArray r = name;
    r.append(32 - r.size(), '\0');
    for (uint32_t v : {address, size, uint32_t(type)})
        for (int i = 0; i < 4; ++i)
            r.append(char((v >> (8 * i)) & 0xFF));
    return r;
}

// A small map: image of `size` bytes at 0x1000, two slots.
std::unique_ptr<FieldMap> smallMap(uint32_t size, const QByteArray &records)
{
    QByteArray h("SMALL");
    h.append(27, '\0');
    h.append(10, '\0');
    for (uint32_t v : {0x1000u, 0x100u, size})
        for (int i = 0; i < 4; ++i)
            h.append(char((v >> (8 * i)) & 0xFF));
    h.append(char(1)).append(char(1)).append(char(0));
    return FieldMap::parse(h + records);
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
    QTest::addColumn<QByteArray>("op");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<uint>("value");      // written, or expected on read
    QTest::addColumn<QByteArray>("bytes"); // field bytes after the access (hex)
    QTest::addColumn<QString>("line");

    QTest::newRow("INT not sign-extended") << QByteArray("getInt") << QByteArray("OutputLevelOffset") << 246u
        << QByteArray("f6") << "READ CONFIGURATION FIELD INT(1) \"OutputLevelOffset\" @ 00000029 = 246";
    QTest::newRow("UINT 2 bytes big-endian") << QByteArray("setUInt") << QByteArray("Magic") << 258u
        << QByteArray("0102") << "WRITE CONFIGURATION FIELD UINT(2) \"Magic\" @ 00000000 = 258";
    QTest::newRow("UINT cut to 1 byte") << QByteArray("setUInt") << QByteArray("CSS_Channels") << 300u
        << QByteArray("2c") << "WRITE CONFIGURATION FIELD UINT(1) \"CSS_Channels\" @ 0000002A = 300";
    QTest::newRow("UINT 4 bytes read negative in log") << QByteArray("getUInt") << QByteArray("CSS[1].InputFrequency")
        << 0xFFFFFFFEu << QByteArray("fffffffe") << "READ CONFIGURATION FIELD UINT(4) \"CSS[1].InputFrequency\" @ 000000CF = -2";
    QTest::newRow("INT negative write") << QByteArray("setInt") << QByteArray("OutputLevelOffset") << uint(-10)
        << QByteArray("f6") << "WRITE CONFIGURATION FIELD INT(1) \"OutputLevelOffset\" @ 00000029 = -10";
    QTest::newRow("BOOL keeps low 8 bits") << QByteArray("setBool") << QByteArray("Enable") << 0x101u
        << QByteArray("01") << "WRITE CONFIGURATION FIELD BOOL(1) \"Enable\" @ 0000002C = 1";
    QTest::newRow("BOOL low byte zero") << QByteArray("setBool") << QByteArray("ReadOnly") << 0x200u
        << QByteArray("00") << "WRITE CONFIGURATION FIELD BOOL(1) \"ReadOnly\" @ 00000004 = 0";
    QTest::newRow("BOOL any byte") << QByteArray("getBool") << QByteArray("CSS[0].Invert") << 1u
        << QByteArray("80") << "READ CONFIGURATION FIELD BOOL(1) \"CSS[0].Invert\" @ 000000CA = 1";
}

void TestConfigStore::typedAccess()
{
    QFETCH(QByteArray, op);
    QFETCH(QByteArray, name);
    QFETCH(uint, value);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, line);

    const FieldRecord *r = map->find(name.constData(), op.endsWith("Int") && !op.endsWith("UInt") ? FieldType::INT
                                                      : op.endsWith("Bool") ? FieldType::BOOL : FieldType::UINT);
    QVERIFY(r);
    QByteArray image(892, '\x33');
    const QByteArray fieldBytes = QByteArray::fromHex(bytes);
    if (op.startsWith("get"))
        image.replace(int(r->address), fieldBytes.size(), fieldBytes);

    LogCapture log;
    uint32_t got = 0xDEAD;
    bool ok = false;
    if (op == "getUInt") ok = store.getUInt(got, name, 0, &image, map);
    if (op == "getInt") { int32_t i = 0; ok = store.getInt(i, name, 0, &image, map); got = uint32_t(i); }
    if (op == "getBool") ok = store.getBool(got, name, 0, &image, map);
    if (op == "setUInt") ok = store.setUInt(value, name, 0, &image, map);
    if (op == "setInt") ok = store.setInt(int32_t(value), name, 0, &image, map);
    if (op == "setBool") ok = store.setBool(value, name, 0, &image, map);
    QVERIFY(ok);
    if (op.startsWith("get"))
        QCOMPARE(got, value);
    QCOMPARE(image.mid(int(r->address), fieldBytes.size()).toHex(), bytes);
    // Nothing else in the image moved.
    QByteArray rest = image;
    rest.replace(int(r->address), fieldBytes.size(), QByteArray(fieldBytes.size(), '\x33'));
    QCOMPARE(rest, QByteArray(892, '\x33'));
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
    auto m = smallMap(16, record("Wide", 0, 6, FieldType::UINT) + record("Flag", 6, 2, FieldType::BOOL)
                              + record("Zero", 8, 0, FieldType::UINT));
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
    const FieldMap *m = s.maps()[1].get();
    s.setLoadedMap(m);
    // First 891 bytes summing to 0x1234: the seal is 0xCC.
    std::vector<uint8_t> bytes(892, 0);
    uint32_t remaining = 0x1234;
    for (std::size_t i = 0; i < 891 && remaining; ++i) {
        bytes[i] = uint8_t(std::min<uint32_t>(remaining, 0xFF));
        remaining -= bytes[i];
    }
    bytes[891] = 0x77;
    s.image().add(0x70000, 892, bytes.data());
    QVERIFY(s.sealChecksum(0));
    QCOMPARE(s.slotPointer(0)[891], uint8_t(0xCC));
    QVERIFY(!s.sealChecksum(1));

    // Degenerate images: size 1 stores 0; size 0 touches nothing.
    auto one = smallMap(1, QByteArray());
    auto zero = smallMap(0, QByteArray());
    const uint8_t marker = 0x99;
    s.image().add(0x1000, 1, &marker);
    s.setLoadedMap(one.get());
    QVERIFY(s.sealChecksum(0));
    QCOMPARE(*s.image().locate(0x1000, 1), uint8_t(0));
    s.image().add(0x1000, 1, &marker);
    s.setLoadedMap(zero.get());
    QVERIFY(!s.sealChecksum(0));
    QCOMPARE(*s.image().locate(0x1000, 1), marker);
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
