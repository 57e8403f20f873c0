#pragma once

// Ends a link's waits at once when the operator cancels a send from another thread. Links poll its
// descriptor beside their own, so a cancel needs no time-out to be noticed.
class CCancelToken {
public:
    CCancelToken();
    ~CCancelToken();
    CCancelToken(const CCancelToken&) = delete;
    CCancelToken& operator=(const CCancelToken&) = delete;

    // Safe from any thread, any number of times.
    void Cancel();
    bool Cancelled() const;
    // Readable once cancelled; -1 when the system gave no descriptor (then only Cancelled tells).
    int Fd() const { return m_nFd; }

private:
    int m_nFd = -1;
};

enum class WaitResult { kReady, kTimedOut, kCancelled, kFailed };

// Waits up to timeoutMs for events on fd, or for the token (when given) to be cancelled. kFailed
// leaves errno set; an interrupted wait counts as ready, so callers simply look again.
WaitResult WaitForFd(int fd, short events, int timeoutMs, const CCancelToken* cancel);
