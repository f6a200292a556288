#include "panels/gbinput.h"
#include "panels/gblnbsupply.h"
#include "panels/gboutput.h"

#include <QComboBox>
#include <QtTest>

#include <memory>

namespace {

std::unique_ptr<QGroupBox> makePanel(const QString &kind, std::uint8_t index, std::uint8_t a = 1,
                                     std::uint8_t b = 0, std::uint8_t c = 2)
{
    if (kind == "gbInput")
        return std::make_unique<gbInput>(index, a, b, c);
    if (kind == "gbOutput")
        return std::make_unique<gbOutput>(index, a, b, c);
    return std::make_unique<gbLNBSupply>(a, b, c);
}

// Items of every combo, in layout order, the current one in brackets.
QString shown(QWidget *panel)
{
    QStringList combos;
    for (const QComboBox *box : panel->findChildren<QComboBox *>()) {
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << (i == box->currentIndex() ? '[' + box->itemText(i) + ']' : box->itemText(i));
        combos << items.join(',');
    }
    return combos.join(" | ");
}

} // namespace

class TestPortPanels : public QObject
{
    Q_OBJECT

private slots:
    void namesAndTitles();
    void selectionByCode_data();
    void selectionByCode();
    void userChangeEmitsOnce_data();
    void userChangeEmitsOnce();
    void receiverChangesPanel();
};

void TestPortPanels::namesAndTitles()
{
    const QMap<QString, QStringList> children{
        {"gbInput", {"formLayout", "label", "label_2", "label_3", "label_4", "label_5", "cbMode", "cbBand",
                     "cbPolarization", "cbSatellite", "cbLO"}},
        {"gbOutput", {"formLayout", "label", "label_2", "label_3", "cbMode", "cbLOLow", "cbLOHigh"}},
        {"gbLNBSupply", {"horizontalLayout", "label", "cbMode"}}};
    for (auto it = children.begin(); it != children.end(); ++it) {
        const auto panel = makePanel(it.key(), 0);
        QCOMPARE(panel->objectName(), it.key());
        QCOMPARE(QString(panel->metaObject()->className()), it.key());
        for (const QString &name : it.value())
            QVERIFY2(panel->findChild<QObject *>(name), qPrintable(it.key() + ' ' + name));
    }
    for (int i = 0; i < 7; ++i)
        QCOMPARE(makePanel("gbInput", std::uint8_t(i))->title(), QString("Input %1").arg(i + 1));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(makePanel("gbOutput", std::uint8_t(i))->title(), QString("Output %1").arg(i + 1));
}

void TestPortPanels::selectionByCode_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QList<int>>("values"); // constructor values after the index
    QTest::addColumn<QString>("current");   // current texts, or all items for gbLNBSupply
    QTest::addColumn<QList<int>>("readBack");

    // gbInput: mode, bank word, LO code; read back the same way.
    QTest::newRow("bank 0x0F") << "gbInput" << QList<int>{1, 0x0F, 2} << "NORMAL HIGH HORIZONTAL D 9750 MHz" << QList<int>{1, 0x0F, 2};
    QTest::newRow("bank 0x10") << "gbInput" << QList<int>{5, 0x10, 20} << "MIN_GAIN WIDE VERTICAL A WB 13450 MHz" << QList<int>{5, 0x10, 20};
    QTest::newRow("bank 0x11: no band") << "gbInput" << QList<int>{3, 0x11, 11} << "MAX_GAIN  VERTICAL A 1585 MHz" << QList<int>{3, 0x00, 11};
    QTest::newRow("bits 5 to 7 lost") << "gbInput" << QList<int>{0, 0xE6, 0} << "OFF LOW HORIZONTAL B switcher" << QList<int>{0, 0x06, 0};
    QTest::newRow("mode 2, LO 13") << "gbInput" << QList<int>{2, 0x08, 13} << " LOW VERTICAL C " << QList<int>{0, 0x08, 0};
    QTest::newRow("LO 1 and 21") << "gbInput" << QList<int>{1, 0, 21} << "NORMAL LOW VERTICAL A " << QList<int>{1, 0, 0};
    // gbOutput: mode, low LO, high LO.
    QTest::newRow("output mode 2, LO 14") << "gbOutput" << QList<int>{2, 14, 255} << "  " << QList<int>{0, 0, 0};
    QTest::newRow("output equal LOs") << "gbOutput" << QList<int>{1, 16, 16} << "CSS MODE WB switcher WB switcher" << QList<int>{1, 16, 16};
    // gbLNBSupply: mode, minimum, maximum; shows the items offered.
    QTest::newRow("LNB 0..2") << "LNB" << QList<int>{2, 0, 2} << "OFF,14V,[14V/18V/22kHz]" << QList<int>{2};
    QTest::newRow("LNB 1..1") << "LNB" << QList<int>{1, 1, 1} << "[14V]" << QList<int>{1};
    QTest::newRow("LNB 0..0") << "LNB" << QList<int>{0, 0, 0} << "[OFF]" << QList<int>{0};
    QTest::newRow("LNB 1..2, mode 0") << "LNB" << QList<int>{0, 1, 2} << "14V,14V/18V/22kHz" << QList<int>{0};
    QTest::newRow("LNB mode above range") << "LNB" << QList<int>{2, 0, 1} << "OFF,14V" << QList<int>{0};
    QTest::newRow("LNB minimum above 2") << "LNB" << QList<int>{1, 3, 5} << "" << QList<int>{0};
    QTest::newRow("LNB minimum above maximum") << "LNB" << QList<int>{1, 2, 1} << "" << QList<int>{0};
    QTest::newRow("LNB maximum above 2") << "LNB" << QList<int>{2, 2, 200} << "[14V/18V/22kHz]" << QList<int>{2};
}

void TestPortPanels::selectionByCode()
{
    QFETCH(QString, kind);
    QFETCH(QList<int>, values);
    QFETCH(QString, current);
    QFETCH(QList<int>, readBack);

    const auto v = [&](int i) { return std::uint8_t(values[i]); };
    const auto panel = makePanel(kind, 0, v(0), v(1), v(2));
    QList<int> read;
    QStringList texts;
    for (const QComboBox *box : panel->findChildren<QComboBox *>())
        texts << box->currentText();
    if (auto *in = qobject_cast<gbInput *>(panel.get())) {
        read = {in->mode(), in->diseqcBank(), in->diseqcLnbLo()};
        QCOMPARE(texts.join(' '), current);
    } else if (auto *out = qobject_cast<gbOutput *>(panel.get())) {
        read = {out->mode(), out->stbLoLow(), out->stbLoHigh()};
        QCOMPARE(texts.join(' '), current);
    } else {
        read = {static_cast<gbLNBSupply *>(panel.get())->mode()};
        QCOMPARE(shown(panel.get()), current);
    }
    QCOMPARE(read, readBack);
}

void TestPortPanels::userChangeEmitsOnce_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("comboName");
    for (const char *name : {"cbMode", "cbBand", "cbPolarization", "cbSatellite", "cbLO"})
        QTest::addRow("gbInput %s", name) << "gbInput" << name;
    for (const char *name : {"cbMode", "cbLOLow", "cbLOHigh"})
        QTest::addRow("gbOutput %s", name) << "gbOutput" << name;
}

void TestPortPanels::userChangeEmitsOnce()
{
    QFETCH(QString, kind);
    QFETCH(QString, comboName);

    const auto panel = makePanel(kind, 4, 0, 0, 4);
    QSignalSpy spy(panel.get(), SIGNAL(Changed(unsigned char)));
    QComboBox *box = panel->findChild<QComboBox *>(comboName);
    const int before = box->currentIndex();
    QTest::keyClick(box, Qt::Key_Down);
    QVERIFY(box->currentIndex() != before);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<unsigned char>(), static_cast<unsigned char>(4));
}

void TestPortPanels::receiverChangesPanel()
{
    gbInput panel(2, 1, 0, 2);
    int calls = 0;
    connect(&panel, &gbInput::Changed, &panel, [&](unsigned char index) {
        ++calls;
        QCOMPARE(int(index), 2);
        panel.setDiseqcLnbLo(4); // a receiver adjusting the panel
    });
    panel.setMode(5);
    QCOMPARE(calls, 1);
    QCOMPARE(int(panel.diseqcLnbLo()), 4);
    panel.setMode(3);
    QCOMPARE(calls, 2);
}

QTEST_MAIN(TestPortPanels)
#include "tst_portpanels.moc"
