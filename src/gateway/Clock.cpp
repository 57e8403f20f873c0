#include "gateway/Clock.h"

#include <QDateTime>
#include <QTimeZone>
#include <QTimer>
#include <algorithm>
#include <climits>

namespace {

// A timer's interval is an int of milliseconds; a later call is made in steps.
constexpr std::chrono::milliseconds kLongestTimer{INT_MAX};

}  // namespace

std::string IsoTimeText(GatewayTime time) {
    return QDateTime::fromMSecsSinceEpoch(time.time_since_epoch().count(), Qt::UTC)
        .toString(Qt::ISODateWithMs)
        .toStdString();
}

std::optional<GatewayTime> TimeFromIsoText(const std::string& text) {
    const QDateTime time = QDateTime::fromString(QString::fromStdString(text), Qt::ISODateWithMs);
    if (!time.isValid()) {
        return std::nullopt;
    }
    return GatewayTime(std::chrono::milliseconds(time.toMSecsSinceEpoch()));
}

struct CTimerClock::Wake {
    QTimer timer;
    std::function<void()> callback;
};

CTimerClock::CTimerClock(QObject* parent) : QObject(parent) {}

CTimerClock::~CTimerClock() = default;

GatewayTime CTimerClock::Now() const {
    return std::chrono::time_point_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now());
}

LocalTimeMs CTimerClock::ToLocal(GatewayTime time) const {
    const qint64 ms = time.time_since_epoch().count();
    const int offset = QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc();
    return LocalTimeMs(std::chrono::milliseconds(ms + offset * qint64{1000}));
}

IClock::WakeId CTimerClock::WakeAt(GatewayTime time, std::function<void()> callback) {
    const WakeId id = ++m_nLast;
    auto wake = std::make_unique<Wake>();
    wake->callback = std::move(callback);
    wake->timer.setSingleShot(true);
    wake->timer.setTimerType(Qt::PreciseTimer);
    connect(&wake->timer, &QTimer::timeout, this, [this, id, time] {
        const auto found = m_wakes.find(id);
        if (found == m_wakes.end()) {
            return;
        }
        if (Now() < time) {  // a wait longer than a timer holds
            found->second->timer.start(std::min(kLongestTimer, time - Now()));
            return;
        }
        // Taken out first: the call may ask for wakes of its own, or cancel this one.
        std::unique_ptr<Wake> due = std::move(found->second);
        m_wakes.erase(found);
        due->callback();
    });
    wake->timer.start(std::clamp(time - Now(), std::chrono::milliseconds(0), kLongestTimer));
    m_wakes.emplace(id, std::move(wake));
    return id;
}

void CTimerClock::Cancel(WakeId id) {
    m_wakes.erase(id);
}

LocalTimeMs CScriptedClock::ToLocal(GatewayTime time) const {
    return LocalTimeMs(time.time_since_epoch() + m_offset);
}

IClock::WakeId CScriptedClock::WakeAt(GatewayTime time, std::function<void()> callback) {
    const WakeId id = ++m_nLast;
    m_wakes.emplace(id, Wake{std::max(time, m_now), std::move(callback)});
    return id;
}

void CScriptedClock::Cancel(WakeId id) {
    m_wakes.erase(id);
}

std::optional<GatewayTime> CScriptedClock::NextWake() const {
    std::optional<GatewayTime> next;
    for (const auto& [id, wake] : m_wakes) {
        next = next ? std::min(*next, wake.at) : wake.at;
    }
    return next;
}

void CScriptedClock::RunDue(GatewayTime until) {
    for (;;) {
        // The earliest due call, the first asked among equals.
        auto due = m_wakes.end();
        for (auto it = m_wakes.begin(); it != m_wakes.end(); ++it) {
            if (it->second.at <= until &&
                (due == m_wakes.end() || it->second.at < due->second.at)) {
                due = it;
            }
        }
        if (due == m_wakes.end()) {
            break;
        }
        m_now = due->second.at;
        const std::function<void()> callback = std::move(due->second.callback);
        m_wakes.erase(due);
        callback();
    }
    m_now = std::max(m_now, until);
}

void CScriptedClock::Advance(std::chrono::milliseconds by) {
    RunDue(m_now + by);
}

bool CScriptedClock::AdvanceToNextWake() {
    const std::optional<GatewayTime> next = NextWake();
    if (!next) {
        return false;
    }
    RunDue(*next);
    return true;
}
