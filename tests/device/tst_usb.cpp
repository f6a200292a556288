// The libftdi backend without hardware: nothing attached must mean an empty
// list or a clean failure, and calls on bad handles must fail, never crash.

#include "device/devicelink.h"

#include <QtTest>

class TestUsb : public QObject
{
    Q_OBJECT

private slots:
    void enumerationWithoutUnits();
    void badHandles();
};

void TestUsb::enumerationWithoutUnits()
{
    DeviceLink link;
    const int count = link.refreshDeviceList();
    if (count > 0)
        QSKIP("FTDI devices are attached to this machine");
    QVERIFY(count == 0 || count == -1);
    QCOMPARE(link.deviceCount(), 0u);
    QVERIFY(!link.openDevice(0));
    QVERIFY(!link.beginSyncBitBang(3, 2, 0, 1));
    std::array<uint8_t, 2> buf{0x05, 0x00};
    QVERIFY(!link.transfer(buf.data(), buf.data(), 2));
}

void TestUsb::badHandles()
{
    uint8_t byte = 0;
    uint32_t n = 0;
    FT_HANDLE handle = nullptr;
    QVERIFY(FT_Open(1000, &handle) != FT_OK);
    QVERIFY(FT_CreateDeviceInfoList(nullptr) != FT_OK);
    FT_HANDLE bogus = &byte;
    QCOMPARE(FT_SetBitMode(bogus, 0, 0), FT_STATUS(FT_INVALID_HANDLE));
    QCOMPARE(FT_Write(bogus, &byte, 1, &n), FT_STATUS(FT_INVALID_HANDLE));
    QCOMPARE(FT_Read(bogus, &byte, 1, &n), FT_STATUS(FT_INVALID_HANDLE));
    QCOMPARE(FT_Close(bogus), FT_STATUS(FT_INVALID_HANDLE));
}

QTEST_GUILESS_MAIN(TestUsb)
#include "tst_usb.moc"
