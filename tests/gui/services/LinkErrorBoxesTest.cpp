#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "gui/services/LinkErrorBoxes.h"
#include "support/RecordingServices.h"

namespace {

// The link's notices become boxes with the program's icons (the error icon under "Error"), an OK
// button and their captions; the line naming the link stands below the text as a sentence.
TEST(LinkErrorBoxesTest, NoticesBecomeBoxesThatNameTheLink) {
    SendOutcome serial;
    serial.result = {SEND_INVALID_PORT, ENOENT, LinkOperation::kOpen};
    serial.portName = "COM3";
    serial.devicePath = "/dev/ttyUSB0";
    SendOutcome tcp;
    tcp.overTcp = true;
    tcp.result = {SEND_FAILED, ECONNREFUSED, LinkOperation::kConnect};
    tcp.devicePath = "127.0.0.3:49999";
    const struct {
        const char* name;
        SendOutcome outcome;
        std::string text;
        MessageIcon icon;
        const char* caption;
        std::string details;
    } cases[] = {
        {"serial", serial, "Invalid Port", MessageIcon::kExclamation, "",
         "Cannot open COM3 (/dev/ttyUSB0): " + std::string(std::strerror(ENOENT)) + "."},
        {"tcp", tcp, std::strerror(ECONNREFUSED), MessageIcon::kStop, "Error",
         "Cannot connect to Ethernet 127.0.0.3:49999."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingMessageService messages;
        ShowLinkError(messages, c.outcome);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, c.text);
        EXPECT_EQ(messages.shown[0].icon, c.icon);
        EXPECT_EQ(messages.shown[0].buttons, MessageButtons::kOk);
        EXPECT_EQ(messages.shown[0].caption, c.caption);
        EXPECT_EQ(messages.shown[0].details, c.details);
    }
    RecordingMessageService none;
    ShowLinkError(none, SendOutcome{});
    EXPECT_TRUE(none.shown.empty());
}

}  // namespace
