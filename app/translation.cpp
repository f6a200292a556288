#include "app/translation.h"
#include "app/mainwindow.h"

#include <QtCore/QLocale>
#include <QtCore/QTranslator>
#include <QtWidgets/QApplication>

bool installTranslation(QCoreApplication &app, QTranslator &translator, const QLocale &locale)
{
    if (!translator.load(QStringLiteral("language_") + locale.name()))
        return false;
    return app.installTranslator(&translator);
}

int runMainWindow(QApplication &app)
{
    const QLocale locale = QLocale::system();
    QTranslator translator;
    installTranslation(app, translator, locale);

    MainWindow window;
    window.setLocale(locale);
    window.show();
    return app.exec();
}
