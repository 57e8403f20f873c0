#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

#include "transport/SignLink.h"

// Cuts what a link carries into messages as a sign does: a link's own end of a message (a quiet
// serial line, a closed connection) ends one, and so does a new header, "^A" at the start of the
// next: a sender may write two strings back to back, as "Program Marquee" does with a setup string
// and its confirmation.
class CSignMessageSplitter {
public:
    explicit CSignMessageSplitter(size_t maxMessageBytes);

    // The bytes as they came, in pieces of any size; a header may span two pieces.
    void Append(std::string_view bytes);
    // The link says the message being gathered is over.
    void EndMessage();
    // Drops everything held: the link closed.
    void Clear();

    // Whether part of a message is held, waiting for its end.
    bool Gathering() const { return !m_current.bytes.empty() || m_bHeldCaret; }
    bool HasMessage() const { return !m_ready.empty(); }
    // The oldest whole message, as having come from the source; only when HasMessage().
    SignReceipt TakeMessage(const std::string& source);

private:
    struct Message {
        std::string bytes;
        bool truncated = false;
    };

    void Add(std::string_view bytes);
    void Finish();

    size_t m_nMaxMessageBytes;
    Message m_current;
    // A caret at the end of a piece may begin a header that the next piece completes.
    bool m_bHeldCaret = false;
    std::deque<Message> m_ready;
};
