// From SendToMarquee to its return, over a pty and over TCP to a loopback reader. The sign's end
// is a thread that reads everything, so the numbers are the program's own cost; a real line at
// 9600 bits per second adds about 1 ms per byte. And the virtual sign's end of TCP under a
// sender that connects back to back.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <string>
#include <thread>

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
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kSignTcpPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, SOMAXCONN) != 0) {
        state.SkipWithError("port 49999 on 127.0.0.1 is taken");
        close(listener);
        return;
    }
    {
        CDrain drain(listener, true);
        CSendDispatcher dispatcher([](int) { return std::string(); });
        const std::string text(static_cast<size_t>(state.range(0)), 'A');
        LinkSettings link;
        link.comPort = 8;
        link.ipAddress = {127, 0, 0, 1};
        for (auto _ : state) {
            if (!dispatcher.SendToMarquee(text, link).Delivered()) {
                state.SkipWithError("TCP send failed");
                break;
            }
        }
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
    }
    close(listener);
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

// Every TCP send leaves a connection in TIME_WAIT, and the reader takes one connection at a time:
// a count below the listen backlog keeps both from stalling the sender.
BENCHMARK(BM_SerialSend)->Arg(100)->Arg(100000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TcpSend)
    ->Arg(100)
    ->Arg(100000)
    ->Iterations(2000)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SignTakesBackToBackConnections)->UseRealTime()->Unit(benchmark::kMillisecond);
