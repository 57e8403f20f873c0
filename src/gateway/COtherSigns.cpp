#include "gateway/COtherSigns.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include "gateway/PanelFrames.h"
#include "gateway/SafeName.h"

namespace {

// A gateway's status: {"state": "online", ...}, or the plain word of older gateways.
bool StatusSaysOnline(const std::string& payload) {
    const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(payload)).object();
    return object.isEmpty() ? payload == "online" : object.value("state") == "online";
}

std::optional<MessageDocument> MessageOf(const QJsonValue& value) {
    if (value.isObject()) {
        try {
            return MessageFromJsonObject(value.toObject());
        } catch (const CMessageFileError&) {
        }
    }
    return std::nullopt;
}

}  // namespace

void COtherSigns::Take(const std::string& name, const QByteArray& payload) {
    const QJsonObject state = QJsonDocument::fromJson(payload).object();
    const std::string key = EscapeName(name);
    if (state.isEmpty()) {
        m_others.erase(key);
    } else {
        Other& other = m_others[key];
        const std::optional<MessageDocument> before = std::move(other.shown);
        const std::optional<MessageDocument> took = std::move(other.delivered);
        other.name = name;
        other.state = state;
        // A state of an older gateway names only the desired message, and one of a newer gateway
        // may hold what this one cannot read: either is shown without a panel.
        other.shown = MessageOf(state.value("shown"));
        other.delivered = MessageOf(state.value("delivered"));
        if (other.shown && other.shown != before) {
            other.frames = FramesOf(*other.shown);
        }
        if (other.delivered && other.delivered != took) {
            other.deliveredFrames = FramesOf(*other.delivered);
        }
    }
    for (const auto& changed : m_changed) {
        changed(name);
    }
}

const COtherSigns::Other* COtherSigns::Find(const std::string& name) const {
    const auto found = m_others.find(EscapeName(name));
    return found == m_others.end() ? nullptr : &found->second;
}

void COtherSigns::TakeGateway(const std::string& name, std::optional<bool> online,
                              std::optional<GatewayTime> since) {
    const auto known = m_gateways.find(name);
    if (!online) {
        if (known == m_gateways.end()) {
            return;
        }
        m_gateways.erase(known);
    } else {
        if (known != m_gateways.end() && known->second.online == *online) {
            return;  // said again (a reconnect of this one): it has been so all along
        }
        if (known == m_gateways.end() && m_gateways.size() >= kMaxGateways) {
            return;  // a broker full of status topics costs no more than this
        }
        m_gateways[name] = {*online, since};
    }
    for (const auto& changed : m_gatewaysChanged) {
        changed();
    }
}

bool COtherSigns::TakeStatus(const std::string& leaf, const std::string& payload,
                             std::optional<GatewayTime> since) {
    const size_t slash = leaf.find('/');
    if (slash == 0 || slash == std::string::npos || leaf.substr(slash) != "/status") {
        return false;
    }
    // Its name as its topic level gives it.
    TakeGateway(
        QUrl::fromPercentEncoding(QByteArray::fromStdString(leaf.substr(0, slash))).toStdString(),
        payload.empty() ? std::nullopt : std::optional(StatusSaysOnline(payload)), since);
    return true;
}
