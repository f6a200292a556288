// ostrel-riz-cli end to end: the tool's library against simulated units.
#include "app/demo/demounits.h"
#include "cli/cli.h"
#include "cli/fields.h"
#include "device/sim/simbench.h"
#include "../common/mapbuilder.h"
#include "../common/simunits.h"

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
    return flashAt(unit, m.slotAddress(s), m.imageSize);
}

// (field, row, value) changes to the custom plan.
using Edits = QList<std::tuple<const char *, int, uint32_t>>;
const Edits Overlap{{"OutputFrequency", 1, 1230000}}; // 20 MHz from row 1's 1210, both 36 wide

// Standard error that raises a signal once `trigger` appears in it: Ctrl-C
// at a known point of a write.
struct Tripwire : QIODevice {
    QString &text;
    QString trigger;
    int signal;
    Tripwire(QString &text, QString trigger, int signal) : text(text), trigger(std::move(trigger)), signal(signal)
    {
        open(WriteOnly);
    }
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        text += QString::fromUtf8(data, int(size));
        if (signal && text.contains(trigger))
            std::raise(std::exchange(signal, 0));
        return size;
    }
};

} // namespace

Q_DECLARE_METATYPE(Edits)

class TestCli : public QObject
{
    Q_OBJECT

    std::unique_ptr<ShippedStore> store;
    QTemporaryDir dir, data;
    QString out, err;

    // stdout goes to the device when one is given; stderr raises `signal`
    // once `trigger` appears.
    int run(const QStringList &args, QIODevice *stdoutDevice = nullptr, const QString &trigger = {}, int signal = 0)
    {
        out.clear();
        err.clear();
        Tripwire wire(err, trigger, signal);
        QTextStream o(&out), e(&wire);
        if (stdoutDevice)
            o.setDevice(stdoutDevice);
        return cli::runCli(*store, QStringList{"ostrel-riz-cli"} + args, o, e);
    }
    QString path(const QString &name) const { return dir.filePath(name); }
    QByteArray custom(int m = 0) { return demo::customImage(*store->map(m)); }
    // The custom plan of model m with the edits, sealed again.
    QByteArray edited(const Edits &edits, int m = 0)
    {
        QByteArray image = custom(m);
        for (const auto &[field, row, value] : edits)
            store->setUInt(value, "CSS[" + QByteArray::number(row) + "]." + field, 0, &image, store->map(m));
        reseal(image);
        return image;
    }
    // In the user's data folder: a scratch one here.
    static QString backupFolder() { return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/ostrel-riz/backups/"; }

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
        QDir(backupFolder()).removeRecursively();
    }

    // One file to one unit or to every unit of its model: each is backed up
    // first and the results come in unit order; a unit that fails, or that
    // another process writes, is reported and the others are still written; a
    // signal lets the unit being written finish and starts no other.
    void write_data()
    {
        QTest::addColumn<QString>("trouble");
        QTest::addColumn<QStringList>("args"); // after "write"; FILE: the file
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("results"); // on stdout, in this order, the last on the last line
        QTest::addColumn<QString>("written");     // per unit: 1 holds the file now, 0 as before, - not the file
        QTest::addColumn<QString>("saved");       // whose backups
        const auto each = [](const QString &b2, const QString &summary) {
            return QStringList{"unit 0 (A1, ORBIX-1): written and verified", "unit 1 (B2, ORBIX-1): " + b2,
                               "unit 2 (S9, ORBIX-1S): skipped", "unit 3 (C3, ORBIX-1): written", "summary: " + summary};
        };
        const QStringList one{"FILE", "--all", "--jobs", "1"};
        QTest::newRow("all at once") << "" << QStringList{"FILE", "--all"} << 0
                                     << each("written", "3 written, 0 failed, 1 skipped") << "1101" << "A1 B2 C3";
        QTest::newRow("second loses power mid-write, two at a time")
            << "power" << QStringList{"FILE", "--all", "--jobs", "2"} << 1
            << each("FAILED", "2 written, 1 failed, 1 skipped") << "1-01" << "A1 B2 C3";
        QTest::newRow("another process writes the second")
            << "lock" << QStringList{"FILE", "--all"} << 1
            << each("FAILED: another ostrel-riz-cli (process", "2 written, 1 failed, 1 skipped") << "1001" << "A1 C3";
        QTest::newRow("Ctrl-C while saving the first")
            << "2 [1/4]" << one << 130
            << QStringList{"summary: 1 written, 0 failed, 1 skipped, 2 not started (stopped by a signal)"} << "1000"
            << "A1";
        QTest::newRow("SIGTERM while writing the second")
            << "15 [2/4] unit 1 (B2, ORBIX-1): writing" << one << 143
            << QStringList{"summary: 2 written, 0 failed, 1 skipped, 1 not started"} << "1100" << "A1 B2";
        QTest::newRow("the last gone in its read-back")
            << "last read" << QStringList{"FILE", "--all", "--jobs", "1", "--no-backup"} << 1
            << QStringList{"unit 3 (C3, ORBIX-1): FAILED: written, but could not verify: reading it back failed (a USB "
                           "error)\n  its configuration may now be invalid or unknown\n  no backup was saved (--no-backup)",
                           "summary: 2 written, 1 failed, 1 skipped"}
            << "1101" << "";
        QTest::newRow("from a unit") << "" << QStringList{"unit:C3", "--unit", "A1"} << 0
                                     << QStringList{"unit 0 (A1, ORBIX-1): written and verified", "summary: 1 written"}
                                     << "1000" << "A1";
    }
    void write()
    {
        QFETCH(QString, trouble);
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QStringList, results);
        QFETCH(QString, written);
        QFETCH(QString, saved);
        const FieldMap &m = *store->map(0);
        const FieldMap *maps[] = {&m, &m, store->map(1), &m};
        const int units[] = {demo::attachUnit(m, "A1"), demo::attachUnit(m, "B2"), demo::attachUnit(*maps[2], "S9"),
                             demo::attachUnit(m, "C3")};
        // "Enable" clear in the file, set on the units.
        QByteArray image = edited({{"OutputFrequency", 0, 1100000}}), expected = image;
        for (auto [bytes, enable] : {std::pair{&image, false}, {&expected, true}}) {
            store->setBool(enable, "Enable", 0, bytes, &m);
            reseal(*bytes);
        }
        QVERIFY(simbench::setFlashBytes(units[3], m.slotAddress(0), std::vector<uint8_t>(image.begin(), image.end())));
        const QByteArray before[] = {flashSlot(units[0], m), flashSlot(units[1], m), flashSlot(units[2], *maps[2]),
                                     flashSlot(units[3], m)};
        args.replaceInStrings("FILE", writeFile(path("site.scd"), scd(m, image)));
        args.prepend("write");

        // Another process holds unit 1's lock: a live one whose name the lock names.
        QProcess holder;
        if (trouble == "lock") {
#ifdef Q_OS_WIN
            holder.start("cmd", {"/c", "pause"}); // waits on its open input
#else
            holder.start("sleep", {"60"});
#endif
            QVERIFY(holder.waitForStarted());
            writeFile(dir.filePath("ostrel-riz-B2.lock"),
                      QByteArray::number(holder.processId()) + "\n" + holder.program().toUtf8() + "\n\n");
        }
        if (trouble == "power")
            simbench::powerLoss(units[1], simbench::Op::Program, 1, 100);
        if (trouble == "last read") {
            simbench::resetCounters();
            QCOMPARE(run(args), 0);
            const auto reads = int(simbench::counters().byKind[std::size_t(Call::Read)]);
            for (int i = 0; i < 4; ++i)
                QVERIFY(simbench::setFlashBytes(units[i], maps[i]->slotAddress(0),
                                                std::vector<uint8_t>(before[i].begin(), before[i].end())));
            simbench::failCall(Call::Read, reads, FT_DEVICE_NOT_FOUND);
        }
        QCOMPARE(run(args, nullptr, trouble.section(' ', 1), trouble.section(' ', 0, 0).toInt()), code);
        int at = 0;
        for (const QString &line : results) {
            at = out.indexOf(line, at);
            QVERIFY2(at >= 0, qPrintable(line + "\n--- not in:\n" + out));
        }
        QCOMPARE(out.indexOf('\n', at), out.size() - 1);
        for (int i = 0; i < 4; ++i) {
            const QByteArray now = flashSlot(units[i], *maps[i]);
            QVERIFY2(written[i] == '-' ? now != expected : now == (written[i] == '1' ? expected : before[i]),
                     qPrintable(QString::number(i) + out));
        }
        const QStringList files = QDir(backupFolder()).entryList(QDir::Files, QDir::Name);
        QCOMPARE(QStringList(files).replaceInStrings(QRegularExpression("-.*"), "").join(' '), saved);
        if (!files.isEmpty())
            QCOMPARE(readAll(backupFolder() + files[0]), scd(m, before[0]));
        holder.kill();
        holder.waitForFinished();
        QFile::remove(dir.filePath("ostrel-riz-B2.lock"));
    }

    // check lists every failed rule with its rows, then every value beyond the
    // editors' limits; write refuses such a plan, or a file it cannot load,
    // with the first of those reports and before any unit is touched.
    void plans_data()
    {
        QTest::addColumn<Edits>("edits");
        QTest::addColumn<int>("spoil"); // 1 the checksum, 2 the model name, 3 a byte short
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("output"); // check's; for a file refused, on stderr
        QTest::newRow("custom plan") << Edits{} << 0 << 0
                                     << "plan.scd: the channel plan passes the three checks, every value within the "
                                        "editors' limits\n";
        QTest::newRow("IF OUT 1.3 MHz, level and input beyond their limits")
            << Edits{{"OutputFrequency", 0, 1300}, {"OutputLevel", 2, 200}, {"Mode", 4, 1}, {"InputPort", 4, 9}} << 0
            << 1
            << "plan.scd: values the window's editors would not take\n"
               "  row 1: IF OUT 1 MHz is outside 950 to 2150 MHz\n"
               "  row 3: Level 220 dBuV is outside 70 to 100 dBuV\n"
               "  row 5: Input 10 is outside 1 to 7\n"
               "  row 5: IF IN 0 MHz is outside 250 to 2400 MHz\n";
        QTest::newRow("overlap") << Overlap << 0 << 1
                                 << "plan.scd: ERROR conflicting output frequencies or maximum number of channels per "
                                    "output sub-band has been reached!\n"
                                    "  row 1: Mode SCR, Output 1, IF OUT 1210 MHz, Bandwidth 36 MHz\n"
                                    "  row 2: Mode SCR, Output 1, IF OUT 1230 MHz, Bandwidth 36 MHz\n";
        // In row order the widths are 20 (row 1, moved clear of row 2), 36, 30 and 24 MHz; the
        // tone of row 12 made STATIC and 40 MHz wide is a fifth.
        QTest::newRow("five bandwidths, user band 9")
            << Edits{{"Bandwidth", 11, 40000}, {"Mode", 11, 1}, {"Bandwidth", 0, 20000}, {"UserBand", 0, 8},
                     {"OutputFrequency", 0, 1100000}}
            << 0 << 1
            << "plan.scd: ERROR too many different bandwidth values!\n  row 12: Mode STATIC, Bandwidth 40 MHz\n"
               "plan.scd: ERROR user band number not supported!\n  row 1: Mode SCR, UserBand 9\n"
               "plan.scd: values the window's editors would not take\n"
               "  row 12: IF IN 0 MHz is outside 250 to 2400 MHz\n";
        QTest::newRow("checksum") << Edits{} << 1 << 2 << "fails the Magic, Version or checksum check";
        QTest::newRow("unknown model") << Edits{} << 2 << 2 << "not a configuration of a known model";
        QTest::newRow("cut short") << Edits{} << 3 << 2 << "or cut short";
    }
    void plans()
    {
        QFETCH(Edits, edits);
        QFETCH(int, spoil);
        QFETCH(int, code);
        QFETCH(QString, output);
        const FieldMap &m = *store->map(0);
        const int unit = demo::attachUnit(m, "A1");
        QByteArray file = scd(m, edited(edits));
        if (spoil == 1)
            file[40] = char(file[40] + 1);
        if (spoil == 2)
            file.replace(0, 32, pad32("ORBIX-9"));
        if (spoil == 3)
            file.chop(1);
        writeFile(path("plan.scd"), file);
        QVERIFY(QDir::setCurrent(dir.path()));
        QCOMPARE(run({"check", "plan.scd"}), code);
        QVERIFY2(code == 2 ? err.contains(output) : out == output, qPrintable(out + err));
        QCOMPARE(run({"check", path("plan.scd"), "--json"}), code);
        const QJsonObject json = QJsonDocument::fromJson(out.toUtf8()).object();
        QCOMPARE(json["passed"].toBool(), code == 0);
        QCOMPARE(json["failures"].toArray().size(), output.count("ERROR"));
        QCOMPARE(json["outOfLimits"].toArray().size(), output.count(" is outside "));
        if (code == 0)
            return;

        simbench::resetCounters();
        QCOMPARE(run({"write", "plan.scd", "--unit", "0"}), code);
        const QString first = output.section(QRegularExpression("\n(?! )"), 0, 0);
        QVERIFY2(err.contains(code == 2 ? output : first + "\n  Nothing was written.\n"), qPrintable(err));
        QCOMPARE(simbench::counters().calls, uint64_t(0));
        QCOMPARE(flashSlot(unit, m), custom());
        QVERIFY(!QDir(backupFolder()).exists());
    }

    // Usage errors, help, and messages that name file and reason; output that
    // did not arrive is a failure; -o - is stdout, a device or a FIFO is
    // written into, the input file never; field access lines only with
    // --verbose, and on stderr.
    void commands_data()
    {
        QTest::addColumn<QStringList>("args"); // %d: the scratch folder
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text"); // on stdout or stderr; | between texts
        QTest::addColumn<bool>("fullStdout");
        const auto row = [](const char *name, const QStringList &args, int code, const QString &text, bool full = false) {
            QTest::newRow(name) << args << code << text << full;
        };
        row("no command", {}, 2, "no command given");
        row("unknown command", {"frob"}, 2, "unknown command 'frob'");
        row("unknown option", {"list", "--frob"}, 2, "Unknown option 'frob'");
        row("missing argument", {"diff", "a.scd"}, 2, "diff: wrong number of arguments");
        row("write without target", {"write", "a.scd"}, 2, "give either --unit U or --all");
        row("write to both", {"write", "a.scd", "--all", "--unit", "0"}, 2, "give either");
        row("--jobs without --all", {"write", "a.scd", "--unit", "0", "--jobs", "2"}, 2, "--jobs goes with --all");
        row("an error, JSON", {"show", "none.scd", "--json"}, 2, "\"error\": \"cannot read none.scd: ");
        row("help COMMAND", {"help", "plot"}, 0, "Usage: ostrel-riz-cli plot ");
        row("-V", {"-V"}, 0, "ostrel-riz-cli ");
        row("help", {"--help"}, 0, "Exit status:");
        for (const char *command : {"list", "read", "write", "check", "show", "diff", "export", "import"})
            row(command, {command, "--help"}, 0, QString("Usage: ostrel-riz-cli %1 ").arg(command));
        row("plot a PNG", {"plot", "%d/a.scd", "-o", "%d/plan.png"}, 0, "drawn in %d/plan.png");
        row("plot a GIF", {"plot", "%d/a.scd", "-o", "%d/plan.gif"}, 2, "unknown picture format");
        row("--verbose", {"show", "%d/a.scd", "--verbose"}, 0,
            "READ CONFIGURATION FIELD UINT(1) \"LNBPowerMode\" @ 00000033 = 2\n");
        // show and diff: as the panels show them; diff raw where two values look alike.
        row("show a unit", {"show", "unit:B2"}, 0,
            "Model: ORBIX-1S\nUnit: 1: ORBIX-1S, Serial Number=B2, HW Version=1.0, SW Version=1.0\nLNB supply: 14V/18V/22kHz\n");
        // Channel row 11: BSKYB, user band 10 stored as 9, level 60 plus the offset 20.
        row("show inputs, an output, a channel", {"show", "unit:1"}, 0,
            "Input 5: mode MIN_GAIN, band LOW, polarization VERTICAL, satellite B, LO 9750 MHz\n|"
            "Input 7: mode NORMAL, band WIDE, polarization HORIZONTAL, satellite A, LO WB 10200 MHz\n|"
            "Output 3: mode CSS MODE, LO low 9750 MHz, LO high 10600 MHz\n|\n11 BSKYB 1 0 MHz 3 1650 MHz 24 MHz 80 dBuV 10 0\n");
        row("show a channel, JSON", {"show", "unit:1", "--json"}, 0,
            "\"levelDbuv\": 80,\n \"mode\": {\n \"code\": 5,\n \"name\": \"BSKYB\"\n },\n \"output\": 3,\n \"pin\": 0,\n"
            " \"row\": 11,\n \"userBand\": 10\n");
        row("diff, a unit and its file", {"diff", "unit:0", "%d/o.scd", "--json"}, 0, "\"differ\": false");
        row("diff, another model", {"diff", "%d/a.scd", "%d/s.scd"}, 1, "+++ %d/s.scd\nmodel: ORBIX-1 -> ORBIX-1S\n");
        row("diff, channel values", {"diff", "%d/a.scd", "%d/b.scd"}, 1,
            "+++ %d/b.scd\nCSS[2].OutputFrequency: 1680 MHz -> 1700 MHz\nCSS[2].OutputLevel: 80 dBuV -> 81 dBuV\n"
            "CSS[9].InputFrequency: 1588 MHz (1588000) -> 1588 MHz (1588500)\nChecksum: ");
        // read: U is an index or a serial number, refused when it could be two units.
        row("read by index", {"read", "-o", "-", "--unit", "1"}, 0, "unit 1 (B2, ORBIX-1S): slot 0 saved to -");
        row("read by serial, slot 1", {"read", "-o", "-", "--unit", "B2", "--slot", "1"}, 0,
            "unit 1 (B2, ORBIX-1S): slot 1 saved to -");
        row("read, unknown index", {"read", "-o", "-", "--unit", "7"}, 3, "no unit 7: give an index from 0 to 4");
        row("read, serial of two units", {"read", "-o", "-", "--unit", "D4"}, 2,
            "unit D4 is ambiguous: 2 units have that serial number; give the index\n"
            "  2: ORBIX-1, Serial Number=D4, HW Version=1.0, SW Version=1.0\n  3: ORBIX-1, Serial Number=D4");
        row("read, index 3 or the serial of unit 4", {"read", "-o", "-", "--unit", "3"}, 2,
            "unit 3 is ambiguous: unit 3 in the list, or the unit whose serial number it is (unit 4)");
        row("read --unit twice", {"read", "-o", "-", "--unit", "0", "--unit", "1"}, 2, "--unit is given more than once");
        row("read --slot 2", {"read", "-o", "-", "--slot", "2"}, 2, "--slot is 0 (working configuration) or 1");
#ifdef Q_OS_UNIX // FIFOs, device nodes and the system's own texts
        const QString full = "cannot write standard output: No space left on device";
        row("export, stdout full", {"export", "%d/a.scd"}, 2, full, true);
        row("diff that differs, stdout full", {"diff", "%d/a.scd", "unit:0"}, 2, full, true);
        // A node of its own: a tool that replaced the node would not take the system's with it.
        row("-o a full device", {"read", "-o", "%d/full"}, 2, "cannot write %d/full: No space left on device");
        row("-o the input", {"export", "%d/a.scd", "-o", "%d/a.scd"}, 2, "refused: -o %d/a.scd is the input file");
        row("missing input", {"show", "%d/none.scd"}, 2, "cannot read %d/none.scd: No such file or directory");
        row("read -o -", {"read", "-o", "-"}, 0, "unit 0 (A1, ORBIX-1): slot 0 saved to -");
        row("import -o -", {"import", "%d/a.json", "-o", "-"}, 0, "-: ORBIX-1 configuration written");
        row("plot -o -", {"plot", "%d/a.scd", "-o", "-"}, 0, "drawn in -");
        row("read -o a FIFO", {"read", "-o", "%d/fifo"}, 0, "saved to %d/fifo");
#endif
    }
    void commands()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, text);
        QFETCH(bool, fullStdout);
        const FieldMap &m = *store->map(0);
        const FieldMap *maps[] = {&m, store->map(1)};
        const int units[] = {demo::attachUnit(m, "A1"), demo::attachUnit(*maps[1], "B2")};
        for (const char *serial : {"D4", "D4", "3"})
            demo::attachUnit(m, serial);
        const QByteArray other = edited(Overlap); // unit 0 differs from the file
        QVERIFY(simbench::setFlashBytes(units[0], m.slotAddress(0), std::vector<uint8_t>(other.begin(), other.end())));
        const QByteArray file = scd(m, custom());
        writeFile(path("a.scd"), file);
        writeFile(path("o.scd"), scd(m, other));
        writeFile(path("s.scd"), scd(*maps[1], custom(1)));
        writeFile(path("b.scd"), scd(m, edited({{"OutputFrequency", 2, 1700000}, {"OutputLevel", 2, 61}, {"InputFrequency", 9, 1588500}})));
        QCOMPARE(run({"export", path("a.scd"), "-o", path("a.json")}), 0);
        args.replaceInStrings("%d", dir.path());
        text.replace("%d", dir.path());
        QFile devFull("/dev/full");
        QVERIFY(!fullStdout || devFull.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
#ifdef Q_OS_UNIX
        QFile::remove(path("fifo"));
        QVERIFY(::mkfifo(qPrintable(path("fifo")), 0600) == 0);
        const int reader = ::open(qPrintable(path("fifo")), O_RDONLY | O_NONBLOCK);
        QFile::remove(path("full"));
        if (::mknod(qPrintable(path("full")), S_IFCHR | 0666, makedev(1, 7)) != 0 && args.contains(path("full")))
            QSKIP("making a device node needs root");
#endif

        QCOMPARE(run(args, fullStdout ? &devFull : nullptr), code);
        // Tables and JSON pad with spaces: runs of them may count as one.
        const QString all = out + err;
        for (const QString &t : text.split('|'))
            QVERIFY2(all.contains(t) || QString(all).replace(QRegularExpression(" +"), " ").contains(t), qPrintable(all));
        QCOMPARE(err.contains("CONFIGURATION FIELD"), args.contains("--verbose"));
        QVERIFY(!out.contains("CONFIGURATION FIELD"));
        QVERIFY2(code < 2 || args.contains("--json") || out.isEmpty(), qPrintable(out)); // an error prints no result
        QCOMPARE(readAll(path("a.scd")), file);
        const QByteArray stdoutBytes = out.toLatin1();
        const QRegularExpressionMatch read = QRegularExpression("unit (\\d) .*: slot (\\d) saved to -").match(text);
        if (read.hasMatch()) {
            const int n = read.captured(1).toInt();
            QCOMPARE(stdoutBytes, scd(*maps[n], flashSlot(units[n], *maps[n], read.captured(2).toUInt())));
        }
        if (args.value(0) == "import" && args.contains("-"))
            QCOMPARE(stdoutBytes, file);
        if (args.value(0) == "plot" && args.contains("-"))
            QVERIFY(stdoutBytes.startsWith("<?xml") && stdoutBytes.contains("</svg>"));
        QCOMPARE(QImage(path("plan.png")).isNull(), !args.contains(path("plan.png")));
        QFile::remove(path("plan.png"));
#ifdef Q_OS_UNIX
        std::array<char, 4096> buffer{};
        const QByteArray fromFifo(buffer.data(), int(std::max<ssize_t>(0, ::read(reader, buffer.data(), buffer.size()))));
        ::close(reader);
        QCOMPARE(fromFifo, args.contains(path("fifo")) ? scd(m, flashSlot(units[0], m)) : QByteArray());
#endif
    }

    // A fault at each D2XX call of the backup read: the unit is written only
    // with its backup saved, and a slot that was not read is never called
    // invalid or different (exit 3, not 1).
    void backupReadFaults_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("nth");
        init();
        demo::attachUnit(*store->map(0), "A1");
        run({"list"});
        const simbench::Counters listing = simbench::counters();
        simbench::resetCounters();
        run({"read", "-o", "-"});
        // The read repeats the listing, then reads the unit's slot 0: the calls beyond the listing's.
        for (int kind = 0; kind < simbench::callKinds; ++kind)
            for (int nth = int(listing.byKind[kind]) + 1; nth <= int(simbench::counters().byKind[kind]); ++nth)
                QTest::addRow("%s #%d", simbench::describe({Call(kind), {}, 0, {}}).c_str(), nth) << kind << nth;
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
        const bool saved = QDir(backupFolder()).entryList(QDir::Files).size() == 1;
        QVERIFY2(flashSlot(unit, m) == before || saved, qPrintable(out + err));
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

    // Every device is accounted for: list shows one it could not read, write
    // --all counts it as failed, doctor says what is wrong with it; a one-time
    // USB error while listing is retried.
    void devices_data()
    {
        QTest::addColumn<int>("fault");       // of the second device
        QTest::addColumn<QString>("listed");  // by list, on stdout or stderr; exit 3 unless it is a unit line
        QTest::addColumn<QString>("doctor");  // on stdout; exit 1 with advice
        QTest::addColumn<QString>("summary"); // write --all's last lines; exit 1 when one failed
        const QString fine = "summary: 3 written, 0 failed, 0 skipped";
        QTest::newRow("a USB stall while listing, once") << 0 << "1: ORBIX-1, Serial Number=B2" << "slot 0: valid" << fine;
        QTest::newRow("slot 0 spoiled") << 1 << "1: ORBIX-1, Serial Number=B2"
                                        << "slot 0: not valid (checksum)\n  slot 1: valid\n"
                                           "  advice: slot 0 holds no valid configuration"
                                        << fine;
        QTest::newRow("slot 1 not read") << 2 << "1: ORBIX-1, Serial Number=B2"
                                         << "advice: slot 1 could not be read (a USB error): run doctor again" << fine;
        QTest::newRow("CBUS1 not in I/O mode")
            << 3 << "-: device 1 (B2, ORBIX-1): present, but could not be read (a USB error, or another program holds "
                    "it); not a unit index\nostrel-riz-cli: devices present but not read: 1\n"
                    "  device 1: CBUS1 (flash B line) is not in I/O mode"
            << "flash: not identified\n  advice: CBUS1 (flash B line) is not in I/O mode"
            << "device 1 (B2, ORBIX-1): FAILED: present, but could not be read when listing; not written\n"
               "summary: 2 written, 1 failed, 0 skipped";
        QTest::newRow("strings unreadable") << 4 << "-: device 1 (, unknown model): present"
                                            << "advice: no access to the device"
                                            << "summary: 2 written, 1 failed, 0 skipped";
        QTest::newRow("an FT232R") << 5 << "1: ORBIX-1, Serial Number=C3" << "device 1: FT232R, \"ORBIX-1\""
                                   << "summary: 2 written, 0 failed, 0 skipped";
    }
    void devices()
    {
        QFETCH(int, fault);
        QFETCH(QString, listed);
        QFETCH(QString, doctor);
        QFETCH(QString, summary);
        QCOMPARE(run({"list"}), 3);
        QVERIFY(err.contains("no unit found"));
        const FieldMap &m = *store->map(0);
        demo::attachUnit(m, "A1");
        simbench::resetCounters();
        QCOMPARE(run({"list"}), 0);
        const auto firstProbeReads = int(simbench::counters().byKind[std::size_t(Call::Read)]);
        simbench::UnitConfig second = demo::unitConfig(m, "B2");
        if (fault == 3)
            second.cbusFunctions[m.flashLineB] = simbench::cbusTxLed;
        second.stringsReadable = fault != 4;
        if (fault == 5)
            second.type = FT_DEVICE_232R;
        const int unit = simbench::attach(second);
        QVERIFY(simbench::setFlashBytes(unit, 0, demo::flashImage(m)));
        if (fault == 1)
            QVERIFY(simbench::setFlashBytes(unit, m.slotAddress(0) + 5, {0x5A}));
        demo::attachUnit(m, "C3");

        // Slot 1 of the last device is read last: lowering its access line, after its bytes came, fails.
        simbench::resetCounters();
        run({"doctor"});
        const auto modes = int(simbench::counters().byKind[std::size_t(Call::SetBitMode)]);
        for (const bool json : {true, false}) {
            if (fault == 2)
                simbench::failCall(Call::SetBitMode, modes);
            QCOMPARE(run(json ? QStringList{"doctor", "--json"} : QStringList{"doctor"}), doctor.contains("advice:") ? 1 : 0);
            if (json)
                QCOMPARE(QJsonDocument::fromJson(out.toUtf8())["devices"][1]["controlLines"][1]["ioMode"].toBool(), fault < 3);
        }
        QVERIFY2(out.contains(doctor), qPrintable(out));
        // A slot that holds no configuration is not one that fails a check.
        QCOMPARE(run({"check", "unit:1"}), fault == 1 ? 3 : 0);

        const auto stall = [&] {
            if (fault == 0)
                simbench::failCall(Call::Read, firstProbeReads + 1);
        };
        stall();
        QCOMPARE(run({"list"}), listed.startsWith("1:") ? 0 : 3);
        QVERIFY2((out + err).contains(listed), qPrintable(out + err));
        stall();
        QCOMPARE(run({"write", writeFile(path("site.scd"), scd(m, custom())), "--all"}), summary.contains(" 0 failed") ? 0 : 1);
        QVERIFY2(out.endsWith(summary + "\n"), qPrintable(out));
    }

    // Every field by name and back, byte for byte, for both models' images;
    // import refuses a file it cannot make whole, listing every problem.
    void exportImport_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<bool>("factory");
        QTest::addColumn<uint>("readOnly");     // the BOOL's byte
        QTest::addColumn<QStringList>("edits"); // (pattern, replacement) on the export's text
        QTest::addColumn<QStringList>("problems");
        QTest::newRow("ORBIX-1 custom, BOOL 0xCC") << 0 << false << 0xCCu << QStringList{} << QStringList{};
        QTest::newRow("ORBIX-1S custom") << 1 << false << 0u << QStringList{} << QStringList{};
        QTest::newRow("ORBIX-1 factory, BOOL 1") << 0 << true << 1u << QStringList{} << QStringList{};
        QTest::newRow("ORBIX-1S factory") << 1 << true << 0u << QStringList{} << QStringList{};
        const auto refused = [](const char *name, const QStringList &edits, const QStringList &problems) {
            QTest::newRow(name) << 0 << false << 0u << edits << problems;
        };
        // A field's value in the export, one field a line.
        const auto value = [](const QString &field, const QString &v) {
            return QStringList{"(\"" + field + "\",.*\"value\":)[^}]*", "\\1" + v};
        };
        refused("malformed", {"\\}\\s*$", ""}, {"malformed JSON"});
        refused("unknown model", {"\"ORBIX-1\"", "\"ORBIX-9\""}, {"unknown model \"ORBIX-9\""});
        refused("unknown name, another model's name", {"\"LNBPowerModeMax\"", "\"Foo\"", "\"LNBPowerModeMin\"", "\"Extra\""},
                {"fields[5]: \"Foo\" is not a field of ORBIX-1", "\"LNBPowerModeMax\" is missing",
                 "fields[4]: \"Extra\" is a field of TEST, not of ORBIX-1"});
        refused("given twice", {"\"LNBPowerModeMax\"", "\"LNBPowerModeMin\""},
                {"fields[5]: \"LNBPowerModeMin\" is given twice", "\"LNBPowerModeMax\" is missing"});
        // -10 in an INT byte would read back as 246.
        refused("wrong type, too wide, bad hex, all at once",
                value("Password", "1") + value("LNBPowerModeMin", "300") + value("ReadOnly", "\"no\"")
                    + value("InputFrequencyMin", "-1") + value("Version", "1.5") + value("OutputLevelOffset", "-10"),
                {"fields[3]: \"Password\" (BYTES): expected 16 hexadecimal digits",
                 "fields[4]: \"LNBPowerModeMin\" (UINT): 300 is out of range for a 1-byte field (0 to 255)",
                 "fields[2]: \"ReadOnly\" (BOOL): expected true, false or a number",
                 "fields[6]: \"InputFrequencyMin\" (UINT): -1 is out of range for a 4-byte field (0 to 4294967295)",
                 "fields[1]: \"Version\" (UINT): expected a whole number",
                 "fields[14]: \"OutputLevelOffset\" (INT): -10 is out of range for a 1-byte field (0 to 255)"});
        refused("declared type", {"(\"Version\",\"type\":)\"UINT\"", "\\1\"INT\""},
                {"fields[1]: \"Version\" is UINT, not INT"});
        refused("BOOL beyond a byte", value("ReadOnly", "256"), {"fields[2]: \"ReadOnly\" (BOOL): 256 is out of range"});
        // The first of two equal keys names another model.
        refused("key twice", {"\"model\":", "\"model\": \"ORBIX-1S\", \"model\":"}, {"key \"model\" at byte"});
        refused("Magic wrong", value("Magic", "0"), {"the configuration fails the Magic check"});
    }
    void exportImport()
    {
        QFETCH(int, model);
        QFETCH(bool, factory);
        QFETCH(uint, readOnly);
        QFETCH(QStringList, edits);
        QFETCH(QStringList, problems);
        // A third model whose only field is one the others lack.
        const QByteArray extra = mapHeader(892, 0x70000, "TEST") + mapRecord("Extra", 0, 1, FieldType::UINT);
        QVERIFY(store->loadMap(writeFile(path("extra.map"), extra)));
        const FieldMap &m = *store->map(model);
        QByteArray image = factory ? demo::factoryImage(m) : demo::customImage(m);
        for (const FieldRecord *r : cli::fieldsOf(m))
            if (cli::fieldKey(*r) == "ReadOnly")
                image[int(r->address)] = char(readOnly);
        reseal(image);
        const QByteArray original = scd(m, image);
        QCOMPARE(run({"export", writeFile(path("orig.scd"), original), "-o", path("fields.json")}), 0);
        QString text = QString::fromUtf8(readAll(path("fields.json")));
        const QJsonObject json = QJsonDocument::fromJson(text.toUtf8()).object();
        const QJsonArray fields = json["fields"].toArray();
        QCOMPARE(json["model"].toString(), QString(m.modelNameText()));
        QCOMPARE(fields.first().toObject()["value"].toInt(), 0xABCD); // Magic, UINT
        QCOMPARE(fields[3].toObject()["value"].toString(), QString("0000000000000000")); // Password, BYTES
        QCOMPARE(fields[2].toObject()["value"].toVariant(), readOnly > 1 ? QVariant(double(readOnly)) : QVariant(readOnly == 1));
        QCOMPARE(err.contains("warning: the BOOL ReadOnly holds 204"), readOnly == 0xCC);

        for (int i = 0; i + 1 < edits.size(); i += 2)
            text.replace(QRegularExpression(edits[i]), edits[i + 1]);
        QFile::remove(path("back.scd"));
        QCOMPARE(run({"import", writeFile(path("in.json"), text.toUtf8()), "-o", path("back.scd")}),
                 problems.isEmpty() ? 0 : 2);
        QCOMPARE(readAll(path("back.scd")), problems.isEmpty() ? original : QByteArray());
        for (const QString &p : problems)
            QVERIFY2(err.contains("\n  " + p), qPrintable(err));
    }
};

QTEST_MAIN(TestCli)
#include "tst_cli.moc"
