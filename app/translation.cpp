#include "app/translation.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QLocale>
#include <QtCore/QTranslator>

bool installTranslation(QCoreApplication &app, QTranslator &translator, const QLocale &locale)
{
    if (!translator.load(QStringLiteral("language_") + locale.name()))
        return false;
    return app.installTranslator(&translator);
}
