#include "../common/logcapture.h"
#include "../common/mapbuilder.h"

#include <QtTest/QtTest>

using Span = QPair<uint, uint>;  // start, length
using Spans = QVector<Span>;

class TestConfigStore : public QObject
{
    Q_OBJECT
private slots:
    void typedAccess_data()
    {
        // value written or expected; field bytes after; log line after READ/WRITE, naming field and type
        QTest::addColumn<QByteArray>("op");
        QTest::addColumn<uint>("value");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("line");
        auto row = [](const char *tag, const char *op, uint value, const char *hex, const char *line) {
            QTest::newRow(tag) << QByteArray(op) << value << QByteArray(hex) << QString(line);
        };
        row("INT not sign-extended", "get", 246, "f6", "INT(1) \"OutputLevelOffset\" @ 00000029 = 246");
        row("UINT 2 bytes big-endian", "set", 258, "0102", "UINT(2) \"Magic\" @ 00000000 = 258");
        row("UINT cut to 1 byte", "set", 300, "2c", "UINT(1) \"CSS_Channels\" @ 0000002A = 300");
        row("UINT logged signed", "get", 0xFFFFFFFE, "fffffffe", "UINT(4) \"CSS[1].InputFrequency\" @ 000000CF = -2");
        row("INT negative write", "set", uint(-10), "f6", "INT(1) \"OutputLevelOffset\" @ 00000029 = -10");
        row("BOOL keeps low 8 bits", "set", 0x101, "01", "BOOL(1) \"Enable\" @ 0000002C = 1");
        row("BOOL low byte zero", "set", 0x200, "00", "BOOL(1) \"ReadOnly\" @ 00000004 = 0");
        row("BOOL any bit", "get", 1, "80", "BOOL(1) \"CSS[0].Invert\" @ 000000CA = 1");
        row("BOOL last byte", "get", 1, "0001", "BOOL(2) \"Flag\" @ 00000006 = 1");
        row("BOOL first byte", "get", 1, "0100", "BOOL(2) \"Flag\" @ 00000006 = 1");
        row("wide UINT reads last 4", "get", 0xC3D4E5F6, "a1b2c3d4e5f6", "UINT(6) \"Wide\" @ 00000000 = -1009457674");
        row("wide UINT zero-fills", "set", 0x01020304, "000001020304", "UINT(6) \"Wide\" @ 00000000 = 16909060");
        row("size 0 reads 0", "get", 0, "", "UINT(0) \"Zero\" @ 00000008 = 0");
        row("size 0 writes nothing", "set", 7, "", "UINT(0) \"Zero\" @ 00000008 = 7");
    }

    void typedAccess()
    {
        QFETCH(QByteArray, op);
        QFETCH(uint, value);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, line);
        const QByteArray name = line.section('"', 1, 1).toLatin1(), kind = line.section('(', 0, 0).toLatin1();
        const FieldType type = kind == "BOOL" ? FieldType::BOOL : kind == "UINT" ? FieldType::UINT : FieldType::INT;
        const FieldMap *m = map->find(name.constData(), type) ? map : small.get();
        const FieldRecord *r = m->find(name.constData(), type);
        QVERIFY(r);
        QByteArray image(int(m->imageSize), '\x33'), expected = image;
        const QByteArray field = QByteArray::fromHex(bytes);
        expected.replace(int(r->address), field.size(), field);
        if (op == "get")
            image = expected;

        LogCapture log;
        uint32_t got = 0xDEAD;
        QVERIFY(op == "set" ? (type == FieldType::UINT  ? store.setUInt(value, name, 0, &image, m)
                                       : type == FieldType::INT ? store.setInt(int32_t(value), name, 0, &image, m)
                                                                : store.setBool(value, name, 0, &image, m))
                        : type == FieldType::UINT ? store.getUInt(got, name, 0, &image, m)
                        : type == FieldType::INT  ? store.getInt(reinterpret_cast<int32_t &>(got), name, 0, &image, m)
                                                  : store.getBool(got, name, 0, &image, m));
        QCOMPARE(got, op == "get" ? value : 0xDEADu);
        QCOMPARE(image, expected);  // the field as expected, nothing else moved
        QCOMPARE(log.take(), QStringList{(op == "get" ? "READ" : "WRITE") + QString(" CONFIGURATION FIELD ") + line});
    }

    void memoryImage_data()
    {
        QTest::addColumn<Spans>("before");
        QTest::addColumn<Span>("added");
        QTest::addColumn<Spans>("after");
        auto row = [](const char *tag, Spans before, Span added, Spans after) { QTest::newRow(tag) << before << added << after; };
        row("insert between", {{0, 10}, {100, 10}}, {50, 10}, {{0, 10}, {50, 10}, {100, 10}});
        row("one gap byte each side", {{0, 10}, {21, 5}}, {11, 9}, {{0, 10}, {11, 9}, {21, 5}});
        row("touch after", {{0, 10}}, {10, 5}, {{0, 15}});
        row("touch before", {{10, 10}}, {5, 5}, {{5, 15}});
        row("bridge two", {{0, 10}, {15, 5}}, {10, 5}, {{0, 20}});
        row("overlap several", {{0, 10}, {20, 10}, {40, 10}, {70, 5}}, {5, 40}, {{0, 50}, {70, 5}});
        row("inside one", {{0, 100}}, {10, 20}, {{0, 100}});
        row("cover all", {{10, 5}, {20, 5}}, {0, 100}, {{0, 100}});
        row("slot 1 beside slot 0", {{0x70000, 892}}, {0x71000, 892}, {{0x70000, 892}, {0x71000, 892}});
        row("right after slot 0", {{0x70000, 892}}, {0x7037C, 4}, {{0x70000, 896}});
        row("top of address space", {}, {0xFFFFFFF0u, 16}, {{0xFFFFFFF0u, 16}});
    }

    void memoryImage()
    {
        QFETCH(Spans, before);
        QFETCH(Span, added);
        QFETCH(Spans, after);
        MemoryImage image;
        QMap<uint, uint8_t> expected;  // address -> byte
        const uint8_t *inside = nullptr;
        for (int n = 0; n <= before.size(); ++n) {  // the earlier ranges, then the added one
            const Span s = n < before.size() ? before[n] : added;
            std::vector<uint8_t> bytes(s.second);
            for (uint i = 0; i < s.second; ++i)
                expected[s.first + i] = bytes[i] = n < before.size() ? uint8_t(n + 1) : uint8_t(0x80 + i);
            inside = image.locate(0, 100);
            QVERIFY(image.add(s.first, s.second, bytes.data()));
        }
        Spans got;
        for (const auto &seg : image.segments())
            got << Span(seg.start, uint(seg.data.size()));
        QCOMPARE(got, after);
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QCOMPARE(*image.locate(it.key(), 1), it.value());
        if (QByteArray(QTest::currentDataTag()) == "inside one")
            QCOMPARE(image.locate(0, 100), inside);  // written in place
        // A range across two segments is never located; none may run past 4 GiB.
        if (after.size() > 1)
            QVERIFY(!image.locate(after[0].first, after[1].first + after[1].second - after[0].first));
        QVERIFY(!image.add(0xFFFFFFF0u, 17, std::vector<uint8_t>(17).data()));
    }

    void slotsAndSeal()
    {
        // No map, no slot held, or a buffer too short: false, nothing touched.
        ShippedStore s;
        uint32_t v = 42;
        QVERIFY(!s.getUInt(v, "Magic") && !s.setUInt(1, "Magic") && !s.sealChecksum(0));
        s.setLoadedMap(map);
        QVERIFY(!s.getUInt(v, "Magic") && !s.setUInt(1, "Magic"));
        QByteArray shortBuffer(891, '\0');
        QVERIFY(!s.getUInt(v, "Magic", 0, &shortBuffer) && !s.setUInt(1, "Magic", 0, &shortBuffer));
        QVERIFY(shortBuffer == QByteArray(891, '\0') && v == 42);

        // First 891 bytes summing to 0x1234 (18 * 0xFF + 0x46): the seal is 0xCC.
        const QByteArray bytes = QByteArray(18, '\xFF') + '\x46' + QByteArray(872, '\0') + '\x77';
        QVERIFY(s.hold(0x70000, bytes) && s.hold(0x73000, bytes) && s.hold(0x71000, bytes.left(891)));
        for (uint32_t slot : {1u, 2u, 3u})  // one byte short, not held, held but above maxSlot
            QVERIFY(!s.slotPointer(slot) && !s.sealChecksum(slot));
        QVERIFY(s.sealChecksum(0));
        QCOMPARE(s.slotPointer(0)[891], uint8_t(0xCC));

        // Degenerate images: size 1 stores 0; size 0 touches nothing.
        const auto one = FieldMap::parse(mapHeader(1, 0x1000)), zero = FieldMap::parse(mapHeader(0, 0x1000));
        for (const FieldMap *m : {one.get(), zero.get()}) {
            s.hold(0x1000, "\x99");
            s.setLoadedMap(m);
            QCOMPARE(s.sealChecksum(0), m == one.get());
            QCOMPARE(s.heldAt(0x1000, 1), QByteArray(m == one.get() ? "\0" : "\x99", 1));
        }
    }

    void imageRules_data()
    {
        QTest::addColumn<QByteArray>("field");  // its first byte + 1 (Version 1 becomes 0x101); none: valid
        QTest::newRow("valid") << QByteArray();
        QTest::newRow("bad magic") << QByteArray("Magic");
        QTest::newRow("bad version") << QByteArray("Version");
        QTest::newRow("bad sum") << QByteArray("DISEqC_CONFIG_NB");
    }

    void imageRules()
    {
        QFETCH(QByteArray, field);
        QByteArray image = makeValidImage(store, *map);
        if (const FieldRecord *r = field.isEmpty() ? nullptr : map->find(field.constData(), FieldType::UINT))
            image[r->address] = char(image[r->address] + 1);
        if (QByteArray(QTest::currentDataTag()) != "bad sum")
            reseal(image);  // so only the row's own rule fails
        LogCapture log;
        QCOMPARE(store.imageValid(0, false, &image, map), field.isEmpty());
        QCOMPARE(log.take().size(), 2);  // both field reads logged even after a failure
        QCOMPARE(store.imageValid(0, true, &image, map), field.isEmpty());
        QCOMPARE(log.take().size(), field == "Magic" ? 1 : 2);
    }

private:
    ShippedStore store;
    const FieldMap *map = store.map(0);
    // A 6-byte UINT, a 2-byte BOOL and a size-0 field in a 16-byte image.
    const std::unique_ptr<FieldMap> small = FieldMap::parse(mapHeader(16, 0x1000) + mapRecord("Wide", 0, 6, FieldType::UINT)
                                                           + mapRecord("Flag", 6, 2, FieldType::BOOL) + mapRecord("Zero", 8, 0, FieldType::UINT));
};

QTEST_GUILESS_MAIN(TestConfigStore)
#include "tst_configstore.moc"
