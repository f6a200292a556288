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
using Bytes = std::vector<unsigned char>;

namespace {

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
    ~Chip() { libusb_close(handle); libusb_exit(context); }
    int control(uint8_t request, uint16_t value, unsigned timeout = 100)
    {
        return libusb_control_transfer(handle, 0x40, request, value, 1, nullptr, 0, timeout);
    }
    // How the transfer ended, and the bytes it moved.
    std::pair<int, int> bulk(uint8_t endpoint, Bytes &data, unsigned timeout = 100)
    {
        int moved = -1;
        const int result = libusb_bulk_transfer(handle, endpoint, data.data(), int(data.size()), &moved, timeout);
        return {result, moved};
    }
};

// One transfer straight at the chip and how it ends.
// Endpoint 0 is a control request, kind -1 no fault, ms (on the unit's clock) -1 any time.
struct Transfer
{
    int endpoint, latency, kind, argument, result, moved, ms;
};

} // namespace

Q_DECLARE_METATYPE(Transfer)

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

    // Nothing attached: an empty list and failing calls, as on bad handles. Of a
    // bench of every kind only X chips with the flash on the bus are units (the
    // store's other rules are tst_unittransfer's); the query tells why not.
    void enumeration()
    {
        DeviceLink &link = store->link();
        QCOMPARE(link.refreshDeviceList(), 0);
        std::array<uint8_t, 2> buf{0x05, 0x00};
        QVERIFY(!link.openDevice(0) && !link.beginSyncBitBang(3, 2, 0, 1) && !link.transfer(buf.data(), buf.data(), 2));
        uint32_t n = 0;
        FT_HANDLE handle = nullptr, bogus = &buf;
        QVERIFY(FT_Open(1000, &handle) != FT_OK && FT_CreateDeviceInfoList(nullptr) != FT_OK);
        for (FT_STATUS status : {FT_SetBitMode(bogus, 0, 0), FT_Read(bogus, buf.data(), 1, &n), FT_Close(bogus)})
            QCOMPARE(status, FT_STATUS(FT_INVALID_HANDLE));

        struct Kind
        {
            const char *serial;
            uint8_t flashLine; // the function of the CBUS line that puts the flash on the bus
            bool strings, eeprom, recognised;
        };
        // TXLED# idles high but is pulled low while samples are clocked;
        // SLEEP# and DRIVE_1 stay high: the flash is always on the bus.
        const std::vector<Kind> kinds = {
            {"A1", simbench::cbusIoMode, true, true, true},   {"TX", simbench::cbusTxLed, true, true, false},
            {"SL", simbench::cbusSleep, true, true, true},    {"D1", simbench::cbusDrive1, true, true, true},
            {"D0", simbench::cbusDrive0, true, true, false},  {"EE", simbench::cbusIoMode, true, false, true},
            {"L0", simbench::cbusIoMode, false, false, false}};
        simbench::UnitConfig cable = demo::unitConfig(*map1, "R0");
        cable.type = FT_DEVICE_232R; // right name, another chip
        usbemu::addUnit(cable, demo::flashImage(*map1));
        for (const Kind &k : kinds) {
            simbench::UnitConfig config = demo::unitConfig(*map1, k.serial);
            config.stringsReadable = k.strings;
            config.eepromReadable = k.eeprom;
            config.cbusFunctions[map1->flashLineA] = k.flashLine;
            usbemu::addUnit(config, demo::flashImage(*map1));
        }

        const auto reports = ftdiprobe::probeDevices();
        QCOMPARE(reports.size(), std::size_t(8));
        QCOMPARE(store->enumerateUnits(), 4u);
        for (size_t i = 0; i < kinds.size(); ++i) {
            const Kind &k = kinds[i];
            const ftdiprobe::DeviceReport &r = reports[i + 1];
            QCOMPARE(r.index, int(i + 1));
            QCOMPARE(r.stringsReadable, k.strings);
            QCOMPARE(r.description + r.serial, k.strings ? "ORBIX-1" + QString(k.serial) : QString());
            QCOMPARE(r.eepromReadable, k.eeprom);
            std::vector<int> functions(k.eeprom ? 4 : 0, simbench::cbusIoMode);
            if (k.eeprom)
                functions[map1->flashLineA] = k.flashLine;
            QCOMPARE(r.cbusFunctions, functions);
            const auto &units = store->units();
            QCOMPARE(std::any_of(units.begin(), units.end(), [&](const auto &u) { return u.deviceIndex == i + 1; }),
                     k.recognised);
        }
        const auto &list = link.deviceList();
        QCOMPARE(list[1].ID, 0x04036015u);
        QCOMPARE(QByteArray(list[7].Description) + list[6].SerialNumber, QByteArray("EE"));

        // The caller's capacity bounds what is copied.
        std::array<FT_DEVICE_LIST_INFO_NODE, 3> nodes{};
        nodes[2].Type = 77;
        uint32_t capacity = 2;
        QVERIFY(FT_GetDeviceInfoList(nodes.data(), &capacity) == FT_OK && capacity == 2 && nodes[2].Type == 77);
    }

    void operations_data()
    {
        QTest::addColumn<QByteArray>("operation");
        QTest::addColumn<int>("kind"); // -1: no fault
        QTest::addColumn<int>("argument");
        QTest::addColumn<int>("at"); // the nth, or half of -1: bulk transfers, -2: bulk OUTs, -3: all transfers
        for (const QByteArray operation : {"read", "write", "default"}) {
            const auto row = [&](const char *name, FaultKind kind, int argument, int at) {
                QTest::newRow(operation + ", " + name) << operation << int(kind) << argument << at;
            };
            QTest::newRow(operation + ", clean") << operation << -1 << 0 << 0;
            if (operation == "default")
                continue;
            row("stall on bit mode", FaultKind::Stall, 0x0B, 3);
            row("stall on purge", FaultKind::Stall, 0x00, 3);
            row("bulk timeout", FaultKind::BulkTimeout, 0, -1);
            row("short bulk OUT", FaultKind::ShortOut, 10, -2);
            row("IN in odd packets", FaultKind::SplitIn, 13, 1);
            row("unplugged", FaultKind::Gone, 0, -3);
            row("unplugged mid-transfer, I/O error", FaultKind::Cut, 30, -1);
            row("unplugged mid-transfer, stall", FaultKind::CutPipe, 30, -1);
            row("stops answering", FaultKind::Mute, 0, -3);
        }
    }

    // The flash sees what it sees on the D2XX bench; a Write changes only its
    // slot. A fault halfway through fails the command (odd IN packets are still
    // read right) within two seconds on the unit's clock, shows the flash only
    // starts of commands it saw before, hands back every transfer and lowers the
    // lines where the chip is still there; then the next command works, on a
    // fresh list where the unit was unplugged.
    void operations()
    {
        QFETCH(QByteArray, operation);
        QFETCH(int, kind);
        QFETCH(int, argument);
        QFETCH(int, at);
        const uint32_t slot = operation == "default" ? 1 : 0, from = map1->slotAddress(0), to = from + map1->imageSize;
        const int unit = addDemo(*map1, "A1");
        QCOMPARE(store->enumerateUnits(), 1u);
        usbemu::clearTransactions();
        usbemu::resetCounters();
        QVERIFY(unitops::run(*store, operation));
        const usbemu::Counters c = usbemu::counters();
        const QByteArray image = toBytes(store->slotPointer(slot), int(map1->imageSize));
        QCOMPARE(usbemu::raisedLines(unit), uint8_t(0));
        QByteArray expected = toBytes(demo::flashImage(*map1));
        if (operation == "write")
            expected.replace(int(from), image.size(), image);
        else
            QCOMPARE(image, expected.mid(int(map1->slotAddress(slot)), image.size()));
        const std::vector<uint8_t> flash = usbemu::flashBytes(unit, 0, 0x80000);
        QVERIFY(toBytes(flash).left(expected.size()) == expected);
        QStringList seen;
        for (const auto &transaction : usbemu::spiTransactions(unit))
            seen << QString::fromLatin1(toBytes(transaction).toHex());
        if (kind < 0) {
            QProcess reference;
            reference.start(SIMTRACE, {QString::fromLatin1(operation)});
            QVERIFY(reference.waitForFinished(60000) && reference.exitCode() == 0);
            QCOMPARE(seen, QString::fromLatin1(reference.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts));
            return;
        }

        const uint64_t counts[] = {c.bulkOut + c.bulkIn, c.bulkOut, c.controlTransfers + c.bulkOut + c.bulkIn};
        const int nth = at > 0 ? at : int(counts[-at - 1] / 2);
        const Fault fault = kind == int(FaultKind::Stall) ? Fault{FaultKind::Stall, nth, argument, 0}
                                                          : Fault{FaultKind(kind), nth, -1, argument};
        Chip stale;
        usbemu::setFaults(unit, {fault});
        usbemu::clearTransactions();
        QCOMPARE(unitops::run(*store, operation), fault.kind == FaultKind::SplitIn);
        QVERIFY2(usbemu::elapsed(unit).silentMs < 2000, qPrintable(QString::number(usbemu::elapsed(unit).silentMs)));
        // A transaction cut short ends when the flash drops off the bus.
        for (const auto &command : usbemu::spiTransactions(unit)) {
            const QString hex = QString::fromLatin1(toBytes(command).toHex());
            QVERIFY2(std::any_of(seen.begin(), seen.end(), [&](const QString &s) { return s.startsWith(hex); }),
                     qPrintable(hex));
        }
        const std::vector<uint8_t> after = usbemu::flashBytes(unit, 0, 0x80000);
        QVERIFY(std::equal(after.begin(), after.begin() + from, flash.begin())
                && std::equal(after.begin() + to, after.end(), flash.begin() + to));
        QVERIFY(!store->link().isOpen());
        QCOMPARE(usbemu::inFlight(unit).in + usbemu::inFlight(unit).out, 0);
        QCOMPARE(usbemu::counters().leftAtClose, uint64_t(0));
        if (fault.kind == FaultKind::Gone || fault.kind == FaultKind::Cut || fault.kind == FaultKind::CutPipe) {
            // Back at a new address, which neither a handle nor a device list from before reaches.
            QVERIFY(usbemu::replug(unit));
            QVERIFY(!store->link().openDevice(0));
            QCOMPARE(stale.control(0x09, 16), int(LIBUSB_ERROR_NO_DEVICE));
        } else if (fault.kind != FaultKind::Mute) { // a silent unit cannot be told to lower them
            QCOMPARE(usbemu::raisedLines(unit), uint8_t(0));
        }

        // A Write cut short may leave the slot erased: the window writes again
        // what its panels hold.
        usbemu::clearFaults(unit);
        QCOMPARE(store->enumerateUnits(), 1u);
        QCOMPARE(store->link().deviceInfo(0)->LocId & 0xFF, uint32_t(usbemu::busAddress(unit)));
        if (operation == "write") {
            store->setLoadedMap(map1);
            QVERIFY(store->hold(from, image));
        }
        const bool again = store->openUnit(store->units()[0])
                           && (operation != "write" || store->writeToUnit(0)) && store->readFromUnit(0);
        QVERIFY(store->closeUnit() && again);
        QCOMPARE(toBytes(usbemu::flashBytes(unit, from, map1->imageSize)), toBytes(flash).mid(int(from), image.size()));
    }

    // The read-pins request: the data bus the chip has, or in CBUS
    // bit-bang the CBUS levels, function pins at their function's level.
    void pins()
    {
        simbench::UnitConfig config = demo::unitConfig(*map1, "P1");
        config.flashLines = 0; // the flash stays off the data bus
        config.cbusFunctions = {simbench::cbusIoMode, simbench::cbusSleep, simbench::cbusDrive0, simbench::cbusTxLed};
        const int unit = usbemu::addUnit(config);
        config.dataPins = 4; // an FT230X
        usbemu::addUnit(config);
        // Outputs: D4-D7 driven high, D0 low; D1-D3 undriven read high.
        // CBUS0 I/O driven low, CBUS1 SLEEP#, CBUS2 DRIVE_0, CBUS3 TXLED# idle.
        for (const auto &[index, mode, expected] : {std::tuple{0, 0x04, 0xFE}, {1, 0x04, 0x0E}, {0, 0x20, 0x0A}}) {
            Chip chip(index);
            QCOMPARE(chip.control(0x0B, uint16_t(mode << 8 | (mode == 0x04 ? 0xF1 : 0x10))), 0);
            Bytes out{0xF0, 0xF0};
            QVERIFY(mode != 0x04 || chip.bulk(0x02, out).first == 0);
            unsigned char level = 0;
            QCOMPARE(libusb_control_transfer(chip.handle, 0xC0, 0x0C, 0, 1, &level, 1, 100), 1);
            QCOMPARE(int(level), expected);
        }
        QCOMPARE(usbemu::raisedLines(unit), uint8_t(0x0A));
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
        units[1].config.flashLines = 0x03;
        QVERIFY(usbemu::writeBench(path, units));
        std::vector<usbemu::BenchUnit> back;
        QVERIFY(usbemu::readBench(path, back));
        const auto text = [](const usbemu::BenchUnit &u) {
            const simbench::UnitConfig &c = u.config;
            QStringList fields{QString::fromStdString(c.description + '|' + c.serial), u.flashFile};
            for (int v : {int(c.type), int(c.chip), int(c.stringsReadable), int(c.dataPins), int(c.flashLines),
                          int(c.csPin), int(c.clockPin), int(c.mosiPin), int(c.misoPin), int(c.status),
                          int(c.cbusFunctions[0]), int(c.cbusFunctions[1]), int(c.cbusFunctions[2]),
                          int(c.cbusFunctions[3])})
                fields << QString::number(v);
            for (const Fault &f : u.faults)
                fields << QString::asprintf("fault %d %d %d %d", int(f.kind), f.nth, f.request, f.count);
            return fields;
        };
        QCOMPARE(back.size(), std::size_t(2));
        for (size_t i = 0; i < 2; ++i)
            QCOMPARE(text(back[i]), text(units[i]));

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
        QVERIFY(!usbemu::readBench(path, back, &error) && error.contains("unit2"));
    }

    // The timing model: a Write's estimate holds the flash's busy times, its
    // samples at the chip's rate, a frame per control request and the bus
    // time of its packets, in whole 1 ms frames.
    void timingModel()
    {
        const int unit = addDemo(*map1, "A1");
        QCOMPARE(store->enumerateUnits(), 1u);
        QVERIFY(unitops::read(*store));
        usbemu::setTimingModel(true, simbench::Timing{0, 0, 0, 7, 2, 50}); // busy for milliseconds, not reads
        usbemu::resetCounters();
        const bool ok = store->openUnit(store->units()[0]) && store->writeToUnit(0);
        QVERIFY(store->closeUnit() && ok);
        const usbemu::Elapsed e = usbemu::elapsed(unit);
        const usbemu::Counters c = usbemu::counters();
        QCOMPARE(e.flashBusyMs, 50.0 + 4 * 2 + 2 * 7); // one sector, four pages, protection off and on
        // 2 MHz sampling, a sample per byte (the idle byte goes out at the first, faster rate).
        QVERIFY(qAbs(e.samplingMs - double(c.bytesOut) / 2000.0) < 0.001);
        QVERIFY(e.totalMs >= double(c.controlTransfers) && e.totalMs >= e.flashBusyMs
                && e.totalMs * 19 >= double(c.bytesOut + c.bytesIn) / 64);
        QCOMPARE(e.totalMs, std::round(e.totalMs));
        usbemu::setTimingModel(false);
    }

    void transfers_data()
    {
        QTest::addColumn<Transfer>("t");
        const int none = -1, timeout = LIBUSB_ERROR_TIMEOUT;
        QTest::newRow("latency 1 ms") << Transfer{0x81, 1, none, 0, 0, 2, 1};
        QTest::newRow("latency 100 ms") << Transfer{0x81, 100, none, 0, 0, 2, 100};
        QTest::newRow("OUT timeout") << Transfer{0x02, 16, int(FaultKind::BulkTimeout), 0, timeout, 0, 20};
        QTest::newRow("IN timeout") << Transfer{0x81, 16, int(FaultKind::BulkTimeout), 0, timeout, 0, 300};
        QTest::newRow("short OUT") << Transfer{0x02, 16, int(FaultKind::ShortOut), 10, timeout, 10, 300};
        QTest::newRow("cut") << Transfer{0x02, 16, int(FaultKind::Cut), 30, LIBUSB_ERROR_IO, 30, -1};
        QTest::newRow("cut, stall") << Transfer{0x02, 16, int(FaultKind::CutPipe), 30, LIBUSB_ERROR_PIPE, 30, -1};
        QTest::newRow("muted IN") << Transfer{0x81, 16, int(FaultKind::Mute), 0, timeout, 0, 300};
        QTest::newRow("muted control") << Transfer{0, 16, int(FaultKind::Mute), 0, timeout, 0, 300};
        QTest::newRow("stall on another request") << Transfer{0, 16, int(FaultKind::Stall), 0x0B, 0, 0, -1};
    }

    // One transfer once an IN has started the latency timer: with nothing to
    // send the chip answers when the timer runs out, with its two status
    // bytes; a fault moves what it lets through and ends the transfer its
    // way; unanswered, a transfer takes the time its caller gave. All on the
    // unit's clock.
    void transfers()
    {
        QFETCH(Transfer, t);
        const int unit = addDemo(*map1, "A1");
        Chip chip;
        QCOMPARE(chip.control(0x09, uint16_t(t.latency)), 0);
        Bytes data(64, 0x08);
        QCOMPARE(chip.bulk(0x81, data, 1000).first, 0);
        if (t.kind >= 0)
            usbemu::setFaults(unit, {Fault{FaultKind(t.kind), 1, t.argument, t.argument}});
        const double before = usbemu::elapsed(unit).totalMs;
        const unsigned limit = t.ms < 0 || t.result == 0 ? 1000 : unsigned(t.ms);
        const auto ended = t.endpoint ? chip.bulk(uint8_t(t.endpoint), data, limit)
                                      : std::pair(chip.control(0x09, 16, limit), 0);
        QCOMPARE(ended, std::pair(t.result, t.moved));
        const double took = usbemu::elapsed(unit).totalMs - before;
        QVERIFY2(t.ms < 0 || (took >= t.ms && took <= t.ms + 1), qPrintable(QString::number(took)));
    }

    // The chip's FIFOs as libftdi meets them: 512 bytes each way, so a bulk
    // OUT in synchronous bit-bang that nobody drains stops there and times
    // out. INs carry whole packets: a buffer that ends inside one overflows.
    void packets()
    {
        const int unit = addDemo(*map1, "A1");
        Chip chip;
        QCOMPARE(chip.control(0x0B, 0x0400 | 0x0D), 0);
        Bytes out(2000, 0x08), in(4096), small(100);
        QCOMPARE(chip.bulk(0x02, out), std::pair(int(LIBUSB_ERROR_TIMEOUT), 1024));
        // Draining lets the chip clock the rest: 62 data bytes behind every 2 status bytes.
        QCOMPARE(chip.bulk(0x81, in), std::pair(0, 1024 + 2 * ((1024 + 61) / 62)));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(in.data()), 2), QByteArray("\x01\x60"));
        QCOMPARE(chip.bulk(0x81, in), std::pair(0, 2));

        out.resize(500);
        QCOMPARE(chip.bulk(0x02, out), std::pair(0, 500));
        QCOMPARE(chip.bulk(0x81, small), std::pair(int(LIBUSB_ERROR_OVERFLOW), 100));
        small.resize(128);
        QCOMPARE(chip.bulk(0x81, small), std::pair(0, 128));
        usbemu::setFaults(unit, {Fault{FaultKind::SplitIn, 1, -1, 13}}); // what "IN in odd packets" relies on
        QCOMPARE(chip.bulk(0x81, in), std::pair(0, 2 + 13));
    }

    // The backend on a link: it reads the chip from open to close and hands
    // every transfer back before the handle goes. Another program holding the
    // unit: the second claim fails with BUSY, so FT_Open fails and the first
    // holder goes on undisturbed; a handle closed takes its claim along.
    void backend()
    {
        const int unit = addDemo(*map1, "A1");
        DeviceLink &link = store->link();
        QVERIFY(link.refreshDeviceList() == 1 && link.openDevice(0) && usbemu::inFlight(unit).in >= 2);
        QVERIFY(link.beginSyncBitBang(3, 2, 0, 1));
        FT_HANDLE second = nullptr;
        QCOMPARE(FT_Open(0, &second), FT_STATUS(FT_DEVICE_NOT_OPENED));
        std::vector<uint8_t> samples(20000, 0x08);
        uint32_t n = 0;
        {
            Chip other;
            QCOMPARE(libusb_claim_interface(other.handle, 0), int(LIBUSB_ERROR_BUSY));
            // A write of any length goes out in pieces of the transfer size, without reads in between.
            QCOMPARE(FT_SetUSBParameters(link.handle(), 1000, 1000), FT_STATUS(FT_OK));
            usbemu::resetCounters();
            QCOMPARE(FT_Write(link.handle(), samples.data(), uint32_t(samples.size()), &n), FT_STATUS(FT_OK));
            QCOMPARE(usbemu::counters().bulkOut, uint64_t(20));
            QCOMPARE(FT_Read(link.handle(), samples.data(), uint32_t(samples.size()), &n), FT_STATUS(FT_OK));
            QCOMPARE(n, uint32_t(samples.size()));
            QVERIFY(usbemu::inFlight(unit).in >= 2);
            QVERIFY(link.closeDevice());
            QCOMPARE(usbemu::inFlight(unit).in + usbemu::inFlight(unit).out, 0);
            QCOMPARE(usbemu::counters().leftAtClose, uint64_t(0));
            QCOMPARE(libusb_claim_interface(other.handle, 0), 0);
        } // closed, still holding its claim

        // A write cut short puts the stream out of step: nothing more goes
        // out until a purge of both directions.
        QVERIFY(link.openDevice(0) && link.beginSyncBitBang(3, 2, 0, 1));
        usbemu::setFaults(unit, {Fault{FaultKind::ShortOut, 1, -1, 10}});
        QCOMPARE(FT_Write(link.handle(), samples.data(), 100, &n), FT_STATUS(FT_IO_ERROR));
        usbemu::clearFaults(unit);
        QCOMPARE(FT_Write(link.handle(), samples.data(), 100, &n), FT_STATUS(FT_IO_ERROR));
        QCOMPARE(FT_Purge(link.handle(), FT_PURGE_RX | FT_PURGE_TX), FT_STATUS(FT_OK));
        QCOMPARE(FT_Write(link.handle(), samples.data(), 100, &n), FT_STATUS(FT_OK));

        // FT_SetBaudRate in bit-bang runs an X chip at the vendor library's rate: 16 samples
        // per baud, divisor 3 MHz / baud to the nearest eighth (below 2, only 1 and 0: 2 and
        // 3 MBd). 185, 191, 1001, 10002, 100209: a quarter of the rate gives another divisor.
        for (uint32_t baud : {184u, 185u, 191u, 300u, 1001u, 9600u, 10002u, 38400u, 46875u, 100209u, 115200u,
                              125000u, 187500u, 921600u, 1000000u, 1234567u, 1500000u, 2000000u, 3000000u}) {
            QCOMPARE(FT_SetBaudRate(link.handle(), baud), FT_STATUS(FT_OK));
            const double eighths = std::round(24e6 / baud);
            const double divisor = baud >= 3000000 ? 1.0 : baud >= 2000000 ? 1.5 : eighths / 8;
            QVERIFY2(usbemu::sampleRate(unit) == 16 * 3e6 / divisor, qPrintable(QString::number(baud)));
        }
        QVERIFY(link.closeDevice());
    }

    // Outside bit-bang written bytes leave on the UART, and while the flash
    // holds RXD low (here its chip select is tied low, to a pin an FT230X
    // lacks, and it keeps sending a status of 0) the UART takes in a break
    // byte for each: only a purge keeps them from the next read, which then
    // waits the backend's half second of silence.
    void uartBreaks()
    {
        simbench::UnitConfig config = demo::unitConfig(*map1, "U1");
        config.dataPins = 4;
        config.csPin = 5;
        config.flashLines = 0;
        config.status = 0x00;
        addDemo(*map1, "A1");
        const int unit = usbemu::addUnit(config);
        DeviceLink &link = store->link();
        QVERIFY(link.refreshDeviceList() == 2 && link.openDevice(1) && link.beginSyncBitBang(5, 2, 0, 1)
                && link.setClockKHz(1000));
        std::array<uint8_t, 2> status{0x05, 0x00};
        QVERIFY(link.transfer(status.data(), status.data(), 2));
        QCOMPARE(FT_SetBitMode(link.handle(), 0x00, 0x00), FT_STATUS(FT_OK));
        std::array<uint8_t, 10> bytes{};
        uint32_t n = 0;
        QCOMPARE(FT_Write(link.handle(), bytes.data(), uint32_t(bytes.size()), &n), FT_STATUS(FT_OK));
        bytes.fill(0x55);
        QCOMPARE(FT_Read(link.handle(), bytes.data(), uint32_t(bytes.size()), &n), FT_STATUS(FT_OK));
        QCOMPARE(bytes, (std::array<uint8_t, 10>{})); // all ten overwritten
        QCOMPARE(FT_Write(link.handle(), bytes.data(), uint32_t(bytes.size()), &n), FT_STATUS(FT_OK));
        QCOMPARE(FT_Purge(link.handle(), FT_PURGE_RX | FT_PURGE_TX), FT_STATUS(FT_OK));
        const double before = usbemu::elapsed(unit).totalMs;
        QCOMPARE(FT_Read(link.handle(), bytes.data(), 1, &n), FT_STATUS(FT_OK));
        QCOMPARE(n, 0u);
        const double took = usbemu::elapsed(unit).totalMs - before;
        QVERIFY2(took >= 500 && took < 600, qPrintable(QString::number(took)));
        QVERIFY(link.closeDevice());
    }

    // Two threads, each with its own store on its own unit: both read their
    // own unit through the same backend and emulator at once.
    void twoThreads()
    {
        const int units[2] = {addDemo(*map1, "T1"), addDemo(*map1s, "T2")};
        ShippedStore stores[2];
        for (auto &s : stores)
            QCOMPARE(s.enumerateUnits(), 2u);
        bool ok[2] = {false, false};
        const auto work = [&](int i) {
            ok[i] = stores[i].openUnit(stores[i].units()[size_t(i)]);
            for (int round = 0; ok[i] && round < 8; ++round)
                ok[i] = stores[i].readFromUnit(0);
            ok[i] = stores[i].closeUnit() && ok[i];
        };
        std::thread first(work, 0), second(work, 1);
        first.join();
        second.join();
        for (int i = 0; i < 2; ++i) {
            const FieldMap *map = stores[i].map(i);
            QVERIFY(ok[i] && stores[i].loadedMap() == map);
            QCOMPARE(toBytes(stores[i].slotPointer(0), int(map->imageSize)),
                     toBytes(usbemu::flashBytes(units[i], map->slotAddress(0), map->imageSize)));
            QCOMPARE(usbemu::raisedLines(units[i]), uint8_t(0));
        }
    }
};

QTEST_GUILESS_MAIN(TestUsbEmu)
#include "tst_usbemu.moc"
