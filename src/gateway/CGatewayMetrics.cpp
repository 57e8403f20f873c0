#include "gateway/CGatewayMetrics.h"

#include <QString>
#include <algorithm>
#include <array>

namespace {

constexpr std::array<double, 12> kDurationBounds = {0.005, 0.01, 0.025, 0.05, 0.1, 0.25,
                                                    0.5,   1,    2.5,   5,    10,  30};

std::string Quoted(const std::string& value) {
    std::string out;
    for (const char c : value) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string Number(double value) {
    return QString::number(value).toStdString();
}

void Header(std::string& text, const char* name, const char* help, const char* type) {
    text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

}  // namespace

// What an alert rule is written against: each sign up or not, since when, how often retried, and
// how many signs stand in each state.
std::string CGatewayMetrics::SignGauges(const std::vector<SignState>& signs) const {
    std::string up;
    std::string last;
    std::string retries;
    std::map<std::string, int> states = {
        {"delivered", 0}, {"failing", 0}, {"sending", 0}, {"waiting", 0}, {"idle", 0}};
    for (const SignState& state : signs) {
        const std::string label = "{sign=\"" + Quoted(state.sign.name) + "\"} ";
        const bool delivered = state.last && state.last->outcome.Delivered();
        up += "lumivex_sign_up" + label + (delivered ? "1" : "0") + "\n";
        const auto success = m_lastSuccess.find(state.sign.name);
        if (success != m_lastSuccess.end()) {
            const double seconds =
                static_cast<double>(success->second.time_since_epoch().count()) / 1000;
            last += "lumivex_sign_last_success_timestamp_seconds" + label +
                    QString::number(seconds, 'f', 3).toStdString() + "\n";
        }
        const auto retried = m_retries.find(state.sign.name);
        retries += "lumivex_sign_retries_total" + label +
                   std::to_string(retried == m_retries.end() ? 0 : retried->second) + "\n";
        const WaitingFor waiting = state.Waits();
        ++states[waiting == WaitingFor::kSend     ? "sending"
                 : waiting == WaitingFor::kRetry  ? "failing"
                 : waiting == WaitingFor::kValues ? "waiting"
                 : delivered                      ? "delivered"
                                                  : "idle"];
    }
    std::string text;
    Header(text, "lumivex_sign_up", "1 when the sign's last send was delivered.", "gauge");
    text += up;
    Header(text, "lumivex_sign_last_success_timestamp_seconds", "When the sign last got a message.",
           "gauge");
    text += last;
    Header(text, "lumivex_sign_retries_total", "Sends to the sign tried again.", "counter");
    text += retries;
    Header(text, "lumivex_signs", "Signs by state.", "gauge");
    for (const auto& [state, count] : states) {
        text += "lumivex_signs{state=\"" + state + "\"} " + std::to_string(count) + "\n";
    }
    Header(text, "lumivex_broker_connected", "1 while the broker is connected.", "gauge");
    text += "lumivex_broker_connected " + std::string(m_bBrokerConnected ? "1" : "0") + "\n";
    return text;
}

CGatewayMetrics::CGatewayMetrics() : m_durationBuckets(kDurationBounds.size() + 1, 0) {}

void CGatewayMetrics::RecordRetry(const std::string& sign) {
    ++m_nRetries;
    ++m_retries[sign];
}

void CGatewayMetrics::RecordSend(const std::string& sign, bool delivered, double seconds,
                                 GatewayTime at) {
    ++m_sends[{sign, delivered ? "delivered" : "failed"}];
    if (delivered) {
        m_lastSuccess[sign] = at;
    }
    const auto bucket = std::lower_bound(kDurationBounds.begin(), kDurationBounds.end(), seconds);
    ++m_durationBuckets[static_cast<size_t>(bucket - kDurationBounds.begin())];
    m_durationSum += seconds;
    ++m_nDurations;
}

std::string CGatewayMetrics::Text(const std::vector<SignState>& signs) const {
    std::string text = SignGauges(signs);
    Header(text, "lumivex_gateway_sends_total", "Sends by sign and outcome.", "counter");
    for (const auto& [labels, count] : m_sends) {
        text += "lumivex_gateway_sends_total{sign=\"" + Quoted(labels.first) + "\",outcome=\"" +
                labels.second + "\"} " + std::to_string(count) + "\n";
    }
    const char* duration = "lumivex_gateway_send_duration_seconds";
    Header(text, duration, "Time from a send's start to its outcome.", "histogram");
    uint64_t cumulative = 0;
    for (size_t i = 0; i < m_durationBuckets.size(); ++i) {
        cumulative += m_durationBuckets[i];
        const std::string bound = i < kDurationBounds.size() ? Number(kDurationBounds[i]) : "+Inf";
        text += std::string(duration) + "_bucket{le=\"" + bound + "\"} " +
                std::to_string(cumulative) + "\n";
    }
    text += std::string(duration) + "_sum " + Number(m_durationSum) + "\n";
    text += std::string(duration) + "_count " + std::to_string(m_nDurations) + "\n";
    Header(text, "lumivex_gateway_retries_total", "Sends tried again after a failure.", "counter");
    text += "lumivex_gateway_retries_total " + std::to_string(m_nRetries) + "\n";
    Header(text, "lumivex_gateway_state_writes_total", "Writes of the state folder.", "counter");
    text += "lumivex_gateway_state_writes_total{result=\"ok\"} " + std::to_string(m_nStateWrites) +
            "\n";
    text += "lumivex_gateway_state_writes_total{result=\"failed\"} " +
            std::to_string(m_nStateWriteFailures) + "\n";
    Header(text, "lumivex_gateway_mqtt_connected", "1 while the broker is connected.", "gauge");
    text += "lumivex_gateway_mqtt_connected " + std::string(m_bBrokerConnected ? "1" : "0") + "\n";
    const char* refused = "lumivex_http_connections_refused_total";
    Header(text, refused, "Connections the HTTP server turned away or cut off, by reason.",
           "counter");
    for (size_t i = 0; i < kHttpRefusals; ++i) {
        text += std::string(refused) + "{reason=\"" + HttpRefusalName(static_cast<HttpRefusal>(i)) +
                "\"} " + std::to_string(m_refused[i].load()) + "\n";
    }
    Header(text, "lumivex_modbus_requests_total", "Modbus requests by function and result.",
           "counter");
    for (const auto& [labels, count] : m_modbus) {
        text += "lumivex_modbus_requests_total{function=\"" + labels.first + "\",result=\"" +
                labels.second + "\"} " + std::to_string(count) + "\n";
    }
    return text;
}
