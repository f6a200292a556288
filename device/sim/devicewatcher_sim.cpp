// DeviceWatcher for the simulated bench: attach, detach and power loss on the
// bench stand in for USB hot-plug.

#include "device/devicewatcher.h"
#include "device/model/simflash.h"

#include <QPointer>

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

// A unit may lose power inside a D2XX call on any thread.
std::mutex &watchersLock()
{
    static std::mutex lock;
    return lock;
}

std::vector<QPointer<DeviceWatcher>> &watchers()
{
    static std::vector<QPointer<DeviceWatcher>> list;
    return list;
}

} // namespace

struct DeviceWatcher::Private
{
};

DeviceWatcher::DeviceWatcher(QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    const std::lock_guard<std::mutex> guard(watchersLock());
    watchers().emplace_back(this);
}

DeviceWatcher::~DeviceWatcher()
{
    const std::lock_guard<std::mutex> guard(watchersLock());
    auto &list = watchers();
    list.erase(std::remove_if(list.begin(), list.end(),
                              [this](const QPointer<DeviceWatcher> &w) { return w.isNull() || w == this; }),
               list.end());
}

bool DeviceWatcher::isActive() const
{
    return true;
}

void simbench::notifyDeviceChange()
{
    // Queued, as real hot-plug news arrives through the event loop: a unit that
    // loses power inside a D2XX call must not re-enter the caller.
    const std::lock_guard<std::mutex> guard(watchersLock());
    for (const auto &watcher : watchers()) {
        if (DeviceWatcher *w = watcher.data())
            QMetaObject::invokeMethod(w, [w] { emit w->devicesChanged(); }, Qt::QueuedConnection);
    }
}
