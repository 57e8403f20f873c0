// The desktop's and lumivex-cli's client of the library, against a gateway's core and API in
// process: what each request does there and the words of each failure.
#include <gtest/gtest.h>

#include "CoreFixture.h"
#include "GatewayTestSupport.h"
#include "gateway/CHttpApi.h"
#include "gatewayclient/GatewayLibrary.h"

namespace {

using Kind = GatewayFailure::Kind;

TEST(LibraryClient, PutsListsGetsAndRemovesAndSaysWhyNot) {
    CCoreFixture fixture{kTestToken};
    ASSERT_FALSE(fixture.core->Start());
    CHttpApi api(*fixture.core);
    std::string error;
    ASSERT_TRUE(api.Listen(error)) << error;
    const std::string url = "http://127.0.0.1:" + std::to_string(api.Port());
    const CGatewayLibrary library({url + "/", kTestToken});
    const CGatewayLibrary anonymous({url, ""});
    const CRefusingPort closed;
    const CGatewayLibrary nowhere({"http://127.0.0.1:" + std::to_string(closed.Port()), ""});

    MessageDocument shift = Text("SHIFT A");
    shift.lines.push_back(Text("second line").lines.front());
    const auto put = [&](const CGatewayLibrary& to, const std::string& name,
                         std::optional<int> number = {}) {
        return OffThread([&] { return to.Put({name, number, shift}); });
    };
    struct Case {
        const char* what;
        std::function<std::optional<GatewayFailure>()> act;
        std::optional<Kind> kind;
        int status;
        std::string text;  // in the failure's text
    };
    const std::vector<Case> cases = {
        {"put", [&] { return put(library, "shift", 12); }, {}, 0, ""},
        {"put again, no number", [&] { return put(library, "press.4"); }, {}, 0, ""},
        {"a name the gateway refuses", [&] { return put(library, "bad name"); }, Kind::kRefused,
         400, url + " refused (400): a library message's name is 1 to 64"},
        {"a number taken", [&] { return put(library, "other", 12); }, Kind::kRefused, 400, ""},
        {"no token", [&] { return put(anonymous, "shift"); }, Kind::kRefused, 401,
         "refused (401): a valid token is needed"},
        {"removed",
         [&] { return OffThread([&] { return library.Remove("press.4"); }); },
         {},
         0,
         ""},
        {"removed twice", [&] { return OffThread([&] { return library.Remove("press.4"); }); },
         Kind::kRefused, 404, "the library has no message \"press.4\""},
        {"get of none", [&] { return OffThread([&] { return library.Get("press.4").failure; }); },
         Kind::kRefused, 404, ""},
        {"not listening", [&] { return nowhere.Remove("shift"); }, Kind::kNoAnswer, 0,
         "cannot reach the gateway at http://127.0.0.1:" + std::to_string(closed.Port()) +
             ": no connection"},
        {"not a URL",
         [&] {
             return CGatewayLibrary({"ftp://127.0.0.1", ""}).List().failure;
         },
         Kind::kBadUrl, 0, "not \"ftp://127.0.0.1\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::optional<GatewayFailure> failure = c.act();
        ASSERT_EQ(failure.has_value(), c.kind.has_value()) << (failure ? failure->text : "");
        if (failure) {
            EXPECT_EQ(failure->kind, *c.kind);
            EXPECT_EQ(failure->status, c.status);
            EXPECT_NE(failure->text.find(c.text), std::string::npos) << failure->text;
            EXPECT_EQ(failure->text.find(kTestToken), std::string::npos);
        }
    }
    const auto list = OffThread([&] { return library.List(); });
    ASSERT_TRUE(list.Ok()) << list.failure->text;
    ASSERT_EQ(list.value.entries.size(), 1u);
    EXPECT_EQ(list.value.entries[0].name, "shift");
    EXPECT_EQ(list.value.entries[0].number, 12);
    EXPECT_EQ(FirstLineText(list.value.entries[0].message), "SHIFT A");
    EXPECT_EQ(JsonArrayOf(list.value.json).size(), 1);
    const auto got = OffThread([&] { return library.Get("shift"); });
    ASSERT_TRUE(got.Ok());
    EXPECT_EQ(got.value.message.lines, shift.lines);
    EXPECT_EQ(got.value.message.settings, shift.settings);
}

}  // namespace
