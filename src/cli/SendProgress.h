#pragma once

#include <chrono>
#include <csignal>
#include <cstddef>
#include <iosfwd>
#include <string>

#include "transport/CSerialPort.h"

class CCancelToken;

// "about 21 seconds", "about 91 minutes", "about 3 hours 5 minutes".
std::string DurationText(double seconds);

// Follows a serial send: says at the start how long the line needs when that is more than a few
// seconds, and, on a terminal, keeps one line of standard error up to date with the bytes written.
class CSendProgress {
public:
    CSendProgress(size_t total, const SerialLineSettings& line, std::ostream& err, bool showMeter);

    // Bytes handed to the driver so far; 0 when the port has just opened.
    void Update(size_t written);
    // Ends the meter's line, so that what follows starts on a line of its own.
    void Finish();

    size_t Written() const { return m_nWritten; }

private:
    void Draw();

    size_t m_nTotal;
    SerialLineSettings m_line;
    std::ostream& m_err;
    bool m_bShowMeter;
    bool m_bStarted = false;
    size_t m_nWritten = 0;
    size_t m_nDrawnLength = 0;
    std::chrono::steady_clock::time_point m_lastDrawn;
};

// While it lives, Ctrl-C (SIGINT) and SIGTERM cancel the token instead of ending the program, so
// that the port is let go and nothing more trickles out to the sign.
class CInterruptGuard {
public:
    explicit CInterruptGuard(CCancelToken& cancel);
    ~CInterruptGuard();
    CInterruptGuard(const CInterruptGuard&) = delete;
    CInterruptGuard& operator=(const CInterruptGuard&) = delete;

    // The signal that cancelled the send, or 0.
    static int Signal();

private:
    struct sigaction m_oldInterrupt {};
    struct sigaction m_oldTerminate {};
};
