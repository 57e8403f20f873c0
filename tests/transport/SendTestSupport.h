#pragma once

#include <array>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <vector>

// Every wait of these helpers ends after this long, so that a fault fails a test, never hangs it.
inline constexpr int kTestWaitMs = 10000;

// A pseudo-terminal pair: the link opens the slave as its port; the master is the sign's end.
class CPtyPair {
public:
    CPtyPair();
    ~CPtyPair();
    CPtyPair(const CPtyPair&) = delete;
    CPtyPair& operator=(const CPtyPair&) = delete;

    const std::string& SlavePath() const { return m_strSlavePath; }
    int Master() const { return m_nMaster; }
    int Slave() const { return m_nSlave; }
    // The sign is unplugged: writes to the slave fail from now on.
    void CloseMaster();

    // Reads what the sign receives, on a thread of its own, until count bytes have come or
    // nothing has come for a while.
    std::future<std::string> ReadAsync(size_t count) const;
    // What is waiting at the master now, without waiting for more.
    std::string ReadPending() const;

private:
    int m_nMaster = -1;
    int m_nSlave = -1;
    std::string m_strSlavePath;
};

// A TCP listener on 127.0.0.1 that plays one sign.
class CLoopbackListener {
public:
    // Port 0 picks a free port. A receive buffer above 0 limits what the kernel takes in for the
    // listener before anyone reads. Check Listening() before use: a fixed port may be taken. Any
    // address of 127.0.0.0/8 is this machine, so a test can use a fixed port on an address of its
    // own. A backlog of 0 holds one connection that nobody accepts; later ones are never answered.
    explicit CLoopbackListener(uint16_t port = 0, int receiveBuffer = 0,
                               const char* address = "127.0.0.1", int backlog = 4);
    // A listener on the sign's fixed port, at a loopback address of this process's own; null
    // when none could be had.
    static std::unique_ptr<CLoopbackListener> AsSign(uint16_t signPort, int receiveBuffer = 0);
    ~CLoopbackListener();
    CLoopbackListener(const CLoopbackListener&) = delete;
    CLoopbackListener& operator=(const CLoopbackListener&) = delete;

    bool Listening() const { return m_nSocket >= 0; }
    uint16_t Port() const { return m_nPort; }
    // The address it listens at, first octet first.
    std::array<uint8_t, 4> Address() const;

    // Accepts one connection and reads it to its end.
    std::future<std::string> AcceptAndReadAsync() const;
    // Accepts one connection and closes it at once, reading nothing.
    std::future<void> AcceptAndCloseAsync() const;
    // Connects to it until its accept queue is full and it answers no more connects, as a sign
    // that has stopped answering; never accepts. False when the queue would not fill.
    bool FillAcceptQueue();

private:
    int m_nSocket = -1;
    uint16_t m_nPort = 0;
    uint32_t m_nHost = 0;
    std::vector<int> m_queued;
};

// A loopback port on which nothing listens: it is bound, so nobody else can take it meanwhile.
class CRefusingPort {
public:
    explicit CRefusingPort(const char* address = "127.0.0.1", uint16_t port = 0);
    ~CRefusingPort();
    CRefusingPort(const CRefusingPort&) = delete;
    CRefusingPort& operator=(const CRefusingPort&) = delete;

    uint16_t Port() const { return m_nPort; }
    // False when the port could not be had on that address.
    bool Bound() const { return m_nPort != 0; }

private:
    int m_nSocket = -1;
    uint16_t m_nPort = 0;
};

// A connection begun without waiting for its answer, to take a place in a listener's queue.
class CTcpCaller {
public:
    CTcpCaller(const char* address, uint16_t port);
    ~CTcpCaller();
    CTcpCaller(const CTcpCaller&) = delete;
    CTcpCaller& operator=(const CTcpCaller&) = delete;

private:
    int m_nSocket = -1;
};

// A connection to a loopback port (of 127.0.0.1 unless another 127.x.y.z is given, in host order);
// sends the bytes and, unless told otherwise, closes. Returns the connection left open, or -1.
int SendToPort(uint16_t port, const std::string& bytes, bool close = true,
               uint32_t host = 0x7f000001);

// Bytes 0 to 255 in turn, so that every byte value appears and a lost or moved byte shows.
std::string ByteCycle(size_t length);
