#pragma once

// ostrel-riz-cli: the unit and file commands without the window, for
// installers and production lines. Output goes to `out`, messages and
// progress to `err`; the result is the process exit code.

class ConfigStore;
class QStringList;
class QTextStream;

namespace cli {

enum ExitCode {
    ExitDone = 0,
    ExitFailed = 1, // a check failed, the configurations differ, or a unit failed
    ExitUsage = 2,  // bad usage or a refused input file
    ExitDevice = 3, // no unit, or a device error
};

// args[0] is the program. Registers the embedded field maps in a store of
// its own.
int runCli(const QStringList &args, QTextStream &out, QTextStream &err);
// The same on the caller's store, whose maps are already registered.
int runCli(ConfigStore &store, const QStringList &args, QTextStream &out, QTextStream &err);

} // namespace cli
