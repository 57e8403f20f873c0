// The commands that reach many signs at once, and alerts.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <memory>

#include "gateway/CCommands.h"
#include "gateway/SafeName.h"

namespace {

// A notice is an alert of the middle priority: an andon alert above it stays on.
constexpr int kNoticePriority = kDefaultAlertPriority;
constexpr const char* kNoticeKeyHead = "notice-";

// A sign's alert in the state journal.
std::string AlertPath(const std::string& signKey, const std::string& key) {
    return "alerts/" + signKey + "/" + key + ".json";
}
// An alert handed on to another gateway's sign, until that gateway has it.
constexpr const char* kForwardedAlertsFolder = "forward-alerts/";
std::string ForwardedAlertPath(const std::string& id) {
    return kForwardedAlertsFolder + id + ".json";
}

std::vector<std::string> NamesOf(const std::vector<NamedSign>& signs) {
    std::vector<std::string> names;
    for (const NamedSign& sign : signs) {
        names.push_back(sign.name);
    }
    return names;
}

}  // namespace

Result<std::vector<NamedSign>> CCommands::Choose(const SignSelection& selection,
                                                 Origin origin) const {
    // Without a broker only this gateway's signs can be reached; from the broker, every gateway
    // takes its own.
    std::vector<NamedSign> reachable;
    for (const NamedSign& sign : m_allSigns) {
        if ((m_forwarding && origin == Origin::kApi) || m_director.Find(sign.name) != nullptr) {
            reachable.push_back(sign);
        }
    }
    auto chosen = ResolveSelection(selection, origin == Origin::kBroker ? m_allSigns : reachable);
    if (const auto* fault = std::get_if<SelectionFault>(&chosen)) {
        if (fault->kind == SelectionFault::Kind::kNotOneChoice) {
            return GatewayResult::Refused("signs",
                                          "give one of \"signs\", \"tag\" or \"all\": true");
        }
        return GatewayResult{ResultKind::kUnknownSign,
                             fault->kind == SelectionFault::Kind::kUnknownTag ? "tag" : "signs",
                             fault->Text()};
    }
    std::vector<NamedSign> signs = std::get<std::vector<NamedSign>>(chosen);
    std::erase_if(signs, [&](const NamedSign& sign) {
        return std::none_of(reachable.begin(), reachable.end(),
                            [&](const NamedSign& r) { return r.name == sign.name; });
    });
    return signs;
}

void CCommands::Gather(const std::vector<std::string>& names, SelectionReply reply,
                       const std::function<void(const std::string& name, Reply)>& each) {
    struct Gathered {
        std::vector<SignAnswer> answers;
        size_t waiting = 0;
        std::optional<GatewayResult> failure;
        SelectionReply reply;
    };
    auto gathered = std::make_shared<Gathered>();
    gathered->waiting = names.size();
    gathered->reply = std::move(reply);
    gathered->answers.resize(names.size());
    const auto finish = [gathered] {
        if (gathered->failure) {
            gathered->reply(*gathered->failure);
        } else {
            gathered->reply(gathered->answers);
        }
    };
    if (names.empty()) {
        finish();
        return;
    }
    for (size_t i = 0; i < names.size(); ++i) {
        each(names[i], [gathered, finish, i, name = names[i]](const GatewayResult& result) {
            gathered->answers[i] = {name, result.kind};
            if (!result.Ok() && !gathered->failure) {
                gathered->failure = result;
            }
            if (--gathered->waiting == 0) {
                finish();
            }
        });
    }
}

void CCommands::SendToSelection(const SignSelection& selection, const Playlist& playlist,
                                Origin origin, SelectionReply reply) {
    const Result<std::vector<NamedSign>> signs = Choose(selection, origin);
    if (!signs.Ok()) {
        reply(signs.Failure());
        return;
    }
    Gather(NamesOf(signs.Value()), std::move(reply), [&](const std::string& name, Reply each) {
        SetPlaylist(name, playlist, origin, std::move(each));
    });
}

std::string CCommands::NoticeKey(const SignState& state) const {
    for (size_t n = 1;; ++n) {
        const std::string key = kNoticeKeyHead + std::to_string(n);
        if (state.alerts.Find(key) == nullptr &&
            m_keepingAlerts.count(state.key + "/" + key) == 0) {
            return key;
        }
    }
}

void CCommands::Notify(const std::string& name, const MessageDocument& message, int seconds,
                       Origin origin, Reply reply) {
    const SignState* state = m_director.Find(name);
    if (state == nullptr) {
        reply(GatewayResult::UnknownSign(name));
        return;
    }
    RaiseAlert(name, NoticeKey(*state), {message, kNoticePriority, seconds, {}}, origin,
               std::move(reply));
}

void CCommands::HandOnAlert(const std::string& name, const std::string& key,
                            const std::string& payload, Origin origin, const Reply& reply) {
    const NamedSign* other = FindAny(name);
    // From the broker, another gateway's sign is that gateway's to take.
    if (other == nullptr || origin == Origin::kBroker || !m_forwarding.alert) {
        reply(GatewayResult::UnknownSign(name));
        return;
    }
    const std::string id = EscapeName(other->name) + "/" + key;
    ForwardedAlert forwarded{*other, key, payload};
    // Kept before it is answered, as a forwarded message is: this gateway may stop before the
    // broker has it.
    const QJsonObject object{{"sign", QString::fromStdString(other->name)},
                             {"key", QString::fromStdString(key)},
                             {"payload", QString::fromStdString(payload)}};
    Keep(
        ForwardedAlertPath(id), QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString(),
        [this, id, forwarded](bool) {
            m_forwardedAlerts[id] = forwarded;
            m_forwarding.alert(forwarded.sign, forwarded.key, forwarded.payload);
        },
        [reply](const GatewayResult& result) {
            reply(result.Ok() ? GatewayResult{ResultKind::kForwarded, "", ""} : result);
        });
}

void CCommands::OtherSeenAlerts(const std::string& signKey, const QJsonObject& state) {
    const std::string head = signKey + "/";
    for (auto it = m_forwardedAlerts.lower_bound(head);
         it != m_forwardedAlerts.end() && it->first.rfind(head, 0) == 0;) {
        const QJsonArray up = state.value("alerts").toArray();
        const bool shown = std::any_of(up.begin(), up.end(), [&](const QJsonValue& alert) {
            return alert.toObject().value("key").toString().toStdString() == it->second.key;
        });
        // A raised one is done once it shows; a cleared one once it is gone.
        if (shown == it->second.payload.empty()) {
            ++it;
            continue;
        }
        Keep(
            ForwardedAlertPath(it->first), "{}", [](bool) {}, [](const GatewayResult&) {});
        it = m_forwardedAlerts.erase(it);
    }
}

void CCommands::RaiseAlert(const std::string& name, const std::string& key,
                           const AlertRequest& request, Origin origin, Reply reply) {
    if (!IsAlertKey(key)) {
        reply(BadAlertKey());
        return;
    }
    const SignState* state = m_director.Find(name);
    if (state == nullptr) {
        HandOnAlert(name, key, AlertPayloadJson(request), origin, reply);
        return;
    }
    const Alert* up = state->alerts.Find(key);
    if (up == nullptr && state->alerts.All().size() >= kMaxAlertsPerSign) {
        reply(GatewayResult::Refused("key", "the sign has 64 alerts up already: clear one"));
        return;
    }
    const LibraryMessage* named = nullptr;
    if (!request.library.empty()) {
        named = m_director.FindLibraryMessage(request.library);
        if (named == nullptr) {
            reply({ResultKind::kUnknownSign, "name",
                   "the library has no message \"" + request.library + "\""});
            return;
        }
    }
    const GatewayTime now = m_director.Now();
    Alert alert{key,
                named ? named->message : request.message,
                request.priority,
                std::nullopt,
                up ? up->since : now,
                named ? named->name : std::string()};
    if (request.seconds) {
        alert.until = now + std::chrono::seconds(*request.seconds);
    }
    const std::string keeping = state->key + "/" + key;
    m_keepingAlerts.insert(keeping);
    Keep(
        AlertPath(state->key, key), KeptAlertJson(state->sign.name, alert),
        [this, sign = state->sign.name, alert](bool) { m_director.RaiseAlert(sign, alert); },
        [this, keeping, reply = std::move(reply)](const GatewayResult& result) {
            m_keepingAlerts.erase(keeping);
            reply(result);
        });
}

void CCommands::ClearAlert(const std::string& name, const std::string& key, Origin origin,
                           Reply reply) {
    const SignState* state = m_director.Find(name);
    if (state == nullptr) {
        HandOnAlert(name, key, std::string(), origin, reply);
        return;
    }
    if (state->alerts.Find(key) == nullptr && m_keepingAlerts.count(state->key + "/" + key) == 0) {
        reply({});
        return;
    }
    Keep(
        AlertPath(state->key, key), "{}",
        [this, sign = state->sign.name, key](bool) { m_director.ClearAlert(sign, key); },
        std::move(reply));
}

void CCommands::ClearAlerts(const std::string& name, Origin origin, Reply reply) {
    const SignState* state = m_director.Find(name);
    if (state == nullptr) {
        reply(GatewayResult::UnknownSign(name));
        return;
    }
    std::vector<std::string> keys;
    for (const Alert& alert : state->alerts.All()) {
        keys.push_back(alert.key);
    }
    Gather(
        keys,
        [reply = std::move(reply)](const Result<std::vector<SignAnswer>>& answers) {
            reply(answers.Ok() ? GatewayResult{} : answers.Failure());
        },
        [&](const std::string& key, Reply each) {
            ClearAlert(name, key, origin, std::move(each));
        });
}

void CCommands::AlertOnSelection(const SignSelection& selection, const std::string& key,
                                 const std::optional<AlertRequest>& alert, Origin origin,
                                 SelectionReply reply) {
    if (!IsAlertKey(key)) {
        reply(BadAlertKey());
        return;
    }
    const Result<std::vector<NamedSign>> signs = Choose(selection, origin);
    if (!signs.Ok()) {
        reply(signs.Failure());
        return;
    }
    Gather(NamesOf(signs.Value()), std::move(reply), [&](const std::string& name, Reply each) {
        if (alert) {
            RaiseAlert(name, key, *alert, origin, std::move(each));
        } else {
            ClearAlert(name, key, origin, std::move(each));
        }
    });
}

void CCommands::RestoreAlerts(const std::map<std::string, std::string>& kept) {
    std::vector<KeptAlert> alerts;
    for (auto it = kept.lower_bound("alerts/");
         it != kept.end() && it->first.rfind("alerts/", 0) == 0; ++it) {
        if (auto alert = ReadKeptAlert(it->second)) {
            alerts.push_back(std::move(*alert));
        }
    }
    // Back in the order they were raised, each in its place.
    std::stable_sort(alerts.begin(), alerts.end(), [](const KeptAlert& a, const KeptAlert& b) {
        return a.alert.since < b.alert.since;
    });
    for (KeptAlert& kept : alerts) {
        m_director.RestoreAlert(kept.sign, std::move(kept.alert));
    }
    for (auto it = kept.lower_bound(kForwardedAlertsFolder);
         it != kept.end() && it->first.rfind(kForwardedAlertsFolder, 0) == 0; ++it) {
        const QJsonObject object =
            QJsonDocument::fromJson(QByteArray::fromStdString(it->second)).object();
        const NamedSign* sign = FindAny(object.value("sign").toString().toStdString());
        const std::string key = object.value("key").toString().toStdString();
        if (sign != nullptr && IsAlertKey(key)) {  // else done with, or of a sign gone
            const std::string id = EscapeName(sign->name) + "/" + key;
            m_forwardedAlerts[id] = {*sign, key, object.value("payload").toString().toStdString()};
        }
    }
}
