// Image -> panels -> image on the real window: port lists, rows, limits and
// the level offset as the image gives them, and nothing rewritten on the way back.
#include "app/demo/demounits.h"
#include "app/mainwindow.h"
#include "config/configstore.h"
#include "panels/gbinput.h"
#include "panels/gbtablecss.h"
#include "../common/mapbuilder.h"

#include <QtTest>
#include <QtWidgets>

using T = gbTableCSS;

class TestImagePanels : public QObject
{
    Q_OBJECT
private slots:
    void init() { w = std::make_unique<MainWindow>(); }
    void cleanup() { w.reset(); }

    void shown_data()
    {
        QTest::addColumn<QByteArray>("edits");    // "name=value;..."
        QTest::addColumn<QByteArray>("missing");  // a field the map lacks
        QTest::addColumn<int>("inputs");
        QTest::addColumn<int>("outputs");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("filled");  // cells filled per row, for rows 1 to 4 and the last
        const auto row = [](const char *tag, const char *edits, const char *missing, int inputs, int outputs,
                            int rows = 32, const char *filled = "9 9 9 9 9") {
            QTest::newRow(tag) << QByteArray(edits) << QByteArray(missing) << inputs << outputs << rows << QString(filled);
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
    }

    // Ports end at the first absent or unreadable one; a missing row field ends
    // that row only; rows beyond the image's stay empty. In both modes.
    void shown()
    {
        QFETCH(QByteArray, edits);
        QFETCH(QByteArray, missing);
        QFETCH(int, inputs);
        QFETCH(int, outputs);
        QFETCH(int, rows);
        QFETCH(QString, filled);
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
            unchangedByPanels();
        }
    }

    void levelsAndLimits_data()
    {
        QTest::addColumn<uint>("offset");
        QTest::addColumn<int>("shown");  // stored level 60
        QTest::addColumn<QString>("levelLimits");
        QTest::newRow("offset 20") << 20u << 80 << "70..100";
        QTest::newRow("offset byte 0xF6") << 0xF6u << 306 << "296..326";
        QTest::newRow("offset 0") << 0u << 60 << "50..80";
    }

    void levelsAndLimits()
    {
        QFETCH(uint, offset);
        QFETCH(int, shown);
        QFETCH(QString, levelLimits);
        show("OutputLevelOffset=" + QByteArray::number(offset) + ";InputFrequencyMin=251000;InputFrequencyMax=2399000;"
             "OutputFrequencyMin=951000;OutputFrequencyMax=2149000;BandwidthMin=5000;BandwidthMax=79000");
        QCOMPARE(table()->level(0), shown);
        QCOMPARE(limits(T::ColLevel), levelLimits);
        QCOMPARE(limits(T::ColFIn), QString("10700..12750"));
        QCOMPARE(limits(T::ColIfIn), QString("251..2399"));
        QCOMPARE(limits(T::ColIfOut), QString("951..2149"));
        QCOMPARE(limits(T::ColBandwidth), QString("5..79"));
        unchangedByPanels();
        table()->setLevel(1, uint32_t(shown + 4));  // a user edit
        w->panelsToImage();
        QCOMPARE(field("CSS[1].OutputLevel"), 64u);
        QCOMPARE(field("CSS[0].OutputLevel"), 60u);
    }

private:
    std::unique_ptr<MainWindow> w;
    QTemporaryDir dir;
    QByteArray shownImage;

    ConfigStore &store() { return w->configStore(); }
    T *table() const { return w->findChild<T *>("gbTableCSS"); }
    QString limits(int col) const
    {
        const QSpinBox *spin = table()->spinEditor(col);
        return QString("%1..%2").arg(spin->minimum()).arg(spin->maximum());
    }
    uint32_t field(const char *name) { uint32_t v = 0; store().getUInt(v, name); return v; }

    // Shows the customised ORBIX-1 image with the edits, read through a map
    // without the field named `missing` (its record renamed).
    void show(const QByteArray &edits, const QByteArray &missing = {})
    {
        const FieldMap *map = store().maps().front().get();
        if (!missing.isEmpty()) {
            QByteArray bytes = readAll(":/orbix-1.map");
            QVERIFY(hideRecord(bytes, missing));
            QVERIFY(store().loadMap(writeFile(dir.filePath("missing.map"), bytes)));
            map = store().maps().back().get();
        }
        QByteArray image = demo::customImage(*store().maps().front());
        for (const QByteArray &edit : edits.split(';')) {
            const uint32_t value = edit.mid(edit.indexOf('=') + 1).toUInt();
            const QByteArray name = edit.left(edit.indexOf('='));
            if (!edit.isEmpty())
                QVERIFY(store().setUInt(value, name, 0, &image, map) || store().setInt(int32_t(value), name, 0, &image, map));
        }
        store().image().clear();
        QVERIFY(store().image().add(map->slotAddress(0), map->imageSize, reinterpret_cast<const uint8_t *>(image.constData())));
        store().setLoadedMap(map);
        w->buildPanels();
        QVERIFY(table());
        shownImage = image;
    }

    // What the panels show travels back unchanged.
    void unchangedByPanels()
    {
        w->panelsToImage();
        const uint8_t *p = store().slotPointer(0);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(p), shownImage.size()), shownImage);
    }
};

QTEST_MAIN(TestImagePanels)
#include "tst_imagepanels.moc"
