// From SendToMarquee to its return, over a pty and over TCP to a loopback reader. The sign's end
// is a thread that reads everything, so the numbers are the program's own cost; a real line at
// 9600 bits per second adds about 1 ms per byte. And the virtual sign's end of TCP under a
// sender that connects back to back.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BenchMessages.h"
#include "decoding/CommandDecoder.h"
#include "editor/BodyEncoder.h"
#include "encoding/MessageSettings.h"
#include "transport/CCancelToken.h"
#include "transport/CSendDispatcher.h"
#include "transport/CSignInbox.h"
#include "transport/CSignTcpListener.h"

namespace {

constexpr int kPollMs = 50;

// Sends in a row as the named signs and the gateway make them, more than the 28,232 ephemeral
// ports that Linux hands out by default, each connection keeping its port for the minute it waits
// to close (TIME_WAIT).
constexpr int kSendsInARow = 50000;
constexpr int kSendsABlock = 1000;

// Reads from a descriptor until told to stop: the sign's end of the link.
class CDrain {
public:
    explicit CDrain(int fd, bool accepts) : m_thread([this, fd, accepts] { Run(fd, accepts); }) {}
    ~CDrain() {
        m_bStop = true;
        m_thread.join();
    }

private:
    void Run(int fd, bool accepts) {
        char buffer[65536];
        while (!m_bStop) {
            pollfd entry{fd, POLLIN, 0};
            if (poll(&entry, 1, kPollMs) <= 0) {
                continue;
            }
            if (!accepts) {
                (void)!read(fd, buffer, sizeof buffer);
                continue;
            }
            const int connection = accept(fd, nullptr, nullptr);
            while (connection >= 0 && read(connection, buffer, sizeof buffer) > 0) {
            }
            close(connection);
        }
    }

    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

// Moves this thread, and the threads it starts, into a network namespace of its own with its
// loopback up, once: there the connections of a run hold no port that other programs of the
// machine need, and the sign's port on 127.0.0.1 is free. Needs root; false where it cannot.
bool EnterOwnNetwork() {
    static const bool entered = [] {
        if (unshare(CLONE_NEWNET) != 0) {
            return false;
        }
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ifreq loopback{};
        std::strncpy(loopback.ifr_name, "lo", IFNAMSIZ - 1);
        bool up = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &loopback) == 0;
        loopback.ifr_flags = static_cast<short>(loopback.ifr_flags | IFF_UP);
        up = up && ioctl(fd, SIOCSIFFLAGS, &loopback) == 0;
        close(fd);
        return up;
    }();
    return entered;
}

// A sign on 127.0.0.1 port 49999 that reads every connection to its end.
class CLoopbackSign {
public:
    CLoopbackSign() : m_nListener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        const int on = 1;
        setsockopt(m_nListener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(kSignTcpPort);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(m_nListener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            listen(m_nListener, SOMAXCONN) == 0) {
            m_drain = std::make_unique<CDrain>(m_nListener, true);
        }
    }
    ~CLoopbackSign() {
        m_drain.reset();
        close(m_nListener);
    }
    CLoopbackSign(const CLoopbackSign&) = delete;
    CLoopbackSign& operator=(const CLoopbackSign&) = delete;

    bool Listening() const { return m_drain != nullptr; }

private:
    int m_nListener;
    std::unique_ptr<CDrain> m_drain;
};

// Sends of state.range(0) bytes through the dispatcher to a sign on 127.0.0.1, in a network
// namespace of the benchmark's own where it can have one.
class CTcpSends {
public:
    explicit CTcpSends(benchmark::State& state)
        : m_state(state), m_text(static_cast<size_t>(state.range(0)), 'A') {
        m_link.comPort = kPortEthernet;
        m_link.ipAddress = {127, 0, 0, 1};
        state.SetLabel(m_bOwnNetwork ? "own network namespace" : "the machine's network");
        if (!m_sign.Listening()) {
            state.SkipWithError("port 49999 on 127.0.0.1 is taken");
        }
    }

    bool Ready() const { return m_sign.Listening(); }

    // One send; a failure, named with the send's number, ends the benchmark.
    bool Send(int number) {
        const SendOutcome outcome = m_dispatcher.SendToMarquee(m_text, m_link);
        if (!outcome.Delivered()) {
            const std::string text = "send " + std::to_string(number) +
                                     " failed: " + OperationName(outcome.result.operation) + " " +
                                     std::strerror(outcome.result.error);
            m_state.SkipWithError(text.c_str());
        }
        return outcome.Delivered();
    }

private:
    benchmark::State& m_state;
    const bool m_bOwnNetwork = EnterOwnNetwork();  // before the sign listens
    CLoopbackSign m_sign;
    CSendDispatcher m_dispatcher{[](int) { return std::string(); }};
    LinkSettings m_link;
    std::string m_text;
};

void BM_SerialSend(benchmark::State& state) {
    int master = -1;
    int slave = -1;
    char name[PATH_MAX] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        state.SkipWithError("openpty failed");
        return;
    }
    const std::string path = name;
    {
        CDrain drain(master, false);
        CSendDispatcher dispatcher([&path](int) { return path; });
        const std::string text(static_cast<size_t>(state.range(0)), 'A');
        const LinkSettings link;
        for (auto _ : state) {
            if (!dispatcher.SendToMarquee(text, link).Delivered()) {
                state.SkipWithError("serial send failed");
                break;
            }
        }
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
    }
    close(slave);
    close(master);
}

void BM_TcpSend(benchmark::State& state) {
    CTcpSends sends(state);
    if (!sends.Ready()) {
        return;
    }
    for (auto _ : state) {
        if (!sends.Send(static_cast<int>(state.iterations()))) {
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// 50,000 short sends back to back. The time is the whole run; the counters are the mean cost of a
// send in the first thousand, the last thousand and the slowest thousand, in microseconds.
void BM_TcpSendsInARow(benchmark::State& state) {
    CTcpSends sends(state);
    if (!sends.Ready()) {
        return;
    }
    std::vector<double> blockMicros;
    for (auto _ : state) {
        for (int send = 0; send < kSendsInARow;) {
            const auto start = std::chrono::steady_clock::now();
            for (const int end = send + kSendsABlock; send < end; ++send) {
                if (!sends.Send(send)) {
                    break;
                }
            }
            const std::chrono::duration<double, std::micro> spent =
                std::chrono::steady_clock::now() - start;
            blockMicros.push_back(spent.count() / kSendsABlock);
            if (state.error_occurred()) {
                break;
            }
        }
    }
    if (blockMicros.empty()) {
        return;
    }
    // On a failure the last block is the one that failed.
    state.counters["first_us"] = blockMicros.front();
    state.counters["last_us"] = blockMicros.back();
    state.counters["slowest_us"] = *std::max_element(blockMicros.begin(), blockMicros.end());
    state.counters["last_to_first"] = blockMicros.back() / blockMicros.front();
}

// One connection that sends the bytes and closes, as a sender does; false when it failed.
bool SendOnce(uint16_t port, const std::string& bytes) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool sent =
        fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    close(fd);
    return sent;
}

// One sender, 1,000 connections back to back, each carrying a two-line message; the sign's link
// on its thread and a reader that decodes each message as the sign does. An iteration ends when
// the reader has the last message, so the figure includes everything the sign holds back.
void BM_SignTakesBackToBackConnections(benchmark::State& state) {
    constexpr int kConnections = 1000;
    CSignTcpListener sign;
    if (sign.Listen({127, 0, 0, 1}, 0) != 0) {
        state.SkipWithError("no loopback port to listen on");
        return;
    }
    const std::string message =
        BuildCommandString(BusySettings(), EncodeCellLines(MakeLines(2, 20)));
    CSignInbox inbox(sign);
    CCancelToken stop;
    int64_t received = 0;
    for (auto _ : state) {
        std::thread reader([&] {
            for (int i = 0; i < kConnections; ++i) {
                SignArrival arrival = inbox.Next(stop);
                if (arrival.receipt.status != SignReceiveStatus::kMessage) {
                    return;
                }
                DecodedCommand decoded = DecodeCommandString(arrival.receipt.bytes);
                benchmark::DoNotOptimize(decoded);
                ++received;
            }
        });
        bool sent = true;
        for (int i = 0; i < kConnections && sent; ++i) {
            sent = SendOnce(sign.Port(), message);
        }
        if (!sent) {
            stop.Cancel();
        }
        reader.join();
        if (!sent) {
            state.SkipWithError("a connection failed");
            break;
        }
    }
    if (received != static_cast<int64_t>(state.iterations()) * kConnections) {
        state.SkipWithError("messages were lost");
    }
    state.SetItemsProcessed(received);
}

}  // namespace

// Every TCP send leaves a connection waiting to close (TIME_WAIT) for a minute: a fixed count keeps
// BM_TcpSend's figure apart from how many wait; BM_TcpSendsInARow measures that.
BENCHMARK(BM_SerialSend)->Arg(100)->Arg(100000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TcpSend)
    ->Arg(100)
    ->Arg(100000)
    ->Iterations(2000)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SignTakesBackToBackConnections)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TcpSendsInARow)->Arg(100)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
