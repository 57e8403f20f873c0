#pragma once

// A real Mosquitto on loopback for the gateway's broker tests, and the tests' own client of it.
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <condition_variable>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "GatewayTestSupport.h"
#include "gateway/CMqttClient.h"

// A sign on a port where nothing answers: its sends only fail and retry, and what is desired of it
// is what a test looks at.
inline NamedSign SilentSign(const std::string& name) {
    NamedSign sign;
    sign.name = name;
    EXPECT_TRUE(SetSignLink(sign, "127.0.0.1:1"));
    return sign;
}

inline constexpr int kTestQos = 1;

// Mosquitto on a port of its own, with a configuration the test writes; what it retains outlives
// a stop and a start, as a plant's broker's does.
class CBroker {
public:
    // extra: more of the configuration, listeners of TLS say.
    explicit CBroker(const CTempFolder& folder, const std::string& extra = {})
        : m_folder(folder), m_nPort(FreeLoopbackPort()) {
        const passwd* user = getpwuid(getuid());
        m_strConfig = m_folder.Write(
            "mosquitto.conf", "per_listener_settings false\nallow_anonymous true\n" +
                                  std::string("persistence true\npersistence_location ") +
                                  m_folder.Path() + "/\nuser " + (user ? user->pw_name : "nobody") +
                                  "\nlistener " + std::to_string(m_nPort) + " 127.0.0.1\n" + extra);
        Start();
    }
    void Start() {
        m_process = std::make_unique<CChildProcess>(
            LUMIVEX_MOSQUITTO_PATH, std::vector<std::string>{"-c", m_strConfig, "-v"});
        m_bRunning = !m_process->WaitForLine("running").empty();
    }
    void Stop() { m_process->Signal(SIGTERM); }
    // Gone at once, as a broker that crashes: nothing said, nothing more written.
    void Kill() { m_process->Signal(SIGKILL); }
    bool Running() const { return m_bRunning; }
    std::string Url() const { return "tcp://127.0.0.1:" + std::to_string(m_nPort); }

private:
    const CTempFolder& m_folder;
    uint16_t m_nPort;
    std::string m_strConfig;
    std::unique_ptr<CChildProcess> m_process;
    bool m_bRunning = false;
};

// The test's own client: publishes, and keeps the last payload of every topic it hears.
class CTestClient {
public:
    // caFile: for a broker over TLS, whom to trust; empty: the system's authorities.
    explicit CTestClient(const std::string& url, const std::string& caFile = {}) {
        CMqttClient::Events events;
        events.connected = [this] { Note([&] { m_bConnected = true; }); };
        events.lost = [this](const std::string& why) {
            Note([&] { m_strLost = m_strLost.empty() ? why : m_strLost; });
        };
        events.message = [this](const std::string& topic, std::string payload, bool) {
            Note([&] { m_last[topic] = std::move(payload); });
        };
        events.published = [this](int id) { Note([&] { m_published.insert(id); }); };
        CMqttClient::Options options;
        options.url = url;
        options.caFile = caFile;
        options.clientId =
            "lumivex-test-" + std::to_string(getpid()) + "-" + std::to_string(++s_nClients);
        m_client = std::make_unique<CMqttClient>(std::move(options), std::move(events));
        std::string error;
        m_client->Start(error);
    }
    ~CTestClient() {
        if (!m_client->Stop({}, {}, std::chrono::milliseconds(0))) {
            (void)m_client.release();  // still connecting: its thread ends with the process
        }
    }
    bool Connected() {
        return Wait([&] { return m_bConnected; });
    }
    // "connected", or the first reason a connect failed; "" after the tests' bound.
    std::string Outcome() {
        Wait([&] { return m_bConnected || !m_strLost.empty(); });
        const std::lock_guard lock(m_mutex);
        return m_bConnected ? "connected" : m_strLost;
    }
    void Subscribe(const std::string& filter) { m_client->Subscribe(filter, kTestQos); }
    // Returns once the broker has it.
    void Publish(const std::string& topic, const std::string& payload, bool retained = false) {
        int id = 0;
        {
            // Held, so that the acknowledgement waits until the id is known.
            const std::lock_guard lock(m_mutex);
            m_client->Publish(topic, payload, kTestQos, retained, &id);
        }
        Wait([&] { return m_published.count(id) != 0; });
    }
    // Waits until the topic's last payload satisfies the test; that payload, or "" after the bound.
    std::string WaitFor(const std::string& topic,
                        const std::function<bool(const std::string&)>& good) {
        std::string found;
        Wait([&] {
            const auto it = m_last.find(topic);
            if (it != m_last.end() && good(it->second)) {
                found = it->second;
                return true;
            }
            return false;
        });
        return found;
    }
    // Publishes and goes on: the broker may be gone before it has it.
    void Post(const std::string& topic, const std::string& payload, bool retained = false) {
        m_client->Publish(topic, payload, kTestQos, retained);
    }
    // The topic's last payload so far, or "".
    std::string Last(const std::string& topic) {
        const std::lock_guard lock(m_mutex);
        const auto it = m_last.find(topic);
        return it == m_last.end() ? std::string() : it->second;
    }
    // Waits until the topic's retained message is removed (an empty payload comes).
    bool WaitForRemoval(const std::string& topic) {
        return Wait([&] {
            const auto it = m_last.find(topic);
            return it != m_last.end() && it->second.empty();
        });
    }

private:
    void Note(const std::function<void()>& change) {
        const std::lock_guard lock(m_mutex);
        change();
        m_changed.notify_all();
    }
    bool Wait(const std::function<bool()>& done) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(kTestWaitMs), done);
    }

    static inline int s_nClients = 0;
    std::unique_ptr<CMqttClient> m_client;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_bConnected = false;
    std::string m_strLost;
    std::set<int> m_published;
    std::map<std::string, std::string> m_last;
};

// Reads the sign's connections until one brings `bytes`, for the tests' bound: a send given way to
// a newer one may bring an older message, or nothing, first.
inline std::future<bool> Receives(CLoopbackListener& sign, std::string bytes) {
    return std::async(std::launch::async, [&sign, bytes] {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kTestWaitMs);
        do {
            if (sign.AcceptAndReadAsync().get() == bytes) {
                return true;
            }
        } while (std::chrono::steady_clock::now() < deadline);
        return false;
    });
}

inline auto Holds(const std::string& text) {
    return [text](const std::string& payload) { return payload.find(text) != std::string::npos; };
}
