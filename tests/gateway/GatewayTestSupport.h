#pragma once

#include <httplib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <memory>
#include <string>
#include <vector>

#include "GatewayProcess.h"
#include "fleet/CSendPlan.h"
#include "settings/MessageFile.h"
#include "support/FleetTestSupport.h"

inline constexpr const char* kTestToken = "t0ken-of-the-test";

// A gateway's folder: signs.json of loopback signs, gateway.json, the token and the state folder.
struct GatewaySetup {
    CTempFolder folder;
    std::vector<NamedSign> signs;
    std::string schedules;  // signs.json's "schedules", as JSON text

    // Writes signs.json and gateway.json with the extra fields (JSON text after a comma).
    std::string Write(const std::string& extraConfig = {}, const std::string& name = "hall-b") {
        SignsDocument document;
        document.signs = signs;
        document.schedulesJson = schedules;
        folder.Write("signs.json", WriteSignsJson(document));
        folder.Write("token", std::string(kTestToken) + "\n");
        return folder.Write(
            "gateway.json",
            R"({"name": ")" + name +
                R"(", "http": "127.0.0.1:0", "tokenFile": "token", "stateDir": "state")" +
                extraConfig + "}");
    }
};

// The bytes a sign gets for a message JSON.
inline std::string BytesFor(const NamedSign& sign, const std::string& json) {
    return SignSendsForMessage({sign}, ParseMessageJson(json), [](int) { return std::string(); })
        .front()
        .bytes;
}

inline std::unique_ptr<httplib::Client> ClientOf(uint16_t port, bool withToken = true) {
    auto client = std::make_unique<httplib::Client>("127.0.0.1", port);
    client->set_read_timeout(kTestWaitMs / 1000, 0);
    if (withToken) {
        client->set_default_headers({{"Authorization", std::string("Bearer ") + kTestToken}});
    }
    return client;
}

inline QJsonObject JsonObjectOf(const std::string& body) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(body)).object();
}

// The URL path of a sign: its name with every byte but letters and digits as %XX.
inline std::string SignPath(const std::string& name) {
    std::string path = "/api/signs/";
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte)) {
            path += c;
        } else {
            path += '%';
            path += kHex[byte >> 4];
            path += kHex[byte & 0xF];
        }
    }
    return path;
}
