#pragma once

// Shared by the fuzz targets: a store with the shipped maps, the debug log
// silenced (every field access logs a line), and input files in a temporary folder.
#include "config/configstore.h"
#include "../common/mapbuilder.h"

#include <QtCore/QByteArray>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzzsupport {

inline void quiet()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
}

// A fault the sanitizers cannot see: report it and stop, so the fuzzer keeps the input.
[[noreturn]] inline void fail(const char *what)
{
    std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n", what);
    std::abort();
}

inline QString scratch(const char *name)
{
    static QTemporaryDir dir;
    return dir.filePath(QString::fromLatin1(name));
}

inline QString writeScratch(const char *name, const QByteArray &bytes)
{
    const QString path = writeFile(scratch(name), bytes);
    if (path.isEmpty())
        fail("scratch file not written");
    return path;
}

} // namespace fuzzsupport
