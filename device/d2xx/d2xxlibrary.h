#pragma once

// The vendor's ftd2xx.dll, loaded at run time: the calls of ftd2xx.h as it
// exports them, or why it could not be had.

#include "device/ftd2xx.h"
#include "device/ftdiprobe.h"

namespace d2xx {

inline constexpr const wchar_t *LibraryFile = L"ftd2xx.dll";

struct Calls
{
    decltype(&::FT_CreateDeviceInfoList) createDeviceInfoList = nullptr;
    decltype(&::FT_GetDeviceInfoList) getDeviceInfoList = nullptr;
    decltype(&::FT_Open) open = nullptr;
    decltype(&::FT_Close) close = nullptr;
    decltype(&::FT_SetBitMode) setBitMode = nullptr;
    decltype(&::FT_SetLatencyTimer) setLatencyTimer = nullptr;
    decltype(&::FT_SetBaudRate) setBaudRate = nullptr;
    decltype(&::FT_SetUSBParameters) setUSBParameters = nullptr;
    decltype(&::FT_Write) write = nullptr;
    decltype(&::FT_Read) read = nullptr;
    decltype(&::FT_Purge) purge = nullptr;
};

// The library's calls, all of them resolved, or null with the reason in
// *problem. A failed load is tried again on the next call, so a driver
// installed while the program runs is found at the next refresh.
const Calls *calls(ftdiprobe::BackendProblem *problem = nullptr);

} // namespace d2xx
