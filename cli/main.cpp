// ostrel-riz-cli: real units over USB.
#include "cli/cli.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QTextStream>
#include <QtGui/QGuiApplication>

#include <cstring>
#include <memory>
#include <vector>

int main(int argc, char *argv[])
{
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
    QTextStream out(stdout);
    QTextStream err(stderr);
    return cli::runCli(app->arguments(), out, err);
}
