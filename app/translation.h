#pragma once

class QApplication;
class QCoreApplication;
class QLocale;
class QTranslator;

// Loads "language_" + locale name from the working directory with the
// translator's standard lookup, and installs it only when found.
bool installTranslation(QCoreApplication &app, QTranslator &translator, const QLocale &locale);

// Start-up shared by the product and the demo: translation for the system
// locale, the main window in that locale, the event loop.
int runMainWindow(QApplication &app);
