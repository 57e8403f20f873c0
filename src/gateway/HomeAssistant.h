#pragma once

#include <string>
#include <vector>

#include "settings/SignsFile.h"

// Home Assistant's MQTT discovery, as pure functions of the signs and the gateway: each sign is a
// device with a text entity (its command sets the text of the first line, the rest of the message
// kept), a notify entity for notices and a diagnostic "problem" sensor; each gateway is a device of
// its own with its connection. A sign's ids come from its name alone, so that it keeps its entities
// and their history when it moves to another gateway.

inline constexpr const char* kDiscoveryPrefix = "homeassistant/";
// The components whose entries this gateway makes, and so removes when their sign goes.
inline constexpr const char* kDiscoveryComponents[] = {"text", "sensor", "binary_sensor", "notify"};

struct MqttPublication {
    std::string topic;
    std::string payload;
    bool retained = false;
};

struct DiscoveryContext {
    std::string gateway;      // this gateway's name
    std::string prefix;       // the gateway's topic prefix
    std::string statusTopic;  // its online / offline topic
    std::string pageUrl;      // its signs page
    std::string version;      // the program's
};

// The retained configurations of one sign's entities.
std::vector<MqttPublication> SignDiscovery(const NamedSign& sign, const DiscoveryContext& context);
// The gateway as a device, with a connectivity sensor.
std::vector<MqttPublication> GatewayDiscovery(const DiscoveryContext& context);
// The object id of a sign's entities, one to one with its name.
std::string DiscoveryObject(const std::string& sign);
// Whether a retained entry (homeassistant/COMPONENT/OBJECT/config) is one this gateway made for a
// sign it no longer drives: it is removed then. An entry of another gateway's is left alone.
bool IsStaleDiscoveryEntry(const std::string& topic, const std::string& payload,
                           const std::string& gateway, const std::vector<std::string>& driven);
