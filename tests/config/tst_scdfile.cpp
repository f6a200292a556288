#include "config/configstore.h"
#include "../common/mapbuilder.h"

#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray modelField(const QByteArray &name)
{
    QByteArray f = name;
    return f.append(32 - f.size(), '\0');
}

} // namespace

class TestScdFile : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void roundTrip();
    void saveRefusals();
    void atomicSave();
    void refusals_data();
    void refusals();
    void secondModelAndExtraBytes();

private:
    QTemporaryDir dir;
    std::unique_ptr<ConfigStore> store;
    QByteArray path(const char *name) const { return dir.filePath(name).toUtf8(); }
};

void TestScdFile::init()
{
    store = std::make_unique<ConfigStore>();
    store->loadEmbeddedMaps();
    QCOMPARE(store->maps().size(), std::size_t(2));
}

void TestScdFile::roundTrip()
{
    const FieldMap *m = store->maps()[0].get();
    QByteArray image = makeValidImage(*store, *m);
    image[891] = char(image[891] + 5);  // stale checksum: saving must seal it
    store->image().add(m->slotAddress(0), m->imageSize, reinterpret_cast<const uint8_t *>(image.constData()));
    store->setLoadedMap(m);
    QVERIFY(store->saveFile(path("a b é.scd"), 0));

    const QByteArray file = readAll(dir.filePath("a b é.scd"));
    QCOMPARE(file.size(), 924);
    QCOMPARE(file.left(32), modelField("ORBIX-1"));
    image[891] = char(image[891] - 5);
    QCOMPARE(file.mid(32), image);
    QCOMPARE(store->slotPointer(0)[891], uint8_t(image[891]));  // sealed in memory too

    ConfigStore other;
    other.loadEmbeddedMaps();
    QVERIFY(other.loadFile(path("a b é.scd"), 0));
    QCOMPARE(other.loadedMap(), other.maps()[0].get());
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(other.slotPointer(0)), 892), image);
}

void TestScdFile::saveRefusals()
{
    QVERIFY(!store->saveFile(path("none.scd"), 0));  // no map loaded
    store->setLoadedMap(store->maps()[0].get());
    QVERIFY(!store->saveFile(path("none.scd"), 0));  // slot not held
    QVERIFY(!QFile::exists(dir.filePath("none.scd")));
}

void TestScdFile::atomicSave()
{
    const FieldMap *m = store->maps()[0].get();
    const QByteArray image = makeValidImage(*store, *m);
    store->image().add(m->slotAddress(0), m->imageSize, reinterpret_cast<const uint8_t *>(image.constData()));
    store->setLoadedMap(m);

    // A folder we may not write into: the old file survives and the save fails.
    const QString locked = dir.filePath("locked");
    QVERIFY(QDir().mkpath(locked));
    const QString target = locked + "/keep.scd";
    QVERIFY(writeAll(target, "previous content"));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    const bool privileged = ::geteuid() == 0;  // root ignores folder permissions
    if (!privileged) {
        QVERIFY(!store->saveFile(target.toUtf8(), 0));
        QCOMPARE(readAll(target), QByteArray("previous content"));
    }
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // A full disk, simulated by a file size limit: the old file survives.
    QVERIFY(writeAll(dir.filePath("full.scd"), "previous content"));
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = old;
    tiny.rlim_cur = 100;
    ::setrlimit(RLIMIT_FSIZE, &tiny);
    const bool saved = store->saveFile(path("full.scd"), 0);
    ::setrlimit(RLIMIT_FSIZE, &old);
    QVERIFY(!saved);
    QCOMPARE(readAll(dir.filePath("full.scd")), QByteArray("previous content"));
    // A path whose folder does not exist.
    QVERIFY(!store->saveFile(path("missing/dir/x.scd"), 0));
    // Saving over a directory leaves it alone.
    QVERIFY(!store->saveFile(locked.toUtf8(), 0));
    QVERIFY(QFileInfo(locked).isDir());
}

void TestScdFile::refusals_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<uint>("slot");
    QTest::addColumn<int>("mapAfter");  // -1 none, else registry index

    ConfigStore s;
    s.loadEmbeddedMaps();
    const FieldMap *m = s.maps()[0].get();
    const QByteArray good = modelField("ORBIX-1") + makeValidImage(s, *m);
    auto patched = [&](const char *field, uint32_t value) {
        QByteArray img = good.mid(32);
        s.setUInt(value, field, 0, &img, m);
        return good.left(32) + img;
    };

    QTest::newRow("empty file") << QByteArray() << 0u << -1;
    QTest::newRow("short name") << good.left(31) << 0u << -1;
    QTest::newRow("unknown model") << modelField("ORBIX-2") + good.mid(32) << 0u << -1;
    QTest::newRow("model case differs") << modelField("orbix-1") + good.mid(32) << 0u << -1;
    QTest::newRow("one byte short") << good.left(923) << 0u << -1;
    QTest::newRow("slot above maxSlot") << good << 3u << 0;
    QTest::newRow("bad magic") << patched("Magic", 0x1234) << 0u << 0;
    QTest::newRow("version 2") << patched("Version", 2) << 0u << 0;
    QByteArray badSum = good;
    badSum[500] = char(badSum[500] ^ 0x10);
    QTest::newRow("bad sum") << badSum << 0u << 0;
}

void TestScdFile::refusals()
{
    QFETCH(QByteArray, content);
    QFETCH(uint, slot);
    QFETCH(int, mapAfter);

    // Something already held must stay exactly as it was.
    const FieldMap *m = store->maps()[1].get();
    const QByteArray held = makeValidImage(*store, *m, 0x5C);
    store->image().add(m->slotAddress(0), 892, reinterpret_cast<const uint8_t *>(held.constData()));
    store->setLoadedMap(m);

    QVERIFY(writeAll(dir.filePath("f.scd"), content));
    QVERIFY(!store->loadFile(path("f.scd"), slot));
    QCOMPARE(store->loadedMap(), mapAfter < 0 ? nullptr : store->maps()[std::size_t(mapAfter)].get());
    QCOMPARE(store->image().segments().size(), std::size_t(1));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(store->image().locate(0x70000, 892)), 892), held);
    QVERIFY(!store->loadFile(path("does-not-exist.scd"), 0));
    QVERIFY(!store->loadedMap());
}

void TestScdFile::secondModelAndExtraBytes()
{
    const FieldMap *m = store->maps()[1].get();
    const QByteArray image = makeValidImage(*store, *m, 0x21);
    // A name field filled after its NUL still names the model.
    QByteArray name = modelField("ORBIX-1S");
    name[20] = 'x';
    QVERIFY(writeAll(dir.filePath("s.scd"), name + image + "trailing bytes"));
    // Slot 1 held already stays beside the loaded slot 0.
    const QByteArray slot1(892, '\x07');
    store->image().add(m->slotAddress(1), 892, reinterpret_cast<const uint8_t *>(slot1.constData()));
    QVERIFY(store->loadFile(path("s.scd"), 0));
    QCOMPARE(store->loadedMap(), m);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(store->slotPointer(0)), 892), image);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(store->slotPointer(1)), 892), slot1);
}

QTEST_GUILESS_MAIN(TestScdFile)
#include "tst_scdfile.moc"
