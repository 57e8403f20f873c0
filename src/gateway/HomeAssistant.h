#pragma once

#include <string>
#include <vector>

// Home Assistant's MQTT discovery of the signs, as pure functions of names and topics: each sign
// is a text entity (its command sets a one-line message) and a sensor of its last outcome.

inline constexpr const char* kDiscoveryPrefix = "homeassistant/";

struct MqttPublication {
    std::string topic;
    std::string payload;
    bool retained = false;
};

struct DiscoveryContext {
    std::string gateway;      // this gateway's name
    std::string prefix;       // the gateway's topic prefix
    std::string statusTopic;  // its online / offline topic
};

// The retained configurations of one sign's entities.
std::vector<MqttPublication> SignDiscovery(const std::string& name,
                                           const DiscoveryContext& context);
// The object id of a sign's entities, one to one with the gateway and sign names.
std::string DiscoveryObject(const std::string& gateway, const std::string& sign);
// Whether a retained entry (homeassistant/COMPONENT/OBJECT/config) is one of this gateway's for a
// sign it no longer drives: it is removed then.
bool IsStaleDiscoveryEntry(const std::string& topic, const std::string& payload,
                           const std::string& gateway, const std::vector<std::string>& driven);
