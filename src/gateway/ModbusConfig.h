#pragma once

#include <QJsonValue>
#include <QString>
#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "modbus/RegisterMap.h"
#include "settings/SignsFile.h"

inline constexpr uint16_t kModbusPort = 502;
inline constexpr int kDefaultUnitId = 1;
inline constexpr std::chrono::milliseconds kDefaultPollEvery{1000};
inline constexpr std::chrono::milliseconds kShortestPollEvery{10};

// Why the Modbus part of gateway.json cannot be used: the file, the field and what it needs.
class CModbusConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A controller the gateway reads on a timer.
struct ModbusPollTarget {
    std::string host;
    uint16_t port = kModbusPort;
    int unitId = kDefaultUnitId;
    std::chrono::milliseconds every = kDefaultPollEvery;
    std::vector<RegisterEntry> reads;
};

// "modbus" and "poll" of gateway.json.
struct ModbusConfig {
    std::string listenHost;  // empty: no server
    uint16_t listenPort = 0;
    int unitId = kDefaultUnitId;
    std::vector<std::string> allowFrom;  // the controllers' IPv4 addresses
    RegisterMap map;
    std::vector<ModbusPollTarget> poll;

    bool Serves() const { return !listenHost.empty(); }
};

// Reads "modbus" and "poll" (either may be absent). Throws CGatewayConfigError naming the file
// (`path`) and the field.
ModbusConfig ReadModbusConfig(const QString& path, const QJsonValue& modbus,
                              const QJsonValue& poll);

// The map's signs and tags against signs.json: the first that it does not have.
std::optional<std::string> CheckModbusSigns(const ModbusConfig& config,
                                            const std::vector<NamedSign>& signs);
