#pragma once

#include <QObject>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "fleet/SignSelection.h"
#include "gateway/CDirector.h"
#include "gateway/CMqttClient.h"
#include "gateway/CMqttOutbox.h"
#include "gateway/GatewayResult.h"
#include "gateway/SignForwarder.h"
#include "settings/SignsFile.h"

class CGatewayCore;

// A message from the broker: its payload, and whether the broker kept it (a retained one, given
// on subscribing).
struct MqttArrival {
    std::string payload;
    bool retained = false;
};
// The gateway on the plant's broker. Takes a sign's desired message from
// <prefix>/<sign>/message/set (a message JSON, or plain text for one line of red), a notice from
// <prefix>/<sign>/notify and live values from <prefix>/vars/<var>, each as a command from the
// broker; publishes each sign's state, retained, to <prefix>/<sign>/state and this gateway's
// "online" / "offline" (its last will) to <prefix>/gateway/<name>/status. A sign's topic level is
// its escaped name. Everything but the client's own threads runs on the gateway's thread.
//
// Several gateways share a broker: the set topic, retained, holds each sign's desired message, so
// work for a sign of another gateway is published there for its own gateway to take, and a gateway
// that starts in another's place finds the desired state waiting.
class CMqttBridge : public QObject, private IDirectorListener {
public:
    // allSigns: every sign of signs.json, this gateway's and the others'; pageUrl: where the
    // signs page is, for Home Assistant's devices.
    CMqttBridge(CGatewayCore& core, const std::vector<NamedSign>& allSigns, std::string pageUrl,
                QObject* parent = nullptr);
    ~CMqttBridge() override;

    // Connects in the background and keeps reconnecting; never waits for the broker.
    void Start();
    // Publishes "offline" and disconnects, waiting a moment at most; false when the client was
    // left to the end of the process (a connect to a broker that does not answer).
    bool Stop();
    // signs.json read again: its signs' topics, and Home Assistant's entries of this gateway's.
    void Reload(const std::vector<NamedSign>& allSigns);

private:
    // A live value set here goes to the other gateways.
    void PublishVariable(const std::string& name, const std::string& value);
    void PublishDesired(const SignState& state);
    void SignChanged(const SignState& state) override;
    void DesiredChanged(const SignState& state) override;
    void OnConnected();
    void OnConnectionLost(const std::string& reason);
    void Subscribe();
    // From the client's thread.
    void Arrived(const std::string& topic, MqttArrival arrival);
    void TellOutbox(bool connected);
    void TakeMessages();
    void OnMessage(const std::string& topic, const MqttArrival& arrival);
    void OnSignMessage(const std::string& key, const std::string& leaf, const MqttArrival& arrival);
    // <prefix>/all/message/set and <prefix>/tag/<tag>/message/set: each gateway takes its own
    // signs' part.
    void OnManyMessage(const SignSelection& selection, const std::string& errorTopic,
                       const MqttArrival& arrival);
    void ClearIfOnceOurs(const std::string& key, const std::string& state);
    void TakeOtherState(const std::string& key, const std::string& name,
                        const std::string& payload);
    // The reply, first recording a write that came as it was published.
    using Reply = std::function<void(const GatewayResult&)>;
    Reply Audit(const std::string& leaf, const std::string& target, const MqttArrival& arrival,
                Reply reply);
    // Says a refusal on the sign's error topic; what is another gateway's to answer says nothing.
    void Answer(const std::string& key, const GatewayResult& result);
    void Publish(const std::string& topic, const std::string& payload, bool retained);
    std::string Topic(const std::string& key, const char* leaf) const;

    CGatewayCore& m_core;
    std::string m_strPrefix;
    std::string m_strStatusTopic;
    std::string m_strPageUrl;
    std::map<std::string, std::string> m_allSigns;  // escaped name -> name
    std::map<std::string, std::string> m_allTags;   // escaped tag -> tag
    std::unique_ptr<CMqttClient> m_client;
    std::mutex m_outboxMutex;  // the outbox, gone before the client
    std::unique_ptr<CMqttOutbox> m_outbox;
    std::mutex m_mutex;  // the messages that wait for the gateway's thread
    std::map<std::string, MqttArrival> m_pending;  // topic -> its latest
    bool m_bWasConnected = false;
    void Learn(const std::vector<NamedSign>& allSigns);
    void PublishDiscovery();
    bool m_bToldAway = false;
    // Other gateways' states, taken at most once a second a sign.
    struct OtherState {
        GatewayTime taken{};
        std::string pending;
        IClock::WakeId wake = 0;
    };
    std::map<std::string, OtherState> m_otherStates;  // by key
};
