#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "gateway/Clock.h"
#include "settings/MessageFile.h"

inline constexpr int kHighestAlertPriority = 1;
inline constexpr int kLowestAlertPriority = 9;
inline constexpr int kDefaultAlertPriority = 5;
// How long each of several alerts of the same priority stays on before the next takes its turn.
inline constexpr std::chrono::seconds kDefaultAlertTurn{8};
// A sign holds this many alerts at most: a runaway source cannot grow it without bound.
inline constexpr size_t kMaxAlertsPerSign = 64;

// One alert on one sign: shown over the sign's own message until it is cleared, or until `until`.
struct Alert {
    std::string key;
    MessageDocument message;
    int priority = kDefaultAlertPriority;  // 1 the highest
    std::optional<GatewayTime> until;      // none: held until cleared
    GatewayTime since{};                   // when it was first raised
    std::string library;                   // the library message it shows; "" its own
};

// A sign's active alerts in the order they were first raised, and which of them is on: one of the
// highest priority, those of that priority taking turns. Plain bookkeeping on the times it is
// given; the director calls it and arranges its clock by NextStep.
class CSignAlerts {
public:
    // A new alert goes last; one whose key is up takes the new message, priority and time but
    // keeps its place and its `since`. False when the sign holds kMaxAlertsPerSign already.
    bool Raise(Alert alert, GatewayTime now);
    // Whether it was up.
    bool Clear(const std::string& key, GatewayTime now);
    // Ends those whose time is over and gives the next of the same priority its turn when the
    // turn is over. Whether another alert (or none) is on now.
    bool Step(GatewayTime now, std::chrono::seconds turn);
    // The alerts that show the library message take its new words.
    void Relink(const std::string& library, const MessageDocument& message);
    // When Step has work next; none while nothing changes by itself.
    std::optional<GatewayTime> NextStep(std::chrono::seconds turn) const;

    const Alert* On() const;
    const Alert* Find(const std::string& key) const;
    const std::vector<Alert>& All() const { return m_alerts; }
    bool Empty() const { return m_alerts.empty(); }

private:
    // Keeps the one on among those of the highest priority; a turn starts when it changes.
    void Settle(GatewayTime now);
    size_t TopCount() const;

    std::vector<Alert> m_alerts;
    std::string m_strOn;  // the key of the alert on; "" when none
    GatewayTime m_turnSince{};
};
