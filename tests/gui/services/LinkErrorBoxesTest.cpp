#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "gui/services/LinkErrorBoxes.h"
#include "support/RecordingServices.h"

namespace {

// The link's notices become boxes with the program's icons, an OK button and their captions.
TEST(LinkErrorBoxesTest, NoticesBecomeBoxes) {
    SendOutcome serial;
    serial.result.code = SEND_PORT_IN_USE;
    SendOutcome tcp;
    tcp.overTcp = true;
    tcp.result = {SEND_FAILED, ECONNREFUSED, "Connect"};
    const struct {
        const char* name;
        SendOutcome outcome;
        const char* text;
        MessageIcon icon;
        const char* caption;
    } cases[] = {
        {"serial", serial, "Port in use Retry later", MessageIcon::kExclamation, ""},
        {"tcp", tcp, std::strerror(ECONNREFUSED), MessageIcon::kInformation, "Error"},
    };
    for (const auto& c : cases) {
        RecordingMessageService messages;
        ShowLinkError(messages, c.outcome);
        ASSERT_EQ(messages.shown.size(), 1u) << c.name;
        EXPECT_EQ(messages.shown[0].text, c.text) << c.name;
        EXPECT_EQ(messages.shown[0].icon, c.icon) << c.name;
        EXPECT_EQ(messages.shown[0].buttons, MessageButtons::kOk) << c.name;
        EXPECT_EQ(messages.shown[0].caption, c.caption) << c.name;
    }
    RecordingMessageService none;
    ShowLinkError(none, SendOutcome{});
    EXPECT_TRUE(none.shown.empty());
}

}  // namespace
