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
// is each write told it is kept. The journal is read back when the folder is opened again and
// taken up where its last whole line ends; it is made afresh with the latest of each file when its
// room is full, or on opening when it holds a damaged line (kept aside first).

// The journal file's room is written (with zeros) when the journal is made, so that the flush
// after an append carries the data alone: no change of the file's size or blocks waits for the
// file system's own journal, behind whatever else the machine writes. When the room is full, the
// journal is made again beside the old one with the latest of each file and room for twice as
// much, or, where the disk has not that much free, with the latest of each file and a margin of
// a sixteenth of the least room: a small disk still holds the old and the new journal at once.
inline constexpr size_t kJournalRoomBytes = 8 * 1024 * 1024;
inline constexpr size_t kJournalMarginShare = 16;
// Damaged lines are kept aside in `folder`/journal.damaged up to this size, so that a journal
// full of them cannot fill the disk.
inline constexpr size_t kJournalDamagedBytes = 256 * 1024;

// One write of a batch.
struct JournalWrite {
    std::string path;     // relative to the folder, no spaces: "signs/line%203.json"
    std::string content;  // one line without NUL bytes: compact JSON
};

// A journal line: "<checksum> <path> <content>\n"; the checksum lets a line torn by a crash be
// told from a whole one.
std::string JournalLine(const JournalWrite& write);
// What a journal's text holds: the latest content of each path, and where the lines are that end
// but fail their checksum. A last line without its end is what a crash leaves: passed over.
struct JournalText {
    std::map<std::string, std::string> latest;
    std::vector<size_t> damaged;  // the offset of each
    size_t end = 0;               // after the last line that ends
};
JournalText ReadJournal(std::string_view text);
// The writes of one batch that are kept: the latest of each path, in the order of their first
// write. `kept[i]` says whether write i is one of them (false: a later one replaced it).
std::vector<JournalWrite> CoalesceBatch(const std::vector<JournalWrite>& writes,
                                        std::vector<bool>* kept = nullptr);

struct JournalRoom {
    size_t least = kJournalRoomBytes;  // the journal file is made with this much when it can be
    size_t diskBytes = 0;  // tests: the folder's files fit in this much, as on a small disk
};

// A damaged line found on opening the journal.
struct JournalProblem {
    size_t offset = 0;  // in the journal file
    std::string reason;
};

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
    explicit CStateJournal(std::string folder, JournalRoom room = {});
    // Finishes what was asked before, then stops.
    ~CStateJournal();
    CStateJournal(const CStateJournal&) = delete;
    CStateJournal& operator=(const CStateJournal&) = delete;

    // What the journal held when it was opened: path -> content. Once.
    std::map<std::string, std::string> TakeRecovered();
    // The damaged lines found on opening, each kept aside (up to kJournalDamagedBytes) and left
    // out of the journal when it is made again. Once.
    std::vector<JournalProblem> TakeProblems();
    // From any thread; `done` is called in the order of the calls.
    void Write(std::string path, std::string content, Done done);

private:
    struct Pending {
        JournalWrite write;
        Done done;
    };
    void Run();
    // Opens the journal left by the last run, if any, and returns its bytes.
    std::string OpenOld();
    // Zeros what a crash left after `end` in the old journal, so that the next line goes there.
    bool ClearTail(const std::string& text, size_t end);
    void KeepAside(const std::string& text, const std::vector<size_t>& damaged);
    std::optional<std::string> Append(const std::vector<JournalWrite>& writes);
    // Makes the journal afresh from m_latest, with room for `more` bytes besides.
    std::optional<std::string> Rewrite(size_t more = 0);
    // Makes the file `fd` `room` bytes long, written from `from` on; the errno when it cannot.
    int MakeRoom(int fd, size_t from, size_t room) const;
    std::string PathOf(const std::string& relative) const;

    std::string m_strFolder;
    int m_nJournal = -1;
    size_t m_nJournalBytes = 0;  // where the next line goes
    size_t m_nRoomBytes = 0;     // the journal file's size
    JournalRoom m_room;
    bool m_bFolderSynced = false;                 // the journal's name is on the disk
    std::map<std::string, std::string> m_latest;  // what the journal holds, path -> content
    std::map<std::string, std::string> m_recovered;
    std::vector<JournalProblem> m_problems;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Pending> m_pending;
    bool m_bStop = false;
    std::thread m_thread;
};
