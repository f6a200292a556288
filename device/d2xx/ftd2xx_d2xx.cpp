// The D2XX calls on the vendor's own library. FTDI's driver package (which
// Windows Update installs for these chips) puts ftd2xx.dll in System32; it is
// loaded at run time, so the build needs no vendor SDK and a machine without
// the driver still starts, with no units and the reason on hand.

#include "device/d2xx/d2xxlibrary.h"

#include <windows.h>

#include <cstddef>
#include <mutex>

// ftd2xx.h spells the vendor's types with fixed widths: on x64 Windows (LLP64)
// DWORD and ULONG are 32 bits, pointers 64, and the list node is laid out so.
static_assert(sizeof(FT_STATUS) == 4, "FT_STATUS is a ULONG");
static_assert(sizeof(DWORD) == sizeof(uint32_t) && sizeof(ULONG) == sizeof(uint32_t), "DWORD-sized arguments");
static_assert(sizeof(UCHAR) == sizeof(uint8_t), "UCHAR arguments");
static_assert(sizeof(FT_HANDLE) == sizeof(PVOID), "FT_HANDLE is a PVOID");
#ifdef _WIN64
static_assert(sizeof(FT_DEVICE_LIST_INFO_NODE) == 104, "list node as the x64 library fills it");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, Type) == 4, "Type");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, LocId) == 12, "LocId");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, SerialNumber) == 16, "SerialNumber");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, Description) == 32, "Description");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, ftHandle) == 96, "ftHandle");
#endif

namespace d2xx {

namespace {

struct Loaded
{
    Calls calls;
    bool complete = false;
    ftdiprobe::BackendProblem problem;
};

template <typename Fn>
bool resolve(HMODULE module, const char *name, Fn &fn, ftdiprobe::BackendProblem &problem)
{
    fn = reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(module, name)));
    if (!fn && problem.kind == ftdiprobe::BackendProblem::None) {
        problem.kind = ftdiprobe::BackendProblem::FunctionMissing;
        problem.function = QString::fromLatin1(name);
    }
    return fn != nullptr;
}

Loaded load()
{
    Loaded loaded;
    loaded.problem.library = QString::fromWCharArray(LibraryFile);
    // The program's folder, then System32: never the working directory,
    // which a user may fill with anything.
    const HMODULE module = LoadLibraryExW(LibraryFile, nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (!module) {
        loaded.problem.kind = ftdiprobe::BackendProblem::LibraryMissing;
        return loaded;
    }
    Calls &c = loaded.calls;
    ftdiprobe::BackendProblem &p = loaded.problem;
    bool all = resolve(module, "FT_CreateDeviceInfoList", c.createDeviceInfoList, p);
    all &= resolve(module, "FT_GetDeviceInfoList", c.getDeviceInfoList, p);
    all &= resolve(module, "FT_Open", c.open, p);
    all &= resolve(module, "FT_Close", c.close, p);
    all &= resolve(module, "FT_SetBitMode", c.setBitMode, p);
    all &= resolve(module, "FT_SetLatencyTimer", c.setLatencyTimer, p);
    all &= resolve(module, "FT_SetBaudRate", c.setBaudRate, p);
    all &= resolve(module, "FT_SetUSBParameters", c.setUSBParameters, p);
    all &= resolve(module, "FT_Write", c.write, p);
    all &= resolve(module, "FT_Read", c.read, p);
    all &= resolve(module, "FT_Purge", c.purge, p);
    if (!all) {
        FreeLibrary(module);
        loaded.calls = {};
        return loaded;
    }
    // Kept for the life of the process: handles from it may be open anywhere.
    loaded.complete = true;
    return loaded;
}

} // namespace

const Calls *calls(ftdiprobe::BackendProblem *problem)
{
    static std::mutex mutex;
    static Loaded loaded;
    const std::lock_guard<std::mutex> lock(mutex);
    if (!loaded.complete)
        loaded = load();
    if (problem)
        *problem = loaded.problem;
    return loaded.complete ? &loaded.calls : nullptr;
}

} // namespace d2xx

namespace {

// Every call fails as with no device while the library cannot be had.
template <typename Fn, typename... Args>
FT_STATUS forward(Fn d2xx::Calls::*call, Args... args)
{
    const d2xx::Calls *c = d2xx::calls();
    return c ? (c->*call)(args...) : FT_STATUS(FT_DEVICE_NOT_FOUND);
}

} // namespace

extern "C" {

FT_STATUS FT_API FT_CreateDeviceInfoList(uint32_t *numDevs)
{
    return forward(&d2xx::Calls::createDeviceInfoList, numDevs);
}

FT_STATUS FT_API FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *dest, uint32_t *numDevs)
{
    return forward(&d2xx::Calls::getDeviceInfoList, dest, numDevs);
}

FT_STATUS FT_API FT_Open(int deviceNumber, FT_HANDLE *handle)
{
    return forward(&d2xx::Calls::open, deviceNumber, handle);
}

FT_STATUS FT_API FT_Close(FT_HANDLE handle)
{
    return forward(&d2xx::Calls::close, handle);
}

FT_STATUS FT_API FT_SetBitMode(FT_HANDLE handle, uint8_t mask, uint8_t mode)
{
    return forward(&d2xx::Calls::setBitMode, handle, mask, mode);
}

FT_STATUS FT_API FT_SetLatencyTimer(FT_HANDLE handle, uint8_t latencyMs)
{
    return forward(&d2xx::Calls::setLatencyTimer, handle, latencyMs);
}

FT_STATUS FT_API FT_SetBaudRate(FT_HANDLE handle, uint32_t baudRate)
{
    return forward(&d2xx::Calls::setBaudRate, handle, baudRate);
}

FT_STATUS FT_API FT_SetUSBParameters(FT_HANDLE handle, uint32_t inTransferSize, uint32_t outTransferSize)
{
    return forward(&d2xx::Calls::setUSBParameters, handle, inTransferSize, outTransferSize);
}

FT_STATUS FT_API FT_Write(FT_HANDLE handle, void *buffer, uint32_t bytesToWrite, uint32_t *bytesWritten)
{
    return forward(&d2xx::Calls::write, handle, buffer, bytesToWrite, bytesWritten);
}

FT_STATUS FT_API FT_Read(FT_HANDLE handle, void *buffer, uint32_t bytesToRead, uint32_t *bytesReturned)
{
    return forward(&d2xx::Calls::read, handle, buffer, bytesToRead, bytesReturned);
}

FT_STATUS FT_API FT_Purge(FT_HANDLE handle, uint32_t mask)
{
    return forward(&d2xx::Calls::purge, handle, mask);
}

} // extern "C"
