// DeviceWatcher for real USB: a udev monitor on the "usb" subsystem, its
// socket driving a QSocketNotifier, so news arrives through the event loop
// without polling or threads.

#include "device/devicewatcher.h"

#include <QSocketNotifier>

#include <libudev.h>

#include <cstring>

namespace {

struct UdevDeleter
{
    void operator()(udev *u) const { udev_unref(u); }
};

struct MonitorDeleter
{
    void operator()(udev_monitor *m) const { udev_monitor_unref(m); }
};

struct DeviceDeleter
{
    void operator()(udev_device *d) const { udev_device_unref(d); }
};

} // namespace

struct DeviceWatcher::Private
{
    // Declared in teardown order: the notifier goes before the socket it watches.
    std::unique_ptr<udev, UdevDeleter> context;
    std::unique_ptr<udev_monitor, MonitorDeleter> monitor;
    std::unique_ptr<QSocketNotifier> notifier;
};

DeviceWatcher::DeviceWatcher(QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    d->context.reset(udev_new());
    if (!d->context)
        return;
    d->monitor.reset(udev_monitor_new_from_netlink(d->context.get(), "udev"));
    if (!d->monitor)
        return;
    // Whole devices only: interfaces come and go whenever a driver lets go of
    // a chip, which our own enumeration does.
    if (udev_monitor_filter_add_match_subsystem_devtype(d->monitor.get(), "usb", "usb_device") < 0
        || udev_monitor_enable_receiving(d->monitor.get()) < 0) {
        d->monitor.reset();
        return;
    }
    const int fd = udev_monitor_get_fd(d->monitor.get());
    if (fd < 0) {
        d->monitor.reset();
        return;
    }
    d->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(d->notifier.get(), &QSocketNotifier::activated, this, [this] {
        bool changed = false;
        // The monitor socket is non-blocking: drain everything queued.
        while (std::unique_ptr<udev_device, DeviceDeleter> device{udev_monitor_receive_device(d->monitor.get())}) {
            const char *action = udev_device_get_action(device.get());
            if (action && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0))
                changed = true;
        }
        if (changed)
            emit devicesChanged();
    });
}

DeviceWatcher::~DeviceWatcher() = default;

bool DeviceWatcher::isActive() const
{
    return d->notifier != nullptr;
}
