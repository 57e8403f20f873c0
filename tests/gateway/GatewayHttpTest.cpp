// The gateway as it runs: real HTTP requests to lumivex-gateway, virtual signs on loopback.
#include <gtest/gtest.h>
#include <signal.h>

#include <QBuffer>
#include <QImage>
#include <filesystem>
#include <fstream>

#include "GatewayTestSupport.h"
#include "preview/FrameSequence.h"
#include "render/FramePainter.h"

namespace {

constexpr const char* kNames[] = {"Line 3", "Dock/2 #a", "Hall.B+"};

class GatewayHttp : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_signs.Ready(3)); }

    std::string Setup(int firstModel = 0) {
        for (size_t i = 0; i < 3; ++i) {
            m_setup.signs.push_back(m_signs.Sign(i, kNames[i]));
        }
        m_setup.signs[0].signModel = firstModel;
        return m_setup.Write();
    }

    CLoopbackSigns m_signs{{4, 4, 0}};
    GatewaySetup m_setup;
};

TEST_F(GatewayHttp, MessagesReachTheirSignsExactlyAndAreKeptAcrossAKill) {
    const std::string config = Setup();
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

TEST_F(GatewayHttp, BadRequestsGetTheirErrorsAndChangeNothing) {
    CGatewayProcess gateway(Setup());
    ASSERT_TRUE(gateway.Listening());
    const auto client = ClientOf(gateway.Port());
    const auto stranger = ClientOf(gateway.Port(), false);
    const std::string line3 = SignPath("Line 3");
    struct Case {
        const char* method;
        std::string path;
        std::string body;
        bool token;
        int status;
        const char* field;  // "" when the error names none
    };
    const std::vector<Case> cases = {
        {"PUT", line3 + "/message", "{\"lines\": [", true, 400, "message"},
        {"PUT", line3 + "/message", R"({"effect": "wobble"})", true, 400, "effect"},
        {"PUT", line3 + "/message", R"({"position": "start", "line": 0})", true, 400, "line"},
        {"PUT", line3 + "/message", R"({"lines": ["x"]})", false, 401, "Authorization"},
        {"PUT", SignPath("Nowhere") + "/message", R"({"lines": ["x"]})", true, 404, "name"},
        {"PUT", line3 + "/message", std::string(2 * 1024 * 1024, ' '), true, 413, ""},
        {"PUT", "/api/vars/now", R"({"value": "1"})", true, 400, "var"},
        {"PUT", "/api/vars/count", R"({"value": 1})", true, 400, "value"},
        {"POST", "/api/send", R"({"signs": ["Nowhere"], "message": {}})", true, 404, "signs"},
        {"POST", "/api/send", R"({"tag": "a", "all": true, "message": {}})", true, 400, "signs"},
        {"POST", line3 + "/notify", R"({"message": {}, "seconds": 0})", true, 400, "seconds"},
        {"GET", line3 + "/preview.png?frame=0", "", true, 400, "frame"},
        {"GET", SignPath("Nowhere"), "", true, 404, "name"},
        {"GET", "/etc/passwd", "", true, 404, ""},
        {"DELETE", line3, "", true, 404, ""},
    };
    for (const Case& c : cases) {
        httplib::Client& http = c.token ? *client : *stranger;
        httplib::Result response =
            std::string(c.method) == "PUT"    ? http.Put(c.path, c.body, "application/json")
            : std::string(c.method) == "POST" ? http.Post(c.path, c.body, "application/json")
            : std::string(c.method) == "GET"  ? http.Get(c.path)
                                              : http.Delete(c.path);
        ASSERT_TRUE(response) << c.method << " " << c.path;
        EXPECT_EQ(response->status, c.status)
            << c.method << " " << c.path << ": " << response->body;
        const QJsonObject error = JsonObjectOf(response->body);
        EXPECT_FALSE(error["error"].toString().isEmpty()) << c.path << ": " << response->body;
        EXPECT_EQ(error["field"].toString().toStdString(), c.field) << response->body;
    }
    const auto signs = client->Get("/api/signs");
    ASSERT_TRUE(signs);
    for (const QJsonValue sign :
         QJsonDocument::fromJson(QByteArray::fromStdString(signs->body)).array()) {
        EXPECT_TRUE(sign.toObject()["desired"].isNull()) << signs->body;
    }
    std::ifstream journal(m_setup.folder.Path() + "/state/journal", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(journal), {}).find("line%203"),
              std::string::npos);
    EXPECT_EQ(client->Get("/healthz")->status, 200);
    EXPECT_EQ(gateway.Process().Signal(SIGTERM), 0);
}

TEST_F(GatewayHttp, AValueResendsOnlyTheSignsThatShowIt) {
    CGatewayProcess gateway(Setup());
    ASSERT_TRUE(gateway.Listening());
    const auto client = ClientOf(gateway.Port());
    const std::string counting = R"({"lines": ["{count} parts"]})";
    const std::string plain = R"({"lines": ["Welcome"]})";
    auto first = m_signs[0].AcceptAndReadAsync();
    auto second = m_signs[1].AcceptAndReadAsync();
    ASSERT_EQ(client->Put(SignPath(kNames[0]) + "/message", counting, "application/json")->status,
              202);
    ASSERT_EQ(client->Put(SignPath(kNames[1]) + "/message", plain, "application/json")->status,
              202);
    EXPECT_EQ(first.get(), BytesFor(m_setup.signs[0], R"({"lines": ["-- parts"]})"));
    EXPECT_EQ(second.get(), BytesFor(m_setup.signs[1], plain));
    EXPECT_EQ(JsonObjectOf(client->Get(SignPath(kNames[0]))->body)["missing"].toArray(),
              QJsonArray{"count"});

    auto counted = m_signs[0].AcceptAndReadAsync();
    auto next = m_signs[1].AcceptAndReadAsync();
    ASSERT_EQ(client->Put("/api/vars/count", R"({"value": "412"})", "application/json")->status,
              204);
    EXPECT_EQ(counted.get(), BytesFor(m_setup.signs[0], R"({"lines": ["412 parts"]})"));
    // Had the value gone to the second sign too, that send would come before this one.
    const std::string later = R"({"lines": ["Goodbye"]})";
    ASSERT_EQ(client->Put(SignPath(kNames[1]) + "/message", later, "application/json")->status,
              202);
    EXPECT_EQ(next.get(), BytesFor(m_setup.signs[1], later));
    EXPECT_EQ(gateway.Process().Signal(SIGTERM), 0);
}

TEST_F(GatewayHttp, ASignThatNeverAnswersDelaysNoOther) {
    ASSERT_TRUE(m_signs[2].FillAcceptQueue());
    CGatewayProcess gateway(Setup());
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
    // Ends at once though a send is still waiting for its connection.
    EXPECT_EQ(gateway.Process().Signal(SIGTERM), 0);
}

TEST_F(GatewayHttp, AFailedSendIsTriedAgainUntilItArrives) {
    const std::string host = NextOwnLoopbackAddress();
    auto refusing = std::make_unique<CRefusingPort>(host.c_str(), m_signs.Port());
    ASSERT_TRUE(refusing->Bound());
    NamedSign late;
    late.name = "Late";
    ASSERT_TRUE(SetSignLink(late, host + ":" + std::to_string(m_signs.Port())));
    m_setup.signs = {late};
    CGatewayProcess gateway(m_setup.Write());
    ASSERT_TRUE(gateway.Listening());
    const auto client = ClientOf(gateway.Port());
    const std::string json = R"({"lines": ["Finally"]})";
    ASSERT_EQ(client->Put("/api/signs/Late/message", json, "application/json")->status, 202);
    EXPECT_FALSE(gateway.Process().WaitForLine("Late: Ethernet").empty());
    EXPECT_FALSE(gateway.Process().WaitForLine("Late: Ethernet").empty());
    const QJsonObject waiting = JsonObjectOf(client->Get("/api/signs/Late")->body);
    EXPECT_EQ(waiting["waitingFor"].toString(), "retry");
    EXPECT_FALSE(waiting["lastOutcome"].toObject()["delivered"].toBool());

    refusing.reset();
    CLoopbackListener sign(m_signs.Port(), 0, host.c_str());
    ASSERT_TRUE(sign.Listening());
    auto received = sign.AcceptAndReadAsync();
    EXPECT_EQ(received.get(), BytesFor(late, json));
    EXPECT_FALSE(gateway.Process().WaitForLine("Late: sent").empty());
    const std::string metrics = client->Get("/metrics")->body;
    EXPECT_NE(metrics.find("lumivex_gateway_sends_total{sign=\"Late\",outcome=\"delivered\"} 1"),
              std::string::npos)
        << metrics;
    EXPECT_EQ(metrics.find("lumivex_gateway_retries_total 0"), std::string::npos) << metrics;
    EXPECT_EQ(gateway.Process().Signal(SIGTERM), 0);
}

// The preview's frames, on the sign's own model whatever the message says, and as many as the
// signs page cycles through.
TEST_F(GatewayHttp, PreviewIsThePreviewWindowsFramesRoundAndRound) {
    const int32_t model = 3;
    CGatewayProcess gateway(Setup(model));
    ASSERT_TRUE(gateway.Listening());
    const auto client = ClientOf(gateway.Port());
    const auto frame = [&](int64_t n) {
        return client->Get(SignPath(kNames[0]) + "/preview.png?frame=" + std::to_string(n))->body;
    };
    struct Case {
        std::string json;
        QString text;
        int64_t fewest;  // frames that differ from the first, at least
    };
    const std::vector<Case> cases = {
        {R"({"lines": [[{"text": "Go", "blink": true}]], "signModel": 1})", "Go", 1},
        {R"({"lines": ["Stoppage at press 4"], "effect": "scroll"})", "Stoppage at press 4", 10},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(client->Put(SignPath(kNames[0]) + "/message", c.json, "application/json")->status,
                  202);
        const QJsonObject card = WaitForCard(gateway.Port(), [&](const QJsonObject& sign) {
            return sign["name"] == kNames[0] && sign["text"] == c.text;
        });
        const int64_t frames = card["frames"].toInteger();
        ASSERT_GE(frames, 1) << c.json;
        const MessageDocument message = ParseMessageJson(c.json);
        FrameSequence sequence;
        for (int64_t n = 1; n <= 2; ++n) {
            const QImage expected = PaintFrame(
                sequence.Step(message.lines, message.settings, model), GetAreaSize(model));
            const QImage image = QImage::fromData(QByteArray::fromStdString(frame(n)), "PNG");
            EXPECT_EQ(image.convertToFormat(expected.format()), expected) << c.json << n;
        }
        // The page goes round from the last frame to the first as the preview does.
        EXPECT_EQ(frame(frames + 1), frame(1)) << c.json;
        EXPECT_EQ(frame(frames + 2), frame(2)) << c.json;
        int64_t differ = 0;
        for (int64_t n = 2; n <= frames; ++n) {
            differ += frame(n) != frame(1) ? 1 : 0;
        }
        EXPECT_GE(differ, c.fewest) << c.json;
        // Under the card's version a frame is the browser's to keep; under another, refused.
        const std::string path = SignPath(kNames[0]) + "/preview.png?frame=1&v=";
        const auto kept = client->Get(path + card["panelVersion"].toString().toStdString());
        EXPECT_EQ(kept->body, frame(1)) << c.json;
        EXPECT_NE(kept->get_header_value("Cache-Control").find("immutable"), std::string::npos);
        EXPECT_EQ(client->Get(path + "0")->status, 409) << c.json;
    }
    EXPECT_EQ(gateway.Process().Signal(SIGTERM), 0);
}

TEST_F(GatewayHttp, SchedulesAndNoticesShowOverTheDesiredMessage) {
    m_setup.schedules = R"([{"signs": ["hall.b+"], "message": {"lines": ["Shift A"]},
        "days": ["mon", "tue", "wed", "thu", "fri", "sat", "sun"], "from": "00:00", "to": "00:00"}])";
    auto scheduled = m_signs[2].AcceptAndReadAsync();
    CGatewayProcess gateway(Setup());
    ASSERT_TRUE(gateway.Listening());
    EXPECT_EQ(scheduled.get(), BytesFor(m_setup.signs[2], R"({"lines": ["Shift A"]})"));
    const auto client = ClientOf(gateway.Port());
    const std::string desired = R"({"lines": ["Welcome"]})";
    const std::string notice = R"({"lines": ["Fire drill"], "effect": "blink"})";
    auto first = m_signs[0].AcceptAndReadAsync();
    ASSERT_EQ(client->Put(SignPath(kNames[0]) + "/message", desired, "application/json")->status,
              202);
    EXPECT_EQ(first.get(), BytesFor(m_setup.signs[0], desired));
    auto noticed = m_signs[0].AcceptAndReadAsync();
    const auto response =
        client->Post(SignPath(kNames[0]) + "/notify",
                     R"({"message": )" + notice + R"(, "seconds": 1})", "application/json");
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, 202) << response->body;
    EXPECT_EQ(JsonObjectOf(response->body)["showing"].toString(), "notice");
    EXPECT_EQ(noticed.get(), BytesFor(m_setup.signs[0], notice));
    auto back = m_signs[0].AcceptAndReadAsync();
    EXPECT_FALSE(gateway.Process().WaitForLine("notice over").empty());
    EXPECT_EQ(back.get(), BytesFor(m_setup.signs[0], desired));
    // A sign with nothing else to show is cleared when its notice ends.
    auto alone = m_signs[1].AcceptAndReadAsync();
    ASSERT_EQ(client
                  ->Post(SignPath(kNames[1]) + "/notify",
                         R"({"message": )" + notice + R"(, "seconds": 1})", "application/json")
                  ->status,
              202);
    EXPECT_EQ(alone.get(), BytesFor(m_setup.signs[1], notice));
    auto cleared = m_signs[1].AcceptAndReadAsync();
    EXPECT_EQ(cleared.get(),
              BytesFor(m_setup.signs[1], R"({"lines": [], "displayMode": "clear-home"})"));
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
        {R"({"http": "0.0.0.0:8080"})", 2, "\"tokenFile\" is needed"},
    };
    for (const Case& c : cases) {
        GatewaySetup setup;
        setup.signs.resize(2);
        setup.signs[0].name = "a";
        setup.signs[1].name = "b";
        setup.signs[1].gateway = "hall-a";
        setup.Write();
        const std::string config = setup.folder.Write("gateway.json", c.config);
        CChildProcess check(LUMIVEX_GATEWAY_PATH, {"--config", config, "--check"});
        EXPECT_FALSE(check.WaitForLine(c.line).empty()) << c.config;
        EXPECT_EQ(check.Wait(), c.exit) << c.config;
    }
}

}  // namespace
