#include "gateway/GatewayConfig.h"

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSysInfo>
#include <algorithm>

#include "setup/Ipv4Text.h"

namespace {

[[noreturn]] void Fail(const QString& path, const std::string& text) {
    throw CGatewayConfigError(path.toStdString() + ": " + text);
}

std::string TextField(const QString& path, const QJsonObject& object, const char* field,
                      const std::string& fallback = {}) {
    const QJsonValue value = object.value(QLatin1String(field));
    if (value.isUndefined()) {
        return fallback;
    }
    if (!value.isString() || value.toString().isEmpty()) {
        Fail(path, std::string("\"") + field + "\" must be a non-empty string");
    }
    return value.toString().toStdString();
}

// The first line of a secret's file, without its line end.
std::string ReadSecret(const QString& configPath, const std::string& file, const char* field) {
    const QString path = QFileInfo(configPath).dir().absoluteFilePath(QString::fromStdString(file));
    QFile secret(path);
    if (!secret.open(QIODevice::ReadOnly)) {
        Fail(configPath, std::string("\"") + field + "\": cannot read " + path.toStdString() +
                             ": " + secret.errorString().toStdString());
    }
    const std::string text = QString::fromUtf8(secret.readLine()).trimmed().toStdString();
    if (text.empty()) {
        Fail(configPath, std::string("\"") + field + "\": " + path.toStdString() + " is empty");
    }
    return text;
}

void ReadHttp(const QString& path, const std::string& text, GatewayConfig& config) {
    const size_t colon = text.rfind(':');
    bool ok = colon != std::string::npos;
    uint32_t port = 0;
    if (ok) {
        const QString portText = QString::fromStdString(text.substr(colon + 1));
        port = portText.toUInt(&ok);
        ok = ok && port <= 65535 && ParseIpv4(text.substr(0, colon)).has_value();
    }
    if (!ok) {
        Fail(path, "\"http\" must be an IPv4 address and a port, \"127.0.0.1:8080\", not \"" +
                       text + "\"");
    }
    config.httpHost = text.substr(0, colon);
    config.httpPort = static_cast<uint16_t>(port);
}

// A file the configuration names, relative to its folder, that must be there to be read.
std::string ReadableFile(const QString& configPath, const QJsonObject& object, const char* field) {
    const std::string file = TextField(configPath, object, field);
    if (file.empty()) {
        return file;
    }
    const QString path = QFileInfo(configPath).dir().absoluteFilePath(QString::fromStdString(file));
    if (!QFileInfo(path).isReadable()) {
        Fail(configPath, std::string("\"mqtt.") + field + "\": cannot read " + path.toStdString());
    }
    return path.toStdString();
}

bool IsTlsUrl(const std::string& url) {
    return url.rfind("ssl://", 0) == 0 || url.rfind("mqtts://", 0) == 0;
}

// "tokens": {"viewer": FILE, "operator": FILE, "admin": FILE}, each optional; the admin's is the
// one "tokenFile" names, so only one of the two may give it.
void ReadTokens(const QString& path, const QJsonObject& object, GatewayConfig& config) {
    const QJsonValue value = object.value("tokens");
    if (value.isUndefined()) {
        return;
    }
    if (!value.isObject()) {
        Fail(path, "\"tokens\" must be an object of \"viewer\", \"operator\" and \"admin\" files");
    }
    const QJsonObject tokens = value.toObject();
    for (const QString& key : tokens.keys()) {
        if (key != "viewer" && key != "operator" && key != "admin") {
            Fail(path, "unknown role \"tokens." + key.toStdString() +
                           "\": \"viewer\", \"operator\" or \"admin\"");
        }
    }
    if (tokens.contains("admin") && !config.token.empty()) {
        Fail(path, "\"tokenFile\" and \"tokens.admin\" both give the admin's token: keep one");
    }
    const auto read = [&](const char* role, std::string& token) {
        const std::string file = TextField(path, tokens, role);
        if (!file.empty()) {
            token = ReadSecret(path, file, (std::string("tokens.") + role).c_str());
        }
    };
    read("admin", config.token);
    read("operator", config.operatorToken);
    read("viewer", config.viewerToken);
    const std::vector<const std::string*> all = {&config.token, &config.operatorToken,
                                                 &config.viewerToken};
    for (size_t i = 0; i < all.size(); ++i) {
        for (size_t j = i + 1; j < all.size(); ++j) {
            if (!all[i]->empty() && *all[i] == *all[j]) {
                Fail(path, "two roles have the same token: each needs its own");
            }
        }
    }
}

void ReadMqtt(const QString& path, const QJsonValue& value, MqttConfig& mqtt) {
    if (value.isUndefined()) {
        return;
    }
    if (!value.isObject()) {
        Fail(path, "\"mqtt\" must be an object");
    }
    const QJsonObject object = value.toObject();
    mqtt.url = TextField(path, object, "url");
    if (mqtt.url.empty()) {
        Fail(path, "\"mqtt.url\" is needed, \"tcp://127.0.0.1:1883\"");
    }
    mqtt.prefix = TextField(path, object, "prefix", kDefaultMqttPrefix);
    if (mqtt.prefix.find_first_of("+#") != std::string::npos) {
        Fail(path, "\"mqtt.prefix\" must not hold \"+\" or \"#\"");
    }
    mqtt.username = TextField(path, object, "username");
    const std::string passwordFile = TextField(path, object, "passwordFile");
    if (!passwordFile.empty()) {
        mqtt.password = ReadSecret(path, passwordFile, "mqtt.passwordFile");
    }
    mqtt.caFile = ReadableFile(path, object, "caFile");
    mqtt.certFile = ReadableFile(path, object, "certFile");
    mqtt.keyFile = ReadableFile(path, object, "keyFile");
    const bool tlsFiles = !mqtt.caFile.empty() || !mqtt.certFile.empty();
    if (tlsFiles && !IsTlsUrl(mqtt.url)) {
        Fail(path, "\"mqtt.caFile\" and \"mqtt.certFile\" need TLS: an ssl:// or mqtts:// url");
    }
    if (mqtt.certFile.empty() != mqtt.keyFile.empty()) {
        Fail(path, "\"mqtt.certFile\" and \"mqtt.keyFile\" go together");
    }
}

void ReadTls(const QString& path, const QJsonValue& value, TlsConfig& tls) {
    if (value.isUndefined()) {
        return;
    }
    const QJsonObject object = value.toObject();
    if (!value.isObject() || object.keys() != QStringList{"certFile", "keyFile"}) {
        Fail(path, "\"tls\" must be an object of \"certFile\" and \"keyFile\"");
    }
    const QDir folder = QFileInfo(path).dir();
    tls.certFile =
        folder.absoluteFilePath(QString::fromStdString(TextField(path, object, "certFile")))
            .toStdString();
    tls.keyFile =
        folder.absoluteFilePath(QString::fromStdString(TextField(path, object, "keyFile")))
            .toStdString();
}

}  // namespace

QString DefaultGatewayConfigPath() {
    return QFileInfo(DefaultSignsFilePath()).dir().absoluteFilePath(kGatewayFileName);
}

bool IsLoopbackHost(const std::string& host) {
    const auto octets = ParseIpv4(host);
    return octets && (*octets)[0] == 127;
}

GatewayConfig LoadGatewayConfig(const QString& path, bool defaultsIfMissing) {
    GatewayConfig config;
    const QDir folder = QFileInfo(path).absoluteDir();
    config.name = QSysInfo::machineHostName().toStdString();
    config.signsPath = folder.absoluteFilePath(kSignsFileName);
    config.stateDir = folder.absoluteFilePath("gateway-state");

    QFile file(path);
    if (!file.exists() && !defaultsIfMissing) {
        Fail(path, "no such file (--defaults runs without one)");
    }
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly)) {
            Fail(path, "cannot read: " + file.errorString().toStdString());
        }
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
        if (error.error != QJsonParseError::NoError || !document.isObject()) {
            Fail(path, "not a JSON object: " + error.errorString().toStdString());
        }
        const QJsonObject object = document.object();
        static const QStringList kFields = {
            "name",   "http",     "tokenFile",  "tokens",       "readNeedsToken",
            "mqtt",   "stateDir", "forwardKey", "allowedHosts", "alertSeconds",
            "modbus", "poll",     "tls",        "maxBodyKiB"};
        for (const QString& key : object.keys()) {
            if (!kFields.contains(key)) {
                Fail(path, "unknown field \"" + key.toStdString() + "\"");
            }
        }
        config.name = TextField(path, object, "name", config.name);
        const std::string http = TextField(path, object, "http");
        if (!http.empty()) {
            ReadHttp(path, http, config);
        }
        const std::string tokenFile = TextField(path, object, "tokenFile");
        if (!tokenFile.empty()) {
            config.token = ReadSecret(path, tokenFile, "tokenFile");
        }
        ReadTokens(path, object, config);
        const QJsonValue readNeedsToken = object.value("readNeedsToken");
        if (!readNeedsToken.isUndefined() && !readNeedsToken.isBool()) {
            Fail(path, "\"readNeedsToken\" must be true or false");
        }
        config.readNeedsToken = readNeedsToken.toBool(false);
        for (const QJsonValue& host : object.value("allowedHosts").toArray()) {
            if (!host.isString() || host.toString().isEmpty()) {
                Fail(path, "\"allowedHosts\" must be a list of host names");
            }
            config.allowedHosts.push_back(host.toString().toLower().toStdString());
        }
        if (object.contains("allowedHosts") && !object.value("allowedHosts").isArray()) {
            Fail(path, "\"allowedHosts\" must be a list of host names");
        }
        config.forwardKey = TextField(path, object, "forwardKey");
        if (!config.forwardKey.empty() && config.forwardKey.size() < kMinForwardKeyLength) {
            Fail(path, "\"forwardKey\" must be at least 16 characters");
        }
        ReadMqtt(path, object.value("mqtt"), config.mqtt);
        if (object.contains("alertSeconds")) {
            config.alertSeconds = object.value("alertSeconds").toInt(-1);
            if (config.alertSeconds < 1 || config.alertSeconds > kMaxAlertSeconds) {
                Fail(path, "\"alertSeconds\" must be a whole number from 1 to 3600");
            }
        }
        if (object.contains("maxBodyKiB")) {
            const int kib = object.value("maxBodyKiB").toInt(-1);
            if (kib < 1 || static_cast<size_t>(kib) > kMaxMaxBodyKiB) {
                Fail(path, "\"maxBodyKiB\" must be a whole number from 1 to " +
                               std::to_string(kMaxMaxBodyKiB));
            }
            config.maxBody = static_cast<size_t>(kib) * 1024;
        }
        ReadTls(path, object.value("tls"), config.tls);
        const std::string stateDir = TextField(path, object, "stateDir");
        if (!stateDir.empty()) {
            config.stateDir = folder.absoluteFilePath(QString::fromStdString(stateDir));
        }
        try {
            config.modbus = ReadModbusConfig(path, object.value("modbus"), object.value("poll"));
        } catch (const CModbusConfigError& error) {
            throw CGatewayConfigError(error.what());
        }
    }
    const bool anyToken =
        !config.token.empty() || !config.operatorToken.empty() || !config.viewerToken.empty();
    if (config.readNeedsToken && !anyToken) {
        Fail(path, "\"readNeedsToken\" needs a token: a \"tokenFile\" or \"tokens\"");
    }
    const auto shortToken = [](const std::string& token) {
        return !token.empty() && token.size() < kMinRemoteTokenLength;
    };
    if (!IsLoopbackHost(config.httpHost) &&
        (!anyToken || shortToken(config.token) || shortToken(config.operatorToken) ||
         shortToken(config.viewerToken))) {
        Fail(path, "\"http\" listens beyond loopback at " + config.httpHost +
                       ": a \"tokenFile\" is needed (or \"tokens\"), each token of 16 "
                       "characters at least");
    }
    return config;
}

std::vector<NamedSign> SignsOfGateway(const std::vector<NamedSign>& signs,
                                      const std::string& name) {
    std::vector<NamedSign> driven;
    for (const NamedSign& sign : signs) {
        if (!sign.gateway || SameSignName(*sign.gateway, name)) {
            driven.push_back(sign);
        }
    }
    return driven;
}

void CheckGatewaysOfSigns(const std::vector<NamedSign>& signs, const std::string& gateway) {
    const std::vector<std::string> named = NamedGateways(signs);
    if (named.size() > 1) {
        // A sign of no gateway would be driven by each of them at once.
        for (const NamedSign& sign : signs) {
            if (!sign.gateway) {
                throw CGatewayConfigError("the sign \"" + sign.name +
                                          "\" names no gateway, and several drive the signs of "
                                          "signs.json: give it its \"gateway\"");
            }
        }
    }
    if (!named.empty() && SignsOfGateway(signs, gateway).empty()) {
        throw CGatewayConfigError("no sign of signs.json names the gateway \"" + gateway +
                                  "\" (its \"name\" in gateway.json)");
    }
}
