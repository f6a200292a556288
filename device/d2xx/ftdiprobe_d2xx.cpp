// The diagnostics query on the vendor's library: what its device list says.
// Its EEPROM calls are not among those this program loads, so the CBUS pin
// functions stay unknown here.

#include "device/d2xx/d2xxlibrary.h"

#include <algorithm>
#include <vector>

namespace ftdiprobe {

std::vector<DeviceReport> probeDevices()
{
    std::vector<DeviceReport> reports;
    uint32_t count = 0;
    if (FT_CreateDeviceInfoList(&count) != FT_OK || count == 0)
        return reports;
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
    if (FT_GetDeviceInfoList(nodes.data(), &count) != FT_OK)
        return reports;
    nodes.resize(std::min<size_t>(count, nodes.size()));
    for (FT_DEVICE_LIST_INFO_NODE &node : nodes) {
        DeviceReport report;
        report.index = static_cast<int>(reports.size());
        report.type = node.Type;
        node.Description[sizeof node.Description - 1] = node.SerialNumber[sizeof node.SerialNumber - 1] = '\0';
        report.description = QString::fromLatin1(node.Description);
        report.serial = QString::fromLatin1(node.SerialNumber);
        // The library leaves the strings empty for a device another program holds.
        report.stringsReadable = !report.description.isEmpty() || !report.serial.isEmpty();
        reports.push_back(std::move(report));
    }
    return reports;
}

BackendProblem backendProblem()
{
    BackendProblem problem;
    d2xx::calls(&problem);
    return problem;
}

} // namespace ftdiprobe
