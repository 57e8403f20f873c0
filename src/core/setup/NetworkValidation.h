#pragma once

#include <string>

#include "setup/NetworkParams.h"

// The texts of a DeviceNet or Profibus-DP panel as the operator left them.
struct FieldbusInput {
    std::string stationAddress;
    std::string inputSize;
    std::string outputSize;
    int32_t baudIndex = 0;  // selected entry of the bit-rate list; Profibus-DP has only "Auto"
    bool messageSwapped = false;  // "Char 2, Char 1" checked
    bool countLowFirst = false;   // "Low, High" checked
};

// The field that takes the keyboard focus after a failed check.
enum class NetworkField { kNone, kStationAddress, kInputSize };

struct NetworkCheckResult {
    bool ok = true;
    std::string message;  // shown with the stop icon when a check failed
    NetworkField focus = NetworkField::kNone;
};

inline constexpr const char* kInvalidMacAddress = "Invalid MAC Address !\nValid Range is 0 - 63";
inline constexpr const char* kInvalidNodeAddress = "Invalid Node Address !\nValid Range is 1 - 125";
inline constexpr const char* kInvalidConsumedBytes =
    "Invalid Value for Consumed Bytes!\nValid Range is  8 - 120";
inline constexpr const char* kInvalidInputBytes =
    "Invalid Value for Input Bytes!\nValid Range is  1 - 122";

// The values the checks accept, lowest and highest; DeviceNet for type 2, Profibus-DP otherwise.
struct FieldbusRange {
    int32_t low;
    int32_t high;
};
FieldbusRange StationAddressRange(int32_t type);
FieldbusRange InputSizeRange(int32_t type);

// Reads every field, checks the station address and then the input size against the rules of the
// record's type (DeviceNet for type 2, Profibus-DP otherwise), and only when both pass stores the
// fields, the bit-rate code and the byte order into the record. A failure leaves it untouched.
NetworkCheckResult ValidateAndStoreFieldbus(CNetworkParams& params, const FieldbusInput& input);
