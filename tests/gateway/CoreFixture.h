#pragma once

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "DirectorTestSupport.h"
#include "GatewayProcess.h"
#include "gateway/CGatewayCore.h"
#include "support/FleetTestSupport.h"

// Runs the gateway's event loop until `done` holds, within the tests' bound; whether it held.
inline bool PumpUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTestWaitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Runs `work` on a thread of its own (a client's), the gateway's events handled meanwhile.
template <class F>
auto OffThread(F work) -> decltype(work()) {
    auto future = std::async(std::launch::async, std::move(work));
    PumpUntil(
        [&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    return future.get();
}

// Forwarding that keeps what it is handed.
class CRecordingForwarder {
public:
    SignForwarding Forwarding() {
        return {[this](const NamedSign& sign, const Playlist& playlist, const Stamp&) {
                    forwarded.emplace_back(sign.name,
                                           ShownText(playlist.front().message).toStdString());
                },
                [this](const std::string& name, const std::string& value) {
                    shared.emplace_back(name, value);
                },
                [this](const NamedSign& sign, const std::string& key, const std::string& payload) {
                    alerts.emplace_back(sign.name + "/" + key, payload);
                },
                [this](const std::string& name, const std::string& payload) {
                    library.emplace_back(name, payload);
                }};
    }
    std::vector<std::pair<std::string, std::string>> library;  // name, payload
    std::vector<std::pair<std::string, std::string>> alerts;   // "<sign>/<key>", payload
    std::vector<std::pair<std::string, std::string>> forwarded;
    std::vector<std::pair<std::string, std::string>> shared;
};

// A gateway's core in the test's own process: "A" (tagged "hall") and "B" of hall-b, "C" (tagged
// "hall") of hall-a; a scripted clock, a recording sender and a state folder of the test's own.
class CCoreFixture {
public:
    explicit CCoreFixture(std::string token = {}, uint16_t port = 0) : m_nPort(port) {
        Make(std::move(token));
    }

    void Make(std::string token = {}) {
        core.reset();
        GatewayConfig config;
        config.name = "hall-b";
        config.httpPort = m_nPort;
        config.token = std::move(token);
        config.tls = tls;
        config.stateDir = QString::fromStdString(folder.Path() + "/state");
        if (adjust) {
            adjust(config);
        }
        core = std::make_unique<CGatewayCore>(
            config,
            std::vector<NamedSign>{TestSign("A", {"hall"}), TestSign("B"),
                                   TestSign("C", {"hall"}, "hall-a")},
            schedules, clock, sender);
    }

    // Asks the commands on this thread and waits for the answer.
    GatewayResult Ask(const std::function<void(CCommands&, CCommands::Reply)>& ask) {
        std::optional<GatewayResult> answer;
        ask(core->Commands(), [&](const GatewayResult& result) { answer = result; });
        PumpUntil([&] { return answer.has_value(); });
        return answer.value_or(GatewayResult{ResultKind::kConflict, "", "no answer"});
    }

    // Sets the sign's message through the commands.
    GatewayResult SetMessage(const std::string& sign, const std::string& text,
                             Origin origin = Origin::kApi) {
        return Ask([&](CCommands& c, CCommands::Reply reply) {
            c.SetMessage(sign, Text(text), origin, reply);
        });
    }

    std::function<void(GatewayConfig&)> adjust;  // what a test changes of the configuration
    GatewaySchedules schedules;
    uint16_t m_nPort;
    TlsConfig tls;  // HTTPS from the next Make
    CTempFolder folder;
    CScriptedClock clock{kTestStart};
    CRecordingSender sender;
    std::unique_ptr<CGatewayCore> core;
};
