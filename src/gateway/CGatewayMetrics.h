#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

// The gateway's counters, for /metrics, on the gateway's thread: recorded as things happen, read
// only as Prometheus text.
class CGatewayMetrics {
public:
    CGatewayMetrics();

    void RecordSend(const std::string& sign, bool delivered, double seconds);
    void RecordRetry() { ++m_nRetries; }
    void RecordStateWrite(bool kept) { ++(kept ? m_nStateWrites : m_nStateWriteFailures); }
    void SetBrokerConnected(bool connected) { m_bBrokerConnected = connected; }

    std::string Text() const;

private:
    std::map<std::pair<std::string, std::string>, uint64_t> m_sends;  // (sign, outcome) -> count
    std::vector<uint64_t> m_durationBuckets;                          // one a bound, + inf
    double m_durationSum = 0;
    uint64_t m_nDurations = 0;
    uint64_t m_nRetries = 0;
    uint64_t m_nStateWrites = 0;
    uint64_t m_nStateWriteFailures = 0;
    bool m_bBrokerConnected = false;
};
