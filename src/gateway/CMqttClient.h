#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

// One connection to the broker, through the broker project's own client library, on one network
// thread of the client's own: connects in the background and reconnects by itself, waiting twice
// as long each time up to half a minute, whatever ended the last connection (the library's own
// loop gives up for good on a TLS failure). What happens is told on that thread; publishing and
// subscribing may be done from any.
class CMqttClient {
public:
    struct Options {
        // tcp:// or mqtt://host:port (1883 when left out); ssl:// or mqtts:// (8883) for TLS
        std::string url;
        std::string caFile;    // TLS: whom to trust; empty: the system's authorities
        std::string certFile;  // TLS: the client's own certificate and key, when the broker asks
        std::string keyFile;
        std::string clientId;
        bool cleanSession = false;  // false: the broker keeps what comes while away
        std::string username;
        std::string password;
        std::string willTopic;  // published, retained, by the broker when the connection is lost
        std::string willPayload;
    };
    struct Events {
        std::function<void()> connected;
        std::function<void(const std::string& reason)> lost;  // also a connect that failed
        std::function<void(const std::string& topic, std::string payload, bool retained)> message;
        std::function<void(int id)> published;  // the broker has a publish of QoS 1
    };

    CMqttClient(Options options, Events events);
    // Stops the network thread at once.
    ~CMqttClient();
    CMqttClient(const CMqttClient&) = delete;
    CMqttClient& operator=(const CMqttClient&) = delete;

    // Starts connecting; false with the reason when the options cannot be used.
    bool Start(std::string& error);
    bool Subscribe(const std::string& filter, int qos);
    // `id`, when given, names the publish to the `published` event.
    bool Publish(const std::string& topic, const std::string& payload, int qos, bool retained,
                 int* id = nullptr);
    // Publishes the last words (retained) if connected, disconnects and stops the network thread,
    // waiting `wait` at most for the words to go out. False when the thread was still trying to
    // reach a broker that does not answer: it then ends with the process.
    bool Stop(const std::string& topic, const std::string& payload, std::chrono::milliseconds wait);

private:
    // What the network thread uses, shared with it: a thread left to a broker that does not
    // answer outlives this object, never what it reads.
    class Link;
    std::shared_ptr<Link> m_link;
};
