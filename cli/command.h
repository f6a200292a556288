#pragma once

// The tool's commands over one ConfigStore. Each command is one entry of
// Cli::commands() and one member function.

#include "cli/cli.h"
#include "plan/planrules.h"
#include "config/unitfacts.h"

#include <QtCore/QByteArray>
#include <QtCore/QCommandLineOption>
#include <QtCore/QCoreApplication>
#include <QtCore/QList>
#include <QtCore/QPair>
#include <QtCore/QString>
#include <QtCore/QStringList>

#include <cstdint>
#include <optional>
#include <vector>

class ConfigStore;
class QCommandLineParser;
class QJsonDocument;
class QTextStream;
struct FieldMap;

namespace cli {

struct DeviceCheck;

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
    static QString globalHelp();

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

    // Reporting. Each returns `code`, so a command can end with it.
    int fail(int code, const QString &message);
    int fail(int code, const QString &message, const QStringList &details);
    void progress(const QString &message);
    void printJson(const QJsonDocument &doc);

    // Units: enumerated once per run; ExitDevice when there are none.
    int findUnits();
    // ExitDevice, with the reason and the advice, when the vendor's driver
    // library is missing or incomplete (Windows); ExitDone otherwise.
    int checkDriver();
    // U: the unit's index in the list or its serial number.
    int selectUnit(const QString &u, std::size_t &index);
    QString unitName(const UnitFacts &facts) const;
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

    bool writeAtomically(const QString &path, const QByteArray &bytes);

    ConfigStore &store_;
    QTextStream &out_;
    QTextStream &err_;
    bool enumerated_ = false;
};

} // namespace cli
