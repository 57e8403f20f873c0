// The gateway's parts that need no network: names as file names and topic levels, its
// configuration, templates over formatted text, schedules and request messages.
#include <gtest/gtest.h>

#include "GatewayTestSupport.h"
#include "gateway/GatewayConfig.h"
#include "gateway/GatewayRequests.h"
#include "gateway/HomeAssistant.h"
#include "gateway/HttpAnswers.h"
#include "gateway/MessageTemplate.h"
#include "gateway/PanelFrames.h"
#include "gateway/SafeName.h"
#include "gateway/Schedules.h"

namespace {

TEST(SafeName, EveryNameIsOneSafeLevel) {
    struct Case {
        const char* name;
        const char* escaped;
    };
    const Case cases[] = {
        {"Line 3", "line%203"},
        {"dock-2_a", "dock-2_a"},
        {"a/b", "a%2Fb"},
        {"+#", "%2B%23"},
        {"..", "%2E%2E"},
        {".hidden", "%2Ehidden"},
        {"T\xC3\xBCr", "t%C3%BCr"},
        {"100%", "100%25"},
        {"LINE 3", "line%203"},
        {"Vars", "%76ars"},
        {"vars2", "vars2"},
        {"%76ars", "%2576ars"},
        {"ALL", "%61ll"},
        {"\xC3\x84rger", "%C3%A4rger"},
        {"\xC3\xA4RGER", "%C3%A4rger"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EscapeName(c.name), c.escaped) << c.name;
    }
    // What earlier versions named a sign's state by is still found.
    EXPECT_EQ(EarlierNamesOf("\xC3\x84rger"), std::vector<std::string>{"%C3%84rger"});
    EXPECT_EQ(EarlierNamesOf("All"), std::vector<std::string>{"all"});
    EXPECT_TRUE(EarlierNamesOf("Line 3").empty());
}

TEST(GatewayConfig, ReadsOrRefusesNamingTheField) {
    struct Case {
        const char* json;   // nullptr: no file
        const char* error;  // "" when it is accepted
        const char* host;
        uint16_t port;
        bool token;
    };
    const Case cases[] = {
        {nullptr, "no such file", "", 0, false},
        {R"({"name": "hall-b", "http": "127.0.0.5:9000"})", "", "127.0.0.5", 9000, false},
        {R"({"http": "0.0.0.0:8080"})", "\"tokenFile\" is needed", "", 0, false},
        {R"({"http": "0.0.0.0:8080", "tokenFile": "token"})", "", "0.0.0.0", 8080, true},
        {R"({"http": "0.0.0.0:8080", "tokenFile": "short"})", "of 16 characters", "", 0, false},
        {R"({"allowedHosts": "signs.plant"})", "\"allowedHosts\" must be", "", 0, false},
        {R"({"http": "localhost"})", "\"http\" must be", "", 0, false},
        {R"({"tokenFile": "absent"})", "\"tokenFile\": cannot read", "", 0, false},
        {R"({"mqtt": {"prefix": "x"}})", "\"mqtt.url\"", "", 0, false},
        {R"({"mqtt": {"url": "tcp://127.0.0.1:1", "prefix": "a/#"}})", "\"mqtt.prefix\"", "", 0,
         false},
        {R"({"mqtt": {"url": "tcp://127.0.0.1:1", "caFile": "token"}})",
         "need TLS: an ssl:// or mqtts:// url", "", 0, false},
        {R"({"mqtt": {"url": "ssl://127.0.0.1:1", "caFile": "absent"}})",
         "\"mqtt.caFile\": cannot read", "", 0, false},
        {R"({"mqtt": {"url": "mqtts://127.0.0.1:1", "certFile": "token"}})", "go together", "", 0,
         false},
        {R"({"mqtt": {"url": "ssl://h:1", "caFile": "token", "certFile": "token", "keyFile": "short"}})",
         "", "127.0.0.1", 8080, false},
        {R"({"port": 1})", "unknown field \"port\"", "", 0, false},
        {R"({"tokens": {"admin": "token", "viewer": "short"}, "readNeedsToken": true})", "",
         "127.0.0.1", 8080, true},
        {R"({"http": "0.0.0.0:1", "tokens": {"admin": "token", "viewer": "short"}})",
         "of 16 characters", "", 0, false},
        {R"({"tokenFile": "token", "tokens": {"admin": "token"}})", "both give the admin's", "", 0,
         false},
        {R"({"tokens": {"operator": "token", "viewer": "token"}})", "the same token", "", 0, false},
        {R"({"tokens": {"guest": "token"}})", "unknown role \"tokens.guest\"", "", 0, false},
        {R"({"readNeedsToken": true})", "\"readNeedsToken\" needs a token", "", 0, false},
        {R"({"tokenFile": "token", "readNeedsToken": "yes"})", "must be true or false", "", 0,
         false},
        {R"({"maxBodyKiB": 0})", "\"maxBodyKiB\" must be a whole number from 1", "", 0, false},
        {"[1]", "not a JSON object", "", 0, false},
    };
    // A cap of another size is named as it is.
    EXPECT_EQ(TooLarge(512 * 1024, "payload").text, "the payload is larger than 512 KiB");
    for (const Case& c : cases) {
        const CTempFolder folder;
        folder.Write("token", "s3cret-of-sixteen\n");
        folder.Write("short", "s3cret\n");
        const std::string path =
            c.json != nullptr ? folder.Write("gateway.json", c.json) : folder.Path() + "/none.json";
        try {
            const GatewayConfig config = LoadGatewayConfig(QString::fromStdString(path));
            EXPECT_STREQ(c.error, "") << c.json;
            EXPECT_EQ(config.httpHost, c.host);
            EXPECT_EQ(config.httpPort, c.port);
            EXPECT_EQ(config.token, c.token ? "s3cret-of-sixteen" : "");
            EXPECT_EQ(config.signsPath.toStdString(), folder.Path() + "/signs.json");
        } catch (const CGatewayConfigError& error) {
            EXPECT_NE(std::string(error.what()).find(c.error), std::string::npos)
                << (c.json ? c.json : "") << ": " << error.what();
            EXPECT_STRNE(c.error, "") << error.what();
        }
    }
}

TEST(GatewayConfig, TheDefaultsAreTakenOnlyWhenAskedFor) {
    const CTempFolder folder;
    const QString path = QString::fromStdString(folder.Path() + "/gateway.json");
    const GatewayConfig config = LoadGatewayConfig(path, true);
    EXPECT_EQ(config.httpHost + ":" + std::to_string(config.httpPort), "127.0.0.1:8080");
    EXPECT_THROW(LoadGatewayConfig(path), CGatewayConfigError);
}

TEST(GatewayConfig, EverySignHasOneDriverAndEveryRuleItsSigns) {
    struct Case {
        std::vector<NamedSign> signs;
        const char* rules;
        const char* error;  // "" when it fits
    };
    const Case cases[] = {
        {{TestSign("a", {"x"}), TestSign("b", {})}, R"([])", ""},
        {{TestSign("a", {}, "hall-b"), TestSign("b", {}, "hall-a")}, R"([])", ""},
        {{TestSign("a", {}, "hall-b"), TestSign("b", {}, "hall-a"), TestSign("c", {})},
         R"([])",
         "\"c\" names no gateway"},
        {{TestSign("a", {}, "hall-a")}, R"([])", "names the gateway \"hall-b\""},
        {{TestSign("a", {"x"})},
         R"([{"tag": "X", "message": "m.json", "days": ["mon"], "from": "06:00", "to": "07:00"}])",
         ""},
        {{TestSign("a", {"x"})},
         R"([{"tag": "y", "message": "m.json", "days": ["mon"], "from": "06:00", "to": "07:00"}])",
         "schedules[0].tag: no sign carries the tag \"y\""},
        {{TestSign("a", {})},
         R"([{"signs": ["A", "b"], "message": "m.json", "days": ["mon"], "from": "06:00", "to": "07:00"}])",
         "schedules[0].signs: there is no sign named \"b\""},
    };
    const CTempFolder folder;
    folder.Write("m.json", R"({"lines": ["x"]})");
    for (const Case& c : cases) {
        std::string error;
        try {
            CheckGatewaysOfSigns(c.signs, "hall-b");
            CheckScheduleTargets(ParseSchedules(c.rules, QString::fromStdString(folder.Path())),
                                 c.signs);
        } catch (const std::runtime_error& failure) {
            error = failure.what();
        }
        EXPECT_EQ(error.empty(), std::string(c.error).empty()) << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

TEST(GatewayConfig, DrivesItsOwnSignsAndThoseOfNoGateway) {
    std::vector<NamedSign> signs(4);
    signs[0].name = "a";
    signs[1].name = "b";
    signs[1].gateway = "Hall-B";
    signs[2].name = "c";
    signs[2].gateway = "hall-a";
    signs[3].name = "d";
    std::vector<std::string> names;
    for (const NamedSign& sign : SignsOfGateway(signs, "hall-b")) {
        names.push_back(sign.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "d"}));
}

TEST(MessageTemplate, FillsEachStretchKeepingItsLook) {
    const MessageDocument message = ParseMessageJson(
        R"({"lines": [[{"text": "Count {count}", "color": "green"},
                       {"text": " at {now:HH:mm} {gone}", "blink": true}], "{{plain}}"]})");
    const VariableValues values{{"count", "12\n"}};
    const LocalTime noon{std::chrono::seconds(12 * 3600 + 5 * 60)};
    const ExpandedMessage expanded = ExpandMessage(message, values, noon);
    ASSERT_EQ(expanded.message.lines.size(), 2u);
    EXPECT_EQ(LineText(expanded.message.lines[0]), "Count 12  at 12:05 --");
    EXPECT_EQ(LineText(expanded.message.lines[1]), "{plain}");
    EXPECT_EQ(expanded.message.lines[0][6].colour, kGreen);
    EXPECT_FALSE(expanded.message.lines[0][6].blink);
    EXPECT_TRUE(expanded.message.lines[0].back().blink);
    EXPECT_EQ(expanded.used, (std::set<std::string>{"count", "gone"}));
    EXPECT_EQ(expanded.missing, (std::set<std::string>{"gone"}));
    EXPECT_TRUE(expanded.usesClock);
}

TEST(Schedules, RulesReadOrNameTheirField) {
    const CTempFolder folder;
    folder.Write("shift.json", R"({"lines": ["Shift A"]})");
    struct Case {
        const char* json;
        const char* error;  // "" when accepted
    };
    const Case cases[] = {
        {R"([{"tag": "hall", "message": "shift.json", "days": ["mon"], "from": "06:00",
              "to": "14:00"}])",
         ""},
        {R"([{"message": {}, "days": ["mon"], "from": "06:00", "to": "07:00"}])",
         "schedules[0].signs"},
        {R"([{"tag": "t", "message": {}, "days": ["mon"], "from": "6", "to": "07:00"}])",
         "schedules[0].from"},
        {R"([{"tag": "t", "message": "absent.json", "days": ["mon"], "from": "06:00",
              "to": "07:00"}])",
         "schedules[0].message"},
        {R"([{"tag": "t", "message": {"effect": "wobble"}, "days": ["mon"], "from": "06:00",
              "to": "07:00"}])",
         "schedules[0].message"},
        {R"({"tag": "t"})", "schedules: must be a list"},
    };
    for (const Case& c : cases) {
        try {
            const GatewaySchedules schedules =
                ParseSchedules(c.json, QString::fromStdString(folder.Path()));
            EXPECT_STREQ(c.error, "") << c.json;
            ASSERT_EQ(schedules.messages.size(), 1u);
            EXPECT_EQ(schedules.rules.size(), 1u);
        } catch (const CScheduleError& error) {
            EXPECT_STRNE(c.error, "") << error.what();
            EXPECT_EQ(std::string(error.what()).rfind(c.error, 0), 0u) << error.what();
        }
    }
}

TEST(GatewayRequests, MessagesAreRefusedInTheCliWordsWithTheField) {
    struct Case {
        const char* json;
        const char* field;
    };
    const Case cases[] = {
        {R"({"effect": "wobble"})", "message.effect"},
        {R"({"lines": [5]})", "message.lines[0]"},
        {"{", "message"},
        {R"({"position": "start", "line": 9, "column": 1})", "message.line"},
    };
    for (const Case& c : cases) {
        const auto result = ReadRequestMessage(c.json, "message");
        ASSERT_FALSE(result.Ok()) << c.json;
        const GatewayResult& error = result.Failure();
        EXPECT_EQ(error.kind, ResultKind::kRefused);
        EXPECT_EQ(error.field, c.field) << error.text;
        if (std::string(c.field) != "message.line") {
            try {
                ParseMessageJson(c.json);
                ADD_FAILURE() << c.json;
            } catch (const CMessageFileError& cli) {
                EXPECT_EQ(error.text, cli.what());
            }
        }
    }
}

TEST(GatewayRequests, ASetPayloadIsAMessageOnlyAsAnObjectWithLines) {
    struct Case {
        std::string payload;
        const char* text;  // the message's words, or the refused field
        bool refused;
        uint64_t version;  // of the stamp beside it; 0: none
    };
    const Case cases[] = {
        {"Press 4 stopped", "Press 4 stopped", false, 0},
        {"{count} OF 400 DONE", "{count} OF 400 DONE", false, 0},
        {R"({"effect": "blink"})", R"({"effect": "blink"})", false, 0},
        {R"(["a"])", R"(["a"])", false, 0},
        {R"({"lines": ["GO"], "effect": "blink"})", "GO", false, 0},
        {R"({"lines": ["GO"], "version": 42, "by": "hall-a", "origin": "broker"})", "GO", false,
         42},
        {R"({"lines": ["GO"], "effect": "wobble"})", "effect", true, 0},
        {R"({"play": [{"message": {"lines": ["ONE"]}, "seconds": 5}, {"name": "shift-a"}]})", "ONE",
         false, 0},
        {R"({"play": []})", "play", true, 0},
        {R"({"play": [{"message": {"lines": ["A"]}}, {"seconds": 5}]})", "play[1]", true, 0},
        {R"({"play": [{"name": "a", "seconds": 0.5}]})", "play[0].seconds", true, 0},
        {R"({"play": [{"message": {"lines": ["A"], "effect": "wobble"}}]})",
         "play[0].message.effect", true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.payload);
        const Result<SetPayload> set = ReadSetPayload(c.payload);
        ASSERT_EQ(!set.Ok(), c.refused) << c.payload;
        if (!set.Ok()) {
            EXPECT_EQ(set.Failure().field, c.text);
            continue;
        }
        EXPECT_EQ(ShownText(set.Value().play.front().message).toStdString(), c.text);
        EXPECT_EQ(set.Value().stamp ? set.Value().stamp->version : 0, c.version) << c.payload;
    }
    // What a gateway publishes reads back as it was.
    const Stamp stamp{7, GatewayTime(std::chrono::milliseconds(5)), "hall-b", Origin::kBroker};
    const MessageDocument message = ParseMessageJson(R"({"lines": [[{"text": "A", "size": 2}]]})");
    const Result<SetPayload> back = ReadSetPayload(SetPayloadJson(OneMessage(message), stamp));
    ASSERT_TRUE(back.Ok());
    EXPECT_TRUE(back.Value().play == OneMessage(message));
    EXPECT_EQ(back.Value().stamp, stamp);
    const Playlist play{{message, "shift-a", std::chrono::seconds(3)},
                        {message, "", kDefaultPlaySeconds}};
    EXPECT_TRUE(ReadSetPayload(SetPayloadJson(play, stamp)).Value().play == play);
    // Signed with the key two gateways share, and known from one signed otherwise or changed.
    const std::string key = "a-key-of-16-chars";
    std::string forwarded = SetPayloadJson(OneMessage(message), stamp, key);
    EXPECT_TRUE(SignedWith(ReadSetPayload(forwarded).Value(), key));
    EXPECT_FALSE(SignedWith(ReadSetPayload(forwarded).Value(), "another-key-of-16"));
    EXPECT_FALSE(SignedWith(back.Value(), key));
    forwarded.replace(forwarded.find("\"version\":7"), 11, "\"version\":8");
    EXPECT_FALSE(SignedWith(ReadSetPayload(forwarded).Value(), key));
}

TEST(HomeAssistant, EntitiesAreNamedByTheirDeviceAndKeepTheirIdsWhenASignMoves) {
    NamedSign sign;
    sign.name = "Line 3";
    sign.signModel = 12;
    const DiscoveryContext here{"hall-b", "plant", "plant/gateway/hall-b/status",
                                "http://127.0.0.1:8080/", "1.2"};
    const std::vector<MqttPublication> entries = SignDiscovery(sign, here);
    ASSERT_EQ(entries.size(), 5u);
    const QJsonObject text = JsonObjectOf(entries[0].payload);
    const QJsonObject problem = JsonObjectOf(entries[1].payload);
    const QJsonObject notice = JsonObjectOf(entries[2].payload);
    struct Field {
        size_t entry;
        const char* field;
        QJsonValue value;
    };
    const Field fields[] = {
        {0, "name", QJsonValue::Null},
        {0, "unique_id", "lumivex_line_203_text"},
        {0, "command_topic", "plant/line%203/text/set"},
        {2, "name", QJsonValue::Null},
        {2, "unique_id", "lumivex_line_203_notify"},
        {2, "command_topic", "plant/line%203/notify"},
        // Home Assistant's message as the notify topic takes it: one line, the usual seconds.
        {2, "command_template", R"({"message": {"lines": [{{ value | tojson }}]}})"},
        {2, "availability_topic", "plant/gateway/hall-b/status"},
        // The gateway's status says who holds its name besides whether it is online.
        {0, "availability_template", "{{ value_json.state }}"},
        {2, "availability_template", "{{ value_json.state }}"},
        // The alert on as a sensor, and a button that clears every alert of the sign.
        {3, "unique_id", "lumivex_line_203_alert"},
        {3, "state_topic", "plant/line%203/state"},
        {4, "unique_id", "lumivex_line_203_clear_alerts"},
        {4, "command_topic", "plant/line%203/alerts/clear"},
    };
    for (const Field& f : fields) {
        EXPECT_EQ(JsonObjectOf(entries[f.entry].payload)[f.field], f.value)
            << entries[f.entry].topic << " " << f.field;
    }
    EXPECT_EQ(entries[1].topic, "homeassistant/binary_sensor/lumivex_line_203/config");
    EXPECT_EQ(entries[2].topic, "homeassistant/notify/lumivex_line_203/config");
    EXPECT_EQ(entries[4].topic, "homeassistant/button/lumivex_line_203/config");
    EXPECT_FALSE(entries[2].payload.find("retain") != std::string::npos);  // a notice is momentary
    const QJsonObject device = text["device"].toObject();
    EXPECT_EQ(device["model"], "Tricolor 4 Line 20 Char");
    EXPECT_EQ(device, problem["device"].toObject());
    EXPECT_EQ(device, notice["device"].toObject());
    EXPECT_EQ(notice["origin"], text["origin"]);
    // Moved to another gateway, the sign keeps its ids.
    DiscoveryContext there = here;
    there.gateway = "hall-a";
    EXPECT_EQ(JsonObjectOf(SignDiscovery(sign, there)[0].payload)["unique_id"], text["unique_id"]);
    // A gateway removes its own entries of signs it no longer drives, and no other gateway's.
    struct Case {
        std::string topic;
        std::string payload;
        std::vector<std::string> driven;
        bool stale;
    };
    const Case cases[] = {
        {entries[0].topic, entries[0].payload, {"line 3"}, false},
        {entries[0].topic, entries[0].payload, {}, true},
        {entries[2].topic, entries[2].payload, {}, true},
        {entries[0].topic, SignDiscovery(sign, there)[0].payload, {}, false},
        {"homeassistant/sensor/lumivex_hall-b_line_203/config", R"({"device": {}})", {}, true},
        {entries[0].topic, "", {}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsStaleDiscoveryEntry(c.topic, c.payload, "hall-b", c.driven), c.stale)
            << c.topic << " " << c.payload;
    }
}

TEST(GatewayRequests, TheFirstLinesTextIsReplacedKeepingItsLookAndTheRest) {
    const MessageDocument message = ParseMessageJson(
        R"({"lines": [[{"text": "OLD", "color": "green", "size": 2}], "SECOND"], "effect": "scroll"})");
    const MessageDocument changed = WithFirstLineText(message, "NEW TEXT");
    EXPECT_EQ(WriteMessageJson(changed, {.indented = false, .everyChoice = false}),
              WriteMessageJson(ParseMessageJson(R"({"lines": [[{"text": "NEW TEXT",
                  "color": "green", "size": 2}], "SECOND"], "effect": "scroll"})"),
                               {.indented = false, .everyChoice = false}));
    EXPECT_EQ(ShownText(WithFirstLineText(MessageDocument{}, "HELLO")), "HELLO");
}

}  // namespace
