#include "settings/SignsFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QLocale>
#include <cmath>
#include <cstdint>
#include <map>
#include <utility>

#include "settings/MessageFile.h"

namespace {

constexpr const char* kSignFields =
    "name, link, baud, tcpPort, group, unit, address, model, tags, gateway";

std::string Quoted(std::string_view text) {
    std::string quoted;
    AppendJsonString(quoted, text);
    return quoted;
}

// The line on which each value of a JSON text begins, by its path: "signs", "signs[1]",
// "signs[1].baud". Members are found at their key. The text is valid JSON, checked before.
std::map<std::string, int> JsonValueLines(std::string_view text) {
    struct Level {
        bool object = false;
        std::string path;
        size_t index = 0;
        bool expectKey = true;   // objects: the next string is a key
        bool expectItem = true;  // arrays: the next token begins an element
    };
    std::map<std::string, int> lines;
    std::vector<Level> levels;
    std::string pendingPath;  // the member whose value comes next
    int line = 1;
    // Notes where a value begins; returns its path.
    auto valueAt = [&]() -> std::string {
        if (levels.empty()) {
            return {};
        }
        Level& level = levels.back();
        if (level.object) {
            return pendingPath;
        }
        std::string path = level.path + "[" + std::to_string(level.index) + "]";
        if (level.expectItem) {
            level.expectItem = false;
            lines.emplace(path, line);
        }
        return path;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n') {
            ++line;
        } else if (c == '"') {
            std::string value;
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\' && i + 1 < text.size()) {
                    ++i;
                }
                value += text[i];
            }
            if (!levels.empty() && levels.back().object && levels.back().expectKey) {
                Level& level = levels.back();
                level.expectKey = false;
                pendingPath = level.path.empty() ? value : level.path + "." + value;
                lines.emplace(pendingPath, line);
            } else {
                valueAt();
            }
        } else if (c == '{' || c == '[') {
            const std::string path = valueAt();
            levels.push_back({c == '{', path});
        } else if (c == '}' || c == ']') {
            levels.pop_back();
        } else if (c == ',' && !levels.empty()) {
            Level& level = levels.back();
            level.expectKey = true;
            level.expectItem = true;
            ++level.index;
        } else if (c != ':' && c != ' ' && c != '\t' && c != '\r') {
            valueAt();  // a number or a literal
        }
    }
    return lines;
}

// Reads one file's text, naming the line of each fault.
class CSignsReader {
public:
    explicit CSignsReader(std::string_view json) : m_lines(JsonValueLines(json)) {}

    [[noreturn]] void Fail(const std::string& path, const std::string& need) const {
        const auto found = m_lines.find(path);
        const int line = found != m_lines.end() ? found->second : 1;
        throw CSignsFileError("line " + std::to_string(line) + ": " + need, line, path);
    }
    [[noreturn]] void FailField(const std::string& path, const std::string& need) const {
        Fail(path, Quoted(path) + " must be " + need);
    }

    std::string ReadString(const QJsonValue& value, const std::string& path) const {
        if (!value.isString()) {
            FailField(path, "a string, not " + Given(value));
        }
        return value.toString().toStdString();
    }

    int64_t ReadInteger(const QJsonValue& value, const std::string& path) const {
        const double number = value.toDouble();
        if (!value.isDouble() || std::floor(number) != number || std::abs(number) > INT32_MAX) {
            FailField(path, "a whole number, not " + Given(value));
        }
        return static_cast<int64_t>(number);
    }

    NamedSign ReadSign(const QJsonValue& value, const std::string& path) const;

private:
    std::map<std::string, int> m_lines;
};

int32_t AddressByName(const QString& name) {
    for (const int32_t mode :
         {kAddressBroadcast, kAddressSpecificGroup, kAddressSpecificUnit, kAddressDefault}) {
        if (name == QString::fromStdString(ChoiceJsonText(MessageChoice::kAddress, mode))) {
            return mode;
        }
    }
    return -1;
}

NamedSign CSignsReader::ReadSign(const QJsonValue& value, const std::string& path) const {
    if (!value.isObject()) {
        FailField(path, "a sign {\"name\", \"link\", ...}, not " + Given(value));
    }
    const QJsonObject object = value.toObject();
    NamedSign sign;
    std::map<std::string, bool> given;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const std::string key = it.key().toStdString();
        const std::string field = path + "." + key;
        const QJsonValue member = it.value();
        given[key] = true;
        if (key == "name") {
            sign.name = ReadString(member, field);
        } else if (key == "link") {
            if (member.isString() && member.toString().contains(QLatin1Char(':'))) {
                FailField(field, "an address alone, not " + Given(member) +
                                     ": the port goes in \"tcpPort\"");
            }
            if (!member.isString() || !SetSignLink(sign, member.toString().toStdString())) {
                FailField(field, "\"COM1\" to \"COM8\" or an IPv4 address \"A.B.C.D\", not " +
                                     Given(member));
            }
        } else if (key == "baud") {
            sign.baudRate = static_cast<int32_t>(ReadInteger(member, field));
        } else if (key == "tcpPort") {
            const int64_t port = ReadInteger(member, field);
            if (port < 1 || port > kMaxSignTcpPort) {
                FailField(field, "a TCP port from 1 to 65535, not " + Given(member));
            }
            sign.tcpPort = static_cast<uint16_t>(port);
        } else if (key == "group") {
            sign.groupNumber = static_cast<int32_t>(ReadInteger(member, field));
        } else if (key == "unit") {
            sign.unitNumber = static_cast<int32_t>(ReadInteger(member, field));
        } else if (key == "address") {
            sign.address = member.isString() ? AddressByName(member.toString()) : -1;
            if (sign.address < 0) {
                FailField(field, "\"unit\", \"group\", \"broadcast\" or \"default\", not " +
                                     Given(member));
            }
        } else if (key == "model") {
            sign.signModel = static_cast<int32_t>(ReadInteger(member, field));
        } else if (key == "tags") {
            if (!member.isArray()) {
                FailField(field, "a list of strings, not " + Given(member));
            }
            const QJsonArray tags = member.toArray();
            for (qsizetype i = 0; i < tags.size(); ++i) {
                sign.tags.push_back(ReadString(tags[i], field + "[" + std::to_string(i) + "]"));
            }
        } else if (key == "gateway") {
            sign.gateway = ReadString(member, field);
        } else {
            Fail(field,
                 Quoted(field) + " is not a field of a sign (a sign has " + kSignFields + ")");
        }
    }
    for (const char* needed : {"name", "link"}) {
        if (!given[needed]) {
            Fail(path, Quoted(path) + " needs a " + Quoted(needed));
        }
    }
    // A field of the other kind of link is a link changed by hand with the rest left behind.
    const char* otherLinkField = sign.OverTcp() ? "baud" : "tcpPort";
    if (given[otherLinkField]) {
        Fail(path + "." + otherLinkField,
             Quoted(path + "." + otherLinkField) + " does not apply to the link " +
                 SignLinkText(sign) +
                 "; \"baud\" is for \"COM1\" to \"COM8\", \"tcpPort\" for "
                 "an IPv4 address");
    }
    if (!given["address"] && (given["group"] || given["unit"])) {
        sign.address = kAddressSpecificUnit;
    }
    if (const std::optional<SignFault> fault = CheckSign(sign)) {
        FailField(path + "." + fault->field, fault->need);
    }
    return sign;
}

// Writes the indented JSON of a value one level in, for the file's top-level object.
std::string Indented(const QJsonDocument& document) {
    QByteArray json = document.toJson(QJsonDocument::Indented).trimmed();
    return json.replace("\n", "\n    ").toStdString();
}

}  // namespace

SignsDocument ParseSignsJson(std::string_view json) {
    QJsonParseError error{};
    const QByteArray bytes(json.data(), static_cast<qsizetype>(json.size()));
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        const int line = static_cast<int>(bytes.left(error.offset).count('\n')) + 1;
        throw CSignsFileError("line " + std::to_string(line) +
                                  ": not valid JSON: " + error.errorString().toStdString(),
                              line);
    }
    const CSignsReader reader(json);
    if (!document.isObject()) {
        reader.Fail({}, "the file must hold one JSON object {\"signs\": [...]}");
    }
    SignsDocument result;
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const std::string key = it.key().toStdString();
        if (key == "signs") {
            if (!it.value().isArray()) {
                reader.FailField(key, "a list of signs, not " + Given(it.value()));
            }
            const QJsonArray signs = it.value().toArray();
            for (qsizetype i = 0; i < signs.size(); ++i) {
                const std::string path = "signs[" + std::to_string(i) + "]";
                NamedSign sign = reader.ReadSign(signs[i], path);
                for (size_t j = 0; j < result.signs.size(); ++j) {
                    if (SameSignName(result.signs[j].name, sign.name)) {
                        reader.FailField(path + ".name",
                                         "a name of its own, not " + Quoted(sign.name) +
                                             ": signs[" + std::to_string(j) + "] is " +
                                             Quoted(result.signs[j].name) +
                                             " (names are the same whatever their case)");
                    }
                }
                result.signs.push_back(std::move(sign));
            }
        } else if (key == "schedules") {
            if (!it.value().isArray()) {
                reader.FailField(key, "a list, not " + Given(it.value()));
            }
            result.schedulesJson =
                QJsonDocument(it.value().toArray()).toJson(QJsonDocument::Compact).toStdString();
        } else {
            reader.Fail(key, Quoted(key) +
                                 " is not a field of the file (it has \"signs\" and "
                                 "\"schedules\")");
        }
    }
    return result;
}

std::string WriteSignsJson(const SignsDocument& document) {
    std::string out = "{\n    \"signs\": [";
    for (size_t i = 0; i < document.signs.size(); ++i) {
        const NamedSign& sign = document.signs[i];
        out += i == 0 ? "\n        {" : ",\n        {";
        out += "\"name\": " + Quoted(sign.name);
        out += ", \"link\": " + Quoted(SignLinkText(sign));
        if (!sign.OverTcp()) {
            out += ", \"baud\": " + std::to_string(sign.baudRate);
        } else if (sign.tcpPort != kSignTcpPort) {
            out += ", \"tcpPort\": " + std::to_string(sign.tcpPort);
        }
        // Numbers go into every address code but "default", so they are kept whatever the mode.
        const bool unit = sign.address == kAddressSpecificUnit;
        if (unit || sign.address == kAddressSpecificGroup || sign.groupNumber != 0) {
            out += ", \"group\": " + std::to_string(sign.groupNumber);
        }
        if (unit || sign.unitNumber != 0) {
            out += ", \"unit\": " + std::to_string(sign.unitNumber);
        }
        out += ", \"address\": " + Quoted(ChoiceJsonText(MessageChoice::kAddress, sign.address));
        if (sign.signModel != 0) {
            out += ", \"model\": " + std::to_string(sign.signModel);
        }
        if (!sign.tags.empty()) {
            out += ", \"tags\": [";
            for (size_t t = 0; t < sign.tags.size(); ++t) {
                out += (t == 0 ? "" : ", ") + Quoted(sign.tags[t]);
            }
            out += "]";
        }
        if (sign.gateway) {
            out += ", \"gateway\": " + Quoted(*sign.gateway);
        }
        out += "}";
    }
    out += document.signs.empty() ? "]" : "\n    ]";
    if (!document.schedulesJson.empty()) {
        out += ",\n    \"schedules\": " +
               Indented(QJsonDocument::fromJson(QByteArray::fromStdString(document.schedulesJson)));
    }
    return out + "\n}\n";
}
