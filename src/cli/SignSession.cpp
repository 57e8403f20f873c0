#include "cli/SignSession.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "cli/CliSupport.h"
#include "cli/MessageJsonWriter.h"
#include "settings/MessageFile.h"
#include "transport/CCancelToken.h"
#include "transport/CSignInbox.h"

namespace {

// A message of one fault repeated (a megabyte of line feeds) would otherwise give a warning a byte.
constexpr size_t kMaxWarningsPerMessage = 100;

std::string UtcTime(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const std::time_t seconds = system_clock::to_time_t(time);
    const auto milliseconds =
        duration_cast<std::chrono::milliseconds>(time.time_since_epoch()) % 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    const size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + length, sizeof text - length, ".%03dZ",
                  static_cast<int>(milliseconds.count()));
    return text;
}

}  // namespace

void RunSignLoop(ISignLink& link, const std::vector<ISignObserver*>& observers,
                 const CCancelToken& stop) {
    // The link takes the next message while this thread reads and shows the last.
    CSignInbox inbox(link);
    int64_t number = 0;
    while (true) {
        SignArrival arrival = inbox.Next(stop);
        SignReceipt& receipt = arrival.receipt;
        if (receipt.status == SignReceiveStatus::kStopped) {
            return;
        }
        if (receipt.status == SignReceiveStatus::kFailed) {
            throw CliError(kExitFailure, std::string("lumivex-cli: the sign's link failed: ") +
                                             std::strerror(receipt.error));
        }
        SignMessage message;
        message.number = ++number;
        message.time = UtcTime(arrival.time);
        message.source = std::move(receipt.source);
        message.bytes = std::move(receipt.bytes);
        message.truncated = receipt.truncated;
        message.decoded = DecodeCommandString(message.bytes, kMaxWarningsPerMessage);
        for (ISignObserver* observer : observers) {
            observer->OnSignMessage(message);
        }
    }
}

std::string SignMessageJson(const SignMessage& message) {
    std::string json = "{\"number\":" + std::to_string(message.number) + ",\"time\":";
    AppendJsonString(json, message.time);
    json += ",\"source\":";
    AppendJsonString(json, message.source);
    json += ",\"bytes\":" + std::to_string(message.bytes.size());
    if (message.truncated) {
        json += ",\"truncated\":true";
    }
    const bool network = std::holds_alternative<DecodedNetwork>(message.decoded.content);
    json += network ? ",\"network\":" : ",\"message\":";
    return json + WriteDecodedJson(message.decoded) + "}";
}
