#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "settings/MessageFile.h"

// Builds one JSON object, fields in the order they are added.
class CJsonObject {
public:
    // indented: one field a line, each behind the indent; else all on one line.
    explicit CJsonObject(bool indented = false, const char* indent = "")
        : m_strIndent(indent), m_bIndented(indented) {}

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
    std::string Done() const { return m_strOut + (m_bIndented ? "\n}" : "}"); }

private:
    void Key(const char* name) {
        m_strOut += m_strOut.size() == 1 ? "" : ",";
        m_strOut += m_bIndented ? "\n" + m_strIndent + "\"" : "\"";
        m_strOut += name;
        m_strOut += m_bIndented ? "\": " : "\":";
    }

    std::string m_strOut = "{";
    std::string m_strIndent;
    bool m_bIndented;
};
