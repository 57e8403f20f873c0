// The gateway's connection to the broker: over TLS, and one gateway of a name.
#include <gtest/gtest.h>

#include "BrokerTestSupport.h"
#include "CoreFixture.h"
#include "gateway/CMqttNameClaim.h"

namespace {

// A test authority, another one, and the broker's certificates made by the first: a good one for
// 127.0.0.1 and localhost, an expired one, and one for another name.
struct CTestCertificates {
    explicit CTestCertificates(const CTempFolder& folder) : dir(folder.Path() + "/") {
        folder.Write("san.cnf", "subjectAltName=IP:127.0.0.1,DNS:localhost\n");
        folder.Write("elsewhere.cnf", "subjectAltName=DNS:elsewhere.test\n");
        made = Request("ca", "/CN=Lumivex test CA", true) &&
               Request("other", "/CN=Another CA", true) &&
               Request("server", "/CN=127.0.0.1", false) &&
               Request("elsewhere", "/CN=elsewhere.test", false) &&
               Sign("server", "server", "san.cnf", "2") &&
               Sign("server", "expired", "san.cnf", "-1") &&
               Sign("elsewhere", "elsewhere", "elsewhere.cnf", "2");
    }
    // A TLS listener of the broker showing one of the certificates.
    std::string Listener(uint16_t port, const std::string& certificate, const std::string& key) {
        return "listener " + std::to_string(port) + " 127.0.0.1\ncafile " + dir +
               "ca.pem\ncertfile " + dir + certificate + ".pem\nkeyfile " + dir + key + ".key\n";
    }

    std::string dir;
    bool made = false;

private:
    static bool Run(const std::vector<std::string>& arguments) {
        CChildProcess openssl(LUMIVEX_OPENSSL_PATH, arguments);
        return openssl.Wait() == 0;
    }
    // A key and a self-signed authority, or a request to sign.
    bool Request(const std::string& name, const std::string& subject, bool authority) {
        // "-days" counts for an authority only.
        return Run({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                    "-keyout", dir + name + ".key", "-subj", subject, authority ? "-x509" : "-new",
                    "-days", "2", "-out", dir + name + (authority ? ".pem" : ".csr")});
    }
    bool Sign(const std::string& request, const std::string& out, const std::string& extensions,
              const std::string& days) {
        return Run({"x509", "-req", "-in", dir + request + ".csr", "-CA", dir + "ca.pem", "-CAkey",
                    dir + "ca.key", "-CAcreateserial", "-out", dir + out + ".pem", "-days", days,
                    "-extfile", dir + extensions});
    }
};

class GatewayBroker : public testing::Test {
protected:
    void SetUp() override {
        if (std::string(LUMIVEX_MOSQUITTO_PATH).empty() ||
            std::string(LUMIVEX_OPENSSL_PATH).empty()) {
            GTEST_SKIP() << "mosquitto and openssl are needed for the broker tests";
        }
    }
    void StartBroker(const std::string& extra = {}) {
        m_broker = std::make_unique<CBroker>(m_brokerFolder, extra);
        ASSERT_TRUE(m_broker->Running());
    }
    std::string MqttConfig(const std::string& url, const std::string& more = {}) const {
        return R"(, "mqtt": {"url": ")" + url + R"(", "prefix": "plant")" + more + "}";
    }

    CTempFolder m_brokerFolder;
    std::unique_ptr<CBroker> m_broker;
};

TEST_F(GatewayBroker, TheBrokersCertificateIsVerifiedAndWhatIsWrongWithItNamed) {
    CTestCertificates certificates(m_brokerFolder);
    ASSERT_TRUE(certificates.made);
    const uint16_t good = FreeLoopbackPort();
    const uint16_t expired = FreeLoopbackPort();
    const uint16_t elsewhere = FreeLoopbackPort();
    StartBroker(certificates.Listener(good, "server", "server") +
                certificates.Listener(expired, "expired", "server") +
                certificates.Listener(elsewhere, "elsewhere", "elsewhere"));
    struct Case {
        std::string url;
        std::string caFile;  // in the certificates' folder; empty: the system's
        std::string said;
    };
    const auto at = [](const char* scheme, const char* host, uint16_t port) {
        return std::string(scheme) + host + ":" + std::to_string(port);
    };
    const Case cases[] = {
        {at("ssl://", "127.0.0.1", good), "ca.pem", "connected"},
        {at("mqtts://", "localhost", good), "ca.pem", "connected"},
        {at("ssl://", "127.0.0.1", good), "other.pem",
         "the broker's certificate authority \"CN = Lumivex test CA\" is refused: self-signed "
         "certificate in certificate chain (trusted: " +
             certificates.dir + "other.pem)"},
        {at("ssl://", "127.0.0.1", good), "",
         "is refused: self-signed certificate in certificate chain (trusted: the system's"},
        {at("ssl://", "127.0.0.1", expired), "ca.pem",
         "the broker's certificate \"CN = 127.0.0.1\" is refused: certificate has expired (valid "
         "until "},
        {at("ssl://", "127.0.0.1", elsewhere), "ca.pem",
         "\"CN = elsewhere.test\" is refused: IP address mismatch (not made for 127.0.0.1)"},
    };
    for (const Case& c : cases) {
        CTestClient client(c.url, c.caFile.empty() ? "" : certificates.dir + c.caFile);
        const std::string said = client.Outcome();
        EXPECT_NE(said.find(c.said), std::string::npos) << c.url << " " << c.caFile << ": " << said;
    }
}

TEST_F(GatewayBroker, AGatewayTakesItsSetsOverTlsAndSaysWhyItCannot) {
    CTestCertificates certificates(m_brokerFolder);
    ASSERT_TRUE(certificates.made);
    const uint16_t tls = FreeLoopbackPort();
    StartBroker(certificates.Listener(tls, "server", "server"));
    const std::string url = "ssl://127.0.0.1:" + std::to_string(tls);
    GatewaySetup setup;
    setup.signs = {SilentSign("Line 3")};
    CGatewayProcess gateway(
        setup.Write(MqttConfig(url, R"(, "caFile": ")" + certificates.dir + R"(ca.pem")")));
    ASSERT_TRUE(gateway.Listening());
    ASSERT_FALSE(gateway.Process().WaitForLine("broker connected").empty());
    CTestClient client(m_broker->Url());
    ASSERT_TRUE(client.Connected());
    client.Subscribe("plant/line%203/state");
    client.Publish("plant/line%203/message/set", "Over TLS");
    EXPECT_FALSE(client.WaitFor("plant/line%203/state", Holds("Over TLS")).empty());

    GatewaySetup wrong;
    wrong.signs = setup.signs;
    CGatewayProcess refused(wrong.Write(
        MqttConfig(url, R"(, "caFile": ")" + certificates.dir + R"(other.pem")"), "hall-c"));
    ASSERT_TRUE(refused.Listening());
    EXPECT_FALSE(refused.Process()
                     .WaitForLine("\"CN = Lumivex test CA\" is refused: self-signed "
                                  "certificate in certificate chain (trusted: " +
                                  certificates.dir + "other.pem)")
                     .empty())
        << testing::PrintToString(refused.Process().Lines());
    EXPECT_EQ(refused.Process().Signal(SIGTERM), 0);
    EXPECT_EQ(gateway.Process().Signal(SIGTERM), 0);
}

// A gateway makes sure no other live one of its name is on the broker before it drives signs
// there; one that crashed and left its "online" behind loses the name.
TEST_F(GatewayBroker, ANameHeldByALiveGatewayIsRefusedAndOneLeftBehindIsTakenOver) {
    StartBroker();
    CTestClient holder(m_broker->Url());
    ASSERT_TRUE(holder.Connected());
    const std::string status = "plant/gateway/hall-b/status";
    const std::string probe = "plant/gateway/hall-b/probe";
    holder.Subscribe(probe);
    const NameHolder gone{true, "00000000000000aa", 2147483647, ThisInstance(kTestStart).host,
                          "2026-12-07T08:00:00.000Z"};
    const NameHolder away{true, "00000000000000bb", 4242, "elsewhere", "2026-12-07T09:00:00.000Z"};
    struct Case {
        const char* what;
        std::string retained;  // the status the broker holds
        bool asked;            // the holder is asked to answer
        bool answers;
        bool held;
        bool lapsed;
    };
    const Case cases[] = {
        {"no status", "", false, false, false, false},
        {"offline", StatusJson(away, false), false, false, false, false},
        {"an older gateway's plain offline", "offline", false, false, false, false},
        {"a process gone from this host", StatusJson(gone, true), false, false, false, true},
        {"a holder elsewhere that does not answer", StatusJson(away, true), true, false, false,
         true},
        {"a holder that answers", StatusJson(away, true), true, true, true, false},
    };
    for (const Case& c : cases) {
        holder.Publish(status, c.retained, true);
        CScriptedClock clock(kTestStart);
        const NameHolder self = ThisInstance(kTestStart);
        CMqttClient::Options options;
        options.url = m_broker->Url();
        options.clientId = "lumivex-gateway-hall-b";
        CMqttNameClaim claim(options, CMqttNameClaim::TopicsOf("plant", "hall-b"), self, clock, {});
        std::optional<CMqttNameClaim::Outcome> outcome;
        claim.Start([&](const CMqttNameClaim::Outcome& said) { outcome = said; }, {});
        if (c.asked) {
            ASSERT_TRUE(PumpUntil([&] { return Holds(self.instance)(holder.Last(probe)); }))
                << c.what;
            if (c.answers) {
                holder.Publish(status, StatusJson(away, true));
            } else {
                EXPECT_FALSE(outcome.has_value()) << c.what;
                clock.Advance(std::chrono::seconds(5));
            }
        }
        ASSERT_TRUE(PumpUntil([&] { return outcome.has_value(); })) << c.what;
        ASSERT_EQ(outcome->heldBy.has_value(), c.held) << c.what;
        if (c.held) {
            EXPECT_EQ(outcome->said,
                      "the name is held on the broker by pid 4242 on host elsewhere (instance "
                      "00000000000000bb) since 2026-12-07T09:00:00.000Z: another gateway of this "
                      "name runs; not driving its signs here");
        }
        EXPECT_EQ(outcome->lapsed.has_value(), c.lapsed) << c.what;
    }
}

TEST_F(GatewayBroker, ASecondGatewayOfANameExitsNamingTheHolderAndARestartIsNotRefused) {
    StartBroker();
    const NamedSign sign = SilentSign("Line 3");
    GatewaySetup first;
    GatewaySetup second;  // a state folder of its own
    first.signs = second.signs = {sign};
    const std::string config = first.Write(MqttConfig(m_broker->Url()));
    auto holder = std::make_unique<CGatewayProcess>(config);
    ASSERT_TRUE(holder->Listening());
    ASSERT_FALSE(holder->Process().WaitForLine("broker connected").empty());
    const std::string pid = std::to_string(holder->Process().Pid());
    CTestClient client(m_broker->Url());
    ASSERT_TRUE(client.Connected());
    client.Subscribe("plant/gateway/hall-b/status");
    const QJsonObject said =
        JsonObjectOf(client.WaitFor("plant/gateway/hall-b/status", Holds("\"pid\":" + pid)));
    EXPECT_EQ(said["state"], "online");

    CGatewayProcess refused(second.Write(MqttConfig(m_broker->Url())));
    EXPECT_FALSE(refused.Process()
                     .WaitForLine("hall-b: the name is held on the broker by pid " + pid)
                     .empty())
        << testing::PrintToString(refused.Process().Lines());
    EXPECT_EQ(refused.Process().Wait(), 1);
    EXPECT_FALSE(holder->Process().WaitForLine("asked for it and was refused").empty());

    // Killed, its last will says it is gone: started again, it is not refused.
    holder->Process().Signal(SIGKILL);
    holder = std::make_unique<CGatewayProcess>(config);
    ASSERT_TRUE(holder->Listening());
    EXPECT_FALSE(holder->Process().WaitForLine("broker connected").empty())
        << testing::PrintToString(holder->Process().Lines());
    EXPECT_EQ(holder->Process().Signal(SIGTERM), 0);
}

}  // namespace
