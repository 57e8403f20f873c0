#include "settings/MessageFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QLocale>
#include <QString>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>

#include "encoding/Windows1252.h"
#include "preview/SignModel.h"

namespace {

[[noreturn]] void Fail(const std::string& message) {
    throw CMessageFileError(message);
}

struct Choice {
    const char* text;
    int32_t value;
};

std::string Quoted(const QString& text) {
    std::string quoted = "\"";
    quoted += text.toStdString();
    quoted += '"';
    return quoted;
}

std::string ChoiceList(const std::vector<Choice>& choices) {
    std::string list;
    for (size_t i = 0; i < choices.size(); ++i) {
        list += (i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ");
        list += std::string("\"") + choices[i].text + "\"";
    }
    return list;
}

int32_t ReadChoice(const QJsonValue& value, const std::string& field,
                   const std::vector<Choice>& choices) {
    if (value.isString()) {
        for (const Choice& choice : choices) {
            if (value.toString() == QLatin1String(choice.text)) {
                return choice.value;
            }
        }
    }
    const std::string given = value.isString() ? Quoted(value.toString()) : Given(value);
    Fail("\"" + field + "\" must be " + ChoiceList(choices) + ", not " + given);
}

// A field without a range of its own is limited only by the 32-bit value that holds it.
int32_t ReadInteger(const QJsonValue& value, const std::string& field, int64_t low = INT32_MIN,
                    int64_t high = INT32_MAX) {
    const double number = value.toDouble();
    if (!value.isDouble() || std::floor(number) != number) {
        Fail("\"" + field + "\" must be a whole number, not " + Given(value));
    }
    if (number < static_cast<double>(low) || number > static_cast<double>(high)) {
        Fail("\"" + field + "\" must be a whole number from " + std::to_string(low) + " to " +
             std::to_string(high) + ", not " + Given(value));
    }
    return static_cast<int32_t>(number);
}

bool ReadBool(const QJsonValue& value, const std::string& field) {
    if (!value.isBool()) {
        Fail("\"" + field + "\" must be true or false, not " + Given(value));
    }
    return value.toBool();
}

Rgb ReadColour(const QJsonValue& value, const std::string& field) {
    const QString text = value.toString();
    if (value.isString()) {
        if (text == QLatin1String("red")) {
            return kRed;
        }
        if (text == QLatin1String("yellow")) {
            return kYellow;
        }
        if (text == QLatin1String("green")) {
            return kGreen;
        }
        bool ok = text.size() == 7 && text.front() == QLatin1Char('#');
        for (qsizetype i = 1; ok && i < text.size(); ++i) {
            ok = text[i].unicode() < 0x80 && std::isxdigit(text[i].unicode()) != 0;
        }
        if (ok) {
            const uint32_t rgb = text.mid(1).toUInt(nullptr, 16);
            return MakeRgb(static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                           static_cast<uint8_t>(rgb));
        }
    }
    const std::string given = value.isString() ? Quoted(text) : Given(value);
    Fail("\"" + field + "\" must be \"red\", \"yellow\", \"green\" or \"#rrggbb\", not " + given);
}

// Appends the characters of one run to the message; a line break in the text starts a new line.
void AppendRun(MessageDocument& message, const QString& text, const CharCell& attributes) {
    std::vector<CellLine>& lines = message.lines;
    const std::string utf8 = text.toStdString();
    if (!message.unencodable) {
        message.unencodable = FindUnencodableAt(utf8, lines.size());
    }
    const std::string bytes = Utf8ToWindows1252(utf8);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                ++i;
            }
            lines.emplace_back();
            continue;
        }
        CharCell cell = attributes;
        cell.character = static_cast<unsigned char>(c);
        lines.back().push_back(cell);
    }
}

void AppendRunObject(MessageDocument& message, const QJsonValue& value, const std::string& field) {
    if (!value.isObject()) {
        Fail("\"" + field + "\" must be a run {\"text\", \"size\", \"color\", \"blink\"}, not " +
             Given(value));
    }
    const QJsonObject run = value.toObject();
    CharCell attributes;
    QString text;
    for (auto it = run.begin(); it != run.end(); ++it) {
        const std::string name = field + "." + it.key().toStdString();
        if (it.key() == QLatin1String("text")) {
            if (!it.value().isString()) {
                Fail("\"" + name + "\" must be a string, not " + Given(it.value()));
            }
            text = it.value().toString();
        } else if (it.key() == QLatin1String("size")) {
            attributes.size = ReadInteger(it.value(), name, 1, 5);
        } else if (it.key() == QLatin1String("color")) {
            attributes.colour = ReadColour(it.value(), name);
        } else if (it.key() == QLatin1String("blink")) {
            attributes.blink = ReadBool(it.value(), name);
        } else {
            Fail("unknown field " + Quoted(it.key()) + " in \"" + field +
                 "\" (a run has \"text\", \"size\", \"color\" and \"blink\")");
        }
    }
    AppendRun(message, text, attributes);
}

void ReadLines(MessageDocument& message, const QJsonValue& value) {
    if (!value.isArray()) {
        Fail("\"lines\" must be an array of lines (strings or arrays of runs), not " +
             Given(value));
    }
    std::vector<CellLine>& lines = message.lines;
    lines.clear();
    message.unencodable.reset();
    const QJsonArray array = value.toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        const std::string field = "lines[" + std::to_string(i) + "]";
        lines.emplace_back();
        const QJsonValue line = array[i];
        if (line.isString()) {
            AppendRun(message, line.toString(), CharCell{});
        } else if (line.isArray()) {
            const QJsonArray runs = line.toArray();
            for (qsizetype r = 0; r < runs.size(); ++r) {
                AppendRunObject(message, runs[r], field + "[" + std::to_string(r) + "]");
            }
        } else {
            Fail("\"" + field + "\" must be a string or an array of runs, not " + Given(line));
        }
    }
    if (lines.empty()) {
        lines.emplace_back();
    }
}

// Scalars are valid JSON too, though not a message; the parser takes only objects and arrays.
bool IsJsonScalar(std::string_view json) {
    QJsonParseError error{};
    const QJsonDocument wrapped = QJsonDocument::fromJson(
        QByteArray("[") + QByteArray(json.data(), static_cast<qsizetype>(json.size())) + "]",
        &error);
    return error.error == QJsonParseError::NoError && wrapped.array().size() == 1;
}

const std::vector<Choice> kAddressChoices = {{"broadcast", kAddressBroadcast},
                                             {"group", kAddressSpecificGroup},
                                             {"unit", kAddressSpecificUnit},
                                             {"default", kAddressDefault}};
const std::vector<Choice> kPositionChoices = {
    {"center", kPositionCenter}, {"default", kPositionDefault}, {"start", kPositionStartingAt}};
const std::vector<Choice> kDisplayChoices = {{"none", kDisplayDoNothing},
                                             {"clear-home", kDisplayClearHome},
                                             {"clear-home-reset", kDisplayClearHomeReset},
                                             {"clear", kDisplayClearCursorUnchanged},
                                             {"clear-line", kDisplayClearLine}};
const std::vector<Choice> kEffectChoices = {{"default", kEffectDefault},
                                            {"blink", kEffectBlinkWholeMessage},
                                            {"blink-off", kEffectTurnOffBlinking},
                                            {"scroll", kEffectScrollRepeatedly},
                                            {"scroll-once", kEffectScrollOnce}};

constexpr int64_t kMaxSignModel = kSignModelCount - 1;

}  // namespace

std::string Given(const QJsonValue& value) {
    switch (value.type()) {
        case QJsonValue::Null:
            return "null";
        case QJsonValue::Bool:
            return value.toBool() ? "true" : "false";
        case QJsonValue::Double:
            return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest)
                .toStdString();
        case QJsonValue::String: {
            std::string quoted;
            AppendJsonString(quoted, value.toString().toStdString());
            return quoted;
        }
        case QJsonValue::Array:
            return "an array";
        case QJsonValue::Object:
            return "an object";
        default:
            return "nothing";
    }
}

MessageDocument ParseMessageJson(std::string_view json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray(json.data(), static_cast<qsizetype>(json.size())), &error);
    if (error.error != QJsonParseError::NoError && !IsJsonScalar(json)) {
        Fail("the message is not valid JSON: " + error.errorString().toStdString() + " at offset " +
             std::to_string(error.offset));
    }
    if (!document.isObject()) {
        Fail("the message must be a JSON object");
    }

    return MessageFromJsonObject(document.object());
}

MessageDocument MessageFromJsonObject(const QJsonObject& object) {
    MessageDocument message;
    MessageSettings& s = message.settings;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const std::string key = it.key().toStdString();
        const QJsonValue value = it.value();
        if (key == "address") {
            s.address = ReadChoice(value, key, kAddressChoices);
        } else if (key == "group") {
            s.groupNumber = ReadInteger(value, key, 0, kMaxGroupNumber);
        } else if (key == "unit") {
            s.unitNumber = ReadInteger(value, key, 0, kMaxUnitNumber);
        } else if (key == "position") {
            s.position = ReadChoice(value, key, kPositionChoices);
        } else if (key == "line") {
            s.line = ReadInteger(value, key);
        } else if (key == "column") {
            s.column = ReadInteger(value, key);
        } else if (key == "clearLine") {
            s.clearMessageOnLine = ReadBool(value, key);
        } else if (key == "displayMode") {
            s.displayMode = ReadChoice(value, key, kDisplayChoices);
        } else if (key == "effect") {
            s.effect = ReadChoice(value, key, kEffectChoices);
        } else if (key == "signModel") {
            s.signModel = ReadInteger(value, key, 0, kMaxSignModel);
        } else if (key == "lines") {
            ReadLines(message, value);
        } else {
            Fail("unknown field \"" + key +
                 "\" (fields: address, group, unit, position, line, column, clearLine, "
                 "displayMode, effect, signModel, lines)");
        }
    }
    return message;
}

std::string ChoiceJsonText(MessageChoice choice, int32_t value) {
    const std::vector<Choice>& choices = choice == MessageChoice::kAddress       ? kAddressChoices
                                         : choice == MessageChoice::kPosition    ? kPositionChoices
                                         : choice == MessageChoice::kDisplayMode ? kDisplayChoices
                                                                                 : kEffectChoices;
    for (const Choice& entry : choices) {
        if (entry.value == value) {
            return entry.text;
        }
    }
    return {};
}

std::optional<UnencodableAt> FindUnencodableAt(std::string_view utf8, size_t firstLine) {
    const std::optional<UnencodableCharacter> found = FindUnencodable(utf8);
    if (!found) {
        return std::nullopt;
    }
    size_t line = firstLine;
    for (size_t i = 0; i < found->offset; ++i) {
        const bool crBeforeLf = utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n';
        if (utf8[i] == '\n' || (utf8[i] == '\r' && !crBeforeLf)) {
            ++line;
        }
    }
    return UnencodableAt{std::string(found->utf8), found->codePoint, found->malformed, line};
}

std::string ReadStreamBytes(std::FILE* stream, const std::string& shownName) {
    std::string bytes;
    char buffer[65536];
    size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, stream)) > 0) {
        bytes.append(buffer, count);
    }
    if (std::ferror(stream) != 0) {
        Fail("cannot read " + shownName + ": " + std::strerror(errno));
    }
    return bytes;
}

std::string ReadFileBytes(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        Fail("cannot read " + path + ": " + std::strerror(errno));
    }
    try {
        std::string bytes = ReadStreamBytes(file, path);
        std::fclose(file);
        return bytes;
    } catch (...) {
        std::fclose(file);
        throw;
    }
}

MessageDocument ReadMessageFile(const std::string& path) {
    return ParseMessageJson(ReadFileBytes(path));
}
