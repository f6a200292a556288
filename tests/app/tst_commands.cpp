// The five commands end to end: the real window against the simulated bench.
#include "app/demo/demounits.h"
#include "app/mainwindow.h"
#include "config/configstore.h"
#include "device/sim/simbench.h"
#include "panels/gbinput.h"
#include "panels/gbtablecss.h"

#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>
#include <QtCore/QTimer>
#include <QtTest/QtTest>
#include <QtWidgets/QAction>
#include <QtWidgets/QApplication>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QFileDialog>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QSpinBox>
#include <QtWidgets/QTableWidget>
#include <QtWidgets/QStatusBar>

using simbench::Call;

namespace {

QByteArray bytes(const std::vector<uint8_t> &v) { return QByteArray(reinterpret_cast<const char *>(v.data()), int(v.size())); }

QByteArray fromFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Answers the next file dialog: a path accepts it, an empty one cancels.
void answerFileDialog(const QString &path)
{
    QTimer::singleShot(0, [path] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        if (path.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->selectFile(path);
        static_cast<QDialog *>(dialog)->accept();
    });
}

int openCalls()
{
    int n = 0;
    for (const auto &e : simbench::trace())
        n += e.call == Call::Open;
    return n;
}

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void readAndNoUnit();
    void readRefusals_data();
    void readRefusals();
    void writeSucceeds();
    void writeRefusedPlan_data();
    void writeRefusedPlan();
    void writeFailures_data();
    void writeFailures();
    void readDefault();
    void saveAndLoad();
    void refusedLoadLeavesNothingToWrite();
    void advancedModeKeepsValues();
    void unshownFieldsTravelUnchanged();

private:
    std::unique_ptr<ConfigStore> maps;
    std::unique_ptr<MainWindow> w;
    QTemporaryDir dir;
    int unit1 = -1;
    int unit1s = -1;
    QStringList messages;

    void click(const char *name) { w->findChild<QPushButton *>(name)->click(); }
    void trigger(const char *name) { w->findChild<QAction *>(name)->trigger(); }
    QString status() const { return w->findChild<QStatusBar *>("statusBar")->currentMessage(); }
    QColor colour() const { return w->findChild<QStatusBar *>("statusBar")->palette().brush(QPalette::Window).color(); }
    gbTableCSS *table() const { return w->findChild<gbTableCSS *>("gbTableCSS"); }
    QByteArray slot(uint32_t s) const
    {
        ConfigStore &store = w->configStore();
        const uint8_t *p = store.slotPointer(s);
        return p ? QByteArray(reinterpret_cast<const char *>(p), 892) : QByteArray();
    }
    QByteArray flash(int unit, uint32_t s) const { return bytes(simbench::flashBytes(unit, 0x70000 + 0x1000 * s, 892)); }
    uint32_t field(const QByteArray &image, const char *name, FieldType type = FieldType::UINT) const
    {
        const FieldRecord *r = maps->maps()[0]->find(name, type);
        uint32_t v = 0;
        for (uint32_t i = 0; r && i < r->size; ++i)
            v = v << 8 | uint8_t(image[int(r->address + i)]);
        return v;
    }
    // Seals the image and stores it as the unit's slot 0.
    void putSlot0(int unit, QByteArray image)
    {
        uint8_t sum = 0;
        for (int i = 0; i < 891; ++i)
            sum = uint8_t(sum + uint8_t(image[i]));
        image[891] = char(uint8_t(0u - sum));
        simbench::setFlashBytes(unit, 0x70000, std::vector<uint8_t>(image.begin(), image.end()));
    }
    void readUnit()
    {
        click("btnRead");
        QCOMPARE(status(), QString("Ready"));
    }
};

void TestCommands::init()
{
    simbench::reset();
    maps = std::make_unique<ConfigStore>();
    maps->loadEmbeddedMaps();
    unit1 = demo::attachUnit(*maps->maps()[0], "U1");
    unit1s = demo::attachUnit(*maps->maps()[1], "U2");
    w = std::make_unique<MainWindow>();
    messages.clear();
    connect(w->findChild<QStatusBar *>("statusBar"), &QStatusBar::messageChanged, this,
            [this](const QString &m) { messages << m; });
}

void TestCommands::cleanup()
{
    w.reset();
}

void TestCommands::readAndNoUnit()
{
    click("btnRead");
    QCOMPARE(messages, QStringList({"Reading device configuration... please wait", "Ready"}));
    QCOMPARE(colour(), QColor(Qt::green));
    QCOMPARE(slot(0), flash(unit1, 0));
    QCOMPARE(table()->rowCount(), 32);
    QVERIFY(!w->configStore().link().isOpen());

    // The unit goes away: the selector empties and Read fails, panels stay.
    gbTableCSS *shown = table();
    simbench::reset();
    QTRY_COMPARE(w->findChild<QComboBox *>("cbDevice")->count(), 0);
    messages.clear();
    click("btnRead");
    QCOMPARE(messages, QStringList({"Reading device configuration... please wait", "ERROR connecting to device!"}));
    QCOMPARE(colour(), QColor(Qt::red));
    QCOMPARE(table(), shown);
    click("btnDefault");
    QCOMPARE(status(), QString("ERROR connecting to device!"));
}

void TestCommands::readRefusals_data()
{
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("message");
    QTest::newRow("unplugged, list not yet refreshed") << "unplug" << "ERROR connecting to device!";
    QTest::newRow("bad checksum on the unit") << "checksum" << "ERROR reading configuration data!";
    QTest::newRow("flash never ready") << "busy" << "ERROR reading configuration data!";
}

void TestCommands::readRefusals()
{
    QFETCH(QString, cause);
    QFETCH(QString, message);
    if (cause == "unplug")
        simbench::detach(unit1);  // the refill waits for the event loop
    if (cause == "checksum")
        simbench::setFlashBytes(unit1, 0x70000 + 300, {uint8_t(flash(unit1, 0)[300] ^ 1)});
    if (cause == "busy") {
        w->configStore().flash().setReadyTimeoutMs(50);
        simbench::setStuckBusy(unit1, true);
        simbench::setStatusRegister(unit1, 0x01);
    }
    click("btnRead");
    QCOMPARE(status(), message);
    QCOMPARE(colour(), QColor(Qt::red));
    QVERIFY(!table());
    QVERIFY(!w->configStore().link().isOpen());
}

void TestCommands::writeSucceeds()
{
    readUnit();
    const QByteArray defaultSlot = flash(unit1, 1);
    gbTableCSS *before = table();
    // A user edit of IF OUT on row 1, through the table as the editor would.
    before->setIfOut(0, 1250000);
    QVERIFY(w->configStore().setBool(0, "Enable", 0));
    click("btnWrite");
    QCOMPARE(messages.mid(2), QStringList({"Write device configuration... please wait", "Ready"}));
    const QByteArray onUnit = flash(unit1, 0);
    QCOMPARE(onUnit, slot(0));
    QCOMPARE(field(onUnit, "CSS[0].OutputFrequency"), 1250000u);
    QCOMPARE(field(onUnit, "Enable", FieldType::BOOL), 1u);
    uint8_t sum = 0;
    for (char c : onUnit)
        sum = uint8_t(sum + uint8_t(c));
    QCOMPARE(sum, uint8_t(0));
    QVERIFY(table() && table() != before);  // rebuilt from the read-back
    QCOMPARE(table()->ifOut(0), 1250000u);
    QCOMPARE(flash(unit1, 1), defaultSlot);
    QVERIFY(!w->configStore().link().isOpen());
}

void TestCommands::writeRefusedPlan_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    const QString overlap = "ERROR conflicting output frequencies or maximum number of channels per output sub-band "
                            "has been reached!";
    QTest::newRow("overlap") << "overlap" << overlap;
    QTest::newRow("overlap and bandwidths") << "both" << overlap;
    QTest::newRow("five bandwidths") << "bandwidth" << "ERROR too many different bandwidth values!";
    QTest::newRow("user band 9 on SCR") << "userband" << "ERROR user band number not supported!";
    QTest::newRow("overlap still in its editor") << "editing" << overlap;
}

void TestCommands::writeRefusedPlan()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);
    readUnit();
    gbTableCSS *t = table();
    const QByteArray image = slot(0);
    ++t->updateGuard;  // set the plan without the table's own reactions
    if (fault == "overlap" || fault == "both")
        t->setIfOut(1, 1230000);  // 36 MHz wide, 20 MHz from row 1
    if (fault == "bandwidth" || fault == "both") {
        t->setBandwidth(2, 20000);
        t->setBandwidth(3, 26000);
    }
    if (fault == "userband")
        t->setUserBand(3, 8);  // shown as 9
    --t->updateGuard;
    if (fault == "editing") {
        // Typed into the IF OUT editor of row 2, not committed yet.
        auto *view = t->findChild<QTableWidget *>("tableCSS");
        view->setCurrentCell(1, gbTableCSS::ColIfOut);
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        view->edit(view->model()->index(1, gbTableCSS::ColIfOut));
        QVERIFY(t->spinEditor(gbTableCSS::ColIfOut)->isVisible());
        t->spinEditor(gbTableCSS::ColIfOut)->setValue(1230);
    }
    simbench::clearTrace();
    click("btnWrite");
    QCOMPARE(status(), message);
    QCOMPARE(messages.size(), 3);  // no "please wait": nothing started
    QCOMPARE(openCalls(), 0);
    QCOMPARE(slot(0), image);
    QCOMPARE(flash(unit1, 0), demo::customImage(*maps->maps()[0]));
}

void TestCommands::writeFailures_data()
{
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("message");
    QTest::newRow("write fault") << "write" << "ERROR writing configuration data!";
    QTest::newRow("read-back fault") << "readback" << "ERROR reading configuration data!";
    QTest::newRow("file of another model") << "model" << "ERROR writing configuration data!";
    QTest::newRow("no unit selected") << "nounit" << "ERROR connecting to device!";
}

void TestCommands::writeFailures()
{
    QFETCH(QString, cause);
    QFETCH(QString, message);
    readUnit();
    if (cause == "readback") {
        // The last FT_Read of a Write belongs to its read-back: fail that one.
        simbench::clearTrace();
        click("btnWrite");
        QCOMPARE(status(), QString("Ready"));
        int reads = 0;
        for (const auto &e : simbench::trace())
            reads += e.call == Call::Read;
        simbench::failCall(Call::Read, reads);
    }
    if (cause == "write")
        simbench::failCall(Call::Write, 30);
    if (cause == "model") {
        const QString path = dir.filePath("other.scd");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("ORBIX-1S").append(24, '\0') + demo::customImage(*maps->maps()[1]));
        f.close();
        answerFileDialog(path);
        trigger("actionLoad");
        QCOMPARE(status(), QString("Ready"));
    }
    if (cause == "nounit")
        w->findChild<QComboBox *>("cbDevice")->setCurrentIndex(-1);
    click("btnWrite");
    QCOMPARE(status(), message);
    QCOMPARE(colour(), QColor(Qt::red));
    QVERIFY(!w->configStore().link().isOpen());
    QVERIFY(!w->configStore().currentUnit());
    simbench::clearFaults();
}

void TestCommands::readDefault()
{
    const QByteArray unitBefore = bytes(simbench::flashBytes(unit1, 0x60000, 0x20000));
    click("btnDefault");
    QCOMPARE(messages, QStringList({"Read default configuration... please wait", "Ready"}));
    const QByteArray image = slot(0);
    QCOMPARE(field(image, "Enable", FieldType::BOOL), 1u);
    QCOMPARE(field(image, "ReadOnly", FieldType::BOOL), 0u);
    QCOMPARE(field(flash(unit1, 1), "ReadOnly", FieldType::BOOL), 1u);
    // Apart from those two flags it is the factory slot.
    QByteArray expected = flash(unit1, 1);
    expected[4] = 0;
    QCOMPARE(image.left(891), expected.left(891));
    QCOMPARE(table()->ifOut(7), 1092000u);
    QCOMPARE(bytes(simbench::flashBytes(unit1, 0x60000, 0x20000)), unitBefore);
}

void TestCommands::saveAndLoad()
{
    readUnit();
    table()->setPin(4, 42);
    const QString path = dir.filePath("plan.scd");
    answerFileDialog(path);
    trigger("actionSave");
    QCOMPARE(status(), QString("Ready"));
    const QByteArray file = fromFile(path);
    QCOMPARE(file.size(), 924);
    QCOMPARE(file.left(32), QByteArray("ORBIX-1").append(25, '\0'));
    QCOMPARE(file.mid(32), slot(0));
    QCOMPARE(field(file.mid(32), "CSS[4].Pin"), 42u);

    // Cancelled: Save says nothing, Load says Ready; panels stay.
    messages.clear();
    answerFileDialog(QString());
    trigger("actionSave");
    QVERIFY(messages.isEmpty());
    gbTableCSS *shown = table();
    w->findChild<QStatusBar *>("statusBar")->clearMessage();
    messages.clear();
    answerFileDialog(QString());
    trigger("actionLoad");
    QCOMPARE(messages, QStringList{"Ready"});
    QCOMPARE(table(), shown);

    // Load brings the file back into fresh panels.
    click("btnRead");
    QCOMPARE(table()->pin(4), 12);
    answerFileDialog(path);
    trigger("actionLoad");
    QCOMPARE(status(), QString("Ready"));
    QCOMPARE(table()->pin(4), 42);
    QCOMPARE(slot(0), file.mid(32));
}

void TestCommands::refusedLoadLeavesNothingToWrite()
{
    readUnit();
    const QString path = dir.filePath("bad.scd");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QByteArray image = demo::customImage(*maps->maps()[0]);
    image[10] = char(image[10] + 1);  // byte sum no longer zero
    f.write(QByteArray("ORBIX-1").append(25, '\0') + image);
    f.close();
    answerFileDialog(path);
    trigger("actionLoad");
    QCOMPARE(status(), QString("ERROR loading configuration file!"));
    QVERIFY(!table());

    // The old image is still held, but nothing shown may be written or saved.
    simbench::clearTrace();
    click("btnWrite");
    QCOMPARE(status(), QString("ERROR can't enable configuration data!"));
    QCOMPARE(openCalls(), 0);
    answerFileDialog(dir.filePath("out.scd"));
    trigger("actionSave");
    QCOMPARE(status(), QString("ERROR saving configuration file!"));
    QVERIFY(!QFile::exists(dir.filePath("out.scd")));
}

void TestCommands::advancedModeKeepsValues()
{
    // A frequency that is no whole number of MHz comes back cut.
    QByteArray image = flash(unit1, 0);
    const FieldRecord *r = maps->maps()[0]->find("CSS[10].OutputFrequency", FieldType::UINT);
    const uint32_t odd = 1650567;
    for (int i = 0; i < 4; ++i)
        image[int(r->address) + i] = char(odd >> (24 - 8 * i));
    putSlot0(unit1, image);
    readUnit();
    table()->setLevel(0, 85);

    trigger("actionAdvancedMode");
    QCOMPARE(w->findChildren<gbInput *>().size(), 7);
    QCOMPARE(w->findChildren<QWidget *>("gbOutput").size(), 3);
    QCOMPARE(table()->level(0), 85);
    QCOMPARE(table()->ifOut(10), 1650000u);

    // An input change re-derives the rows fed by that input: row 9 is on input 1.
    auto *lo = w->findChildren<gbInput *>()[0]->findChild<QComboBox *>("cbLO");
    lo->setCurrentIndex(lo->findData(3));  // 10000 MHz
    QCOMPARE(table()->ifIn(8), 1494000u);  // 11494 - 10000

    trigger("actionAdvancedMode");
    QCOMPARE(w->findChildren<gbInput *>().size(), 0);
    QCOMPARE(field(slot(0), "Input[0].DISEqC_LNB_LO"), 3u);
    QCOMPARE(field(slot(0), "CSS[8].InputFrequency"), 1494000u);
    QCOMPARE(field(slot(0), "CSS[10].OutputFrequency"), 1650000u);
    QCOMPARE(field(slot(0), "CSS[0].OutputLevel"), 65u);  // 85 shown minus offset 20
}

void TestCommands::unshownFieldsTravelUnchanged()
{
    // Fill every byte no panel owns with a pattern, reseal, and send it round.
    QByteArray image = flash(unit1, 0);
    for (const char *name : {"Password", "BTS[3].InputFrequency", "GPIO_Preset.Value", "Input[2].Frequency",
                             "Output[1].DISEqC_Interface", "CSS[5].Invert", "DISEqC_CONFIG_NB"}) {
        const FieldRecord *r = nullptr;
        for (FieldType t : {FieldType::BYTES, FieldType::UINT, FieldType::BOOL})
            r = r ? r : maps->maps()[0]->find(name, t);
        QVERIFY2(r, name);
        for (uint32_t i = 0; i < r->size; ++i)
            image[int(r->address + i)] = char(0xA5 ^ i);
    }
    putSlot0(unit1, image);
    image = flash(unit1, 0);

    readUnit();
    const QString path = dir.filePath("round.scd");
    answerFileDialog(path);
    trigger("actionSave");
    answerFileDialog(path);
    trigger("actionLoad");
    trigger("actionAdvancedMode");
    click("btnWrite");
    QCOMPARE(status(), QString("Ready"));
    QCOMPARE(flash(unit1, 0), image);
    QCOMPARE(fromFile(path).mid(32), image);
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
