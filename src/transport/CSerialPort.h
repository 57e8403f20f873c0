#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "transport/LinkResult.h"

class CCancelToken;

// The line as the application's communication settings give it. Only the baud rate is ever
// changed by the operator; the others keep these values.
struct SerialLineSettings {
    int32_t baudRate = 9600;
    int32_t byteSize = 8;     // data bits, 5 to 8
    bool binary = true;       // no conversion of received bytes
    bool parityCheck = true;  // check the parity of received bytes
    int32_t stopBits = 0;     // 0: one, 2: two
    int32_t parity = 0;       // 0: none, 1: odd, 2: even, 3: mark, 4: space
};

// Seconds the line needs for the bytes: each byte goes out framed by a start bit, a parity bit
// when there is parity, and its stop bits.
double SecondsOnTheLine(size_t bytes, const SerialLineSettings& line);

// Told how many bytes a Write has handed to the driver so far: once with 0 when the port is open
// and writing begins, then after every part. Called on the thread that writes.
using WriteProgress = std::function<void(size_t written)>;

// How long one Write may take in all, writing and draining together.
struct SerialWriteDeadline {
    std::chrono::milliseconds base{1000};
    std::chrono::milliseconds perByte{1000};
};

// One command string at a time to a serial device, never read from. The port is held only from a
// successful Open to the end of the Write that follows (or to the Release after strings written
// with WriteAndKeepOpen), so other programs may use it in between.
class CSerialPort {
public:
    explicit CSerialPort(SerialWriteDeadline deadline = {});
    ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Opens the device exclusively and configures the line. SEND_OK with the port open;
    // SEND_INVALID_PORT when there is no such device or no UART behind it, SEND_PORT_IN_USE when
    // another holder has it, SEND_BAUD_REFUSED when the line cannot run at the rate, else
    // SEND_SYSTEM_ERROR with the errno; the port is closed again on any failure.
    LinkResult Open(const std::string& devicePath, const SerialLineSettings& line);

    // Writes the bytes as they are and waits until the driver has sent them, then closes the port.
    // SEND_OK when every byte went out; SEND_FAILED, with the port closed, when any step fails or
    // the deadline passes; SEND_CANCELLED when the token ended the wait; SEND_SYSTEM_ERROR when
    // only the final close fails. A progress callback, when given, follows the writing.
    LinkResult Write(std::string_view bytes, const CCancelToken* cancel = nullptr,
                     const WriteProgress& progress = {});

    // As Write, but a port whose string went out stays open, so that several signs on one line
    // take their strings through one opening. Release it after the last.
    LinkResult WriteAndKeepOpen(std::string_view bytes, const CCancelToken* cancel = nullptr,
                                const WriteProgress& progress = {});
    // Closes the port: SEND_OK, or SEND_SYSTEM_ERROR with the errno of a failed close.
    LinkResult Release();

    bool IsOpen() const { return m_nFd >= 0; }

private:
    // SEND_OK, SEND_FAILED or SEND_CANCELLED.
    // The code of the first step that failed, and the errno behind it when the system refused.
    LinkResult WriteAll(std::string_view bytes, std::chrono::steady_clock::time_point deadline,
                        const CCancelToken* cancel, const WriteProgress& progress);
    LinkResult WaitUntilSent(std::chrono::steady_clock::time_point deadline,
                             const CCancelToken* cancel);
    // Drops what is still queued, so that the close cannot wait for a stalled line.
    void DiscardAndClose();
    // 0, or the errno of a failed close; the port counts as closed either way.
    int Close();

    SerialWriteDeadline m_deadline;
    int m_nFd = -1;
    int32_t m_nBaudRate = 0;
};
