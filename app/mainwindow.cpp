#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "config/configstore.h"
#include "plan/planrules.h"
#include "config/unitfacts.h"
#include "device/devicewatcher.h"
#include "device/ftdiprobe.h"
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
    for (uint32_t i = 0; i < count; ++i)
        ui->cbDevice->addItem(selectorLine(unitFacts(*store, i)));
    // Without the vendor's driver no unit can ever show: say why.
    const ftdiprobe::BackendProblem problem = ftdiprobe::backendProblem();
    if (problem.kind == ftdiprobe::BackendProblem::LibraryMissing)
        showError(tr("ERROR: %1 not found, install FTDI's D2XX driver!").arg(problem.library));
    else if (problem.kind == ftdiprobe::BackendProblem::FunctionMissing)
        showError(tr("ERROR: %1 lacks %2, reinstall FTDI's D2XX driver!").arg(problem.library, problem.function));
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

const UnitEntry *MainWindow::selectedUnit() const
{
    // An empty selector has index -1: never an index into the unit list.
    const int index = ui->cbDevice->currentIndex();
    return index >= 0 && std::size_t(index) < store->units().size() ? &store->units()[std::size_t(index)] : nullptr;
}

bool MainWindow::openSelectedUnit()
{
    const UnitEntry *unit = selectedUnit();
    if (unit && store->openUnit(*unit))
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
    using planrules::Rule;
    if (!cssPanel->checkOutputFrequencies()) {
        showError(planrules::message(Rule::OutputFrequencies));
        return;
    }
    if (!cssPanel->checkBandwidths()) {
        showError(planrules::message(Rule::Bandwidths));
        return;
    }
    if (!cssPanel->checkUserBands()) {
        showError(planrules::message(Rule::UserBands));
        return;
    }
    showStatus(tr("Write device configuration... please wait"), 0, Qt::yellow);
    panelsToImage();
    using Step = ConfigStore::WriteStep;
    const Step step = store->writeConfiguration(selectedUnit());
    switch (step) {
    case Step::Enable:
        showError(tr("ERROR can't enable configuration data!"));
        return;  // no unit was opened
    case Step::Connect:
        showError(tr("ERROR connecting to device!"));
        break;
    case Step::Write:
        showError(tr("ERROR writing configuration data!"));
        break;
    case Step::ReadBack:
        showError(tr("ERROR reading configuration data!"));
        break;
    case Step::Done:
        break;
    }
    store->closeUnit();
    if (step != Step::Done)
        return;
    buildPanels();
    showReady();
}

void MainWindow::on_btnDefault_clicked()
{
    if (cssPanel)
        cssPanel->commitEdits();
    showStatus(tr("Read default configuration... please wait"), 0, Qt::yellow);
    const QString failed = tr("ERROR reading default configuration data!");
    if (!openSelectedUnit() || !unitStep(store->readFromUnit(1), failed))
        return;
    store->closeUnit();
    if (!store->copySlot(1, 0) || !store->setBool(1, "Enable", 0) || !store->setBool(0, "ReadOnly", 0)) {
        showError(failed);
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
    loadConfiguration(path);
}

bool MainWindow::loadConfiguration(const QString &path)
{
    removePanels();
    if (!store->loadFile(path.toUtf8(), 0)) {
        showError(tr("ERROR loading configuration file!"));
        return false;
    }
    buildPanels();
    showReady();
    return true;
}

void MainWindow::on_actionSave_triggered()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Save Configuration"), QString(), scdFilter());
    if (!path.isEmpty())
        saveConfiguration(path);
}

bool MainWindow::saveConfiguration(const QString &path)
{
    // Only what the panels show may be saved.
    if (cssPanel && lnbPanel) {
        panelsToImage();
        if (store->saveFile(path.toUtf8(), 0)) {
            showReady();
            return true;
        }
    }
    showError(tr("ERROR saving configuration file!"));
    return false;
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
    // No panels: no configuration is shown (none yet, or a Load was refused
    // and the store may still name the refused file's map), so none may appear.
    if (!cssPanel)
        return;
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
