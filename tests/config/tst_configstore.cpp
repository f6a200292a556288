// The configuration model: field maps, the sparse image, typed access, image rules and .scd files.
#include "../common/mapbuilder.h"

#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using Span = QPair<uint, uint>;  // start, length
using Spans = QVector<Span>;

static const QByteArray kFull = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";  // 32 bytes, no NUL

// Collects debug lines while alive, so the log can be compared exactly.
struct LogCapture {
    static inline LogCapture *active = nullptr;
    QStringList lines;
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type == QtDebugMsg && active)
            active->lines << text;
    });
    LogCapture() { active = this; }
    ~LogCapture() { qInstallMessageHandler(previous), active = nullptr; }
    QStringList take() { return std::exchange(lines, {}); }
};

class TestConfigStore : public QObject
{
    Q_OBJECT
private slots:
    void shippedMaps()
    {
        const QByteArray a = readAll(":/orbix-1.map");
        QCOMPARE(a.left(57), mapHeader(892, 0x70000, "ORBIX-1"));
        QCOMPARE(readAll(":/orbix-1s.map"), pad32("ORBIX-1S") + a.mid(32));
        QVERIFY(!ShippedStore().loadMap(":/no-such.map"));
        QCOMPARE(store.map(0)->modelNameText() + store.map(1)->modelNameText(), QByteArray("ORBIX-1ORBIX-1S"));
        QVERIFY(map->records.back().name[0] == '\0' && map->records.back().size == 0);
        uint32_t next = 0;  // every field starts where the previous one ends
        for (std::size_t i = 0; i + 1 < map->records.size(); ++i) {
            QCOMPARE(map->records[i].address, next);
            next += map->records[i].size;
        }
        QCOMPARE(next, 892u);
    }

    void lookup()
    {
        // The address found, -1 for none. Shipped records at group boundaries (more in typedAccess's
        // log lines); names found nowhere: wrong type, blank-filled name, prefix, longer, case.
        const FieldMap *a = map, *b = synthetic.get();  // shipped, synthetic
        const auto U = FieldType::UINT;
        const std::tuple<const FieldMap *, QByteArray, FieldType, int> rows[] = {
            {a, "Password", FieldType::BYTES, 5}, {a, "CSS[31].Invert", FieldType::BOOL, 791}, {a, "Input[0].Mode", U, 62},
            {a, "Input[6].DISEqC_Bank", U, 152}, {a, "Output[0].Mode", U, 153}, {a, "Output[2].GPIO_State_18V.Mask", U, 185},
            {a, "CSS[0].Mode", U, 186}, {a, "CSS[31].Pin", U, 793}, {a, "BTS[0].Mode", U, 794}, {a, "BTS[7].OutputLevel", U, 889},
            {a, "DISEqC_CONFIG_NB", U, 890}, {a, "Enable", U, -1}, {a, "Checksum", U, -1}, {a, "Magi", U, -1},
            {a, "MagicX", U, -1}, {a, "magic", U, -1}, {b, kFull, U, 1}, {b, kFull + "tail beyond 32", U, 1}, {b, kFull.left(31), U, -1},
            {b, "Dup", U, 2}, {b, "Edge", U, 890}, {b, "Past", U, -1}, {b, "Huge", U, -1}, {b, "After", U, -1}};
        for (const auto &[m, key, type, address] : rows) {
            const FieldRecord *r = m->find(key.constData(), type);
            QVERIFY2((r ? qint64(r->address) : -1) == address, key.constData());
        }
    }

    void shortMaps()
    {
        const auto headerOnly = FieldMap::parse(mapHeader());  // exactly 57 bytes
        QVERIFY(headerOnly->records.size() == 1 && headerOnly->imageSize == 892 && !headerOnly->find("Magic", FieldType::UINT));
        // Cut inside the header: what was not read stays zero; two of slotStride's four bytes arrived.
        const auto cut = FieldMap::parse(mapHeader().left(48));
        QVERIFY(cut->flashLineB == 1 && cut->imageBase == 0x70000 && cut->slotStride == 0x1000 && cut->imageSize == 0);
        // Two whole records and part of a third: the part is ignored.
        const auto partial = FieldMap::parse(mapHeader() + mapRecord("A", 0, 1, FieldType::UINT)
                                             + mapRecord("B", 1, 1, FieldType::UINT) + mapRecord("C", 2, 1, FieldType::UINT).left(30));
        QVERIFY(partial->records.size() == 3 && partial->find("B", FieldType::UINT) && !partial->find("C", FieldType::UINT));
    }

    void typedAccess()
    {
        // A get reads `value` from the field's bytes, a set writes it and leaves them; nothing else
        // changes. The log line after READ/WRITE names field and type.
        const std::tuple<bool, uint, const char *, QString> rows[] = {
            {false, 246, "f6", "INT(1) \"OutputLevelOffset\" @ 00000029 = 246"},  // not sign-extended
            {true, 258, "0102", "UINT(2) \"Magic\" @ 00000000 = 258"},  // big-endian
            {true, 300, "2c", "UINT(1) \"CSS_Channels\" @ 0000002A = 300"},  // cut to the field
            {false, 0xFFFFFFFE, "fffffffe", "UINT(4) \"CSS[1].InputFrequency\" @ 000000CF = -2"},  // logged signed
            {true, uint(-10), "f6", "INT(1) \"OutputLevelOffset\" @ 00000029 = -10"},
            {true, 0x101, "01", "BOOL(1) \"Enable\" @ 0000002C = 1"},  // the low 8 bits as a number
            {true, 0x200, "00", "BOOL(1) \"ReadOnly\" @ 00000004 = 0"},
            {false, 1, "80", "BOOL(1) \"CSS[0].Invert\" @ 000000CA = 1"},  // any bit, any byte
            {false, 1, "0001", "BOOL(2) \"Flag\" @ 00000006 = 1"},
            {false, 1, "0100", "BOOL(2) \"Flag\" @ 00000006 = 1"},
            {false, 0xC3D4E5F6, "a1b2c3d4e5f6", "UINT(6) \"Wide\" @ 00000000 = -1009457674"},  // the last 4 bytes
            {true, 0x01020304, "000001020304", "UINT(6) \"Wide\" @ 00000000 = 16909060"},  // zero-filled
            {false, 0, "", "UINT(0) \"Zero\" @ 00000008 = 0"},
            {true, 7, "", "UINT(0) \"Zero\" @ 00000008 = 7"}};
        for (const auto &[set, value, hex, line] : rows) {
            const QByteArray name = line.section('"', 1, 1).toLatin1();
            const auto type = FieldType(QStringList{"", "BOOL", "UINT", "INT"}.indexOf(line.section('(', 0, 0)));
            const FieldMap *m = map->find(name.constData(), type) ? map : synthetic.get();
            const FieldRecord *r = m->find(name.constData(), type);
            QVERIFY2(r, qPrintable(line));
            const QByteArray blank(int(m->imageSize), '\x33');
            QByteArray expected = blank;
            expected.replace(int(r->address), int(r->size), QByteArray::fromHex(hex));
            QByteArray image = set ? blank : expected;  // shared, so a write must detach it first

            LogCapture log;
            uint32_t got = 0xDEAD;
            QVERIFY(set ? (type == FieldType::UINT  ? store.setUInt(value, name, 0, &image, m)
                           : type == FieldType::INT ? store.setInt(int32_t(value), name, 0, &image, m)
                                                    : store.setBool(value, name, 0, &image, m))
                : type == FieldType::UINT ? store.getUInt(got, name, 0, &image, m)
                : type == FieldType::INT  ? store.getInt(reinterpret_cast<int32_t &>(got), name, 0, &image, m)
                                          : store.getBool(got, name, 0, &image, m));
            QCOMPARE(got, set ? 0xDEADu : value);
            QCOMPARE(image, expected);
            QVERIFY(blank.count('\x33') == blank.size());
            QCOMPARE(log.take(), QStringList{(set ? "WRITE" : "READ") + QString(" CONFIGURATION FIELD ") + line});
        }
    }

    void memoryImage()
    {
        // Ranges held, one added, the segments after. The bytes of each range
        // are its index + 1; the added range's count up from 0x80.
        const std::tuple<Spans, Span, Spans> rows[] = {
            {{{0, 10}, {100, 10}}, {50, 10}, {{0, 10}, {50, 10}, {100, 10}}},  // insert between
            {{{0, 10}, {21, 5}}, {11, 9}, {{0, 10}, {11, 9}, {21, 5}}},  // one gap byte each side
            {{{0, 10}}, {10, 5}, {{0, 15}}},  // touch after
            {{{10, 10}}, {5, 5}, {{5, 15}}},  // touch before
            {{{0, 10}, {15, 5}}, {10, 5}, {{0, 20}}},  // bridge two
            {{{0, 10}, {20, 10}, {40, 10}, {70, 5}}, {5, 40}, {{0, 50}, {70, 5}}},  // overlap several
            {{{0, 100}}, {10, 20}, {{0, 100}}},  // inside one: written in place
            {{{10, 5}, {20, 5}}, {0, 100}, {{0, 100}}},  // cover all
            {{}, {0xFFFFFFF0u, 16}, {{0xFFFFFFF0u, 16}}}};  // top of address space
        for (const auto &[before, added, after] : rows) {
            MemoryImage image;
            QMap<uint, uint8_t> expected;  // address -> byte
            const uint8_t *inside = nullptr;
            for (int n = 0; n <= before.size(); ++n) {
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
            if (before == after)
                QCOMPARE(image.locate(0, 100), inside);
            // A range across two segments is never located; none may run past 4 GiB.
            if (after.size() > 1)
                QVERIFY(!image.locate(after[0].first, after[1].first + after[1].second - after[0].first));
            QVERIFY(!image.add(0xFFFFFFF0u, 17, std::vector<uint8_t>(17).data()));
        }
    }

    void slotsAndSeal()
    {
        // No map, no slot held, or a buffer too short: false, nothing touched, and the log says so.
        ShippedStore s;
        uint32_t v = 42;
        LogCapture log;
        QVERIFY(!s.getUInt(v, "Magic") && !s.setUInt(1, "Magic") && !s.sealChecksum(0) && !s.imageValid(0));
        QCOMPARE(log.take(), QStringList({"READ CONFIGURATION FIELD UINT \"Magic\" NOT FOUND!",
                                          "WRITE CONFIGURATION FIELD UINT \"Magic\" NOT FOUND!"}));
        s.setLoadedMap(map);
        QVERIFY(!s.getUInt(v, "Magic") && !s.setUInt(1, "Magic"));
        QByteArray shortBuffer(891, '\0');
        QVERIFY(!s.getUInt(v, "Magic", 0, &shortBuffer) && !s.setUInt(1, "Magic", 0, &shortBuffer));
        QVERIFY(shortBuffer == QByteArray(891, '\0') && v == 42);

        // First 891 bytes summing to 0x1234 (18 * 0xFF + 0x46): the seal is 0xCC.
        const QByteArray bytes = QByteArray(18, '\xFF') + '\x46' + QByteArray(872, '\0') + '\x77';
        QVERIFY(s.hold(0x70000, bytes) && s.hold(0x71000, bytes.left(891)) && s.hold(0x72000, bytes) && s.hold(0x73000, bytes));
        for (uint32_t slot : {1u, 3u})  // one byte short, held but above maxSlot
            QVERIFY(!s.slotPointer(slot) && !s.sealChecksum(slot));
        QVERIFY(s.slotPointer(2));  // the last slot
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

    void imageRules()
    {
        // Each rule broken alone (a field's first byte + 1: Version 1 becomes 0x101; the sum left
        // stale), and none. Both field reads are logged unless the check stops at a bad Magic.
        for (const QByteArray field : {"", "Magic", "Version", "DISEqC_CONFIG_NB"}) {
            QByteArray image = makeValidImage(store, *map);
            if (const FieldRecord *r = field.isEmpty() ? nullptr : map->find(field.constData(), FieldType::UINT))
                image[r->address] = char(image[r->address] + 1);
            if (field != "DISEqC_CONFIG_NB")
                reseal(image);
            LogCapture log;
            QCOMPARE(store.imageValid(0, false, &image, map), field.isEmpty());
            QCOMPARE(log.take().size(), 2);
            QCOMPARE(store.imageValid(0, true, &image, map), field.isEmpty());
            QCOMPARE(log.take().size(), field == "Magic" ? 1 : 2);
        }
    }

    void fileRoundTrip()
    {
        // The second model: its name must not match the first one's as a prefix.
        ShippedStore s, other;
        QByteArray image = makeValidImage(s, *s.map(1));
        image[891] = char(image[891] + 5);  // stale checksum: saving must seal it
        s.hold(0x70000, image);
        s.setLoadedMap(s.map(1));
        QVERIFY(s.saveFile(path("a b é.scd"), 0));
        image[891] = char(image[891] - 5);
        QByteArray file = readAll(dir.filePath("a b é.scd"));
        QCOMPARE(file, pad32("ORBIX-1S") + image);
        QCOMPARE(s.heldAt(0x70000), image);  // sealed in memory too

        const QByteArray slot1(892, '\x07');
        other.hold(0x71000, slot1);  // another slot held stays
        QVERIFY(other.loadFile(path("a b é.scd"), 0));
        QCOMPARE(other.loadedMap(), other.map(1));
        QCOMPARE(other.heldAt(0x70000), image);
        QCOMPARE(other.heldAt(0x71000), slot1);
        // Bytes after the name's NUL and after the image change nothing.
        file[20] = 'x';
        QVERIFY(write("t.scd", file + "trailing bytes") && other.loadFile(path("t.scd"), 1));
        QCOMPARE(other.heldAt(0x71000), image);
    }

    void saveFailures()
    {
        ShippedStore s;
        QVERIFY(!s.saveFile(path("none.scd"), 0));  // no map loaded
        s.setLoadedMap(s.map(0));
        QVERIFY(!s.saveFile(path("none.scd"), 0));  // slot not held
        QVERIFY(!QFile::exists(dir.filePath("none.scd")));

        s.hold(0x70000, makeValidImage(s, *map));
#ifdef Q_OS_UNIX
        // A full disk, simulated by a file size limit: the old file survives.
        QVERIFY(write("full.scd", "previous content"));
        struct rlimit old {};
        ::getrlimit(RLIMIT_FSIZE, &old);
        const struct rlimit tiny {100, old.rlim_max};
        ::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &tiny);
        const bool saved = s.saveFile(path("full.scd"), 0);
        ::setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!saved);
        QCOMPARE(readAll(dir.filePath("full.scd")), QByteArray("previous content"));
#endif
        // A missing folder; a directory as target, which stays one.
        QVERIFY(!s.saveFile(path("missing/x.scd"), 0));
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        QVERIFY(!s.saveFile(path("sub"), 0));
        QVERIFY(QFileInfo(dir.filePath("sub")).isDir());
    }

    void loadRefusals()
    {
        // Each file refused, leaving that map loaded (-1: none) and what was held exactly as it was.
        const QByteArray image = makeValidImage(store, *map), good = pad32("ORBIX-1") + image;
        QByteArray badSum = good;
        badSum[32 + 890] = char(badSum[32 + 890] ^ 1);
        const std::tuple<QByteArray, uint, int> rows[] = {
            {QByteArray(), 0, -1}, {good.left(31), 0, -1},  // empty, short name
            {pad32("ORBIX-2") + image, 0, -1}, {pad32("orbix-1") + image, 0, -1},  // unknown model, case differs
            {good.left(923), 0, -1}, {good, 3, 0},  // one byte short, slot above maxSlot
            {badSum, 0, 0}};  // one of the image rules (each of them: imageRules)
        for (const auto &[content, slot, mapAfter] : rows) {
            ShippedStore s;
            const QByteArray held = makeValidImage(s, *s.map(1), 0x5C);
            s.hold(0x70000, held);
            s.setLoadedMap(s.map(1));
            QVERIFY(write("f.scd", content));
            QVERIFY(!s.loadFile(path("f.scd"), slot));
            QCOMPARE(s.loadedMap(), mapAfter < 0 ? nullptr : s.map(mapAfter));
            QCOMPARE(s.image().segments().size(), std::size_t(1));
            QCOMPARE(s.heldAt(0x70000), held);
        }
    }

private:
    ShippedStore store;
    const FieldMap *map = store.map(0);
    // Full-width names, a same-named record of another type first, records reaching past the image,
    // a 6-byte UINT, a 2-byte BOOL, a size-0 field, and a NUL-named record with one after it.
    const std::unique_ptr<FieldMap> synthetic = FieldMap::parse(
        mapHeader() + mapRecord("Dup", 0, 1, FieldType::BOOL) + mapRecord(kFull, 1, 1, FieldType::UINT)
        + mapRecord("Dup", 2, 1, FieldType::UINT) + mapRecord("Edge", 890, 2, FieldType::UINT)
        + mapRecord("Past", 891, 2, FieldType::UINT) + mapRecord("Huge", 0xFFFFFFFF, 2, FieldType::UINT)
        + mapRecord("Wide", 0, 6, FieldType::UINT) + mapRecord("Flag", 6, 2, FieldType::BOOL) + mapRecord("Zero", 8, 0, FieldType::UINT)
        + mapRecord("", 3, 1, FieldType::UINT) + mapRecord("After", 4, 1, FieldType::UINT));
    QTemporaryDir dir;
    QByteArray path(const char *name) const { return dir.filePath(name).toUtf8(); }
    bool write(const char *name, const QByteArray &bytes) const { return !writeFile(dir.filePath(name), bytes).isEmpty(); }
};

QTEST_GUILESS_MAIN(TestConfigStore)
#include "tst_configstore.moc"
