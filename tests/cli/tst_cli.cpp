// ostrel-riz-cli end to end: the tool's library against simulated units.
#include "app/demo/demounits.h"
#include "cli/cli.h"
#include "cli/fields.h"
#include "device/sim/simbench.h"
#include "../common/mapbuilder.h"

#include <QtTest>

#include <csignal>
#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

using simbench::Call;

namespace {

QByteArray scd(const FieldMap &m, const QByteArray &image) { return pad32(m.modelNameText()) + image; }

QByteArray flashSlot(int unit, const FieldMap &m, uint32_t s = 0)
{
    return toBytes(simbench::flashBytes(unit, m.slotAddress(s), m.imageSize));
}

// Channel plans with one fault each: (field, row, value) changes to the custom plan.
using Edits = QList<std::tuple<const char *, int, uint32_t>>;
const Edits Overlap{{"OutputFrequency", 1, 1230000}}; // 20 MHz from row 1's 1210, both 36 wide
const Edits UserBand9{{"UserBand", 0, 8}};             // SCR, shown 9
const Edits IfOut1300kHz{{"OutputFrequency", 0, 1300}}; // 1 MHz, below the image's 950

// Standard error as the tool writes it, raising a signal when a line it
// waits for appears: Ctrl-C at a known point of a write.
class Tripwire : public QIODevice
{
public:
    Tripwire(QString &text, QString trigger, int signal) : text(text), trigger(std::move(trigger)), signal(signal)
    {
        open(WriteOnly);
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        text += QString::fromUtf8(data, int(size));
        if (signal && text.contains(trigger)) {
            std::raise(signal);
            signal = 0;
        }
        return size;
    }

private:
    QString &text;
    QString trigger;
    int signal;
};

// Each D2XX call of `calls` as (kind, its number among calls of that kind).
using FaultPoint = QPair<int, int>;
QList<FaultPoint> faultPoints(const std::vector<simbench::TraceEntry> &calls, std::size_t from)
{
    QList<FaultPoint> points;
    std::array<int, simbench::callKinds> seen{};
    for (std::size_t i = 0; i < calls.size(); ++i) {
        const int kind = int(calls[i].call);
        ++seen[std::size_t(kind)];
        if (i >= from)
            points << FaultPoint{kind, seen[std::size_t(kind)]};
    }
    return points;
}

} // namespace

// The custom plan of model m with the edits, sealed again.
QByteArray edited(ShippedStore &s, const Edits &edits, int m = 0)
{
    QByteArray image = demo::customImage(*s.map(m));
    for (const auto &[field, row, value] : edits)
        s.setUInt(value, "CSS[" + QByteArray::number(row) + "]." + field, 0, &image, s.map(m));
    reseal(image);
    return image;
}

Q_DECLARE_METATYPE(Edits)

class TestCli : public QObject
{
    Q_OBJECT

    std::unique_ptr<ShippedStore> store;
    QTemporaryDir dir, data;
    QString out, err;

    int run(const QStringList &args)
    {
        out.clear();
        err.clear();
        QTextStream o(&out), e(&err);
        return cli::runCli(*store, QStringList{"ostrel-riz-cli"} + args, o, e);
    }
    // The same with stdout on a device, or stderr tripping a signal.
    int runTo(QIODevice &stdoutDevice, const QStringList &args)
    {
        err.clear();
        QTextStream o(&stdoutDevice), e(&err);
        return cli::runCli(*store, QStringList{"ostrel-riz-cli"} + args, o, e);
    }
    int runTripping(const QStringList &args, const QString &trigger, int signal)
    {
        out.clear();
        err.clear();
        Tripwire wire(err, trigger, signal);
        QTextStream o(&out), e(&wire);
        return cli::runCli(*store, QStringList{"ostrel-riz-cli"} + args, o, e);
    }
    QString path(const QString &name) const { return dir.filePath(name); }
    QByteArray custom(int m = 0) { return demo::customImage(*store->map(m)); }
    QByteArray edited(const Edits &edits, int m = 0) { return ::edited(*store, edits, m); }
    // The system's words for a file that is not there.
    static QString missingFile()
    {
        QFile none(QStringLiteral("no such file"));
        none.open(QIODevice::ReadOnly);
        return none.errorString();
    }
    // The user's data folder, where backups go: a scratch one here.
    QString dataFolder() const
    {
#ifdef Q_OS_UNIX
        return data.path();
#else
        return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#endif
    }
    QStringList backups() const { return QDir(dataFolder() + "/ostrel-riz/backups").entryList(QDir::Files, QDir::Name); }

private slots:
    void initTestCase()
    {
#ifdef Q_OS_UNIX
        qputenv("XDG_DATA_HOME", data.path().toUtf8());
#else
        QStandardPaths::setTestModeEnabled(true); // %LOCALAPPDATA%/qttest
#endif
        qputenv("XDG_RUNTIME_DIR", dir.path().toUtf8()); // the write locks
        simbench::setTraceEnabled(false);
    }

    void init()
    {
        simbench::reset();
        store = std::make_unique<ShippedStore>();
        QDir(dataFolder()).removeRecursively();
    }

    // One file to every unit of its model: a unit that loses power mid-write is
    // reported and the others are still written; every unit was backed up first.
    void writeAll_data()
    {
        QTest::addColumn<bool>("powerLoss");
        QTest::addColumn<bool>("backup");
        QTest::addColumn<QString>("jobs");
        QTest::newRow("all good, all at once") << false << true << "";
        QTest::newRow("all good, one at a time") << false << true << "1";
        QTest::newRow("second unit fails mid-write") << true << true << "1";
        QTest::newRow("second unit fails mid-write, two at a time") << true << true << "2";
        QTest::newRow("no backup") << false << false << "3";
    }
    void writeAll()
    {
        QFETCH(bool, powerLoss);
        QFETCH(bool, backup);
        QFETCH(QString, jobs);
        const FieldMap &m = *store->map(0);
        const int units[] = {demo::attachUnit(m, "A1"), demo::attachUnit(m, "B2"), demo::attachUnit(*store->map(1), "S9"),
                             demo::attachUnit(m, "C3")};
        QCOMPARE(run({"list"}), 0);
        QCOMPARE(out.split('\n')[1], QString("1: ORBIX-1, Serial Number=B2, HW Version=1.0, SW Version=1.0"));
        QCOMPARE(run({"list", "--json"}), 0);
        const QJsonObject listed = QJsonDocument::fromJson(out.toUtf8()).object()["units"].toArray()[2].toObject();
        QCOMPARE(listed["serial"].toString() + listed["model"].toString(), QString("S9ORBIX-1S"));
        QByteArray image = edited({{"OutputFrequency", 0, 1100000}});
        store->setBool(0, "Enable", 0, &image, &m);
        reseal(image);
        const QByteArray before = flashSlot(units[0], m);
        if (powerLoss)
            simbench::powerLoss(units[1], simbench::Op::Program, 1, 100);

        QStringList args{"write", writeFile(path("site.scd"), scd(m, image)), "--all"};
        if (!backup)
            args << "--no-backup";
        if (!jobs.isEmpty())
            args << "--jobs" << jobs;
        QCOMPARE(run(args), powerLoss ? 1 : 0);

        QByteArray expected = image;
        store->setBool(1, "Enable", 0, &expected, &m);
        reseal(expected);
        QVERIFY(expected != image);
        QCOMPARE(flashSlot(units[0], m), expected);
        QCOMPARE(flashSlot(units[3], m), expected);
        QCOMPARE(flashSlot(units[1], m) == expected, !powerLoss);
        QCOMPARE(flashSlot(units[2], *store->map(1)), custom(1));  // the other model is left alone
        QVERIFY2(out.contains(QRegularExpression("unit 1 \\(B2, ORBIX-1\\): FAILED")) == powerLoss, qPrintable(out));
        // Results in unit order, however many at once.
        QVERIFY(out.indexOf("unit 0 (A1") < out.indexOf("unit 1 (B2") && out.indexOf("unit 1 (B2") < out.indexOf("unit 3 (C3"));
        QVERIFY(out.contains("unit 2 (S9, ORBIX-1S): skipped"));
        QVERIFY(out.endsWith(QString("summary: %1 written, %2 failed, 1 skipped\n").arg(powerLoss ? 2 : 3).arg(powerLoss ? 1 : 0)));
        QVERIFY(err.contains("[4/4]"));

        const QStringList files = backups();
        QCOMPARE(files.size(), backup ? 3 : 0);
        for (int i = 0; i < files.size(); ++i)
            QVERIFY(files[i].startsWith(QStringList{"A1-", "B2-", "C3-"}[i]));
        if (backup)
            QCOMPARE(readAll(dataFolder() + "/ostrel-riz/backups/" + files[0]), scd(m, before));
    }

    // A plan the window would refuse, or a file it cannot load: no unit is touched.
    void writeRefused_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        ShippedStore s;
        const FieldMap &m = *s.map(0);
        const auto plan = [&](const Edits &edits) { return scd(m, ::edited(s, edits)); };
        const QString frequencies = "ERROR conflicting output frequencies or maximum number of channels per output "
                                    "sub-band has been reached!";
        QTest::newRow("overlap") << plan(Overlap) << 1 << frequencies + "\n  row 1: Mode SCR, Output 1, IF OUT 1210 MHz";
        QTest::newRow("overlap and bandwidths: the first rule speaks")
            << plan(Overlap + Edits{{"Bandwidth", 1, 40000}, {"Bandwidth", 2, 20000}}) << 1 << frequencies;
        QTest::newRow("IF OUT 1300 kHz") << plan(IfOut1300kHz) << 1
                                         << "values the window's editors would not take\n  row 1: IF OUT 1 MHz is outside 950 to 2150 MHz";
        QTest::newRow("user band 9 on SCR") << plan(UserBand9) << 1
                                            << "ERROR user band number not supported!\n  row 1: Mode SCR, UserBand 9";
        QByteArray stale = scd(m, demo::customImage(m));
        stale[40] = char(stale[40] + 1);
        QTest::newRow("checksum") << stale << 2 << "fails the Magic, Version or checksum check";
        QTest::newRow("unknown model") << pad32("ORBIX-9") + demo::customImage(m) << 2 << "not a configuration of a known model";
        QTest::newRow("cut short") << scd(m, demo::customImage(m)).chopped(1) << 2 << "or cut short";
    }
    void writeRefused()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, code);
        QFETCH(QString, message);
        const int unit = demo::attachUnit(*store->map(0), "A1");
        simbench::resetCounters();
        QCOMPARE(run({"write", writeFile(path("plan.scd"), file), "--unit", "0"}), code);
        QVERIFY2(err.contains(message), qPrintable(err));
        QCOMPARE(simbench::counters().calls, uint64_t(0));
        QCOMPARE(flashSlot(unit, *store->map(0)), custom());
        QVERIFY(backups().isEmpty());
    }

#ifdef Q_OS_UNIX // FIFOs, device nodes and the system's own texts
    // Output that did not arrive is a failure; -o - is stdout; a device or FIFO
    // is written into, the input file never; every message names file and reason.
    void outputs_data()
    {
        QTest::addColumn<QStringList>("args"); // %d: the scratch folder
        QTest::addColumn<bool>("fullStdout");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message"); // on stderr
        const QString full = "cannot write standard output: No space left on device";
        QTest::newRow("export, stdout full") << QStringList{"export", "%d/a.scd"} << true << 2 << full;
        QTest::newRow("list, stdout full") << QStringList{"list"} << true << 2 << full;
        QTest::newRow("diff that differs, stdout full") << QStringList{"diff", "%d/a.scd", "unit:0"} << true << 2 << full;
        // A node of its own: a tool that replaced the node would not take the system's with it.
        QTest::newRow("-o a full device") << QStringList{"export", "%d/a.scd", "-o", "%d/full"} << false << 2
                                          << "cannot write %d/full: No space left on device";
        QTest::newRow("-o the input") << QStringList{"export", "%d/a.scd", "-o", "%d/a.scd"} << false << 2
                                      << "refused: -o %d/a.scd is the input file";
        QTest::newRow("missing input") << QStringList{"show", "%d/none.scd"} << false << 2
                                       << "cannot read %d/none.scd: No such file or directory";
        QTest::newRow("read -o -") << QStringList{"read", "-o", "-"} << false << 0 << "slot 0 saved to -";
        QTest::newRow("import -o -") << QStringList{"import", "%d/a.json", "-o", "-"} << false << 0 << "-: ORBIX-1 configuration written";
        QTest::newRow("plot -o -") << QStringList{"plot", "%d/a.scd", "-o", "-"} << false << 0 << "drawn in -";
        QTest::newRow("read -o a FIFO") << QStringList{"read", "-o", "%d/fifo"} << false << 0 << "saved to %d/fifo";
    }
    void outputs()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, fullStdout);
        QFETCH(int, code);
        QFETCH(QString, message);
        const FieldMap &m = *store->map(0);
        const int unit = demo::attachUnit(m, "A1");
        const QByteArray other = edited(Overlap); // the unit differs from the file
        simbench::setFlashBytes(unit, m.slotAddress(0), std::vector<uint8_t>(other.begin(), other.end()));
        const QByteArray file = scd(m, custom());
        writeFile(path("a.scd"), file);
        QVERIFY(run({"export", path("a.scd"), "-o", path("a.json")}) == 0);
        args.replaceInStrings("%d", dir.path());
        message.replace("%d", dir.path());
        QFile::remove(path("fifo"));
        QVERIFY(::mkfifo(qPrintable(path("fifo")), 0600) == 0);
        const int reader = ::open(qPrintable(path("fifo")), O_RDONLY | O_NONBLOCK);
        QFile::remove(path("full"));
        if (::mknod(qPrintable(path("full")), S_IFCHR | 0666, makedev(1, 7)) != 0 && args.contains(path("full")))
            QSKIP("making a device node needs root");

        QFile devFull("/dev/full");
        QVERIFY(devFull.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        QCOMPARE(fullStdout ? runTo(devFull, args) : run(args), code);
        QVERIFY2(err.contains(message), qPrintable(err));
        QCOMPARE(readAll(path("a.scd")), file);
        const QByteArray stdoutBytes = out.toLatin1();
        if (args.contains("-") && args[0] != "plot")
            QCOMPARE(stdoutBytes, args[0] == "read" ? scd(m, flashSlot(unit, m)) : file);
        if (args[0] == "plot")
            QVERIFY(stdoutBytes.startsWith("<?xml") && stdoutBytes.contains("</svg>"));
        std::array<char, 4096> buffer{};
        const QByteArray fromFifo(buffer.data(), int(std::max<ssize_t>(0, ::read(reader, buffer.data(), buffer.size()))));
        ::close(reader);
        QCOMPARE(fromFifo, args.contains(path("fifo")) ? scd(m, flashSlot(unit, m)) : QByteArray());
        QVERIFY(!QFileInfo(path("fifo")).isFile()); // still the FIFO, not replaced
        QVERIFY(!QFileInfo(path("full")).isFile());
    }
#endif

    // A fault at each D2XX call of the backup read: the unit is written only
    // with its backup saved, and a slot that was not read is never called
    // invalid or different (exit 3, not 1).
    void backupReadFaults_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("nth");
        simbench::reset();
        simbench::setTraceEnabled(true);
        ShippedStore s;
        demo::attachUnit(*s.map(0), "A1");
        QString o, e;
        QTextStream out(&o), err(&e);
        cli::runCli(s, {"ostrel-riz-cli", "list"}, out, err);
        const std::size_t listing = simbench::trace().size();
        simbench::clearTrace();
        cli::runCli(s, {"ostrel-riz-cli", "read", "-o", "-"}, out, err);
        // The read repeats the listing, then reads the unit's slot 0.
        for (const FaultPoint &p : faultPoints(simbench::trace(), listing))
            QTest::addRow("%s #%d", simbench::describe({simbench::Call(p.first), {}, 0, {}}).c_str(), p.second)
                << p.first << p.second;
        simbench::setTraceEnabled(false);
    }
    void backupReadFaults()
    {
        QFETCH(int, kind);
        QFETCH(int, nth);
        const FieldMap &m = *store->map(0);
        const int unit = demo::attachUnit(m, "A1");
        const QByteArray before = flashSlot(unit, m);
        const QString site = writeFile(path("site.scd"), scd(m, edited({{"OutputFrequency", 0, 1100000}})));
        const QString copy = writeFile(path("before.scd"), scd(m, before));

        simbench::failCall(Call(kind), nth);
        const int written = run({"write", site, "--unit", "A1"});
        QVERIFY2(flashSlot(unit, m) == before || backups().size() == 1, qPrintable(out + err));
        QVERIFY2(written == 0 || out.contains("not written"), qPrintable(out + err));

        for (const QStringList &args : {QStringList{"read", "-o", "-"}, {"diff", "unit:A1", copy}, {"check", "unit:A1"}}) {
            simbench::clearFaults();
            QVERIFY(simbench::setFlashBytes(unit, m.slotAddress(0), std::vector<uint8_t>(before.begin(), before.end())));
            simbench::failCall(Call(kind), nth);
            const int code = run(args);
            QVERIFY2(code == 0 || code == 3, qPrintable(args.join(' ') + ": " + QString::number(code) + " " + err));
            if (args[0] != "diff") // diff prints nothing when the two are the same
                QCOMPARE(out.isEmpty(), code != 0);
        }
    }

    // write under trouble: Ctrl-C, another writer, a unit gone in its read-back,
    // a unit as the source.
    void writeTrouble_data()
    {
        QTest::addColumn<QString>("trouble");
        QTest::addColumn<QStringList>("args"); // after "write"; FILE: the file
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("written"); // per unit: 1 holds the file now, 0 as before
        const QStringList one{"FILE", "--all", "--jobs", "1"};
        QTest::newRow("Ctrl-C while saving the first")
            << "2 [1/3]" << one << 130 << "summary: 1 written, 0 failed, 0 skipped, 2 not started (stopped by a signal)"
            << "100";
        QTest::newRow("SIGTERM while writing the second")
            << "15 [2/3] unit 1 (B2, ORBIX-1): writing" << one << 143
            << "summary: 2 written, 0 failed, 0 skipped, 1 not started" << "110";
        QTest::newRow("another process writes unit 1") << "lock" << QStringList{"FILE", "--all"} << 1
                                                       << "unit 1 (B2, ORBIX-1): FAILED: another ostrel-riz-cli (process"
                                                       << "101";
        QTest::newRow("unit 2 gone in its read-back")
            << "last read" << QStringList{"FILE", "--all", "--jobs", "1", "--no-backup"} << 1
            << "unit 2 (C3, ORBIX-1): FAILED: written, but could not verify: reading it back failed (a USB error)\n"
               "  its configuration may now be invalid or unknown\n  no backup was saved (--no-backup)"
            << "111";
        QTest::newRow("from a unit") << "" << QStringList{"unit:C3", "--unit", "A1"} << 0
                                     << "unit 0 (A1, ORBIX-1): written and verified" << "100";
    }
    void writeTrouble()
    {
        QFETCH(QString, trouble);
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, result);
        QFETCH(QString, written);
        const FieldMap &m = *store->map(0);
        const int units[] = {demo::attachUnit(m, "A1"), demo::attachUnit(m, "B2"), demo::attachUnit(m, "C3")};
        QByteArray image = edited({{"OutputFrequency", 0, 1100000}});
        store->setBool(0, "Enable", 0, &image, &m);
        reseal(image);
        QByteArray expected = image;
        store->setBool(1, "Enable", 0, &expected, &m);
        reseal(expected);
        QVERIFY(simbench::setFlashBytes(units[2], m.slotAddress(0), std::vector<uint8_t>(image.begin(), image.end())));
        const QByteArray before[] = {flashSlot(units[0], m), flashSlot(units[1], m), flashSlot(units[2], m)};
        args.replaceInStrings("FILE", writeFile(path("site.scd"), scd(m, image)));
        args.prepend("write");

        // Another process holds unit 1's lock: a live one whose name the lock names.
        QProcess holder;
        if (trouble == "lock") {
#ifdef Q_OS_WIN
            const QByteArray name = "cmd";
            holder.start(name, {"/c", "pause"}); // waits on its open input
#else
            const QByteArray name = "sleep";
            holder.start(name, {"60"});
#endif
            QVERIFY(holder.waitForStarted());
            writeFile(dir.filePath("ostrel-riz-B2.lock"), QByteArray::number(holder.processId()) + "\n" + name + "\n\n");
        }
        if (trouble == "last read") {
            simbench::resetCounters();
            QCOMPARE(run(args), 0);
            const auto reads = int(simbench::counters().byKind[std::size_t(Call::Read)]);
            for (int i = 0; i < 3; ++i)
                QVERIFY(simbench::setFlashBytes(units[i], m.slotAddress(0), std::vector<uint8_t>(before[i].begin(), before[i].end())));
            simbench::failCall(Call::Read, reads, FT_DEVICE_NOT_FOUND);
        }
        const int signal = trouble.section(' ', 0, 0).toInt();
        QCOMPARE(signal ? runTripping(args, trouble.section(' ', 1), signal) : run(args), code);
        QVERIFY2(out.contains(result), qPrintable(out + err));
        for (int i = 0; i < 3; ++i)
            QVERIFY2(flashSlot(units[i], m) == (written[i] == '1' ? expected : before[i]), qPrintable(QString::number(i) + out));
        holder.kill();
        holder.waitForFinished();
        QFile::remove(dir.filePath("ostrel-riz-B2.lock"));
    }

    // Every unit is accounted for: a unit the listing could not read is shown
    // and counted as failed; a one-time USB error is retried.
    void enumeration_data()
    {
        QTest::addColumn<int>("trouble");
        QTest::addColumn<int>("listCode");
        QTest::addColumn<QString>("listed");
        QTest::addColumn<int>("writeCode");
        QTest::addColumn<QString>("summary");
        QTest::newRow("a stall while probing the second, once")
            << 0 << 0 << "1: ORBIX-1, Serial Number=B2" << 0 << "summary: 3 written, 0 failed, 0 skipped";
        QTest::newRow("the second's flash never answers")
            << 1 << 3 << "Serial Number=C3, HW Version=1.0, SW Version=1.0\n-: device 1 (B2, ORBIX-1): present, but" << 1
            << "device 1 (B2, ORBIX-1): FAILED: present, but could not be read when listing; not written\n"
               "summary: 2 written, 1 failed, 0 skipped";
        QTest::newRow("the second's strings unreadable")
            << 2 << 3 << "-: device 1 (, unknown model): present" << 1 << "summary: 2 written, 1 failed, 0 skipped";
    }
    void enumeration()
    {
        QFETCH(int, trouble);
        QFETCH(int, listCode);
        QFETCH(QString, listed);
        QFETCH(int, writeCode);
        QFETCH(QString, summary);
        const FieldMap &m = *store->map(0);
        demo::attachUnit(m, "A1");
        simbench::resetCounters();
        QCOMPARE(run({"list"}), 0);
        const auto firstProbeReads = int(simbench::counters().byKind[std::size_t(Call::Read)]);
        simbench::UnitConfig second = demo::unitConfig(m, "B2");
        if (trouble == 1)
            second.cbusFunctions[m.flashLineA] = simbench::cbusTxLed;
        second.stringsReadable = trouble != 2;
        QVERIFY(simbench::setFlashBytes(simbench::attach(second), 0, demo::flashImage(m)));
        demo::attachUnit(m, "C3");
        const auto stall = [&] {
            if (trouble == 0)
                simbench::failCall(Call::Read, firstProbeReads + 1);
        };
        stall();
        QCOMPARE(run({"list"}), listCode);
        QVERIFY2(out.contains(listed), qPrintable(out + err));
        stall();
        QCOMPARE(run({"write", writeFile(path("site.scd"), scd(m, custom())), "--all"}), writeCode);
        QVERIFY2(out.endsWith(summary + "\n"), qPrintable(out));
    }

    // U is an index or a serial number; slot 1 is the factory default.
    void read_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("slot");
        QTest::newRow("default unit") << QStringList{} << 0 << 0 << 0;
        QTest::newRow("by index") << QStringList{"--unit", "1"} << 0 << 1 << 0;
        QTest::newRow("by serial") << QStringList{"--unit", "B2"} << 0 << 1 << 0;
        QTest::newRow("factory default") << QStringList{"--unit", "B2", "--slot", "1"} << 0 << 1 << 1;
        QTest::newRow("unknown index") << QStringList{"--unit", "7"} << 3 << -1 << 0;
        QTest::newRow("serial of two units") << QStringList{"--unit", "D4"} << 2 << -1 << 0;
        QTest::newRow("index 2, or its serial") << QStringList{"--unit", "2"} << 0 << 2 << 0;
        QTest::newRow("--unit twice") << QStringList{"--unit", "0", "--unit", "1"} << 2 << -1 << 0;
        QTest::newRow("-o twice") << QStringList{"-o", "other.scd"} << 2 << -1 << 0;
        QTest::newRow("unknown serial") << QStringList{"--unit", "ZZ"} << 3 << -1 << 0;
        QTest::newRow("slot 2") << QStringList{"--slot", "2"} << 2 << -1 << 0;
    }
    void read()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(int, unit);
        QFETCH(int, slot);
        const FieldMap *maps[] = {store->map(0), store->map(1), store->map(0)};
        const int ids[] = {demo::attachUnit(*maps[0], "A1"), demo::attachUnit(*maps[1], "B2"), demo::attachUnit(*maps[2], "D4"),
                           demo::attachUnit(*maps[2], "D4")};
        QCOMPARE(run(QStringList{"read", "-o", path("out.scd")} + args), code);
        QCOMPARE(QFile::exists(path("out.scd")), unit >= 0);
        if (unit >= 0)
            QCOMPARE(readAll(path("out.scd")), scd(*maps[unit], flashSlot(ids[unit], *maps[unit], uint32_t(slot))));
        if (args.contains("D4"))
            QVERIFY2(err.contains("2: ORBIX-1, Serial Number=D4") && err.contains("3: ORBIX-1, Serial Number=D4"), qPrintable(err));
        QFile::remove(path("out.scd"));
    }

    void check_data()
    {
        QTest::addColumn<Edits>("edits");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("output");
        QTest::newRow("custom plan") << Edits{} << 0
                                     << "plan.scd: the channel plan passes the three checks, every value within the "
                                        "editors' limits\n";
        QTest::newRow("IF OUT 1.3 MHz, level and input beyond their limits")
            << (IfOut1300kHz + Edits{{"OutputLevel", 2, 200}, {"Mode", 4, 1}, {"InputPort", 4, 9}}) << 1
            << "plan.scd: values the window's editors would not take\n"
               "  row 1: IF OUT 1 MHz is outside 950 to 2150 MHz\n"
               "  row 3: Level 220 dBuV is outside 70 to 100 dBuV\n"
               "  row 5: Input 10 is outside 1 to 7\n"
               "  row 5: IF IN 0 MHz is outside 250 to 2400 MHz\n";
        QTest::newRow("overlap") << Overlap << 1
                                 << "plan.scd: ERROR conflicting output frequencies or maximum number of channels per "
                                    "output sub-band has been reached!\n"
                                    "  row 1: Mode SCR, Output 1, IF OUT 1210 MHz, Bandwidth 36 MHz\n"
                                    "  row 2: Mode SCR, Output 1, IF OUT 1230 MHz, Bandwidth 36 MHz\n";
        // In row order the widths are 20 (row 1, moved clear of row 2), 36, 30 and 24 MHz; the
        // tone of row 12 made STATIC and 40 MHz wide is a fifth.
        QTest::newRow("five bandwidths, user band 9")
            << Edits{{"Bandwidth", 11, 40000}, {"Mode", 11, 1}, {"Bandwidth", 0, 20000}, {"UserBand", 0, 8},
                     {"OutputFrequency", 0, 1100000}}
            << 1
            << "plan.scd: ERROR too many different bandwidth values!\n  row 12: Mode STATIC, Bandwidth 40 MHz\n"
               "plan.scd: ERROR user band number not supported!\n  row 1: Mode SCR, UserBand 9\n"
               "plan.scd: values the window's editors would not take\n"
               "  row 12: IF IN 0 MHz is outside 250 to 2400 MHz\n";
    }
    void check()
    {
        QFETCH(Edits, edits);
        QFETCH(int, code);
        QFETCH(QString, output);
        const QString file = writeFile(path("plan.scd"), scd(*store->map(0), edited(edits)));
        QVERIFY(QDir::setCurrent(dir.path()));
        QCOMPARE(run({"check", "plan.scd"}), code);
        QCOMPARE(out, output);
        QCOMPARE(run({"check", file, "--json"}), code);
        const QJsonObject json = QJsonDocument::fromJson(out.toUtf8()).object();
        QCOMPARE(json["passed"].toBool(), code == 0);
        QCOMPARE(json["failures"].toArray().size(), output.count("ERROR"));
        QCOMPARE(json["outOfLimits"].toArray().size(), output.count(" is outside "));
    }

    void show()
    {
        demo::attachUnit(*store->map(1), "S9");
        QCOMPARE(run({"show", "unit:S9"}), 0);
        const QStringList lines = out.split('\n');
        QVERIFY(lines.contains("Model: ORBIX-1S"));
        QVERIFY(lines.contains("Unit: 0: ORBIX-1S, Serial Number=S9, HW Version=1.0, SW Version=1.0"));
        QVERIFY(lines.contains("LNB supply: 14V/18V/22kHz"));
        QVERIFY(lines.contains("Input 5: mode MIN_GAIN, band LOW, polarization VERTICAL, satellite B, LO 9750 MHz"));
        QVERIFY(lines.contains("Input 7: mode NORMAL, band WIDE, polarization HORIZONTAL, satellite A, LO WB 10200 MHz"));
        QVERIFY(lines.contains("Output 3: mode CSS MODE, LO low 9750 MHz, LO high 10600 MHz"));
        QVERIFY(lines.contains("Channels: 32"));
        // Row 11: BSKYB, user band 10 stored as 9, level 60 plus the offset 20.
        const QStringList row11 = lines.filter(QRegularExpression("^11 ")).value(0).split(QRegularExpression("\\s+"));
        QCOMPARE(row11.join(' '), QString("11 BSKYB 1 0 MHz 3 1650 MHz 24 MHz 80 dBuV 10 0"));

        QCOMPARE(run({"show", "unit:0", "--json"}), 0);
        const QJsonObject json = QJsonDocument::fromJson(out.toUtf8()).object();
        QCOMPARE(json["unit"].toObject()["serial"].toString(), QString("S9"));
        QCOMPARE(json["inputs"].toArray().size(), 7);
        QCOMPARE(json["outputs"].toArray()[2].toObject()["loHigh"].toObject()["name"].toString(), QString("10600 MHz"));
        const QJsonObject channel = json["channels"].toArray()[10].toObject();
        QCOMPARE(channel["mode"].toObject()["name"].toString(), QString("BSKYB"));
        QCOMPARE(channel["userBand"].toInt(), 10);
        QCOMPARE(channel["levelDbuv"].toInt(), 80);
        QCOMPARE(channel["ifOutMHz"].toInt(), 1650);
    }

    void diff_data()
    {
        QTest::addColumn<Edits>("edits");
        QTest::addColumn<int>("otherModel");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("same") << Edits{} << 0 << QStringList{};
        QTest::newRow("another model") << Edits{} << 1 << QStringList{"model: ORBIX-1 -> ORBIX-1S"};
        QTest::newRow("channel values")
            << Edits{{"OutputFrequency", 2, 1700000}, {"OutputLevel", 2, 61}, {"InputFrequency", 9, 1588500}} << 0
            << QStringList{"CSS[2].OutputFrequency: 1680 MHz -> 1700 MHz", "CSS[2].OutputLevel: 80 dBuV -> 81 dBuV",
                           "CSS[9].InputFrequency: 1588 MHz (1588000) -> 1588 MHz (1588500)"};
    }
    void diff()
    {
        QFETCH(Edits, edits);
        QFETCH(int, otherModel);
        QFETCH(QStringList, lines);
        const QByteArray image = edited(edits);
        demo::attachUnit(*store->map(0), "A1");
        const QString a = writeFile(path("a.scd"), scd(*store->map(0), custom()));
        const QString b = writeFile(path("b.scd"), scd(*store->map(otherModel), image));
        QCOMPARE(run({"diff", a, b}), lines.isEmpty() ? 0 : 1);
        const QStringList shown = out.split('\n', Qt::SkipEmptyParts).mid(2);
        QCOMPARE(shown.filter(QRegularExpression("^(?!Checksum)")), lines);
        QCOMPARE(shown.filter(QRegularExpression("^Checksum")).size(), edits.isEmpty() ? 0 : 1);

        // A unit holds the same configuration as the file it was made from.
        QCOMPARE(run({"diff", "unit:A1", a, "--json"}), 0);
        QCOMPARE(QJsonDocument::fromJson(out.toUtf8()).object()["differ"].toBool(), false);
    }

    // Every field by name and back, byte for byte, for both models' realistic images.
    void exportImport_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<bool>("factory");
        QTest::addColumn<uint>("readOnly"); // the BOOL's byte
        QTest::newRow("ORBIX-1 custom") << 0 << false << 0u;
        QTest::newRow("ORBIX-1S custom") << 1 << false << 0u;
        QTest::newRow("ORBIX-1 factory") << 0 << true << 0u;
        QTest::newRow("ORBIX-1S factory, from a unit") << 1 << true << 0u;
        QTest::newRow("BOOL 0xCC") << 0 << false << 0xCCu;
        QTest::newRow("BOOL 1") << 1 << true << 1u;
    }
    void exportImport()
    {
        QFETCH(int, model);
        QFETCH(bool, factory);
        QFETCH(uint, readOnly);
        const FieldMap &m = *store->map(model);
        QByteArray image = factory ? demo::factoryImage(m) : demo::customImage(m);
        for (const FieldRecord *r : cli::fieldsOf(m))
            if (cli::fieldKey(*r) == "ReadOnly")
                image[int(r->address)] = char(readOnly);
        reseal(image);
        const QByteArray original = scd(m, image);
        QString source = writeFile(path("orig.scd"), original);
        if (model == 1 && factory) {
            const int unit = demo::attachUnit(m, "F1");
            simbench::setFlashBytes(unit, m.slotAddress(0), std::vector<uint8_t>(original.begin() + 32, original.end()));
            source = "unit:F1";
        }
        QCOMPARE(run({"export", source, "-o", path("fields.json")}), 0);
        const QJsonObject json = QJsonDocument::fromJson(readAll(path("fields.json"))).object();
        const QJsonArray fields = json["fields"].toArray();
        QCOMPARE(json["model"].toString(), QString(m.modelNameText()));
        QCOMPARE(fields.size(), 487);
        QCOMPARE(fields.first().toObject()["name"].toString(), QString("Magic"));
        QCOMPARE(fields.first().toObject()["value"].toInt(), 0xABCD);
        QCOMPARE(fields.last().toObject()["name"].toString(), QString("Checksum"));
        QCOMPARE(fields[3].toObject()["value"].toString(), QString("0000000000000000")); // Password, BYTES
        QCOMPARE(fields[2].toObject()["value"].toVariant(), readOnly > 1 ? QVariant(double(readOnly)) : QVariant(readOnly == 1));
        QCOMPARE(err.contains("warning: the BOOL ReadOnly holds 204"), readOnly == 0xCC);

        QCOMPARE(run({"import", path("fields.json"), "-o", path("back.scd")}), 0);
        QCOMPARE(readAll(path("back.scd")), original);
    }

    // import lists every problem and writes nothing.
    void importRefused_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("problems");
        QTest::newRow("malformed") << "{" << QStringList{"malformed JSON"};
        QTest::newRow("unknown model") << "model=ORBIX-9" << QStringList{"unknown model \"ORBIX-9\""};
        QTest::newRow("unknown name") << "rename 5 Foo"
                                      << QStringList{"fields[5]: \"Foo\" is not a field of ORBIX-1",
                                                     "\"LNBPowerModeMax\" is missing"};
        QTest::newRow("another model's name") << "rename 5 Extra"
                                              << QStringList{"fields[5]: \"Extra\" is a field of TEST, not of ORBIX-1"};
        QTest::newRow("given twice") << "rename 5 LNBPowerModeMin"
                                     << QStringList{"fields[5]: \"LNBPowerModeMin\" is given twice",
                                                    "\"LNBPowerModeMax\" is missing"};
        QTest::newRow("wrong type, too wide, bad hex, all at once")
            << "value 3 1;value 4 300;value 2 \"no\";value 6 -1;value 1 1.5"
            << QStringList{"fields[3]: \"Password\" (BYTES): expected 16 hexadecimal digits",
                           "fields[4]: \"LNBPowerModeMin\" (UINT): 300 is out of range for a 1-byte field (0 to 255)",
                           "fields[2]: \"ReadOnly\" (BOOL): expected true, false or a number",
                           "fields[6]: \"InputFrequencyMin\" (UINT): -1 is out of range for a 4-byte field (0 to "
                           "4294967295)",
                           "fields[1]: \"Version\" (UINT): expected a whole number"};
        QTest::newRow("declared type") << "type 1 INT" << QStringList{"fields[1]: \"Version\" is UINT, not INT"};
        QTest::newRow("INT that would read back as 246")
            << "value 14 -10"
            << QStringList{"fields[14]: \"OutputLevelOffset\" (INT): -10 is out of range for a 1-byte field (0 to 255)"};
        QTest::newRow("BOOL beyond a byte") << "value 2 256"
                                            << QStringList{"fields[2]: \"ReadOnly\" (BOOL): 256 is out of range"};
        QTest::newRow("key twice") << "twice" << QStringList{"key \"model\" at byte"};
        QTest::newRow("Magic wrong") << "value 0 0" << QStringList{"the configuration fails the Magic check"};
    }
    void importRefused()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, problems);
        // A third model whose only field is one the others lack.
        const QByteArray extra = mapHeader(892, 0x70000, "TEST") + mapRecord("Extra", 0, 1, FieldType::UINT);
        QVERIFY(store->loadMap(writeFile(path("extra.map"), extra)));

        QVERIFY(run({"export", writeFile(path("a.scd"), scd(*store->map(0), custom()))}) == 0);
        QJsonObject json = QJsonDocument::fromJson(out.toUtf8()).object();
        QJsonArray fields = json["fields"].toArray();
        QByteArray text;
        for (const QString &edit : change.split(';')) {
            const QStringList w = edit.split(' ');
            QJsonObject field = fields[w.value(1).toInt()].toObject();
            if (w[0] == "rename")
                field["name"] = w[2];
            else if (w[0] == "type")
                field["type"] = w[2];
            else if (w[0] == "value")
                field["value"] = QJsonDocument::fromJson("[" + w[2].toUtf8() + "]").array().first();
            else if (edit.startsWith("model="))
                json["model"] = edit.mid(6);
            else if (edit == "twice")
                text = "twice";
            else
                text = edit.toUtf8();
            if (w[0] != edit)
                fields[w.value(1).toInt()] = field;
        }
        json["fields"] = fields;
        if (text.isEmpty() || text == "twice") {
            const bool twice = text == "twice";
            text = QJsonDocument(json).toJson();
            if (twice) // the first of two equal keys names another model
                text.replace("\"model\":", "\"model\": \"ORBIX-1S\", \"model\":");
        }
        QCOMPARE(run({"import", writeFile(path("in.json"), text), "-o", path("out.scd")}), 2);
        QVERIFY(!QFile::exists(path("out.scd")));
        for (const QString &p : problems)
            QVERIFY2(err.contains("\n  " + p), qPrintable(err));
    }

    // doctor: a healthy unit, control pins not in I/O mode, a slot 0 spoiled,
    // and a chip whose strings cannot be read.
    void doctor_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("listed"); // what list says, on stderr when no unit is listed
        QTest::newRow("healthy") << 0 << 0 << "slot 0: valid" << "0: ORBIX-1, Serial Number=D1";
        QTest::newRow("CBUS1 not in I/O mode") << 1 << 1 << "advice: CBUS1 (flash B line) is not in I/O mode"
                                               << "device 0: CBUS1 (flash B line) is not in I/O mode";
        QTest::newRow("slot 0 spoiled") << 2 << 1 << "slot 0: not valid (checksum)" << "0: ORBIX-1, Serial Number=D1";
        QTest::newRow("strings unreadable") << 3 << 1 << "advice: no access to the device"
                                            << "device 0: no access to the device";
        QTest::newRow("an FT232R") << 4 << 0 << "device 0: FT232R, \"ORBIX-1\"" << "no unit found";
        QTest::newRow("slot 1 not read") << 5 << 1 << "advice: slot 1 could not be read (a USB error): run doctor again"
                                         << "0: ORBIX-1, Serial Number=D1";
    }
    void doctor()
    {
        QFETCH(int, fault);
        QFETCH(int, exitCode);
        QFETCH(QString, expected);
        const FieldMap &m = *store->map(0);
        simbench::UnitConfig config = demo::unitConfig(m, "D1");
        if (fault == 1)
            config.cbusFunctions[m.flashLineB] = simbench::cbusTxLed;
        if (fault == 3)
            config.stringsReadable = false;
        if (fault == 4)
            config.type = FT_DEVICE_232R;
        const int unit = simbench::attach(config);
        QVERIFY(simbench::setFlashBytes(unit, 0, demo::flashImage(m)));
        if (fault == 2)
            QVERIFY(simbench::setFlashBytes(unit, m.slotAddress(0) + 5, {0x5A}));
        // Slot 1 is read last: lowering its access line, after its bytes came, fails.
        run({"doctor"});
        const auto modes = int(simbench::counters().byKind[std::size_t(Call::SetBitMode)]);
        const auto lastReadFails = [&] {
            simbench::resetCounters();
            if (fault == 5)
                simbench::failCall(Call::SetBitMode, modes);
        };
        lastReadFails();
        QCOMPARE(run({"doctor"}), exitCode);
        QVERIFY2(out.contains(expected), qPrintable(out));
        QCOMPARE(out.contains("holds no valid configuration"), fault == 2);
        QCOMPARE(out.contains("flash: not identified"), fault == 1);
        lastReadFails();
        QCOMPARE(run({"doctor", "--json"}), exitCode);
        const QJsonObject device = QJsonDocument::fromJson(out.toUtf8()).object()["devices"].toArray()[0].toObject();
        QCOMPARE(device["advice"].toArray().isEmpty(), exitCode == 0);
        QCOMPARE(device["controlLines"].toArray()[1].toObject()["ioMode"].toBool(), fault == 0 || fault == 2 || fault == 5);
        QFETCH(QString, listed);
        QCOMPARE(run({"list"}), listed.startsWith("0:") ? 0 : 3);
        QVERIFY2((out + err).contains(listed), qPrintable(out + err));
    }

    // plot draws through the shared picture; an unknown suffix is refused.
    void plot()
    {
        const QString file = writeFile(path("site.scd"), scd(*store->map(0), custom()));
        QCOMPARE(run({"plot", file, "-o", path("plan.png")}), 0);
        QVERIFY(!QImage(path("plan.png")).isNull());
        QCOMPARE(run({"plot", file, "-o", path("plan.gif")}), 2);
        QVERIFY(!QFile::exists(path("plan.gif")));
    }

    // Usage errors, --help everywhere, and a stdout free of the field access lines.
    void usage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("no command") << QStringList{} << 2 << "no command given";
        QTest::newRow("unknown command") << QStringList{"frob"} << 2 << "unknown command 'frob'";
        QTest::newRow("unknown option") << QStringList{"list", "--frob"} << 2 << "Unknown option 'frob'";
        QTest::newRow("missing argument") << QStringList{"diff", "a.scd"} << 2 << "diff: wrong number of arguments";
        QTest::newRow("write without target") << QStringList{"write", "a.scd"} << 2 << "give either --unit U or --all";
        QTest::newRow("write to both") << QStringList{"write", "a.scd", "--all", "--unit", "0"} << 2 << "give either";
        QTest::newRow("no unit") << QStringList{"list"} << 3 << "no unit found";
        QTest::newRow("no unit, JSON") << QStringList{"list", "--json"} << 3 << "\"units\": [";
        QTest::newRow("an error, JSON") << QStringList{"show", "nothing.scd", "--json"} << 2
                                        << "\"error\": \"cannot read nothing.scd: " + missingFile() + "\"";
        QTest::newRow("--jobs without --all") << QStringList{"write", "a.scd", "--unit", "0", "--jobs", "2"} << 2
                                              << "--jobs goes with --all";
        QTest::newRow("help COMMAND") << QStringList{"help", "plot"} << 0 << "Usage: ostrel-riz-cli plot ";
        QTest::newRow("-V") << QStringList{"-V"} << 0 << "ostrel-riz-cli ";
        QTest::newRow("help") << QStringList{"--help"} << 0 << "Exit status:";
        for (const char *command : {"list", "read", "write", "check", "show", "diff", "export", "import"})
            QTest::newRow(command) << QStringList{command, "--help"} << 0
                                   << QString("Usage: ostrel-riz-cli %1 ").arg(command);
    }
    void usage()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(run(args), code);
        QVERIFY2((out + err).contains(text), qPrintable(out + err));
    }

    void logLines()
    {
        const QString file = writeFile(path("a.scd"), scd(*store->map(0), custom()));
        QCOMPARE(run({"show", file}), 0);
        QVERIFY(!out.contains("CONFIGURATION FIELD") && !err.contains("CONFIGURATION FIELD"));
        QCOMPARE(run({"show", file, "--verbose"}), 0);
        QVERIFY(!out.contains("CONFIGURATION FIELD"));
        QVERIFY(err.contains("READ CONFIGURATION FIELD UINT(1) \"LNBPowerMode\" @ 00000033 = 2\n"));
    }
};

QTEST_MAIN(TestCli)
#include "tst_cli.moc"
