#include "transport/CSerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <utility>

#include "transport/CCancelToken.h"

namespace {

using Clock = std::chrono::steady_clock;

// Start bit, eight data bits and a stop bit: how long the driver needs for one queued byte.
constexpr int64_t kBitsPerByte = 10;

constexpr std::pair<int32_t, speed_t> kSpeeds[] = {
    {110, B110},         {300, B300},         {600, B600},         {1200, B1200},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},
    {38400, B38400},     {57600, B57600},     {115200, B115200},   {230400, B230400},
    {460800, B460800},   {500000, B500000},   {576000, B576000},   {921600, B921600},
    {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
    {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

constexpr std::pair<int32_t, tcflag_t> kDataBits[] = {{5, CS5}, {6, CS6}, {7, CS7}, {8, CS8}};

constexpr tcflag_t kParityBits = PARENB | PARODD | CMSPAR;
constexpr std::pair<int32_t, tcflag_t> kParities[] = {
    {0, 0}, {1, PARENB | PARODD}, {2, PARENB}, {3, PARENB | PARODD | CMSPAR}, {4, PARENB | CMSPAR},
};

template <typename T, size_t N>
std::optional<T> Lookup(const std::pair<int32_t, T> (&table)[N], int32_t key) {
    for (const auto& [k, value] : table) {
        if (k == key) {
            return value;
        }
    }
    return std::nullopt;
}

// Why a step of opening or configuring failed, as the operator is told it. A name with nothing
// behind it (no such file, no device, no UART, not a terminal at all) is a missing port.
LinkResult OpenFailure(LinkOperation operation, int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case EIO:
        case ENOTTY:
            return {SEND_INVALID_PORT, error, operation};
        case EBUSY:
        case EWOULDBLOCK:
            return {SEND_PORT_IN_USE, error, operation};
        default:
            return {SEND_SYSTEM_ERROR, error, operation};
    }
}

// Sets the line and reads it back, since tcsetattr succeeds when any part of the change was
// made. Flow control and special characters stay as the driver had them.
LinkResult ConfigureLine(int fd, const SerialLineSettings& line) {
    constexpr LinkOperation kOperation = LinkOperation::kConfigure;
    const std::optional<speed_t> speed = Lookup(kSpeeds, line.baudRate);
    if (!speed) {
        return {SEND_BAUD_REFUSED, EINVAL, kOperation};
    }
    const std::optional<tcflag_t> dataBits = Lookup(kDataBits, line.byteSize & 0xFF);
    const std::optional<tcflag_t> parity = Lookup(kParities, line.parity & 0xFF);
    const int32_t stopBits = line.stopBits & 0xFF;
    if (!dataBits || !parity || (stopBits != 0 && stopBits != 2)) {
        return {SEND_SYSTEM_ERROR, EINVAL, kOperation};
    }

    termios settings{};
    if (tcgetattr(fd, &settings) != 0) {
        return OpenFailure(kOperation, errno);
    }
    cfsetispeed(&settings, *speed);
    cfsetospeed(&settings, *speed);
    settings.c_cflag &= ~(CSIZE | CSTOPB | kParityBits);
    settings.c_cflag |= *dataBits | *parity | (stopBits == 2 ? CSTOPB : 0) | CLOCAL | CREAD;
    // Bytes go out as they are: no newline translation or other output processing.
    settings.c_oflag &= ~OPOST;
    if (line.binary) {
        settings.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL);
        settings.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    }
    if (line.parityCheck) {
        settings.c_iflag |= INPCK;
    } else {
        settings.c_iflag &= ~INPCK;
    }
    if (tcsetattr(fd, TCSANOW, &settings) != 0) {
        // The rest of the settings is what every UART takes; a refusal is about the rate.
        return errno == EINVAL ? LinkResult{SEND_BAUD_REFUSED, EINVAL, kOperation}
                               : OpenFailure(kOperation, errno);
    }

    termios applied{};
    if (tcgetattr(fd, &applied) != 0) {
        return OpenFailure(kOperation, errno);
    }
    if (cfgetospeed(&applied) != *speed) {
        return {SEND_BAUD_REFUSED, EINVAL, kOperation};
    }
    constexpr tcflag_t kCheckedFlags = CSIZE | CSTOPB | kParityBits;
    if ((applied.c_cflag & kCheckedFlags) != (settings.c_cflag & kCheckedFlags) ||
        (applied.c_oflag & OPOST) != 0) {
        return {SEND_SYSTEM_ERROR, EINVAL, kOperation};
    }
    return {};
}

// Milliseconds left until the deadline, rounded up so that poll does not wake just before it.
int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::clamp<int64_t>(left.count(), 0, 1'000'000));
}

}  // namespace

CSerialPort::CSerialPort(SerialWriteDeadline deadline) : m_deadline(deadline) {}

CSerialPort::~CSerialPort() {
    DiscardAndClose();
}

LinkResult CSerialPort::Open(const std::string& devicePath, const SerialLineSettings& line) {
    Close();
    const int fd = open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return OpenFailure(LinkOperation::kOpen, errno);
    }
    // The lock comes first, so that a port in use is left exactly as its holder set it. TIOCEXCL
    // alone does not keep out root, which the lock does.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(fd);
        return OpenFailure(LinkOperation::kOpen, error);
    }
    const LinkResult result = ioctl(fd, TIOCEXCL) != 0 ? OpenFailure(LinkOperation::kOpen, errno)
                                                       : ConfigureLine(fd, line);
    if (!result.Ok()) {
        ioctl(fd, TIOCNXCL);
        close(fd);
        return result;
    }
    m_nFd = fd;
    m_nBaudRate = line.baudRate;
    return {};
}

double SecondsOnTheLine(size_t bytes, const SerialLineSettings& line) {
    constexpr int32_t kStartBits = 1;
    const int32_t parityBits = (line.parity & 0xFF) == 0 ? 0 : 1;
    const int32_t stopBits = (line.stopBits & 0xFF) == 2 ? 2 : 1;
    const int32_t bitsPerByte = kStartBits + (line.byteSize & 0xFF) + parityBits + stopBits;
    return static_cast<double>(bytes) * bitsPerByte / std::max(line.baudRate, 1);
}

namespace {

constexpr LinkOperation kWriteOperation = LinkOperation::kWrite;

LinkResult WriteFailure(int error = 0) {
    return {SEND_FAILED, error, kWriteOperation};
}

LinkResult WriteCancelled() {
    return {SEND_CANCELLED, 0, kWriteOperation};
}

}  // namespace

LinkResult CSerialPort::Write(std::string_view bytes, const CCancelToken* cancel,
                              const WriteProgress& progress) {
    const LinkResult written = WriteAndKeepOpen(bytes, cancel, progress);
    return written.Ok() ? Release() : written;
}

LinkResult CSerialPort::WriteAndKeepOpen(std::string_view bytes, const CCancelToken* cancel,
                                         const WriteProgress& progress) {
    if (!IsOpen()) {
        return WriteFailure(EBADF);
    }
    struct stat status {};
    // Only what came in is dropped: output still queued is an earlier string on its way (a
    // pseudo-terminal reports its queue empty before the other end has read it).
    if (fstat(m_nFd, &status) != 0 || !S_ISCHR(status.st_mode) || tcflush(m_nFd, TCIFLUSH) != 0) {
        const int error = S_ISCHR(status.st_mode) ? errno : ENOTTY;
        DiscardAndClose();
        return WriteFailure(error);
    }
    const auto deadline =
        Clock::now() + m_deadline.base + m_deadline.perByte * static_cast<int64_t>(bytes.size());
    LinkResult result = WriteAll(bytes, deadline, cancel, progress);
    if (result.Ok()) {
        result = WaitUntilSent(deadline, cancel);
    }
    if (!result.Ok()) {
        DiscardAndClose();
        return result;
    }
    return {};
}

LinkResult CSerialPort::Release() {
    const int error = Close();
    return error == 0 ? LinkResult{} : LinkResult{SEND_SYSTEM_ERROR, error, LinkOperation::kClose};
}

LinkResult CSerialPort::WriteAll(std::string_view bytes, Clock::time_point deadline,
                                 const CCancelToken* cancel, const WriteProgress& progress) {
    size_t sent = 0;
    if (progress) {
        progress(sent);
    }
    while (sent < bytes.size()) {
        const ssize_t count = write(m_nFd, bytes.data() + sent, bytes.size() - sent);
        if (count > 0) {
            sent += static_cast<size_t>(count);
            if (progress) {
                progress(sent);
            }
            continue;
        }
        if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return WriteFailure(errno);
        }
        const int waitMs = RemainingMs(deadline);
        if (waitMs == 0) {
            return WriteFailure();
        }
        switch (WaitForFd(m_nFd, POLLOUT, waitMs, cancel)) {
            case WaitResult::kCancelled:
                return WriteCancelled();
            case WaitResult::kFailed:
                return WriteFailure(errno);
            default:
                break;
        }
    }
    return {};
}

LinkResult CSerialPort::WaitUntilSent(Clock::time_point deadline, const CCancelToken* cancel) {
    for (;;) {
        int queued = 0;
        if (ioctl(m_nFd, TIOCOUTQ, &queued) != 0) {
            return WriteFailure(errno);
        }
        if (queued == 0) {
            return {};
        }
        const int leftMs = RemainingMs(deadline);
        if (leftMs == 0) {
            return WriteFailure();
        }
        // No call waits for the queue to empty with a time-out, so wait about as long as the
        // queued bytes take at this speed (or for a cancel), then look again.
        const int64_t drainMs =
            std::max<int64_t>(1, queued * kBitsPerByte * 1000 / std::max(m_nBaudRate, 1));
        const int waitMs = static_cast<int>(std::min<int64_t>(drainMs, leftMs));
        if (WaitForFd(-1, 0, waitMs, cancel) == WaitResult::kCancelled) {
            return WriteCancelled();
        }
    }
}

void CSerialPort::DiscardAndClose() {
    if (IsOpen()) {
        tcflush(m_nFd, TCOFLUSH);
    }
    Close();
}

int CSerialPort::Close() {
    if (!IsOpen()) {
        return 0;
    }
    // Exclusive mode outlives this descriptor while anyone else keeps the device open.
    ioctl(m_nFd, TIOCNXCL);
    const int result = close(m_nFd) == 0 ? 0 : errno;
    m_nFd = -1;
    return result;
}
