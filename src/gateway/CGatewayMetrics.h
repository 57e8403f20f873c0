#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "gateway/CDirector.h"
#include "gateway/HttpRefusal.h"

// The gateway's counters, for /metrics, on the gateway's thread (but the HTTP front's refusals,
// counted from the server's threads): recorded as things happen, read only as Prometheus text.
class CGatewayMetrics {
public:
    CGatewayMetrics();

    // `at`: when the outcome came.
    void RecordSend(const std::string& sign, bool delivered, double seconds, GatewayTime at);
    void RecordRetry(const std::string& sign);
    void RecordStateWrite(bool kept) { ++(kept ? m_nStateWrites : m_nStateWriteFailures); }
    void SetBrokerConnected(bool connected) { m_bBrokerConnected = connected; }
    // A controller's request: its function ("write_multiple_registers") and how it was answered.
    void RecordModbus(const std::string& function, const std::string& result) {
        ++m_modbus[{function, result}];
    }
    void RecordRefusal(HttpRefusal why) { ++m_refused[static_cast<size_t>(why)]; }

    // The counters, and the signs' own gauges from what the director keeps of them now.
    std::string Text(const std::vector<SignState>& signs) const;

private:
    std::string SignGauges(const std::vector<SignState>& signs) const;

    std::map<std::pair<std::string, std::string>, uint64_t> m_sends;  // (sign, outcome) -> count
    std::vector<uint64_t> m_durationBuckets;                          // one a bound, + inf
    double m_durationSum = 0;
    uint64_t m_nDurations = 0;
    uint64_t m_nRetries = 0;
    std::map<std::string, uint64_t> m_retries;         // by sign
    std::map<std::string, GatewayTime> m_lastSuccess;  // by sign
    uint64_t m_nStateWrites = 0;
    uint64_t m_nStateWriteFailures = 0;
    bool m_bBrokerConnected = false;
    std::map<std::pair<std::string, std::string>, uint64_t> m_modbus;  // (function, result)
    std::array<std::atomic<uint64_t>, kHttpRefusals> m_refused{};
};
