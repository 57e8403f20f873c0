#include "gateway/ModbusConfig.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include "gateway/GatewayRequests.h"
#include "setup/Ipv4Text.h"

namespace {

constexpr int kMaxUnitId = 255;
constexpr uint32_t kMaxPort = 65535;
constexpr int kLoopbackNet = 127;

[[noreturn]] void Fail(const QString& path, const std::string& text) {
    throw CModbusConfigError(path.toStdString() + ": " + text);
}

std::string Quoted(const std::string& field) {
    return "\"" + field + "\"";
}

// "host:port" with an IPv4 address; the port may be left out where there is a default.
std::pair<std::string, uint16_t> ReadAddress(const QString& path, const std::string& field,
                                             const std::string& text,
                                             std::optional<uint16_t> defaultPort) {
    const size_t colon = text.rfind(':');
    std::string host = text.substr(0, colon);
    uint32_t port = defaultPort.value_or(0);
    bool ok = colon != std::string::npos || defaultPort.has_value();
    if (ok && colon != std::string::npos) {
        port = QString::fromStdString(text.substr(colon + 1)).toUInt(&ok);
    }
    if (!ok || port > kMaxPort || !ParseIpv4(host)) {
        Fail(path, Quoted(field) +
                       " must be an IPv4 address and a port, \"127.0.0.1:5020\", not \"" + text +
                       "\"");
    }
    return {host, static_cast<uint16_t>(port)};
}

int ReadInteger(const QString& path, const QJsonObject& object, const std::string& place,
                const char* field, int min, int max, int fallback) {
    const QJsonValue value = object.value(QLatin1String(field));
    if (value.isUndefined()) {
        return fallback;
    }
    const double number = value.toDouble(-1e300);
    if (!value.isDouble() || number != static_cast<int>(number) || number < min || number > max) {
        Fail(path, place + "." + field + " must be a whole number from " + std::to_string(min) +
                       " to " + std::to_string(max));
    }
    return static_cast<int>(number);
}

std::string ReadText(const QString& path, const QJsonObject& object, const std::string& place,
                     const char* field) {
    const QJsonValue value = object.value(QLatin1String(field));
    if (!value.isUndefined() && (!value.isString() || value.toString().isEmpty())) {
        Fail(path, place + "." + field + " must be a non-empty string");
    }
    return value.toString().toStdString();
}

void OnlyFields(const QString& path, const QJsonObject& object, const std::string& place,
                const QStringList& fields) {
    for (const QString& key : object.keys()) {
        if (!fields.contains(key)) {
            Fail(path, place + ": unknown field \"" + key.toStdString() + "\"");
        }
    }
}

RegisterEntry ReadRegister(const QString& path, const QJsonObject& object,
                           const std::string& place) {
    OnlyFields(path, object, place,
               {"register", "var", "type", "wordOrder", "scale", "decimals", "registers", "sign",
                "tag", "input"});
    RegisterEntry entry;
    entry.address = static_cast<uint16_t>(
        ReadInteger(path, object, place, "register", 0, kRegisterSpace - 1, 0));
    const std::string type = ReadText(path, object, place, "type");
    const auto parsed = ParseRegisterType(type.empty() ? "uint16" : type);
    if (!parsed) {
        Fail(path, place +
                       ".type must be uint16, int16, uint32, int32, float32, string or "
                       "message, not \"" +
                       type + "\"");
    }
    entry.type = *parsed;
    const std::string order = ReadText(path, object, place, "wordOrder");
    if (!order.empty() && order != "big" && order != "little") {
        Fail(path, place + ".wordOrder must be \"big\" or \"little\"");
    }
    entry.wordOrder = order == "little" ? WordOrder::kLittle : WordOrder::kBig;
    if (object.contains("scale")) {
        if (!object.value("scale").isDouble()) {
            Fail(path, place + ".scale must be a number");
        }
        entry.scale = object.value("scale").toDouble();
    }
    if (object.contains("decimals")) {
        entry.decimals = ReadInteger(path, object, place, "decimals", 0, kMaxDecimals, 0);
    }
    if (entry.type == RegisterType::kString) {
        entry.textRegisters = static_cast<uint16_t>(
            ReadInteger(path, object, place, "registers", 1, kMaxTextRegisters, 0));
        if (entry.textRegisters == 0) {
            Fail(path, place + ".registers is needed for a string: 1 to 128");
        }
    }
    entry.var = ReadText(path, object, place, "var");
    entry.sign = ReadText(path, object, place, "sign");
    entry.tag = ReadText(path, object, place, "tag");
    entry.input = object.value("input").toBool(false);
    return entry;
}

CoilEntry ReadCoil(const QString& path, const QJsonObject& object, const std::string& place) {
    OnlyFields(path, object, place, {"coil", "alert", "message", "priority", "signs", "tag"});
    CoilEntry coil;
    coil.address =
        static_cast<uint16_t>(ReadInteger(path, object, place, "coil", 0, kRegisterSpace - 1, 0));
    coil.alert = ReadText(path, object, place, "alert");
    coil.priority = ReadInteger(path, object, place, "priority", 0, kMaxUnitId, 0);
    const QJsonValue message = object.value("message");
    if (message.isString() && !message.toString().isEmpty()) {
        coil.messageName = message.toString().toStdString();
    } else if (message.isObject()) {
        const auto read = ReadMessageObject(message.toObject(), "message");
        if (!read.Ok()) {
            Fail(path, place + ".message: " + read.Failure().text);
        }
        coil.messageJson = QJsonDocument(message.toObject()).toJson().toStdString();
    }
    for (const QJsonValue& sign : object.value("signs").toArray()) {
        coil.signs.push_back(sign.toString().toStdString());
    }
    coil.tag = ReadText(path, object, place, "tag");
    return coil;
}

std::chrono::milliseconds ReadEvery(const QString& path, const QJsonValue& value,
                                    const std::string& place) {
    static const QRegularExpression kDuration(R"(^(\d{1,7})(ms|s)$)");
    if (value.isUndefined()) {
        return kDefaultPollEvery;
    }
    const auto match = kDuration.match(value.toString());
    const std::chrono::milliseconds every{
        match.hasMatch() ? match.captured(1).toLongLong() * (match.captured(2) == "s" ? 1000 : 1)
                         : 0};
    if (every < kShortestPollEvery) {
        Fail(path, place + ".every must be a time such as \"500ms\" or \"2s\", 10 ms at least");
    }
    return every;
}

ModbusPollTarget ReadTarget(const QString& path, const QJsonObject& object,
                            const std::string& place) {
    OnlyFields(path, object, place, {"host", "unitId", "every", "read"});
    ModbusPollTarget target;
    const std::string host = ReadText(path, object, place, "host");
    std::tie(target.host, target.port) = ReadAddress(path, place + ".host", host, kModbusPort);
    target.unitId = ReadInteger(path, object, place, "unitId", 0, kMaxUnitId, kDefaultUnitId);
    target.every = ReadEvery(path, object.value("every"), place);
    const QJsonArray reads = object.value("read").toArray();
    for (qsizetype i = 0; i < reads.size(); ++i) {
        target.reads.push_back(
            ReadRegister(path, reads[i].toObject(), place + ".read[" + std::to_string(i) + "]"));
    }
    if (target.reads.empty()) {
        Fail(path, place + ".read must list the registers to read");
    }
    if (auto fault = CheckReadList(target.reads, place + ".read")) {
        Fail(path, *fault);
    }
    return target;
}

}  // namespace

ModbusConfig ReadModbusConfig(const QString& path, const QJsonValue& modbus,
                              const QJsonValue& poll) {
    ModbusConfig config;
    if (!modbus.isUndefined()) {
        if (!modbus.isObject()) {
            Fail(path, "\"modbus\" must be an object");
        }
        const QJsonObject object = modbus.toObject();
        OnlyFields(path, object, "modbus", {"listen", "unitId", "allowFrom", "map"});
        const std::string listen = ReadText(path, object, "modbus", "listen");
        if (listen.empty()) {
            Fail(path, "\"modbus.listen\" is needed, \"127.0.0.1:5020\"");
        }
        std::tie(config.listenHost, config.listenPort) =
            ReadAddress(path, "modbus.listen", listen, std::nullopt);
        config.unitId = ReadInteger(path, object, "modbus", "unitId", 0, kMaxUnitId, 1);
        for (const QJsonValue& address : object.value("allowFrom").toArray()) {
            if (!ParseIpv4(address.toString().toStdString())) {
                Fail(path, "\"modbus.allowFrom\" must list IPv4 addresses");
            }
            config.allowFrom.push_back(address.toString().toStdString());
        }
        if ((*ParseIpv4(config.listenHost))[0] != kLoopbackNet && config.allowFrom.empty()) {
            Fail(path, "\"modbus.listen\" is beyond loopback at " + config.listenHost +
                           ": \"allowFrom\" must list the controllers' addresses");
        }
        const QJsonArray map = object.value("map").toArray();
        for (qsizetype i = 0; i < map.size(); ++i) {
            const std::string place = "modbus.map[" + std::to_string(i) + "]";
            const QJsonObject entry = map[i].toObject();
            if (entry.contains("coil")) {
                config.map.coils.push_back(ReadCoil(path, entry, place));
            } else if (entry.contains("register")) {
                config.map.registers.push_back(ReadRegister(path, entry, place));
            } else {
                Fail(path, place + " needs \"register\" or \"coil\"");
            }
        }
    }
    if (!poll.isUndefined() && !poll.isArray()) {
        Fail(path, "\"poll\" must be a list of controllers");
    }
    const QJsonArray targets = poll.toArray();
    for (qsizetype i = 0; i < targets.size(); ++i) {
        config.poll.push_back(
            ReadTarget(path, targets[i].toObject(), "poll[" + std::to_string(i) + "]"));
    }
    return config;
}

std::optional<std::string> CheckModbusSigns(const ModbusConfig& config,
                                            const std::vector<NamedSign>& signs) {
    const MapNames names{
        [&](const std::string& name) {
            return std::any_of(signs.begin(), signs.end(),
                               [&](const auto& sign) { return SameSignName(sign.name, name); });
        },
        [&](const std::string& tag) {
            return std::any_of(signs.begin(), signs.end(), [&](const auto& sign) {
                return std::any_of(sign.tags.begin(), sign.tags.end(),
                                   [&](const std::string& t) { return SameSignName(t, tag); });
            });
        }};
    return CheckRegisterMap(config.map, names, "modbus.map");
}
