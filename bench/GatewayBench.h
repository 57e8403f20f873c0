#pragma once

// What the gateway's benchmarks run against: lumivex-gateway as a child process, Mosquitto on a
// free loopback port, and virtual signs that note when each message has come in whole.

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using BenchClock = std::chrono::steady_clock;

// A program started by the benchmark; its standard error read line by line as it comes, so that a
// gateway that logs every event never waits for its pipe.
class CBenchProcess {
public:
    CBenchProcess(const std::string& program, const std::vector<std::string>& arguments,
                  const std::vector<std::string>& environment = {});
    ~CBenchProcess();  // SIGKILL when still running
    CBenchProcess(const CBenchProcess&) = delete;
    CBenchProcess& operator=(const CBenchProcess&) = delete;

    pid_t Pid() const { return m_pid; }
    // The first line from now on that holds `text`; "" when none came within the wait or the
    // program ended.
    std::string WaitForLine(const std::string& text, std::chrono::milliseconds wait);
    // SIGTERM, then its exit status.
    int Stop();
    // A value of /proc/PID/status in kB ("VmRSS", "VmHWM"); 0 when there is none.
    long StatusKilobytes(const std::string& field) const;

private:
    pid_t m_pid = -1;
    int m_nOutput = -1;
    std::thread m_reader;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_strWanted;  // what a waiter looks for; other lines are dropped
    std::string m_strFound;
    bool m_bEnded = false;
};

// A folder of the benchmark's own on the disk (the state folder's flushes are part of the cost),
// removed with it.
class CBenchFolder {
public:
    CBenchFolder();
    ~CBenchFolder();
    const std::string& Path() const { return m_strPath; }
    std::string Write(const std::string& name, const std::string& bytes) const;

private:
    std::string m_strPath;
};

// Mosquitto on a free loopback port.
class CBenchBroker {
public:
    explicit CBenchBroker(const CBenchFolder& folder);
    bool Running() const { return m_bRunning; }
    std::string Url() const { return "tcp://127.0.0.1:" + std::to_string(m_nPort); }

private:
    uint16_t m_nPort;
    CBenchProcess m_process;
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

    bool Ready() const { return m_endpoints.size() == m_listeners.size() && !m_listeners.empty(); }
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

// lumivex-gateway with the benchmark's signs: gateway.json, signs.json and the state folder in a
// folder of its own; HTTP on a free port, with the broker when one is given.
class CBenchGateway {
public:
    CBenchGateway(const CArrivalSigns& signs, const std::string& brokerUrl = {});
    bool Listening() const { return m_nPort != 0; }
    uint16_t Port() const { return m_nPort; }
    CBenchProcess& Process() { return *m_process; }

private:
    CBenchFolder m_folder;
    std::optional<CBenchProcess> m_process;
    uint16_t m_nPort = 0;
};
