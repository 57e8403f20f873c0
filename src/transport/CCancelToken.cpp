#include "transport/CCancelToken.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

CCancelToken::CCancelToken() : m_nFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CCancelToken::~CCancelToken() {
    if (m_nFd >= 0) {
        close(m_nFd);
    }
}

void CCancelToken::Cancel() {
    const uint64_t one = 1;
    if (m_nFd >= 0) {
        [[maybe_unused]] const ssize_t written = write(m_nFd, &one, sizeof one);
    }
}

bool CCancelToken::Cancelled() const {
    if (m_nFd < 0) {
        return false;
    }
    pollfd entry{m_nFd, POLLIN, 0};
    return poll(&entry, 1, 0) > 0;
}

WaitResult WaitForFd(int fd, short events, int timeoutMs, const CCancelToken* cancel) {
    pollfd entries[2] = {{fd, events, 0}, {cancel != nullptr ? cancel->Fd() : -1, POLLIN, 0}};
    const int ready = poll(entries, 2, timeoutMs);
    if (ready < 0) {
        return errno == EINTR ? WaitResult::kReady : WaitResult::kFailed;
    }
    if (cancel != nullptr && cancel->Cancelled()) {
        return WaitResult::kCancelled;
    }
    return ready == 0 ? WaitResult::kTimedOut : WaitResult::kReady;
}
