#include "transport/CCancelToken.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

void SignalEventFd(int fd) {
    const uint64_t one = 1;
    if (fd >= 0) {
        [[maybe_unused]] const ssize_t written = write(fd, &one, sizeof one);
    }
}

CCancelToken::~CCancelToken() {
    const int fd = m_nFd.load();
    if (fd >= 0) {
        close(fd);
    }
}

void CCancelToken::Cancel() {
    // The flag before the descriptors: a waiter that makes its descriptor after this looks at
    // the flag and signals the descriptor itself.
    m_bCancelled.store(true);
    SignalEventFd(m_nFd.load());
    SignalEventFd(m_nAlsoWake.load());
}

int CCancelToken::Fd() const {
    int fd = m_nFd.load();
    if (fd >= 0) {
        return fd;
    }
    const int made = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (made < 0) {
        return -1;
    }
    if (!m_nFd.compare_exchange_strong(fd, made)) {
        close(made);  // another waiter made one first
        return fd;
    }
    if (m_bCancelled.load()) {
        SignalEventFd(made);
    }
    return made;
}

WaitResult WaitForFd(int fd, short events, int timeoutMs, const CCancelToken* cancel) {
    pollfd entries[2] = {{fd, events, 0}, {cancel != nullptr ? cancel->Fd() : -1, POLLIN, 0}};
    if (cancel != nullptr && cancel->Cancelled()) {
        return WaitResult::kCancelled;
    }
    const int ready = poll(entries, 2, timeoutMs);
    if (ready < 0) {
        return errno == EINTR ? WaitResult::kReady : WaitResult::kFailed;
    }
    if (cancel != nullptr && cancel->Cancelled()) {
        return WaitResult::kCancelled;
    }
    return ready == 0 ? WaitResult::kTimedOut : WaitResult::kReady;
}
