#pragma once

#include <QtCore/QList>
#include <QtWidgets/QMainWindow>

#include <memory>

class ConfigStore;
class DeviceWatcher;
struct UnitEntry;
class gbChannelPlan;
class gbInput;
class gbLNBSupply;
class gbOutput;
class gbTableCSS;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    void showStatus(const QString &text, int timeout, const QColor &colour);
    void removePanels();
    // Panels from slot 0 of the image, and back.
    void buildPanels();
    void panelsToImage();

    ConfigStore &configStore() { return *store; }

    // Load and Save once their file dialogs have given a path.
    bool loadConfiguration(const QString &path);
    bool saveConfiguration(const QString &path);

private slots:
    void on_InputChanged(unsigned char index);
    void on_btnDeviceRefresh_clicked();
    void on_btnRead_clicked();
    void on_btnWrite_clicked();
    void on_btnDefault_clicked();
    void on_actionLoad_triggered();
    void on_actionSave_triggered();
    void on_actionExit_triggered();
    void on_actionVersion_triggered();
    void on_actionAdvancedMode_triggered();
    void on_actionHelp_triggered();
    void on_actionChannelPlan_toggled(bool on);

protected:
    bool event(QEvent *event) override;
    bool nativeEvent(const QByteArray &eventType, void *message, long *result) override;

private:
    // Opens the unit picked in the selector; on failure shows the error and
    // closes again.
    bool openSelectedUnit();
    // The unit picked in the selector, or null.
    const UnitEntry *selectedUnit() const;
    // A failed step of a unit command: shows the error and closes the unit.
    bool unitStep(bool succeeded, const QString &error);
    void showError(const QString &text);
    static QString scdFilter();
    void showReady();

    std::unique_ptr<ConfigStore> store;
    gbLNBSupply *lnbPanel = nullptr;      // owned through Qt parenting
    QList<gbInput *> inputPanels;
    QList<gbOutput *> outputPanels;
    gbTableCSS *cssPanel = nullptr;
    std::unique_ptr<Ui::MainWindow> ui;
    DeviceWatcher *watcher = nullptr;     // owned through Qt parenting
    gbChannelPlan *planPanel = nullptr;   // owned through Qt parenting; only while shown
};
