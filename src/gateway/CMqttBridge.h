#pragma once

#include <QObject>
#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "gateway/CHttpApi.h"
#include "gateway/CMqttOutbox.h"
#include "settings/SignsFile.h"

namespace mqtt {
class async_client;
}

class CGateway;
class CMqttCallback;
class CConnectListener;

// The gateway on the plant's broker. Takes a sign's desired message from
// <prefix>/<sign>/message/set (a message JSON, or plain text for one line of red), a notice from
// <prefix>/<sign>/notify and live values from <prefix>/vars/<var>; publishes each sign's state,
// retained, to <prefix>/<sign>/state and this gateway's "online" / "offline" (its last will) to
// <prefix>/gateway/<name>/status. A sign's topic level is its escaped name. Everything but the
// client's own threads runs on the gateway's thread.
//
// Several gateways share a broker: the set topic, retained, holds each sign's desired message, so
// work for a sign of another gateway is published there for its own gateway to take, and a gateway
// that starts in another's place finds the desired state waiting.
class CMqttBridge : public QObject, public ISignForwarder {
    Q_OBJECT
public:
    // allSigns: every sign of signs.json, this gateway's and the others'.
    CMqttBridge(CGateway& gateway, const std::vector<NamedSign>& allSigns,
                QObject* parent = nullptr);
    ~CMqttBridge() override;

    // Connects in the background and keeps reconnecting; never waits for the broker.
    void Start();
    // Publishes "offline" and disconnects, waiting a moment at most.
    void Stop();

    bool Knows(const std::string& name) const override;
    bool Forward(const std::string& name, const MessageDocument& message) override;
    void ShareVariable(const std::string& name, const std::string& value) override;

signals:
    // A sign of another gateway published its state (the JSON of its GET /api/signs/{name});
    // empty when the retained state was cleared.
    void OtherSignState(const QString& name, const QByteArray& state);

private:
    friend class CMqttCallback;
    friend class CConnectListener;
    void OnConnected();
    void OnConnectionLost();
    // One attempt to connect; a failed one, or a lost connection, tries again after a delay that
    // doubles up to half a minute.
    void Connect();
    void ConnectLater();
    void TakeMessages();
    void OnMessage(const std::string& topic, const std::string& payload);
    void PublishState(const QString& name);
    // Home Assistant discovery: the sign as a text entity (its command sets a one-line message)
    // and a sensor of its last outcome.
    void PublishDiscovery(const std::string& name);
    void OnDiscoveryEntry(const std::string& topic, const std::string& payload);
    std::string DiscoveryObject(const std::string& name) const;
    void PublishError(const std::string& key, const std::string& json);
    void Publish(const std::string& topic, const std::string& payload, bool retained);
    std::string Topic(const std::string& key, const char* leaf) const;

    CGateway& m_gateway;
    std::string m_strPrefix;
    std::string m_strStatusTopic;
    std::map<std::string, std::string> m_allSigns;  // escaped name -> name
    std::unique_ptr<mqtt::async_client> m_client;
    std::unique_ptr<CMqttCallback> m_callback;
    std::unique_ptr<CConnectListener> m_connectListener;
    std::chrono::milliseconds m_reconnectDelay;
    std::unique_ptr<CMqttOutbox> m_outbox;  // gone before the client
    // What this gateway last published to each sign's set topic, to know it when it comes back.
    std::map<std::string, std::string> m_echoes;
    // The messages (JSON) taken from each sign's set topic and being kept: they are there
    // already, so one is not published back when it becomes the desired message.
    std::map<std::string, std::multiset<std::string>> m_taken;
};
