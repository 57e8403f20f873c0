#include "cli/MessageJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QString>
#include <cctype>
#include <cmath>
#include <utility>

#include "cli/CliSupport.h"
#include "encoding/Windows1252.h"

namespace {

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
    FailInput("\"" + field + "\" must be " + ChoiceList(choices));
}

int32_t ReadInteger(const QJsonValue& value, const std::string& field, int64_t low, int64_t high) {
    const double number = value.toDouble();
    if (!value.isDouble() || std::floor(number) != number || number < static_cast<double>(low) ||
        number > static_cast<double>(high)) {
        FailInput("\"" + field + "\" must be a whole number from " + std::to_string(low) + " to " +
                  std::to_string(high));
    }
    return static_cast<int32_t>(number);
}

bool ReadBool(const QJsonValue& value, const std::string& field) {
    if (!value.isBool()) {
        FailInput("\"" + field + "\" must be true or false");
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
    FailInput("\"" + field + "\" must be \"red\", \"yellow\", \"green\" or \"#rrggbb\"");
}

// Appends the characters of one run to the lines; a line break in the text starts a new line.
void AppendRun(std::vector<CellLine>& lines, const QString& text, const CharCell& attributes) {
    const std::string bytes = Utf8ToWindows1252(text.toStdString());
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

void AppendRunObject(std::vector<CellLine>& lines, const QJsonValue& value,
                     const std::string& field) {
    if (!value.isObject()) {
        FailInput("\"" + field + "\" must be a run: {\"text\", \"size\", \"color\", \"blink\"}");
    }
    const QJsonObject run = value.toObject();
    CharCell attributes;
    QString text;
    for (auto it = run.begin(); it != run.end(); ++it) {
        const std::string name = field + "." + it.key().toStdString();
        if (it.key() == QLatin1String("text")) {
            if (!it.value().isString()) {
                FailInput("\"" + name + "\" must be a string");
            }
            text = it.value().toString();
        } else if (it.key() == QLatin1String("size")) {
            attributes.size = ReadInteger(it.value(), name, 1, 5);
        } else if (it.key() == QLatin1String("color")) {
            attributes.colour = ReadColour(it.value(), name);
        } else if (it.key() == QLatin1String("blink")) {
            attributes.blink = ReadBool(it.value(), name);
        } else {
            FailInput("unknown field " + Quoted(it.key()) + " in \"" + field +
                      "\" (a run has \"text\", \"size\", \"color\" and \"blink\")");
        }
    }
    AppendRun(lines, text, attributes);
}

std::vector<CellLine> ReadLines(const QJsonValue& value) {
    if (!value.isArray()) {
        FailInput("\"lines\" must be an array of lines (strings or arrays of runs)");
    }
    std::vector<CellLine> lines;
    const QJsonArray array = value.toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        const std::string field = "lines[" + std::to_string(i) + "]";
        lines.emplace_back();
        const QJsonValue line = array[i];
        if (line.isString()) {
            AppendRun(lines, line.toString(), CharCell{});
        } else if (line.isArray()) {
            const QJsonArray runs = line.toArray();
            for (qsizetype r = 0; r < runs.size(); ++r) {
                AppendRunObject(lines, runs[r], field + "[" + std::to_string(r) + "]");
            }
        } else {
            FailInput("\"" + field + "\" must be a string or an array of runs");
        }
    }
    if (lines.empty()) {
        lines.emplace_back();
    }
    return lines;
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

constexpr int64_t kMaxGroup = 99;
constexpr int64_t kMaxUnit = 9999;
constexpr int64_t kMaxSignModel = 13;

}  // namespace

MessageDocument ParseMessageJson(const std::string& json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray(json.data(), static_cast<qsizetype>(json.size())), &error);
    if (error.error != QJsonParseError::NoError) {
        FailInput("the message is not valid JSON: " + error.errorString().toStdString() +
                  " at offset " + std::to_string(error.offset));
    }
    if (!document.isObject()) {
        FailInput("the message must be a JSON object");
    }

    MessageDocument message;
    MessageSettings& s = message.settings;
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const std::string key = it.key().toStdString();
        const QJsonValue value = it.value();
        if (key == "address") {
            s.address = ReadChoice(value, key, kAddressChoices);
        } else if (key == "group") {
            s.groupNumber = ReadInteger(value, key, 0, kMaxGroup);
        } else if (key == "unit") {
            s.unitNumber = ReadInteger(value, key, 0, kMaxUnit);
        } else if (key == "position") {
            s.position = ReadChoice(value, key, kPositionChoices);
        } else if (key == "line") {
            s.line = ReadInteger(value, key, INT32_MIN, INT32_MAX);
        } else if (key == "column") {
            s.column = ReadInteger(value, key, INT32_MIN, INT32_MAX);
        } else if (key == "clearLine") {
            s.clearMessageOnLine = ReadBool(value, key);
        } else if (key == "displayMode") {
            s.displayMode = ReadChoice(value, key, kDisplayChoices);
        } else if (key == "effect") {
            s.effect = ReadChoice(value, key, kEffectChoices);
        } else if (key == "signModel") {
            s.signModel = ReadInteger(value, key, 0, kMaxSignModel);
        } else if (key == "lines") {
            message.lines = ReadLines(value);
        } else {
            FailInput("unknown field \"" + key +
                      "\" (fields: address, group, unit, position, line, column, clearLine, "
                      "displayMode, effect, signModel, lines)");
        }
    }
    return message;
}

void CheckMessagePosition(const MessageDocument& message) {
    const MessageSettings& s = message.settings;
    if (s.position != kPositionStartingAt) {
        return;
    }
    if (const auto problem = CheckStartPosition(s.line, s.column)) {
        throw CliError(kExitBadInput, problem->message);
    }
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
