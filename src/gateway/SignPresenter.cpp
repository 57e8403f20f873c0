#include "gateway/SignPresenter.h"

#include <QJsonArray>
#include <algorithm>

#include "fleet/SignEndpoint.h"
#include "fleet/SignReport.h"
#include "gateway/PanelFrames.h"
#include "preview/PreviewLayout.h"
#include "preview/SignModel.h"

namespace {

QJsonArray TextList(const auto& texts) {
    QJsonArray list;
    for (const std::string& text : texts) {
        list.append(QString::fromStdString(text));
    }
    return list;
}

QJsonValue TimeValue(std::optional<GatewayTime> time) {
    return time ? QJsonValue(QString::fromStdString(IsoTimeText(*time))) : QJsonValue("");
}

const char* ShowingText(Showing showing) {
    switch (showing) {
        case Showing::kAlert:
            return "alert";
        case Showing::kSchedule:
            return "schedule";
        case Showing::kDesired:
            return "desired";
        case Showing::kNothing:
            break;
    }
    return "nothing";
}

const char* WaitingText(WaitingFor waiting) {
    switch (waiting) {
        case WaitingFor::kSend:
            return "send";
        case WaitingFor::kRetry:
            return "retry";
        case WaitingFor::kValues:
            return "values";
        case WaitingFor::kNothing:
            break;
    }
    return "nothing";
}

QJsonObject PanelSize(const MessageDocument& message) {
    const AreaSize area = GetWholeSignArea(message.settings.signModel);
    return QJsonObject{{"width", area.width}, {"height", area.height}};
}

void AddPanel(QJsonObject& card, const MessageDocument& shown, int64_t frames,
              const CardPanel& delivered) {
    card["frames"] = static_cast<qint64>(frames);
    card["panelVersion"] = QString::fromStdString(PanelVersion(shown));
    card["panel"] = PanelSize(shown);
    if (delivered.message) {
        QJsonObject panel = PanelSize(*delivered.message);
        panel["version"] = QString::fromStdString(PanelVersion(*delivered.message));
        panel["frames"] = static_cast<qint64>(delivered.frames);
        panel["text"] = ShownText(*delivered.message);
        card["deliveredPanel"] = panel;
    }
}

}  // namespace

QJsonObject AlertJson(const Alert& alert) {
    QJsonObject object{{"key", QString::fromStdString(alert.key)},
                       {"priority", alert.priority},
                       {"since", TimeValue(alert.since)},
                       {"text", ShownText(alert.message).section(QStringLiteral(" / "), 0, 0)}};
    if (alert.until) {
        object["until"] = TimeValue(alert.until);
    }
    return object;
}

QJsonArray AlertsJson(const std::vector<SignState>& signs) {
    std::vector<std::pair<const SignState*, const Alert*>> all;
    for (const SignState& state : signs) {
        for (const Alert& alert : state.alerts.All()) {
            all.emplace_back(&state, &alert);
        }
    }
    std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) {
        return a.second->since < b.second->since;
    });
    QJsonArray list;
    for (const auto& [state, alert] : all) {
        QJsonObject object = AlertJson(*alert);
        object["sign"] = QString::fromStdString(state->sign.name);
        object["on"] = state->alerts.On() == alert;
        list.append(object);
    }
    return list;
}

QJsonObject SignStateJson(const SignState& state, const std::optional<MessageDocument>& shown,
                          const std::string& gateway) {
    QJsonObject object;
    object["name"] = QString::fromStdString(state.sign.name);
    object["link"] = QString::fromStdString(SignLinkDescription(state.sign));
    object["address"] = QString::fromStdString(SignAddressDescription(state.sign));
    object["tags"] = TextList(state.sign.tags);
    object["gateway"] = QString::fromStdString(gateway);
    object["desired"] = state.desired ? MessageToJsonObject(*state.desired) : QJsonValue();
    object["desiredSetAt"] =
        TimeValue(state.desired ? std::optional(state.stamp.setAt) : std::nullopt);
    if (state.desired) {
        QJsonObject stamp;
        WriteStamp(stamp, state.stamp);
        object["stamp"] = stamp;
    }
    if (state.playlist.size() > 1) {
        // Which entry of the playlist is on, and till when.
        const PlayEntry& entry = state.playlist[state.playing];
        QJsonObject playing{{"entry", static_cast<int>(state.playing) + 1},
                            {"of", static_cast<int>(state.playlist.size())},
                            {"seconds", static_cast<int>(entry.seconds.count())},
                            {"since", TimeValue(state.playingSince)},
                            {"until", TimeValue(state.playingSince + entry.seconds)}};
        if (!entry.name.empty()) {
            playing["name"] = QString::fromStdString(entry.name);
        }
        object["playing"] = playing;
    }
    object["shown"] = shown ? MessageToJsonObject(*shown) : QJsonValue();
    // Kept and sent all the same: the sign shows what fits, as the preview does.
    const std::string leftOut = shown ? DescribeLeftOut(shown->lines, shown->settings,
                                                        GetSignModel(shown->settings.signModel))
                                      : std::string();
    if (!leftOut.empty()) {
        object["leftOut"] = QString::fromStdString(leftOut);
    }
    object["showing"] = ShowingText(state.Shows());
    const Alert* on = state.alerts.On();
    object["alert"] = on != nullptr ? AlertJson(*on) : QJsonValue();
    QJsonArray alerts;
    for (const Alert& alert : state.alerts.All()) {
        alerts.append(AlertJson(alert));
    }
    object["alerts"] = alerts;
    if (state.scheduleRule) {
        object["schedule"] = static_cast<int>(*state.scheduleRule);
    }
    if (state.last) {
        object["lastOutcome"] =
            QJsonObject{{"delivered", state.last->outcome.Delivered()},
                        {"confirmed", state.last->outcome.confirmed},
                        {"text", QString::fromStdString(SignSendState(*state.last))},
                        {"at", TimeValue(state.lastAt)}};
    } else {
        object["lastOutcome"] = QJsonValue();
    }
    object["deliveredAt"] = state.deliveredAt ? TimeValue(state.deliveredAt) : QJsonValue();
    object["delivered"] = state.delivered ? MessageToJsonObject(*state.delivered) : QJsonValue();
    object["missing"] = TextList(state.shown.missing);
    object["waitingFor"] = WaitingText(state.Waits());
    if (state.nextTry) {
        object["nextTryAt"] = TimeValue(state.nextTry);
    }
    return object;
}

QJsonObject CardJson(QJsonObject state, const CardPanel& shown, const CardPanel& delivered) {
    if (shown.message) {
        AddPanel(state, *shown.message, shown.frames, delivered);
        state["text"] = ShownText(*shown.message);
    }
    return state;
}

QJsonObject OtherCardJson(const std::string& name, const COtherSigns::Other* other) {
    const QString shownName = QString::fromStdString(name);
    if (other == nullptr) {
        return QJsonObject{{"name", shownName}, {"gone", true}};
    }
    QJsonObject card = other->state;
    card["name"] = shownName;
    card["other"] = true;
    if (other->shown) {
        AddPanel(card, *other->shown, other->frames, {other->delivered, other->deliveredFrames});
        card["text"] = ShownText(*other->shown);
    } else if (other->state.value("desired").isObject()) {
        // A state of an older gateway names only the desired message: its words, without a panel.
        try {
            card["text"] =
                ShownText(MessageFromJsonObject(other->state.value("desired").toObject()));
        } catch (const CMessageFileError&) {
        }
    }
    return card;
}

QJsonArray GatewaysJson(const COtherSigns& others) {
    QJsonArray list;
    for (const auto& [name, gateway] : others.Gateways()) {
        list.append(
            QJsonObject{{"name", QString::fromStdString(name)},
                        {"online", gateway.online},
                        {"since", gateway.since ? TimeValue(gateway.since) : QJsonValue()}});
    }
    return list;
}
