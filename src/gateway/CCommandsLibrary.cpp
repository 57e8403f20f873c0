// The library of named messages, through the one way in.
#include <QJsonDocument>

#include "gateway/CCommands.h"
#include "gateway/LibraryJson.h"

namespace {

// A library message in the state journal: its name is a path segment as it stands.
std::string LibraryPath(const std::string& name) {
    return "library/" + name + ".json";
}

std::string Compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

GatewayResult NoSuchMessage(const std::string& name) {
    return {ResultKind::kUnknownSign, "name", "the library has no message \"" + name + "\""};
}

}  // namespace

void CCommands::SetNamedMessage(const std::string& name, const std::string& library, Origin origin,
                                Reply reply) {
    SetPlaylist(name, {PlayEntry{{}, library, kDefaultPlaySeconds}}, origin, std::move(reply));
}

void CCommands::PutLibraryMessage(const LibraryMessage& message, Origin origin, Reply reply) {
    if (!CMessageLibrary::IsName(message.name)) {
        reply(GatewayResult::Refused("name",
                                     "a library message's name is 1 to 64 letters, digits, "
                                     "\"_\", \"-\" and \".\""));
        return;
    }
    const CMessageLibrary& library = m_director.Library();
    const LibraryMessage* up = library.Find(message.name);
    up = up != nullptr && up->name == message.name ? up : nullptr;
    if (up != nullptr && *up == message) {
        reply({});  // as it is: the broker's copy of one put here
        return;
    }
    if (up == nullptr && library.Size() >= kMaxLibraryMessages) {
        reply(GatewayResult::Refused("name", "the library holds 1000 messages already"));
        return;
    }
    const LibraryMessage* numbered = message.number ? library.Find(*message.number) : nullptr;
    if (numbered != nullptr && numbered->name != message.name) {
        reply(GatewayResult::Refused("number", "\"" + numbered->name + "\" has that number"));
        return;
    }
    const std::string json = Compact(LibraryMessageJson(message));
    Keep(
        LibraryPath(message.name), json,
        [this, message, origin, json](bool) {
            m_director.PutLibraryMessage(message);
            if (origin == Origin::kApi && m_forwarding.library) {
                m_forwarding.library(message.name, json);
            }
        },
        std::move(reply));
}

void CCommands::RemoveLibraryMessage(const std::string& name, Origin origin, Reply reply) {
    const LibraryMessage* up = m_director.Library().Find(name);
    if (up == nullptr || up->name != name) {
        reply(origin == Origin::kBroker ? GatewayResult{} : NoSuchMessage(name));
        return;
    }
    Keep(
        LibraryPath(name), "{}",
        [this, name, origin](bool) {
            m_director.RemoveLibraryMessage(name);
            if (origin == Origin::kApi && m_forwarding.library) {
                m_forwarding.library(name, std::string());
            }
        },
        std::move(reply));
}

void CCommands::RestoreLibrary(const std::map<std::string, std::string>& kept) {
    for (auto it = kept.lower_bound("library/");
         it != kept.end() && it->first.rfind("library/", 0) == 0; ++it) {
        const QJsonObject object =
            QJsonDocument::fromJson(QByteArray::fromStdString(it->second)).object();
        const Result<LibraryMessage> message =
            ReadLibraryMessage(it->second, object.value("name").toString().toStdString());
        if (message.Ok()) {
            m_director.RestoreLibraryMessage(message.Value());
        }
    }
}
