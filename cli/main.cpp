// ostrel-riz-cli: real units over USB.
#include "cli/cli.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QFile>
#include <QtCore/QTextStream>
#include <QtGui/QGuiApplication>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

int main(int argc, char *argv[])
{
    // A closed pipe is a write error to report (exit 2), not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    // Only plot paints; it gets a GUI application with no display needed.
    // Qt takes "-platform" off the arguments it hands on.
    std::vector<char *> args(argv, argv + argc);
    std::unique_ptr<QCoreApplication> app;
    const bool plot = argc > 1 && std::strcmp(argv[1], "plot") == 0;
    char platform[] = "-platform", offscreen[] = "offscreen";
    if (plot) {
        args.insert(args.begin() + 1, {platform, offscreen});
        argc = int(args.size());
        args.push_back(nullptr);
        app = std::make_unique<QGuiApplication>(argc, args.data());
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    // Unbuffered file descriptors: every write error reaches the stream's status.
    QFile stdoutFile, stderrFile;
    stdoutFile.open(1, QIODevice::WriteOnly | QIODevice::Unbuffered);
    stderrFile.open(2, QIODevice::WriteOnly | QIODevice::Unbuffered);
    QTextStream out(&stdoutFile);
    QTextStream err(&stderrFile);
    return cli::runCli(app->arguments(), out, err);
}
