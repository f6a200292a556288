// Behaviour of the simulated bench that the other device tests lean on. (Hot
// plugging through the event loop: tst_commands, unitSelector and the unplug failure.)

#include "benchutil.h"
#include "device/ftdiprobe.h"

#include <QtTest>

class TestSimBench : public QObject
{
    Q_OBJECT

private slots:
    void init() { simbench::reset(); }

    void cbusFunctions_data()
    {
        QTest::addColumn<int>("pin");
        QTest::addColumn<int>("function");
        QTest::addColumn<bool>("onBus");
        QTest::newRow("all in I/O mode") << 0 << int(simbench::cbusIoMode) << true;
        // TXLED# is pulled low while samples are clocked: the flash drops off.
        QTest::newRow("CBUS0 as TXLED") << 0 << int(simbench::cbusTxLed) << false;
        QTest::newRow("CBUS0 as DRIVE_0") << 0 << int(simbench::cbusDrive0) << false;
        // SLEEP# stays high while the chip is awake.
        QTest::newRow("CBUS1 as SLEEP") << 1 << int(simbench::cbusSleep) << true;
        QTest::newRow("CBUS2 as TXLED") << 2 << int(simbench::cbusTxLed) << true; // not a flash line
    }

    // The query reads the EEPROM functions, and CBUS bit-bang moves only the pins
    // in I/O mode: a flash line in another function keeps the flash off the bus.
    void cbusFunctions()
    {
        QFETCH(int, pin);
        QFETCH(int, function);
        QFETCH(bool, onBus);
        simbench::UnitConfig config;
        config.cbusFunctions[size_t(pin)] = uint8_t(function);
        Rig rig(config);
        simbench::UnitConfig locked;
        locked.stringsReadable = false;
        simbench::attach(locked);

        const auto reports = ftdiprobe::probeDevices();
        QCOMPARE(reports.size(), std::size_t(2));
        QCOMPARE(reports[0].cbusFunctions, std::vector<int>(config.cbusFunctions.begin(), config.cbusFunctions.end()));
        QVERIFY(reports[0].stringsReadable && reports[0].eepromReadable);
        QCOMPARE(reports[0].serial, QString("SIM0001"));
        QVERIFY(!reports[1].stringsReadable && reports[1].description.isEmpty() && reports[1].cbusFunctions.empty());

        QVERIFY(rig.open());
        QCOMPARE(rig.flash.identify(), onBus);
    }
};

QTEST_GUILESS_MAIN(TestSimBench)
#include "tst_simbench.moc"
