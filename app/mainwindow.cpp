#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "config/configstore.h"
#include "panels/gbinput.h"
#include "panels/gblnbsupply.h"
#include "panels/gboutput.h"
#include "panels/gbtablecss.h"

#include <QtCore/QFileInfo>
#include <QtCore/QUrl>
#include <QtGui/QDesktopServices>
#include <QtGui/QPixmap>
#include <QtWidgets/QMessageBox>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::MainWindow>())
{
    ui->setupUi(this);
    store = std::make_unique<ConfigStore>();
    ui->labelLogo->setPixmap(QPixmap(QStringLiteral(":/logo.png")));
    store->loadEmbeddedMaps();
    on_btnDeviceRefresh_clicked();
}

MainWindow::~MainWindow()
{
    removePanels();
    ui.reset();
    store.reset();
}

void MainWindow::showStatus(const QString &text, int timeout, const QColor &colour)
{
    QPalette palette;
    palette.setBrush(QPalette::Window, QBrush(colour));
    ui->statusBar->showMessage(text, timeout);
    ui->statusBar->setPalette(palette);
    // Painted now: a blocking device operation usually follows.
    ui->statusBar->repaint();
}

void MainWindow::removePanels()
{
    for (gbInput *panel : qAsConst(inputPanels)) {
        ui->hlInputs->removeWidget(panel);
        delete panel;
    }
    inputPanels.clear();
    for (gbOutput *panel : qAsConst(outputPanels)) {
        ui->hlOutputs->removeWidget(panel);
        delete panel;
    }
    outputPanels.clear();
    delete lnbPanel;
    lnbPanel = nullptr;
    delete cssPanel;
    cssPanel = nullptr;
}

void MainWindow::on_InputChanged(unsigned char)
{
}

void MainWindow::on_btnDeviceRefresh_clicked()
{
    ui->cbDevice->clear();
}

void MainWindow::on_btnRead_clicked()
{
}

void MainWindow::on_btnWrite_clicked()
{
}

void MainWindow::on_btnDefault_clicked()
{
}

void MainWindow::on_actionLoad_triggered()
{
}

void MainWindow::on_actionSave_triggered()
{
}

void MainWindow::on_actionExit_triggered()
{
    close();
}

void MainWindow::on_actionVersion_triggered()
{
    QMessageBox::about(this, tr("Version"), QStringLiteral("1.1"));
}

void MainWindow::on_actionAdvancedMode_triggered()
{
}

void MainWindow::on_actionHelp_triggered()
{
    const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/help/help_it.pdf");
    // The desktop launcher reports success even for a missing file.
    if (!QFileInfo(path).isFile() || !QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        showStatus(tr("ERROR help file not available!"), 0, Qt::red);
}

bool MainWindow::nativeEvent(const QByteArray &eventType, void *message, long *result)
{
    Q_UNUSED(eventType)
    Q_UNUSED(result)
#ifdef Q_OS_WIN
    const MSG *msg = static_cast<const MSG *>(message);
    if (msg->message == 0x0219 /* WM_DEVICECHANGE */ && msg->wParam == 7 /* DBT_DEVNODES_CHANGED */)
        on_btnDeviceRefresh_clicked();
#else
    Q_UNUSED(message)
#endif
    return false;
}
