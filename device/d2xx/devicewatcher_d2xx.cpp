// DeviceWatcher on Windows: nothing to watch here. The window hears
// WM_DEVICECHANGE through its nativeEvent, as Windows sends it to every
// top-level window.

#include "device/devicewatcher.h"

struct DeviceWatcher::Private
{
};

DeviceWatcher::DeviceWatcher(QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
}

DeviceWatcher::~DeviceWatcher() = default;

bool DeviceWatcher::isActive() const
{
    return false;
}
