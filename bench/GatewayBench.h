#pragma once

// What the gateway's benchmarks run against: lumivex-gateway and Mosquitto as child processes (the
// gateway tests' own helpers start them), and virtual signs that note when each message has come
// in whole.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "GatewayProcess.h"

using BenchClock = std::chrono::steady_clock;

// Mosquitto on a free loopback port.
class CBenchBroker {
public:
    explicit CBenchBroker(const CTempFolder& folder);
    bool Running() const { return m_bRunning; }
    std::string Url() const { return "tcp://127.0.0.1:" + std::to_string(m_nPort); }

private:
    uint16_t m_nPort;
    CChildProcess m_process;
    bool m_bRunning = false;
};

// Signs that take every connection and read it to its end, on one thread. Each message is known
// by the number after "seq" in its bytes; a sign keeps every message's number and the moment its
// last byte came. Sign i listens on its own port of 127.A.B.(2 + i % 250), A.B from the process's
// id, so that benchmarks of several people on one machine never meet.
class CArrivalSigns {
public:
    struct Arrival {
        uint64_t seq;
        BenchClock::time_point at;
    };

    explicit CArrivalSigns(int count);
    ~CArrivalSigns();

    bool Ready() const { return !m_listeners.empty(); }
    int Count() const { return static_cast<int>(m_listeners.size()); }
    // signs.json's "signs": "Sign 1", "Sign 2", ... at their addresses and ports.
    std::string SignsJson() const;
    // Waits until sign i has a message numbered `seq` or later; false after `wait`.
    bool WaitFor(int sign, uint64_t seq, std::chrono::milliseconds wait);
    // Waits until every sign has had at least one message; false after `wait`.
    bool WaitForAll(std::chrono::milliseconds wait);
    std::vector<std::vector<Arrival>> Arrivals();

private:
    void Serve();
    void Watch(int fd) const;
    void Finish(int fd);

    int m_nEpoll;
    int m_nWake;
    std::vector<int> m_listeners;
    std::vector<std::pair<std::string, uint16_t>> m_endpoints;
    std::map<int, int> m_signOfFd;  // listener or connection -> sign
    std::map<int, std::string> m_received;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::vector<Arrival>> m_arrivals;
    std::thread m_thread;
};

// The escaped name of "Sign N" as a topic level: "sign%20N".
std::string SignTopicLevel(int index);

// lumivex-gateway with the benchmark's signs, in a folder of its own with its state: HTTP on a free
// port, with the broker when one is given, its topics under "bench"; `extra`: more fields of
// gateway.json (", \"modbus\": {...}").
struct BenchGateway {
    CTempFolder folder;
    std::unique_ptr<CGatewayProcess> process;

    BenchGateway(const CArrivalSigns& signs, const std::string& brokerUrl = {},
                 const std::string& extra = {});
    bool Listening() const { return process->Listening(); }
    uint16_t Port() const { return process->Port(); }
    // A value of the gateway's /proc/PID/status in megabytes ("VmRSS", "VmHWM").
    double StatusMegabytes(const std::string& field) const;
    // The gateway's user and system time so far, from /proc/PID/stat.
    double CpuSeconds() const;
};
