#pragma once

#include <string>

#include "settings/MessageFile.h"
#include "settings/SignsFile.h"

// Takes work for signs that another gateway drives, through the broker; on the gateway's thread.
class ISignForwarder {
public:
    virtual ~ISignForwarder() = default;
    // Hands the message to the sign's own gateway.
    virtual void Forward(const NamedSign& sign, const MessageDocument& message) = 0;
    // Tells the other gateways of a live value.
    virtual void ShareVariable(const std::string& name, const std::string& value) = 0;
};
