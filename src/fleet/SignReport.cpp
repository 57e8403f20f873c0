#include "fleet/SignReport.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "settings/JsonObject.h"
#include "settings/SendNotices.h"

namespace {

// A line of its own for each sign: the boxes' line breaks become spaces.
std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", seconds);
    return text;
}

// After every byte was written: what the sign did instead of closing its end. A single send
// never waits for it, so these have no words there.
std::string AwaitCloseReason(int error) {
    switch (error) {
        case ECONNRESET:
        case EPIPE:
            return "the sign reset the connection";
        case ETIMEDOUT:
            return "the sign stopped reading before the end of the message";
        default:
            break;
    }
    std::string text = std::strerror(error);
    text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return "the connection failed after sending: " + text;
}

// Why the sign did not get its string, in the words a single send shows.
std::string FailureReason(const SignSendResult& result) {
    const SendOutcome& outcome = result.outcome;
    if (outcome.result.code == SEND_CANCELLED) {
        return result.started ? "stopped; the sign may have taken part of the message"
                              : "not sent: stopped before its turn";
    }
    if (outcome.overTcp && outcome.result.operation == LinkOperation::kAwaitClose) {
        return AwaitCloseReason(outcome.result.error);
    }
    std::string reason;
    for (const SendNotice& notice : SendNotices(outcome)) {
        reason += (reason.empty() ? "" : " ") + OneLine(notice.text);
    }
    if (reason.empty()) {
        return "nothing sent: the command string is empty";
    }
    // A socket failure is the system's own text, which starts a sentence of its own.
    if (outcome.overTcp && reason.size() > 1 &&
        std::islower(static_cast<unsigned char>(reason[1]))) {
        reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    }
    return reason;
}

}  // namespace

std::string SignSendState(const SignSendResult& result) {
    if (result.outcome.Delivered()) {
        const std::string sent =
            std::to_string(result.bytes) + " bytes in " + Seconds(result.seconds) + " s";
        // A sign on TCP that took every byte but kept the connection open may have read them or
        // not; a serial line cannot tell either way, so it says what it always said.
        if (result.outcome.overTcp && !result.outcome.confirmed) {
            return "sent, not confirmed, " + sent + ": the sign kept the connection open";
        }
        return "sent, " + sent;
    }
    const std::string reason = FailureReason(result);
    return result.started ? LinkName(result.outcome) + ": " + reason : reason;
}

std::string SignSendLine(const SignSendResult& result) {
    return result.name + ": " + SignSendState(result);
}

std::string SignSendSummary(const std::vector<SignSendResult>& results) {
    const auto delivered =
        std::count_if(results.begin(), results.end(),
                      [](const SignSendResult& r) { return r.outcome.Delivered(); });
    return std::to_string(delivered) + " of " + std::to_string(results.size()) +
           (results.size() == 1 ? " sign" : " signs") + " got the message";
}

std::string SignSendJson(const SignSendResult& result) {
    const bool sent = result.outcome.Delivered();
    return CJsonObject()
        .Text("sign", result.name)
        .Text("link", LinkName(result.outcome))
        .Bool("sent", sent)
        .Bool("confirmed", result.outcome.confirmed)
        .Number("bytes", static_cast<int64_t>(result.bytes))
        .Raw("seconds", Seconds(result.seconds))
        .Number("result", static_cast<int64_t>(result.outcome.result.code))
        .Number("error", result.outcome.result.error)
        .Text("reason", sent ? "" : FailureReason(result))
        .Done();
}

std::string SignCheckLine(const SignCheckResult& result) {
    return result.name + ": " + result.link + ": " + OneLine(result.text);
}

std::string SignListLine(const NamedSign& sign) {
    std::string line = sign.name + ": " + SignLinkDescription(sign) + ", " +
                       SignAddressDescription(sign) + ", model " + std::to_string(sign.signModel);
    if (sign.gateway) {
        line += ", gateway " + *sign.gateway;
    }
    for (size_t i = 0; i < sign.tags.size(); ++i) {
        line += (i == 0 ? ", tags " : ", ") + sign.tags[i];
    }
    return line;
}
