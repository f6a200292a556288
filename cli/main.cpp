// ostrel-riz-cli: real units over USB.
#include "cli/cli.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QFile>
#include <QtCore/QTextStream>
#include <QtGui/QGuiApplication>

#include <csignal>
#include <cstdio>
#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif
#include <cstring>
#include <memory>
#include <vector>

int main(int argc, char *argv[])
{
#ifdef SIGPIPE
    // A closed pipe is a write error to report (exit 2), not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
#endif
#ifdef Q_OS_WIN
    // Files written to standard output (-o -) arrive byte for byte, and text
    // is UTF-8 on the console as everywhere else.
    _setmode(1, _O_BINARY);
    _setmode(2, _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
#endif
    // Only plot paints; it gets a GUI application with no display needed
    // (on Windows the native platform, which creates no window and brings the
    // system's fonts). Qt takes "-platform" off the arguments it hands on.
    std::vector<char *> args(argv, argv + argc);
    std::unique_ptr<QCoreApplication> app;
    const bool plot = argc > 1 && std::strcmp(argv[1], "plot") == 0;
    char platform[] = "-platform", offscreen[] = "offscreen";
    if (plot) {
#ifndef Q_OS_WIN
        args.insert(args.begin() + 1, {platform, offscreen});
#else
        Q_UNUSED(platform)
        Q_UNUSED(offscreen)
#endif
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
    out.setCodec("UTF-8");
    err.setCodec("UTF-8");
    return cli::runCli(app->arguments(), out, err);
}
