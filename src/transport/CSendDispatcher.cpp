#include "transport/CSendDispatcher.h"

#include <arpa/inet.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/MessageService.h"
#include "transport/CBlockingSocket.h"
#include "transport/LinkResult.h"

namespace {

constexpr int32_t kPortEthernetIndex = 8;
constexpr int32_t kSerialPortCount = 8;
constexpr const char* kTcpErrorCaption = "Error";

}  // namespace

CSendDispatcher::CSendDispatcher(DeviceResolver resolveDevice)
    : m_resolveDevice(std::move(resolveDevice)) {}

CSendDispatcher::~CSendDispatcher() = default;

void CSendDispatcher::SetMessageService(IMessageService& messages) {
    m_pMessages = &messages;
}

bool CSendDispatcher::SendToMarquee(std::string text, const LinkSettings& link) {
    if (link.comPort == kPortEthernetIndex) {
        m_strHostAddress = FormatIpv4(link.ipAddress);
        m_strSendText = std::move(text);
        m_nHostPort = kSignTcpPort;
        return SendOverTcp() == SEND_OK;
    }
    // An index outside the lists (a stored value from elsewhere) falls back to "COM1".
    const bool listed = link.comPort >= 0 && link.comPort < kSerialPortCount;
    const int comNumber = listed ? link.comPort + 1 : 1;
    int result = m_serialPort.Open(m_resolveDevice(comNumber), link.line);
    if (result == SEND_OK) {
        result = m_serialPort.Write(text);
    }
    if (result != SEND_OK) {
        ShowLinkError(result);
        return false;
    }
    return true;
}

void CSendDispatcher::ShowLinkError(int code) {
    const char* text = nullptr;
    switch (code) {
        case SEND_INVALID_PORT:
            text = "Invalid Port";
            break;
        case SEND_PORT_IN_USE:
            text = "Port in use Retry later";
            break;
        case SEND_FAILED:
            text = "Error in sending data";
            break;
        default:
            return;
    }
    if (m_pMessages != nullptr) {
        m_pMessages->ShowMessage(text, MessageIcon::kExclamation, MessageButtons::kOk);
    }
}

int CSendDispatcher::SendOverTcp() {
    CBlockingSocket socket;
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
            throw CBlockingSocketException("Connect", EINVAL);
        }
        socket.Connect(remote);

        const size_t sent =
            socket.SendAll(m_strSendText.data(), m_strSendText.size(), kTcpSendTimeoutSeconds);
        if (sent == 0) {
            socket.Close();
            return SEND_FAILED;
        }
        socket.Close();
        socket.CloseQuietly();
        return SEND_OK;
    } catch (const CBlockingSocketException& error) {
        // The failing operation's own code: by now errno may tell of something else.
        if (m_pMessages != nullptr) {
            m_pMessages->ShowMessage(std::strerror(error.m_nError), MessageIcon::kInformation,
                                     MessageButtons::kOk, kTcpErrorCaption);
        }
        socket.CloseQuietly();
        return SEND_FAILED;
    }
}
