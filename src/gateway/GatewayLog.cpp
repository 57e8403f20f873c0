#include "gateway/GatewayLog.h"

#include <cstdio>

#include "fleet/SignReport.h"
#include "gateway/CDirector.h"
#include "gateway/GatewayThread.h"

void CGatewayLog::Line(const std::string& subject, const std::string& text) {
    bool first = false;
    {
        const std::lock_guard lock(m_mutex);
        first = m_strLines.empty();
        m_strLines += "lumivex-gateway: " + subject + ": " + text + "\n";
    }
    if (first) {
        PostToGateway(this, [this] { Flush(); });
    }
}

void CGatewayLog::Flush() {
    std::string lines;
    {
        const std::lock_guard lock(m_mutex);
        lines.swap(m_strLines);
    }
    std::fputs(lines.c_str(), stderr);
}

std::string EventText(const DirectorEvent& event) {
    using Kind = DirectorEvent::Kind;
    switch (event.kind) {
        case Kind::kNewDesired:
            return "new desired message";
        case Kind::kAlertRaised:
            return "alert " + event.alert->key + " (priority " +
                   std::to_string(event.alert->priority) + ") " +
                   (event.seconds > 0 ? "for " + std::to_string(event.seconds) + " s" : "held");
        case Kind::kAlertsChanged:
            if (const Alert* on = event.sign.alerts.On()) {
                return "alert " + on->key + " on";
            }
            return event.sign.clearAfterAlert ? "alerts over; sign cleared" : "alerts over";
        case Kind::kScheduleOpens:
            return "schedule " + std::to_string(event.rule + 1) + " opens";
        case Kind::kScheduleCloses:
            return "schedule closes";
        case Kind::kSent:
            return SignSendState(*event.result);
        case Kind::kRetry:
            break;
    }
    return {};
}
