// The one HTTP link to a gateway: cpp-httplib's client, HTTPS through OpenSSL with the system's
// certificate authorities.
#include "gatewayclient/GatewayLink.h"

#include <httplib.h>

namespace {

std::string NoAnswerText(httplib::Error error) {
    switch (error) {
        case httplib::Error::Connection:
            return "no connection";
        case httplib::Error::ConnectionTimeout:
            return "no connection within " + std::to_string(kGatewayConnectTimeout.count()) + " s";
        case httplib::Error::Read:
            return "no answer within " + std::to_string(kGatewayReadTimeout.count()) +
                   " s, or the connection was closed";
        case httplib::Error::Canceled:
            return "its answer is larger than " +
                   std::to_string(kMaxGatewayAnswerBytes / (1024 * 1024)) + " MiB";
        case httplib::Error::SSLConnection:
            return "the TLS handshake failed";
        case httplib::Error::SSLServerVerification:
            return "its certificate is not trusted";
        default:
            return httplib::to_string(error);
    }
}

}  // namespace

GatewayExchange ExchangeWithGateway(const GatewayAccess& access, const std::string& method,
                                    const std::string& path, const std::string& jsonBody) {
    std::string base = access.url;
    if (!base.empty() && base.back() == '/') {
        base.pop_back();
    }
    httplib::Client client(base);
    client.set_connection_timeout(kGatewayConnectTimeout);
    client.set_read_timeout(kGatewayReadTimeout);
    client.set_write_timeout(kGatewayReadTimeout);
    httplib::Headers headers;
    if (!access.token.empty()) {
        headers.emplace("Authorization", "Bearer " + access.token);
    }
    GatewayExchange exchange;
    const auto keep = [&exchange](const char* data, size_t size) {
        exchange.body.append(data, size);
        return exchange.body.size() <= kMaxGatewayAnswerBytes;
    };
    httplib::Result result = method == "PUT"
                                 ? client.Put(path, headers, jsonBody, "application/json")
                             : method == "GET" ? client.Get(path, headers, keep)
                                               : client.Delete(path, headers);
    if (!result) {
        exchange.body.clear();
        exchange.noAnswer = NoAnswerText(result.error());
        return exchange;
    }
    exchange.status = result->status;
    if (method != "GET") {
        exchange.body = result->body;
    }
    return exchange;
}
