#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <exception>
#include <string>

#include "transport/LinkResult.h"

class CCancelToken;

// A sign that does not answer: operators expect an answer within about 20 s; Linux alone would
// wait about 127 s.
inline constexpr std::chrono::milliseconds kConnectTimeout{20000};
// A sign that took a message closes its end within moments; one that has not within this long
// (since it last took bytes) is not going to.
inline constexpr std::chrono::milliseconds kSignCloseWait{2000};

// A failed socket operation: its name ("Create", "Bind", "Connect", "Close") and the errno that
// the operation itself recorded.
class CBlockingSocketException : public std::exception {
public:
    CBlockingSocketException(LinkOperation operation, int error);

    const char* what() const noexcept override { return m_strOperation.c_str(); }

    int32_t m_nError;
    std::string m_strOperation;
    LinkOperation m_operation;
};

// Leaves the choice of the local port of a socket bound to port 0 to its connect.
void LeavePortToConnect(int fd);

// A TCP socket whose every failure raises CBlockingSocketException. Callers close it with Close
// or CloseQuietly; one still held when the object goes is closed quietly.
class CBlockingSocket {
public:
    static constexpr int kNoSocket = -1;

    // A token, when given, ends the wait of Connect with LinkOperation::kCancel.
    explicit CBlockingSocket(const CCancelToken* cancel = nullptr) : m_pCancel(cancel) {}
    ~CBlockingSocket();
    CBlockingSocket(const CBlockingSocket&) = delete;
    CBlockingSocket& operator=(const CBlockingSocket&) = delete;

    void Create(int type = SOCK_STREAM);
    // With port 0 the port is chosen by Connect, not here.
    void Bind(const sockaddr_in& address);
    // Gives up after the limit with ETIMEDOUT. The address 0.0.0.0 is refused with EADDRNOTAVAIL,
    // since it names no sign; Linux would connect to this machine.
    void Connect(const sockaddr_in& address, std::chrono::milliseconds limit = kConnectTimeout);
    void Close();
    void CloseQuietly();

    // A descriptor may be 0 here, so "no socket" is -1.
    int m_hSocket = kNoSocket;

private:
    const CCancelToken* m_pCancel;
};
