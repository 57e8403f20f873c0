#include "gatewayclient/GatewayLibrary.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <regex>

namespace {

constexpr const char* kLibraryPath = "/api/messages";
// A reason the gateway gives is shown whole; anything else it sends is cut to this.
constexpr size_t kMaxShownBodyBytes = 200;

// A name as one path segment: everything but the unreserved characters percent-encoded, so that
// a name the gateway would refuse reaches it, and its own reason comes back.
std::string NamePath(const std::string& name) {
    return std::string(kLibraryPath) + "/" +
           QUrl::toPercentEncoding(QString::fromStdString(name)).toStdString();
}

QJsonDocument JsonOf(const std::string& body) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(body));
}

// The gateway's own words for a failure ({"error": ..., "field": ...}), else what it sent.
std::string ReasonOf(const GatewayExchange& exchange) {
    const QJsonObject object = JsonOf(exchange.body).object();
    const QString error = object.value("error").toString();
    if (!error.isEmpty()) {
        return error.toStdString();
    }
    std::string body = exchange.body.substr(0, kMaxShownBodyBytes);
    for (char& c : body) {
        c = c == '\n' || c == '\r' ? ' ' : c;
    }
    return body.empty() ? "HTTP " + std::to_string(exchange.status) : body;
}

GatewayFailure Failure(GatewayFailure::Kind kind, int status, std::string text) {
    return {kind, status, std::move(text)};
}

std::optional<LibraryEntry> EntryOf(const QJsonValue& value) {
    const QJsonObject object = value.toObject();
    if (!object.value("name").isString() || !object.value("message").isObject()) {
        return std::nullopt;
    }
    LibraryEntry entry;
    entry.name = object.value("name").toString().toStdString();
    if (object.contains("number")) {
        entry.number = object.value("number").toInt();
    }
    try {
        entry.message = MessageFromJsonObject(object.value("message").toObject());
    } catch (const CMessageFileError&) {
        return std::nullopt;
    }
    return entry;
}

}  // namespace

bool IsGatewayUrl(const std::string& url) {
    static const std::regex kUrl(R"(https?://(\[[0-9A-Fa-f:.]+\]|[A-Za-z0-9.-]+)(:[0-9]{1,5})?/?)");
    return std::regex_match(url, kUrl);
}

// The URL as failures name it: without the "/" after it that the link does not need.
CGatewayLibrary::CGatewayLibrary(GatewayAccess access) : m_access(std::move(access)) {
    if (m_access.url.size() > 1 && m_access.url.back() == '/' && IsGatewayUrl(m_access.url)) {
        m_access.url.pop_back();
    }
}

std::optional<GatewayFailure> CGatewayLibrary::Ask(const std::string& method,
                                                   const std::string& path, const std::string& body,
                                                   GatewayExchange& exchange) const {
    using Kind = GatewayFailure::Kind;
    if (!IsGatewayUrl(m_access.url)) {
        return Failure(Kind::kBadUrl, 0,
                       "the gateway's URL is http://HOST[:PORT] or https://HOST[:PORT], not \"" +
                           m_access.url + "\"");
    }
    exchange = ExchangeWithGateway(m_access, method, path, body);
    const std::string at = "the gateway at " + m_access.url;
    if (exchange.status == 0) {
        return Failure(Kind::kNoAnswer, 0, "cannot reach " + at + ": " + exchange.noAnswer);
    }
    if (exchange.status >= 200 && exchange.status < 300) {
        return std::nullopt;
    }
    const std::string status = " (" + std::to_string(exchange.status) + "): ";
    if (exchange.status >= 400 && exchange.status < 500) {
        return Failure(Kind::kRefused, exchange.status,
                       at + " refused" + status + ReasonOf(exchange));
    }
    return Failure(Kind::kFault, exchange.status, at + " failed" + status + ReasonOf(exchange));
}

GatewayAnswer<LibraryList> CGatewayLibrary::List() const {
    GatewayAnswer<LibraryList> answer;
    GatewayExchange exchange;
    answer.failure = Ask("GET", kLibraryPath, {}, exchange);
    if (!answer.Ok()) {
        return answer;
    }
    const QJsonDocument json = JsonOf(exchange.body);
    for (const QJsonValue& value : json.array()) {
        std::optional<LibraryEntry> entry = EntryOf(value);
        if (!entry) {
            answer.failure = Failure(GatewayFailure::Kind::kFault, exchange.status,
                                     "the gateway at " + m_access.url +
                                         " sent a list that is not one of library messages");
            return answer;
        }
        answer.value.entries.push_back(std::move(*entry));
    }
    if (!json.isArray()) {
        answer.failure = Failure(GatewayFailure::Kind::kFault, exchange.status,
                                 "the gateway at " + m_access.url + " sent no list");
    }
    answer.value.json = std::move(exchange.body);
    return answer;
}

GatewayAnswer<LibraryEntry> CGatewayLibrary::Get(const std::string& name) const {
    GatewayAnswer<LibraryEntry> answer;
    GatewayExchange exchange;
    answer.failure = Ask("GET", NamePath(name), {}, exchange);
    if (!answer.Ok()) {
        return answer;
    }
    std::optional<LibraryEntry> entry = EntryOf(JsonOf(exchange.body).object());
    if (!entry) {
        answer.failure = Failure(
            GatewayFailure::Kind::kFault, exchange.status,
            "the gateway at " + m_access.url + " sent something other than a library message");
        return answer;
    }
    answer.value = std::move(*entry);
    return answer;
}

std::optional<GatewayFailure> CGatewayLibrary::Put(const LibraryEntry& entry) const {
    QJsonObject body{{"message", MessageToJsonObject(entry.message)}};
    if (entry.number) {
        body["number"] = *entry.number;
    }
    GatewayExchange exchange;
    return Ask("PUT", NamePath(entry.name),
               QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString(), exchange);
}

std::optional<GatewayFailure> CGatewayLibrary::Remove(const std::string& name) const {
    GatewayExchange exchange;
    return Ask("DELETE", NamePath(name), {}, exchange);
}

std::string FirstLineText(const MessageDocument& message) {
    return message.lines.empty() ? std::string() : LineText(message.lines.front());
}
