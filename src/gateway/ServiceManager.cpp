#include "gateway/ServiceManager.h"

#include <systemd/sd-daemon.h>

#include <chrono>

CServiceManager::CServiceManager(QObject* parent) : QObject(parent) {
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
        // Twice within the manager's period, as it asks.
        m_watchdog.setInterval(std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::microseconds(usec / 2)));
        connect(&m_watchdog, &QTimer::timeout, this, [] { sd_notify(0, "WATCHDOG=1"); });
    }
}

void CServiceManager::Ready() {
    sd_notify(0, "READY=1");
    if (m_watchdog.interval() > 0) {
        m_watchdog.start();
    }
}

void CServiceManager::Reloading() {
    sd_notify(0, "RELOADING=1");
}

void CServiceManager::Stopping() {
    m_watchdog.stop();
    sd_notify(0, "STOPPING=1");
}
