#pragma once

#include <chrono>
#include <string>

#include "transport/CSignMessageSplitter.h"
#include "transport/SignLink.h"

// A serial line has no framing: a sign takes a message as ended once the line has been quiet this
// long, or when a new header begins.
inline constexpr std::chrono::milliseconds kSerialMessageGap{250};

// A sign on a serial line, played on a pseudo-terminal: a symlink names the terminal's device, so
// that a "COMn" can be mapped to the link like to any serial device.
class CSignPtyLink : public ISignLink {
public:
    explicit CSignPtyLink(std::chrono::milliseconds gap = kSerialMessageGap,
                          size_t maxMessageBytes = kMaxSignMessageBytes);
    ~CSignPtyLink() override;
    CSignPtyLink(const CSignPtyLink&) = delete;
    CSignPtyLink& operator=(const CSignPtyLink&) = delete;

    enum class OpenStep { kNone, kTerminal, kLink };

    // Makes the terminal and the symlink at linkPath. Returns 0, or the errno of the step that
    // failed (`FailedStep`); a path that exists already fails the link step with EEXIST and is
    // left alone.
    int Open(const std::string& linkPath);
    OpenStep FailedStep() const { return m_failedStep; }

    // The terminal's device, such as /dev/pts/3.
    const std::string& DevicePath() const { return m_strDevicePath; }

    SignReceipt Receive(const CCancelToken& stop) override;

    // Closes the terminal and removes the symlink, unless something else has taken its place.
    void Close();

private:
    // Closes what was made so far and keeps the step; returns the errno.
    int Fail(OpenStep step);
    // A sender locks the port for itself (TIOCEXCL); the lock outlives its close while the sign
    // holds the terminal, so it is lifted whenever a sender closes.
    void ReleaseWhenSenderClosed();
    void ReleaseExclusiveUse() const;

    std::chrono::milliseconds m_gap;
    CSignMessageSplitter m_splitter;
    // When the line last carried bytes: the quiet gap is timed from there, also for what follows
    // a header that ended the message before it.
    std::chrono::steady_clock::time_point m_lastByte;
    OpenStep m_failedStep = OpenStep::kNone;
    int m_nMaster = -1;
    int m_nSlave = -1;   // held so that the terminal stays up between senders
    int m_nNotify = -1;  // inotify: a sender's close of the device
    std::string m_strDevicePath;
    std::string m_strLinkPath;
};
