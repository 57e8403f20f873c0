// The gateway on a real Mosquitto, started by the test on a free loopback port.
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <map>
#include <thread>

#include "BrokerTestSupport.h"
#include "gateway/SafeName.h"

namespace {

class GatewayMqtt : public testing::Test {
protected:
    void SetUp() override {
        if (std::string(LUMIVEX_MOSQUITTO_PATH).empty()) {
            GTEST_SKIP() << "mosquitto is not installed: the broker tests need it";
        }
        ASSERT_TRUE(m_signs.Ready(2));
        m_broker = std::make_unique<CBroker>(m_brokerFolder);
        ASSERT_TRUE(m_broker->Running());
    }

    std::string MqttConfig() const {
        return R"(, "mqtt": {"url": ")" + m_broker->Url() + R"(", "prefix": "plant"})";
    }

    CLoopbackSigns m_signs{{4, 4}};
    CTempFolder m_brokerFolder;
    std::unique_ptr<CBroker> m_broker;
};

TEST_F(GatewayMqtt, MessagesFromTheBrokerReachTheirSignsAndStatesArePublished) {
    GatewaySetup setup;
    setup.signs = {m_signs.Sign(0, "Line 3"), m_signs.Sign(1, "Dock/2 #a")};
    CGatewayProcess gateway(setup.Write(MqttConfig()));
    ASSERT_TRUE(gateway.Listening());
    ASSERT_FALSE(gateway.Process().WaitForLine("broker connected").empty());
    CTestClient client(m_broker->Url());
    ASSERT_TRUE(client.Connected());
    client.Subscribe("plant/#");
    client.Subscribe("homeassistant/#");
    EXPECT_EQ(JsonObjectOf(client.WaitFor("plant/gateway/hall-b/status", Holds("line")))["state"],
              "online");
    // Each sign is a text entity whose command sets the text of its first line, the rest of its
    // message kept.
    const QJsonObject entity = JsonObjectOf(
        client.WaitFor("homeassistant/text/lumivex_dock_2F2_20_23a/config", Holds("{")));
    EXPECT_EQ(entity["command_topic"].toString(), "plant/dock%2F2%20%23a/text/set");

    struct Case {
        size_t sign;
        std::string payload;
        std::string json;  // what the sign gets
    };
    const std::vector<Case> cases = {
        {0, R"({"lines": ["Press 4 stopped"], "effect": "blink"})",
         R"({"lines": ["Press 4 stopped"], "effect": "blink"})"},
        {1, "Truck due 10:40", R"({"lines": ["Truck due 10:40"]})"},
    };
    for (const Case& c : cases) {
        const std::string level = EscapeName(setup.signs[c.sign].name);
        auto received = m_signs[c.sign].AcceptAndReadAsync();
        client.Publish("plant/" + level + "/message/set", c.payload);
        EXPECT_EQ(received.get(), BytesFor(setup.signs[c.sign], c.json)) << c.payload;
        const std::string state = client.WaitFor("plant/" + level + "/state", Holds("\"sent"));
        EXPECT_EQ(JsonObjectOf(state)["name"].toString().toStdString(), setup.signs[c.sign].name);
    }
    // A bad payload is answered and changes nothing.
    client.Publish("plant/line%203/message/set", R"({"lines": ["x"], "effect": "wobble"})");
    const std::string error = client.WaitFor("plant/line%203/error", Holds("effect"));
    EXPECT_EQ(JsonObjectOf(error)["field"].toString(), "effect");
    const auto http = ClientOf(gateway.Port());
    const QJsonObject desired =
        JsonObjectOf(http->Get(SignPath("Line 3"))->body)["desired"].toObject();
    EXPECT_EQ(desired["effect"].toString(), "blink");
    // The broker's writes are audited once each, the broker their source.
    const QJsonArray audited =
        QJsonDocument::fromJson(QByteArray::fromStdString(http->Get("/api/audit")->body)).array();
    ASSERT_EQ(audited.size(), 3) << http->Get("/api/audit")->body;
    for (const QJsonValue& entry : audited) {
        EXPECT_EQ(entry["source"].toString().toStdString(), m_broker->Url());
        EXPECT_EQ(entry["origin"], "broker");
    }
    EXPECT_FALSE(audited[2]["ok"].toBool());

    EXPECT_EQ(gateway.Process().Signal(SIGTERM), 0);
    EXPECT_EQ(JsonObjectOf(client.WaitFor("plant/gateway/hall-b/status", Holds("off")))["state"],
              "offline");
}

TEST_F(GatewayMqtt, ASignThatLeavesTheListLeavesHomeAssistantAndTheBroker) {
    GatewaySetup setup;
    setup.signs = {m_signs.Sign(0, "Line 3"), m_signs.Sign(1, "Dock 2")};
    CTestClient client(m_broker->Url());
    ASSERT_TRUE(client.Connected());
    client.Subscribe("homeassistant/#");
    client.Subscribe("plant/dock%202/state");
    const std::string dock = "homeassistant/binary_sensor/lumivex_dock_202/config";
    {
        CGatewayProcess gateway(setup.Write(MqttConfig()));
        ASSERT_TRUE(gateway.Listening());
        EXPECT_FALSE(client.WaitFor(dock, Holds("Dock 2")).empty());
        EXPECT_EQ(gateway.Process().Signal(SIGTERM), 0);
    }
    setup.signs.pop_back();
    CGatewayProcess gateway(setup.Write(MqttConfig()));
    ASSERT_TRUE(gateway.Listening());
    EXPECT_FALSE(
        gateway.Process().WaitForLine("removing the Home Assistant entry " + dock).empty());
    EXPECT_TRUE(client.WaitForRemoval(dock));
    EXPECT_TRUE(client.WaitForRemoval("homeassistant/notify/lumivex_dock_202/config"));
    EXPECT_TRUE(client.WaitForRemoval("plant/dock%202/state"));
    EXPECT_FALSE(
        client.WaitFor("homeassistant/binary_sensor/lumivex_line_203/config", Holds("Line 3"))
            .empty());
    EXPECT_EQ(gateway.Process().Signal(SIGTERM), 0);
}

TEST_F(GatewayMqtt, UpdatesPublishedWhileTheBrokerWasAwayArrive) {
    GatewaySetup setup;
    setup.signs = {m_signs.Sign(0, "Line 3")};
    CGatewayProcess gateway(setup.Write(MqttConfig()));
    ASSERT_TRUE(gateway.Listening());
    ASSERT_FALSE(gateway.Process().WaitForLine("broker connected").empty());
    m_broker->Stop();
    ASSERT_FALSE(gateway.Process().WaitForLine("broker connection lost").empty())
        << testing::PrintToString(gateway.Process().Lines());
    m_broker->Start();
    ASSERT_TRUE(m_broker->Running());
    {
        // Published before the gateway is back; the set topic keeps it for it.
        CTestClient client(m_broker->Url());
        ASSERT_TRUE(client.Connected());
        // A send given way to a newer one may open and close a connection with nothing on it.
        auto received = std::async(std::launch::async, [&] {
            std::string got;
            for (int i = 0; i < 4 && got.empty(); ++i) {
                got = m_signs[0].AcceptAndReadAsync().get();
            }
            return got;
        });
        client.Publish("plant/line%203/message/set", "Back again", true);
        EXPECT_FALSE(gateway.Process().WaitForLine("broker connected").empty())
            << testing::PrintToString(gateway.Process().Lines());
        EXPECT_EQ(received.get(), BytesFor(setup.signs[0], R"({"lines": ["Back again"]})"));
    }
    EXPECT_EQ(gateway.Process().Signal(SIGTERM), 0);
}

// An older message never comes back: not after an MQTT set that was not retained, nor after a
// write made while the broker was away, whatever the broker replays at the restart.
TEST_F(GatewayMqtt, TheNewestMessageWinsAcrossRestartsWithTheBrokerUpOrDown) {
    GatewaySetup setup;
    setup.signs = {m_signs.Sign(0, "Line 6")};
    const std::string config = setup.Write(MqttConfig());
    const auto put = [&](CGatewayProcess& gateway, const std::string& text) {
        const auto response = ClientOf(gateway.Port())
                                  ->Put(SignPath("Line 6") + "/message",
                                        R"({"lines": [")" + text + R"("]})", "application/json");
        ASSERT_TRUE(response);
        EXPECT_EQ(response->status, 202) << response->body;
    };
    const auto desired = [&](CGatewayProcess& gateway) {
        const QJsonObject sign =
            JsonObjectOf(ClientOf(gateway.Port())->Get(SignPath("Line 6"))->body);
        return sign["desired"].toObject()["lines"].toArray().at(0).toString().toStdString() + " v" +
               std::to_string(sign["stamp"].toObject()["version"].toInteger());
    };
    struct Case {
        bool brokerDown;  // at the second write
        std::string older;
        std::string newer;
    };
    const Case cases[] = {{false, "HTTP OLD", "MQTT NEWER"}, {true, "BEFORE", "WHILE AWAY"}};
    for (const Case& c : cases) {
        std::string before;
        {
            CGatewayProcess gateway(config);
            ASSERT_TRUE(gateway.Listening());
            ASSERT_FALSE(gateway.Process().WaitForLine("broker connected").empty());
            put(gateway, c.older);
            CTestClient client(m_broker->Url());
            ASSERT_TRUE(client.Connected());
            client.Subscribe("plant/line%206/message/set");
            EXPECT_FALSE(client.WaitFor("plant/line%206/message/set", Holds(c.older)).empty());
            if (c.brokerDown) {
                m_broker->Stop();
                put(gateway, c.newer);
            } else {
                // As Home Assistant's text entity publishes: not retained.
                client.Publish("plant/line%206/message/set", c.newer);
                // Taken once the gateway publishes it back, stamped.
                EXPECT_FALSE(client
                                 .WaitFor("plant/line%206/message/set",
                                          [&](const std::string& payload) {
                                              return Holds(c.newer)(payload) &&
                                                     Holds("\"by\":\"hall-b\"")(payload);
                                          })
                                 .empty());
            }
            before = desired(gateway);
            EXPECT_EQ(before.rfind(c.newer, 0), 0u) << before;
            // What the sign got meanwhile, up to the newer message.
            EXPECT_TRUE(Receives(m_signs[0],
                                 BytesFor(setup.signs[0], R"({"lines": [")" + c.newer + R"("]})"))
                            .get());
            EXPECT_EQ(gateway.Process().Signal(SIGTERM), 0);
        }
        if (c.brokerDown) {
            m_broker->Start();
            ASSERT_TRUE(m_broker->Running());
        }
        CTestClient client(m_broker->Url());
        ASSERT_TRUE(client.Connected());
        client.Subscribe("plant/line%206/message/set");
        auto received = m_signs[0].AcceptAndReadAsync();
        CGatewayProcess gateway(config);
        ASSERT_TRUE(gateway.Listening());
        EXPECT_EQ(received.get(), BytesFor(setup.signs[0], R"({"lines": [")" + c.newer + R"("]})"));
        ASSERT_FALSE(gateway.Process().WaitForLine("broker connected").empty());
        // The broker holds the newest again, and the sign's desired message is as it was.
        EXPECT_FALSE(client.WaitFor("plant/line%206/message/set", Holds(c.newer)).empty());
        EXPECT_EQ(desired(gateway), before);
        EXPECT_EQ(gateway.Process().Signal(SIGTERM), 0);
    }
}

TEST_F(GatewayMqtt, TwoGatewaysDriveTheirOwnSignsAndTakeWorkForEachOther) {
    std::vector<NamedSign> signs = {m_signs.Sign(0, "Line 3"), m_signs.Sign(1, "Dock 2")};
    signs[0].gateway = "hall-a";
    signs[1].gateway = "hall-b";
    signs[0].tags = signs[1].tags = {"floor"};
    GatewaySetup setupA;
    GatewaySetup setupB;
    setupA.signs = setupB.signs = signs;
    const std::string key = R"(, "forwardKey": "shared-by-both-halls")";
    CGatewayProcess hallA(setupA.Write(MqttConfig() + key, "hall-a"));
    CGatewayProcess hallB(setupB.Write(MqttConfig() + key, "hall-b"));
    ASSERT_TRUE(hallA.Listening() && hallB.Listening());
    ASSERT_FALSE(hallA.Process().WaitForLine("broker connected").empty());
    ASSERT_FALSE(hallB.Process().WaitForLine("broker connected").empty());
    struct Case {
        CGatewayProcess* asked;
        size_t sign;
        std::string json;
    };
    const std::vector<Case> cases = {
        {&hallA, 1, R"({"lines": ["From hall A"]})"},
        {&hallB, 0, R"({"lines": ["From hall B"]})"},
        {&hallA, 0, R"({"lines": ["Own sign"]})"},
    };
    for (const Case& c : cases) {
        auto received = m_signs[c.sign].AcceptAndReadAsync();
        const auto response =
            ClientOf(c.asked->Port())
                ->Put(SignPath(signs[c.sign].name) + "/message", c.json, "application/json");
        ASSERT_TRUE(response);
        EXPECT_EQ(response->status, 202) << response->body;
        EXPECT_EQ(received.get(), BytesFor(signs[c.sign], c.json)) << c.json;
    }
    // Each gateway's page shows the other's sign as its gateway tells it.
    const QJsonObject dock = WaitForCard(hallA.Port(), [](const QJsonObject& card) {
        return card["name"] == "Dock 2" && card["lastOutcome"].toObject()["delivered"].toBool();
    });
    EXPECT_EQ(dock["gateway"], "hall-b");
    EXPECT_EQ(dock["text"], "From hall A");
    EXPECT_TRUE(dock["other"].toBool());
    // Its panel is drawn here from that state, as its own gateway draws it.
    EXPECT_GE(dock["frames"].toInt(), 1);
    const std::string preview = SignPath("Dock 2") + "/preview.png?frame=1";
    const auto here = ClientOf(hallA.Port())->Get(preview);
    const auto there = ClientOf(hallB.Port())->Get(preview);
    ASSERT_TRUE(here && there);
    EXPECT_EQ(here->status, 200) << here->body;
    EXPECT_EQ(here->body, there->body);

    // An alert on the tag raised through one gateway reaches its signs on both, and cleared
    // through the other, each sign has its own message back.
    const std::string alert = R"({"lines": ["PRESS DOWN"]})";
    for (const bool raise : {true, false}) {
        std::vector<std::future<bool>> received;
        for (const char* own : {R"({"lines": ["Own sign"]})", R"({"lines": ["From hall A"]})"}) {
            const size_t i = received.size();
            received.push_back(Receives(m_signs[i], BytesFor(signs[i], raise ? alert : own)));
        }
        const auto response =
            raise ? ClientOf(hallA.Port())
                        ->Put("/api/alerts/press-down",
                              R"({"tag": "floor", "priority": 1, "message": )" + alert + "}",
                              "application/json")
                  : ClientOf(hallB.Port())->Delete("/api/alerts/press-down");
        ASSERT_TRUE(response);
        EXPECT_EQ(response->status, 202) << response->body;
        EXPECT_EQ(JsonObjectOf(response->body)["forwarded"],
                  QJsonArray{raise ? "Dock 2" : "Line 3"});
        for (size_t i = 0; i < received.size(); ++i) {
            EXPECT_TRUE(received[i].get()) << signs[i].name << (raise ? " raised" : " cleared");
        }
    }

    // A send to a tag reaches its signs on both gateways, from HTTP and from the broker.
    CTestClient client(m_broker->Url());
    ASSERT_TRUE(client.Connected());
    const std::vector<std::function<void(const std::string&)>> sends = {
        [&](const std::string& text) {
            const auto response =
                ClientOf(hallB.Port())
                    ->Post("/api/send",
                           R"({"tag": "FLOOR", "message": {"lines": [")" + text + R"("]}})",
                           "application/json");
            ASSERT_TRUE(response);
            EXPECT_EQ(JsonObjectOf(response->body)["forwarded"], QJsonArray{"Line 3"});
        },
        [&](const std::string& text) { client.Publish("plant/tag/floor/message/set", text); },
    };
    for (size_t i = 0; i < sends.size(); ++i) {
        const std::string text = "Shift change " + std::to_string(i + 1);
        auto first = m_signs[0].AcceptAndReadAsync();
        auto second = m_signs[1].AcceptAndReadAsync();
        sends[i](text);
        const std::string json = R"({"lines": [")" + text + R"("]})";
        EXPECT_EQ(first.get(), BytesFor(signs[0], json));
        EXPECT_EQ(second.get(), BytesFor(signs[1], json));
    }
    EXPECT_EQ(hallA.Process().Signal(SIGTERM), 0);
    EXPECT_EQ(hallB.Process().Signal(SIGTERM), 0);
}

// Killed at any moment while writes stream in, the gateway comes back with every write it
// answered 202 for: nothing acknowledged is lost, with the broker's retained sets beside it.
TEST_F(GatewayMqtt, AKillUnderLoadLosesNoAcknowledgedWrite) {
    GatewaySetup setup;
    for (int i = 0; i < 3; ++i) {
        setup.signs.push_back(SilentSign("Sign " + std::to_string(i)));  // sends only retry
    }
    const std::string config = setup.Write(MqttConfig());
    const auto versionOf = [](const std::string& body) {
        return JsonObjectOf(body)["stamp"].toObject()["version"].toInteger();
    };
    constexpr int kRounds = 20;
    constexpr int kWritesARound = 15;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<qint64> acknowledged(setup.signs.size(), 0);
        {
            CGatewayProcess gateway(config);
            ASSERT_TRUE(gateway.Listening());
            std::vector<std::thread> writers;
            std::atomic<int> written{0};
            for (size_t i = 0; i < setup.signs.size(); ++i) {
                writers.emplace_back([&, i] {
                    const auto client = ClientOf(gateway.Port());
                    for (int n = 0; n < 1000; ++n) {
                        const auto response =
                            client->Put(SignPath(setup.signs[i].name) + "/message",
                                        R"({"lines": ["round )" + std::to_string(round) + " " +
                                            std::to_string(n) + R"("]})",
                                        "application/json");
                        if (!response || response->status != 202) {
                            return;  // killed
                        }
                        acknowledged[i] = versionOf(response->body);
                        ++written;
                    }
                });
            }
            const auto deadline =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(kTestWaitMs);
            while (written < kWritesARound && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::yield();
            }
            ASSERT_GE(written, kWritesARound);
            gateway.Process().Signal(SIGKILL);
            for (std::thread& writer : writers) {
                writer.join();
            }
        }
        CGatewayProcess restarted(config);
        ASSERT_TRUE(restarted.Listening());
        const auto client = ClientOf(restarted.Port());
        for (size_t i = 0; i < setup.signs.size(); ++i) {
            const auto state = client->Get(SignPath(setup.signs[i].name));
            ASSERT_TRUE(state);
            EXPECT_GE(versionOf(state->body), acknowledged[i]) << "round " << round;
        }
        EXPECT_EQ(restarted.Process().Signal(SIGTERM), 0)
            << testing::PrintToString(restarted.Process().Lines());
    }
}

}  // namespace
