#pragma once

// The tool's commands over one ConfigStore. Each command is one entry of
// Cli::commands() and one member function.

#include "cli/cli.h"
#include "plan/planrules.h"
#include "config/unitfacts.h"
#include "device/ftdiprobe.h"

#include <QtCore/QByteArray>
#include <QtCore/QCommandLineOption>
#include <QtCore/QCoreApplication>
#include <QtCore/QJsonArray>
#include <QtCore/QList>
#include <QtCore/QPair>
#include <QtCore/QString>
#include <QtCore/QStringList>

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

class ConfigStore;
class QCommandLineParser;
class QIODevice;
struct UnitEntry;
class QJsonDocument;
class QTextStream;
struct FieldMap;

namespace cli {

inline constexpr auto ProgramName = "ostrel-riz-cli";
// Units write --all writes at once by default at most: one USB host
// controller gives little more.
inline constexpr int MaxJobs = 16;

struct SlotCheck {
    std::uint32_t slot = 0;
    bool read = false;
    unsigned faults = 0; // ConfigStore::ImageFault bits
};

// What doctor found about one FTDI device.
struct DeviceCheck {
    ftdiprobe::DeviceReport report;
    QString model;  // the recognised model, empty when none
    QString reason; // why it is not a working unit, empty when it is
    QJsonArray controlLines;
    QString flashChip;
    int versionByte = -1;
    std::vector<SlotCheck> slotChecks;
    QStringList advice;
};

// A configuration looked at: a .scd file, or slot 0 of a unit ("unit:U").
struct Source {
    QString spec;
    const FieldMap *map = nullptr;
    QByteArray bytes; // the map's imageSize bytes
    std::optional<UnitFacts> unit;
};

// One failed plan rule and the rows (0-based) it marks.
struct RuleFailure {
    planrules::Rule rule;
    std::vector<std::size_t> rows;
};

class Cli
{
    Q_DECLARE_TR_FUNCTIONS(Cli)

public:
    Cli(ConfigStore &store, QTextStream &out, QTextStream &err);
    int run(const QStringList &args);

    struct Command {
        QString name;
        QString synopsis; // what follows the name in the usage line
        QString summary;
        QList<QPair<QString, QString>> positionals; // name, description; all required
        QList<QCommandLineOption> options;
        int (Cli::*run)(const QCommandLineParser &);
    };
    static std::vector<Command> commands();
    static QString globalHelp(bool manual = false);

private:
    int list(const QCommandLineParser &p);
    int read(const QCommandLineParser &p);
    int write(const QCommandLineParser &p);
    int check(const QCommandLineParser &p);
    int show(const QCommandLineParser &p);
    int diff(const QCommandLineParser &p);
    int exportFields(const QCommandLineParser &p);
    int importFields(const QCommandLineParser &p);
    int doctor(const QCommandLineParser &p);
    int plot(const QCommandLineParser &p);
    // Fills in what is wrong with one FTDI device, as far as it can be asked.
    DeviceCheck &diagnose(DeviceCheck &check);

    // Reporting. Each returns `code`, so a command can end with it. With
    // --json the failure is also the one object on stdout.
    int fail(int code, const QString &message);
    int fail(int code, const QString &message, const QStringList &details);
    void progress(const QString &message);
    void printJson(const QJsonDocument &doc);
    // Standard output flushed; false, with the reason, when it did not arrive.
    bool outputArrived(QString *why = nullptr);

    // One unit of `write`: its outcome, said in one line and the lines below it.
    enum class Outcome { Written, Failed, Skipped };
    struct UnitResult {
        Outcome outcome = Outcome::Failed;
        QString text;
        QStringList details;
    };
    struct WriteJob {
        QString source;
        const FieldMap *map = nullptr;
        QByteArray image; // with "Enable" set and sealed
        bool backup = true;
    };
    UnitResult writeUnit(ConfigStore &store, const UnitEntry &unit, const UnitFacts &facts, const QString &step,
                         const WriteJob &job);
    // Runs writeUnit for every target on up to `jobs` threads, each with a
    // store of its own; results in target order, as they complete.
    void writeUnits(const std::vector<std::size_t> &targets, const WriteJob &job, bool all, int jobs,
                    std::vector<std::optional<UnitResult>> &results);
    void printResult(const UnitFacts &facts, const UnitResult &result);

    // Units: enumerated once per run; ExitDevice when there are none.
    int findUnits();
    // The same without a message; a listing that met a device it could not
    // read is taken once more.
    int findUnitsQuietly();
    // ExitDevice, with the reason and the advice, when the vendor's driver
    // library is missing or incomplete (Windows); ExitDone otherwise.
    int checkDriver();
    // U: the unit's index in the list or its serial number.
    int selectUnit(const QString &u, std::size_t &index);
    QString unitName(const UnitFacts &facts) const;
    // A device the enumeration could not read, which has no unit index.
    QString unreadableName(std::uint32_t device) const;
    // Reads a slot of the unit into the store (slot 0 becomes the loaded image).
    int readUnit(std::size_t index, std::uint32_t slot);

    // Files and sources; on success the store holds the configuration in slot 0.
    int loadScd(const QString &path);
    int loadSource(const QString &spec, Source &source);
    // Makes `bytes` slot 0 of the store's image, described by `map`.
    void hold(const FieldMap &map, const QByteArray &bytes);
    void hold(const Source &source) { hold(*source.map, source.bytes); }
    QByteArray heldSlot(std::uint32_t slot = 0);

    // The plan rules on the held configuration, in the Write command's order.
    std::vector<RuleFailure> planFailures(bool firstOnly);
    QStringList failureLines(const RuleFailure &failure);
    // The held configuration's values the window's editors would not take, a line each.
    QStringList limitLines();

    // A .scd file's bytes: the model name and the slot, checksum sealed.
    QByteArray scdBytes(std::uint32_t slot = 0);
    // Writes an output file: "-" is standard output; an existing file that
    // is no regular file (a device, a FIFO) is written into; any other is
    // replaced atomically. The input files of the command are refused.
    int writeOutput(const QString &path, const QByteArray &bytes);
    bool writeRaw(const QByteArray &bytes, QString &why);

    ConfigStore &store_;
    QTextStream &out_;
    QTextStream &err_;
    bool enumerated_ = false;
    bool json_ = false;         // --json given: errors too are one object on stdout
    bool jsonPrinted_ = false;
    QStringList inputs_;        // the files this command reads
    std::recursive_mutex io_;   // out_ and err_ between write's threads
    std::size_t printed_ = 0;   // results of write printed so far, in target order
};

} // namespace cli
