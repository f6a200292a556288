// The product's Windows backend, which loads the vendor's ftd2xx.dll at run
// time, against the chip model's D2XX door built as a DLL of that name and
// placed beside this program: the loader finds it as it would find FTDI's.
// The bench inside that DLL is driven through its control functions.
#include "app/demo/demounits.h"
#include "config/configstore.h"
#include "device/ftdiprobe.h"
#include "device/sim/simbench.h"
#include "../common/mapbuilder.h"
#include "../common/simunits.h"

#include <QtCore/QProcess>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <memory>

namespace {

struct Cli
{
    int exitCode = -1;
    QString out, err;
};

// The command-line tool copied alone into a folder, with the given DLL (or
// none) beside it; Qt's own DLLs come from the build's bin folder on PATH.
Cli runCli(const QString &dll, const QStringList &args)
{
    QTemporaryDir dir;
    const QString exe = dir.filePath(QStringLiteral("ostrel-riz-cli.exe"));
    const QString lib = dir.filePath(QStringLiteral("ftd2xx.dll"));
    if (!QFile::copy(QStringLiteral(CLI_EXE), exe) || (!dll.isEmpty() && !QFile::copy(dll, lib)))
        return {};
    // Copies keep the build's read-only bit, which would keep the folder.
    for (const QString &file : {exe, lib})
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PATH", QDir::toNativeSeparators(QCoreApplication::applicationDirPath()) + ';' + env.value("PATH"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir.path());
    p.start(exe, args);
    if (!p.waitForFinished(60000))
        return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

class TestD2xx : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        simbench::reset();
        store = std::make_unique<ConfigStore>();
        store->loadEmbeddedMaps();
        QCOMPARE(store->maps().size(), std::size_t(2));
    }

    // Enumeration, Read, Write with read-back, Read default and failing calls,
    // all through the library the loader found.
    void unitOperations()
    {
        QCOMPARE(ftdiprobe::backendProblem().kind, ftdiprobe::BackendProblem::None);
        const FieldMap &map = *store->maps()[0];
        const int unit = demo::attachUnit(map, "OR0001");
        demo::attachUnit(*store->maps()[1], "OR0002");
        QCOMPARE(store->enumerateUnits(), 2u);
        QCOMPARE(QByteArray(store->unitDeviceInfo(store->units()[1])->SerialNumber), QByteArray("OR0002"));

        // Each read replaces the image: the default first, then slot 0 to edit.
        const UnitEntry entry = store->units()[0];
        QVERIFY(store->openUnit(entry));
        QVERIFY(store->readFromUnit(1));
        QCOMPARE(toBytes(store->slotPointer(1), 892), flashAt(unit, map.slotAddress(1)));
        QVERIFY(store->readFromUnit(0));
        QCOMPARE(toBytes(store->slotPointer(0), 892), flashAt(unit, map.slotAddress(0)));
        QVERIFY(store->closeUnit());

        uint32_t level = 0;
        QVERIFY(store->getUInt(level, "CSS[0].OutputLevel"));
        QVERIFY(store->setUInt(level + 1, "CSS[0].OutputLevel"));
        QCOMPARE(store->writeConfiguration(&entry), ConfigStore::WriteStep::Done);
        QVERIFY(store->closeUnit());
        QCOMPARE(flashAt(unit, map.slotAddress(0), map.imageSize),
                 toBytes(store->slotPointer(0), 892));
        QCOMPARE(linesHigh(), uint8_t(0));

        // A call failing inside the library fails the operation, lines lowered.
        using simbench::Call;
        for (const auto &[call, nth] : {std::pair{Call::Read, 1}, {Call::Write, 6}, {Call::Purge, 1}}) {
            QVERIFY(store->openUnit(entry));
            simbench::failCall(call, nth);
            QVERIFY(!store->readFromUnit(0));
            store->closeUnit();
            QCOMPARE(linesHigh(), uint8_t(0));
        }
    }

    // Save and Load on a Windows path as the file dialog hands it over: drive
    // letter, backslashes, a folder and a name outside ASCII; saved again over
    // the first file.
    void windowsPaths()
    {
        QTemporaryDir dir;
        const QString folder = QDir::toNativeSeparators(dir.filePath(QString::fromUtf8("Configurazioni \u00e0\u00e8")));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QString::fromUtf8("\\unit\u00e0 \u20ac.scd");
        QVERIFY(path.at(1) == ':' && path.contains('\\'));
        const FieldMap &map = *store->maps()[0];
        const QByteArray image = demo::customImage(map);
        QVERIFY(store->image().add(map.slotAddress(0), map.imageSize, reinterpret_cast<const uint8_t *>(image.constData())));
        store->setLoadedMap(&map);
        QVERIFY(store->saveFile(path.toUtf8(), 0));
        QVERIFY(store->saveFile(path.toUtf8(), 0));
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{QString::fromUtf8("unit\u00e0 \u20ac.scd")});
        ConfigStore other;
        other.loadEmbeddedMaps();
        QVERIFY(other.loadFile(path.toUtf8(), 0));
        QCOMPARE(toBytes(other.slotPointer(0), 892), image);
    }

    // Without the library, or with one that lacks a call, no unit shows and
    // the tool says why; with it, the same tool finds no unit on an empty bench.
    void driverMissing_data()
    {
        QTest::addColumn<QString>("dll");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("said");
        const QString lacking = QStringLiteral(LACKING_DLL);
        QTest::newRow("no library, list") << QString() << "list" << "ftd2xx.dll not found";
        QTest::newRow("no library, doctor") << QString() << "doctor" << "install FTDI's D2XX driver";
        QTest::newRow("lacks a call") << lacking << "doctor" << "ftd2xx.dll lacks FT_Purge";
        QTest::newRow("library beside it") << QStringLiteral(SIM_DLL) << "list" << "no unit found";
    }
    void driverMissing()
    {
        QFETCH(QString, dll);
        QFETCH(QString, command);
        QFETCH(QString, said);
        const Cli cli = runCli(dll, {command});
        QCOMPARE(cli.exitCode, 3);
        QVERIFY2(cli.err.contains(said), qPrintable(cli.err));
        QCOMPARE(cli.err.contains("D2XX driver"), said != "no unit found");
        QVERIFY(cli.out.isEmpty());
    }

private:
    std::unique_ptr<ConfigStore> store;
};

QTEST_GUILESS_MAIN(TestD2xx)
#include "tst_d2xx.moc"
