#include "gateway/CMqttClient.h"

#include <mosquitto.h>

#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "gateway/TlsDiagnosis.h"

namespace {

constexpr int kKeepAliveSeconds = 20;
constexpr std::chrono::milliseconds kFirstReconnectWait{250};
constexpr std::chrono::milliseconds kLongestReconnectWait{30000};
constexpr int kLoopWaitMs = 1000;
constexpr std::chrono::milliseconds kStopConnectWait{200};
constexpr int kDefaultPort = 1883;
constexpr int kDefaultTlsPort = 8883;

// The library is set up once for the whole program, before the first client.
void InitialiseOnce() {
    static const int initialised = mosquitto_lib_init();
    (void)initialised;
}

// "tcp://host:port" -> host, port; "ssl://" and "mqtts://" are TLS.
bool ParseUrl(const std::string& url, std::string& host, int& port, bool& tls, std::string& error) {
    std::string rest = url;
    tls = false;
    for (const char* scheme : {"tcp://", "mqtt://", "ssl://", "mqtts://"}) {
        if (rest.rfind(scheme, 0) == 0) {
            rest = rest.substr(std::char_traits<char>::length(scheme));
            tls = scheme[0] == 's' || std::string(scheme) == "mqtts://";
        }
    }
    const std::string form = " is not tcp://HOST:PORT (or ssl://HOST:PORT for TLS)";
    if (rest.find("://") != std::string::npos) {
        error = "the broker's address " + url + form;
        return false;
    }
    const size_t colon = rest.rfind(':');
    host = rest.substr(0, colon);
    port = tls ? kDefaultTlsPort : kDefaultPort;
    if (colon != std::string::npos) {
        try {
            port = std::stoi(rest.substr(colon + 1));
        } catch (const std::exception&) {
            port = 0;
        }
    }
    if (host.empty() || port < 1 || port > 65535) {
        error = "the broker's address " + url + form;
        return false;
    }
    return true;
}

// A key with a pass phrase is refused rather than asked for on a terminal no one watches.
int NoPassPhrase(char*, int, int, void*) {
    return 0;
}

const char* OrNull(const std::string& text) {
    return text.empty() ? nullptr : text.c_str();
}

}  // namespace

class CMqttClient::Link : public std::enable_shared_from_this<Link> {
public:
    Link(Options options, Events events)
        : m_options(std::move(options)), m_events(std::move(events)) {}
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    bool Start(std::string& error);
    bool Subscribe(const std::string& filter, int qos);
    bool Publish(const std::string& topic, const std::string& payload, int qos, bool retained,
                 int* id);
    bool Stop(const std::string& topic, const std::string& payload, std::chrono::milliseconds wait);
    // Its owner is gone: nothing more is told, and the thread stops as Stop stops it.
    void Close();

private:
    enum class Step { kWaiting, kConnecting, kLooping };
    void Run(const std::string& host, int port);
    void SetStep(Step step);
    // A connect that failed: the reason, a TLS one found out once a spell away.
    std::string Reason(int rc, int systemError);
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnPublish(mosquitto*, void* self, int mid);

    Options m_options;
    Events m_events;
    mosquitto* m_client = nullptr;  // none once stopped
    mosquitto* m_owned = nullptr;   // the client, destroyed with the last of the link
    bool m_bStarted = false;
    std::thread m_thread;
    std::mutex m_stepMutex;  // the thread's step, and the stop
    std::condition_variable m_stepChanged;
    Step m_step = Step::kWaiting;
    std::atomic<bool> m_bStopping{false};
    std::atomic<bool> m_bMadeContact{false};  // connected since the last wait: the next is short
    std::atomic<bool> m_bToldLost{false};     // this try's end told by the library's callbacks
    std::optional<TlsEndpoint> m_tls;
    std::string m_strTlsProblem;  // found for this spell away
    std::atomic<bool> m_bConnected{false};
    std::atomic<bool> m_bQuiet{false};  // stopping: nothing more is told
    std::mutex m_mutex;                 // the last words' acknowledgement
    std::condition_variable m_goodbyeDone;
    int m_nGoodbyeMid = -1;
    bool m_bGoodbyeAcked = false;
};

CMqttClient::CMqttClient(Options options, Events events)
    : m_link(std::make_shared<Link>(std::move(options), std::move(events))) {
    InitialiseOnce();
}

CMqttClient::~CMqttClient() {
    m_link->Close();
}

bool CMqttClient::Start(std::string& error) {
    return m_link->Start(error);
}

bool CMqttClient::Subscribe(const std::string& filter, int qos) {
    return m_link->Subscribe(filter, qos);
}

bool CMqttClient::Publish(const std::string& topic, const std::string& payload, int qos,
                          bool retained, int* id) {
    return m_link->Publish(topic, payload, qos, retained, id);
}

bool CMqttClient::Stop(const std::string& topic, const std::string& payload,
                       std::chrono::milliseconds wait) {
    return m_link->Stop(topic, payload, wait);
}

CMqttClient::Link::~Link() {
    if (m_owned != nullptr) {
        mosquitto_destroy(m_owned);
    }
}

void CMqttClient::Link::Close() {
    if (m_thread.joinable()) {
        m_bQuiet = true;
        Stop({}, {}, std::chrono::milliseconds(0));
    }
}

bool CMqttClient::Link::Start(std::string& error) {
    std::string host;
    int port = 0;
    bool tls = false;
    if (!ParseUrl(m_options.url, host, port, tls, error)) {
        return false;
    }
    m_client = mosquitto_new(m_options.clientId.c_str(), m_options.cleanSession, this);
    m_owned = m_client;
    if (m_client == nullptr) {
        error = "cannot make an MQTT client";
        return false;
    }
    // Publishing from other threads only queues, and wakes this client's own thread.
    mosquitto_threaded_set(m_client, true);
    mosquitto_int_option(m_client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_int_option(m_client, MOSQ_OPT_TCP_NODELAY, 1);
    if (tls) {
        // The server is always verified, its name included.
        if (m_options.caFile.empty()) {
            mosquitto_int_option(m_client, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        }
        const int rc =
            mosquitto_tls_set(m_client, OrNull(m_options.caFile),
                              m_options.caFile.empty() ? X509_get_default_cert_dir() : nullptr,
                              OrNull(m_options.certFile), OrNull(m_options.keyFile), &NoPassPhrase);
        if (rc != MOSQ_ERR_SUCCESS ||
            mosquitto_tls_opts_set(m_client, SSL_VERIFY_PEER, nullptr, nullptr) !=
                MOSQ_ERR_SUCCESS ||
            mosquitto_tls_insecure_set(m_client, false) != MOSQ_ERR_SUCCESS) {
            error = "cannot use TLS with caFile \"" + m_options.caFile + "\", certFile \"" +
                    m_options.certFile + "\" and keyFile \"" + m_options.keyFile +
                    "\": " + mosquitto_strerror(rc);
            return false;
        }
        m_tls = TlsEndpoint{host, port, m_options.caFile, m_options.certFile, m_options.keyFile};
    }
    if (!m_options.willTopic.empty()) {
        mosquitto_will_set(m_client, m_options.willTopic.c_str(),
                           static_cast<int>(m_options.willPayload.size()),
                           m_options.willPayload.data(), 1, true);
    }
    if (!m_options.username.empty()) {
        mosquitto_username_pw_set(m_client, m_options.username.c_str(), m_options.password.c_str());
    }
    mosquitto_connect_callback_set(m_client, &Link::OnConnect);
    mosquitto_disconnect_callback_set(m_client, &Link::OnDisconnect);
    mosquitto_publish_callback_set(m_client, &Link::OnPublish);
    mosquitto_message_callback_set(
        m_client, [](mosquitto*, void* self, const mosquitto_message* message) {
            auto* client = static_cast<Link*>(self);
            if (!client->m_bQuiet && client->m_events.message) {
                client->m_events.message(message->topic,
                                         std::string(static_cast<const char*>(message->payload),
                                                     static_cast<size_t>(message->payloadlen)),
                                         message->retain);
            }
        });
    m_bStarted = true;
    m_thread = std::thread([self = shared_from_this(), host, port] { self->Run(host, port); });
    return true;
}

void CMqttClient::Link::Run(const std::string& host, int port) {
    std::chrono::milliseconds wait = kFirstReconnectWait;
    for (bool first = true;; first = false) {
        {
            const std::lock_guard lock(m_stepMutex);
            if (m_bStopping) {
                return;
            }
            m_step = Step::kConnecting;
        }
        m_stepChanged.notify_all();
        // A broker that does not answer holds this thread for as long as the system's connect
        // waits: a stop then leaves the thread to the end of the process.
        int rc = first ? mosquitto_connect(m_owned, host.c_str(), port, kKeepAliveSeconds)
                       : mosquitto_reconnect(m_owned);
        int systemError = errno;
        SetStep(Step::kLooping);
        m_bToldLost = false;
        if (rc == MOSQ_ERR_SUCCESS) {
            while (!m_bStopping &&
                   (rc = mosquitto_loop(m_owned, kLoopWaitMs, 1)) == MOSQ_ERR_SUCCESS) {
            }
            systemError = errno;
            if (m_bMadeContact.exchange(false)) {
                wait = kFirstReconnectWait;
            }
        }
        // A connection that was made is said lost by the library's own callback; a TLS
        // handshake that fails on the way, or a connect that fails at once, by none.
        if (!m_bStopping && !m_bToldLost && !m_bQuiet && m_events.lost) {
            SetStep(Step::kConnecting);  // finding out a TLS failure connects again
            const std::string reason = Reason(rc, systemError);
            SetStep(Step::kLooping);
            m_events.lost(reason);
        }
        SetStep(Step::kWaiting);
        std::unique_lock lock(m_stepMutex);
        if (m_stepChanged.wait_for(lock, wait, [this] { return m_bStopping.load(); })) {
            return;
        }
        wait = std::min(wait * 2, kLongestReconnectWait);
    }
}

void CMqttClient::Link::SetStep(Step step) {
    {
        const std::lock_guard lock(m_stepMutex);
        m_step = step;
    }
    m_stepChanged.notify_all();
}

std::string CMqttClient::Link::Reason(int rc, int systemError) {
    if (rc == MOSQ_ERR_ERRNO) {
        return std::strerror(systemError);
    }
    if (rc != MOSQ_ERR_TLS || !m_tls) {
        return mosquitto_strerror(rc);
    }
    // Found once a spell away: the certificate does not change between two tries.
    if (m_strTlsProblem.empty()) {
        m_strTlsProblem = DescribeTlsFailure(*m_tls);
        if (m_strTlsProblem.empty()) {
            return mosquitto_strerror(rc);
        }
    }
    return m_strTlsProblem;
}

void CMqttClient::Link::OnConnect(mosquitto*, void* self, int rc) {
    auto* client = static_cast<Link*>(self);
    client->m_bConnected = rc == 0;
    if (rc == 0) {
        client->m_strTlsProblem.clear();
        client->m_bMadeContact = true;
    }
    if (client->m_bQuiet) {
        return;
    }
    if (rc == 0) {
        if (client->m_events.connected) {
            client->m_events.connected();
        }
    } else if (client->m_events.lost) {
        client->m_bToldLost = true;
        client->m_events.lost(mosquitto_connack_string(rc));
    }
}

void CMqttClient::Link::OnDisconnect(mosquitto*, void* self, int rc) {
    auto* client = static_cast<Link*>(self);
    client->m_bConnected = false;
    if (!client->m_bQuiet && client->m_events.lost) {
        client->m_bToldLost = true;
        client->m_events.lost(rc == 0 ? "disconnected" : mosquitto_strerror(rc));
    }
}

void CMqttClient::Link::OnPublish(mosquitto*, void* self, int mid) {
    auto* client = static_cast<Link*>(self);
    if (!client->m_bQuiet && client->m_events.published) {
        client->m_events.published(mid);
    }
    const std::lock_guard lock(client->m_mutex);
    if (mid == client->m_nGoodbyeMid) {
        client->m_bGoodbyeAcked = true;
        client->m_goodbyeDone.notify_all();
    }
}

bool CMqttClient::Link::Subscribe(const std::string& filter, int qos) {
    return m_client != nullptr &&
           mosquitto_subscribe(m_client, nullptr, filter.c_str(), qos) == MOSQ_ERR_SUCCESS;
}

bool CMqttClient::Link::Publish(const std::string& topic, const std::string& payload, int qos,
                                bool retained, int* id) {
    return m_client != nullptr &&
           mosquitto_publish(m_client, id, topic.c_str(), static_cast<int>(payload.size()),
                             payload.data(), qos, retained) == MOSQ_ERR_SUCCESS;
}

bool CMqttClient::Link::Stop(const std::string& topic, const std::string& payload,
                             std::chrono::milliseconds wait) {
    if (m_client == nullptr || !m_bStarted) {
        return true;
    }
    m_bQuiet = true;
    if (!topic.empty()) {
        std::unique_lock lock(m_mutex);
        // Without a connection the broker says the last will instead.
        if (m_bConnected && mosquitto_publish(m_client, &m_nGoodbyeMid, topic.c_str(),
                                              static_cast<int>(payload.size()), payload.data(), 1,
                                              true) == MOSQ_ERR_SUCCESS) {
            m_goodbyeDone.wait_for(lock, wait, [&] { return m_bGoodbyeAcked; });
        }
    }
    bool connecting = false;
    {
        std::unique_lock lock(m_stepMutex);
        m_bStopping = true;
        // A connect to a broker that answers ends at once; one that does not takes minutes.
        connecting = !m_stepChanged.wait_for(lock, kStopConnectWait,
                                             [this] { return m_step != Step::kConnecting; });
    }
    m_stepChanged.notify_all();
    m_bStarted = false;
    if (connecting) {
        // The client is left to its thread, which ends with the process.
        m_thread.detach();
        m_client = nullptr;
        return false;
    }
    mosquitto_disconnect(m_client);
    m_thread.join();
    return true;
}
