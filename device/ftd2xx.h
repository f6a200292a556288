// The D2XX-style calls the device link uses, with the vendor's signatures and
// status codes. The backends provide them (ftd2xx_usb on libftdi1, ftd2xx_d2xx
// on the vendor's ftd2xx.dll, ftd2xx_sim on the simulated bench); the
// executable picks one at link time.
#pragma once

#include <stdint.h>

// The vendor's calling convention (WINAPI); on x64 Windows and elsewhere it is
// the only one there is.
#if defined(_WIN32) && !defined(_WIN64)
#define FT_API __stdcall
#else
#define FT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t FT_STATUS;
typedef void *FT_HANDLE;

enum {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6,
    FT_INVALID_BAUD_RATE = 7,
    FT_DEVICE_NOT_OPENED_FOR_ERASE = 8,
    FT_DEVICE_NOT_OPENED_FOR_WRITE = 9,
    FT_FAILED_TO_WRITE_DEVICE = 10,
    FT_EEPROM_READ_FAILED = 11,
    FT_EEPROM_WRITE_FAILED = 12,
    FT_EEPROM_ERASE_FAILED = 13,
    FT_EEPROM_NOT_PRESENT = 14,
    FT_EEPROM_NOT_PROGRAMMED = 15,
    FT_INVALID_ARGS = 16,
    FT_NOT_SUPPORTED = 17,
    FT_OTHER_ERROR = 18,
    FT_DEVICE_LIST_NOT_READY = 19
};

enum {
    FT_PURGE_RX = 1,
    FT_PURGE_TX = 2
};

enum {
    FT_FLAGS_OPENED = 1,
    FT_FLAGS_HISPEED = 2
};

// Device types reported in FT_DEVICE_LIST_INFO_NODE::Type.
enum {
    FT_DEVICE_BM = 0,
    FT_DEVICE_AM = 1,
    FT_DEVICE_100AX = 2,
    FT_DEVICE_UNKNOWN = 3,
    FT_DEVICE_2232C = 4,
    FT_DEVICE_232R = 5,
    FT_DEVICE_2232H = 6,
    FT_DEVICE_4232H = 7,
    FT_DEVICE_232H = 8,
    FT_DEVICE_X_SERIES = 9
};

typedef struct _ft_device_list_info_node {
    uint32_t Flags;
    uint32_t Type;
    uint32_t ID;
    uint32_t LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
} FT_DEVICE_LIST_INFO_NODE;

FT_STATUS FT_API FT_CreateDeviceInfoList(uint32_t *numDevs);
FT_STATUS FT_API FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *dest, uint32_t *numDevs);
FT_STATUS FT_API FT_Open(int deviceNumber, FT_HANDLE *handle);
FT_STATUS FT_API FT_Close(FT_HANDLE handle);
FT_STATUS FT_API FT_SetBitMode(FT_HANDLE handle, uint8_t mask, uint8_t mode);
FT_STATUS FT_API FT_SetLatencyTimer(FT_HANDLE handle, uint8_t latencyMs);
FT_STATUS FT_API FT_SetBaudRate(FT_HANDLE handle, uint32_t baudRate);
FT_STATUS FT_API FT_SetUSBParameters(FT_HANDLE handle, uint32_t inTransferSize, uint32_t outTransferSize);
FT_STATUS FT_API FT_Write(FT_HANDLE handle, void *buffer, uint32_t bytesToWrite, uint32_t *bytesWritten);
FT_STATUS FT_API FT_Read(FT_HANDLE handle, void *buffer, uint32_t bytesToRead, uint32_t *bytesReturned);
FT_STATUS FT_API FT_Purge(FT_HANDLE handle, uint32_t mask);

#ifdef __cplusplus
}
#endif
