#pragma once

#include <QObject>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "automation/ScheduleRule.h"

// An instant, in UTC, to the millisecond.
using GatewayTime = std::chrono::sys_time<std::chrono::milliseconds>;

// "2026-12-08T09:35:35.123Z", as the state and the journal write an instant.
std::string IsoTimeText(GatewayTime time);
// The instant such a text names; none when it names none.
std::optional<GatewayTime> TimeFromIsoText(const std::string& text);

// The gateway's only source of time: what time it is, the local wall clock's reading of it, and
// a call at a later time. The program's runs on timers; a test's is scripted, so that a minute of
// back-off or a schedule's midnight takes no time at all.
class IClock {
public:
    using WakeId = uint64_t;  // 0 is never one

    virtual ~IClock() = default;
    virtual GatewayTime Now() const = 0;
    // The local wall clock at that instant (schedules and {now} read it).
    virtual LocalTimeMs ToLocal(GatewayTime time) const = 0;
    // Calls `callback` on the gateway's thread at `time` (soon, when that has passed).
    virtual WakeId WakeAt(GatewayTime time, std::function<void()> callback) = 0;
    // The call does not come; an id that came already, or 0, is ignored.
    virtual void Cancel(WakeId id) = 0;

    LocalTime LocalNow() const { return std::chrono::floor<std::chrono::seconds>(ToLocal(Now())); }
};

// The system's clock and zone, calls made by the event loop of the thread it lives on.
class CTimerClock : public QObject, public IClock {
public:
    explicit CTimerClock(QObject* parent = nullptr);
    ~CTimerClock() override;

    GatewayTime Now() const override;
    LocalTimeMs ToLocal(GatewayTime time) const override;
    WakeId WakeAt(GatewayTime time, std::function<void()> callback) override;
    void Cancel(WakeId id) override;

private:
    struct Wake;
    std::map<WakeId, std::unique_ptr<Wake>> m_wakes;
    WakeId m_nLast = 0;
};

// A clock that stands still until the test moves it; its calls come as it passes their times.
class CScriptedClock : public IClock {
public:
    explicit CScriptedClock(GatewayTime start, std::chrono::minutes utcOffset = {})
        : m_now(start), m_offset(utcOffset) {}

    GatewayTime Now() const override { return m_now; }
    LocalTimeMs ToLocal(GatewayTime time) const override;
    WakeId WakeAt(GatewayTime time, std::function<void()> callback) override;
    void Cancel(WakeId id) override;

    // Moves the clock on, making each call that falls due in turn, at its own time.
    void Advance(std::chrono::milliseconds by);
    // Moves to the next call's time and makes it (and those due with it); false when none waits.
    bool AdvanceToNextWake();
    // When the next call is due, if one waits.
    std::optional<GatewayTime> NextWake() const;

private:
    struct Wake {
        GatewayTime at;
        std::function<void()> callback;
    };
    void RunDue(GatewayTime until);

    GatewayTime m_now;
    std::chrono::minutes m_offset;
    std::map<WakeId, Wake> m_wakes;
    WakeId m_nLast = 0;
};
