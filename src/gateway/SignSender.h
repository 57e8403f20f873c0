#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "fleet/CSendPlan.h"

// How the director's messages leave for the signs: a send to one sign, whose outcome comes back on
// the gateway's thread. The program's goes through the fleet's send plans; a test's records.
class ISignSender {
public:
    using SendId = uint64_t;
    // Called on the gateway's thread, once a send, also after Cancel (then SEND_CANCELLED).
    using Done = std::function<void(const SignSendResult&)>;

    virtual ~ISignSender() = default;
    virtual SendId Send(const NamedSign& sign, const MessageDocument& message, Done done) = 0;
    // Ends the send at once; its outcome still comes.
    virtual void Cancel(SendId id) = 0;
    // Ends every send; no outcome comes after this.
    virtual void StopAll() = 0;
};

// A send plan a send, so that a sign that never answers holds up no other; the plans' sends over
// TCP share the process's one send loop, where a sign that keeps us waiting costs a socket and no
// thread. Lives on the gateway's thread.
class CPlanSender : public QObject, public ISignSender {
public:
    explicit CPlanSender(ComDeviceResolver resolve, QObject* parent = nullptr);
    ~CPlanSender() override;

    SendId Send(const NamedSign& sign, const MessageDocument& message, Done done) override;
    void Cancel(SendId id) override;
    void StopAll() override;

private:
    struct Running {
        std::unique_ptr<CSendPlan> plan;
        Done done;
    };
    void Finish(SendId id, const SignSendResult& result);

    ComDeviceResolver m_resolve;
    std::map<SendId, Running> m_running;
    SendId m_nLast = 0;
};
