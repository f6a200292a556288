#include "panels/gbinput.h"
#include "panels/gblnbsupply.h"
#include "panels/gboutput.h"

#include <QComboBox>
#include <QtTest>

#include <memory>

namespace {

std::unique_ptr<QGroupBox> makePanel(const QString &kind, std::uint8_t index, std::uint8_t a, std::uint8_t b,
                                     std::uint8_t c)
{
    if (kind == "gbInput")
        return std::make_unique<gbInput>(index, a, b, c);
    if (kind == "gbOutput")
        return std::make_unique<gbOutput>(index, a, b, c);
    return std::make_unique<gbLNBSupply>(a, b, c);
}

} // namespace

class TestPortPanels : public QObject
{
    Q_OBJECT

private slots:
    void titles()
    {
        QCOMPARE(gbInput(6, 0, 0, 0).title(), QString("Input 7"));
        QCOMPARE(gbOutput(2, 0, 0, 0).title(), QString("Output 3"));
        QCOMPARE(gbLNBSupply(0, 0, 2).title(), QString("LNB Power Supply"));
    }

    void selectionByCode_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QList<int>>("values"); // constructor values after the index
        QTest::addColumn<QString>("shown");     // current texts; for the LNB supply all items, current in []
        QTest::addColumn<QList<int>>("readBack");

        // gbInput: mode, bank word, LO code.
        QTest::newRow("bank 0x0F") << "gbInput" << QList<int>{1, 0x0F, 2} << "NORMAL HIGH HORIZONTAL D 9750 MHz" << QList<int>{1, 0x0F, 2};
        QTest::newRow("bank 0x10") << "gbInput" << QList<int>{5, 0x10, 20} << "MIN_GAIN WIDE VERTICAL A WB 13450 MHz" << QList<int>{5, 0x10, 20};
        QTest::newRow("bank 0x11: unknown band") << "gbInput" << QList<int>{3, 0x11, 11} << "MAX_GAIN unknown (17) VERTICAL A 1585 MHz" << QList<int>{3, 0x11, 11};
        QTest::newRow("bits 5 to 7 kept") << "gbInput" << QList<int>{0, 0xE6, 0} << "OFF LOW HORIZONTAL B switcher" << QList<int>{0, 0xE6, 0};
        QTest::newRow("all bank bits, LO 255") << "gbInput" << QList<int>{200, 0xFF, 255} << "unknown (200) unknown (17) HORIZONTAL D unknown (255)" << QList<int>{200, 0xFF, 255};
        QTest::newRow("unknown mode and LO") << "gbInput" << QList<int>{2, 0x08, 13} << "unknown (2) LOW VERTICAL C unknown (13)" << QList<int>{2, 0x08, 13};
        // gbOutput: mode, low LO, high LO.
        QTest::newRow("output, unknown mode") << "gbOutput" << QList<int>{2, 16, 20} << "unknown (2) WB switcher WB 13450 MHz" << QList<int>{2, 16, 20};
        // gbLNBSupply: mode, minimum, maximum.
        QTest::newRow("LNB 0..2") << "LNB" << QList<int>{2, 0, 2} << "OFF,14V,[14V/18V/22kHz]" << QList<int>{2};
        QTest::newRow("LNB 1..2, mode 0") << "LNB" << QList<int>{0, 1, 2} << "14V,14V/18V/22kHz,[OFF]" << QList<int>{0};
        QTest::newRow("LNB 0..1, mode 2") << "LNB" << QList<int>{2, 0, 1} << "OFF,14V,[14V/18V/22kHz]" << QList<int>{2};
        QTest::newRow("LNB mode 200") << "LNB" << QList<int>{200, 0, 2} << "OFF,14V,14V/18V/22kHz,[unknown (200)]" << QList<int>{200};
        QTest::newRow("LNB minimum above maximum") << "LNB" << QList<int>{1, 2, 1} << "[14V]" << QList<int>{1};
        QTest::newRow("LNB maximum above 2") << "LNB" << QList<int>{2, 2, 200} << "[14V/18V/22kHz]" << QList<int>{2};
    }

    void selectionByCode()
    {
        QFETCH(QString, kind);
        QFETCH(QList<int>, values);
        QFETCH(QString, shown);
        QFETCH(QList<int>, readBack);

        const auto panel = makePanel(kind, 0, std::uint8_t(values[0]), std::uint8_t(values[1]), std::uint8_t(values[2]));
        QStringList texts;
        for (const QComboBox *box : panel->findChildren<QComboBox *>()) {
            if (kind != "LNB")
                texts << box->currentText();
            else
                for (int i = 0; i < box->count(); ++i)
                    texts << (i == box->currentIndex() ? '[' + box->itemText(i) + ']' : box->itemText(i));
        }
        QCOMPARE(texts.join(kind == "LNB" ? ',' : ' '), shown);
        QList<int> read;
        if (auto *in = qobject_cast<gbInput *>(panel.get()))
            read = {in->mode(), in->diseqcBank(), in->diseqcLnbLo()};
        else if (auto *out = qobject_cast<gbOutput *>(panel.get()))
            read = {out->mode(), out->stbLoLow(), out->stbLoHigh()};
        else
            read = {static_cast<gbLNBSupply *>(panel.get())->mode()};
        QCOMPARE(read, readBack);
    }

    void userChangeEmitsOnce_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("comboName");
        for (const char *name : {"cbMode", "cbBand", "cbPolarization", "cbSatellite", "cbLO"})
            QTest::addRow("gbInput %s", name) << "gbInput" << name;
        for (const char *name : {"cbMode", "cbLOLow", "cbLOHigh"})
            QTest::addRow("gbOutput %s", name) << "gbOutput" << name;
    }

    void userChangeEmitsOnce()
    {
        QFETCH(QString, kind);
        QFETCH(QString, comboName);

        const auto panel = makePanel(kind, 4, 0, 0, 4);
        QSignalSpy spy(panel.get(), SIGNAL(Changed(unsigned char)));
        QComboBox *box = panel->findChild<QComboBox *>(comboName);
        // A receiver that adjusts the panel (here: empties another combo) is not reported again.
        const auto combos = panel->findChildren<QComboBox *>();
        connect(panel.get(), SIGNAL(Changed(unsigned char)), combos.first() == box ? combos.last() : combos.first(), SLOT(clear()));
        const int before = box->currentIndex();
        QTest::keyClick(box, Qt::Key_Down);
        QVERIFY(box->currentIndex() != before);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<unsigned char>(), static_cast<unsigned char>(4));
        QTest::keyClick(box, Qt::Key_Up); // the next change is
        QCOMPARE(spy.count(), 2);
    }
};

QTEST_MAIN(TestPortPanels)
#include "tst_portpanels.moc"
