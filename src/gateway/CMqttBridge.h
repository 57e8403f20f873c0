#pragma once

#include <QObject>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gateway/CDirector.h"
#include "gateway/CMqttOutbox.h"
#include "gateway/GatewayResult.h"
#include "gateway/SignForwarder.h"
#include "settings/SignsFile.h"

namespace mqtt {
class async_client;
}

class CGatewayCore;
class CMqttCallback;

// A message from the broker: its payload, and whether the broker kept it (a retained one, given
// on subscribing).
struct MqttArrival {
    std::string payload;
    bool retained = false;
};
class CConnectListener;

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
    // allSigns: every sign of signs.json, this gateway's and the others'.
    CMqttBridge(CGatewayCore& core, const std::vector<NamedSign>& allSigns,
                QObject* parent = nullptr);
    ~CMqttBridge() override;

    // Connects in the background and keeps reconnecting; never waits for the broker.
    void Start();
    // Publishes "offline" and disconnects, waiting a moment at most.
    void Stop();

private:
    // A live value set here goes to the other gateways.
    void PublishVariable(const std::string& name, const std::string& value);
    void PublishDesired(const SignState& state);
    friend class CMqttCallback;
    friend class CConnectListener;
    void SignChanged(const SignState& state) override;
    void DesiredChanged(const SignState& state) override;
    void OnConnected();
    void OnConnectionLost();
    // One attempt to connect; a failed one, or a lost connection, tries again after a delay that
    // doubles up to half a minute.
    void Connect();
    void ConnectLater();
    void Subscribe();
    void TakeMessages();
    void OnMessage(const std::string& topic, const MqttArrival& arrival);
    void OnSignMessage(const std::string& key, const std::string& leaf, const MqttArrival& arrival);
    // Says a refusal on the sign's error topic; what is another gateway's to answer says nothing.
    void Answer(const std::string& key, const GatewayResult& result);
    void Publish(const std::string& topic, const std::string& payload, bool retained);
    std::string Topic(const std::string& key, const char* leaf) const;

    CGatewayCore& m_core;
    std::string m_strPrefix;
    std::string m_strStatusTopic;
    std::map<std::string, std::string> m_allSigns;  // escaped name -> name
    std::unique_ptr<mqtt::async_client> m_client;
    std::unique_ptr<CMqttCallback> m_callback;
    std::unique_ptr<CConnectListener> m_connectListener;
    std::chrono::milliseconds m_reconnectDelay;
    std::unique_ptr<CMqttOutbox> m_outbox;  // gone before the client
};
