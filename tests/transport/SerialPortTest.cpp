#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <optional>
#include <vector>

#include "support/SendTestSupport.h"
#include "transport/CSerialPort.h"
#include "transport/LinkResult.h"

namespace {

using namespace std::chrono_literals;

// Opens, writes and reads back what the sign received.
LinkCode SendThroughPty(CPtyPair& pty, CSerialPort& port, const std::string& bytes,
                        std::string& received, const SerialLineSettings& line = {}) {
    const LinkCode opened = port.Open(pty.SlavePath(), line).code;
    if (opened != SEND_OK) {
        return opened;
    }
    auto reading = pty.ReadAsync(bytes.size());
    const LinkCode written = port.Write(bytes).code;
    received = reading.get();
    return written;
}

bool Exclusive(int fd) {
    int exclusive = -1;
    EXPECT_EQ(ioctl(fd, TIOCGEXCL, &exclusive), 0);
    return exclusive != 0;
}

TEST(SerialPortTest, DeliversTheBytesExactly) {
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"caret codes", "^C0^M"},
        {"line ends are not translated", "A\nB\r\nC\r"},
        {"every byte value", ByteCycle(256)},
        {"100,000 bytes", ByteCycle(100000)},
    };
    for (const auto& c : cases) {
        CPtyPair pty;
        CSerialPort port;
        std::string received;
        EXPECT_EQ(SendThroughPty(pty, port, c.bytes, received), SEND_OK) << c.name;
        EXPECT_EQ(received, c.bytes) << c.name;
        EXPECT_EQ(pty.ReadPending(), "") << c.name;
        EXPECT_FALSE(port.IsOpen()) << c.name;
    }
}

TEST(SerialPortTest, SetsTheLineWhateverItWasBeforeAndKeepsFlowControl) {
    const struct {
        int32_t baud;
        speed_t speed;
    } cases[] = {{9600, B9600}, {38400, B38400}, {230400, B230400}, {4000000, B4000000}};
    for (const auto& c : cases) {
        CPtyPair pty;
        termios before{};
        ASSERT_EQ(tcgetattr(pty.Slave(), &before), 0);
        cfsetspeed(&before, B1200);
        before.c_cflag |= CSTOPB | CRTSCTS;
        before.c_oflag |= OPOST | ONLCR;
        before.c_iflag = (before.c_iflag | IXON | ICRNL) & ~INPCK;
        before.c_lflag |= ICANON | ECHO;
        ASSERT_EQ(tcsetattr(pty.Slave(), TCSANOW, &before), 0);

        SerialLineSettings settings;
        settings.baudRate = c.baud;
        CSerialPort port;
        ASSERT_EQ(port.Open(pty.SlavePath(), settings).code, SEND_OK);
        EXPECT_TRUE(Exclusive(pty.Slave())) << c.baud;
        auto reading = pty.ReadAsync(2);
        EXPECT_EQ(port.Write("\n\n").code, SEND_OK);
        EXPECT_EQ(reading.get(), "\n\n");

        // The sign's side sees the line as the link left it.
        termios line{};
        ASSERT_EQ(tcgetattr(pty.Master(), &line), 0);
        EXPECT_EQ(cfgetospeed(&line), c.speed) << c.baud;
        EXPECT_EQ(cfgetispeed(&line), c.speed) << c.baud;
        EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8)) << c.baud;
        EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB), 0u) << c.baud;
        EXPECT_EQ(line.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
        EXPECT_EQ(line.c_oflag & OPOST, 0u) << c.baud;
        EXPECT_EQ(line.c_iflag & (INPCK | ICRNL), static_cast<tcflag_t>(INPCK)) << c.baud;
        EXPECT_EQ(line.c_lflag & (ICANON | ECHO), 0u) << c.baud;
        EXPECT_NE(line.c_iflag & IXON, 0u) << "flow control stays, " << c.baud;
        EXPECT_NE(line.c_cflag & CRTSCTS, 0u) << "flow control stays, " << c.baud;
        EXPECT_FALSE(Exclusive(pty.Slave())) << "others may open the port again, " << c.baud;
    }
}

TEST(SerialPortTest, ReportsWhyThePortCannotBeOpened) {
    CPtyPair pty;
    char regularFile[] = "/tmp/lumivex-not-a-port-XXXXXX";
    const int fileFd = mkstemp(regularFile);
    ASSERT_GE(fileFd, 0);
    close(fileFd);

    SerialLineSettings oddBaud;
    oddBaud.baudRate = 12345;
    SerialLineSettings nineBits;
    nineBits.byteSize = 9;
    const struct {
        const char* name;
        std::string path;
        SerialLineSettings line;
        LinkCode expected;
        int error;
    } cases[] = {
        {"no such device", "/nonexistent/ttyLumivex", {}, SEND_INVALID_PORT, ENOENT},
        {"empty path", "", {}, SEND_INVALID_PORT, ENOENT},
        {"no terminal behind the name", "/dev/null", {}, SEND_INVALID_PORT, ENOTTY},
        {"regular file", regularFile, {}, SEND_INVALID_PORT, ENOTTY},
        {"speed the line lacks", pty.SlavePath(), oddBaud, SEND_BAUD_REFUSED, EINVAL},
        {"nine data bits", pty.SlavePath(), nineBits, SEND_SYSTEM_ERROR, EINVAL},
    };
    for (const auto& c : cases) {
        CSerialPort port;
        const LinkResult result = port.Open(c.path, c.line);
        EXPECT_EQ(result.code, c.expected) << c.name;
        EXPECT_EQ(result.error, c.error) << c.name;
        EXPECT_FALSE(port.IsOpen()) << c.name;
    }
    // The refused pty is left free and not exclusive.
    EXPECT_FALSE(Exclusive(pty.Slave()));
    CSerialPort port;
    EXPECT_EQ(port.Open(pty.SlavePath(), {}).code, SEND_OK);
    std::remove(regularFile);
}

TEST(SerialPortTest, APortHeldByAnotherHolderIsInUse) {
    CPtyPair pty;
    {
        // Another program's lock on the device.
        const int other = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(other, 0);
        ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
        CSerialPort port;
        EXPECT_EQ(port.Open(pty.SlavePath(), {}).code, SEND_PORT_IN_USE);
        close(other);
        EXPECT_EQ(port.Open(pty.SlavePath(), {}).code, SEND_OK);
    }
    // Another link holding it, until its send is done.
    CSerialPort first;
    CSerialPort second;
    ASSERT_EQ(first.Open(pty.SlavePath(), {}).code, SEND_OK);
    EXPECT_EQ(second.Open(pty.SlavePath(), {}).code, SEND_PORT_IN_USE);
    EXPECT_EQ(first.Write("A").code, SEND_OK);
    EXPECT_EQ(second.Open(pty.SlavePath(), {}).code, SEND_OK);
}

TEST(SerialPortTest, TwoSendsInARowBothArrive) {
    CPtyPair pty;
    CSerialPort port;
    std::string received;
    EXPECT_EQ(SendThroughPty(pty, port, "^C0", received), SEND_OK);
    EXPECT_EQ(received, "^C0");
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(SendThroughPty(pty, port, "^M", received), SEND_OK);
    EXPECT_EQ(received, "^M");
    // A setup string and its confirmation, sent before the other end has read the first.
    for (const char* bytes : {"^PE1", "^A000000^C1"}) {
        ASSERT_EQ(port.Open(pty.SlavePath(), {}).code, SEND_OK);
        EXPECT_EQ(port.Write(bytes).code, SEND_OK);
    }
    EXPECT_EQ(pty.ReadAsync(15).get(), "^PE1^A000000^C1");
}

TEST(SerialPortTest, AFailedWriteIsReportedAndClosesThePort) {
    {
        CPtyPair pty;
        CSerialPort port;
        ASSERT_EQ(port.Open(pty.SlavePath(), {}).code, SEND_OK);
        pty.CloseMaster();
        const LinkResult result = port.Write("^C0^M");
        EXPECT_EQ(result.code, SEND_FAILED) << "unplugged";
        EXPECT_EQ(result.error, EIO) << "the system's reason is kept";
        EXPECT_FALSE(port.IsOpen()) << "unplugged";
    }
    {
        // The master never reads, so the pty fills and the deadline passes.
        CPtyPair pty;
        CSerialPort port({100ms, 0ms});
        ASSERT_EQ(port.Open(pty.SlavePath(), {}).code, SEND_OK);
        const LinkResult result = port.Write(ByteCycle(100000));
        EXPECT_EQ(result.code, SEND_FAILED) << "stalled";
        EXPECT_EQ(result.error, 0) << "a deadline is no system's reason";
        EXPECT_FALSE(port.IsOpen()) << "stalled";
        CSerialPort next;
        EXPECT_EQ(next.Open(pty.SlavePath(), {}).code, SEND_OK) << "the stalled port was let go";
    }
    CSerialPort neverOpened;
    EXPECT_EQ(neverOpened.Write("A").code, SEND_FAILED);
}

// The CLI's progress display: a count that starts at 0 once the port is open, only grows, and
// ends at the length; and the time a real line needs for it.
TEST(SerialPortTest, ProgressCountsEveryByteHandedToTheDriver) {
    CPtyPair pty;
    CSerialPort port;
    ASSERT_EQ(port.Open(pty.SlavePath(), {}).code, SEND_OK);
    const std::string bytes = ByteCycle(100000);
    auto reading = pty.ReadAsync(bytes.size());
    std::vector<size_t> counts;
    EXPECT_EQ(
        port.Write(bytes, nullptr, [&counts](size_t written) { counts.push_back(written); }).code,
        SEND_OK);
    EXPECT_EQ(reading.get(), bytes);
    ASSERT_GE(counts.size(), 2u);
    EXPECT_EQ(counts.front(), 0u);
    EXPECT_EQ(counts.back(), bytes.size());
    EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()));

    SerialLineSettings evenParityTwoStops;
    evenParityTwoStops.parity = 2;
    evenParityTwoStops.stopBits = 2;
    SerialLineSettings fast;
    fast.baudRate = 38400;
    const struct {
        size_t bytes;
        SerialLineSettings line;
        double seconds;
    } cases[] = {
        {960, {}, 1.0},                  // 10 bits a byte at 9600
        {5u << 20, {}, 5461.3333},       // 5 MB: about 91 minutes
        {3840, fast, 1.0},               // 38400
        {800, evenParityTwoStops, 1.0},  // 12 bits a byte
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(SecondsOnTheLine(c.bytes, c.line), c.seconds, 0.001) << c.bytes;
    }
}

}  // namespace
