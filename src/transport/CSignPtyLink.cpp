#include "transport/CSignPtyLink.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>

#include "transport/CCancelToken.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kReadChunk = 65536;
constexpr int kWaitForever = -1;

void CloseFd(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

// Milliseconds until the deadline, rounded up so that the wait never ends before it.
int MillisecondsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

}  // namespace

CSignPtyLink::CSignPtyLink(std::chrono::milliseconds gap, size_t maxMessageBytes)
    : m_gap(gap), m_splitter(maxMessageBytes) {}

CSignPtyLink::~CSignPtyLink() {
    Close();
}

int CSignPtyLink::Open(const std::string& linkPath) {
    Close();
    m_nMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char device[PATH_MAX] = {};
    if (m_nMaster < 0 || grantpt(m_nMaster) != 0 || unlockpt(m_nMaster) != 0 ||
        ptsname_r(m_nMaster, device, sizeof device) != 0 ||
        fcntl(m_nMaster, F_SETFL, O_NONBLOCK) != 0) {
        return Fail(OpenStep::kTerminal);
    }
    m_strDevicePath = device;
    m_nSlave = open(device, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    termios line{};
    if (m_nSlave < 0 || tcgetattr(m_nSlave, &line) != 0) {
        return Fail(OpenStep::kTerminal);
    }
    // Bytes pass unchanged even from a writer that leaves the line as it found it.
    cfmakeraw(&line);
    tcsetattr(m_nSlave, TCSANOW, &line);
    // Without inotify the lock of a sender is lifted at the end of each message only.
    m_nNotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_nNotify >= 0 &&
        inotify_add_watch(m_nNotify, device, IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        CloseFd(m_nNotify);
    }
    if (symlink(device, linkPath.c_str()) != 0) {
        return Fail(OpenStep::kLink);
    }
    m_strLinkPath = linkPath;
    return 0;
}

int CSignPtyLink::Fail(OpenStep step) {
    const int error = errno;
    Close();
    m_failedStep = step;
    return error;
}

void CSignPtyLink::Close() {
    if (!m_strLinkPath.empty()) {
        char target[PATH_MAX];
        const ssize_t length = readlink(m_strLinkPath.c_str(), target, sizeof target);
        if (length > 0 && std::string(target, static_cast<size_t>(length)) == m_strDevicePath) {
            unlink(m_strLinkPath.c_str());
        }
        m_strLinkPath.clear();
    }
    CloseFd(m_nNotify);
    CloseFd(m_nSlave);
    CloseFd(m_nMaster);
    m_strDevicePath.clear();
    m_splitter.Clear();
    m_failedStep = OpenStep::kNone;
}

SignReceipt CSignPtyLink::Receive(const CCancelToken& stop) {
    SignReceipt receipt;
    receipt.source = "serial " + m_strLinkPath;
    char buffer[kReadChunk];
    while (!m_splitter.HasMessage()) {
        int timeout = kWaitForever;
        if (m_splitter.Gathering()) {
            timeout = MillisecondsUntil(m_lastByte + m_gap);
            if (timeout == 0) {
                ReleaseExclusiveUse();
                m_splitter.EndMessage();
                continue;
            }
        }
        pollfd entries[3] = {
            {m_nMaster, POLLIN, 0}, {m_nNotify, POLLIN, 0}, {stop.Fd(), POLLIN, 0}};
        if (poll(entries, 3, timeout) < 0 && errno != EINTR) {
            receipt.status = SignReceiveStatus::kFailed;
            receipt.error = errno;
            return receipt;
        }
        if (stop.Cancelled()) {
            receipt.status = SignReceiveStatus::kStopped;
            return receipt;
        }
        if ((entries[1].revents & POLLIN) != 0) {
            ReleaseWhenSenderClosed();
        }
        if ((entries[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
            continue;
        }
        const ssize_t count = read(m_nMaster, buffer, sizeof buffer);
        if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (count <= 0) {
            // The sign holds the terminal itself, so this is no sender going away.
            receipt.status = SignReceiveStatus::kFailed;
            receipt.error = count < 0 ? errno : EIO;
            return receipt;
        }
        m_splitter.Append(std::string_view(buffer, static_cast<size_t>(count)));
        m_lastByte = Clock::now();
    }
    return m_splitter.TakeMessage(receipt.source);
}

void CSignPtyLink::ReleaseWhenSenderClosed() {
    alignas(inotify_event) char events[4096];
    bool closed = false;
    while (read(m_nNotify, events, sizeof events) > 0) {
        closed = true;
    }
    if (closed) {
        ReleaseExclusiveUse();
    }
}

void CSignPtyLink::ReleaseExclusiveUse() const {
    if (m_nSlave >= 0) {
        ioctl(m_nSlave, TIOCNXCL);
    }
}
