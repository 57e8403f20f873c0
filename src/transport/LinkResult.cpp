#include "transport/LinkResult.h"

const char* OperationName(LinkOperation operation) {
    switch (operation) {
        case LinkOperation::kNone:
            return "";
        case LinkOperation::kOpen:
            return "Open";
        case LinkOperation::kConfigure:
            return "Configure";
        case LinkOperation::kWrite:
            return "Write";
        case LinkOperation::kClose:
            return "Close";
        case LinkOperation::kCreate:
            return "Create";
        case LinkOperation::kBind:
            return "Bind";
        case LinkOperation::kConnect:
            return "Connect";
        case LinkOperation::kSend:
            return "Send";
        case LinkOperation::kSendTimeout:
            return "Send timeout";
        case LinkOperation::kAwaitClose:
            return "Await close";
        case LinkOperation::kCancel:
            return "Cancel";
    }
    return "";
}
