#pragma once

#include <QObject>

#include <memory>

// Raises devicesChanged() when a USB device comes or goes. Each D2XX backend
// provides the implementation: a udev monitor for real USB, the bench's
// attach and detach for the simulator. The signal is always delivered from
// the event loop, never from inside a device call.
class DeviceWatcher : public QObject
{
    Q_OBJECT

public:
    explicit DeviceWatcher(QObject *parent = nullptr);
    ~DeviceWatcher() override;

    // False when the backend cannot watch; devicesChanged() then never fires.
    bool isActive() const;

signals:
    void devicesChanged();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
