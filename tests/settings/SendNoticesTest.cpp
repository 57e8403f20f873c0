#include <gtest/gtest.h>

#include <string>

#include "settings/SendNotices.h"

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A refused device says which group lets the user in and how to join it, and only when joining
// helps: a member still waiting for a new login is told to log in, an owner-only device names no
// group.
TEST(SendNoticesTest, ARefusedDeviceSaysWhichGroupToJoinAndHow) {
    const struct {
        const char* name;
        SerialDeviceStatus status;
        std::string says;
        bool advisesJoining;
    } cases[] = {
        {"a stranger to the group",
         {SerialDeviceState::kNoAccess, "dialout", false},
         "join the group \"dialout\" (sudo usermod -aG dialout $USER), then log out and in again",
         true},
        {"joined after logging in",
         {SerialDeviceState::kNoAccess, "uucp", true},
         "joined the group \"uucp\" after you logged in",
         false},
        {"owner only", {SerialDeviceState::kNoAccess, "", false}, "ask the administrator", false},
    };
    for (const auto& c : cases) {
        const std::string text = SerialDeviceStatusText(c.status);
        EXPECT_TRUE(Contains(text, c.says)) << c.name << ": " << text;
        EXPECT_EQ(Contains(text, "usermod"), c.advisesJoining) << c.name << ": " << text;
    }
}

}  // namespace
