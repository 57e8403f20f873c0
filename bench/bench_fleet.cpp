// One message to N virtual signs on TCP, from the plan's start to the last sign's outcome. The
// signs are listeners of this process on loopback addresses of its own (127.P.P.2, 127.P.P.3, ...)
// on one port.
//
// "at once": the signs answer at once, served by one thread that takes every connection and reads
// it to its end. On loopback a send is all processor work, so this is the plan's own cost per
// sign, and 100 signs cost about 100 times that on a machine of few cores.
// "busy": each sign is busy with another sender when the plan starts and takes one connection at
// a time, as a sign does; its queue frees 100 ms later, and the plan's connection gets through at
// the system's first retry, a second on. Here the time is the signs' own, as on a plant's network:
// sends run in parallel, so 100 signs take about as long as one, the slowest sign, not the sum.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fleet/CSendPlan.h"

namespace {

constexpr int kMaxSigns = 100;
// The busy signs take the addresses after those of the signs that answer at once.
constexpr int kFirstHost = 2;
constexpr int kFirstBusyHost = kFirstHost + kMaxSigns;
constexpr std::chrono::milliseconds kBusyTime{100};
constexpr int kPollMs = 50;
constexpr size_t kMessageBytes = 412;

// The virtual signs: listeners that take every connection and read it to its end.
class CVirtualSigns {
public:
    // Busy signs hold one connection in their queue and are served by the benchmark itself.
    CVirtualSigns(int count, bool busy) : m_nEpoll(epoll_create1(EPOLL_CLOEXEC)) {
        const uint32_t process = static_cast<uint32_t>(getpid()) & 0xFFFF;
        const std::string prefix =
            "127." + std::to_string(process >> 8) + "." + std::to_string(process & 0xFF) + ".";
        uint16_t port = 0;
        for (int i = 0; i < count; ++i) {
            const std::string host =
                prefix + std::to_string((busy ? kFirstBusyHost : kFirstHost) + i);
            const int listener = Listen(host, port, busy ? 0 : SOMAXCONN);
            if (listener < 0) {
                return;
            }
            port = BoundPort(listener);
            m_listeners.push_back(listener);
            m_addresses.push_back(Address(host, port));
            NamedSign sign;
            sign.name = "Sign " + std::to_string(i + 1);
            SetSignLink(sign, host + ":" + std::to_string(port));
            m_signs.push_back(sign);
        }
        if (!busy) {
            for (const int listener : m_listeners) {
                Watch(listener);
            }
            m_thread = std::thread([this] { Serve(); });
        }
    }
    ~CVirtualSigns() {
        m_bStop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
        for (const int listener : m_listeners) {
            close(listener);
        }
        close(m_nEpoll);
    }

    const std::vector<NamedSign>& Signs() const { return m_signs; }

    // Busy signs: another sender's connection fills each one's queue. False when one would not.
    bool MakeBusy(int count) {
        for (int i = 0; i < count; ++i) {
            const int caller = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            m_callers.push_back(caller);
            if (connect(caller, reinterpret_cast<const sockaddr*>(&m_addresses[i]),
                        sizeof m_addresses[i]) != 0) {
                return false;
            }
        }
        return true;
    }
    // The other sender is done: its connection leaves the queue, and a retried connect of the
    // plan's may come in.
    void EndBusy() {
        for (size_t i = 0; i < m_callers.size(); ++i) {
            close(accept(m_listeners[i], nullptr, nullptr));
            close(m_callers[i]);
        }
        m_callers.clear();
    }
    // Each busy sign takes the plan's connection and reads it to its end.
    void TakeMessages(int count) const {
        char buffer[65536];
        for (int i = 0; i < count; ++i) {
            const int connection = accept(m_listeners[i], nullptr, nullptr);
            while (read(connection, buffer, sizeof buffer) > 0) {
            }
            close(connection);
        }
    }

private:
    static sockaddr_in Address(const std::string& host, uint16_t port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        inet_pton(AF_INET, host.c_str(), &address.sin_addr);
        return address;
    }
    static int Listen(const std::string& host, uint16_t port, int backlog) {
        // Those served by the thread never block it; the busy ones are taken from one at a time.
        const int fd =
            socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (backlog > 0 ? SOCK_NONBLOCK : 0), 0);
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        const sockaddr_in address = Address(host, port);
        if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            listen(fd, backlog) != 0) {
            close(fd);
            return -1;
        }
        return fd;
    }
    static uint16_t BoundPort(int fd) {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        return ntohs(address.sin_port);
    }
    void Watch(int fd) const {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = fd;
        epoll_ctl(m_nEpoll, EPOLL_CTL_ADD, fd, &event);
    }
    bool IsListener(int fd) const {
        return std::find(m_listeners.begin(), m_listeners.end(), fd) != m_listeners.end();
    }
    void Serve() const {
        epoll_event events[64];
        char buffer[65536];
        while (!m_bStop) {
            const int ready = epoll_wait(m_nEpoll, events, 64, kPollMs);
            for (int i = 0; i < ready; ++i) {
                const int fd = events[i].data.fd;
                if (IsListener(fd)) {
                    int connection = -1;
                    while ((connection =
                                accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0) {
                        Watch(connection);
                    }
                    continue;
                }
                ssize_t count = 0;
                while ((count = read(fd, buffer, sizeof buffer)) > 0) {
                }
                if (count == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                    close(fd);  // the sender closed: the whole message is in
                }
            }
        }
    }

    int m_nEpoll;
    std::vector<int> m_listeners;
    std::vector<sockaddr_in> m_addresses;
    std::vector<int> m_callers;
    std::vector<NamedSign> m_signs;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

bool AllDelivered(CSendPlan& plan) {
    const std::vector<SignSendResult>& results = plan.Wait();
    return std::all_of(results.begin(), results.end(),
                       [](const SignSendResult& r) { return r.outcome.Delivered(); });
}

std::vector<NamedSign> FirstSigns(const CVirtualSigns& signs, int64_t count) {
    return {signs.Signs().begin(), signs.Signs().begin() + count};
}

const std::string kMessage(kMessageBytes, 'A');
const ComDeviceResolver kNoSerial = [](int) { return std::string(); };

void BM_SendToSigns(benchmark::State& state) {
    static CVirtualSigns signs(kMaxSigns, false);
    if (signs.Signs().size() != kMaxSigns) {
        state.SkipWithError("no loopback addresses for the signs");
        return;
    }
    const std::vector<NamedSign> chosen = FirstSigns(signs, state.range(0));
    for (auto _ : state) {
        CSendPlan plan(SignSendsForString(chosen, kMessage, kNoSerial));
        plan.Start();
        if (!AllDelivered(plan)) {
            state.SkipWithError("a sign did not get the message");
            return;
        }
    }
}

void BM_SendToBusySigns(benchmark::State& state) {
    static CVirtualSigns signs(kMaxSigns, true);
    if (signs.Signs().size() != kMaxSigns) {
        state.SkipWithError("no loopback addresses for the signs");
        return;
    }
    const auto count = static_cast<int>(state.range(0));
    const std::vector<NamedSign> chosen = FirstSigns(signs, count);
    for (auto _ : state) {
        state.PauseTiming();
        const bool busy = signs.MakeBusy(count);
        state.ResumeTiming();
        CSendPlan plan(SignSendsForString(chosen, kMessage, kNoSerial));
        plan.Start();
        std::this_thread::sleep_for(kBusyTime);
        signs.EndBusy();
        const bool delivered = AllDelivered(plan);
        state.PauseTiming();
        signs.TakeMessages(count);
        state.ResumeTiming();
        if (!busy || !delivered) {
            state.SkipWithError("a sign did not get the message");
            return;
        }
    }
}

}  // namespace

// Each send takes a local port for a minute after it (TIME_WAIT): fixed iteration counts keep the
// whole run well inside the system's range of them.
BENCHMARK(BM_SendToSigns)
    ->Name("send to N signs/at once")
    ->Arg(1)
    ->Arg(10)
    ->Arg(100)
    ->Iterations(100)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SendToBusySigns)
    ->Name("send to N signs/busy")
    ->Arg(1)
    ->Arg(10)
    ->Arg(100)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
