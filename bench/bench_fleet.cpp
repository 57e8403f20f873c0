// One message to N virtual signs on TCP, from the plan's start to the last sign's outcome. The
// signs are listeners of this process on loopback addresses of its own (127.P.P.2, 127.P.P.3, ...)
// on one port, served by one thread that takes every connection and reads it to its end. Sends to
// different signs run in parallel, so the time for 100 signs is meant to stay near that for one.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fleet/CSendPlan.h"

namespace {

constexpr int kMaxSigns = 100;
constexpr int kPollMs = 50;
constexpr size_t kMessageBytes = 412;

// The virtual signs: listeners that take every connection and read it to its end.
class CVirtualSigns {
public:
    explicit CVirtualSigns(int count) : m_nEpoll(epoll_create1(EPOLL_CLOEXEC)) {
        const uint32_t process = static_cast<uint32_t>(getpid()) & 0xFFFF;
        const std::string prefix =
            "127." + std::to_string(process >> 8) + "." + std::to_string(process & 0xFF) + ".";
        uint16_t port = 0;
        for (int i = 0; i < count; ++i) {
            const std::string host = prefix + std::to_string(i + 2);
            const int listener = Listen(host, port);
            if (listener < 0) {
                return;
            }
            port = BoundPort(listener);
            m_listeners.push_back(listener);
            Watch(listener);
            NamedSign sign;
            sign.name = "Sign " + std::to_string(i + 1);
            SetSignLink(sign, host + ":" + std::to_string(port));
            m_signs.push_back(sign);
        }
        m_thread = std::thread([this] { Serve(); });
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

private:
    static int Listen(const std::string& host, uint16_t port) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        inet_pton(AF_INET, host.c_str(), &address.sin_addr);
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(fd, SOMAXCONN) != 0) {
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
    std::vector<NamedSign> m_signs;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

void BM_SendToSigns(benchmark::State& state) {
    static CVirtualSigns signs(kMaxSigns);
    if (signs.Signs().size() != kMaxSigns) {
        state.SkipWithError("no loopback addresses for the signs");
        return;
    }
    const std::vector<NamedSign> chosen(signs.Signs().begin(),
                                        signs.Signs().begin() + state.range(0));
    const std::string message(kMessageBytes, 'A');
    const ComDeviceResolver noSerial = [](int) { return std::string(); };
    for (auto _ : state) {
        CSendPlan plan(SignSendsForString(chosen, message, noSerial));
        plan.Start();
        for (const SignSendResult& result : plan.Wait()) {
            if (!result.outcome.Delivered()) {
                state.SkipWithError("a sign did not get the message");
                return;
            }
        }
    }
    state.counters["signs"] = static_cast<double>(state.range(0));
}

}  // namespace

// Each send takes a local port for a minute after it (TIME_WAIT): fixed iteration counts keep the
// whole run well inside the system's range of them.
BENCHMARK(BM_SendToSigns)
    ->Name("send to N signs")
    ->Arg(1)
    ->Iterations(300)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SendToSigns)
    ->Name("send to N signs")
    ->Arg(10)
    ->Iterations(100)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SendToSigns)
    ->Name("send to N signs")
    ->Arg(100)
    ->Iterations(30)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
