// The real window against the simulated bench: the five commands end to end,
// image -> panels -> image, and the window's own reactions.
#include "app/demo/demounits.h"
#include "app/mainwindow.h"
#include "device/sim/simbench.h"
#include "panels/gbchannelplan.h"
#include "panels/gbinput.h"
#include "panels/gbtablecss.h"
#include "../common/mapbuilder.h"
#include "../common/simunits.h"

#include <QtTest>
#include <QtWidgets>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using simbench::Call;
using T = gbTableCSS;

namespace {

// The yellow line a command shows while it works.
QString waiting(const QString &button)
{
    return button == "btnRead"    ? "Reading device configuration... please wait"
           : button == "btnWrite" ? "Write device configuration... please wait"
                                  : "Read default configuration... please wait";
}

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        simbench::reset();
        maps = std::make_unique<ShippedStore>();
        unit1 = demo::attachUnit(*maps->map(0), "U1");
        demo::attachUnit(*maps->map(1), "U2");
        w = std::make_unique<MainWindow>();
        messages.clear();
        connect(w->statusBar(), &QStatusBar::messageChanged, this, [this](const QString &m) {
            messages << m;
            openWhenSaid = w->configStore().link().isOpen();
        });
    }

    void cleanup() { w.reset(); }

    // The window's own reactions; its layout and texts are the .ui file's (texts: tst_italian).
    void shell()
    {
        QVERIFY(w->statusBar()->autoFillBackground());  // else its colour never shows
#ifndef Q_OS_WIN // there every program shares bin/ with the help
        QVERIFY(!QFile::exists(QCoreApplication::applicationDirPath() + "/help/help_it.pdf"));  // none beside this program
        trigger("actionHelp");
        QCOMPARE(said(), QStringList{"ERROR help file not available!"});
        QCOMPARE(colour(), QColor(Qt::red));
#endif
        for (const QColor &c : {QColor(Qt::yellow), QColor(Qt::red), QColor(Qt::green)}) {
            w->showStatus(c.name(), 0, c);
            for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
                QCOMPARE(w->statusBar()->palette().brush(group, QPalette::Window).color(), c);
            QCOMPARE(w->statusBar()->palette().brush(QPalette::Window).style(), Qt::SolidPattern);
            // Hovering a menu entry must not erase the message.
            QStatusTipEvent tip{QString()};
            QApplication::sendEvent(w.get(), &tip);
            QCOMPARE(status(), c.name());
        }
        QString version;  // read while the box is open
        QTimer::singleShot(0, [&version] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            version = box->windowTitle() + '=' + box->text();
            box->accept();
        });
        trigger("actionVersion");
        QCOMPARE(version, QString("Version=1.1"));
        w->show();
        trigger("actionExit");
        QVERIFY(!w->isVisible());
    }

    void readWriteDefault()
    {
        const QByteArray factory = flash(0x71000);
        run("btnRead");
        QCOMPARE(slot(0), flash(0x70000));

        // A user edit of IF OUT on row 1, through the table as the editor would,
        // and an F IN only this table shows: the rebuilt one derives it anew.
        table()->setIfOut(0, 1250000);
        mark(8);
        QVERIFY(w->configStore().setBool(0, "Enable", 0));
        run("btnWrite");
        const QByteArray onUnit = flash(0x70000);
        QCOMPARE(onUnit, slot(0));
        QCOMPARE(field(onUnit, "CSS[0].OutputFrequency"), 1250000u);
        QCOMPARE(field(onUnit, "Enable"), 1u);
        QCOMPARE(table()->cellText(8, T::ColFIn), QString("11494"));  // rebuilt from the read-back

        // Read default takes slot 1 as it was before the Write, and leaves the unit alone.
        const QByteArray unitBefore = flash(0x60000, 0x20000);
        run("btnDefault");
        QCOMPARE(field(factory, "ReadOnly"), 1u);
        QByteArray expected = factory;
        expected[4] = 0;  // apart from ReadOnly, cleared, it is the factory slot
        QCOMPARE(slot(0).left(891), expected.left(891));
        QCOMPARE(table()->ifOut(7), 1092000u);
        QCOMPARE(flash(0x60000, 0x20000), unitBefore);
    }

    void failures_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("openWhenShown");  // the message comes before the unit is closed
        const QString connecting = "ERROR connecting to device!", reading = "ERROR reading configuration data!",
                      writing = "ERROR writing configuration data!", overlap = "ERROR conflicting output frequencies "
                      "or maximum number of channels per output sub-band has been reached!",
                      defaults = "ERROR reading default configuration data!";
        QTest::newRow("read, all units gone") << "btnRead" << "gone" << connecting << false;
        QTest::newRow("read default, all units gone") << "btnDefault" << "gone" << connecting << false;
        QTest::newRow("read, unplugged, list not yet refreshed") << "btnRead" << "unplug" << connecting << false;
        QTest::newRow("read, bad checksum on the unit") << "btnRead" << "checksum" << reading << true;
        QTest::newRow("read default, slot 1 invalid") << "btnDefault" << "slot1" << defaults << true;
        // A model of its own, a field missing from its map. (A refused copy
        // takes the same branch; copySlot's refusals: tst_unittransfer.)
        QTest::newRow("read default, Enable missing") << "btnDefault" << "Enable" << defaults << false;
        QTest::newRow("read default, ReadOnly missing") << "btnDefault" << "ReadOnly" << defaults << false;
        QTest::newRow("write, no unit selected") << "btnWrite" << "nounit" << connecting << false;
        QTest::newRow("write fault") << "btnWrite" << "write" << writing << true;
        QTest::newRow("read-back fault") << "btnWrite" << "readback" << reading << true;
        // Refused before anything starts.
        QTest::newRow("overlap") << "btnWrite" << "overlap" << overlap << false;
        QTest::newRow("overlap and bandwidths") << "btnWrite" << "both" << overlap << false;
        QTest::newRow("five bandwidths") << "btnWrite" << "bandwidth" << "ERROR too many different bandwidth values!" << false;
        QTest::newRow("user band 9 on SCR") << "btnWrite" << "userband" << "ERROR user band number not supported!" << false;
        QTest::newRow("overlap still in its editor") << "btnWrite" << "editing" << overlap << false;
        QTest::newRow("after a refused Load") << "btnWrite" << "load" << "ERROR can't enable configuration data!" << false;
    }

    // Every failure: red, the unit closed, the panels as they were. A refusal
    // shows no "please wait", never opens the unit and leaves the image alone.
    void failures()
    {
        QFETCH(QString, button);
        QFETCH(QString, cause);
        QFETCH(QString, message);
        QFETCH(bool, openWhenShown);
        if (cause == "Enable" || cause == "ReadOnly") {
            FieldMap model = *maps->map(0);
            model.modelName = {'O', 'R', 'B', 'I', 'X', '-', 'T'};
            QVERIFY(loadMapWithout(cause.toLatin1(), "ORBIX-T"));
            demo::attachUnit(model, "T1");
            click("btnDeviceRefresh");
            QCOMPARE(selector()->count(), 3);
            selector()->setCurrentIndex(2);
        }
        if (button != "btnRead" || cause == "gone")
            run("btnRead");
        T *t = table();
        if (cause == "gone") {
            simbench::reset();
            QTRY_COMPARE(selector()->count(), 0);
        }
        if (cause == "unplug")
            simbench::detach(unit1);  // the refill waits for the event loop
        if (cause == "checksum" || cause == "slot1") {
            const uint32_t at = cause == "slot1" ? 0x71000 : 0x70000;
            simbench::setFlashBytes(unit1, at + 300, {uint8_t(flash(at)[300] ^ 1)});
        }
        if (cause == "nounit")
            selector()->setCurrentIndex(-1);
        if (cause == "write")
            simbench::failCall(Call::Write, 30);
        if (cause == "readback") {
            // The last FT_Read of a Write belongs to its read-back: fail that one.
            simbench::resetCounters();
            run("btnWrite");
            simbench::failCall(Call::Read, int(simbench::counters().byKind[int(Call::Read)]));
        }
        const bool refused = QStringList({"overlap", "both", "bandwidth", "userband", "editing", "load"}).contains(cause);
        if (refused) {
            ++t->updateGuard;  // set the plan without the table's own reactions
            if (cause == "overlap" || cause == "both")
                t->setIfOut(1, 1230000);  // 36 MHz wide, 20 MHz from row 1
            if (cause == "bandwidth" || cause == "both") {
                t->setBandwidth(2, 20000);
                t->setBandwidth(3, 26000);
            }
            if (cause == "userband")
                t->setUserBand(3, 8);  // shown as 9
            --t->updateGuard;
        }
        if (cause == "editing") {
            // Typed into the IF OUT editor of row 2, not committed yet.
            auto *view = t->findChild<QTableWidget *>("tableCSS");
            view->setCurrentCell(1, T::ColIfOut);
            w->show();
            QVERIFY(QTest::qWaitForWindowActive(w.get()));
            view->edit(view->model()->index(1, T::ColIfOut));
            t->spinEditor(T::ColIfOut)->setValue(1230);
        }
        if (cause == "load") {
            QByteArray image = demo::customImage(*maps->map(0));
            image[10] = char(image[10] + 1);  // byte sum no longer zero
            viaDialog("actionLoad", writeFile(dir.filePath("bad.scd"), pad32("ORBIX-1") + image));
            QCOMPARE(said(), QStringList{"ERROR loading configuration file!"});
            QVERIFY(!table());
        }
        const bool shown = table();
        if (shown)
            mark(8);
        const QByteArray image = slot(0);
        simbench::resetCounters();
        click(button);
        QCOMPARE(said(), refused ? QStringList{message} : QStringList({waiting(button), message}));
        QCOMPARE(colour(), QColor(Qt::red));
        QCOMPARE(openWhenSaid, openWhenShown);
        QCOMPARE(bool(table()), shown);
        QCOMPARE(marked(8), shown);  // the panels as they were, not rebuilt
        QVERIFY(!w->configStore().link().isOpen());
        QVERIFY(!w->configStore().currentUnit());
        if (refused) {
            QCOMPARE(simbench::counters().byKind[int(Call::Open)], uint64_t(0));
            QCOMPARE(slot(0), image);
            QCOMPARE(flash(0x70000), demo::customImage(*maps->map(0)));
        }
    }

    // Save and Load through their dialogs, then a Write from Advanced Mode.
    void dialogsAndAdvancedMode()
    {
        run("btnRead");
        table()->setPin(4, 42);
        const QString path = dir.filePath("plan.scd");
        viaDialog("actionSave", path);
        QCOMPARE(status(), QString("Ready"));
        const QByteArray image = slot(0);  // sealed by the Save: the Load below would refuse it otherwise
        QCOMPARE(readAll(path), pad32("ORBIX-1") + image);
        QCOMPARE(field(image, "CSS[4].Pin"), 42u);

        // Cancelled: Save says nothing, Load says Ready; panels stay.
        w->statusBar()->clearMessage();
        mark(8);
        viaDialog("actionSave", QString());
        viaDialog("actionLoad", QString());
        QCOMPARE(said(), QStringList({QString(), "Ready"}));
        QVERIFY(marked(8));

        run("btnRead");
        QCOMPARE(table()->pin(4), 12);
        viaDialog("actionLoad", path);
        QCOMPARE(status(), QString("Ready"));
        QCOMPARE(table()->pin(4), 42);
        QCOMPARE(slot(0), image);

        // In Advanced Mode an input change re-derives the rows that input feeds
        // (row 9 is on input 1), and Write takes both.
        trigger("actionAdvancedMode");
        QCOMPARE(w->findChildren<gbInput *>().size(), 7);
        auto *lo = w->findChildren<gbInput *>()[0]->findChild<QComboBox *>("cbLO");
        lo->setCurrentIndex(lo->findData(3));  // 10000 MHz
        QCOMPARE(table()->ifIn(8), 1494000u);  // 11494 - 10000
        run("btnWrite");
        QCOMPARE(field(flash(0x70000), "Input[0].DISEqC_LNB_LO"), 3u);
        QCOMPARE(field(flash(0x70000), "CSS[8].InputFrequency"), 1494000u);
        trigger("actionAdvancedMode");
        QCOMPARE(w->findChildren<gbInput *>().size(), 0);
    }

    // Where the user may not create files, an existing writable file is overwritten in place.
    void saveInPlace()
    {
#ifndef Q_OS_UNIX
        QSKIP("takes away the right to create files with POSIX permissions");
#else
        run("btnRead");
        const QString locked = dir.filePath("locked"), path = locked + "/plan.scd";
        QVERIFY(QDir().mkpath(locked));
        writeFile(path, QByteArray(2000, 'x'));
        // For everyone (rwx, rw-, r-x): permissions do not bind root, so it saves as "nobody" for the while.
        QVERIFY(QFile::setPermissions(dir.path(), QFile::Permissions(0x7777)));
        QVERIFY(QFile::setPermissions(path, QFile::Permissions(0x6666)));
        QVERIFY(QFile::setPermissions(locked, QFile::Permissions(0x5555)));
        const bool root = geteuid() == 0;
        QVERIFY(!root || seteuid(65534) == 0);
        const auto restore = qScopeGuard([&] {
            if (root)
                QVERIFY(seteuid(0) == 0);
            QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        QVERIFY(!QFile(locked + "/new.scd").open(QIODevice::WriteOnly));  // the folder takes no new file
        w->statusBar()->clearMessage();
        QVERIFY(w->saveConfiguration(path));
        QCOMPARE(status(), QString("Ready"));
        QCOMPARE(readAll(path), pad32("ORBIX-1") + slot(0));
        QVERIFY(!w->saveConfiguration(locked + "/new.scd"));
        QCOMPARE(status(), QString("ERROR saving configuration file!"));
#endif
    }

    // The picture is an addition: off, the window is as it was; on, it sits
    // below the table and follows each new table (after Read, after each
    // Advanced Mode switch).
    void channelPlan()
    {
        auto *layout = w->findChild<QVBoxLayout *>("verticalLayout");
        const auto tree = [&] {
            QStringList shown;
            for (const QObject *o : w->findChildren<QObject *>())
                shown << QString::fromLatin1(o->metaObject()->className()) + ':' + o->objectName();
            for (int i = 0; i < layout->count(); ++i)
                shown << QString::number(i) + '=' + (layout->itemAt(i)->layout() ? layout->itemAt(i)->layout()->objectName()
                                                                                 : layout->itemAt(i)->widget()->objectName());
            return shown;
        };
        const QStringList before = tree();
        trigger("actionChannelPlan");
        QVERIFY(!w->findChild<QLabel *>("labelPlanHint")->isHidden());  // nothing shown yet
        trigger("actionChannelPlan");
        QCOMPARE(tree(), before);

        run("btnRead");
        trigger("actionChannelPlan");
        auto *plan = w->findChild<gbChannelPlan *>("gbChannelPlan");
        QCOMPARE(plan->table(), table());
        QCOMPARE(plan->geometry().bars.size(), std::size_t(12)); // the demo's active channels
        for (int pass = 0; pass < 2; ++pass) {
            trigger("actionAdvancedMode");
            QCOMPARE(plan->table(), table());
            QCOMPARE(layout->indexOf(plan), layout->indexOf(w->findChild<QLayout *>("hlTableCSS")) + 1);
            QCOMPARE(layout->stretch(layout->indexOf(plan)), 0);
        }
        trigger("actionChannelPlan");
        QVERIFY(!w->findChild<gbChannelPlan *>());
    }

    // Unplugging refills the selector without a click, numbering stays dense;
    // a serial number holding "%1" is shown as it is.
    void unitSelector()
    {
        selector()->setCurrentIndex(1);
        QVERIFY(simbench::detach(unit1));
        QTRY_COMPARE(selector()->count(), 1);
        QVERIFY(selector()->itemText(0).startsWith("0: ORBIX-1S, Serial Number=U2,"));
        QVERIFY(simbench::replug(unit1));
        QTRY_COMPARE(selector()->count(), 2);
        QCOMPARE(selector()->currentIndex(), 0);
        demo::attachUnit(*maps->map(0), "A%1B%2");
        click("btnDeviceRefresh");
        QCOMPARE(selector()->itemText(2), QString("2: ORBIX-1, Serial Number=A%1B%2, HW Version=1.0, SW Version=1.0"));
    }

    void shown_data()
    {
        QTest::addColumn<QByteArray>("edits");    // "name=value;..."
        QTest::addColumn<QByteArray>("missing");  // a field the map lacks
        QTest::addColumn<int>("inputs");
        QTest::addColumn<int>("outputs");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("filled");  // cells filled per row, for rows 1 to 4 and the last
        QTest::addColumn<QString>("levels");  // row 1's level, then the limits of Level, F IN, IF IN, IF OUT, BW
        const auto row = [](const char *tag, const QByteArray &edits, const char *missing, int inputs, int outputs,
                            int rows = 32, const char *filled = "9 9 9 9 9", const QString &levels = {}) {
            QTest::newRow(tag) << edits << QByteArray(missing) << inputs << outputs << rows << QString(filled) << levels;
        };
        row("all present", "", "", 7, 3);
        row("ADC 255 at input 4", "Input[3].ADC=255", "", 3, 3);
        row("ADC 255 at input 1", "Input[0].ADC=255", "", 0, 3);
        row("ADC missing at input 6", "", "Input[5].ADC", 5, 3);
        row("LO missing at input 2", "", "Input[1].DISEqC_LNB_LO", 1, 3);
        row("DAC 255 at output 2", "Output[1].DAC=255", "", 7, 1);
        row("DAC missing at output 3", "", "Output[2].DAC", 7, 2);
        row("mode missing at output 1", "", "Output[0].Mode", 7, 0);
        row("no channels", "CSS_Channels=0", "", 7, 3, 0, "");
        row("40 channels", "CSS_Channels=40", "", 7, 3, 40, "9 9 9 9 0");
        row("count missing", "", "CSS_Channels", 7, 3, 0, "");
        row("row 3 without bandwidth", "", "CSS[2].Bandwidth", 7, 3, 32, "9 9 5 9 9");
        row("row 1 without mode", "", "CSS[0].Mode", 7, 3, 32, "0 9 9 9 9");
        // Stored level 60 on row 1. The level travels back through the offset too.
        const QByteArray limits = ";InputFrequencyMin=251000;InputFrequencyMax=2399000;OutputFrequencyMin=951000;"
                                  "OutputFrequencyMax=2149000;BandwidthMin=5000;BandwidthMax=79000";
        const QString fixed = " 10700..12750 251..2399 951..2149 5..79";
        row("offset 20", "OutputLevelOffset=20" + limits, "", 7, 3, 32, "9 9 9 9 9", "80 70..100" + fixed);
        row("offset byte 0xF6", "OutputLevelOffset=246" + limits, "", 7, 3, 32, "9 9 9 9 9", "306 296..326" + fixed);
        row("offset 0", "OutputLevelOffset=0" + limits, "", 7, 3, 32, "9 9 9 9 9", "60 50..80" + fixed);
    }

    // Image -> panels -> image: ports end at the first absent or unreadable
    // one; a missing row field ends that row only; rows beyond the image's stay
    // empty. In both modes, and nothing rewritten on the way back.
    void shown()
    {
        QFETCH(QByteArray, edits);
        QFETCH(QByteArray, missing);
        QFETCH(int, inputs);
        QFETCH(int, outputs);
        QFETCH(int, rows);
        QFETCH(QString, filled);
        QFETCH(QString, levels);
        for (bool advanced : {false, true}) {
            w->findChild<QAction *>("actionAdvancedMode")->setChecked(advanced);
            show(edits, missing);
            QCOMPARE(table()->inputCount(), inputs);
            QCOMPARE(table()->outputCount(), outputs);
            QCOMPARE(w->findChildren<gbInput *>().size(), advanced ? inputs : 0);
            QCOMPARE(w->findChildren<QWidget *>("gbOutput").size(), advanced ? outputs : 0);
            // The table's port cells accept exactly the ports shown.
            if (inputs > 0)
                QCOMPARE(limits(T::ColInput), QString("1..%1").arg(inputs));
            if (outputs > 0)
                QCOMPARE(limits(T::ColOutput), QString("1..%1").arg(outputs));
            if (!levels.isEmpty())
                QCOMPARE(QString::number(table()->level(0)) + ' ' + limits(T::ColLevel) + ' ' + limits(T::ColFIn) + ' '
                             + limits(T::ColIfIn) + ' ' + limits(T::ColIfOut) + ' ' + limits(T::ColBandwidth), levels);
            QCOMPARE(table()->rowCount(), rows);
            QStringList counts;
            for (int r : {0, 1, 2, 3, rows - 1}) {
                if (r < 0 || r >= rows)
                    continue;
                int n = 0;
                for (int c : {T::ColMode, T::ColInput, T::ColIfIn, T::ColOutput, T::ColIfOut, T::ColBandwidth,
                              T::ColLevel, T::ColUserBand, T::ColPin})
                    n += table()->hasValue(r, c) ? 1 : 0;
                counts << QString::number(n);
            }
            QCOMPARE(counts.join(' '), filled);
            w->panelsToImage();
            QCOMPARE(slot(0), shownImage);
        }
    }

private:
    std::unique_ptr<ShippedStore> maps;
    std::unique_ptr<MainWindow> w;
    QTemporaryDir dir;
    int unit1 = -1;
    QStringList messages;
    bool openWhenSaid = false;
    QByteArray shownImage;

    void click(const QString &name) { w->findChild<QPushButton *>(name)->click(); }
    void trigger(const char *name) { w->findChild<QAction *>(name)->trigger(); }
    // Triggers Load or Save and answers its file dialog: a path accepts it, an empty one cancels.
    void viaDialog(const char *action, const QString &path)
    {
        QTimer::singleShot(0, [path] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            if (path.isEmpty())
                return dialog->reject();
            dialog->selectFile(path);
            static_cast<QDialog *>(dialog)->accept();
        });
        trigger(action);
    }
    QStringList said() { return std::exchange(messages, {}); }
    QString status() const { return w->statusBar()->currentMessage(); }
    QColor colour() const { return w->statusBar()->palette().brush(QPalette::Window).color(); }
    T *table() const { return w->findChild<T *>("gbTableCSS"); }
    QComboBox *selector() const { return w->findChild<QComboBox *>("cbDevice"); }
    QString limits(int col) const
    {
        const QSpinBox *spin = table()->spinEditor(col);
        return QString("%1..%2").arg(spin->minimum()).arg(spin->maximum());
    }
    // An F IN no image holds: it stays only while the same table is shown.
    void mark(int row)
    {
        ++table()->updateGuard;
        table()->setCellText(row, T::ColFIn, "4242");
        --table()->updateGuard;
    }
    bool marked(int row) const { return table() && table()->cellText(row, T::ColFIn) == "4242"; }
    QByteArray slot(uint32_t s) const { return toBytes(w->configStore().slotPointer(s), 892); }
    QByteArray flash(uint32_t address, uint32_t length = 892) const { return flashAt(unit1, address, length); }
    uint32_t field(QByteArray image, const char *name) const
    {
        uint32_t v = 0;
        const FieldMap *m = maps->map(0);
        return maps->getUInt(v, name, 0, &image, m) || maps->getBool(v, name, 0, &image, m) ? v : 0xDEAD;
    }

    // Registers the shipped ORBIX-1 map under `model` without `field` (its record renamed).
    bool loadMapWithout(const QByteArray &field, const QByteArray &model = "ORBIX-1")
    {
        QByteArray bytes = readAll(":/orbix-1.map");
        bytes.replace(0, 32, pad32(model));
        return hideRecord(bytes, field) && w->configStore().loadMap(writeFile(dir.filePath(model + ".map"), bytes));
    }

    // Shows the customised ORBIX-1 image with the edits, read through a map
    // without the field named `missing` (its record renamed).
    void show(const QByteArray &edits, const QByteArray &missing = {})
    {
        ConfigStore &store = w->configStore();
        const FieldMap *map = store.maps().front().get();
        if (!missing.isEmpty()) {
            QVERIFY(loadMapWithout(missing));
            map = store.maps().back().get();
        }
        shownImage = demo::customImage(*store.maps().front());
        for (const QByteArray &edit : edits.split(';')) {
            const uint32_t value = edit.mid(edit.indexOf('=') + 1).toUInt();
            const QByteArray name = edit.left(edit.indexOf('='));
            if (!edit.isEmpty())
                QVERIFY(store.setUInt(value, name, 0, &shownImage, map) || store.setInt(int32_t(value), name, 0, &shownImage, map));
        }
        store.image().clear();
        QVERIFY(store.image().add(map->slotAddress(0), map->imageSize, reinterpret_cast<const uint8_t *>(shownImage.constData())));
        store.setLoadedMap(map);
        w->buildPanels();
        QVERIFY(table());
    }

    // A command that must succeed: yellow while it works, then green "Ready", the unit closed.
    void run(const QString &button)
    {
        click(button);
        QCOMPARE(said(), QStringList({waiting(button), "Ready"}));
        QCOMPARE(colour(), QColor(Qt::green));
        QVERIFY(!w->configStore().link().isOpen());
    }
};

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
