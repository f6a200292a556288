#include "cli/command.h"

#include "config/configstore.h"
#include "device/ftdiprobe.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QSaveFile>
#include <QtCore/QTextStream>

#include <algorithm>
#include <mutex>

namespace cli {

namespace {

constexpr auto Program = ProgramName;

// Typed field access logs a line per access; the window relies on those
// lines, but here they would bury the output. --verbose sends them to stderr.
class LogFilter
{
public:
    LogFilter() : previous_(qInstallMessageHandler(&LogFilter::handle)) { active_ = this; }
    ~LogFilter()
    {
        qInstallMessageHandler(previous_);
        active_ = nullptr;
    }
    LogFilter(const LogFilter &) = delete;
    LogFilter &operator=(const LogFilter &) = delete;

    void showTo(QTextStream *stream) { verbose_ = stream; }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        if (!active_)
            return;
        if (type != QtDebugMsg) {
            if (active_->previous_)
                active_->previous_(type, context, text);
            return;
        }
        // write --jobs reads fields on several threads.
        static std::mutex lock;
        const std::lock_guard<std::mutex> hold(lock);
        if (active_->verbose_) {
            *active_->verbose_ << text << '\n';
            active_->verbose_->flush();
        }
    }

    static inline LogFilter *active_ = nullptr;
    QtMessageHandler previous_;
    QTextStream *verbose_ = nullptr;
};

QCommandLineOption jsonOption()
{
    return {QStringLiteral("json"), Cli::tr("Machine-readable output (JSON) with fixed keys.")};
}

QCommandLineOption unitOption(const QString &description)
{
    return {QStringLiteral("unit"), description, QStringLiteral("U")};
}

QCommandLineOption outputOption(const QString &description)
{
    return {{QStringLiteral("o"), QStringLiteral("output")}, description, QStringLiteral("FILE")};
}

// Words of `text` in lines of at most 79 columns, each indented.
QString wrapped(const QString &text, int indent)
{
    QString lines, line;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && indent + line.size() + 1 + word.size() > 79) {
            lines += QString(indent, QLatin1Char(' ')) + line + QLatin1Char('\n');
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    return lines + QString(indent, QLatin1Char(' ')) + line + QLatin1Char('\n');
}

QString sourceHelp()
{
    return Cli::tr("A .scd file, or unit:U for slot 0 of a unit.");
}

QCommandLineOption helpOption()
{
    return {{QStringLiteral("h"), QStringLiteral("help")}, Cli::tr("Show this help.")};
}

QCommandLineOption verboseOption()
{
    return {QStringLiteral("verbose"), Cli::tr("Also print every configuration field access (to stderr).")};
}

} // namespace

Cli::Cli(ConfigStore &store, QTextStream &out, QTextStream &err) : store_(store), out_(out), err_(err) {}

std::vector<Cli::Command> Cli::commands()
{
    return {
        {QStringLiteral("list"), QStringLiteral("[--json]"),
         tr("The recognised units, in the window's order: index, model, serial number, HW and SW version."),
         {},
         {jsonOption()},
         &Cli::list},
        {QStringLiteral("read"), QStringLiteral("[--unit U] [--slot 0|1] -o FILE.scd|-"),
         tr("Saves a slot of a unit to a file: 0 the working configuration (default), 1 the factory default."),
         {},
         {unitOption(tr("The unit (default: the first one).")),
          {QStringLiteral("slot"), tr("The slot: 0 or 1."), QStringLiteral("SLOT"), QStringLiteral("0")},
          outputOption(tr("The .scd file to write."))},
         &Cli::read},
        {QStringLiteral("write"), QStringLiteral("FILE.scd|unit:U (--unit U | --all [--jobs N]) [--no-backup]"),
         tr("Checks the file's channel plan as the window's Write does, and every value against the limits the "
            "window's editors enforce, sets \"Enable\", then writes it to the unit, or to every unit of the "
            "file's model, reading each back to verify it. Each unit's previous configuration is saved first to "
            "the backup folder; a unit whose backup cannot be saved is not written. A unit being written by "
            "another ostrel-riz-cli is not written. On Ctrl-C the unit being written is finished, the others are "
            "not started."),
         {{QStringLiteral("FILE.scd"), sourceHelp()}},
         {unitOption(tr("The unit to write.")),
          {QStringLiteral("all"), tr("Every recognised unit of the file's model; the others are skipped.")},
          {QStringLiteral("jobs"), tr("With --all: units written at once (default: all units, at most %1).").arg(MaxJobs),
           QStringLiteral("N")},
          {QStringLiteral("no-backup"), tr("Do not save the units' previous configurations.")}},
         &Cli::write},
        {QStringLiteral("check"), QStringLiteral("FILE.scd|unit:U [--json]"),
         tr("The three channel plan checks, then every value against the limits the window's editors enforce "
            "(IF IN, IF OUT, bandwidth and level ranges, port numbers, code lists); for each failure its message "
            "and the rows or fields at fault."),
         {{QStringLiteral("SOURCE"), sourceHelp()}},
         {jsonOption()},
         &Cli::check},
        {QStringLiteral("show"), QStringLiteral("FILE.scd|unit:U [--json]"),
         tr("The configuration as the panels show it: LNB supply, inputs, outputs, the channel table."),
         {{QStringLiteral("SOURCE"), sourceHelp()}},
         {jsonOption()},
         &Cli::show},
        {QStringLiteral("diff"), QStringLiteral("A B [--json]"),
         tr("The fields that differ between two configurations, with both values, shown as the panels show "
            "them."),
         {{QStringLiteral("A"), sourceHelp()}, {QStringLiteral("B"), sourceHelp()}},
         {jsonOption()},
         &Cli::diff},
        {QStringLiteral("export"), QStringLiteral("FILE.scd|unit:U [-o FILE.json|-]"),
         tr("Every field of the configuration by name, as JSON (to stdout without -o). A BOOL byte other than 0 "
            "and 1 is written as its number, with a warning."),
         {{QStringLiteral("SOURCE"), sourceHelp()}},
         {outputOption(tr("The JSON file to write."))},
         &Cli::exportFields},
        {QStringLiteral("import"), QStringLiteral("FILE.json -o FILE.scd|-"),
         tr("Makes a .scd file from an export, checksum resealed. Refuses, listing every problem, a file "
            "with unknown, missing or repeated fields or keys, values of the wrong type or out of the field's "
            "range, or a result that fails the Magic or Version check."),
         {{QStringLiteral("FILE.json"), tr("An export.")}},
         {outputOption(tr("The .scd file to write."))},
         &Cli::importFields},
        {QStringLiteral("doctor"), QStringLiteral("[--json]"),
         tr("For every FTDI device: type, USB strings, model, the control lines' pin functions, flash chip, "
            "version byte, slots 0 and 1; one line of advice for each problem found."),
         {},
         {jsonOption()},
         &Cli::doctor},
        {QStringLiteral("plot"), QStringLiteral("FILE.scd|unit:U -o plan.svg|plan.png|-"),
         tr("Draws the channel plan: each output's band with its channels, flagged rows in red."),
         {{QStringLiteral("SOURCE"), sourceHelp()}},
         {outputOption(tr("The picture to write: .svg or .png; - writes SVG to stdout."))},
         &Cli::plot},
    };
}

QString Cli::globalHelp(bool manual)
{
    QString text;
    QTextStream s(&text);
    s << tr("Usage: %1 [--verbose] COMMAND [ARGUMENTS]").arg(Program) << '\n'
      << tr("       %1 help COMMAND").arg(Program) << '\n'
      << wrapped(tr("Configures ORBIX single-cable channel-stacking switches over USB without the window: "
                    "reads, checks, shows, compares and writes configurations, one unit or many."),
                 0)
      << '\n'
      << tr("Commands:") << '\n';
    for (const Command &c : commands()) {
        s << "  " << c.name << ' ' << c.synopsis << '\n' << wrapped(c.summary, 6);
        // Every option, so that the manual page, made from this text, has them all.
        for (const QCommandLineOption &o : c.options) {
            QStringList names;
            for (const QString &n : o.names())
                names << (n.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + n;
            const QString value = o.valueName().isEmpty() ? QString() : QLatin1Char(' ') + o.valueName();
            s << "      " << names.join(QStringLiteral(", ")) << value << '\n' << wrapped(o.description(), 10);
        }
    }
    s << '\n'
      << tr("Units:") << '\n'
      << wrapped(tr("U is a unit's index in the list (as 'list' shows it) or its serial number; one that "
                    "names two units is refused. -o - is standard output. An option that takes a value may be "
                    "given once."),
                 2)
      << '\n'
      << tr("Options:") << '\n'
      << "  -h, --help     " << tr("Show this help; COMMAND --help shows a command's own.") << '\n'
      << "  -V, --version  " << tr("Show the version.") << '\n'
      << "  --verbose      " << verboseOption().description() << '\n'
      << '\n'
      // help2man makes "*Name*" a section of its own.
      << (manual ? QStringLiteral("*EXIT STATUS*") : tr("Exit status:")) << '\n'
      << "  0  " << tr("done") << '\n'
      << "  1  " << tr("a check or a limit failed, the configurations differ, a unit failed, or read found the slot not valid") << '\n'
      << "  2  " << tr("bad usage, a refused or unreadable input file, or output (a file or stdout) that could "
                      "not be written")
      << '\n'
      << "  3  " << tr("no unit, a device error, or a unit's slot that could not be read") << '\n'
      << "  130, 143  " << tr("write stopped by SIGINT or SIGTERM (after finishing the unit being written)") << '\n'
      << wrapped(tr("With --json, a failure is also printed as {\"error\": message} on stdout."), 2)
      << '\n'
      << tr("Files:") << '\n'
      << "  $XDG_DATA_HOME/ostrel-riz/backups/SERIAL-TIME.scd" << '\n'
      << "      " << tr("A unit's configuration as it was before 'write' replaced it (UTC time).") << '\n';
    return text;
}

int Cli::run(const QStringList &args)
{
    LogFilter log;
    const QString program = args.value(0, QString::fromLatin1(Program));

    QCommandLineParser global;
    global.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption version(QStringList{QStringLiteral("V"), QStringLiteral("version")});
    // The help as help2man reads it to make the manual page.
    QCommandLineOption manual(QStringLiteral("help-man"));
    manual.setFlags(QCommandLineOption::HiddenFromHelp);
    global.addOptions({helpOption(), version, verboseOption(), manual});
    global.addPositionalArgument(QStringLiteral("command"), QString());
    if (!global.parse(args))
        return fail(ExitUsage, global.errorText(), {tr("Try '%1 --help'.").arg(Program)});
    if (global.isSet(version)) {
        out_ << Program << ' ' << OSTREL_VERSION << '\n';
        return ExitDone;
    }
    QStringList rest = global.positionalArguments();
    // git's "help COMMAND"
    if (rest.value(0) == QLatin1String("help")) {
        if (rest.size() == 1) {
            out_ << globalHelp();
            return ExitDone;
        }
        rest = QStringList{rest[1], QStringLiteral("--help")};
    }
    if (global.isSet(helpOption()) || global.isSet(manual)) {
        out_ << globalHelp(global.isSet(manual));
        return ExitDone;
    }
    if (rest.isEmpty())
        return fail(ExitUsage, tr("no command given"), {tr("Try '%1 --help'.").arg(Program)});

    const std::vector<Command> table = commands();
    const auto command = std::find_if(table.begin(), table.end(), [&](const Command &c) { return c.name == rest[0]; });
    if (command == table.end())
        return fail(ExitUsage, tr("unknown command '%1'").arg(rest[0]), {tr("Try '%1 --help'.").arg(Program)});

    json_ = rest.contains(QStringLiteral("--json"))
            && std::any_of(command->options.begin(), command->options.end(),
                           [](const QCommandLineOption &o) { return o.names().contains(QStringLiteral("json")); });
    QCommandLineParser parser;
    parser.addOptions(command->options);
    parser.addOptions({helpOption(), verboseOption()});
    for (const auto &[name, description] : command->positionals)
        parser.addPositionalArgument(name, description);
    const QString tryHelp = tr("Try '%1 %2 --help'.").arg(Program, command->name);
    if (!parser.parse(QStringList{program} + rest.mid(1)))
        return fail(ExitUsage, command->name + QStringLiteral(": ") + parser.errorText(), {tryHelp});
    if (parser.isSet(helpOption())) {
        // Qt's usage line names the program as started; ours names the command.
        const QString qtHelp = parser.helpText();
        out_ << tr("Usage: %1 %2 %3").arg(Program, command->name, command->synopsis) << '\n'
             << wrapped(command->summary, 0)
             << qtHelp.mid(qtHelp.indexOf(QLatin1Char('\n')) + 1);
        return ExitDone;
    }
    for (const QCommandLineOption &o : command->options)
        if (!o.valueName().isEmpty() && parser.values(o).size() > 1)
            return fail(ExitUsage, tr("%1: --%2 is given more than once").arg(command->name, o.names().last()),
                        {tryHelp});
    if (parser.positionalArguments().size() != command->positionals.size())
        return fail(ExitUsage, tr("%1: wrong number of arguments").arg(command->name),
                    {tr("Usage: %1 %2 %3").arg(Program, command->name, command->synopsis), tryHelp});
    if (global.isSet(verboseOption()) || parser.isSet(verboseOption()))
        log.showTo(&err_);
    return (this->*command->run)(parser);
}

// ---- reporting ----

int Cli::fail(int code, const QString &message)
{
    return fail(code, message, {});
}

int Cli::fail(int code, const QString &message, const QStringList &details)
{
    const std::lock_guard<std::recursive_mutex> hold(io_);
    err_ << Program << ": " << message << '\n';
    for (const QString &line : details)
        err_ << "  " << line << '\n';
    err_.flush();
    if (json_ && !jsonPrinted_) {
        QJsonObject o{{"error", message}, {"exitCode", code}};
        if (!details.isEmpty())
            o.insert("details", QJsonArray::fromStringList(details));
        printJson(QJsonDocument(o));
    }
    return code;
}

void Cli::progress(const QString &message)
{
    const std::lock_guard<std::recursive_mutex> hold(io_);
    err_ << message << '\n';
    err_.flush();
}

bool Cli::outputArrived(QString *why)
{
    const std::lock_guard<std::recursive_mutex> hold(io_);
    out_.flush();
    if (out_.status() == QTextStream::Ok)
        return true;
    if (why) {
        const QIODevice *device = out_.device();
        *why = device && !device->errorString().isEmpty() ? device->errorString() : tr("write error");
    }
    return false;
}

void Cli::printJson(const QJsonDocument &doc)
{
    jsonPrinted_ = true;
    out_ << doc.toJson(QJsonDocument::Indented);
}

// ---- units ----

int Cli::checkDriver()
{
    const ftdiprobe::BackendProblem problem = ftdiprobe::backendProblem();
    if (problem.kind == ftdiprobe::BackendProblem::None)
        return ExitDone;
    const QString advice = tr("install FTDI's D2XX driver (Windows Update offers it when a unit is plugged in, "
                              "or FTDI's driver setup program), then try again");
    if (problem.kind == ftdiprobe::BackendProblem::LibraryMissing)
        return fail(ExitDevice, tr("FTDI's D2XX driver is not installed: %1 not found").arg(problem.library),
                    {tr("advice: %1").arg(advice)});
    return fail(ExitDevice, tr("FTDI's D2XX driver library %1 lacks %2").arg(problem.library, problem.function),
                {tr("advice: %1").arg(advice)});
}

int Cli::findUnits()
{
    if (int code = checkDriver())
        return code;
    if (findUnitsQuietly() == ExitDone)
        return ExitDone;
    return fail(ExitDevice, tr("no unit found"),
                {tr("A unit is listed when its USB strings can be read (see the udev rule in the README) and "
                    "its product string names a known model.")});
}

int Cli::findUnitsQuietly()
{
    if (!enumerated_) {
        store_.enumerateUnits();
        // A USB error while listing may be transient: once more before giving up.
        if (!store_.unreadableDevices().empty())
            store_.enumerateUnits();
        enumerated_ = true;
    }
    return store_.units().empty() ? ExitDevice : ExitDone;
}

int Cli::selectUnit(const QString &u, std::size_t &index)
{
    if (int code = findUnits())
        return code;
    const std::size_t count = store_.units().size();
    bool number = false;
    const uint asNumber = u.toUInt(&number);
    std::optional<std::size_t> byIndex, bySerial;
    if (number && asNumber < count)
        byIndex = asNumber;
    QStringList sharing;
    for (std::size_t i = 0; i < count; ++i)
        if (QString::fromLatin1(unitFacts(store_, i).serial) == u) {
            bySerial = i;
            sharing << selectorLine(unitFacts(store_, i));
        }
    if (sharing.size() > 1)
        return fail(ExitUsage, tr("unit %1 is ambiguous: %2 units have that serial number; give the index").arg(u).arg(sharing.size()),
                    sharing);
    if (byIndex && bySerial && *byIndex != *bySerial)
        return fail(ExitUsage, tr("unit %1 is ambiguous: unit %1 in the list, or the unit whose serial number "
                                  "it is (unit %2)")
                                   .arg(u)
                                   .arg(*bySerial));
    if (!byIndex && !bySerial)
        return fail(ExitDevice, tr("no unit %1: give an index from 0 to %2 or a serial number (see 'list')")
                                    .arg(u)
                                    .arg(count - 1));
    index = byIndex ? *byIndex : *bySerial;
    return ExitDone;
}

QString Cli::unreadableName(std::uint32_t device) const
{
    const FT_DEVICE_LIST_INFO_NODE *node = store_.link().deviceInfo(device);
    const QString model = node && node->Description[0] ? QString::fromLatin1(node->Description) : tr("unknown model");
    return tr("device %1 (%2, %3)").arg(device).arg(node ? QString::fromLatin1(node->SerialNumber) : QString(), model);
}

QString Cli::unitName(const UnitFacts &f) const
{
    return tr("unit %1 (%2, %3)").arg(f.index).arg(QString::fromLatin1(f.serial), QString::fromLatin1(f.model));
}

int Cli::readUnit(std::size_t index, std::uint32_t slot)
{
    const UnitEntry unit = store_.units()[index];
    const QString name = unitName(unitFacts(store_, index));
    if (!store_.openUnit(unit)) {
        store_.closeUnit();
        return fail(ExitDevice, tr("%1: cannot connect (is another program using it?)").arg(name));
    }
    const bool read = store_.readFromUnit(slot);
    const bool complete = store_.lastReadComplete();
    store_.closeUnit();
    if (read)
        return ExitDone;
    if (!complete)
        return fail(ExitDevice, tr("%1: cannot read its flash (a USB error; try again)").arg(name));
    return fail(ExitFailed, tr("%1: slot %2 holds no valid configuration (Magic, Version or checksum)").arg(name).arg(slot));
}

// ---- files and sources ----

int Cli::loadScd(const QString &path)
{
    inputs_ << path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(ExitUsage, tr("cannot read %1: %2").arg(path, file.errorString()));
    if (QFileInfo(path).isDir())
        return fail(ExitUsage, tr("cannot read %1: %2").arg(path, tr("Is a directory")));
    file.close();
    if (store_.loadFile(path.toUtf8(), 0))
        return ExitDone;
    if (!store_.loadedMap()) {
        QStringList models;
        for (const auto &map : store_.maps())
            models << QString::fromLatin1(map->modelNameText());
        return fail(ExitUsage, tr("%1: refused: not a configuration of a known model (%2), or cut short")
                                   .arg(path, models.join(QStringLiteral(", "))));
    }
    return fail(ExitUsage, tr("%1: refused: its %2 configuration fails the Magic, Version or checksum check")
                               .arg(path, QString::fromLatin1(store_.loadedMap()->modelNameText())));
}

int Cli::loadSource(const QString &spec, Source &source)
{
    source = Source{};
    source.spec = spec;
    const QString unitPrefix = QStringLiteral("unit:");
    if (spec.startsWith(unitPrefix)) {
        std::size_t index = 0;
        if (int code = selectUnit(spec.mid(unitPrefix.size()), index))
            return code;
        // A slot that holds no configuration was not read as one: not "differs" nor "fails".
        if (int code = readUnit(index, 0))
            return code == ExitFailed ? ExitDevice : code;
        source.unit = unitFacts(store_, index);
    } else if (int code = loadScd(spec)) {
        return code;
    }
    source.map = store_.loadedMap();
    source.bytes = heldSlot();
    return ExitDone;
}

void Cli::hold(const FieldMap &map, const QByteArray &bytes)
{
    store_.image().clear();
    store_.image().add(map.slotAddress(0), uint32_t(bytes.size()), reinterpret_cast<const uint8_t *>(bytes.constData()));
    store_.setLoadedMap(&map);
}

QByteArray Cli::heldSlot(std::uint32_t slot)
{
    const uint8_t *bytes = store_.slotPointer(slot);
    return bytes ? QByteArray(reinterpret_cast<const char *>(bytes), int(store_.loadedMap()->imageSize)) : QByteArray();
}

QByteArray Cli::scdBytes(std::uint32_t slot)
{
    store_.sealChecksum(slot);
    const FieldMap &map = *store_.loadedMap();
    return QByteArray(map.modelName.data(), int(map.modelName.size())) + heldSlot(slot);
}

bool Cli::writeRaw(const QByteArray &bytes, QString &why)
{
    const std::lock_guard<std::recursive_mutex> hold(io_);
    if (!outputArrived(&why))
        return false;
    if (QIODevice *device = out_.device()) {
        if (device->write(bytes) == bytes.size())
            return true;
        why = device->errorString();
        return false;
    }
    if (QString *text = out_.string())
        text->append(QString::fromLatin1(bytes.constData(), bytes.size()));
    return true;
}

int Cli::writeOutput(const QString &path, const QByteArray &bytes)
{
    if (path == QLatin1String("-")) {
        QString why;
        if (!writeRaw(bytes, why))
            return fail(ExitUsage, tr("cannot write standard output: %1").arg(why));
        return ExitDone;
    }
    const QFileInfo info(path);
    for (const QString &input : qAsConst(inputs_))
        if (info.exists() && QFileInfo(input).exists() && info.canonicalFilePath() == QFileInfo(input).canonicalFilePath())
            return fail(ExitUsage, tr("refused: -o %1 is the input file; nothing written").arg(path));
    const auto failed = [&](const QFileDevice &file) {
        return fail(ExitUsage, tr("cannot write %1: %2").arg(path, file.errorString()));
    };
    if (info.exists() && !info.isFile()) {
        // A device or a FIFO is written into; a rename would replace it.
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
            return failed(file);
        return ExitDone;
    }
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return failed(file);
    // commit() alone misses a short write on a full disk.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const int code = failed(file);
        file.cancelWriting();
        return code;
    }
    if (!file.commit())
        return failed(file);
    return ExitDone;
}

// ---- entry ----

int runCli(ConfigStore &store, const QStringList &args, QTextStream &out, QTextStream &err)
{
    Cli cli(store, out, err);
    int code = cli.run(args);
    out.flush();
    if (out.status() != QTextStream::Ok) {
        const QIODevice *device = out.device();
        const QString why = device && !device->errorString().isEmpty() ? device->errorString() : Cli::tr("write error");
        err << Program << ": " << Cli::tr("cannot write standard output: %1").arg(why) << '\n';
        // A result the caller did not get is no success, nor a mere difference.
        if (code == ExitDone || code == ExitFailed)
            code = ExitUsage;
    }
    err.flush();
    return code;
}

int runCli(const QStringList &args, QTextStream &out, QTextStream &err)
{
    ConfigStore store;
    store.loadEmbeddedMaps();
    return runCli(store, args, out, err);
}

} // namespace cli
