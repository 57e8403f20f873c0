// The state folder's journal by direct calls: what a crash leaves behind is read back right, and
// what is kept outlives the journal's own rewrite.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>

#include "GatewayProcess.h"
#include "gateway/CStateJournal.h"

namespace {

using Files = std::map<std::string, std::string>;

std::string Line(const std::string& path, const std::string& content) {
    return JournalLine({path, content});
}

TEST(StateJournal, ReadsBackTheLatestWholeLineOfEachFile) {
    const std::string a1 = Line("signs/a.json", R"({"v":1})");
    const std::string a2 = Line("signs/a.json", R"({"v":2})");
    const std::string b = Line("vars.json", R"({"count":"7"})");
    std::string damaged = a2;
    damaged[damaged.size() - 3] = '9';  // a byte changed after its checksum was made
    struct Case {
        const char* what;
        std::string text;
        Files expected;
    };
    const std::vector<Case> cases = {
        {"nothing", "", {}},
        {"the later line wins",
         a1 + b + a2,
         {{"signs/a.json", R"({"v":2})"}, {"vars.json", R"({"count":"7"})"}}},
        {"a line torn by a crash",
         a1 + a2.substr(0, a2.size() - 4),
         {{"signs/a.json", R"({"v":1})"}}},
        {"a damaged line is passed over",
         a1 + damaged + b,
         {{"signs/a.json", R"({"v":1})"}, {"vars.json", R"({"count":"7"})"}}},
        {"a line without its path",
         "0123456789abcdef {}\n" + b,
         {{"vars.json", R"({"count":"7"})"}}},
        {"a line of other text", "hello\n" + a1, {{"signs/a.json", R"({"v":1})"}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadJournal(c.text), c.expected) << c.what;
    }
}

TEST(StateJournal, ABatchKeepsTheLatestWriteOfEachFile) {
    std::vector<bool> kept;
    const std::vector<JournalWrite> batch =
        CoalesceBatch({{"a", "1"}, {"b", "1"}, {"a", "2"}, {"c", "1"}, {"a", "3"}}, &kept);
    ASSERT_EQ(batch.size(), 3U);
    EXPECT_EQ(batch[0].path + batch[0].content, "a3");
    EXPECT_EQ(batch[1].path + batch[1].content, "b1");
    EXPECT_EQ(batch[2].path + batch[2].content, "c1");
    EXPECT_EQ(kept, (std::vector<bool>{false, true, false, true, true}));
}

// Writes through a journal on the folder, with that much room at least, and waits until each is
// kept; what each was told.
std::vector<CStateJournal::Outcome> WriteAll(const std::string& folder,
                                             const std::vector<JournalWrite>& writes,
                                             size_t room = kJournalRoomBytes) {
    CStateJournal journal(folder, room);
    std::vector<std::promise<CStateJournal::Outcome>> told(writes.size());
    for (size_t i = 0; i < writes.size(); ++i) {
        journal.Write(
            writes[i].path, writes[i].content,
            [&told, i](const CStateJournal::Outcome& outcome) { told[i].set_value(outcome); });
    }
    std::vector<CStateJournal::Outcome> outcomes;
    for (auto& promise : told) {
        outcomes.push_back(promise.get_future().get());
    }
    return outcomes;
}

TEST(StateJournal, WhatIsKeptIsThereWhenTheFolderIsOpenedAgain) {
    const CTempFolder folder;
    const std::string state = folder.Path() + "/state";
    WriteAll(state, {{"signs/a.json", R"({"v":1})"},
                     {"signs/b.json", R"({"v":1})"},
                     {"signs/a.json", R"({"v":2})"}});
    // A crash in the middle of the next batch: half a line after the last whole one.
    const std::string torn = Line("signs/b.json", R"({"v":9})");
    {
        std::fstream file(state + "/journal", std::ios::in | std::ios::out | std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(file)), {});
        file.seekp(static_cast<std::streamoff>(text.find('\0')));
        file << torn.substr(0, torn.size() / 2);
    }
    EXPECT_EQ(CStateJournal(state).TakeRecovered(),
              (Files{{"signs/a.json", R"({"v":2})"}, {"signs/b.json", R"({"v":1})"}}));
    // The torn line is gone for good: a write after it is read back too.
    WriteAll(state, {{"signs/c.json", R"({"v":1})"}});
    EXPECT_EQ(CStateJournal(state).TakeRecovered().size(), 3U);
}

TEST(StateJournal, AFullJournalIsMadeAgainWithTheLatestOfEachFile) {
    const CTempFolder folder;
    std::vector<JournalWrite> writes;
    Files latest;
    for (int i = 0; i < 300; ++i) {
        const std::string path = "signs/" + std::to_string(i % 7) + ".json";
        writes.push_back({path, R"({"v":)" + std::to_string(i) + "}"});
        latest[path] = writes.back().content;
    }
    constexpr size_t kSmallRoom = 512;  // made again many times over
    for (const auto& outcome : WriteAll(folder.Path(), writes, kSmallRoom)) {
        EXPECT_FALSE(outcome.failure) << *outcome.failure;
    }
    EXPECT_EQ(CStateJournal(folder.Path(), kSmallRoom).TakeRecovered(), latest);
}

TEST(StateJournal, AWriteThatCannotBeALineFailsAlone) {
    const CTempFolder folder;
    const std::vector<JournalWrite> writes = {{"a", "1"},
                                              {"a path", "{}"},
                                              {"", "{}"},
                                              {"b", "two\nlines"},
                                              {"b", std::string("nul\0", 4)},
                                              {"c", "1"}};
    const std::vector<CStateJournal::Outcome> outcomes = WriteAll(folder.Path(), writes);
    ASSERT_EQ(outcomes.size(), writes.size());
    for (size_t i = 0; i < writes.size(); ++i) {
        const bool good = i == 0 || i + 1 == writes.size();
        EXPECT_EQ(outcomes[i].failure.has_value(), !good) << writes[i].path << writes[i].content;
    }
    EXPECT_EQ(CStateJournal(folder.Path()).TakeRecovered(), (Files{{"a", "1"}, {"c", "1"}}));
}

}  // namespace
