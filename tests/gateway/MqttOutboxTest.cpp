// What waits for the broker: a burst of states keeps the latest of each retained topic, in the
// order they first came, and every event that is not retained.
#include <gtest/gtest.h>

#include "gateway/CMqttOutbox.h"

namespace {

TEST(MqttOutbox, ARetainedTopicKeepsItsLatestAndEveryEventGoesOut) {
    struct Case {
        const char* what;
        std::vector<OutboxMessage> added;
        std::vector<OutboxMessage> taken;
    };
    const OutboxMessage state1{"p/a/state", "1", true};
    const OutboxMessage state2{"p/a/state", "2", true};
    const OutboxMessage other{"p/b/state", "x", true};
    const OutboxMessage error1{"p/a/error", "bad 1", false};
    const OutboxMessage error2{"p/a/error", "bad 2", false};
    const OutboxMessage cleared{"homeassistant/text/o/config", "", true};
    const std::vector<Case> cases = {
        {"nothing", {}, {}},
        {"the latest state in the first one's place", {state1, other, state2}, {state2, other}},
        {"events are not merged", {error1, error2, error1}, {error1, error2, error1}},
        {"a removal is the latest like any other", {cleared, state1, cleared}, {cleared, state1}},
    };
    for (const Case& c : cases) {
        OutboxQueue queue;
        for (const OutboxMessage& message : c.added) {
            queue.Add(message);
        }
        EXPECT_EQ(queue.Take(), c.taken) << c.what;
        EXPECT_TRUE(queue.Empty()) << c.what;
    }
}

// Nothing is handed to the client without a connection; what waited goes out once there is one,
// and before the outbox stops.
TEST(MqttOutbox, WhatWaitsGoesOutOnceConnectedAndBeforeItStops) {
    std::vector<OutboxMessage> published;  // written by the outbox's thread until it stops
    {
        CMqttOutbox outbox([&](const OutboxMessage& message) { published.push_back(message); });
        for (int i = 0; i < 100; ++i) {
            outbox.Post({"p/a/error", std::to_string(i), false});
        }
        outbox.SetConnected(true);
    }
    ASSERT_EQ(published.size(), 100U);
    EXPECT_EQ(published.back().payload, "99");

    bool handedOn = false;
    {
        CMqttOutbox outbox([&](const OutboxMessage&) { handedOn = true; });
        outbox.Post({"p/a/state", "kept for the next connection", true});
    }
    EXPECT_FALSE(handedOn);
}

}  // namespace
