// The gateway as it runs: real HTTP requests to lumivex-gateway, virtual signs on loopback, for
// what only the program shows (a kill and a restart, signals, its exit codes).
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "GatewayTestSupport.h"
#include "TlsTestSupport.h"
#include "setup/Ipv4Text.h"

namespace {

constexpr const char* kNames[] = {"Line 3", "Dock/2 #a", "Hall.B+"};

class GatewayHttp : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_signs.Ready(3)); }

    std::string Configure() {
        for (size_t i = 0; i < 3; ++i) {
            m_setup.signs.push_back(m_signs.Sign(i, kNames[i]));
        }
        return m_setup.Write();
    }

    CLoopbackSigns m_signs{{4, 4, 0}};
    GatewaySetup m_setup;
};

TEST_F(GatewayHttp, MessagesReachTheirSignsExactlyAndAreKeptAcrossAKill) {
    const std::string config = Configure();
    struct Case {
        size_t sign;
        std::string path;  // the name as a client might write it
        std::string json;
    };
    const std::vector<Case> cases = {
        {0, SignPath("line 3"), R"({"lines": ["Stoppage at press 4"], "effect": "scroll"})"},
        {1, SignPath("Dock/2 #a"), R"({"lines": [[{"text": "Truck", "color": "green"}], "due"]})"},
        {2, SignPath("HALL.b+"), R"({"lines": ["Shift A"], "address": "broadcast"})"},
    };
    {
        CGatewayProcess gateway(config);
        ASSERT_TRUE(gateway.Listening());
        const auto client = ClientOf(gateway.Port());
        for (const Case& c : cases) {
            auto received = m_signs[c.sign].AcceptAndReadAsync();
            const auto response = client->Put(c.path + "/message", c.json, "application/json");
            ASSERT_TRUE(response) << c.path;
            EXPECT_EQ(response->status, 202) << response->body;
            EXPECT_EQ(received.get(), BytesFor(m_setup.signs[c.sign], c.json)) << c.path;
            EXPECT_FALSE(
                gateway.Process().WaitForLine(std::string(kNames[c.sign]) + ": sent").empty());
            const auto state = client->Get(c.path);
            ASSERT_TRUE(state);
            const QJsonObject sign = JsonObjectOf(state->body);
            EXPECT_EQ(sign["name"].toString().toStdString(), kNames[c.sign]);
            EXPECT_TRUE(sign["lastOutcome"].toObject()["delivered"].toBool()) << state->body;
            EXPECT_EQ(sign["waitingFor"].toString(), "nothing");
        }
        // Killed without a chance to save anything more.
        gateway.Process().Signal(SIGKILL);
    }
    std::vector<std::future<std::string>> again;
    for (const Case& c : cases) {
        again.push_back(m_signs[c.sign].AcceptAndReadAsync());
    }
    CGatewayProcess restarted(config);
    ASSERT_TRUE(restarted.Listening());
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(again[i].get(), BytesFor(m_setup.signs[cases[i].sign], cases[i].json));
    }
    EXPECT_EQ(restarted.Process().Signal(SIGTERM), 0);
}

TEST_F(GatewayHttp, ASignThatNeverAnswersDelaysNoOtherAndNothingHoldsAStop) {
    ASSERT_TRUE(m_signs[2].FillAcceptQueue());
    for (size_t i = 0; i < 3; ++i) {
        m_setup.signs.push_back(m_signs.Sign(i, kNames[i]));
    }
    // A broker that never answers its connect, as the silent sign does.
    const NamedSign& silent = m_setup.signs[2];
    CGatewayProcess gateway(m_setup.Write(R"(, "mqtt": {"url": "tcp://)" +
                                          FormatIpv4(silent.ipAddress) + ":" +
                                          std::to_string(silent.tcpPort) + R"("})"));
    ASSERT_TRUE(gateway.Listening());
    const auto client = ClientOf(gateway.Port());
    const std::string json = R"({"lines": ["Evacuate hall B"]})";
    auto received = m_signs[0].AcceptAndReadAsync();
    const auto response =
        client->Post("/api/send", R"({"all": true, "message": {"lines": ["Evacuate hall B"]}})",
                     "application/json");
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, 202) << response->body;
    EXPECT_EQ(received.get(), BytesFor(m_setup.signs[0], json));
    EXPECT_EQ(JsonObjectOf(client->Get(SignPath(kNames[2]))->body)["waitingFor"].toString(),
              "send");
    // Ends at once though a send waits for its connection and the broker for its connect (with
    // slow clients too: attack_test.py).
    EXPECT_EQ(gateway.Process().Signal(SIGTERM), 0);
    EXPECT_FALSE(gateway.Process().WaitForLine("stopped").empty());
}

// Started by systemd (Type=notify), it says when it is ready, reloading and stopping, and its
// event loop pings the watchdog.
TEST(GatewayProgram, TellsTheServiceManagerWhatItDoes) {
    GatewaySetup setup;
    setup.signs.resize(1);
    setup.signs[0].name = "a";
    const std::string config = setup.Write();
    const std::string path = setup.folder.Path() + "/notify";
    const int manager = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof(address.sun_path) - 1);
    ASSERT_EQ(bind(manager, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    const auto next = [&] {
        pollfd ready{manager, POLLIN, 0};
        char text[256] = {};
        if (poll(&ready, 1, kTestWaitMs) != 1) {
            return std::string();
        }
        const ssize_t got = recv(manager, text, sizeof(text) - 1, 0);
        return std::string(text, static_cast<size_t>(std::max<ssize_t>(got, 0)));
    };
    CChildProcess gateway(LUMIVEX_GATEWAY_PATH, {"--config", config},
                          {"NOTIFY_SOCKET=" + path, "WATCHDOG_USEC=100000"});
    EXPECT_EQ(next(), "READY=1");
    EXPECT_EQ(next(), "WATCHDOG=1");
    kill(gateway.Pid(), SIGHUP);
    std::string said = next();
    while (said == "WATCHDOG=1") {
        said = next();
    }
    EXPECT_EQ(said, "RELOADING=1");
    EXPECT_EQ(gateway.Signal(SIGTERM), 0);
    for (said = next(); said == "WATCHDOG=1" || said == "READY=1"; said = next()) {
    }
    EXPECT_EQ(said, "STOPPING=1");
    close(manager);
}

// SIGHUP (systemctl reload) reads signs.json again: a new sign is served and a sign that stays
// keeps its state; a file that does not read leaves the running one, and the log says why.
TEST(GatewayProgram, ReloadTakesANewSignKeepsTheOthersAndSaysWhyABadFileIsLeft) {
    GatewaySetup setup;
    setup.signs.resize(1);
    setup.signs[0].name = "Line 1";
    ASSERT_TRUE(SetSignLink(setup.signs[0], "127.0.0.1:1"));  // nothing answers: only state
    CGatewayProcess gateway(setup.Write());
    ASSERT_TRUE(gateway.Listening());
    const auto client = ClientOf(gateway.Port());
    const auto put =
        client->Put(SignPath("Line 1") + "/message", R"({"lines": ["Kept"]})", "application/json");
    ASSERT_TRUE(put);
    EXPECT_EQ(put->status, 202);
    EXPECT_EQ(client->Get(SignPath("NEW"))->status, 404);
    struct Case {
        std::string signsJson;  // empty: signs.json with the sign "NEW" added
        std::string line;
    };
    const Case cases[] = {
        {"", "reloaded: gateway hall-b: 2 of 2 signs"},
        {R"({"signs": [)",
         "signs.json not reloaded: " + setup.folder.Path() + "/signs.json line 1: not valid JSON"},
    };
    for (const Case& c : cases) {
        if (c.signsJson.empty()) {
            setup.signs.push_back(setup.signs[0]);
            setup.signs[1].name = "NEW";
            setup.Write();
        } else {
            setup.folder.Write("signs.json", c.signsJson);
        }
        kill(gateway.Process().Pid(), SIGHUP);
        EXPECT_FALSE(gateway.Process().WaitForLine(c.line).empty())
            << testing::PrintToString(gateway.Process().Lines());
        EXPECT_EQ(client->Get(SignPath("NEW"))->status, 200) << c.line;
        const QJsonObject kept = JsonObjectOf(client->Get(SignPath("Line 1"))->body);
        EXPECT_EQ(kept["desired"].toObject()["lines"], QJsonArray{"Kept"}) << c.line;
    }
    EXPECT_EQ(gateway.Process().Signal(SIGTERM), 0);
}

TEST(GatewayProgram, CheckSaysWhatItWouldDriveOrRefuses) {
    struct Case {
        const char* config;
        int exit;
        const char* line;
    };
    const Case cases[] = {
        {R"({"name": "hall-b"})", 0,
         "gateway hall-b: 1 of 2 signs, HTTP 127.0.0.1:8080, no broker"},
        {R"({"name": "hall-b", "tokens": {"operator": "token"}, "readNeedsToken": true})", 0,
         "HTTP 127.0.0.1:8080 with tokens of operator (reads too), no broker"},
        {R"({"http": "0.0.0.0:8080"})", 2, "\"tokenFile\" is needed"},
        {R"({"tls": {"certFile": "good.pem", "keyFile": "good.key"}})", 0,
         "1 of 2 signs, HTTPS 127.0.0.1:8080"},
        {R"({"tls": {"certFile": "old.pem", "keyFile": "old.key"}})", 2,
         "old.pem: \"tls.certFile\": the certificate expired on"},
        {R"({"tls": {"certFile": "good.pem"}})", 2, "\"tls\" must be an object of"},
    };
    for (const Case& c : cases) {
        GatewaySetup setup;
        setup.signs.resize(2);
        setup.signs[0].name = "a";
        setup.signs[1].name = "b";
        setup.signs[1].gateway = "hall-a";
        setup.Write();
        const std::string& path = setup.folder.Path();
        ASSERT_TRUE(WriteTestCertificate(path + "/good.pem", path + "/good.key"));
        ASSERT_TRUE(WriteTestCertificate(path + "/old.pem", path + "/old.key", 60));
        const std::string config = setup.folder.Write("gateway.json", c.config);
        CChildProcess check(LUMIVEX_GATEWAY_PATH, {"--config", config, "--check"});
        EXPECT_FALSE(check.WaitForLine(c.line).empty()) << c.config;
        EXPECT_EQ(check.Wait(), c.exit) << c.config;
    }
}

}  // namespace
