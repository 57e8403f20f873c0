#pragma once

#include <string>

// What a link tells the dispatcher about one send.
inline constexpr int SEND_OK = 0;
inline constexpr int SEND_INVALID_PORT = 1;
inline constexpr int SEND_PORT_IN_USE = 2;
inline constexpr int SEND_FAILED = 3;
// The system refused an operation for a reason of its own; the errno says which.
inline constexpr int SEND_SYSTEM_ERROR = 4;
// The line cannot run at the stored rate.
inline constexpr int SEND_BAUD_REFUSED = 5;
// The operator gave up waiting.
inline constexpr int SEND_CANCELLED = 6;

// A code and, apart from it, the errno behind a failure (errno 1 is EPERM, not "Invalid Port").
struct LinkResult {
    int code = SEND_OK;
    int error = 0;          // 0 when the failure has no errno behind it
    std::string operation;  // the step that failed: "Open", "Configure", "Connect", "Send", ...

    bool Ok() const { return code == SEND_OK; }
};
