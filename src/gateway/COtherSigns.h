#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "gateway/Clock.h"
#include "settings/MessageFile.h"

inline constexpr size_t kMaxGateways = 64;

// The signs of the other gateways on the broker, as their gateways last published their states:
// the model the signs page and the preview read them from. Fed by the MQTT bridge; on the
// gateway's thread.
class COtherSigns {
public:
    struct Other {
        std::string name;
        QJsonObject state;                         // as its gateway published it
        std::optional<MessageDocument> shown;      // what its state says the sign shows
        int64_t frames = 0;                        // FramesOf(*shown)
        std::optional<MessageDocument> delivered;  // what the sign last took
        int64_t deliveredFrames = 0;               // FramesOf(*delivered)
    };
    struct Gateway {
        bool online = false;
        std::optional<GatewayTime> since;  // none: so before this gateway heard of it
    };

    // A sign's state as its gateway published it; an empty payload: it is gone.
    void Take(const std::string& name, const QByteArray& payload);
    // Names compare as sign names do, without regard to case.
    const Other* Find(const std::string& name) const;
    // By escaped name.
    const std::map<std::string, Other>& All() const { return m_others; }

    // Told of each sign whose state came (gone: no longer in All()).
    void OnChanged(std::function<void(const std::string& name)> changed) {
        m_changed.push_back(std::move(changed));
    }

    // A gateway's status topic, online or not (none: gone from the broker); `since`: when it
    // changed, if known.
    void TakeGateway(const std::string& name, std::optional<bool> online,
                     std::optional<GatewayTime> since);
    // The same from "<name>/status" below <prefix>/gateway/ and its payload; false for another
    // topic.
    bool TakeStatus(const std::string& leaf, const std::string& payload,
                    std::optional<GatewayTime> since);
    const std::map<std::string, Gateway>& Gateways() const { return m_gateways; }
    void OnGatewaysChanged(std::function<void()> changed) {
        m_gatewaysChanged.push_back(std::move(changed));
    }

private:
    std::map<std::string, Other> m_others;
    std::map<std::string, Gateway> m_gateways;
    std::vector<std::function<void()>> m_gatewaysChanged;
    std::vector<std::function<void(const std::string&)>> m_changed;
};
