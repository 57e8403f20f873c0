#pragma once

#include <QString>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "gateway/ModbusConfig.h"
#include "settings/SignsFile.h"

inline constexpr const char* kGatewayFileName = "gateway.json";
inline constexpr const char* kDefaultHttpHost = "127.0.0.1";
inline constexpr uint16_t kDefaultHttpPort = 8080;
inline constexpr const char* kDefaultMqttPrefix = "lumivex";
inline constexpr size_t kMinForwardKeyLength = 16;
inline constexpr int kDefaultAlertSeconds = 8;
inline constexpr int kMaxAlertSeconds = 3600;
// What one request's body or one broker payload may hold, in KiB: by default, and at most.
inline constexpr size_t kDefaultMaxBodyKiB = 1024;
inline constexpr size_t kMaxMaxBodyKiB = 64 * 1024;
// A token that a network beyond this machine can guess at must not be a short one.
inline constexpr size_t kMinRemoteTokenLength = 16;

// Why the gateway's configuration cannot be used: the file, the field and what it needs.
class CGatewayConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct MqttConfig {
    std::string url;  // empty: no broker
    std::string prefix = kDefaultMqttPrefix;
    std::string username;
    std::string password;  // read from passwordFile
    // TLS (an ssl:// or mqtts:// url): whom to trust (empty: the system's authorities), and the
    // gateway's own certificate and key for a broker that asks for one. Absolute paths.
    std::string caFile;
    std::string certFile;
    std::string keyFile;
};

// HTTPS: the server's certificate (with its chain) and its private key, PEM files named as
// absolute paths. Empty: plain HTTP.
struct TlsConfig {
    std::string certFile;
    std::string keyFile;
};

struct GatewayConfig {
    std::string name;  // this gateway's, as signs.json's "gateway" fields name it
    std::string httpHost = kDefaultHttpHost;
    uint16_t httpPort = kDefaultHttpPort;  // 0: any free port
    std::string token;                     // the admin's: tokenFile or tokens.admin; empty: none
    std::string operatorToken;             // tokens.operator; empty: none
    std::string viewerToken;               // tokens.viewer; empty: none
    // Reads (but /healthz and the page's own files) need a token too: a viewer's at least.
    bool readNeedsToken = false;
    // Names (or addresses) besides httpHost by which clients reach the gateway: a request for any
    // other Host is refused, so that a name rebound to this address serves no other site.
    std::vector<std::string> allowedHosts;
    // Shared with the gateways this one forwards writes to and takes them from; empty: none.
    std::string forwardKey;
    MqttConfig mqtt;
    // How long each of several alerts of one priority stays on a sign in turn.
    int alertSeconds = kDefaultAlertSeconds;
    size_t maxBody = kDefaultMaxBodyKiB * 1024;  // "maxBodyKiB": bytes of a body or payload
    ModbusConfig modbus;                         // the Modbus server and the controllers polled
    TlsConfig tls;
    QString stateDir;
    QString signsPath;  // signs.json beside gateway.json
};

// gateway.json beside signs.json.
QString DefaultGatewayConfigPath();

// Reads the configuration at `path`; a missing file is refused, or gives the defaults (HTTP on
// 127.0.0.1:8080, no broker) when they are asked for. Files it names are read relative to its
// folder. Refuses to listen beyond loopback without a token. Throws CGatewayConfigError.
GatewayConfig LoadGatewayConfig(const QString& path, bool defaultsIfMissing = false);

// Whether an IPv4 address in text is one of 127.0.0.0/8.
bool IsLoopbackHost(const std::string& host);

// The signs this gateway drives: those whose "gateway" names it, and those that name none.
std::vector<NamedSign> SignsOfGateway(const std::vector<NamedSign>& signs, const std::string& name);
// Every sign has one driver: where signs.json names several gateways, every sign names its own;
// where it names any, it names this one for some sign. Throws CGatewayConfigError.
void CheckGatewaysOfSigns(const std::vector<NamedSign>& signs, const std::string& gateway);
