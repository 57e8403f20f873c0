#include "gateway/SignSender.h"

#include "gateway/GatewayThread.h"

CPlanSender::CPlanSender(ComDeviceResolver resolve, QObject* parent)
    : QObject(parent), m_resolve(std::move(resolve)) {}

CPlanSender::~CPlanSender() {
    StopAll();
}

ISignSender::SendId CPlanSender::Send(const NamedSign& sign, const MessageDocument& message,
                                      Done done) {
    const SendId id = ++m_nLast;
    Running& running = m_running[id];
    running.done = std::move(done);
    running.plan = std::make_unique<CSendPlan>(SignSendsForMessage({sign}, message, m_resolve));
    running.plan->Start([this, id](const SignSendResult& result) {
        PostToGateway(this, [this, id, result] { Finish(id, result); });
    });
    return id;
}

void CPlanSender::Finish(SendId id, const SignSendResult& result) {
    const auto found = m_running.find(id);
    if (found == m_running.end()) {
        return;  // stopped meanwhile
    }
    Done done = std::move(found->second.done);
    m_running.erase(found);  // the plan has told its one sign: it ends at once
    done(result);
}

void CPlanSender::Cancel(SendId id) {
    const auto found = m_running.find(id);
    if (found != m_running.end()) {
        found->second.plan->Cancel();
    }
}

void CPlanSender::StopAll() {
    for (auto& [id, running] : m_running) {
        running.plan->Cancel();
    }
    m_running.clear();  // each plan waits for its send, cancelled, which ends at once
}
