#include "../common/mapbuilder.h"

#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

class TestScdFile : public QObject
{
    Q_OBJECT
private slots:
    void init() { store = std::make_unique<ShippedStore>(); }
    void roundTrip()
    {
        // The second model: its name must not match the first one's as a prefix.
        QByteArray image = makeValidImage(*store, *store->map(1));
        image[891] = char(image[891] + 5);  // stale checksum: saving must seal it
        store->hold(0x70000, image);
        store->setLoadedMap(store->map(1));
        QVERIFY(store->saveFile(path("a b é.scd"), 0));
        image[891] = char(image[891] - 5);
        QByteArray file = readAll(dir.filePath("a b é.scd"));
        QCOMPARE(file, pad32("ORBIX-1S") + image);
        QCOMPARE(store->heldAt(0x70000), image);  // sealed in memory too

        ShippedStore other;
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
        QVERIFY(!store->saveFile(path("none.scd"), 0));  // no map loaded
        store->setLoadedMap(store->map(0));
        QVERIFY(!store->saveFile(path("none.scd"), 0));  // slot not held
        QVERIFY(!QFile::exists(dir.filePath("none.scd")));

        store->hold(0x70000, makeValidImage(*store, *store->map(0)));
#ifdef Q_OS_UNIX
        // A full disk, simulated by a file size limit: the old file survives.
        QVERIFY(write("full.scd", "previous content"));
        struct rlimit old {};
        ::getrlimit(RLIMIT_FSIZE, &old);
        const struct rlimit tiny {100, old.rlim_max};
        ::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &tiny);
        const bool saved = store->saveFile(path("full.scd"), 0);
        ::setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!saved);
        QCOMPARE(readAll(dir.filePath("full.scd")), QByteArray("previous content"));
#endif
        // A missing folder; a directory as target, which stays one.
        QVERIFY(!store->saveFile(path("missing/x.scd"), 0));
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        QVERIFY(!store->saveFile(path("sub"), 0));
        QVERIFY(QFileInfo(dir.filePath("sub")).isDir());
    }

    void loadRefusals_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<uint>("slot");
        QTest::addColumn<int>("mapAfter");  // -1 none, else registry index
        ShippedStore s;
        const QByteArray image = makeValidImage(s, *s.map(0)), good = pad32("ORBIX-1") + image;
        QByteArray badSum = good;
        badSum[32 + 890] = char(badSum[32 + 890] ^ 1);
        QTest::newRow("empty file") << QByteArray() << 0u << -1;
        QTest::newRow("short name") << good.left(31) << 0u << -1;
        QTest::newRow("unknown model") << pad32("ORBIX-2") + image << 0u << -1;
        QTest::newRow("model case differs") << pad32("orbix-1") + image << 0u << -1;
        QTest::newRow("one byte short") << good.left(923) << 0u << -1;
        QTest::newRow("slot above maxSlot") << good << 3u << 0;
        // One of the image rules (each of them: tst_configstore).
        QTest::newRow("bad sum") << badSum << 0u << 0;
    }

    void loadRefusals()
    {
        QFETCH(QByteArray, content);
        QFETCH(uint, slot);
        QFETCH(int, mapAfter);
        // Something already held must stay exactly as it was.
        const QByteArray held = makeValidImage(*store, *store->map(1), 0x5C);
        store->hold(0x70000, held);
        store->setLoadedMap(store->map(1));
        QVERIFY(write("f.scd", content));
        QVERIFY(!store->loadFile(path("f.scd"), slot));
        QCOMPARE(store->loadedMap(), mapAfter < 0 ? nullptr : store->map(mapAfter));
        QCOMPARE(store->image().segments().size(), std::size_t(1));
        QCOMPARE(store->heldAt(0x70000), held);
        QVERIFY(!store->loadFile(path("does-not-exist.scd"), 0));
        QVERIFY(!store->loadedMap());
    }

private:
    QTemporaryDir dir;
    std::unique_ptr<ShippedStore> store;
    QByteArray path(const char *name) const { return dir.filePath(name).toUtf8(); }
    bool write(const char *name, const QByteArray &bytes) const { return !writeFile(dir.filePath(name), bytes).isEmpty(); }
};

QTEST_GUILESS_MAIN(TestScdFile)
#include "tst_scdfile.moc"
