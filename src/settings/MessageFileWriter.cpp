#include <QFileInfo>
#include <QJsonArray>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "encoding/Windows1252.h"
#include "settings/JsonObject.h"
#include "settings/MessageFile.h"

namespace {

// Runs stay on one line of their own even in an indented file.
class CJsonRun {
public:
    explicit CJsonRun(const MessageJsonLayout& layout) : m_bSpaced(layout.indented) {}

    std::string Write(std::string_view text, const CharCell& cell) const {
        std::string out = "{";
        Field(out, "text");
        AppendJsonString(out, text);
        out += ",";
        Field(out, "size");
        out += std::to_string(cell.size);
        out += ",";
        Field(out, "color");
        AppendJsonString(out, ColourText(SignColour(cell.colour)));
        out += ",";
        Field(out, "blink");
        out += cell.blink ? "true" : "false";
        return out + "}";
    }

    static const char* ColourText(Rgb colour) {
        if (colour == kYellow) {
            return "yellow";
        }
        return colour == kGreen ? "green" : "red";
    }

private:
    void Field(std::string& out, const char* name) const {
        out += m_bSpaced && out.back() == ',' ? " \"" : "\"";
        out += name;
        out += m_bSpaced ? "\": " : "\":";
    }

    bool m_bSpaced;
};

bool SameAttributes(const CharCell& a, const CharCell& b) {
    return a.size == b.size && SignColour(a.colour) == SignColour(b.colour) && a.blink == b.blink;
}

// The end of the stretch of equal attributes that begins at `begin`.
size_t RunEnd(const CellLine& line, size_t begin) {
    size_t end = begin + 1;
    while (end < line.size() && SameAttributes(line[end], line[begin])) {
        ++end;
    }
    return end;
}

std::string LineBytes(const CellLine& line) {
    std::string bytes;
    for (const CharCell& cell : line) {
        bytes += static_cast<char>(cell.character);
    }
    return bytes;
}

bool AllPlain(const CellLine& line) {
    const CharCell plain;
    return std::all_of(line.begin(), line.end(),
                       [&](const CharCell& cell) { return SameAttributes(cell, plain); });
}

std::string LineJson(const CellLine& line, const MessageJsonLayout& layout) {
    const std::string bytes = LineBytes(line);
    std::string out;
    if (AllPlain(line)) {
        AppendJsonString(out, Windows1252ToUtf8(bytes));
        return out;
    }
    const CJsonRun run(layout);
    out = "[";
    for (size_t begin = 0; begin < line.size();) {
        const size_t end = RunEnd(line, begin);
        out += begin == 0 ? "" : layout.indented ? ", " : ",";
        out += run.Write(Windows1252ToUtf8(bytes.substr(begin, end - begin)), line[begin]);
        begin = end;
    }
    return out + "]";
}

std::string LinesJson(const std::vector<CellLine>& lines, const MessageJsonLayout& layout) {
    const char* separator = layout.indented ? "\n        " : "";
    std::string out = "[";
    for (size_t k = 0; k < lines.size(); ++k) {
        out += k == 0 ? separator : std::string(",") + separator;
        out += LineJson(lines[k], layout);
    }
    return out + (layout.indented ? "\n    ]" : "]");
}

// A choice the reader knows by name, or else its number, which the reader then refuses by name.
void AddChoice(CJsonObject& json, const char* name, MessageChoice choice, int32_t value) {
    const std::string text = ChoiceJsonText(choice, value);
    if (text.empty()) {
        json.Number(name, value);
    } else {
        json.Text(name, text);
    }
}

}  // namespace

std::string LineText(const CellLine& line) {
    return Windows1252ToUtf8(LineBytes(line));
}

void AppendJsonString(std::string& out, std::string_view utf8) {
    out += '"';
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
}

std::string WriteMessageJson(const MessageDocument& message, const MessageJsonLayout& layout) {
    const MessageSettings& s = message.settings;
    CJsonObject json(layout.indented, "    ");
    AddChoice(json, "address", MessageChoice::kAddress, s.address);
    if (layout.everyChoice || s.address != kAddressDefault) {
        json.Number("group", s.groupNumber).Number("unit", s.unitNumber);
    }
    AddChoice(json, "displayMode", MessageChoice::kDisplayMode, s.displayMode);
    AddChoice(json, "position", MessageChoice::kPosition, s.position);
    if (layout.everyChoice || s.position == kPositionStartingAt) {
        json.Number("line", s.line)
            .Number("column", s.column)
            .Bool("clearLine", s.clearMessageOnLine);
    }
    AddChoice(json, "effect", MessageChoice::kEffect, s.effect);
    if (layout.everyChoice) {
        json.Number("signModel", s.signModel);
    }
    return json.Raw("lines", LinesJson(message.lines, layout)).Done();
}

QJsonObject MessageToJsonObject(const MessageDocument& message) {
    const MessageSettings& s = message.settings;
    QJsonObject object;
    const auto choice = [&](const char* name, MessageChoice kind, int32_t value) {
        const std::string text = ChoiceJsonText(kind, value);
        object[name] = text.empty() ? QJsonValue(value) : QJsonValue(QString::fromStdString(text));
    };
    choice("address", MessageChoice::kAddress, s.address);
    object["group"] = s.groupNumber;
    object["unit"] = s.unitNumber;
    choice("displayMode", MessageChoice::kDisplayMode, s.displayMode);
    choice("position", MessageChoice::kPosition, s.position);
    object["line"] = s.line;
    object["column"] = s.column;
    object["clearLine"] = s.clearMessageOnLine;
    choice("effect", MessageChoice::kEffect, s.effect);
    object["signModel"] = s.signModel;
    QJsonArray lines;
    for (const CellLine& line : message.lines) {
        const std::string bytes = LineBytes(line);
        if (AllPlain(line)) {
            lines.append(QString::fromStdString(Windows1252ToUtf8(bytes)));
            continue;
        }
        QJsonArray runs;
        for (size_t begin = 0; begin < line.size();) {
            const size_t end = RunEnd(line, begin);
            const CharCell& cell = line[begin];
            runs.append(QJsonObject{{"text", QString::fromStdString(Windows1252ToUtf8(
                                                 bytes.substr(begin, end - begin)))},
                                    {"size", cell.size},
                                    {"color", CJsonRun::ColourText(SignColour(cell.colour))},
                                    {"blink", cell.blink}});
            begin = end;
        }
        lines.append(runs);
    }
    object["lines"] = lines;
    return object;
}

void WriteMessageFile(const QString& path, const MessageDocument& message) {
    const std::string json = WriteMessageJson(message) + "\n";
    // The reader's own message names the first value that would not come back.
    ParseMessageJson(json);

    const std::string shownPath = path.toStdString();
    const auto fail = [&shownPath](const std::string& reason) {
        throw CMessageFileError("cannot write " + shownPath + ": " + reason);
    };
    // A save replaces the file by renaming a new one over it, which would turn a device or a
    // pipe into a plain file.
    const QFileInfo existing(path);
    if (existing.exists() && existing.isDir()) {
        fail(std::strerror(EISDIR));
    }
    if (existing.exists() && !existing.isFile()) {
        fail("not a regular file");
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        fail(file.errorString().toStdString());
    }
    const auto size = static_cast<qint64>(json.size());
    if (file.write(json.data(), size) != size || !file.commit()) {
        fail(file.errorString().toStdString());
    }
}
