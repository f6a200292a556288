// ostrel-riz-cli: real units over USB.
#include "cli/cli.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return cli::runCli(app.arguments(), out, err);
}
