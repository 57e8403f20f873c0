#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "gateway/TlsDiagnosis.h"

struct mosquitto;

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
    mosquitto* m_client = nullptr;
    bool m_bStarted = false;
    std::thread m_thread;
    std::mutex m_stepMutex;  // the thread's step, and the stop
    std::condition_variable m_stepChanged;
    Step m_step = Step::kWaiting;
    std::atomic<bool> m_bStopping{false};
    std::atomic<bool> m_bMadeContact{false};
    std::atomic<bool> m_bToldLost{false};  // this try's end told by the library's callbacks  //
                                           // connected since the last wait: the next is short
    std::optional<TlsEndpoint> m_tls;
    std::string m_strTlsProblem;  // found for this spell away
    std::atomic<bool> m_bConnected{false};
    std::atomic<bool> m_bQuiet{false};  // stopping: nothing more is told
    std::mutex m_mutex;                 // the last words' acknowledgement
    std::condition_variable m_goodbyeDone;
    int m_nGoodbyeMid = -1;
    bool m_bGoodbyeAcked = false;
};
