#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// Keeps the state folder's files, each written whole or not at all, without a disk flush for each
// write: they are the lines of one journal file, `folder`/journal, the latest line of a file
// being its content. Writes are made on a thread of their own in batches: whatever comes while
// one batch is written goes into the next; of several writes of one file in a batch only the
// latest is kept; the batch is appended to the journal and flushed to the disk once, and only then
// is each write told it is kept. The journal is read back when the folder is opened again, and
// made afresh with the latest of each file when its room is full.

// The journal file's room is written (with zeros) when the journal is made, so that the flush
// after an append carries the data alone: no change of the file's size or blocks waits for the
// file system's own journal, behind whatever else the machine writes. When the room is full, the
// journal is made again with the latest of each file and room for four times as much.
inline constexpr size_t kJournalRoomBytes = 8 * 1024 * 1024;

// One write of a batch.
struct JournalWrite {
    std::string path;     // relative to the folder, no spaces: "signs/line%203.json"
    std::string content;  // one line without NUL bytes: compact JSON
};

// A journal line: "<checksum> <path> <content>\n"; the checksum lets a line torn by a crash be
// told from a whole one.
std::string JournalLine(const JournalWrite& write);
// The latest content of each path in a journal's text; torn or damaged lines are skipped.
std::map<std::string, std::string> ReadJournal(std::string_view text);
// The writes of one batch that are kept: the latest of each path, in the order of their first
// write. `kept[i]` says whether write i is one of them (false: a later one replaced it).
std::vector<JournalWrite> CoalesceBatch(const std::vector<JournalWrite>& writes,
                                        std::vector<bool>* kept = nullptr);

class CStateJournal {
public:
    struct Outcome {
        std::optional<std::string> failure;  // why it could not be kept
        bool replaced = false;               // a later write of the same file came in its batch
    };
    // Called on the journal's thread once the write is on the disk (or could not be).
    using Done = std::function<void(const Outcome&)>;

    // Opens `folder`/journal, takes back the latest of each file it holds and starts the writer.
    // Throws std::runtime_error naming the file when the folder cannot be used.
    // `minRoomBytes`: the least room the journal file is made with.
    explicit CStateJournal(std::string folder, size_t minRoomBytes = kJournalRoomBytes);
    // Finishes what was asked before, then stops.
    ~CStateJournal();
    CStateJournal(const CStateJournal&) = delete;
    CStateJournal& operator=(const CStateJournal&) = delete;

    // What the journal held when it was opened: path -> content. Once.
    std::map<std::string, std::string> TakeRecovered();
    // From any thread; `done` is called in the order of the calls.
    void Write(std::string path, std::string content, Done done);

private:
    struct Pending {
        JournalWrite write;
        Done done;
    };
    void Run();
    std::optional<std::string> Append(const std::vector<JournalWrite>& writes);
    // Makes the journal afresh from m_latest, with room for `more` bytes besides.
    std::optional<std::string> Rewrite(size_t more = 0);
    std::string PathOf(const std::string& relative) const;

    std::string m_strFolder;
    int m_nJournal = -1;
    size_t m_nJournalBytes = 0;  // where the next line goes
    size_t m_nRoomBytes = 0;     // the journal file's size
    size_t m_nMinRoomBytes;
    bool m_bFolderSynced = false;                 // the journal's name is on the disk
    std::map<std::string, std::string> m_latest;  // what the journal holds, path -> content
    std::map<std::string, std::string> m_recovered;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Pending> m_pending;
    bool m_bStop = false;
    std::thread m_thread;
};
