#include "app/mainwindow.h"
#include "app/translation.h"

#include <QtCore/QLocale>
#include <QtCore/QTranslator>
#include <QtWidgets/QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QLocale locale = QLocale::system();
    QTranslator translator;
    installTranslation(app, translator, locale);

    MainWindow window;
    window.setLocale(locale);
    window.show();
    return app.exec();
}
