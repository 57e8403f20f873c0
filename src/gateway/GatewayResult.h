#pragma once

#include <optional>
#include <string>
#include <utility>

// What became of something asked of the gateway: done (kept here, or forwarded to the sign's own
// gateway), or why not. The one way a failure is said inside the gateway; each way in (HTTP,
// MQTT) maps the kinds to its own answers in one table.
enum class ResultKind {
    kAccepted,     // kept: written to the state folder, then shown and sent
    kForwarded,    // handed to the gateway that drives the sign
    kUnknownSign,  // no such sign (or tag)
    kNotKept,      // the state folder could not keep it; nothing changed
    kRefused,      // the request itself is wrong: a field and what it needs
    kConflict,     // asked of something that has changed meanwhile
    kForbidden,    // not this gateway's to do
    kTooLarge,     // more than the gateway takes in one request or payload
};

struct GatewayResult {
    ResultKind kind = ResultKind::kAccepted;
    std::string field;  // the field at fault, or empty
    std::string text;   // why, in the words lumivex-cli uses for the same fault

    bool Ok() const { return kind == ResultKind::kAccepted || kind == ResultKind::kForwarded; }

    static GatewayResult Refused(std::string field, std::string text) {
        return {ResultKind::kRefused, std::move(field), std::move(text)};
    }
    static GatewayResult UnknownSign(const std::string& name, std::string field = "name") {
        return {ResultKind::kUnknownSign, std::move(field),
                "there is no sign named \"" + name + "\""};
    }
};

// A value, or the failure that stands in its place.
template <class T>
class Result {
public:
    Result(T value) : m_value(std::move(value)) {}                    // NOLINT: a value is a result
    Result(GatewayResult failure) : m_failure(std::move(failure)) {}  // NOLINT: so is a failure

    bool Ok() const { return m_value.has_value(); }
    const T& Value() const { return *m_value; }
    T& Value() { return *m_value; }
    T Take() { return std::move(*m_value); }
    const GatewayResult& Failure() const { return m_failure; }

private:
    std::optional<T> m_value;
    GatewayResult m_failure;
};
