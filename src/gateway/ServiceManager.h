#pragma once

#include <QObject>
#include <QTimer>

// What systemd's service manager is told, when it started the gateway (Type=notify): ready,
// reloading, stopping, and the watchdog's ping. The ping comes from the gateway's own event loop,
// so that a gateway whose thread no longer turns is found out and restarted. Without a manager
// it does nothing.
class CServiceManager : public QObject {
public:
    explicit CServiceManager(QObject* parent = nullptr);

    void Ready();
    void Reloading();
    void Stopping();

private:
    QTimer m_watchdog;
};
