#include "automation/TemplateText.h"

#include <algorithm>

#include "automation/TimeFormat.h"

namespace {

constexpr char kOpen = '{';
constexpr char kClose = '}';
constexpr char kFormatSeparator = ':';
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;

bool IsNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

void AppendValue(std::string& text, std::string_view value) {
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        text += byte < kFirstPrintable || byte == kDelete ? ' ' : c;
    }
}

// Writes what the placeholder between the braces shows; false when it is no placeholder.
bool ExpandPlaceholder(std::string_view body, const VariableLookup& lookup, LocalTime now,
                       TemplateExpansion& expansion) {
    if (body.substr(0, kClockName.size()) == kClockName) {
        const std::string_view rest = body.substr(kClockName.size());
        if (rest.empty() || rest.front() == kFormatSeparator) {
            const std::string_view format = rest.size() > 1 ? rest.substr(1) : kDefaultClockFormat;
            expansion.text += FormatLocalTime(format, now);
            expansion.usesClock = true;
            return true;
        }
    }
    if (!IsVariableName(body)) {
        return false;
    }
    expansion.used.emplace(body);
    if (const std::optional<std::string> value = lookup(body)) {
        AppendValue(expansion.text, *value);
    } else {
        expansion.missing.emplace(body);
        expansion.text += kMissingValue;
    }
    return true;
}

}  // namespace

bool IsVariableName(std::string_view name) {
    // A first "." or "-" would let ".." or "-x" through, which paths and options read otherwise.
    return !name.empty() && name.size() <= kMaxVariableNameLength && name != kClockName &&
           name.front() != '.' && name.front() != '-' &&
           std::all_of(name.begin(), name.end(), IsNameCharacter);
}

TemplateExpansion ExpandTemplate(std::string_view text, const VariableLookup& lookup,
                                 LocalTime now) {
    TemplateExpansion expansion;
    expansion.text.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        const bool doubled = pos + 1 < text.size() && text[pos + 1] == c;
        if (c == kClose) {
            // "}}" is one brace; a lone one is written as it stands.
            expansion.text += c;
            pos += doubled ? 2 : 1;
            continue;
        }
        if (c != kOpen) {
            expansion.text += c;
            ++pos;
            continue;
        }
        if (doubled) {
            expansion.text += c;
            pos += 2;
            continue;
        }
        const size_t end = text.find_first_of("{}", pos + 1);
        if (end != std::string_view::npos && text[end] == kClose &&
            ExpandPlaceholder(text.substr(pos + 1, end - pos - 1), lookup, now, expansion)) {
            pos = end + 1;
            continue;
        }
        expansion.text += c;
        ++pos;
    }
    return expansion;
}

TemplateExpansion ExpandTemplate(std::string_view text, const VariableValues& values,
                                 LocalTime now) {
    const VariableLookup lookup = [&values](std::string_view name) -> std::optional<std::string> {
        const auto found = values.find(name);
        if (found == values.end()) {
            return std::nullopt;
        }
        return found->second;
    };
    return ExpandTemplate(text, lookup, now);
}
