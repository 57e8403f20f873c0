// The HTTP API in process, on a port of its own: every route's answers by status, and what a
// change does to the state.
#include <gtest/gtest.h>
#include <httplib.h>

#include <QImage>
#include <set>

#include "CoreFixture.h"
#include "GatewayTestSupport.h"
#include "gateway/CDashboard.h"
#include "gateway/CHttpApi.h"
#include "gateway/GatewayRequests.h"
#include "gateway/PanelFrames.h"
#include "gateway/SignPresenter.h"
#include "preview/FrameSequence.h"
#include "preview/SignModel.h"
#include "render/FramePainter.h"

namespace {

class HttpRoutes : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_fixture.core->Start());
        m_api = std::make_unique<CHttpApi>(*m_fixture.core);
        std::string error;
        ASSERT_TRUE(m_api->Listen(error)) << error;
    }

    httplib::Result Request(const std::string& method, const std::string& path,
                            const std::string& body = {}, bool token = true,
                            const httplib::Headers& headers = {},
                            const char* type = "application/json") {
        return OffThread([&] {
            const auto client = ClientOf(m_api->Port(), token);
            return method == "PUT"    ? client->Put(path, headers, body, type)
                   : method == "POST" ? client->Post(path, headers, body, type)
                   : method == "GET"  ? client->Get(path, headers)
                   : body.empty()     ? client->Delete(path, headers)
                                      : client->Delete(path, headers, body, type);
        });
    }

    CCoreFixture m_fixture{kTestToken};
    std::unique_ptr<CHttpApi> m_api;
};

TEST_F(HttpRoutes, EachRequestGetsItsStatusAndRefusalsChangeNothing) {
    struct Case {
        const char* method;
        std::string path;
        std::string body;
        bool token;
        int status;
        const char* field;  // of an error; "" when it names none
        httplib::Headers headers = {};
        const char* type = "application/json";
    };
    const std::string a = SignPath("A");
    const std::string own = "127.0.0.1:" + std::to_string(m_api->Port());
    const std::string pwned = R"({"lines": ["PWNED"]})";
    const std::string all = R"({"all": true, "message": {"lines": ["PWNED"]}})";
    const char* form = "application/x-www-form-urlencoded";
    const std::vector<Case> cases = {
        // Another site's page, or a name of another site rebound to this address.
        {"POST", "/api/send", all, true, 415, "Content-Type", {}, "text/plain"},
        {"POST", "/api/send", "all=true", true, 415, "Content-Type", {}, form},
        {"PUT", a + "/message", pwned, true, 403, "Origin", {{"Origin", "http://evil.example"}}},
        {"PUT", a + "/message", pwned, true, 403, "Origin", {{"Origin", "null"}}},
        {"GET", "/api/signs", "", true, 403, "Host", {{"Host", "evil.example:" + own.substr(10)}}},
        {"PUT", a + "/message", "{\"lines\": [", true, 400, "message"},
        {"PUT", a + "/message", R"({"play": [{"seconds": 5}]})", true, 400, "play[0]"},
        {"PUT", a + "/message", R"({"play": [{"name": "nowhere"}]})", true, 404, "name"},
        {"PUT", SignPath("Nowhere") + "/message", R"({"lines": ["x"]})", true, 404, "name"},
        {"PUT", SignPath("C") + "/message", R"({"lines": ["x"]})", true, 404, "name"},
        {"PUT", a + "/message", std::string(2 * 1024 * 1024, ' '), true, 413, ""},
        {"PUT", a + "/message",
         R"({"lines": [")" + std::string(kMaxMessageText, 'x') + R"(", ""]})", true, 400, "lines"},
        {"PUT", "/api/vars/now", R"({"value": "1"})", true, 400, "var"},
        {"PUT", "/api/vars/count", R"({"value": 1})", true, 400, "value"},
        {"POST", "/api/send", R"({"signs": ["Nowhere"], "message": {}})", true, 404, "signs"},
        {"POST", "/api/send", R"({"tag": "paint", "message": {}})", true, 404, "tag"},
        {"POST", "/api/send", R"({"tag": "a", "all": true, "message": {}})", true, 400, "signs"},
        {"POST", "/api/send", R"({"all": true})", true, 400, "message"},
        {"POST", a + "/notify", R"({"message": {}, "seconds": 0})", true, 400, "seconds"},
        {"POST", SignPath("C") + "/notify", R"({"message": {}})", true, 404, "name"},
        {"GET", a + "/preview.png?frame=0", "", true, 400, "frame"},
        {"GET", a + "/preview.png?of=delivered", "", true, 404, "message"},
        {"GET", a + "/preview.png", "", true, 404, "message"},
        {"GET", SignPath("Nowhere"), "", true, 404, "name"},
        {"GET", "/etc/passwd", "", true, 404, ""},
        {"DELETE", a, "", true, 404, ""},
        {"DELETE", "/api/vars/nothing", "", true, 404, "var"},
    };
    for (const Case& c : cases) {
        const auto response = Request(c.method, c.path, c.body, c.token, c.headers, c.type);
        ASSERT_TRUE(response) << c.method << " " << c.path;
        EXPECT_EQ(response->status, c.status)
            << c.method << " " << c.path << ": " << response->body;
        const QJsonObject error = JsonObjectOf(response->body);
        EXPECT_FALSE(error["error"].toString().isEmpty()) << c.path << ": " << response->body;
        EXPECT_EQ(error["field"].toString().toStdString(), c.field) << response->body;
    }
    EXPECT_TRUE(m_fixture.sender.sent.empty());
    for (const SignState& state : m_fixture.core->Director().Signs()) {
        EXPECT_FALSE(state.desired) << state.sign.name;
    }
    EXPECT_EQ(Request("GET", "/healthz")->status, 200);
    // The page's own writes name it as their origin.
    EXPECT_EQ(
        Request("PUT", a + "/message", R"({"lines": ["OK"]})", true, {{"Origin", "http://" + own}})
            ->status,
        202);
    EXPECT_EQ(Request("GET", "/api/signs")->get_header_value("Cache-Control"), "no-store");
}

// A token guessed at: after ten wrong ones in a minute the client is refused, whatever it sends,
// while reads go on.
TEST_F(HttpRoutes, ATokenCannotBeGuessedAtTheNetworksSpeed) {
    std::vector<int> statuses;
    for (size_t i = 0; i <= CTokenGuesses::kMaxFailures; ++i) {
        statuses.push_back(
            Request("PUT", SignPath("A") + "/message", R"({"lines": ["x"]})", false)->status);
    }
    statuses.push_back(Request("PUT", SignPath("A") + "/message", R"({"lines": ["x"]})")->status);
    statuses.push_back(Request("GET", "/api/signs")->status);
    std::vector<int> expected(CTokenGuesses::kMaxFailures, 401);
    expected.insert(expected.end(), {429, 429, 200});
    EXPECT_EQ(statuses, expected);
}

// A gateway of three roles whose reads need a token too.
class HttpRoles : public HttpRoutes {
protected:
    void SetUp() override {
        m_fixture.adjust = [](GatewayConfig& config) {
            config.operatorToken = kOperator;
            config.viewerToken = kViewer;
            config.readNeedsToken = true;
        };
        m_fixture.Make(kTestToken);
        HttpRoutes::SetUp();
    }
    httplib::Result As(const char* token, const std::string& method, const std::string& path,
                       const std::string& body = {}, httplib::Headers headers = {}) {
        if (token != nullptr) {
            headers.emplace("Authorization", std::string("Bearer ") + token);
        }
        return Request(method, path, body, false, headers);
    }
    static constexpr const char* kOperator = "operator-s3cret-of-test";
    static constexpr const char* kViewer = "viewer-s3cret-of-test";
};

TEST_F(HttpRoles, EachRoleDoesWhatItMayAndEveryWriteIsAudited) {
    struct Case {
        const char* token;  // nullptr: none
        const char* method;
        std::string path;
        std::string body;
        int status;
    };
    const std::string a = SignPath("A");
    const std::vector<Case> cases = {
        {nullptr, "GET", "/healthz", "", 200},
        {nullptr, "GET", "/api/signs", "", 401},
        {kViewer, "GET", "/api/signs", "", 200},
        {kViewer, "PUT", a + "/message", R"({"lines": ["VIEWED"]})", 403},
        {kViewer, "GET", "/api/audit", "", 403},
        {kOperator, "PUT", a + "/message", R"({"lines": ["HELLO"]})", 202},
        {kOperator, "PUT", "/api/vars/count", R"({"value": "7"})", 204},
        {kOperator, "PUT", "/api/messages/welcome", R"({"lines": ["x"]})", 403},
        {kTestToken, "PUT", "/api/messages/welcome", R"({"lines": ["x"]})", 204},
        {"not-a-token", "GET", "/api/signs", "", 401},
    };
    for (const Case& c : cases) {
        const auto response = As(c.token, c.method, c.path, c.body);
        ASSERT_TRUE(response) << c.method << " " << c.path;
        EXPECT_EQ(response->status, c.status) << (c.token ? c.token : "none") << " " << c.method
                                              << " " << c.path << ": " << response->body;
    }
    EXPECT_EQ(JsonObjectOf(As(kViewer, "PUT", a + "/message", "{}")->body)["error"],
              "this needs the operator's token or a higher role's; the token given is a "
              "viewer's");
    const auto audit = As(kOperator, "GET", "/api/audit");
    ASSERT_EQ(audit->status, 200) << audit->body;
    const QJsonArray entries =
        QJsonDocument::fromJson(QByteArray::fromStdString(audit->body)).array();
    std::vector<std::string> seen;
    for (const QJsonValue& entry : entries) {
        const QJsonObject e = entry.toObject();
        EXPECT_EQ(e["source"], "127.0.0.1");
        EXPECT_EQ(e["origin"], "api");
        seen.push_back((e["role"].toString() + " " + e["action"].toString() + " " +
                        e["target"].toString() + " " + e["summary"].toString() + " " +
                        e["outcome"].toString().left(3))
                           .toStdString());
    }
    // Refused before its route, a write is recorded without what it would have written.
    const std::vector<std::string> expected = {
        "viewer PUT /api/signs/A/message   403",
        "operator PUT /api/signs/A/message A {\"lines\":[\"HELLO\"]} 202",
        "operator PUT /api/vars/count count {\"value\":\"7\"} 204",
        "operator PUT /api/messages/welcome   403",
        "admin PUT /api/messages/welcome welcome {\"lines\":[\"x\"]} 204",
        "viewer PUT /api/signs/A/message   403",
    };
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(As(kOperator, "GET", "/api/audit?since=2026-12-07T10:00:01Z")->body, "[]");
    EXPECT_EQ(As(kOperator, "GET", "/api/audit?since=yesterday")->status, 400);
}

// A browser's event stream and pictures carry no header: the page trades its token for a pass
// that lets them read, and nothing more.
TEST_F(HttpRoles, ThePagesPassReadsButNeverWrites) {
    const auto session = As(kViewer, "GET", "/api/session");
    ASSERT_EQ(session->status, 200);
    EXPECT_EQ(JsonObjectOf(session->body)["role"], "viewer");
    EXPECT_EQ(JsonObjectOf(session->body)["readNeedsToken"], true);
    const std::string cookie = session->get_header_value("Set-Cookie");
    ASSERT_EQ(cookie.rfind("lumivex-pass=", 0), 0u) << cookie;
    const httplib::Headers pass = {{"Cookie", cookie.substr(0, cookie.find(';'))}};
    EXPECT_EQ(As(nullptr, "GET", "/api/signs", "", pass)->status, 200);
    EXPECT_EQ(As(nullptr, "GET", "/api/audit", "", pass)->status, 401);
    EXPECT_EQ(As(nullptr, "PUT", SignPath("A") + "/message", R"({"lines": ["x"]})", pass)->status,
              401);
    EXPECT_EQ(As("not-a-token", "GET", "/api/session")->status, 401);
    EXPECT_EQ(As(nullptr, "GET", "/api/session")->status, 401);
}

// However the body comes (with its length, in chunks or until the client closes), no more than
// the cap is ever read.
TEST_F(HttpRoutes, ABodyAboveTheCapIsRefusedWhileItIsRead) {
    const std::string json = R"({"lines": [")" + std::string(1100 * 1024, 'x') + R"("]})";
    const auto chunked = OffThread([&] {
        return ClientOf(m_api->Port())
            ->Put(
                SignPath("A") + "/message",
                [&](size_t offset, httplib::DataSink& sink) {
                    const size_t piece = std::min<size_t>(64 * 1024, json.size() - offset);
                    sink.write(json.data() + offset, piece);
                    if (offset + piece == json.size()) {
                        sink.done();
                    }
                    return true;
                },
                "application/json");
    });
    ASSERT_TRUE(chunked);
    EXPECT_EQ(chunked->status, 413);
    EXPECT_EQ(JsonObjectOf(chunked->body)["error"], "the body is larger than 1 MiB");
    EXPECT_FALSE(m_fixture.core->Director().Find("A")->desired);
    const auto form = Request("DELETE", "/api/vars/count", "v=" + std::string(9000, 'x'), true, {},
                              "application/x-www-form-urlencoded");
    EXPECT_EQ(JsonObjectOf(form->body)["error"], "a form-encoded body is larger than 8 KiB");
}

TEST_F(HttpRoutes, ChangesAreAnsweredWithTheSignsStateOnceKept) {
    struct Case {
        const char* method;
        std::string path;
        std::string body;
        int status;
        const char* sent;  // to sign A, or "" when nothing is
    };
    const std::string a = SignPath("a");
    const std::vector<Case> cases = {
        {"PUT", a + "/message", R"({"lines": ["{count} PARTS"]})", 202, "-- PARTS"},
        {"PUT", "/api/vars/count", R"({"value": "412"})", 204, "412 PARTS"},
        {"POST", a + "/notify", R"({"message": {"lines": ["BREAK"]}, "seconds": 5})", 202, "BREAK"},
        {"PUT", a + "/alerts/press4", R"({"message": {"lines": ["PRESS 4"]}, "priority": 1})", 202,
         "PRESS 4"},
        // The alert still shows over the new desired message.
        {"POST", "/api/send", R"({"tag": "HALL", "message": {"lines": ["GO"]}})", 202, "PRESS 4"},
        {"DELETE", a + "/alerts/press4", "", 202, "BREAK"},
        {"PUT", "/api/alerts/drill", R"({"tag": "hall", "message": {"lines": ["DRILL"]}})", 202,
         ""},
        {"PUT", a + "/alerts/bad", R"({"message": {"lines": ["X"]}, "priority": 0})", 400, ""},
        {"GET", "/api/alerts", "", 200, ""},
        {"GET", "/api/signs", "", 200, ""},
        {"GET", "/api/vars", "", 200, ""},
        {"GET", a, "", 200, ""},
    };
    for (const Case& c : cases) {
        const auto response = Request(c.method, c.path, c.body);
        ASSERT_TRUE(response) << c.path;
        EXPECT_EQ(response->status, c.status) << c.path << ": " << response->body;
        EXPECT_EQ(m_fixture.sender.End("A"), c.sent) << c.path;
    }
    // More than the sign holds is kept and sent, and the state says what it leaves out.
    const QJsonObject tooLong = JsonObjectOf(
        Request("PUT", SignPath("B") + "/message", R"({"lines": ["ONE", "TWO"]})")->body);
    EXPECT_EQ(tooLong["leftOut"], "line 2 left out: line 2 needs 2 of the sign's 1 line");
    // A playlist: its first entry at once, and the state says which is on.
    const QJsonObject played = JsonObjectOf(
        Request("PUT", SignPath("B") + "/message",
                R"({"play": [{"message": {"lines": ["ONE"]}}, {"message": {"lines": ["TWO"]}}]})")
            ->body);
    EXPECT_EQ(played["playing"].toObject()["entry"], 1);
    EXPECT_EQ(played["playing"].toObject()["of"], 2);
    EXPECT_EQ(JsonObjectOf(Request("GET", "/api/vars")->body), (QJsonObject{{"count", "412"}}));
    EXPECT_EQ(Request("DELETE", "/api/vars/count")->status, 204);
    EXPECT_EQ(JsonObjectOf(Request("GET", "/api/vars")->body), QJsonObject());
    const QJsonObject sign = JsonObjectOf(Request("GET", a)->body);
    EXPECT_EQ(sign["name"], "A");
    EXPECT_EQ(sign["showing"], "alert");
    EXPECT_EQ(sign["alert"].toObject()["key"], "notice-1");
    EXPECT_EQ(sign["alerts"].toArray().size(), 2);
    // Every alert of the gateway, oldest first.
    QStringList alerts;
    for (const QJsonValue alert : JsonArrayOf(Request("GET", "/api/alerts")->body)) {
        alerts.append(alert["sign"].toString() + "/" + alert["key"].toString() + "/" +
                      alert["text"].toString());
    }
    EXPECT_EQ(alerts.join(", ").toStdString(), "A/notice-1/BREAK, A/drill/DRILL");
    EXPECT_EQ(Request("DELETE", "/api/alerts/drill")->status, 202);
    EXPECT_TRUE(JsonArrayOf(Request("GET", "/api/alerts")->body).size() == 1);
    EXPECT_EQ(sign["desired"].toObject()["lines"], QJsonArray{"GO"});
    EXPECT_EQ(sign["desiredSetAt"], "2026-12-07T10:00:00.000Z");
    EXPECT_EQ(sign["waitingFor"], "nothing");
    // A failed send shows in the state and the metrics.
    m_fixture.clock.Advance(std::chrono::seconds(5));
    m_fixture.sender.End("A", false);
    const QJsonObject failed = JsonObjectOf(Request("GET", a)->body);
    EXPECT_EQ(failed["waitingFor"], "retry");
    EXPECT_EQ(failed["nextTryAt"], "2026-12-07T10:00:06.000Z");
    EXPECT_FALSE(failed["lastOutcome"].toObject()["delivered"].toBool());
    // What the sign last took stays in the state, and its picture is drawn beside the waiting one.
    EXPECT_EQ(failed["delivered"].toObject()["lines"], QJsonArray{"BREAK"});
    const SignState& state = *m_fixture.core->Director().Find("A");
    const QJsonObject card =
        CardJson(m_fixture.core->SignJson(state), {m_fixture.core->Director().Shown(state), 1},
                 {state.delivered, 1});
    const std::string took = card["deliveredPanel"].toObject()["version"].toString().toStdString();
    EXPECT_NE(took, card["panelVersion"].toString().toStdString());
    const auto picture = Request("GET", a + "/preview.png?of=delivered&v=" + took);
    EXPECT_EQ(picture->body, PngOfFrame(*state.delivered, 1).toStdString());
    const std::string metrics = Request("GET", "/metrics")->body;
    for (const char* line : {
             "lumivex_gateway_sends_total{sign=\"A\",outcome=\"failed\"} 1",
             "lumivex_sign_up{sign=\"A\"} 0",
             "lumivex_sign_up{sign=\"B\"} 0",
             "lumivex_sign_last_success_timestamp_seconds{sign=\"A\"} 1796637600.000",
             "lumivex_signs{state=\"failing\"} 1",
             "lumivex_broker_connected 0",
         }) {
        EXPECT_NE(metrics.find(line), std::string::npos) << line << "\n" << metrics;
    }
}

// The page's header lists every gateway heard on the broker with its status.
TEST_F(HttpRoutes, TheGatewaysOnTheBrokerAreListed) {
    struct Arrival {
        const char* leaf;  // below <prefix>/gateway/
        const char* payload;
        std::optional<GatewayTime> since;  // none: kept by the broker
        bool status;
    };
    const GatewayTime now = m_fixture.clock.Now();
    const std::vector<Arrival> arrivals = {
        {"hall-a/status", "online", std::nullopt, true},
        {"hall%20c/status", "online", std::nullopt, true},
        {"hall%20c/status", "offline", now, true},
        // Said again: it has been so since the first time.
        {"hall%20c/status", "offline", now + std::chrono::hours(1), true},
        {"gone/status", "online", std::nullopt, true},
        {"gone/status", "", std::nullopt, true},
        {"/status", "online", std::nullopt, false},
        {"hall-a/state", "offline", now, false},
    };
    for (const Arrival& arrival : arrivals) {
        EXPECT_EQ(m_fixture.core->Others().TakeStatus(arrival.leaf, arrival.payload, arrival.since),
                  arrival.status)
            << arrival.leaf;
    }
    const QJsonArray expected = {
        QJsonObject{{"name", "hall c"}, {"online", false}, {"since", "2026-12-07T10:00:00.000Z"}},
        QJsonObject{{"name", "hall-a"}, {"online", true}, {"since", QJsonValue()}},
    };
    EXPECT_EQ(
        QJsonDocument::fromJson(QByteArray::fromStdString(Request("GET", "/api/gateways")->body))
            .array(),
        expected);
}

TEST_F(HttpRoutes, PreviewFramesAreThePanelsAndKeptUnderTheirVersion) {
    const std::string json = R"({"lines": ["Stoppage at press 4"], "effect": "scroll"})";
    ASSERT_EQ(Request("PUT", SignPath("A") + "/message", json)->status, 202);
    const MessageDocument shown = m_fixture.core->ShownAnywhere("A").Value();
    const std::string path = SignPath("A") + "/preview.png?frame=3&v=";
    const auto kept = Request("GET", path + PanelVersion(shown));
    EXPECT_EQ(kept->body, PngOfFrame(shown, 3).toStdString());
    EXPECT_NE(kept->get_header_value("Cache-Control").find("immutable"), std::string::npos);
    EXPECT_EQ(Request("GET", path + "0")->status, 409);
}

TEST(PanelFrames, EachFrameIsThePreviewsStepFoundInItsCycle) {
    struct Case {
        std::string json;
        int64_t fewest;  // frames that differ from the first, at least
    };
    const Case cases[] = {
        {R"({"lines": [[{"text": "Go", "blink": true}]], "signModel": 1})", 1},
        {R"({"lines": ["Stoppage at press 4"], "effect": "scroll", "signModel": 3})", 10},
        {R"({"lines": ["Stoppage at press 4"], "effect": "scroll-once"})", 10},
        {R"({"lines": ["LINE 8 OK"], "signModel": 4})", 0},  // 40 characters, all drawn
    };
    CPanelCache cache(64 * 1024);  // small: messages are let go as others come
    for (const Case& c : cases) {
        const MessageDocument message = ParseMessageJson(c.json);
        const int32_t model = message.settings.signModel;
        const int64_t frames = FramesOf(message);
        ASSERT_GE(frames, 1) << c.json;
        // Every frame, past the first cycle too, as stepping the preview that far draws it.
        FrameSequence sequence;
        std::set<QByteArray> differ;
        for (int64_t n = 1; n <= frames + 3; ++n) {
            const QImage expected =
                PaintFrame(sequence.StepWholeSign(message.lines, message.settings, model),
                           GetWholeSignArea(model));
            const QByteArray png = PngOfFrame(message, n);
            // Decoded by Qt's own PNG reader: the pixels the preview window paints.
            EXPECT_EQ(QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB32), expected)
                << c.json << " frame " << n;
            EXPECT_EQ(cache.Png(message, PanelVersion(message), n), png)
                << c.json << " frame " << n;
            differ.insert(png);
        }
        EXPECT_GE(static_cast<int64_t>(differ.size()) - 1, c.fewest) << c.json;
    }
}

TEST(GatewayCore, ASecondGatewayOnTheSameFolderOrPortIsRefusedWithTheReason) {
    const uint16_t port = FreeLoopbackPort();
    CCoreFixture first({}, port);
    ASSERT_FALSE(first.core->Start());
    const GatewayConfig& config = first.core->Config();
    CGatewayCore sameFolder(config, {TestSign("A")}, {}, first.clock, first.sender);
    EXPECT_EQ(sameFolder.Start().value_or(""), "the state folder " + config.stateDir.toStdString() +
                                                   " is in use by process " +
                                                   std::to_string(getpid()));

    CCoreFixture second({}, port);
    ASSERT_FALSE(second.core->Start());
    CHttpApi listening(*first.core);
    CHttpApi refused(*second.core);
    std::string error;
    ASSERT_TRUE(listening.Listen(error)) << error;
    EXPECT_FALSE(refused.Listen(error));
    EXPECT_EQ(error,
              "cannot listen at 127.0.0.1:" + std::to_string(port) + ": Address already in use");
}

// Pages hold a thread of the server each: a client gets a few, and a new one takes the place of
// its oldest, which ends.
TEST_F(HttpRoutes, AClientsNewestPagesFollowAndItsOldestIsLetGo) {
    constexpr int kPages = kMaxEventStreamsAClient + 1;
    std::vector<std::future<void>> pages;
    std::vector<std::shared_ptr<std::atomic<bool>>> started;
    for (int i = 0; i < kPages; ++i) {
        auto first = std::make_shared<std::atomic<bool>>(false);
        started.push_back(first);
        pages.push_back(std::async(std::launch::async, [this, first] {
            ClientOf(m_api->Port(), false)->Get("/api/events", [&](const char*, size_t) {
                *first = true;
                return true;  // until the gateway ends the stream
            });
        }));
        ASSERT_TRUE(PumpUntil([&] { return first->load(); }));
    }
    ASSERT_TRUE(PumpUntil([&] {
        return pages.front().wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    }));
    for (size_t i = 1; i < pages.size(); ++i) {
        EXPECT_EQ(pages[i].wait_for(std::chrono::seconds(0)), std::future_status::timeout) << i;
    }
    m_api.reset();  // ends the others
    for (auto& page : pages) {
        page.get();
    }
}

}  // namespace
