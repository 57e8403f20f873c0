#pragma once

#include <array>
#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
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

// Loopback addresses and ports. Every address of 127.0.0.0/8 is this machine, so a test that
// needs a fixed port (the sign's 49999) takes it on an address of its own, and tests running side
// by side never meet there. A test that can choose its port takes port 0: the system picks a
// free one.

// A loopback address of this process's own: 127.H.L.N, H.L from the process id, N new at each
// call (it comes round after 254 calls).
std::string NextOwnLoopbackAddress();
// An address of this process's own on which the port was free just now (bound and let go), for a
// process the test starts there; the process's own failure to listen tells of a rare race.
std::string FreeLoopbackAddress(uint16_t port);
// A port of 127.0.0.1 that was free just now (bound to port 0 and let go), for a process the
// test starts that cannot take port 0 itself.
uint16_t FreeLoopbackPort();

// A TCP listener on a loopback address that plays one sign.
class CLoopbackListener {
public:
    // Port 0 picks a free port. A receive buffer above 0 limits what the kernel takes in for the
    // listener before anyone reads. Check Listening() before use: a fixed port may be taken. A
    // backlog of 0 holds one connection that nobody accepts; later ones are never answered.
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
    // The address it listens at, first octet first, and as text.
    std::array<uint8_t, 4> Address() const;
    std::string Host() const;

    // Accepts one connection, reads it to its end and closes it, as a sign does.
    std::future<std::string> AcceptAndReadAsync() const;
    // Accepts one connection and closes it at once, reading nothing.
    std::future<void> AcceptAndCloseAsync() const;
    // Accepts one connection and, once something has come, resets it without reading any of it.
    std::future<void> AcceptAndResetAsync() const;
    // Accepts one connection and reads it to its end, but keeps it open while the listener lives.
    std::future<std::string> AcceptReadAndHoldAsync();
    // Connects to it until its accept queue is full and it answers no more connects, as a sign
    // that has stopped answering; never accepts. False when the queue would not fill.
    bool FillAcceptQueue();

private:
    int m_nSocket = -1;
    uint16_t m_nPort = 0;
    uint32_t m_nHost = 0;
    std::vector<int> m_queued;
    std::mutex m_heldMutex;
    std::vector<int> m_held;
};

// A loopback port on which nothing listens: it is bound, so nobody else can take it meanwhile.
class CRefusingPort {
public:
    explicit CRefusingPort(const char* address = "127.0.0.1", uint16_t port = 0);
    // The sign's fixed port at a loopback address of this process's own; null when none could be
    // had.
    static std::unique_ptr<CRefusingPort> AsSign(uint16_t signPort);
    ~CRefusingPort();
    CRefusingPort(const CRefusingPort&) = delete;
    CRefusingPort& operator=(const CRefusingPort&) = delete;

    uint16_t Port() const { return m_nPort; }
    const std::string& Host() const { return m_strHost; }
    // False when the port could not be had on that address.
    bool Bound() const { return m_nPort != 0; }

private:
    int m_nSocket = -1;
    uint16_t m_nPort = 0;
    std::string m_strHost;
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
