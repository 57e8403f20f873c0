#include "gateway/COtherSigns.h"

#include <QJsonDocument>

#include "gateway/PanelFrames.h"
#include "gateway/SafeName.h"

void COtherSigns::Take(const std::string& name, const QByteArray& payload) {
    const QJsonObject state = QJsonDocument::fromJson(payload).object();
    const std::string key = EscapeName(name);
    if (state.isEmpty()) {
        m_others.erase(key);
    } else {
        Other& other = m_others[key];
        const std::optional<MessageDocument> before = std::move(other.shown);
        other.name = name;
        other.state = state;
        other.shown.reset();
        // A state of an older gateway names only the desired message, and one of a newer gateway
        // may hold what this one cannot read: either is shown without a panel.
        if (state.value("shown").isObject()) {
            try {
                other.shown = MessageFromJsonObject(state.value("shown").toObject());
            } catch (const CMessageFileError&) {
            }
        }
        if (other.shown && other.shown != before) {
            other.frames = FramesOf(*other.shown);
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
