#include "gateway/CCommands.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <memory>

#include "gateway/GatewayRequests.h"
#include "gateway/GatewayThread.h"
#include "gateway/SafeName.h"

namespace {

// Each live value is a file of its own, so that a value costs its own write, not all of them.
constexpr const char* kValuesPath = "vars.json";  // all values in one, as kept before
std::string ValuePath(const std::string& name) {
    return "vars/" + name + ".json";
}
// A write forwarded to another gateway's sign, until that gateway has it.
std::string ForwardPath(const std::string& key) {
    return "forward/" + key + ".json";
}
constexpr size_t kMaxValueBytes = 256;
constexpr size_t kMaxValues = 10000;

// A sign's desired message in the state journal, named by its escaped name.
std::string SignStatePath(const std::string& key) {
    return "signs/" + key + ".json";
}

std::string Compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

const GatewayResult kAccepted{};
const GatewayResult kForwardsNothing{
    ResultKind::kForbidden, "name",
    "the sign is another gateway's, and this one forwards no writes to it: give both gateways the "
    "same \"forwardKey\""};

}  // namespace

CCommands::CCommands(CDirector& director, const COtherSigns& others,
                     std::vector<NamedSign> allSigns, std::string gateway, CGatewayLog& log,
                     QObject* parent)
    : QObject(parent),
      m_director(director),
      m_others(others),
      m_strGateway(std::move(gateway)),
      m_allSigns(std::move(allSigns)),
      m_log(log) {}

void CCommands::Watch(COtherSigns& others) {
    others.OnChanged([this](const std::string& name) { OtherSeen(name); });
}

void CCommands::Restore(const std::map<std::string, std::string>& kept) {
    for (const SignState& state : m_director.Signs()) {
        auto found = kept.find(SignStatePath(state.key));
        for (const std::string& earlier : EarlierNamesOf(state.sign.name)) {
            if (found == kept.end()) {
                found = kept.find(SignStatePath(earlier));
            }
        }
        if (found == kept.end()) {
            continue;
        }
        const QJsonObject object =
            QJsonDocument::fromJson(QByteArray::fromStdString(found->second)).object();
        try {
            Playlist playlist;
            if (IsPlaylistObject(object)) {
                Result<Playlist> play = ReadPlaylist(object);
                if (!play.Ok()) {
                    throw CMessageFileError(play.Failure().field + ": " + play.Failure().text);
                }
                playlist = play.Take();
            } else {
                playlist = OneMessage(MessageFromJsonObject(object.value("message").toObject()),
                                      object.value("name").toString().toStdString());
            }
            // A journal of before versions: the time it was set stands for one.
            const GatewayTime setAt =
                TimeFromIsoText(object.value("setAt").toString().toStdString())
                    .value_or(GatewayTime{});
            const Stamp stamp = ReadStamp(object).value_or(
                Stamp{static_cast<uint64_t>(std::max<int64_t>(setAt.time_since_epoch().count(), 0)),
                      setAt, "", Origin::kApi});
            m_director.Restore(state.sign.name, std::move(playlist), stamp);
            m_issued[state.key] = stamp.version;
        } catch (const CMessageFileError& error) {
            m_log.Line(state.sign.name, "kept message left out: " + std::string(error.what()));
        }
    }
    const auto values = kept.find(kValuesPath);
    if (values != kept.end()) {
        const QJsonObject object =
            QJsonDocument::fromJson(QByteArray::fromStdString(values->second)).object();
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (it.value().isString() && IsVariableName(it.key().toStdString())) {
                m_values[it.key().toStdString()] = it.value().toString().toStdString();
            }
        }
    }
    for (auto it = kept.lower_bound("vars/"); it != kept.end() && it->first.rfind("vars/", 0) == 0;
         ++it) {
        const std::string name =
            it->first.substr(5, it->first.size() - 5 - std::char_traits<char>::length(".json"));
        const QJsonValue value =
            QJsonDocument::fromJson(QByteArray::fromStdString(it->second)).object().value("value");
        if (value.isString()) {
            m_values[name] = value.toString().toStdString();
        } else {
            m_values.erase(name);  // removed
        }
    }
    m_director.RestoreValues(m_values);
    for (auto it = kept.lower_bound("forward/");
         it != kept.end() && it->first.rfind("forward/", 0) == 0; ++it) {
        const QJsonObject object =
            QJsonDocument::fromJson(QByteArray::fromStdString(it->second)).object();
        const NamedSign* sign = FindAny(object.value("sign").toString().toStdString());
        const auto stamp = ReadStamp(object);
        if (sign == nullptr || !stamp ||
            !(object.value("message").isObject() || IsPlaylistObject(object))) {
            continue;  // done with, or of a sign no longer there
        }
        try {
            Result<Playlist> play =
                IsPlaylistObject(object)
                    ? ReadPlaylist(object)
                    : OneMessage(MessageFromJsonObject(object.value("message").toObject()));
            if (play.Ok()) {
                m_forwarded[EscapeName(sign->name)] = {*sign, play.Take(), *stamp};
            }
        } catch (const CMessageFileError&) {
        }
    }
}

const NamedSign* CCommands::FindAny(const std::string& name) const {
    for (const NamedSign& sign : m_allSigns) {
        if (SameSignName(sign.name, name)) {
            return &sign;
        }
    }
    return nullptr;
}

void CCommands::Keep(std::string path, std::string content, std::function<void(bool replaced)> kept,
                     Reply reply) {
    if (m_journal == nullptr) {
        reply({ResultKind::kNotKept, "", "the state folder is not open"});
        return;
    }
    m_journal->Write(std::move(path), std::move(content),
                     [this, kept = std::move(kept),
                      reply = std::move(reply)](const CStateJournal::Outcome& outcome) {
                         PostToGateway(this, [this, kept, reply, outcome] {
                             if (m_countWrite) {
                                 m_countWrite(!outcome.failure);
                             }
                             if (outcome.failure) {
                                 m_log.Line("state", *outcome.failure);
                                 reply({ResultKind::kNotKept, "", "it could not be kept"});
                                 return;
                             }
                             kept(outcome.replaced);
                             reply(kAccepted);
                         });
                     });
}

Stamp CCommands::Issue(const std::string& key, Origin origin, uint64_t seen) {
    uint64_t& issued = m_issued[key];
    const Stamp stamp = NextStamp(m_director.Now(), m_strGateway, origin, std::max(issued, seen));
    issued = stamp.version;
    return stamp;
}

void CCommands::SetPlaylist(const std::string& name, Playlist playlist, Origin origin, Reply reply,
                            const std::optional<Stamp>& given, bool signedByPeer) {
    if (playlist.empty()) {
        reply(GatewayResult::Refused("play", "a playlist is an array of 1 or more entries"));
        return;
    }
    for (size_t i = 0; i < playlist.size(); ++i) {
        PlayEntry& entry = playlist[i];
        if (entry.name.empty()) {
            continue;
        }
        if (const LibraryMessage* found = m_director.FindLibraryMessage(entry.name)) {
            entry.name = found->name;
            entry.message = found->message;
        } else if (!given) {  // a gateway's own write carries the words it had
            const std::string field =
                playlist.size() == 1 ? "name" : "play[" + std::to_string(i) + "].name";
            reply({ResultKind::kUnknownSign, field,
                   "the library has no message \"" + entry.name + "\""});
            return;
        }
    }
    const SignState* state = m_director.Find(name);
    if (state == nullptr) {
        const NamedSign* other = FindAny(name);
        // A set from the broker for another gateway's sign is that gateway's to take.
        if (other == nullptr || !m_forwarding || origin == Origin::kBroker) {
            reply(GatewayResult::UnknownSign(name));
            return;
        }
        if (!CanForward()) {
            reply(kForwardsNothing);
            return;
        }
        Forward(*other, playlist, origin, std::move(reply));
        return;
    }
    if (given && !given->by.empty() && given->by != m_strGateway && !signedByPeer) {
        // Handed on by a gateway that does not share this one's key: its writes stay there.
        m_log.Line(state->sign.name, "a message forwarded by " + given->by +
                                         " without the shared forwardKey left out");
        reply({ResultKind::kForbidden, "signature",
               "a message forwarded by another gateway needs the \"forwardKey\" both share"});
        return;
    }
    if (given && state->desired && given->version <= state->stamp.version) {
        if (given->version < state->stamp.version) {
            m_log.Line(state->sign.name, "older message left out (version " +
                                             std::to_string(given->version) + ", the sign's " +
                                             std::to_string(state->stamp.version) + ")");
        }
        // The same version is this gateway's own copy coming back.
        reply(given->version == state->stamp.version
                  ? kAccepted
                  : GatewayResult{ResultKind::kConflict, "version", "a newer message is set"});
        return;
    }
    const Stamp stamp = given ? *given : Issue(state->key, origin, state->stamp.version);
    if (given) {
        m_issued[state->key] = std::max(m_issued[state->key], given->version);
    }
    const std::string sign = state->sign.name;
    QJsonObject object;
    object["sign"] = QString::fromStdString(sign);
    // The first entry as "message" too, for a gateway of before playlists.
    object["message"] = MessageToJsonObject(playlist.front().message);
    if (!playlist.front().name.empty()) {
        object["name"] = QString::fromStdString(playlist.front().name);
    }
    if (playlist.size() > 1) {
        object["play"] = PlaylistJson(playlist);
    }
    WriteStamp(object, stamp);
    Keep(
        SignStatePath(state->key), Compact(object),
        [this, sign, playlist = std::move(playlist), stamp](bool replaced) {
            // One replaced by a later message of the same batch was never shown.
            if (!replaced) {
                m_director.SetDesired(sign, playlist, stamp);
            }
        },
        std::move(reply));
}

void CCommands::Forward(const NamedSign& sign, const Playlist& playlist, Origin origin,
                        Reply reply) {
    // Newer than what its gateway last said the sign has.
    const COtherSigns::Other* known = m_others.Find(sign.name);
    const auto seen =
        known != nullptr ? ReadStamp(known->state.value("stamp").toObject()) : std::nullopt;
    const std::string key = EscapeName(sign.name);
    Forwarded forwarded{sign, playlist, Issue(key, origin, seen ? seen->version : 0)};
    // Kept before it is answered: the broker may be away, or this gateway stop before it
    // comes back.
    QJsonObject object;
    object["sign"] = QString::fromStdString(sign.name);
    if (playlist.size() == 1 && playlist.front().name.empty()) {
        object["message"] = MessageToJsonObject(playlist.front().message);
    } else {  // a library message's name goes with it
        object["play"] = PlaylistJson(playlist);
    }
    WriteStamp(object, forwarded.stamp);
    Keep(
        ForwardPath(key), Compact(object),
        [this, key, forwarded](bool) {
            m_forwarded[key] = forwarded;
            m_forwarding.message(forwarded.sign, forwarded.playlist, forwarded.stamp);
        },
        [reply = std::move(reply)](const GatewayResult& result) {
            reply(result.Ok() ? GatewayResult{ResultKind::kForwarded, "", ""} : result);
        });
}

void CCommands::OtherSeen(const std::string& name) {
    const std::string key = EscapeName(name);
    const auto pending = m_forwarded.find(key);
    const COtherSigns::Other* other = m_others.Find(name);
    if (other != nullptr) {
        OtherSeenAlerts(key, other->state);
    }
    if (pending == m_forwarded.end() || other == nullptr) {
        return;
    }
    const auto taken = ReadStamp(other->state.value("stamp").toObject());
    if (taken && taken->version >= pending->second.stamp.version) {
        m_forwarded.erase(pending);
        Keep(
            ForwardPath(key), "{}", [](bool) {}, [](const GatewayResult&) {});
    }
}

void CCommands::SetForwarding(SignForwarding forwarding) {
    m_forwarding = std::move(forwarding);
    if (CanForward()) {
        for (const auto& [key, forwarded] : m_forwarded) {
            m_forwarding.message(forwarded.sign, forwarded.playlist, forwarded.stamp);
        }
    }
    if (m_forwarding.alert) {
        for (const auto& [id, forwarded] : m_forwardedAlerts) {
            m_forwarding.alert(forwarded.sign, forwarded.key, forwarded.payload);
        }
    }
}

void CCommands::SetVariable(const std::string& name, const std::string& value, Origin origin,
                            Reply reply) {
    if (!IsVariableName(name)) {
        reply(GatewayResult::Refused(
            "var",
            "a variable's name is 1 to 64 letters, digits, \"_\", \"-\" and \".\", beginning with "
            "a letter, a digit or \"_\" (\"now\" is the clock's)"));
        return;
    }
    const auto known = m_values.find(name);
    if (known != m_values.end() && known->second == value) {
        reply(kAccepted);
        return;
    }
    if (value.size() > kMaxValueBytes) {
        reply(GatewayResult::Refused("value", "a live value is 256 bytes at most"));
        return;
    }
    if (known == m_values.end() && m_values.size() >= kMaxValues) {
        reply(GatewayResult::Refused("var", "there are 10000 live values already: remove one"));
        return;
    }
    m_values[name] = value;
    Keep(
        ValuePath(name), Compact(QJsonObject{{"value", QString::fromStdString(value)}}),
        [this, name, value, origin](bool) {
            m_director.SetValue(name, value);
            if (origin != Origin::kBroker && m_forwarding) {
                m_forwarding.variable(name, value);
            }
        },
        std::move(reply));
}

void CCommands::RemoveVariable(const std::string& name, Origin origin, Reply reply) {
    if (m_values.erase(name) == 0) {
        reply({ResultKind::kUnknownSign, "var", "there is no live value \"" + name + "\""});
        return;
    }
    Keep(
        ValuePath(name), "{}",
        [this, name, origin](bool) {
            m_director.RemoveValue(name);
            if (origin != Origin::kBroker && m_forwarding) {
                m_forwarding.variable(name, "");
            }
        },
        std::move(reply));
}
