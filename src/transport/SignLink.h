#pragma once

#include <cstddef>
#include <string>

class CCancelToken;

// The receiving end of a link, as a sign has it: the program plays the sign for tests and for
// operators without one.

// More than this in one message is dropped, so that a peer that never stops cannot exhaust memory;
// the longest message the composer makes is far shorter.
inline constexpr size_t kMaxSignMessageBytes = size_t{1} << 20;

enum class SignReceiveStatus {
    kMessage,  // one whole message came
    kStopped,  // the stop token was cancelled
    kFailed,   // the link failed; `error` holds the errno
};

struct SignReceipt {
    SignReceiveStatus status = SignReceiveStatus::kStopped;
    std::string bytes;
    std::string source;      // "tcp 127.0.0.1:40512", "serial /tmp/ttyLumivex"
    bool truncated = false;  // the message was longer than the limit; the rest was dropped
    int error = 0;
};

class ISignLink {
public:
    virtual ~ISignLink() = default;

    // Blocks until one whole message has come (never an empty one), the token is cancelled, or
    // the link fails.
    virtual SignReceipt Receive(const CCancelToken& stop) = 0;
};
