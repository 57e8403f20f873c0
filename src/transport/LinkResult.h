#pragma once

#include <cstdint>

// What a link tells the dispatcher about one send; the numbers are the links' result codes.
enum class LinkCode : int32_t {
    SEND_OK = 0,
    SEND_INVALID_PORT = 1,
    SEND_PORT_IN_USE = 2,
    SEND_FAILED = 3,
    // The system refused an operation for a reason of its own; the errno says which.
    SEND_SYSTEM_ERROR = 4,
    // The line cannot run at the stored rate.
    SEND_BAUD_REFUSED = 5,
    // The operator gave up waiting.
    SEND_CANCELLED = 6,
};
using enum LinkCode;

// The step of a send that failed.
enum class LinkOperation {
    kNone,
    kOpen,
    kConfigure,
    kWrite,
    kClose,
    kCreate,
    kBind,
    kConnect,
    kSend,
    kSendTimeout,
    // After the last byte, waiting for the sign to close its end.
    kAwaitClose,
    kCancel,
};

// The name a socket failure carries: "Connect", "Send timeout", ...
const char* OperationName(LinkOperation operation);

// A code and, apart from it, the errno behind a failure (errno 1 is EPERM, not "Invalid Port").
struct LinkResult {
    LinkCode code = SEND_OK;
    int error = 0;  // 0 when the failure has no errno behind it
    LinkOperation operation = LinkOperation::kNone;

    bool Ok() const { return code == SEND_OK; }
};
