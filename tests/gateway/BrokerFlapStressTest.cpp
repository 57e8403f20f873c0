// The broker killed and started again a few hundred times while sets come through it and the
// gateway publishes what it does: the gateway stays sound (the test build has AddressSanitizer)
// and ends on the last set. Bounded in count and time; its name marks it as the suite's stress
// test.
#include <gtest/gtest.h>

#include <atomic>
#include <iostream>
#include <thread>

#include "BrokerTestSupport.h"

namespace {

constexpr int kRestarts = 150;
constexpr std::chrono::seconds kFlapTime{45};

TEST(BrokerFlapStress, TheGatewayStaysSoundAndEndsOnTheLastSet) {
    if (std::string(LUMIVEX_MOSQUITTO_PATH).empty()) {
        GTEST_SKIP() << "mosquitto is not installed: the broker tests need it";
    }
    CTempFolder brokerFolder;
    CBroker broker(brokerFolder);
    ASSERT_TRUE(broker.Running());
    GatewaySetup setup;
    setup.signs = {SilentSign("Line 3")};
    CGatewayProcess gateway(
        setup.Write(R"(, "mqtt": {"url": ")" + broker.Url() + R"(", "prefix": "plant"})"));
    ASSERT_TRUE(gateway.Listening());
    ASSERT_FALSE(gateway.Process().WaitForLine("broker connected").empty());

    // Writes over HTTP all along: the gateway publishes each, retained, as the broker comes and
    // goes.
    std::atomic<bool> flapping{true};
    std::thread writer([&] {
        const auto client = ClientOf(gateway.Port());
        for (int n = 0; flapping; ++n) {
            client->Put(SignPath("Line 3") + "/message",
                        R"({"lines": ["HTTP )" + std::to_string(n) + R"("]})", "application/json");
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    const auto start = std::chrono::steady_clock::now();
    int restarts = 0;
    bool reconnected = true;
    for (; reconnected && restarts < kRestarts &&
           std::chrono::steady_clock::now() - start < kFlapTime;
         ++restarts) {
        {
            CTestClient client(broker.Url());
            if (client.Connected()) {
                client.Post("plant/line%203/message/set", "MQTT " + std::to_string(restarts));
            }
        }
        // Gone at a different moment of the gateway's first exchanges each time: its
        // subscriptions, its discovery, its outbox.
        std::this_thread::sleep_for(std::chrono::milliseconds(restarts % 4 * 15));
        if (restarts % 2 == 0) {
            broker.Kill();
        } else {
            broker.Stop();
        }
        broker.Start();
        reconnected =
            broker.Running() && !gateway.Process().WaitForLine("broker connected").empty();
    }
    flapping = false;
    writer.join();
    ASSERT_TRUE(reconnected) << "restart " << restarts
                             << testing::PrintToString(gateway.Process().Lines());
    const auto flapTime = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    std::cout << "broker restarts: " << restarts << " in " << flapTime.count() << " ms\n";
    RecordProperty("restarts", restarts);

    CTestClient client(broker.Url());
    ASSERT_TRUE(client.Connected());
    client.Subscribe("plant/line%203/state");
    client.Publish("plant/line%203/message/set", "The last set", true);
    EXPECT_FALSE(client.WaitFor("plant/line%203/state", Holds("The last set")).empty());
    const QJsonObject state = JsonObjectOf(ClientOf(gateway.Port())->Get(SignPath("Line 3"))->body);
    EXPECT_EQ(state["desired"].toObject()["lines"].toArray().at(0).toString(), "The last set");
    EXPECT_EQ(gateway.Process().Signal(SIGTERM), 0);
    for (const std::string& line : gateway.Process().Lines()) {
        EXPECT_EQ(line.find("Sanitizer"), std::string::npos) << line;
        EXPECT_EQ(line.find("runtime error"), std::string::npos) << line;
    }
}

}  // namespace
