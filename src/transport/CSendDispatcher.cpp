#include "transport/CSendDispatcher.h"

#include "transport/SerialDevices.h"

#include <arpa/inet.h>

#include <cerrno>
#include <utility>

#include "transport/CBlockingSocket.h"
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
        outcome.confirmed = outcome.result.Ok() && m_bSignConfirmed;
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
    m_bSignConfirmed = false;
    CBlockingSocket socket(cancel);
    try {
        socket.Create(SOCK_STREAM);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = 0;
        local.sin_addr.s_addr = htonl(INADDR_ANY);
        socket.Bind(local);

        sockaddr_in remote{};
        remote.sin_family = AF_INET;
        remote.sin_port = htons(m_nHostPort);
        if (inet_pton(AF_INET, m_strHostAddress.c_str(), &remote.sin_addr) != 1) {
            throw CBlockingSocketException(LinkOperation::kConnect, EINVAL);
        }
        socket.Connect(remote);

        const size_t sent =
            socket.SendAll(m_strSendText.data(), m_strSendText.size(), kTcpSendTimeoutSeconds);
        if (sent != 0 && m_awaitSignClose) {
            m_bSignConfirmed = socket.ShutdownAndAwaitClose(*m_awaitSignClose);
        }
        socket.Close();
        return sent == 0 ? LinkResult{SEND_FAILED, 0, LinkOperation::kNone} : LinkResult{};
    } catch (const CBlockingSocketException& error) {
        socket.CloseQuietly();
        // The failing operation's own code: by now errno may tell of something else.
        const LinkCode code =
            error.m_operation == LinkOperation::kCancel ? SEND_CANCELLED : SEND_FAILED;
        return {code, error.m_nError, error.m_operation};
    }
}
