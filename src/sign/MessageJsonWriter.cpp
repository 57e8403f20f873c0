#include "sign/MessageJsonWriter.h"

#include <cstdio>

#include "settings/JsonObject.h"
#include "settings/MessageFile.h"

namespace {

std::string Dotted(const DottedNumbers& numbers) {
    return std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." +
           std::to_string(numbers[2]) + "." + std::to_string(numbers[3]);
}

const char* NetworkTypeText(int32_t type) {
    switch (type) {
        case kNetworkDeviceNet:
            return "devicenet";
        case kNetworkProfibus:
            return "profibus";
        default:
            return "ethernet";
    }
}

const char* ActionText(NetworkAction action) {
    switch (action) {
        case NetworkAction::kLoadDefaults:
            return "defaults";
        case NetworkAction::kDisable:
            return "disable";
        default:
            return "setup";
    }
}

}  // namespace

std::string WriteMessageJson(const DecodedMessage& message) {
    return WriteMessageJson(MessageDocument{message.settings, message.lines, std::nullopt},
                            MessageJsonLayout{false, false});
}

std::string WriteNetworkJson(const DecodedNetwork& network) {
    CJsonObject json;
    json.Text("action", ActionText(network.action)).Text("type", NetworkTypeText(network.type));
    if (network.groupNumber) {
        json.Number("group", *network.groupNumber);
    }
    if (network.unitNumber) {
        json.Number("unit", *network.unitNumber);
    }
    const struct {
        const char* name;
        const std::optional<DottedNumbers>& value;
    } dotted[] = {{"ip", network.ip}, {"mask", network.mask}, {"gateway", network.gateway}};
    for (const auto& field : dotted) {
        if (field.value) {
            json.Text(field.name, Dotted(*field.value));
        }
    }
    const struct {
        const char* name;
        const std::optional<int32_t>& value;
    } numbers[] = {{"station", network.stationAddress},
                   {"baud", network.baudKbps},
                   {"input", network.inputSize},
                   {"output", network.outputSize},
                   {"byte-order", network.byteOrder}};
    for (const auto& field : numbers) {
        if (field.value) {
            json.Number(field.name, *field.value);
        }
    }
    return json.Done();
}

std::string WriteDecodedJson(const DecodedCommand& command) {
    if (const auto* network = std::get_if<DecodedNetwork>(&command.content)) {
        return WriteNetworkJson(*network);
    }
    return WriteMessageJson(std::get<DecodedMessage>(command.content));
}
