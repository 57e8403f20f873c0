#include "gateway/CMqttClient.h"

#include <mosquitto.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr int kKeepAliveSeconds = 20;
constexpr unsigned kFirstReconnectSeconds = 1;
constexpr unsigned kLongestReconnectSeconds = 30;
constexpr int kDefaultPort = 1883;

// The library is set up once for the whole program, before the first client.
void InitialiseOnce() {
    static const int initialised = mosquitto_lib_init();
    (void)initialised;
}

// "tcp://host:port" -> host, port.
bool ParseUrl(const std::string& url, std::string& host, int& port, std::string& error) {
    std::string rest = url;
    for (const char* scheme : {"tcp://", "mqtt://"}) {
        if (rest.rfind(scheme, 0) == 0) {
            rest = rest.substr(std::char_traits<char>::length(scheme));
        }
    }
    if (rest.find("://") != std::string::npos) {
        error = "the broker's address " + url + " is not tcp://HOST:PORT";
        return false;
    }
    const size_t colon = rest.rfind(':');
    host = rest.substr(0, colon);
    port = kDefaultPort;
    if (colon != std::string::npos) {
        try {
            port = std::stoi(rest.substr(colon + 1));
        } catch (const std::exception&) {
            port = 0;
        }
    }
    if (host.empty() || port < 1 || port > 65535) {
        error = "the broker's address " + url + " is not tcp://HOST:PORT";
        return false;
    }
    return true;
}

}  // namespace

CMqttClient::CMqttClient(Options options, Events events)
    : m_options(std::move(options)), m_events(std::move(events)) {
    InitialiseOnce();
}

CMqttClient::~CMqttClient() {
    if (m_client != nullptr) {
        if (m_bStarted) {
            mosquitto_disconnect(m_client);
            mosquitto_loop_stop(m_client, false);
        }
        mosquitto_destroy(m_client);
    }
}

bool CMqttClient::Start(std::string& error) {
    std::string host;
    int port = 0;
    if (!ParseUrl(m_options.url, host, port, error)) {
        return false;
    }
    // A session kept by the broker, so that what comes while reconnecting is not lost.
    m_client = mosquitto_new(m_options.clientId.c_str(), false, this);
    if (m_client == nullptr) {
        error = "cannot make an MQTT client";
        return false;
    }
    mosquitto_int_option(m_client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_int_option(m_client, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_reconnect_delay_set(m_client, kFirstReconnectSeconds, kLongestReconnectSeconds, true);
    if (!m_options.willTopic.empty()) {
        mosquitto_will_set(m_client, m_options.willTopic.c_str(),
                           static_cast<int>(m_options.willPayload.size()),
                           m_options.willPayload.data(), 1, true);
    }
    if (!m_options.username.empty()) {
        mosquitto_username_pw_set(m_client, m_options.username.c_str(), m_options.password.c_str());
    }
    mosquitto_connect_callback_set(m_client, &CMqttClient::OnConnect);
    mosquitto_disconnect_callback_set(m_client, &CMqttClient::OnDisconnect);
    mosquitto_publish_callback_set(m_client, &CMqttClient::OnPublish);
    mosquitto_message_callback_set(
        m_client, [](mosquitto*, void* self, const mosquitto_message* message) {
            auto* client = static_cast<CMqttClient*>(self);
            if (!client->m_bQuiet && client->m_events.message) {
                client->m_events.message(message->topic,
                                         std::string(static_cast<const char*>(message->payload),
                                                     static_cast<size_t>(message->payloadlen)),
                                         message->retain);
            }
        });
    if (mosquitto_loop_start(m_client) != MOSQ_ERR_SUCCESS) {
        error = "cannot start the MQTT client's thread";
        return false;
    }
    m_bStarted = true;
    // A broker that is not there yet is tried again by the network thread.
    const int rc = mosquitto_connect_async(m_client, host.c_str(), port, kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS && m_events.lost) {
        m_events.lost(rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc));
    }
    return true;
}

void CMqttClient::OnConnect(mosquitto*, void* self, int rc) {
    auto* client = static_cast<CMqttClient*>(self);
    client->m_bConnected = rc == 0;
    if (client->m_bQuiet) {
        return;
    }
    if (rc == 0) {
        if (client->m_events.connected) {
            client->m_events.connected();
        }
    } else if (client->m_events.lost) {
        client->m_events.lost(mosquitto_connack_string(rc));
    }
}

void CMqttClient::OnDisconnect(mosquitto*, void* self, int rc) {
    auto* client = static_cast<CMqttClient*>(self);
    client->m_bConnected = false;
    if (!client->m_bQuiet && client->m_events.lost) {
        client->m_events.lost(rc == 0 ? "disconnected" : mosquitto_strerror(rc));
    }
}

void CMqttClient::OnPublish(mosquitto*, void* self, int mid) {
    auto* client = static_cast<CMqttClient*>(self);
    if (!client->m_bQuiet && client->m_events.published) {
        client->m_events.published(mid);
    }
    const std::lock_guard lock(client->m_mutex);
    if (mid == client->m_nGoodbyeMid) {
        client->m_bGoodbyeAcked = true;
        client->m_goodbyeDone.notify_all();
    }
}

bool CMqttClient::Subscribe(const std::string& filter, int qos) {
    return m_client != nullptr &&
           mosquitto_subscribe(m_client, nullptr, filter.c_str(), qos) == MOSQ_ERR_SUCCESS;
}

bool CMqttClient::Publish(const std::string& topic, const std::string& payload, int qos,
                          bool retained, int* id) {
    return m_client != nullptr &&
           mosquitto_publish(m_client, id, topic.c_str(), static_cast<int>(payload.size()),
                             payload.data(), qos, retained) == MOSQ_ERR_SUCCESS;
}

bool CMqttClient::Stop(const std::string& topic, const std::string& payload,
                       std::chrono::milliseconds wait) {
    if (m_client == nullptr || !m_bStarted) {
        return true;
    }
    m_bQuiet = true;
    {
        std::unique_lock lock(m_mutex);
        // Without a connection the broker says the last will instead.
        if (m_bConnected && mosquitto_publish(m_client, &m_nGoodbyeMid, topic.c_str(),
                                              static_cast<int>(payload.size()), payload.data(), 1,
                                              true) == MOSQ_ERR_SUCCESS) {
            m_goodbyeDone.wait_for(lock, wait, [&] { return m_bGoodbyeAcked; });
        }
    }
    if (!m_bConnected) {
        // The network thread may be in a connect to a broker that does not answer, which takes
        // minutes to give up: the client is left to the end of the process.
        m_client = nullptr;
        return false;
    }
    mosquitto_disconnect(m_client);
    mosquitto_loop_stop(m_client, false);
    m_bStarted = false;
    return true;
}
