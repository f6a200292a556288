#include "panels/channelrules.h"

#include <QtTest>

using channelrules::ChannelRow;

namespace {

// One channel per token: mode letter, output, '@' IF OUT in MHz, then
// optionally '/' bandwidth in MHz and ':' user band as shown (1-based).
// Modes: O off, S static, R SCR, D SCD2, C SCR/SCD2, K BSKYB, T tone, X unknown.
std::vector<ChannelRow> parseRows(const QString &text)
{
    static const QString modes = "OSRDCKT";
    std::vector<ChannelRow> rows;
    const QRegularExpression token(R"(^([A-Z])(\d)@(\d+)(?:/(\d+))?(?::(\d+))?$)");
    for (const QString &part : text.split(' ', Qt::SkipEmptyParts)) {
        const auto m = token.match(part);
        if (!m.hasMatch())
            qFatal("bad row %s", qPrintable(part));
        ChannelRow row;
        const int mode = modes.indexOf(m.captured(1));
        row.mode = std::uint8_t(mode < 0 ? 0xFF : mode);
        row.output = std::uint8_t(m.captured(2).toInt());
        row.ifOut = m.captured(3).toUInt() * 1000;
        row.bandwidth = m.captured(4).toUInt() * 1000;
        row.userBand = std::uint8_t(m.captured(5).toInt() - 1);
        rows.push_back(row);
    }
    return rows;
}

QString marked(const channelrules::RowFlags &flags)
{
    QStringList rows;
    for (std::size_t r = 0; r < flags.size(); ++r)
        if (flags[r])
            rows << QString::number(r);
    return rows.join(' ');
}

} // namespace

class TestChannelRules : public QObject
{
    Q_OBJECT

private slots:
    void rules_data();
    void rules();
};

void TestChannelRules::rules_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<int>("outputs");
    QTest::addColumn<QString>("rows");
    QTest::addColumn<QString>("expected");

    const QString five = "T0@1000 T0@1010 T0@1020 T0@1030 T0@1040 ";
    QTest::newRow("sixth tone in a sub-band") << "freq" << 1 << five + "T0@1050" << "5";
    QTest::newRow("sixth tone in the next sub-band") << "freq" << 1 << five + "T0@1100" << "";
    QTest::newRow("1096 MHz is sub-band 0") << "freq" << 1 << five + "T0@1096" << "5";
    QTest::newRow("1097 MHz starts sub-band 1") << "freq" << 1 << five + "T0@1097" << "";
    QTest::newRow("sixth in row order is marked") << "freq" << 1 << "T0@1050 " + five << "5";
    QTest::newRow("950 MHz counts") << "freq" << 1 << "T0@950 T0@951 T0@952 T0@953 T0@954 T0@955" << "5";
    QTest::newRow("949 MHz counts nowhere") << "freq" << 1 << "T0@949 T0@950 T0@951 T0@952 T0@953 T0@954" << "";
    const QString lastFive = "T0@2110 T0@2115 T0@2120 T0@2125 T0@2130 ";
    QTest::newRow("2150 MHz is the last sub-band") << "freq" << 1 << lastFive + "T0@2150" << "5";
    QTest::newRow("2151 MHz counts nowhere") << "freq" << 1 << lastFive + "T0@2151" << "";
    QTest::newRow("sixth on another output") << "freq" << 2 << five + "T1@1050" << "";
    QTest::newRow("output beyond the ports") << "freq" << 2 << QString(five).replace("T0", "T2") + "T2@1050" << "";
    QTest::newRow("off row not counted") << "freq" << 1 << five + "O0@1050" << "";
    QTest::newRow("overlap") << "freq" << 1 << "S0@1000/36 R0@1035/36" << "0 1";
    QTest::newRow("touching") << "freq" << 1 << "S0@1000/36 R0@1036/36" << "";
    QTest::newRow("touching, lower one later") << "freq" << 1 << "S0@1036/36 R0@1000/36" << "";
    QTest::newRow("overlap across outputs") << "freq" << 2 << "S0@1000/36 R1@1035/36" << "";
    QTest::newRow("only the pair is marked") << "freq" << 1 << "S0@1300/36 S0@1000/36 R0@1030/36" << "1 2";
    QTest::newRow("tone inside a channel") << "freq" << 1 << "S0@1000/36 T0@1010" << "0 1";
    QTest::newRow("tone on a channel edge") << "freq" << 1 << "S0@1000/36 T0@1018" << "";
    QTest::newRow("two tones on one centre") << "freq" << 1 << "T0@1000 T0@1000" << "";
    QTest::newRow("tone ignores its bandwidth") << "freq" << 1 << "S0@1000/36 T0@1030/36" << "";
    QTest::newRow("off row overlapping") << "freq" << 1 << "O0@1000/36 S0@1010/36" << "";
    QTest::newRow("unknown mode is active") << "freq" << 1 << "X0@1000/36 X0@1010/36" << "0 1";
    // The lower edge below 0 wraps round in unsigned arithmetic: no overlap.
    QTest::newRow("edge below zero wraps") << "freq" << 1 << "S0@10/4000 T0@1000" << "";

    QTest::newRow("fifth bandwidth and its repeat")
        << "bw" << 1 << "S0@1000/20 S0@1100/25 S0@1200/30 S0@1300/36 S0@1400/40 S0@1500/40" << "4 5";
    QTest::newRow("repeats of the first four")
        << "bw" << 1 << "S0@1000/20 S0@1100/25 S0@1200/30 S0@1300/36 S0@1400/20 S0@1500/36" << "";
    QTest::newRow("tones and zero widths count for nothing")
        << "bw" << 1 << "S0@1000/20 T0@1100/99 S0@1200/25 S0@1300/0 S0@1400/30 R0@1500/36 K0@1600/40" << "6";
    QTest::newRow("off rows count for nothing")
        << "bw" << 1 << "O0@900/99 S0@1000/20 S0@1100/25 S0@1200/30 S0@1300/36" << "";

    QTest::newRow("SCR 1 and 8") << "ub" << 1 << "R0@1000:1 R0@1100:8" << "";
    QTest::newRow("SCR 9 and 0") << "ub" << 1 << "R0@1000:9 R0@1100:8 R0@1200:0" << "0 2";
    QTest::newRow("BSKYB 31, 32, 0") << "ub" << 1 << "K0@1000:31 K0@1100:32 K0@1200:0" << "1 2";
    QTest::newRow("other modes unchecked") << "ub" << 1 << "D0@1000:99 C0@1100:99 S0@1200:0 T0@1300:0 O0@1:0" << "";
}

void TestChannelRules::rules()
{
    QFETCH(QString, rule);
    QFETCH(int, outputs);
    QFETCH(QString, rows);
    QFETCH(QString, expected);

    const auto channels = parseRows(rows);
    if (rule == "freq")
        QCOMPARE(marked(channelrules::outputFrequencyFaults(channels, std::size_t(outputs))), expected);
    else if (rule == "bw")
        QCOMPARE(marked(channelrules::bandwidthFaults(channels)), expected);
    else
        QCOMPARE(marked(channelrules::userBandFaults(channels)), expected);
}

QTEST_APPLESS_MAIN(TestChannelRules)
#include "tst_channelrules.moc"
