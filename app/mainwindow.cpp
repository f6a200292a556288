#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "config/configstore.h"
#include "device/devicewatcher.h"
#include "panels/gbchannelplan.h"
#include "panels/gbinput.h"
#include "panels/gblnbsupply.h"
#include "panels/gboutput.h"
#include "panels/gbtablecss.h"

#include <QtCore/QFileInfo>
#include <QtCore/QUrl>
#include <QtGui/QDesktopServices>
#include <QtGui/QPixmap>
#include <QtWidgets/QFileDialog>
#include <QtWidgets/QMessageBox>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::MainWindow>())
{
    ui->setupUi(this);
    store = std::make_unique<ConfigStore>();
    ui->labelLogo->setPixmap(QPixmap(QStringLiteral(":/logo.png")));
    store->loadEmbeddedMaps();
    on_btnDeviceRefresh_clicked();
    // Units come and go while the window is open: the selector follows.
    watcher = new DeviceWatcher(this);
    connect(watcher, &DeviceWatcher::devicesChanged, this, &MainWindow::on_btnDeviceRefresh_clicked);
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

void MainWindow::on_InputChanged(unsigned char index)
{
    if (!cssPanel || index >= inputPanels.size())
        return;
    const gbInput *input = inputPanels[index];
    cssPanel->setInputInfo(index, input->mode(), input->diseqcBank(), input->diseqcLnbLo());
}

void MainWindow::on_btnDeviceRefresh_clicked()
{
    ui->cbDevice->clear();
    const uint32_t count = store->enumerateUnits();
    for (uint32_t i = 0; i < count; ++i) {
        const UnitEntry &unit = store->units()[i];
        const FT_DEVICE_LIST_INFO_NODE *info = store->unitDeviceInfo(unit);
        const QByteArray description(info->Description, int(qstrnlen(info->Description, sizeof info->Description)));
        const QByteArray serial(info->SerialNumber, int(qstrnlen(info->SerialNumber, sizeof info->SerialNumber)));
        const uint8_t hw = unit.map->hwVersion;
        const uint8_t sw = unit.map->swVersion;
        ui->cbDevice->addItem(tr("%1: %2, Serial Number=%3, HW Version=%4.%5, SW Version=%6.%7")
                                  .arg(i)
                                  .arg(QString::fromLatin1(description), QString::fromLatin1(serial))
                                  .arg(hw >> 4)
                                  .arg(hw & 0x0F)
                                  .arg(sw >> 4)
                                  .arg(sw & 0x0F));
    }
}

void MainWindow::showError(const QString &text)
{
    showStatus(text, 0, Qt::red);
}

void MainWindow::showReady()
{
    showStatus(tr("Ready"), 0, Qt::green);
}

bool MainWindow::unitStep(bool succeeded, const QString &error)
{
    if (succeeded)
        return true;
    showError(error);
    store->closeUnit();
    return false;
}

bool MainWindow::openSelectedUnit()
{
    // An empty selector has index -1: never an index into the unit list.
    const int index = ui->cbDevice->currentIndex();
    const bool selected = index >= 0 && std::size_t(index) < store->units().size();
    if (selected && store->openUnit(store->units()[std::size_t(index)]))
        return true;
    showError(tr("ERROR connecting to device!"));
    store->closeUnit();
    return false;
}

void MainWindow::on_btnRead_clicked()
{
    if (cssPanel)
        cssPanel->commitEdits();
    showStatus(tr("Reading device configuration... please wait"), 0, Qt::yellow);
    if (!openSelectedUnit() || !unitStep(store->readFromUnit(0), tr("ERROR reading configuration data!")))
        return;
    store->closeUnit();
    buildPanels();
    showReady();
}

void MainWindow::on_btnWrite_clicked()
{
    // Only what the panels show may reach the unit.
    if (!cssPanel || !lnbPanel) {
        showError(tr("ERROR can't enable configuration data!"));
        return;
    }
    // Committed first, so a value still in its editor is checked too.
    cssPanel->commitEdits();
    if (!cssPanel->checkOutputFrequencies()) {
        showError(tr("ERROR conflicting output frequencies or maximum number of channels per output "
                     "sub-band has been reached!"));
        return;
    }
    if (!cssPanel->checkBandwidths()) {
        showError(tr("ERROR too many different bandwidth values!"));
        return;
    }
    if (!cssPanel->checkUserBands()) {
        showError(tr("ERROR user band number not supported!"));
        return;
    }
    showStatus(tr("Write device configuration... please wait"), 0, Qt::yellow);
    panelsToImage();
    if (!store->setBool(1, "Enable", 0)) {
        showError(tr("ERROR can't enable configuration data!"));
        return;
    }
    if (!openSelectedUnit() || !unitStep(store->writeToUnit(0), tr("ERROR writing configuration data!"))
        || !unitStep(store->readFromUnit(0), tr("ERROR reading configuration data!")))
        return;
    store->closeUnit();
    buildPanels();
    showReady();
}

void MainWindow::on_btnDefault_clicked()
{
    if (cssPanel)
        cssPanel->commitEdits();
    showStatus(tr("Read default configuration... please wait"), 0, Qt::yellow);
    if (!openSelectedUnit())
        return;
    const bool read = store->readFromUnit(1);
    store->closeUnit();
    if (!read || !store->copySlot(1, 0) || !store->setBool(1, "Enable", 0) || !store->setBool(0, "ReadOnly", 0)) {
        showError(tr("ERROR reading default configuration data!"));
        return;
    }
    buildPanels();
    showReady();
}

QString MainWindow::scdFilter()
{
    return tr("VEV Configuration File (*.scd)");
}

void MainWindow::on_actionLoad_triggered()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Load Configuration"), QString(), scdFilter());
    if (path.isEmpty()) {
        showReady();
        return;
    }
    removePanels();
    if (!store->loadFile(path.toUtf8(), 0)) {
        showError(tr("ERROR loading configuration file!"));
        return;
    }
    buildPanels();
    showReady();
}

void MainWindow::on_actionSave_triggered()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Save Configuration"), QString(), scdFilter());
    if (path.isEmpty())
        return;
    // Only what the panels show may be saved.
    if (!cssPanel || !lnbPanel) {
        showError(tr("ERROR saving configuration file!"));
        return;
    }
    panelsToImage();
    if (store->saveFile(path.toUtf8(), 0))
        showReady();
    else
        showError(tr("ERROR saving configuration file!"));
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
    if (cssPanel)
        cssPanel->commitEdits();
    panelsToImage();
    buildPanels();
}

void MainWindow::on_actionHelp_triggered()
{
    const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/help/help_it.pdf");
    // The desktop launcher reports success even for a missing file.
    if (!QFileInfo(path).isFile() || !QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        showStatus(tr("ERROR help file not available!"), 0, Qt::red);
}

void MainWindow::on_actionChannelPlan_toggled(bool on)
{
    // Out of the layout while off, so the window is then exactly as without it.
    delete planPanel;
    planPanel = nullptr;
    if (!on)
        return;
    planPanel = new gbChannelPlan(this);
    ui->verticalLayout->insertWidget(ui->verticalLayout->indexOf(ui->hlTableCSS) + 1, planPanel);
    planPanel->setTable(cssPanel);
}

bool MainWindow::event(QEvent *event)
{
    // Menus send empty status tips while hovered; they must not wipe the
    // outcome of the last command from the status line.
    if (event->type() == QEvent::StatusTip)
        return true;
    return QMainWindow::event(event);
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
