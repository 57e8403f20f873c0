#include "cli/MessageJsonWriter.h"

#include <cstdio>

#include "cli/MessageJson.h"
#include "encoding/Windows1252.h"

namespace {

// Builds one JSON object, fields in the order they are added.
class CJsonObject {
public:
    CJsonObject& Text(const char* name, std::string_view utf8) {
        Key(name);
        AppendJsonString(m_strOut, utf8);
        return *this;
    }
    CJsonObject& Number(const char* name, int64_t value) {
        Key(name);
        m_strOut += std::to_string(value);
        return *this;
    }
    CJsonObject& Bool(const char* name, bool value) {
        Key(name);
        m_strOut += value ? "true" : "false";
        return *this;
    }
    // A value already written as JSON.
    CJsonObject& Raw(const char* name, const std::string& json) {
        Key(name);
        m_strOut += json;
        return *this;
    }
    std::string Done() { return m_strOut + "}"; }

private:
    void Key(const char* name) {
        m_strOut += m_strOut.size() == 1 ? "\"" : ",\"";
        m_strOut += name;
        m_strOut += "\":";
    }

    std::string m_strOut = "{";
};

std::string ColourText(Rgb colour) {
    if (colour == kRed) {
        return "red";
    }
    if (colour == kYellow) {
        return "yellow";
    }
    if (colour == kGreen) {
        return "green";
    }
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", RedOf(colour), GreenOf(colour),
                  BlueOf(colour));
    return text;
}

bool SameAttributes(const CharCell& a, const CharCell& b) {
    return a.size == b.size && a.colour == b.colour && a.blink == b.blink;
}

std::string LineJson(const CellLine& line) {
    const CharCell plain;
    bool allPlain = true;
    std::string bytes;
    for (const CharCell& cell : line) {
        allPlain = allPlain && SameAttributes(cell, plain);
        bytes += static_cast<char>(cell.character);
    }
    std::string out;
    if (allPlain) {
        AppendJsonString(out, Windows1252ToUtf8(bytes));
        return out;
    }
    out = "[";
    for (size_t begin = 0; begin < line.size();) {
        size_t end = begin + 1;
        while (end < line.size() && SameAttributes(line[end], line[begin])) {
            ++end;
        }
        const CharCell& cell = line[begin];
        out += begin == 0 ? "" : ",";
        out += CJsonObject()
                   .Text("text", Windows1252ToUtf8(bytes.substr(begin, end - begin)))
                   .Number("size", cell.size)
                   .Text("color", ColourText(cell.colour))
                   .Bool("blink", cell.blink)
                   .Done();
        begin = end;
    }
    return out + "]";
}

std::string Dotted(const DottedNumbers& numbers) {
    return std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." +
           std::to_string(numbers[2]) + "." + std::to_string(numbers[3]);
}

const char* NetworkTypeText(int32_t type) {
    switch (type) {
        case kNetworkDeviceNet:
            return "devicenet";
        case kNetworkProfibus:
            return "profibus";
        default:
            return "ethernet";
    }
}

const char* ActionText(NetworkAction action) {
    switch (action) {
        case NetworkAction::kLoadDefaults:
            return "defaults";
        case NetworkAction::kDisable:
            return "disable";
        default:
            return "setup";
    }
}

}  // namespace

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

std::string WriteMessageJson(const DecodedMessage& message) {
    const MessageSettings& s = message.settings;
    CJsonObject json;
    json.Text("address", ChoiceJsonText(MessageChoice::kAddress, s.address));
    if (s.address != kAddressDefault) {
        json.Number("group", s.groupNumber).Number("unit", s.unitNumber);
    }
    json.Text("displayMode", ChoiceJsonText(MessageChoice::kDisplayMode, s.displayMode));
    json.Text("position", ChoiceJsonText(MessageChoice::kPosition, s.position));
    if (s.position == kPositionStartingAt) {
        json.Number("line", s.line)
            .Number("column", s.column)
            .Bool("clearLine", s.clearMessageOnLine);
    }
    json.Text("effect", ChoiceJsonText(MessageChoice::kEffect, s.effect));
    std::string lines = "[";
    for (size_t k = 0; k < message.lines.size(); ++k) {
        lines += (k == 0 ? "" : ",") + LineJson(message.lines[k]);
    }
    return json.Raw("lines", lines + "]").Done();
}

std::string WriteNetworkJson(const DecodedNetwork& network) {
    CJsonObject json;
    json.Text("action", ActionText(network.action)).Text("type", NetworkTypeText(network.type));
    if (network.groupNumber) {
        json.Number("group", *network.groupNumber);
    }
    if (network.unitNumber) {
        json.Number("unit", *network.unitNumber);
    }
    const struct {
        const char* name;
        const std::optional<DottedNumbers>& value;
    } dotted[] = {{"ip", network.ip}, {"mask", network.mask}, {"gateway", network.gateway}};
    for (const auto& field : dotted) {
        if (field.value) {
            json.Text(field.name, Dotted(*field.value));
        }
    }
    const struct {
        const char* name;
        const std::optional<int32_t>& value;
    } numbers[] = {{"station", network.stationAddress},
                   {"baud", network.baudKbps},
                   {"input", network.inputSize},
                   {"output", network.outputSize},
                   {"byte-order", network.byteOrder}};
    for (const auto& field : numbers) {
        if (field.value) {
            json.Number(field.name, *field.value);
        }
    }
    return json.Done();
}

std::string WriteDecodedJson(const DecodedCommand& command) {
    if (const auto* network = std::get_if<DecodedNetwork>(&command.content)) {
        return WriteNetworkJson(*network);
    }
    return WriteMessageJson(std::get<DecodedMessage>(command.content));
}
