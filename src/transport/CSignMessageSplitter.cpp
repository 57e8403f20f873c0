#include "transport/CSignMessageSplitter.h"

#include <utility>

#include "encoding/CommandCodes.h"

namespace {

// A new message begins with its address.
constexpr std::string_view kHeader = kAddressCode;

}  // namespace

CSignMessageSplitter::CSignMessageSplitter(size_t maxMessageBytes)
    : m_nMaxMessageBytes(maxMessageBytes) {}

void CSignMessageSplitter::Append(std::string_view bytes) {
    if (bytes.empty()) {
        return;
    }
    if (m_bHeldCaret) {
        m_bHeldCaret = false;
        if (bytes.front() == kHeader[1]) {
            Finish();
        }
        Add(kHeader.substr(0, 1));
    }
    // A header at the very start of a message ends nothing.
    size_t from = m_current.bytes.empty() && bytes.starts_with(kHeader) ? kHeader.size() : 0;
    for (size_t header; (header = bytes.find(kHeader, from)) != std::string_view::npos;) {
        Add(bytes.substr(0, header));
        Finish();
        bytes.remove_prefix(header);
        from = kHeader.size();
    }
    if (bytes.ends_with(kHeader[0])) {
        bytes.remove_suffix(1);
        m_bHeldCaret = true;
    }
    Add(bytes);
}

void CSignMessageSplitter::EndMessage() {
    if (m_bHeldCaret) {
        m_bHeldCaret = false;
        Add(kHeader.substr(0, 1));
    }
    Finish();
}

void CSignMessageSplitter::Clear() {
    m_current = Message{};
    m_bHeldCaret = false;
    m_ready.clear();
}

SignReceipt CSignMessageSplitter::TakeMessage(const std::string& source) {
    SignReceipt receipt;
    receipt.status = SignReceiveStatus::kMessage;
    receipt.bytes = std::move(m_ready.front().bytes);
    receipt.truncated = m_ready.front().truncated;
    receipt.source = source;
    m_ready.pop_front();
    return receipt;
}

void CSignMessageSplitter::Add(std::string_view bytes) {
    const size_t room = m_nMaxMessageBytes - m_current.bytes.size();
    m_current.bytes.append(bytes.substr(0, room));
    m_current.truncated = m_current.truncated || bytes.size() > room;
}

void CSignMessageSplitter::Finish() {
    // An empty message is none: a header at the start of a piece, a link that ended idle.
    if (!m_current.bytes.empty()) {
        m_ready.push_back(std::move(m_current));
    }
    m_current = Message{};
}
