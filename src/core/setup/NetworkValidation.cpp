#include "setup/NetworkValidation.h"

#include "encoding/DecimalText.h"

namespace {

struct FieldbusRules {
    int32_t minStation;
    int32_t maxStation;
    const char* stationMessage;
    int32_t minInput;
    int32_t maxInput;
    const char* inputMessage;
};

// The Profibus-DP message names 1 as the lowest node address, yet 0 is accepted.
constexpr FieldbusRules kDeviceNetRules = {0, 63,  kInvalidMacAddress,
                                           8, 120, kInvalidConsumedBytes};
constexpr FieldbusRules kProfibusRules = {0, 125, kInvalidNodeAddress, 1, 122, kInvalidInputBytes};

const FieldbusRules& RulesFor(int32_t type) {
    return type == kNetworkDeviceNet ? kDeviceNetRules : kProfibusRules;
}

}  // namespace

FieldbusRange StationAddressRange(int32_t type) {
    return {RulesFor(type).minStation, RulesFor(type).maxStation};
}

FieldbusRange InputSizeRange(int32_t type) {
    return {RulesFor(type).minInput, RulesFor(type).maxInput};
}

NetworkCheckResult ValidateAndStoreFieldbus(CNetworkParams& params, const FieldbusInput& input) {
    const FieldbusRules& rules = RulesFor(params.m_nType);
    const int32_t station = ParseDecimal(input.stationAddress);
    const int32_t inputSize = ParseDecimal(input.inputSize);
    const int32_t outputSize = ParseDecimal(input.outputSize);

    if (station < rules.minStation || station > rules.maxStation) {
        return {false, rules.stationMessage, NetworkField::kStationAddress};
    }
    if (inputSize < rules.minInput || inputSize > rules.maxInput) {
        return {false, rules.inputMessage, NetworkField::kInputSize};
    }

    params.m_nStationAddress = station;
    params.m_nInputSize = inputSize;
    params.m_nOutputSize = outputSize;
    params.m_nBaudCode = static_cast<uint8_t>(input.baudIndex);
    params.m_nByteOrder = MakeByteOrder(input.messageSwapped, input.countLowFirst);
    return {};
}
