#include "../common/planrows.h"
#include "plan/channelrules.h"

#include <QtTest>

class TestChannelRules : public QObject
{
    Q_OBJECT

private slots:
    // Two outputs, 0 and 1, throughout.
    void rules_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("expected");

        const QString five = "T0@1000 T0@1010 T0@1020 T0@1030 T0@1040 ";
        QTest::newRow("sixth in row order is marked") << "freq" << "T0@1050 " + five << "5";
        QTest::newRow("1096 in sub-band 0, 1097 in 1") << "freq" << five + "T0@1096 T0@1097" << "5";
        QTest::newRow("949 nowhere, 950 counts") << "freq" << "T0@949 T0@950 T0@951 T0@952 T0@953 T0@954 T0@955" << "6";
        QTest::newRow("2150 counts, 2151 nowhere") << "freq" << "T0@2110 T0@2115 T0@2120 T0@2125 T0@2130 T0@2150 T0@2151" << "5";
        QTest::newRow("sixth on another output") << "freq" << five + "T1@1050" << "";
        QTest::newRow("six on output 1") << "freq" << QString(five).replace("T0", "T1") + "T1@1050" << "5";
        QTest::newRow("output 2 is no port") << "freq" << QString(five).replace("T0", "T2") + "T2@1050" << "";
        QTest::newRow("off row not counted") << "freq" << five + "O0@1050" << "";
        QTest::newRow("overlap: only the pair") << "freq" << "S0@1300/36 S0@1000/36 R0@1035/36" << "1 2";
        QTest::newRow("touching either way") << "freq" << "S0@1036/36 R0@1000/36 S0@1072/36" << "";
        QTest::newRow("overlap on output 1 only") << "freq" << "S0@1000/36 R1@1035/36 S1@1030/36" << "1 2";
        QTest::newRow("tone inside a channel") << "freq" << "S0@1000/36 T0@1010" << "0 1";
        QTest::newRow("tone on a channel edge") << "freq" << "S0@1000/36 T0@1018" << "";
        QTest::newRow("two tones on one centre") << "freq" << "T0@1000 T0@1000" << "";
        QTest::newRow("tone ignores its bandwidth") << "freq" << "S0@1000/36 T0@1030/36" << "";
        QTest::newRow("off row overlapping") << "freq" << "O0@1000/36 S0@1010/36" << "";
        QTest::newRow("unknown mode is active") << "freq" << "X0@1000/36 X0@1010/36" << "0 1";

        QTest::newRow("fifth bandwidth and its repeat")
            << "bw" << "S0@1000/20 S0@1100/25 S0@1200/30 S0@1300/36 S0@1400/20 S0@1500/40 S0@1600/40" << "5 6";
        QTest::newRow("off, tones and zero widths count for nothing")
            << "bw" << "O0@900/99 S0@1000/20 T0@1100/99 S0@1200/25 S0@1300/0 S0@1400/30 R0@1500/36 K0@1600/40" << "7";

        QTest::newRow("SCR 1 to 8 only") << "ub" << "R0@1000:1 R0@1100:8 R0@1200:9 R0@1300:0" << "2 3";
        QTest::newRow("BSKYB 31, 32, 0") << "ub" << "K0@1000:31 K0@1100:32 K0@1200:0" << "1 2";
        QTest::newRow("other modes unchecked") << "ub" << "D0@1000:99 C0@1100:99 S0@1200:0 T0@1300:0 O0@1:0" << "";
    }

    void rules()
    {
        QFETCH(QString, rule);
        QFETCH(QString, rows);
        QFETCH(QString, expected);

        const auto channels = parseRows(rows);
        if (rule == "freq")
            QCOMPARE(markedRows(channelrules::outputFrequencyFaults(channels, 2)), expected);
        else if (rule == "bw")
            QCOMPARE(markedRows(channelrules::bandwidthFaults(channels)), expected);
        else
            QCOMPARE(markedRows(channelrules::userBandFaults(channels)), expected);
    }
};

QTEST_APPLESS_MAIN(TestChannelRules)
#include "tst_channelrules.moc"
