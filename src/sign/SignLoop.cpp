#include "sign/SignLoop.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <thread>

#include "preview/PreviewLayout.h"
#include "settings/MessageFile.h"
#include "sign/MessageJsonWriter.h"
#include "transport/CCancelToken.h"
#include "transport/CSignInbox.h"

namespace {

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

SignLoopEnd RunLoop(ISignLink& link, const std::vector<ISignObserver*>& observers,
                    const CCancelToken& stop, const std::string& signName,
                    std::mutex* observersLock) {
    // The link takes the next message while this thread reads and shows the last.
    CSignInbox inbox(link);
    int64_t number = 0;
    while (true) {
        SignArrival arrival = inbox.Next(stop);
        SignReceipt& receipt = arrival.receipt;
        if (receipt.status == SignReceiveStatus::kStopped) {
            return {};
        }
        if (receipt.status == SignReceiveStatus::kFailed) {
            return {true, receipt.error, signName};
        }
        SignMessage message;
        message.number = ++number;
        message.time = UtcTime(arrival.time);
        message.source = std::move(receipt.source);
        message.sign = signName;
        message.bytes = std::move(receipt.bytes);
        message.truncated = receipt.truncated;
        message.decoded = DecodeCommandString(message.bytes, kWarningsShown);
        std::unique_lock<std::mutex> lock;
        if (observersLock != nullptr) {
            lock = std::unique_lock(*observersLock);
        }
        for (ISignObserver* observer : observers) {
            observer->OnSignMessage(message);
        }
    }
}

}  // namespace

SignLoopEnd RunSignLoop(ISignLink& link, const std::vector<ISignObserver*>& observers,
                        const CCancelToken& stop, const std::string& signName) {
    return RunLoop(link, observers, stop, signName, nullptr);
}

SignLoopEnd RunSignLoops(const std::vector<NamedSignLink>& signs,
                         const std::vector<ISignObserver*>& observers, CCancelToken& stop) {
    std::mutex observersLock;
    std::mutex endLock;
    SignLoopEnd firstFailure;
    std::exception_ptr thrown;  // by an observer: the first one ends every sign and passes on
    std::vector<std::thread> threads;
    threads.reserve(signs.size());
    for (const NamedSignLink& sign : signs) {
        threads.emplace_back([&, sign] {
            try {
                const SignLoopEnd end =
                    RunLoop(*sign.link, observers, stop, sign.name, &observersLock);
                if (end.linkFailed) {
                    const std::lock_guard guard(endLock);
                    if (!firstFailure.linkFailed) {
                        firstFailure = end;
                    }
                }
            } catch (...) {
                const std::lock_guard guard(endLock);
                if (!thrown) {
                    thrown = std::current_exception();
                }
            }
            stop.Cancel();
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    if (thrown) {
        std::rethrow_exception(thrown);
    }
    return firstFailure;
}

std::string SignMessageJson(const SignMessage& message, int32_t modelIndex) {
    std::string json = "{\"number\":" + std::to_string(message.number) + ",\"time\":";
    AppendJsonString(json, message.time);
    json += ",\"source\":";
    AppendJsonString(json, message.source);
    if (!message.sign.empty()) {
        json += ",\"sign\":";
        AppendJsonString(json, message.sign);
    }
    json += ",\"bytes\":" + std::to_string(message.bytes.size());
    if (message.truncated) {
        json += ",\"truncated\":true";
    }
    const bool network = std::holds_alternative<DecodedNetwork>(message.decoded.content);
    json += network ? ",\"network\":" : ",\"message\":";
    json += WriteDecodedJson(message.decoded);
    if (const auto* decoded = std::get_if<DecodedMessage>(&message.decoded.content)) {
        const std::string leftOut =
            DescribeLeftOut(decoded->lines, decoded->settings, GetSignModel(modelIndex));
        if (!leftOut.empty()) {
            json += ",\"leftOut\":";
            AppendJsonString(json, leftOut);
        }
    }
    return json + "}";
}
