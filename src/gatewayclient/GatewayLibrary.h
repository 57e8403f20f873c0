#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gatewayclient/GatewayLink.h"
#include "settings/MessageFile.h"

// A named message of a gateway's library, as its API gives and takes it.
struct LibraryEntry {
    std::string name;
    std::optional<int> number;  // by which a panel may ask for it
    MessageDocument message;
};

struct LibraryList {
    std::vector<LibraryEntry> entries;  // in the order of their names
    std::string json;                   // the list as the gateway sent it
};

// Why a request did not do what it asked, in one line for "lumivex-cli: TEXT" or a dialog.
struct GatewayFailure {
    enum class Kind {
        kBadUrl,    // not http://HOST[:PORT] or https://HOST[:PORT]; nothing was sent
        kNoAnswer,  // no connection, no answer in time, a TLS failure
        kRefused,   // 4xx: the text holds the gateway's own reason
        kFault,     // 5xx, or an answer that is not what the API gives
    };
    Kind kind = Kind::kFault;
    int status = 0;  // the HTTP status when there was an answer
    std::string text;
};

template <class T>
struct GatewayAnswer {
    T value{};
    std::optional<GatewayFailure> failure;
    bool Ok() const { return !failure; }
};

// The library of the gateway at `access`: each call is one request, bounded by the link's
// timeouts, that blocks its caller (the desktop program makes it off its UI thread).
class CGatewayLibrary {
public:
    explicit CGatewayLibrary(GatewayAccess access);

    GatewayAnswer<LibraryList> List() const;
    GatewayAnswer<LibraryEntry> Get(const std::string& name) const;
    // Put in or replaced.
    std::optional<GatewayFailure> Put(const LibraryEntry& entry) const;
    std::optional<GatewayFailure> Remove(const std::string& name) const;

private:
    std::optional<GatewayFailure> Ask(const std::string& method, const std::string& path,
                                      const std::string& body, GatewayExchange& exchange) const;

    GatewayAccess m_access;
};

// Whether the URL names a gateway the link can reach: http://HOST[:PORT] or https://HOST[:PORT],
// a "/" after it allowed.
bool IsGatewayUrl(const std::string& url);

// The first line of the message's text, UTF-8.
std::string FirstLineText(const MessageDocument& message);
