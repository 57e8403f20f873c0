#pragma once

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <functional>
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

// A client socket from 127.0.0.`host` to the server's port; -1 when it cannot connect.
inline int ConnectFrom(int host, uint16_t port) {
    const int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl((INADDR_LOOPBACK & ~0xFFu) | static_cast<uint32_t>(host));
    const auto* any = reinterpret_cast<sockaddr*>(&address);
    if (bind(client, any, sizeof(address)) == 0) {
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (connect(client, any, sizeof(address)) == 0) {
            return client;
        }
    }
    close(client);
    return -1;
}

inline QJsonObject JsonObjectOf(const std::string& body) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(body)).object();
}
inline QJsonArray JsonArrayOf(const std::string& body) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(body)).array();
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

// Reads the gateway's event stream until a sign's card satisfies the test; that card, or an empty
// one after the tests' bound.
inline QJsonObject WaitForCard(uint16_t port, const std::function<bool(const QJsonObject&)>& good) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTestWaitMs);
    QJsonObject found;
    std::string stream;
    ClientOf(port, false)->Get("/api/events", [&](const char* data, size_t size) {
        stream.append(data, size);
        size_t end = 0;
        while ((end = stream.find("\n\n")) != std::string::npos) {
            const std::string event = stream.substr(0, end);
            stream.erase(0, end + 2);
            const size_t at = event.find("data: ");
            const QJsonObject object =
                at == std::string::npos ? QJsonObject() : JsonObjectOf(event.substr(at + 6));
            QJsonArray cards = object["signs"].toArray();
            cards.append(object["sign"]);
            for (const QJsonValue& card : cards) {
                if (good(card.toObject())) {
                    found = card.toObject();
                    return false;
                }
            }
        }
        return std::chrono::steady_clock::now() < deadline;
    });
    return found;
}
