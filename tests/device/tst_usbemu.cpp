// The usb backend through the distribution's libftdi1 against emulated chips:
// this executable is linked to the emulator ahead of libusb-1.0, so libftdi1's
// libusb calls reach it.

#include "app/demo/demounits.h"
#include "device/ftdiprobe.h"
#include "device/usbemu/usbemu.h"
#include "unitops.h"
#include "../common/mapbuilder.h"

#include <QtTest>

#include <thread>

#include <libusb.h>

using usbemu::Fault;
using usbemu::FaultKind;

namespace {

uint64_t transfers()
{
    const auto &c = usbemu::counters();
    return c.controlTransfers + c.bulkOut + c.bulkIn;
}

// Straight at the emulated chip, as libftdi1 and the backend meet it.
struct Chip
{
    libusb_context *context = nullptr;
    libusb_device_handle *handle = nullptr;
    explicit Chip(int index = 0)
    {
        libusb_init(&context);
        libusb_device **list = nullptr;
        if (libusb_get_device_list(context, &list) > index)
            libusb_open(list[index], &handle);
        libusb_free_device_list(list, 1);
    }
    ~Chip()
    {
        libusb_close(handle);
        libusb_exit(context);
    }
    int control(uint8_t request, uint16_t value)
    {
        return libusb_control_transfer(handle, 0x40, request, value, 1, nullptr, 0, 100);
    }
    int bulk(uint8_t endpoint, std::vector<unsigned char> &data, int *moved, unsigned timeout = 100)
    {
        return libusb_bulk_transfer(handle, endpoint, data.data(), int(data.size()), moved, timeout);
    }
};

} // namespace

class TestUsbEmu : public QObject
{
    Q_OBJECT

    std::unique_ptr<ShippedStore> store;
    const FieldMap *map1 = nullptr, *map1s = nullptr;

    int addDemo(const FieldMap &map, const std::string &serial)
    {
        return usbemu::addUnit(demo::unitConfig(map, serial), demo::flashImage(map));
    }

private slots:
    void init()
    {
        usbemu::clear();
        store = std::make_unique<ShippedStore>();
        QCOMPARE(store->maps().size(), std::size_t(2));
        std::tie(map1, map1s) = std::make_pair(store->map(0), store->map(1));
    }

    void enumeration()
    {
        simbench::UnitConfig serialCable = demo::unitConfig(*map1, "R0");
        serialCable.type = FT_DEVICE_232R; // right name, another chip
        usbemu::addUnit(serialCable, demo::flashImage(*map1));
        addDemo(*map1, "A1");
        simbench::UnitConfig locked = demo::unitConfig(*map1s, "L0");
        locked.stringsReadable = false;
        usbemu::addUnit(locked, demo::flashImage(*map1s));
        auto oldFirmware = demo::flashImage(*map1s);
        oldFirmware[0x6FFFF] ^= 0x10;
        usbemu::addUnit(demo::unitConfig(*map1s, "B2"), oldFirmware);
        addDemo(*map1s, "C3");

        QCOMPARE(store->enumerateUnits(), 2u);
        QCOMPARE(store->units()[0].map, map1);
        QCOMPARE(store->units()[0].deviceIndex, 1u);
        QCOMPARE(store->units()[1].map, map1s);
        QCOMPARE(store->units()[1].deviceIndex, 4u);
        const auto &list = store->link().deviceList();
        QCOMPARE(list.size(), std::size_t(5));
        QCOMPARE(list[0].Type, uint32_t(FT_DEVICE_232R));
        QCOMPARE(list[1].Type, uint32_t(FT_DEVICE_X_SERIES));
        QCOMPARE(list[1].ID, 0x04036015u);
        QCOMPARE(QByteArray(list[2].Description), QByteArray());
        QCOMPARE(QByteArray(list[4].SerialNumber), QByteArray("C3"));
        QCOMPARE(usbemu::raisedLines(2), uint8_t(0));

        // The caller's capacity bounds what is copied.
        std::array<FT_DEVICE_LIST_INFO_NODE, 3> nodes{};
        nodes[2].Type = 77;
        uint32_t capacity = 2;
        QCOMPARE(FT_GetDeviceInfoList(nodes.data(), &capacity), FT_STATUS(FT_OK));
        QCOMPARE(capacity, 2u);
        QCOMPARE(nodes[2].Type, 77u);
    }

    void operations_data()
    {
        QTest::addColumn<QByteArray>("operation");
        QTest::addColumn<uint32_t>("slot");
        QTest::newRow("read") << QByteArray("read") << 0u;
        QTest::newRow("write") << QByteArray("write") << 0u;
        QTest::newRow("read default") << QByteArray("default") << 1u;
    }

    // The flash sees what it sees on the D2XX bench, and a Write leaves the
    // sealed image in its slot and every other byte as it was.
    void operations()
    {
        QFETCH(QByteArray, operation);
        QFETCH(uint32_t, slot);
        const int unit = addDemo(*map1, "A1");
        QCOMPARE(store->enumerateUnits(), 1u);
        usbemu::clearTransactions();
        QVERIFY(unitops::run(*store, operation));
        QCOMPARE(store->loadedMap(), map1);
        const QByteArray image = toBytes(store->slotPointer(slot), int(map1->imageSize));
        QCOMPARE(usbemu::raisedLines(unit), uint8_t(0));

        QByteArray expected = toBytes(demo::flashImage(*map1));
        if (operation == "write")
            expected.replace(int(map1->slotAddress(0)), image.size(), image);
        else
            QCOMPARE(image, expected.mid(int(map1->slotAddress(slot)), image.size()));
        QVERIFY(toBytes(usbemu::flashBytes(unit, 0, uint32_t(expected.size()))) == expected);

        QProcess reference;
        reference.start(SIMTRACE, {"0", QString::fromLatin1(operation)});
        QVERIFY(reference.waitForFinished(60000));
        QCOMPARE(reference.exitCode(), 0);
        QStringList seen;
        for (const auto &transaction : usbemu::spiTransactions(unit))
            seen << QString::fromLatin1(toBytes(transaction).toHex());
        QVERIFY(!seen.isEmpty());
        QCOMPARE(seen, QString::fromLatin1(reference.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts));
    }

    void faults_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("operation");
        QTest::addColumn<int>("argument");
        for (const QByteArray operation : {"read", "write"}) {
            const auto row = [&](const char *name, FaultKind kind, int argument) {
                QTest::newRow(name + (", " + operation)) << int(kind) << operation << argument;
            };
            row("stall on bit mode", FaultKind::Stall, 0x0B);
            row("stall on purge", FaultKind::Stall, 0x00);
            row("bulk timeout", FaultKind::BulkTimeout, 0);
            row("short bulk OUT", FaultKind::ShortOut, 10);
            row("IN in odd packets", FaultKind::SplitIn, 13);
            row("unplugged", FaultKind::Gone, 0);
            row("unplugged mid-transfer, I/O error", FaultKind::Cut, 30);
            row("unplugged mid-transfer, stall", FaultKind::CutPipe, 30);
            row("stops answering", FaultKind::Mute, 0);
        }
    }

    // Each fault fails the command (IN split into odd packets is still read
    // right), lowers the lines where the chip is still there, and the next
    // command works once the fault is gone.
    void faults()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, operation);
        QFETCH(int, argument);
        const int unit = addDemo(*map1, "A1");
        QCOMPARE(store->enumerateUnits(), 1u);
        usbemu::resetCounters();
        QVERIFY(unitops::run(*store, operation));
        const usbemu::Counters clean = usbemu::counters();
        const uint64_t cleanTransfers = transfers();
        const QByteArray good = toBytes(store->slotPointer(0), int(map1->imageSize));

        Fault fault;
        fault.kind = FaultKind(kind);
        switch (fault.kind) {
        case FaultKind::Stall:
            fault.request = argument;
            fault.nth = 3;
            break;
        case FaultKind::BulkTimeout:
            fault.nth = int((clean.bulkOut + clean.bulkIn) / 2);
            break;
        case FaultKind::ShortOut:
            fault.count = argument;
            fault.nth = int(clean.bulkOut / 2);
            break;
        case FaultKind::SplitIn:
            fault.count = argument;
            break;
        case FaultKind::Cut:
        case FaultKind::CutPipe:
            fault.count = argument;
            fault.nth = int((clean.bulkOut + clean.bulkIn) / 2);
            break;
        case FaultKind::Gone:
        case FaultKind::Mute:
            fault.nth = int(cleanTransfers / 2);
            break;
        }
        usbemu::setFaults(unit, {fault});
        const bool survives = fault.kind == FaultKind::SplitIn;
        QCOMPARE(unitops::run(*store, operation), survives);
        // Within a few seconds on the unit's clock, though it answers nothing.
        QVERIFY2(usbemu::elapsed(unit).silentMs < 2000, qPrintable(QString::number(usbemu::elapsed(unit).silentMs)));
        QVERIFY(!store->link().isOpen());
        QCOMPARE(usbemu::inFlight(unit).in + usbemu::inFlight(unit).out, 0);
        QCOMPARE(usbemu::counters().leftAtClose, uint64_t(0));
        const bool gone = fault.kind == FaultKind::Gone || fault.kind == FaultKind::Cut
                          || fault.kind == FaultKind::CutPipe;
        if (gone)
            QVERIFY(usbemu::replug(unit));
        else if (fault.kind != FaultKind::Mute) // a silent unit cannot be told to lower them
            QCOMPARE(usbemu::raisedLines(unit), uint8_t(0));

        // A Write cut short may leave the slot erased: the window writes again
        // what its panels hold.
        usbemu::clearFaults(unit);
        QCOMPARE(store->enumerateUnits(), 1u);
        if (operation == "write") {
            store->setLoadedMap(map1);
            QVERIFY(store->image().add(map1->slotAddress(0), map1->imageSize,
                                       reinterpret_cast<const uint8_t *>(good.constData())));
        }
        const bool again = store->openUnit(store->units()[0])
                           && (operation != "write" || store->writeToUnit(0)) && store->readFromUnit(0);
        QVERIFY(store->closeUnit() && again);
        QCOMPARE(toBytes(usbemu::flashBytes(unit, map1->slotAddress(0), map1->imageSize)), good);
    }

    void probe_data()
    {
        QTest::addColumn<bool>("strings");
        QTest::addColumn<bool>("eeprom");
        QTest::addColumn<int>("flashLineFunction");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<bool>("recognised");
        QTest::newRow("I/O mode") << true << true << int(simbench::cbusIoMode) << true << true;
        // TXLED# idles high but is pulled low while samples are clocked.
        QTest::newRow("flash line as TXLED") << true << true << int(simbench::cbusTxLed) << false << false;
        // SLEEP# and DRIVE_1 stay high: the flash is always on the bus.
        QTest::newRow("flash line as SLEEP") << true << true << int(simbench::cbusSleep) << false << true;
        QTest::newRow("flash line as DRIVE_1") << true << true << int(simbench::cbusDrive1) << false << true;
        QTest::newRow("flash line as DRIVE_0") << true << true << int(simbench::cbusDrive0) << false << false;
        QTest::newRow("EEPROM unreadable") << true << false << int(simbench::cbusIoMode) << true << true;
        QTest::newRow("no access") << false << false << int(simbench::cbusIoMode) << false << false;
    }

    // The query tells why a unit cannot be read: its CBUS functions, or no access.
    void probe()
    {
        QFETCH(bool, strings);
        QFETCH(bool, eeprom);
        QFETCH(int, flashLineFunction);
        QFETCH(bool, readable);
        QFETCH(bool, recognised);
        simbench::UnitConfig cable = demo::unitConfig(*map1, "R0");
        cable.type = FT_DEVICE_232R;
        usbemu::addUnit(cable);
        simbench::UnitConfig config = demo::unitConfig(*map1, "P1");
        config.stringsReadable = strings;
        config.eepromReadable = eeprom;
        config.cbusFunctions[map1->flashLineA] = uint8_t(flashLineFunction);
        usbemu::addUnit(config, demo::flashImage(*map1));

        const auto reports = ftdiprobe::probeDevices();
        QCOMPARE(reports.size(), std::size_t(2));
        const ftdiprobe::DeviceReport &r = reports[1];
        QCOMPARE(r.index, 1);
        QCOMPARE(r.type, quint32(FT_DEVICE_X_SERIES));
        QCOMPARE(r.stringsReadable, strings);
        QCOMPARE(r.description, strings ? QString("ORBIX-1") : QString());
        QCOMPARE(r.serial, strings ? QString("P1") : QString());
        QCOMPARE(r.eepromReadable, eeprom);
        std::vector<int> expected;
        if (eeprom)
            expected.assign(config.cbusFunctions.begin(), config.cbusFunctions.end());
        QCOMPARE(r.cbusFunctions, expected);
        if (eeprom)
            QCOMPARE(ftdiprobe::isIoMode(r.cbusFunctions[map1->flashLineA]), readable);

        // A unit whose flash stays off the bus is not even recognised.
        QCOMPARE(store->enumerateUnits(), recognised ? 1u : 0u);
    }

    void baudRates_data()
    {
        QTest::addColumn<uint32_t>("baud");
        // 185, 191, 1001, 10002, 100209: a quarter of the rate, rounded, gives another divisor.
        for (uint32_t baud : {184u, 185u, 191u, 300u, 1001u, 9600u, 10002u, 38400u, 46875u, 100209u, 115200u,
                              125000u, 187500u, 921600u, 1000000u, 1234567u, 1500000u, 2000000u, 3000000u})
            QTest::addRow("%u", baud) << baud;
    }

    // FT_SetBaudRate in bit-bang mode runs the chip at the vendor library's
    // rate for X-series chips: 16 samples per baud, the divisor 3 MHz / baud
    // rounded to the nearest eighth (below 2, only 1 and 0: 2 and 3 MBd).
    void baudRates()
    {
        QFETCH(uint32_t, baud);
        const int unit = addDemo(*map1, "A1");
        DeviceLink &link = store->link();
        QVERIFY(link.refreshDeviceList() == 1 && link.openDevice(0) && link.beginSyncBitBang(3, 2, 0, 1));
        QCOMPARE(FT_SetBaudRate(link.handle(), baud), FT_STATUS(FT_OK));
        const double eighths = std::round(24e6 / baud);
        const double divisor = baud >= 3000000 ? 1.0 : baud >= 2000000 ? 1.5 : eighths / 8;
        QCOMPARE(usbemu::sampleRate(unit), 16 * 3e6 / divisor);
        QVERIFY(link.closeDevice());
    }

    // Bench files: what benchmake writes the emulator reads back, flash
    // images included, and a unit's flash goes back to its file when changed.
    void benchFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("bench.ini");
        std::vector<usbemu::BenchUnit> units(2);
        units[0].config = demo::unitConfig(*map1s, "S1");
        units[0].config.cbusFunctions = {8, 1, 8, 5};
        units[0].flashFile = dir.filePath("one.bin");
        units[0].faults = {Fault{FaultKind::ShortOut, 3, -1, 100}, Fault{FaultKind::Stall, 2, 11, 0},
                           Fault{FaultKind::Cut, 4, -1, 7}, Fault{FaultKind::Mute, 9, -1, 0}};
        units[0].config.dataPins = 4;
        units[1].config.type = FT_DEVICE_232R;
        units[1].config.stringsReadable = false;
        QVERIFY(usbemu::writeBench(path, units));
        std::vector<usbemu::BenchUnit> back;
        QVERIFY(usbemu::readBench(path, back));
        QCOMPARE(back.size(), std::size_t(2));
        for (size_t i = 0; i < 2; ++i) {
            const simbench::UnitConfig &a = units[i].config, &b = back[i].config;
            QCOMPARE(b.description, a.description);
            QCOMPARE(b.serial, a.serial);
            QCOMPARE(b.type, a.type);
            QCOMPARE(b.chip, a.chip);
            QCOMPARE(b.cbusFunctions, a.cbusFunctions);
            QCOMPARE(b.stringsReadable, a.stringsReadable);
            QCOMPARE(b.dataPins, a.dataPins);
            using Wiring = std::array<uint8_t, 6>;
            QCOMPARE((Wiring{b.flashLines, b.csPin, b.clockPin, b.mosiPin, b.misoPin, b.status}),
                     (Wiring{a.flashLines, a.csPin, a.clockPin, a.mosiPin, a.misoPin, a.status}));
            QCOMPARE(back[i].flashFile, units[i].flashFile);
            QCOMPARE(back[i].faults.size(), units[i].faults.size());
            for (size_t f = 0; f < units[i].faults.size(); ++f) {
                const Fault &x = units[i].faults[f], &y = back[i].faults[f];
                using Fields = std::array<int, 4>;
                QCOMPARE((Fields{int(y.kind), y.nth, y.request, y.count}), (Fields{int(x.kind), x.nth, x.request, x.count}));
            }
        }

        const auto flash = demo::flashImage(*map1s);
        QVERIFY(!writeFile(units[0].flashFile, toBytes(flash)).isEmpty());
        units[0].config.cbusFunctions.fill(simbench::cbusIoMode);
        units[0].faults.clear();
        QVERIFY(usbemu::writeBench(path, units) && usbemu::loadBench(path));
        QCOMPARE(store->enumerateUnits(), 1u);
        QVERIFY(unitops::write(*store));
        QCOMPARE(readAll(units[0].flashFile), toBytes(usbemu::flashBytes(1, 0, uint32_t(flash.size()))));

        QSettings(path, QSettings::IniFormat).setValue("unit2/faults", "melt@3");
        QString error;
        QVERIFY(!usbemu::readBench(path, back, &error));
        QVERIFY(error.contains("unit2"));
    }

    // The chip's FIFOs as libftdi meets them: 512 bytes each way, so a bulk
    // OUT in synchronous bit-bang that nobody drains stops there and times out.
    void fifos()
    {
        addDemo(*map1, "A1");
        libusb_context *context = nullptr;
        QCOMPARE(libusb_init(&context), 0);
        libusb_device **list = nullptr;
        QCOMPARE(libusb_get_device_list(context, &list), ssize_t(1));
        libusb_device_handle *handle = nullptr;
        QCOMPARE(libusb_open(list[0], &handle), 0);
        libusb_free_device_list(list, 1);
        QCOMPARE(libusb_control_transfer(handle, 0x40, 0x0B, 0x0400 | 0x0D, 1, nullptr, 0, 100), 0);
        std::vector<unsigned char> out(2000, 0x08), in(4096);
        int moved = 0;
        QCOMPARE(libusb_bulk_transfer(handle, 0x02, out.data(), int(out.size()), &moved, 100),
                 int(LIBUSB_ERROR_TIMEOUT));
        QCOMPARE(moved, 1024);
        // Draining lets the chip clock the rest: 62 data bytes behind every 2 status bytes.
        QCOMPARE(libusb_bulk_transfer(handle, 0x81, in.data(), int(in.size()), &moved, 100), 0);
        QCOMPARE(moved, 1024 + 2 * ((1024 + 61) / 62));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(in.data()), 2), QByteArray("\x01\x60"));
        QCOMPARE(libusb_bulk_transfer(handle, 0x81, in.data(), int(in.size()), &moved, 100), 0);
        QCOMPARE(moved, 2);
        libusb_close(handle);
        libusb_exit(context);
    }

    // The timing model: a Write's estimate holds the flash's busy times, its
    // samples at the chip's rate, a frame per control request and the bus
    // time of its packets, in whole 1 ms frames.
    void timingModel()
    {
        const int unit = addDemo(*map1, "A1");
        QCOMPARE(store->enumerateUnits(), 1u);
        QVERIFY(unitops::read(*store));
        simbench::Timing flash;
        flash.statusReads = flash.programReads = flash.eraseReads = 0;
        flash.eraseMs = 50;
        flash.programMs = 2;
        flash.statusMs = 7;
        usbemu::setTimingModel(true, flash);
        usbemu::resetCounters();
        const bool ok = store->openUnit(store->units()[0]) && store->writeToUnit(0);
        QVERIFY(store->closeUnit() && ok);
        const usbemu::Elapsed e = usbemu::elapsed(unit);
        const usbemu::Counters c = usbemu::counters();
        QCOMPARE(e.flashBusyMs, 50.0 + 4 * 2 + 2 * 7); // one sector, four pages, protection off and on
        // 2 MHz sampling, a sample per byte (the idle byte goes out at the first, faster rate).
        QVERIFY(qAbs(e.samplingMs - double(c.bytesOut) / 2000.0) < 0.001);
        QVERIFY(e.totalMs >= double(c.controlTransfers) && e.totalMs >= e.flashBusyMs);
        QVERIFY(e.totalMs * 19 >= double(c.bytesOut + c.bytesIn) / 64);
        QCOMPARE(e.totalMs, std::round(e.totalMs));
        usbemu::setTimingModel(false);
    }

    // The backend reads the chip from open to close, and hands every
    // transfer back before the handle goes.
    void streaming()
    {
        const int unit = addDemo(*map1, "A1");
        DeviceLink &link = store->link();
        QVERIFY(link.refreshDeviceList() == 1 && link.openDevice(0));
        QVERIFY(usbemu::inFlight(unit).in >= 2);
        QVERIFY(link.beginSyncBitBang(3, 2, 0, 1));
        // A write of any length goes out without reads in between.
        std::vector<uint8_t> samples(20000, 0x08);
        uint32_t n = 0;
        QCOMPARE(FT_Write(link.handle(), samples.data(), uint32_t(samples.size()), &n), FT_STATUS(FT_OK));
        QCOMPARE(n, uint32_t(samples.size()));
        QCOMPARE(FT_Read(link.handle(), samples.data(), uint32_t(samples.size()), &n), FT_STATUS(FT_OK));
        QCOMPARE(n, uint32_t(samples.size()));
        QVERIFY(usbemu::inFlight(unit).in >= 2);
        QVERIFY(link.closeDevice());
        QCOMPARE(usbemu::inFlight(unit).in + usbemu::inFlight(unit).out, 0);
        QCOMPARE(usbemu::counters().leftAtClose, uint64_t(0));
    }

    // Outside bit-bang written bytes leave on the UART, and while the flash
    // holds RXD low (here its chip select is tied low, to a pin an FT230X
    // lacks, and it keeps sending a status of 0) the UART takes in a break
    // byte for each: only a purge keeps them from the next read.
    void uartBreaks()
    {
        simbench::UnitConfig config = demo::unitConfig(*map1, "U1");
        config.dataPins = 4;
        config.csPin = 5;
        config.flashLines = 0;
        config.status = 0x00;
        addDemo(*map1, "A1");
        usbemu::addUnit(config);
        DeviceLink &link = store->link();
        QVERIFY(link.refreshDeviceList() == 2 && link.openDevice(1));
        QVERIFY(link.beginSyncBitBang(5, 2, 0, 1) && link.setClockKHz(1000));
        std::array<uint8_t, 2> status{0x05, 0x00};
        QVERIFY(link.transfer(status.data(), status.data(), 2));
        QCOMPARE(status[1], uint8_t(0x00));
        QCOMPARE(FT_SetBitMode(link.handle(), 0x00, 0x00), FT_STATUS(FT_OK));
        std::array<uint8_t, 10> bytes{};
        bytes.fill(0x55);
        uint32_t n = 0;
        QCOMPARE(FT_Write(link.handle(), bytes.data(), uint32_t(bytes.size()), &n), FT_STATUS(FT_OK));
        bytes.fill(0x55);
        QCOMPARE(FT_Read(link.handle(), bytes.data(), uint32_t(bytes.size()), &n), FT_STATUS(FT_OK));
        QCOMPARE(n, uint32_t(bytes.size()));
        QCOMPARE(bytes, (std::array<uint8_t, 10>{}));
        QCOMPARE(FT_Write(link.handle(), bytes.data(), uint32_t(bytes.size()), &n), FT_STATUS(FT_OK));
        QCOMPARE(FT_Purge(link.handle(), FT_PURGE_RX | FT_PURGE_TX), FT_STATUS(FT_OK));
        QCOMPARE(FT_Read(link.handle(), bytes.data(), 1, &n), FT_STATUS(FT_OK));
        QCOMPARE(n, 0u);
        QVERIFY(link.closeDevice());
    }

    void splitFrom_data()
    {
        QTest::addColumn<int>("nth");
        for (int nth : {1, 2, 5})
            QTest::addRow("from IN %d", nth) << nth;
    }

    // split:N@n leaves the INs before the n-th whole.
    void splitFrom()
    {
        QFETCH(int, nth);
        const int unit = addDemo(*map1, "A1");
        usbemu::setFaults(unit, {Fault{FaultKind::SplitIn, nth, -1, 13}});
        Chip chip;
        QCOMPARE(chip.control(0x0B, 0x0400 | 0x0D), 0);
        std::vector<unsigned char> out(500, 0x08), in(4096);
        int moved = 0;
        QCOMPARE(chip.bulk(0x02, out, &moved), 0);
        for (int k = 1; k <= nth; ++k) {
            QCOMPARE(chip.bulk(0x81, in, &moved), 0);
            QCOMPARE(moved, k < nth ? 500 + 2 * 9 : 2 + 13); // 8 full packets and one of 4 bytes
            if (k < nth) // refill what the whole INs took
                QCOMPARE(chip.bulk(0x02, out, &moved), 0);
        }
    }

    void latencyTimer_data()
    {
        QTest::addColumn<int>("latency");
        for (int ms : {1, 16, 100})
            QTest::addRow("%d ms", ms) << ms;
    }

    // With nothing to send the chip answers an IN only when its latency
    // timer runs out, and then with its two status bytes.
    void latencyTimer()
    {
        QFETCH(int, latency);
        const int unit = addDemo(*map1, "A1");
        Chip chip;
        QVERIFY(chip.handle);
        QCOMPARE(chip.control(0x09, uint16_t(latency)), 0);
        std::vector<unsigned char> in(4096);
        int moved = 0;
        QCOMPARE(chip.bulk(0x81, in, &moved, 1000), 0); // the timer runs from the last packet
        const double before = usbemu::elapsed(unit).totalMs;
        QCOMPARE(chip.bulk(0x81, in, &moved, 1000), 0);
        QCOMPARE(moved, 2);
        const double took = usbemu::elapsed(unit).totalMs - before;
        QVERIFY2(took >= latency && took <= latency + 1, qPrintable(QString::number(took)));
    }

    void timeouts_data()
    {
        QTest::addColumn<int>("endpoint");
        QTest::addColumn<int>("timeout");
        for (int endpoint : {0x02, 0x81}) {
            for (int ms : {20, 300})
                QTest::addRow("%s %d ms", endpoint == 0x02 ? "OUT" : "IN", ms) << endpoint << ms;
        }
    }

    // A transfer that gets no answer takes the time its caller gave it, on
    // the unit's clock.
    void timeouts()
    {
        QFETCH(int, endpoint);
        QFETCH(int, timeout);
        const int unit = addDemo(*map1, "A1");
        usbemu::setFaults(unit, {Fault{FaultKind::BulkTimeout, 1, -1, 0}});
        Chip chip;
        std::vector<unsigned char> data(64, 0x08);
        int moved = -1;
        const double before = usbemu::elapsed(unit).totalMs;
        QCOMPARE(chip.bulk(uint8_t(endpoint), data, &moved, unsigned(timeout)), int(LIBUSB_ERROR_TIMEOUT));
        QCOMPARE(moved, 0);
        const double took = usbemu::elapsed(unit).totalMs - before;
        QVERIFY2(took >= timeout && took <= timeout + 1, qPrintable(QString::number(took)));
    }

    void wholePackets_data()
    {
        QTest::addColumn<int>("buffer");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("moved");
        QTest::newRow("64-byte multiple") << 128 << 0 << 128;
        QTest::newRow("ends inside a packet") << 100 << int(LIBUSB_ERROR_OVERFLOW) << 100;
        QTest::newRow("room for status only") << 2 << int(LIBUSB_ERROR_OVERFLOW) << 2;
    }

    // The chip sends whole packets: a buffer that ends inside one overflows.
    void wholePackets()
    {
        QFETCH(int, buffer);
        QFETCH(int, result);
        QFETCH(int, moved);
        addDemo(*map1, "A1");
        Chip chip;
        QCOMPARE(chip.control(0x0B, 0x0400 | 0x0D), 0);
        std::vector<unsigned char> out(300, 0x08), in(size_t(buffer), 0);
        int n = 0;
        QCOMPARE(chip.bulk(0x02, out, &n), 0);
        QCOMPARE(chip.bulk(0x81, in, &n), result);
        QCOMPARE(n, moved);
    }

    // Another program holding the unit: the second claim fails with BUSY,
    // so FT_Open fails and the first holder goes on undisturbed.
    void claimedElsewhere()
    {
        addDemo(*map1, "A1");
        DeviceLink &link = store->link();
        QVERIFY(link.refreshDeviceList() == 1 && link.openDevice(0) && link.beginSyncBitBang(3, 2, 0, 1));
        FT_HANDLE second = nullptr;
        QCOMPARE(FT_Open(0, &second), FT_STATUS(FT_DEVICE_NOT_OPENED));
        Chip other;
        QCOMPARE(libusb_claim_interface(other.handle, 0), int(LIBUSB_ERROR_BUSY));
        std::array<uint8_t, 4> id{0x9F, 0, 0, 0};
        QVERIFY(link.transfer(id.data(), id.data(), 4));
        QVERIFY(link.closeDevice());
        QCOMPARE(libusb_claim_interface(other.handle, 0), 0);
    }

    // Plugged back, a unit comes at a new address: a device list from
    // before no longer reaches it, a fresh one does.
    void replugAddress()
    {
        const int unit = addDemo(*map1, "A1");
        DeviceLink &link = store->link();
        QCOMPARE(link.refreshDeviceList(), 1);
        const uint32_t before = link.deviceInfo(0)->LocId;
        usbemu::setFaults(unit, {Fault{FaultKind::Gone, 1, -1, 0}});
        QVERIFY(!link.openDevice(0));
        QVERIFY(usbemu::replug(unit));
        QVERIFY(!link.openDevice(0));
        QCOMPARE(link.refreshDeviceList(), 1);
        QVERIFY(link.deviceInfo(0)->LocId != before);
        QCOMPARE(link.deviceInfo(0)->LocId & 0xFF, uint32_t(usbemu::busAddress(unit)));
        QVERIFY(link.openDevice(0) && link.closeDevice());
    }

    void pins_data()
    {
        QTest::addColumn<int>("dataPins");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("expected");
        // Outputs: D4-D7 driven high, D0 low; D1-D3 undriven read high.
        QTest::newRow("FT231X bit-bang") << 8 << 0x04 << 0xFE;
        QTest::newRow("FT230X bit-bang") << 4 << 0x04 << 0x0E;
        // CBUS0 I/O driven low, CBUS1 SLEEP#, CBUS2 DRIVE_0, CBUS3 TXLED# idle.
        QTest::newRow("CBUS bit-bang") << 8 << 0x20 << 0x0A;
    }

    // The read-pins request: the data bus the chip has, or in CBUS
    // bit-bang the CBUS levels, function pins at their function's level.
    void pins()
    {
        QFETCH(int, dataPins);
        QFETCH(int, mode);
        QFETCH(int, expected);
        simbench::UnitConfig config = demo::unitConfig(*map1, "P1");
        config.dataPins = uint8_t(dataPins);
        config.flashLines = 0; // the flash stays off the data bus
        config.cbusFunctions = {simbench::cbusIoMode, simbench::cbusSleep, simbench::cbusDrive0, simbench::cbusTxLed};
        const int unit = usbemu::addUnit(config);
        Chip chip;
        const uint8_t mask = mode == 0x04 ? 0xF1 : 0x10;
        QCOMPARE(chip.control(0x0B, uint16_t(mode << 8 | mask)), 0);
        if (mode == 0x04) {
            std::vector<unsigned char> out{0xF0, 0xF0};
            int n = 0;
            QCOMPARE(chip.bulk(0x02, out, &n), 0);
        }
        unsigned char level = 0;
        QCOMPARE(libusb_control_transfer(chip.handle, 0xC0, 0x0C, 0, 1, &level, 1, 100), 1);
        QCOMPARE(int(level), expected);
        QCOMPARE(usbemu::raisedLines(unit), uint8_t(0x0A));
    }

    void sweep_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("timeout") << int(FaultKind::BulkTimeout);
        QTest::newRow("short OUT") << int(FaultKind::ShortOut);
        QTest::newRow("cut, IO error") << int(FaultKind::Cut);
    }

    // A fault on each bulk transfer of a Write in turn: every SPI command the
    // flash sees is (the start of) one the Write makes without faults, and no
    // byte outside the slot changes.
    void sweep()
    {
        QFETCH(int, kind);
        const int unit = addDemo(*map1, "A1");
        QCOMPARE(store->enumerateUnits(), 1u);
        QVERIFY(unitops::read(*store));
        QVERIFY(store->setUInt(1300000, "CSS[0].OutputFrequency", 0));
        const auto write = [&] {
            const bool ok = store->openUnit(store->units()[0]) && store->writeToUnit(0);
            return store->closeUnit() && ok;
        };
        usbemu::clearTransactions();
        usbemu::resetCounters();
        QVERIFY(write());
        const auto clean = usbemu::spiTransactions(unit);
        const usbemu::Counters c = usbemu::counters();
        const uint32_t slot = map1->slotAddress(0);
        const std::vector<uint8_t> before = usbemu::flashBytes(unit, 0, 0x80000);
        for (int nth = 1; nth <= int(c.bulkOut + c.bulkIn); nth += 3) {
            usbemu::clearTransactions();
            usbemu::setFaults(unit, {Fault{FaultKind(kind), nth, -1, 5}});
            write();
            usbemu::clearFaults(unit);
            usbemu::replug(unit);
            // A transaction cut short ends when the flash drops off the bus.
            for (const auto &command : usbemu::spiTransactions(unit)) {
                const bool known = std::any_of(clean.begin(), clean.end(), [&](const std::vector<uint8_t> &c) {
                    return c.size() >= command.size() && std::equal(command.begin(), command.end(), c.begin());
                });
                QVERIFY2(known, qPrintable(QString::number(nth) + ": " + toBytes(command).toHex()));
            }
            const std::vector<uint8_t> after = usbemu::flashBytes(unit, 0, 0x80000);
            QVERIFY(std::equal(after.begin(), after.begin() + slot, before.begin()));
            QVERIFY(std::equal(after.begin() + slot + map1->imageSize, after.end(), before.begin() + slot + map1->imageSize));
            QCOMPARE(store->enumerateUnits(), 1u);
        }
    }

    // Two threads, each with its own link on its own unit: both read their
    // own flash through the same backend and emulator at once.
    void twoThreads()
    {
        auto other = demo::flashImage(*map1);
        other[0x70010] ^= 0xFF;
        const int units[2] = {addDemo(*map1, "T1"), usbemu::addUnit(demo::unitConfig(*map1, "T2"), other)};
        DeviceLink links[2];
        for (auto &link : links)
            QCOMPARE(link.refreshDeviceList(), 2);
        std::vector<uint8_t> read[2];
        bool ok[2] = {false, false};
        const auto work = [&](int i) {
            DeviceLink &link = links[i];
            SpiFlash flash(&DeviceLink::spiTransfer, &link);
            read[i].assign(4096, 0);
            ok[i] = link.openDevice(uint32_t(i)) && link.setControlLine(3, 1) && link.setControlLine(1, 1)
                    && link.setControlLine(0, 1) && link.beginSyncBitBang(3, 2, 0, 1) && link.setClockKHz(1000);
            for (int round = 0; ok[i] && round < 8; ++round)
                ok[i] = flash.identify() && flash.read(0x70000, uint32_t(read[i].size()), read[i].data());
            ok[i] = link.setControlLine(0, 0) && link.setControlLine(1, 0) && link.setControlLine(3, 0)
                    && link.resetBitMode() && link.closeDevice() && ok[i];
        };
        std::thread first(work, 0), second(work, 1);
        first.join();
        second.join();
        for (int i = 0; i < 2; ++i) {
            QVERIFY(ok[i]);
            QCOMPARE(toBytes(read[i]), toBytes(usbemu::flashBytes(units[i], 0x70000, 4096)));
            QCOMPARE(usbemu::raisedLines(units[i]), uint8_t(0));
        }
        QVERIFY(read[0] != read[1]);
    }
};

QTEST_GUILESS_MAIN(TestUsbEmu)
#include "tst_usbemu.moc"
