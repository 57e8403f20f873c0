#pragma once

#include <cstdint>
#include <string>

#include "setup/Ipv4Text.h"
#include "transport/CSignMessageSplitter.h"
#include "transport/SignLink.h"

// A sign on TCP: everything one connection sends, up to the peer's close, is one message, unless a
// new header in it begins another; connections are taken one at a time. A connection that sends
// nothing is no message.
class CSignTcpListener : public ISignLink {
public:
    explicit CSignTcpListener(size_t maxMessageBytes = kMaxSignMessageBytes);
    ~CSignTcpListener() override;
    CSignTcpListener(const CSignTcpListener&) = delete;
    CSignTcpListener& operator=(const CSignTcpListener&) = delete;

    // Listens on the address and port; port 0 takes a free one. Returns 0, or the errno of the
    // step that failed (EADDRINUSE when the port is taken).
    int Listen(const Ipv4Octets& address, uint16_t port);

    // The port listened on, once listening.
    uint16_t Port() const { return m_nPort; }
    // "A.B.C.D:PORT"
    std::string Endpoint() const;

    SignReceipt Receive(const CCancelToken& stop) override;

    void Close();

private:
    // Reads one accepted connection to its end into the splitter.
    SignReceiveStatus ReadConnection(int connection, const CCancelToken& stop);

    CSignMessageSplitter m_splitter;
    std::string m_strSource;  // of the connection the splitter's messages came from
    int m_hSocket = -1;
    Ipv4Octets m_address{};
    uint16_t m_nPort = 0;
};
