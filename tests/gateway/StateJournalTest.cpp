// The state folder's journal by direct calls: what a crash leaves behind is read back right, a
// damaged line is told of and kept aside, and what is kept outlives the journal's own rewrite on
// a disk that has little more than the journal free.
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
        EXPECT_EQ(ReadJournal(c.text).latest, c.expected) << c.what;
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

// Writes through a journal on the folder, each waiting until the one before is kept, so that none
// is merged with another and the journal fills as fast as it can; what each was told.
std::vector<CStateJournal::Outcome> WriteAll(const std::string& folder,
                                             const std::vector<JournalWrite>& writes,
                                             JournalRoom room = {}) {
    CStateJournal journal(folder, room);
    std::vector<CStateJournal::Outcome> outcomes;
    for (const JournalWrite& write : writes) {
        std::promise<CStateJournal::Outcome> told;
        journal.Write(write.path, write.content,
                      [&told](const CStateJournal::Outcome& outcome) { told.set_value(outcome); });
        outcomes.push_back(told.get_future().get());
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
    // So does a compaction cut short; what it left only takes room.
    folder.Write("state/journal.tmp", std::string(4096, 'x'));
    EXPECT_EQ(CStateJournal(state).TakeRecovered(),
              (Files{{"signs/a.json", R"({"v":2})"}, {"signs/b.json", R"({"v":1})"}}));
    EXPECT_FALSE(std::filesystem::exists(state + "/journal.tmp"));
    // The torn line is gone for good: a write after it is read back too.
    WriteAll(state, {{"signs/c.json", R"({"v":1})"}});
    EXPECT_EQ(CStateJournal(state).TakeRecovered().size(), 3U);
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

TEST(StateJournal, ADamagedLineIsToldOfAndKeptAside) {
    const std::string a = Line("signs/a.json", R"({"v":1})");
    const std::string b = Line("vars.json", R"({"count":"7"})");
    const auto damage = [](std::string line, char byte) {
        line[line.size() / 2] = byte;
        return line;
    };
    const std::string changed = damage(Line("signs/a.json", R"({"v":2})"), 'x');
    const std::string holed = damage(Line("signs/a.json", R"({"v":3})"), '\0');
    const std::string huge =
        damage(Line("signs/a.json", std::string(kJournalDamagedBytes, 'x')), 'y');
    struct Case {
        const char* what;
        std::string text;
        std::vector<size_t> offsets;
        std::string aside;  // journal.damaged
    };
    const std::vector<Case> cases = {
        {"a byte changed", a + changed + b, {a.size()}, std::to_string(a.size()) + " " + changed},
        {"a NUL byte", a + holed + b, {a.size()}, std::to_string(a.size()) + " " + holed},
        {"more than is kept aside", a + huge + b, {a.size()}, ""},
        {"a torn last line is no damage", a + b + changed.substr(0, 20), {}, ""},
    };
    for (const Case& c : cases) {
        const CTempFolder folder;
        folder.Write("journal", c.text + std::string(512, '\0'));
        for (const bool again : {false, true}) {
            CStateJournal journal(folder.Path(), {.least = 1024});
            EXPECT_EQ(journal.TakeRecovered(),
                      (Files{{"signs/a.json", R"({"v":1})"}, {"vars.json", R"({"count":"7"})"}}))
                << c.what;
            std::vector<size_t> offsets;
            for (const JournalProblem& problem : journal.TakeProblems()) {
                offsets.push_back(problem.offset);
            }
            // Told once: the journal is made again without it.
            EXPECT_EQ(offsets, again ? std::vector<size_t>{} : c.offsets) << c.what;
            EXPECT_EQ(ReadFile(folder.Path() + "/journal.damaged"), c.aside) << c.what;
        }
    }
}

TEST(StateJournal, CompactionNeedsTheLiveLinesAndAMarginBesidesTheJournal) {
    constexpr size_t kLeast = 2048;
    constexpr size_t kFiles = 7;
    const size_t live = kFiles * Line("signs/0.json", R"({"v":1000})").size();
    const size_t bound = 2 * live + kLeast / kJournalMarginShare;  // a batch is as long at most
    struct Case {
        const char* what;
        size_t disk;
        int runs;  // the journal opened again for each
        bool fits;
    };
    const std::vector<Case> cases = {
        {"the journal and a half", kLeast + kLeast / 2, 4, true},
        {"the journal and the bound", kLeast + bound, 3, true},
        {"less", kLeast + live, 3, false},
    };
    for (const Case& c : cases) {
        const CTempFolder folder;
        Files latest;  // of the writes told they are kept
        bool refused = false;
        // Every content as long: the live lines are as long throughout.
        for (int run = 0, v = 1000; run < c.runs; ++run) {
            std::vector<JournalWrite> writes;
            for (int i = 0; i < 96 / c.runs; ++i, ++v) {
                writes.push_back({"signs/" + std::to_string(v % kFiles) + ".json",
                                  R"({"v":)" + std::to_string(v) + "}"});
            }
            const auto outcomes = WriteAll(folder.Path(), writes, {kLeast, c.disk});
            for (size_t i = 0; i < writes.size(); ++i) {
                refused = refused || outcomes[i].failure;
                if (!outcomes[i].failure) {
                    latest[writes[i].path] = writes[i].content;
                }
            }
        }
        EXPECT_EQ(refused, !c.fits) << c.what;
        EXPECT_EQ(CStateJournal(folder.Path(), {kLeast, c.disk}).TakeRecovered(), latest) << c.what;
    }
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
