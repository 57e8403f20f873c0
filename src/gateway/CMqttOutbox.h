#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One message for the broker.
struct OutboxMessage {
    std::string topic;
    std::string payload;
    bool retained = false;

    bool operator==(const OutboxMessage&) const = default;
};

// Messages waiting for the broker, in the order they came; of a retained topic only the latest
// waits (the broker keeps no more than that either), in the place of the first.
class OutboxQueue {
public:
    void Add(OutboxMessage message);
    std::vector<OutboxMessage> Take();
    bool Empty() const { return m_messages.empty(); }

private:
    std::vector<OutboxMessage> m_messages;
    std::map<std::string, size_t> m_retainedAt;  // topic -> its place in m_messages
};

// Hands messages to the MQTT client on a thread of its own: the client's calls wait for its lock,
// held while its own threads talk to the broker, and the gateway's thread must not wait with them.
// Messages wait here while the broker is away, not in the client: the client's own buffer for a
// lost connection freed a message one of its threads still read as it reconnected.
class CMqttOutbox {
public:
    using Publisher = std::function<void(const OutboxMessage&)>;

    explicit CMqttOutbox(Publisher publish);
    // Hands on what waits when connected, then stops.
    ~CMqttOutbox();
    CMqttOutbox(const CMqttOutbox&) = delete;
    CMqttOutbox& operator=(const CMqttOutbox&) = delete;

    // From any thread.
    void Post(OutboxMessage message);
    // Whether the client is connected; it starts without. From the client's own callbacks, so
    // that nothing is handed on after the connection is known lost.
    void SetConnected(bool connected);

private:
    Publisher m_publish;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    OutboxQueue m_queue;
    bool m_bStop = false;
    bool m_bConnected = false;
    std::thread m_thread;
};
