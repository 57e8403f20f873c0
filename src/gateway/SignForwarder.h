#pragma once

#include <functional>
#include <string>

#include "gateway/Playlist.h"
#include "gateway/Stamp.h"
#include "settings/MessageFile.h"
#include "settings/SignsFile.h"

// Where work for signs that another gateway drives goes (the broker), on the gateway's thread.
struct SignForwarding {
    // Hands the message (a playlist) to the sign's own gateway; none when this gateway shares no
    // key to sign it with.
    std::function<void(const NamedSign& sign, const Playlist& playlist, const Stamp& stamp)>
        message;
    // Tells the other gateways of a live value.
    std::function<void(const std::string& name, const std::string& value)> variable;
    // Raises an alert on the sign at its own gateway (an empty payload clears it).
    std::function<void(const NamedSign& sign, const std::string& key, const std::string& payload)>
        alert;
    // Tells the other gateways of a library message (an empty payload: removed).
    std::function<void(const std::string& name, const std::string& payload)> library;

    // Whether there is a broker at all.
    explicit operator bool() const { return static_cast<bool>(variable); }
};
