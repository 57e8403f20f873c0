#pragma once

#include <atomic>

// Ends a link's waits at once when the operator cancels a send from another thread. Links poll its
// descriptor beside their own, so a cancel needs no time-out to be noticed. The descriptor is made
// on first use, so that a token nobody waits on in poll (a send among thousands in one shared
// waiter) costs none.
class CCancelToken {
public:
    CCancelToken() = default;
    ~CCancelToken();
    CCancelToken(const CCancelToken&) = delete;
    CCancelToken& operator=(const CCancelToken&) = delete;

    // Safe from any thread, any number of times, and from a signal handler.
    void Cancel();
    bool Cancelled() const { return m_bCancelled.load(); }
    // Readable once cancelled, also when made after the cancel; -1 when the system gave no
    // descriptor (then only Cancelled tells).
    int Fd() const;
    // Makes a shared waiter's descriptor readable too on cancel. One a token; the waiter's
    // descriptor must stay open for the token's life.
    void AlsoWake(int fd) const { m_nAlsoWake.store(fd); }

private:
    std::atomic<bool> m_bCancelled{false};
    mutable std::atomic<int> m_nFd{-1};
    mutable std::atomic<int> m_nAlsoWake{-1};
};

enum class WaitResult { kReady, kTimedOut, kCancelled, kFailed };

// Waits up to timeoutMs for events on fd, or for the token (when given) to be cancelled. kFailed
// leaves errno set; an interrupted wait counts as ready, so callers simply look again.
WaitResult WaitForFd(int fd, short events, int timeoutMs, const CCancelToken* cancel);

// Makes an eventfd readable: one write, safe in a signal handler.
void SignalEventFd(int fd);
