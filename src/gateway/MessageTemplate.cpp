#include "gateway/MessageTemplate.h"

#include <algorithm>

#include "encoding/Windows1252.h"

namespace {

bool SameAttributes(const CharCell& a, const CharCell& b) {
    return a.size == b.size && a.colour == b.colour && a.blink == b.blink;
}

bool HasBrace(const MessageDocument& message) {
    return std::any_of(message.lines.begin(), message.lines.end(), [](const CellLine& line) {
        return std::any_of(line.begin(), line.end(), [](const CharCell& cell) {
            return cell.character == '{' || cell.character == '}';
        });
    });
}

}  // namespace

ExpandedMessage ExpandMessage(const MessageDocument& message, const VariableValues& values,
                              LocalTime now) {
    ExpandedMessage expanded{message, {}, {}, false};
    if (!HasBrace(message)) {
        return expanded;
    }
    for (CellLine& line : expanded.message.lines) {
        CellLine out;
        size_t begin = 0;
        while (begin < line.size()) {
            size_t end = begin + 1;
            while (end < line.size() && SameAttributes(line[begin], line[end])) {
                ++end;
            }
            std::string bytes;
            for (size_t i = begin; i < end; ++i) {
                bytes += static_cast<char>(line[i].character);
            }
            const TemplateExpansion run = ExpandTemplate(Windows1252ToUtf8(bytes), values, now);
            expanded.used.insert(run.used.begin(), run.used.end());
            expanded.missing.insert(run.missing.begin(), run.missing.end());
            expanded.usesClock = expanded.usesClock || run.usesClock;
            CharCell cell = line[begin];
            for (const char c : Utf8ToWindows1252(run.text)) {
                cell.character = static_cast<unsigned char>(c);
                out.push_back(cell);
            }
            begin = end;
        }
        line = std::move(out);
    }
    return expanded;
}
