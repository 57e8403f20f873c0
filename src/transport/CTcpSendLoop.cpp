#include "transport/CTcpSendLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <utility>

#include "transport/CCancelToken.h"

namespace {

using Clock = CTcpSend::Clock;

// Without a wake descriptor (the system gave none) new sends and cancels are seen this late.
constexpr int kUnwokenLookMs = 50;

}  // namespace

CTcpSendLoop& CTcpSendLoop::Shared() {
    // Never destroyed: a token may write to the wake descriptor until the end of the process.
    static CTcpSendLoop* const loop = new CTcpSendLoop();
    return *loop;
}

CTcpSendLoop::CTcpSendLoop()
    : m_nWake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), m_thread([this] { Run(); }) {}

void CTcpSendLoop::Start(TcpSendRequest request, const CCancelToken* cancel, Done onDone) {
    {
        const std::lock_guard lock(m_mutex);
        m_new.push_back(
            {std::make_unique<CTcpSend>(std::move(request)), cancel, std::move(onDone)});
    }
    Wake();
}

void CTcpSendLoop::Wake() const {
    SignalEventFd(m_nWake);
}

void CTcpSendLoop::Run() {
    for (;;) {
        TakeNew();
        for (Running& running : m_running) {
            if (running.cancel != nullptr && running.cancel->Cancelled()) {
                running.send->Cancel();
            }
        }
        FinishEnded();
        const int waitMs = PrepareWait();
        if (poll(m_polled.data(), m_polled.size(), waitMs) < 0) {
            continue;  // interrupted: look again
        }
        if (m_polled.back().revents != 0) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t drained = read(m_nWake, &count, sizeof count);
        }
        const Clock::time_point now = Clock::now();
        for (size_t i = 0; i < m_running.size(); ++i) {
            CTcpSend& send = *m_running[i].send;
            const short revents = m_polled[i].fd >= 0 ? m_polled[i].revents : 0;
            if (revents != 0 || now >= send.Next().until) {
                send.Advance(revents);
            }
        }
    }
}

void CTcpSendLoop::TakeNew() {
    std::vector<Running> taken;
    {
        const std::lock_guard lock(m_mutex);
        taken.swap(m_new);
    }
    for (Running& running : taken) {
        if (running.cancel != nullptr) {
            // Before the look at the token below, so that no cancel falls between the two.
            running.cancel->AlsoWake(m_nWake);
        }
        running.send->Begin();
        m_running.push_back(std::move(running));
    }
}

void CTcpSendLoop::FinishEnded() {
    const auto ended = std::stable_partition(m_running.begin(), m_running.end(),
                                             [](const Running& r) { return !r.send->Done(); });
    std::vector<Running> finished(std::make_move_iterator(ended),
                                  std::make_move_iterator(m_running.end()));
    m_running.erase(ended, m_running.end());
    for (Running& running : finished) {
        running.onDone(*running.send);
    }
}

int CTcpSendLoop::PrepareWait() {
    m_polled.clear();
    Clock::time_point first = Clock::time_point::max();
    for (const Running& running : m_running) {
        const CTcpSend::Need wait = running.send->Next();
        m_polled.push_back({wait.fd, wait.events, 0});
        first = std::min(first, wait.until);
    }
    m_polled.push_back({m_nWake, POLLIN, 0});
    int waitMs = m_nWake >= 0 ? -1 : kUnwokenLookMs;
    if (first != Clock::time_point::max()) {
        const int untilFirst = WaitMsUntil(first);
        waitMs = waitMs < 0 ? untilFirst : std::min(waitMs, untilFirst);
    }
    return waitMs;
}
