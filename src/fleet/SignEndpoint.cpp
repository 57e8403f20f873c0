#include "fleet/SignEndpoint.h"

#include "settings/ProfileStore.h"

ComDeviceResolver ProfileDevices(const IProfileStore& profile) {
    return [&profile](int comNumber) { return SerialDevicePath(profile, comNumber); };
}

std::string SignEndpoint::LinkKey() const {
    return overTcp ? "tcp " + host + ":" + std::to_string(port) : "serial " + devicePath;
}

SendOutcome SignEndpoint::BlankOutcome() const {
    SendOutcome outcome;
    outcome.overTcp = overTcp;
    if (overTcp) {
        outcome.portName = "Ethernet";
        outcome.devicePath = host + ":" + std::to_string(port);
    } else {
        outcome.portName = "COM" + std::to_string(comNumber);
        outcome.devicePath = devicePath;
        outcome.baudRate = line.baudRate;
    }
    return outcome;
}

SignEndpoint ResolveSignEndpoint(const NamedSign& sign, const ComDeviceResolver& resolve) {
    SignEndpoint endpoint;
    endpoint.overTcp = sign.OverTcp();
    if (endpoint.overTcp) {
        endpoint.host = FormatIpv4(sign.ipAddress);
        endpoint.port = sign.tcpPort;
    } else {
        endpoint.comNumber = ComNumberOf(sign.comPort);
        endpoint.devicePath = resolve(endpoint.comNumber);
        endpoint.line.baudRate = sign.baudRate;
    }
    return endpoint;
}

MessageSettings SettingsForSign(const MessageSettings& message, const NamedSign& sign) {
    MessageSettings settings = message;
    settings.address = sign.address;
    settings.groupNumber = sign.groupNumber;
    settings.unitNumber = sign.unitNumber;
    settings.signModel = sign.signModel;
    return settings;
}
