#include "fleet/SignCheck.h"

#include <arpa/inet.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "settings/SendNotices.h"
#include "transport/CBlockingSocket.h"

namespace {

SignCheckResult CheckSerial(const SignEndpoint& endpoint, const SignCheckOptions& options) {
    SignCheckResult result;
    const SerialDeviceStatus status =
        GetSerialDeviceStatus(endpoint.devicePath, CurrentDeviceUser(), options.roots);
    result.reachable = status.state == SerialDeviceState::kUsable;
    result.text = SerialDeviceStatusText(status);
    return result;
}

SignCheckResult CheckTcp(const SignEndpoint& endpoint, const CCancelToken* cancel,
                         const SignCheckOptions& options) {
    SignCheckResult result;
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(endpoint.port);
    inet_pton(AF_INET, endpoint.host.c_str(), &remote.sin_addr);
    CBlockingSocket socket(cancel);
    try {
        socket.Create(SOCK_STREAM);
        socket.Connect(remote, options.connectLimit);
        socket.CloseQuietly();
        result.reachable = true;
        result.text = "accepts connections";
    } catch (const CBlockingSocketException& error) {
        if (error.m_operation == LinkOperation::kCancel) {
            result.text = "check stopped";
        } else if (error.m_nError == ETIMEDOUT) {
            char text[64];
            std::snprintf(text, sizeof text, "no answer within %g s",
                          std::chrono::duration<double>(options.connectLimit).count());
            result.text = text;
        } else {
            result.text = std::strerror(error.m_nError);
        }
    }
    return result;
}

}  // namespace

std::vector<SignCheckResult> CheckSigns(const std::vector<NamedSign>& signs,
                                        const ComDeviceResolver& resolve,
                                        const CCancelToken* cancel,
                                        const std::function<void(const SignCheckResult&)>& onResult,
                                        const SignCheckOptions& options) {
    std::vector<SignCheckResult> results(signs.size());
    std::mutex mutex;
    auto check = [&](size_t index, const SignEndpoint& endpoint) {
        SignCheckResult result =
            endpoint.overTcp ? CheckTcp(endpoint, cancel, options) : CheckSerial(endpoint, options);
        result.index = index;
        result.name = signs[index].name;
        result.link = LinkName(endpoint.BlankOutcome());
        const std::lock_guard lock(mutex);
        results[index] = std::move(result);
        if (onResult) {
            onResult(results[index]);
        }
    };
    std::vector<std::thread> threads;
    for (size_t i = 0; i < signs.size(); ++i) {
        const SignEndpoint endpoint = ResolveSignEndpoint(signs[i], resolve);
        if (endpoint.overTcp) {
            threads.emplace_back(check, i, endpoint);
        } else {
            check(i, endpoint);
        }
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return results;
}
