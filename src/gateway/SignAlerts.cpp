#include "gateway/SignAlerts.h"

#include <algorithm>

namespace {

int TopPriority(const std::vector<Alert>& alerts) {
    int top = kLowestAlertPriority + 1;
    for (const Alert& alert : alerts) {
        top = std::min(top, alert.priority);
    }
    return top;
}

}  // namespace

bool CSignAlerts::Raise(Alert alert, GatewayTime now) {
    const bool alone = TopCount() <= 1;
    const auto up = std::find_if(m_alerts.begin(), m_alerts.end(),
                                 [&](const Alert& a) { return a.key == alert.key; });
    if (up != m_alerts.end()) {
        alert.since = up->since;
        *up = std::move(alert);
    } else if (m_alerts.size() >= kMaxAlertsPerSign) {
        return false;
    } else {
        m_alerts.push_back(std::move(alert));
    }
    Settle(now);
    if (alone && TopCount() > 1) {
        m_turnSince = now;  // the one on has had no turn to share until now
    }
    return true;
}

bool CSignAlerts::Clear(const std::string& key, GatewayTime now) {
    const size_t before = m_alerts.size();
    std::erase_if(m_alerts, [&](const Alert& alert) { return alert.key == key; });
    Settle(now);
    return m_alerts.size() != before;
}

bool CSignAlerts::Step(GatewayTime now, std::chrono::seconds turn) {
    const std::string before = m_strOn;
    std::erase_if(m_alerts, [&](const Alert& alert) { return alert.until && *alert.until <= now; });
    Settle(now);
    if (TopCount() > 1 && now >= m_turnSince + turn) {
        // The next of the same priority after the one on, in the order they were raised.
        const int top = TopPriority(m_alerts);
        const auto on = std::find_if(m_alerts.begin(), m_alerts.end(),
                                     [&](const Alert& a) { return a.key == m_strOn; });
        auto next = std::find_if(std::next(on), m_alerts.end(),
                                 [&](const Alert& a) { return a.priority == top; });
        if (next == m_alerts.end()) {
            next = std::find_if(m_alerts.begin(), m_alerts.end(),
                                [&](const Alert& a) { return a.priority == top; });
        }
        m_strOn = next->key;
        m_turnSince = now;
    }
    return m_strOn != before;
}

void CSignAlerts::Relink(const std::string& library, const MessageDocument& message) {
    for (Alert& alert : m_alerts) {
        if (!alert.library.empty() && alert.library == library) {
            alert.message = message;
        }
    }
}

std::optional<GatewayTime> CSignAlerts::NextStep(std::chrono::seconds turn) const {
    std::optional<GatewayTime> next;
    for (const Alert& alert : m_alerts) {
        if (alert.until) {
            next = next ? std::min(*next, *alert.until) : *alert.until;
        }
    }
    if (TopCount() > 1) {
        const GatewayTime turnOver = m_turnSince + turn;
        next = next ? std::min(*next, turnOver) : turnOver;
    }
    return next;
}

const Alert* CSignAlerts::On() const {
    return Find(m_strOn);
}

const Alert* CSignAlerts::Find(const std::string& key) const {
    const auto found = std::find_if(m_alerts.begin(), m_alerts.end(),
                                    [&](const Alert& alert) { return alert.key == key; });
    return found == m_alerts.end() ? nullptr : &*found;
}

void CSignAlerts::Settle(GatewayTime now) {
    const int top = TopPriority(m_alerts);
    const Alert* on = On();
    if (on != nullptr && on->priority == top) {
        return;
    }
    const auto first = std::find_if(m_alerts.begin(), m_alerts.end(),
                                    [&](const Alert& alert) { return alert.priority == top; });
    m_strOn = first == m_alerts.end() ? std::string() : first->key;
    m_turnSince = now;
}

size_t CSignAlerts::TopCount() const {
    const int top = TopPriority(m_alerts);
    return static_cast<size_t>(
        std::count_if(m_alerts.begin(), m_alerts.end(),
                      [&](const Alert& alert) { return alert.priority == top; }));
}
