#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "fleet/CSendPlan.h"
#include "settings/SignsFile.h"
#include "support/SendTestSupport.h"

// A sign of that name, tags and gateway (none when empty), on no link.
inline NamedSign TestSign(const std::string& name, std::vector<std::string> tags = {},
                          const std::string& gateway = {}) {
    NamedSign sign;
    sign.name = name;
    sign.tags = std::move(tags);
    if (!gateway.empty()) {
        sign.gateway = gateway;
    }
    return sign;
}

// Signs on TCP: listeners on loopback addresses of this process's own, all on one port, as a
// plant's signs are many addresses on port 49999.
class CLoopbackSigns {
public:
    // backlogs: one listener per entry; a backlog of 0 holds one unanswered connection.
    explicit CLoopbackSigns(const std::vector<int>& backlogs) {
        for (int attempt = 0; attempt < 8 && m_listeners.size() != backlogs.size(); ++attempt) {
            m_listeners.clear();
            uint16_t port = 0;
            for (size_t i = 0; i < backlogs.size(); ++i) {
                auto listener = std::make_unique<CLoopbackListener>(
                    port, 0, NextOwnLoopbackAddress().c_str(), backlogs[i]);
                if (!listener->Listening()) {
                    break;
                }
                port = listener->Port();
                m_listeners.push_back(std::move(listener));
            }
        }
    }

    bool Ready(size_t count) const { return m_listeners.size() == count; }
    CLoopbackListener& operator[](size_t i) { return *m_listeners[i]; }
    std::string Host(size_t i) const { return m_listeners[i]->Host(); }
    uint16_t Port() const { return m_listeners.front()->Port(); }

    // A sign behind listener i.
    NamedSign Sign(size_t i, const std::string& name) const {
        NamedSign sign;
        sign.name = name;
        EXPECT_TRUE(SetSignLink(sign, Host(i) + ":" + std::to_string(Port())));
        return sign;
    }

private:
    std::vector<std::unique_ptr<CLoopbackListener>> m_listeners;
};

// Keeps what a plan reports, in the order it comes, and lets a test wait for a count of them.
class CResultLog {
public:
    CSendPlan::ResultCallback Callback() {
        return [this](const SignSendResult& result) {
            const std::lock_guard lock(m_mutex);
            m_results.push_back(result);
            m_changed.notify_all();
        };
    }

    // False when they did not come within the tests' bound.
    bool WaitFor(size_t count) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(kTestWaitMs),
                                  [&] { return m_results.size() >= count; });
    }

    std::vector<std::string> Names() {
        const std::lock_guard lock(m_mutex);
        std::vector<std::string> names;
        for (const SignSendResult& result : m_results) {
            names.push_back(result.name);
        }
        return names;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<SignSendResult> m_results;
};
