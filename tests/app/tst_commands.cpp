// The five commands end to end: the real window against the simulated bench.
#include "app/demo/demounits.h"
#include "app/mainwindow.h"
#include "config/configstore.h"
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

namespace {

QString toFile(const QString &path, const QByteArray &model, const QByteArray &image)
{
    return writeFile(path, pad32(model) + image);
}

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
        maps = std::make_unique<ConfigStore>();
        maps->loadEmbeddedMaps();
        unit1 = demo::attachUnit(*maps->maps()[0], "U1");
        demo::attachUnit(*maps->maps()[1], "U2");
        w = std::make_unique<MainWindow>();
        messages.clear();
        connect(w->statusBar(), &QStatusBar::messageChanged, this, [this](const QString &m) { messages << m; });
    }

    void cleanup() { w.reset(); }

    void readWriteDefault()
    {
        const QByteArray factory = flash(0x71000);
        run("btnRead");
        QCOMPARE(slot(0), flash(0x70000));
        QCOMPARE(table()->rowCount(), 32);

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
        QCOMPARE(table()->cellText(8, gbTableCSS::ColFIn), QString("11494"));  // rebuilt from the read-back
        QCOMPARE(table()->ifOut(0), 1250000u);

        // Read default takes slot 1 as it was before the Write, and leaves the unit alone.
        const QByteArray unitBefore = flash(0x60000, 0x20000);
        run("btnDefault");
        const QByteArray image = slot(0);
        QCOMPARE(field(image, "Enable"), 1u);
        QCOMPARE(field(image, "ReadOnly"), 0u);
        QCOMPARE(field(factory, "ReadOnly"), 1u);
        QByteArray expected = factory;
        expected[4] = 0;  // apart from those two flags it is the factory slot
        QCOMPARE(image.left(891), expected.left(891));
        QCOMPARE(table()->ifOut(7), 1092000u);
        QCOMPARE(flash(0x60000, 0x20000), unitBefore);
    }

    void failures_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("message");
        const QString connecting = "ERROR connecting to device!", reading = "ERROR reading configuration data!",
                      writing = "ERROR writing configuration data!", overlap = "ERROR conflicting output frequencies "
                      "or maximum number of channels per output sub-band has been reached!";
        QTest::newRow("read, all units gone") << "btnRead" << "gone" << connecting;
        QTest::newRow("read default, all units gone") << "btnDefault" << "gone" << connecting;
        QTest::newRow("read, unplugged, list not yet refreshed") << "btnRead" << "unplug" << connecting;
        QTest::newRow("read, bad checksum on the unit") << "btnRead" << "checksum" << reading;
        QTest::newRow("read, flash never ready") << "btnRead" << "busy" << reading;
        QTest::newRow("write, no unit selected") << "btnWrite" << "nounit" << connecting;
        QTest::newRow("write fault") << "btnWrite" << "write" << writing;
        QTest::newRow("read-back fault") << "btnWrite" << "readback" << reading;
        QTest::newRow("write a file of another model") << "btnWrite" << "model" << writing;
        // Refused before anything starts.
        QTest::newRow("overlap") << "btnWrite" << "overlap" << overlap;
        QTest::newRow("overlap and bandwidths") << "btnWrite" << "both" << overlap;
        QTest::newRow("five bandwidths") << "btnWrite" << "bandwidth" << "ERROR too many different bandwidth values!";
        QTest::newRow("user band 9 on SCR") << "btnWrite" << "userband" << "ERROR user band number not supported!";
        QTest::newRow("overlap still in its editor") << "btnWrite" << "editing" << overlap;
        QTest::newRow("after a refused Load") << "btnWrite" << "load" << "ERROR can't enable configuration data!";
    }

    // Every failure: red, the unit closed, the panels as they were. A refusal
    // shows no "please wait", never opens the unit and leaves the image alone.
    void failures()
    {
        QFETCH(QString, button);
        QFETCH(QString, cause);
        QFETCH(QString, message);
        if (button != "btnRead" || cause == "gone")
            run("btnRead");
        gbTableCSS *t = table();
        if (cause == "gone") {
            simbench::reset();
            QTRY_COMPARE(w->findChild<QComboBox *>("cbDevice")->count(), 0);
        }
        if (cause == "unplug")
            simbench::detach(unit1);  // the refill waits for the event loop
        if (cause == "checksum")
            simbench::setFlashBytes(unit1, 0x70000 + 300, {uint8_t(flash(0x70000)[300] ^ 1)});
        if (cause == "busy") {
            w->configStore().flash().setReadyTimeoutMs(50);
            simbench::setStuckBusy(unit1, true);
            simbench::setStatusRegister(unit1, 0x01);
        }
        if (cause == "nounit")
            w->findChild<QComboBox *>("cbDevice")->setCurrentIndex(-1);
        if (cause == "write")
            simbench::failCall(Call::Write, 30);
        if (cause == "readback") {
            // The last FT_Read of a Write belongs to its read-back: fail that one.
            simbench::resetCounters();
            run("btnWrite");
            simbench::failCall(Call::Read, int(simbench::counters().byKind[int(Call::Read)]));
        }
        if (cause == "model") {
            viaDialog("actionLoad", toFile(dir.filePath("other.scd"), "ORBIX-1S", demo::customImage(*maps->maps()[1])));
            QCOMPARE(status(), QString("Ready"));
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
            view->setCurrentCell(1, gbTableCSS::ColIfOut);
            w->show();
            QVERIFY(QTest::qWaitForWindowActive(w.get()));
            view->edit(view->model()->index(1, gbTableCSS::ColIfOut));
            QVERIFY(t->spinEditor(gbTableCSS::ColIfOut)->isVisible());
            t->spinEditor(gbTableCSS::ColIfOut)->setValue(1230);
        }
        if (cause == "load") {
            QByteArray image = demo::customImage(*maps->maps()[0]);
            image[10] = char(image[10] + 1);  // byte sum no longer zero
            viaDialog("actionLoad", toFile(dir.filePath("bad.scd"), "ORBIX-1", image));
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
        QCOMPARE(bool(table()), shown);
        QCOMPARE(marked(8), shown);  // the panels as they were, not rebuilt
        QVERIFY(!w->configStore().link().isOpen());
        QVERIFY(!w->configStore().currentUnit());
        if (cause == "load") {
            // Nothing shown, so nothing may come back or be saved, whatever map the store still names.
            trigger("actionAdvancedMode");
            QVERIFY(!table() && w->findChildren<gbInput *>().isEmpty());
            viaDialog("actionSave", dir.filePath("out.scd"));
            QCOMPARE(said(), QStringList{"ERROR saving configuration file!"});
            QVERIFY(!QFile::exists(dir.filePath("out.scd")));
        }
        if (refused) {
            QCOMPARE(simbench::counters().byKind[int(Call::Open)], uint64_t(0));
            QCOMPARE(slot(0), image);
            QCOMPARE(flash(0x70000), demo::customImage(*maps->maps()[0]));
        }
    }

    // Save and Load through their dialogs, then a Write from Advanced Mode.
    void dialogsAndAdvancedMode()
    {
        run("btnRead");
        QByteArray image = slot(0);
        table()->setPin(4, 42);
        setField(image, "CSS[4].Pin", 42);
        const QString path = dir.filePath("plan.scd");
        viaDialog("actionSave", path);
        QCOMPARE(status(), QString("Ready"));
        QCOMPARE(readAll(path), pad32("ORBIX-1") + image);

        // Cancelled: Save says nothing, Load says Ready; panels stay.
        w->statusBar()->clearMessage();
        mark(8);
        viaDialog("actionSave", QString());
        QCOMPARE(status(), QString());
        viaDialog("actionLoad", QString());
        QCOMPARE(said(), QStringList({QString(), "Ready"}));
        QCOMPARE(colour(), QColor(Qt::green));
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
        QCOMPARE(w->findChildren<QWidget *>("gbOutput").size(), 3);
        auto *lo = w->findChildren<gbInput *>()[0]->findChild<QComboBox *>("cbLO");
        lo->setCurrentIndex(lo->findData(3));  // 10000 MHz
        QCOMPARE(table()->ifIn(8), 1494000u);  // 11494 - 10000
        run("btnWrite");
        QCOMPARE(field(flash(0x70000), "Input[0].DISEqC_LNB_LO"), 3u);
        QCOMPARE(field(flash(0x70000), "CSS[8].InputFrequency"), 1494000u);
        trigger("actionAdvancedMode");
        QCOMPARE(w->findChildren<gbInput *>().size(), 0);
    }

    void readDefaultFailures_data()
    {
        QTest::addColumn<QByteArray>("mapChange");  // empty: the shipped unit with a bad slot 1
        QTest::addColumn<bool>("openWhenShown");
        QTest::newRow("slot 1 invalid on the unit") << QByteArray() << true;
        QTest::newRow("Enable missing") << QByteArray("Enable") << false;
        QTest::newRow("ReadOnly missing") << QByteArray("ReadOnly") << false;
    }

    // Each step of Read default that can fail: the red message (shown before
    // the unit is closed), the unit closed, the panels kept.
    void readDefaultFailures()
    {
        QFETCH(QByteArray, mapChange);
        QFETCH(bool, openWhenShown);
        auto *selector = w->findChild<QComboBox *>("cbDevice");
        if (mapChange.isEmpty()) {
            simbench::setFlashBytes(unit1, 0x71000 + 300, {uint8_t(flash(0x71000)[300] ^ 1)});
        } else {
            // A model of its own, a field missing from its map. (A refused copy
            // takes the same branch; copySlot's refusals: tst_unittransfer.)
            FieldMap model = *maps->maps()[0];
            model.modelName = {'O', 'R', 'B', 'I', 'X', '-', 'T'};
            QByteArray bytes = readAll(":/orbix-1.map");
            bytes.replace(0, 32, pad32("ORBIX-T"));
            QVERIFY(hideRecord(bytes, mapChange));
            QVERIFY(w->configStore().loadMap(writeFile(dir.filePath("t.map"), bytes)));
            demo::attachUnit(model, "T1");
            click("btnDeviceRefresh");
            QCOMPARE(selector->count(), 3);
            selector->setCurrentIndex(2);
        }
        QVERIFY(w->loadConfiguration(toFile(dir.filePath("c.scd"), "ORBIX-1", demo::customImage(*maps->maps()[0]))));
        mark(8);
        said();
        QList<bool> open;
        connect(w->statusBar(), &QStatusBar::messageChanged, this, [&] { open << w->configStore().link().isOpen(); });
        click("btnDefault");
        QCOMPARE(said(), QStringList({waiting("btnDefault"), "ERROR reading default configuration data!"}));
        QCOMPARE(colour(), QColor(Qt::red));
        QCOMPARE(open.last(), openWhenShown);
        QVERIFY(!w->configStore().link().isOpen());
        QVERIFY(marked(8));
    }

    void oddValuesTravelUnchanged_data()
    {
        QTest::addColumn<QString>("path");
        const QDir corpus(OSTREL_FUZZ_CORPUS "/plans");
        const QStringList odd = corpus.entryList({"odd-*.scd"});
        QVERIFY(odd.size() >= 10);
        for (const QString &name : odd)
            QTest::newRow(qPrintable(name)) << corpus.filePath(name);
    }

    // Read then Write changes only "Enable" and the cell the user edited. (Load
    // then Save of the same files: fuzz_replay_plans.)
    void oddValuesTravelUnchanged()
    {
        QFETCH(QString, path);
        QByteArray image = readAll(path).mid(32);
        simbench::setFlashBytes(unit1, 0x70000, std::vector<uint8_t>(image.begin(), image.end()));
        run("btnRead");
        const bool edited = table()->rowCount() > 5;
        if (edited)
            table()->setPin(5, 42);
        run("btnWrite");
        setField(image, "Enable", 1);
        if (edited)
            setField(image, "CSS[5].Pin", 42);
        QCOMPARE(flash(0x70000), image);
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
        toFile(path, "OLD", QByteArray(2000, 'x'));
        const auto all = [](QFile::Permissions p) { return p | QFile::Permissions(int(p) >> 4) | QFile::Permissions(int(p) >> 8); };
        QVERIFY(QFile::setPermissions(dir.path(), all(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)));
        QVERIFY(QFile::setPermissions(path, all(QFile::ReadOwner | QFile::WriteOwner)));
        QVERIFY(QFile::setPermissions(locked, all(QFile::ReadOwner | QFile::ExeOwner)));
        // Permissions do not bind root: save as "nobody" for the while.
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
        auto *selector = w->findChild<QComboBox *>("cbDevice");
        selector->setCurrentIndex(1);
        QVERIFY(simbench::detach(unit1));
        QTRY_COMPARE(selector->count(), 1);
        QVERIFY(selector->itemText(0).startsWith("0: ORBIX-1S, Serial Number=U2,"));
        QVERIFY(simbench::replug(unit1));
        QTRY_COMPARE(selector->count(), 2);
        QCOMPARE(selector->currentIndex(), 0);
        demo::attachUnit(*maps->maps()[0], "A%1B%2");
        click("btnDeviceRefresh");
        QCOMPARE(selector->itemText(2), QString("2: ORBIX-1, Serial Number=A%1B%2, HW Version=1.0, SW Version=1.0"));
    }

private:
    std::unique_ptr<ConfigStore> maps;
    std::unique_ptr<MainWindow> w;
    QTemporaryDir dir;
    int unit1 = -1;
    QStringList messages;

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
    gbTableCSS *table() const { return w->findChild<gbTableCSS *>("gbTableCSS"); }
    // An F IN no image holds: it stays only while the same table is shown.
    void mark(int row)
    {
        ++table()->updateGuard;
        table()->setCellText(row, gbTableCSS::ColFIn, "4242");
        --table()->updateGuard;
    }
    bool marked(int row) const { return table() && table()->cellText(row, gbTableCSS::ColFIn) == "4242"; }
    QByteArray slot(uint32_t s) const { return toBytes(w->configStore().slotPointer(s), 892); }
    QByteArray flash(uint32_t address, uint32_t length = 892) const { return flashAt(unit1, address, length); }
    uint32_t field(QByteArray image, const char *name) const
    {
        uint32_t v = 0;
        const FieldMap *m = maps->maps()[0].get();
        return maps->getUInt(v, name, 0, &image, m) || maps->getBool(v, name, 0, &image, m) ? v : 0xDEAD;
    }
    // Sets a field and seals the image again.
    void setField(QByteArray &image, const char *name, uint32_t value) const
    {
        const FieldMap *m = maps->maps()[0].get();
        QVERIFY(maps->setUInt(value, name, 0, &image, m) || maps->setBool(value, name, 0, &image, m));
        reseal(image);
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
