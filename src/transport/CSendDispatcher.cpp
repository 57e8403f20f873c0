#include "transport/CSendDispatcher.h"

#include "transport/SerialDevices.h"

#include <cerrno>
#include <utility>

#include "transport/CTcpSend.h"
#include "transport/LinkResult.h"

int ComNumberOf(int32_t comPort) {
    return comPort >= 0 && comPort < kComPortCount ? comPort + 1 : 1;
}

CSendDispatcher::CSendDispatcher(DeviceResolver resolveDevice)
    : m_resolveDevice(std::move(resolveDevice)) {}

CSendDispatcher::~CSendDispatcher() = default;

SendOutcome CSendDispatcher::SendToMarquee(std::string text, const LinkSettings& link,
                                           const CCancelToken* cancel) {
    SendOutcome outcome;
    if (link.comPort == kPortEthernet) {
        m_strHostAddress = FormatIpv4(link.ipAddress);
        m_strSendText = std::move(text);
        m_nHostPort = kSignTcpPort;
        outcome.overTcp = true;
        outcome.portName = "Ethernet";
        outcome.devicePath = m_strHostAddress + ":" + std::to_string(m_nHostPort);
        outcome.result = SendOverTcp(cancel);
        return outcome;
    }
    const int comNumber = ComNumberOf(link.comPort);
    outcome.portName = "COM" + std::to_string(comNumber);
    outcome.devicePath = link.serialDevice.empty() ? m_resolveDevice(comNumber) : link.serialDevice;
    outcome.baudRate = link.line.baudRate;
    outcome.result = m_serialPort.Open(outcome.devicePath, link.line);
    if (outcome.result.Ok()) {
        outcome.result = m_serialPort.Write(text, cancel, link.progress);
    }
    if (outcome.result.code == SEND_SYSTEM_ERROR && outcome.result.error == EACCES) {
        outcome.deviceGroup = FileGroupName(outcome.devicePath);
    }
    return outcome;
}

LinkResult CSendDispatcher::SendOverTcp(const CCancelToken* cancel) {
    CTcpSend send({m_strHostAddress, m_nHostPort, m_strSendText, std::nullopt, kConnectTimeout});
    RunTcpSend(send, cancel);
    return send.Result();
}
