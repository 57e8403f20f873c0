#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

#include "gateway/GatewayRequests.h"
#include "settings/MessageFile.h"

class CGateway;
class CDashboard;

// Takes work for signs that another gateway drives; called on the gateway's thread.
class ISignForwarder {
public:
    virtual ~ISignForwarder() = default;
    // Whether some gateway drives the sign.
    virtual bool Knows(const std::string& name) const = 0;
    // Hands the message to the sign's own gateway; false when the sign is unknown.
    virtual bool Forward(const std::string& name, const MessageDocument& message) = 0;
    // Tells the other gateways of a live value.
    virtual void ShareVariable(const std::string& name, const std::string& value) = 0;
};

inline constexpr size_t kMaxRequestBody = 1024 * 1024;

// The gateway's HTTP API, served on threads of its own. Each request is read and checked there;
// what it asks of the gateway runs on the gateway's thread, the request waiting for it.
class CHttpApi {
public:
    explicit CHttpApi(CGateway& gateway);
    ~CHttpApi();
    CHttpApi(const CHttpApi&) = delete;
    CHttpApi& operator=(const CHttpApi&) = delete;

    CDashboard& Dashboard() { return *m_dashboard; }
    // Where work for a sign of another gateway goes; none without a broker.
    void SetForwarder(ISignForwarder* forwarder) { m_bridge = forwarder; }

    // Binds the configured address (port 0: any free one) and serves from then on. False with
    // the reason when the address cannot be had.
    bool Listen(std::string& error);
    uint16_t Port() const { return m_nPort; }
    // Stops serving; the gateway's thread keeps handling what requests still wait for.
    void Stop();

private:
    void Route();

    CGateway& m_gateway;
    ISignForwarder* m_bridge = nullptr;
    std::unique_ptr<httplib::Server> m_server;
    std::unique_ptr<CDashboard> m_dashboard;  // the live page and its event streams
    std::thread m_thread;
    std::atomic<bool> m_bServing{false};
    uint16_t m_nPort = 0;
};
