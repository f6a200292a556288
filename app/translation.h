#pragma once

class QCoreApplication;
class QLocale;
class QTranslator;

// Loads "language_" + locale name from the working directory with the
// translator's standard lookup, and installs it only when found.
bool installTranslation(QCoreApplication &app, QTranslator &translator, const QLocale &locale);
