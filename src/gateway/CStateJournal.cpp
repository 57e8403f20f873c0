#include "gateway/CStateJournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <utility>

namespace {

constexpr const char* kJournalName = "journal";
constexpr const char* kTemporaryName = "journal.tmp";
constexpr const char* kDamagedName = "journal.damaged";
constexpr size_t kChecksumDigits = 16;
constexpr size_t kRoomGrowth = 2;
constexpr size_t kZeroChunkBytes = 64 * 1024;

// FNV-1a, 64 bits: enough to tell a line cut short or left half written from a whole one.
uint64_t Checksum(std::string_view path, std::string_view content) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    const auto mix = [&hash](std::string_view text) {
        for (const char c : text) {
            hash ^= static_cast<unsigned char>(c);
            hash *= 0x100000001b3ULL;
        }
    };
    mix(path);
    mix(" ");
    mix(content);
    return hash;
}

std::string Hex(uint64_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(kChecksumDigits, '0');
    for (size_t i = kChecksumDigits; i-- > 0; value >>= 4) {
        text[i] = kDigits[value & 0xF];
    }
    return text;
}

std::string Reason(const std::string& path, int error = errno) {
    return "cannot write " + path + ": " + std::strerror(error);
}

bool IsNoSpace(int error) {
    return error == ENOSPC || error == EDQUOT;
}

bool WriteAt(int fd, std::string_view bytes, off_t offset) {
    while (!bytes.empty()) {
        const ssize_t written = pwrite(fd, bytes.data(), bytes.size(), offset);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
        offset += written;
    }
    return true;
}

bool IsJournalWrite(const JournalWrite& write) {
    constexpr std::string_view kBreaks("\n\0", 2);
    return !write.path.empty() && write.path.find(' ') == std::string::npos &&
           write.path.find_first_of(kBreaks) == std::string::npos &&
           write.content.find_first_of(kBreaks) == std::string::npos;
}

// The whole file, room and all; none when it cannot be read.
std::optional<std::string> ReadAll(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        return std::nullopt;
    }
    std::string text(static_cast<size_t>(info.st_size), '\0');
    for (size_t at = 0; at < text.size();) {
        const ssize_t read = pread(fd, text.data() + at, text.size() - at, static_cast<off_t>(at));
        if (read < 0 && errno == EINTR) {
            continue;
        }
        if (read < 0) {
            return std::nullopt;
        }
        at += static_cast<size_t>(read);
        if (read == 0) {
            text.resize(at);
        }
    }
    return text;
}

// The bytes of the folder's files but one, as a disk holding the folder alone would count them.
size_t FolderBytes(const std::string& folder, const std::string& except) {
    size_t bytes = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.is_regular_file(error) && entry.path().filename() != except) {
            bytes += static_cast<size_t>(entry.file_size(error));
        }
    }
    return bytes;
}

// A whole line's path and content, when it is a journal line.
std::optional<std::pair<std::string_view, std::string_view>> ParseLine(std::string_view line) {
    const size_t pathEnd = line.find(' ', kChecksumDigits + 1);
    if (line.size() <= kChecksumDigits || line[kChecksumDigits] != ' ' ||
        pathEnd == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view path = line.substr(kChecksumDigits + 1, pathEnd - kChecksumDigits - 1);
    const std::string_view content = line.substr(pathEnd + 1);
    if (path.empty() || line.substr(0, kChecksumDigits) != Hex(Checksum(path, content))) {
        return std::nullopt;
    }
    return std::pair(path, content);
}

bool SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = fd >= 0 && fsync(fd) == 0;
    if (fd >= 0) {
        close(fd);
    }
    return synced;
}

}  // namespace

std::string JournalLine(const JournalWrite& write) {
    return Hex(Checksum(write.path, write.content)) + " " + write.path + " " + write.content + "\n";
}

JournalText ReadJournal(std::string_view text) {
    JournalText read;
    for (size_t end = text.find('\n'); end != std::string_view::npos;
         read.end = end + 1, end = text.find('\n', read.end)) {
        if (const auto line = ParseLine(text.substr(read.end, end - read.end))) {
            read.latest[std::string(line->first)] = std::string(line->second);
        } else {
            read.damaged.push_back(read.end);
        }
    }
    return read;
}

std::vector<JournalWrite> CoalesceBatch(const std::vector<JournalWrite>& writes,
                                        std::vector<bool>* kept) {
    std::map<std::string, size_t> last;  // path -> the index of its latest write
    for (size_t i = 0; i < writes.size(); ++i) {
        last[writes[i].path] = i;
    }
    std::vector<JournalWrite> batch;
    std::map<std::string, bool> placed;
    for (size_t i = 0; i < writes.size(); ++i) {
        const std::string& path = writes[i].path;
        if (!placed[path]) {
            placed[path] = true;
            batch.push_back(writes[last[path]]);
        }
    }
    if (kept != nullptr) {
        kept->assign(writes.size(), false);
        for (const auto& [path, index] : last) {
            (*kept)[index] = true;
        }
    }
    return batch;
}

CStateJournal::CStateJournal(std::string folder, JournalRoom room)
    : m_strFolder(std::move(folder)), m_room(room) {
    std::error_code error;
    std::filesystem::create_directories(m_strFolder, error);
    // What a compaction cut short left beside the journal holds nothing new and takes room.
    unlink(PathOf(kTemporaryName).c_str());
    const std::string text = OpenOld();
    const JournalText read = ReadJournal(text);
    m_latest = read.latest;
    m_recovered = m_latest;
    KeepAside(text, read.damaged);
    // Made afresh, the journal leaves out the damaged lines kept aside above. Taken up as it is, it
    // needs no room besides: so it is where the disk has no room for a new one.
    bool ready = !read.damaged.empty() && !Rewrite();
    ready = ready || (m_nJournal >= 0 && ClearTail(text, read.end));
    if (!ready) {
        if (const auto failure = Rewrite()) {
            if (m_nJournal >= 0) {
                close(m_nJournal);
            }
            throw std::runtime_error(*failure);
        }
    }
    m_thread = std::thread([this] { Run(); });
}

CStateJournal::~CStateJournal() {
    {
        const std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_changed.notify_all();
    m_thread.join();
    if (m_nJournal >= 0) {
        close(m_nJournal);
    }
}

void CStateJournal::Write(std::string path, std::string content, Done done) {
    {
        const std::lock_guard lock(m_mutex);
        m_pending.push_back({{std::move(path), std::move(content)}, std::move(done)});
    }
    m_changed.notify_all();
}

std::string CStateJournal::PathOf(const std::string& relative) const {
    return m_strFolder + "/" + relative;
}

void CStateJournal::Run() {
    for (;;) {
        std::vector<Pending> batch;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_bStop || !m_pending.empty(); });
            if (m_pending.empty()) {
                return;
            }
            batch.swap(m_pending);
        }
        // A write that cannot be a line of the journal fails alone.
        std::vector<JournalWrite> writes;
        std::vector<bool> valid;
        for (const Pending& pending : batch) {
            valid.push_back(IsJournalWrite(pending.write));
            if (valid.back()) {
                writes.push_back(pending.write);
            }
        }
        std::vector<bool> kept;
        const std::vector<JournalWrite> coalesced = CoalesceBatch(writes, &kept);
        const auto failure = Append(coalesced);
        for (size_t i = 0, k = 0; i < batch.size(); ++i) {
            Outcome outcome;
            if (!valid[i]) {
                outcome.failure = "cannot keep \"" + batch[i].write.path + "\": not one line";
            } else {
                outcome = {failure, !kept[k++]};
            }
            if (batch[i].done) {
                batch[i].done(outcome);
            }
        }
        if (!failure) {
            for (const JournalWrite& write : coalesced) {
                m_latest[write.path] = write.content;
            }
        }
    }
}

std::optional<std::string> CStateJournal::Append(const std::vector<JournalWrite>& writes) {
    std::string text;
    for (const JournalWrite& write : writes) {
        text += JournalLine(write);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    if (m_nJournalBytes + text.size() > m_nRoomBytes) {
        if (auto failure = Rewrite(text.size())) {
            return failure;
        }
    }
    m_bFolderSynced = m_bFolderSynced || SyncFolder(m_strFolder);
    if (m_bFolderSynced && WriteAt(m_nJournal, text, static_cast<off_t>(m_nJournalBytes)) &&
        fdatasync(m_nJournal) == 0) {
        m_nJournalBytes += text.size();
        return std::nullopt;
    }
    const std::string reason = Reason(PathOf(kJournalName));
    // Whole lines of a batch that failed must not be taken back after a crash, nor a torn one
    // spoil the next batch's first line.
    WriteAt(m_nJournal, std::string(text.size(), '\0'), static_cast<off_t>(m_nJournalBytes));
    return reason;
}

std::map<std::string, std::string> CStateJournal::TakeRecovered() {
    return std::exchange(m_recovered, {});
}

std::vector<JournalProblem> CStateJournal::TakeProblems() {
    return std::exchange(m_problems, {});
}

std::string CStateJournal::OpenOld() {
    const std::string path = PathOf(kJournalName);
    m_nJournal = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (m_nJournal < 0 && errno == ENOENT) {
        return {};
    }
    std::optional<std::string> text;
    if (m_nJournal >= 0) {
        text = ReadAll(m_nJournal);
    }
    if (!text) {
        // Made afresh, a journal that cannot be read would lose what it holds.
        const std::string reason = "cannot read " + path + ": " + std::strerror(errno);
        if (m_nJournal >= 0) {
            close(m_nJournal);
        }
        throw std::runtime_error(reason);
    }
    return *std::move(text);
}

bool CStateJournal::ClearTail(const std::string& text, size_t end) {
    const size_t last = text.find_last_not_of('\0');
    if (last != std::string::npos && last >= end &&
        (!WriteAt(m_nJournal, std::string(last + 1 - end, '\0'), static_cast<off_t>(end)) ||
         fdatasync(m_nJournal) != 0)) {
        return false;
    }
    m_nJournalBytes = end;
    m_nRoomBytes = text.size();
    // The journal may have been made again just before a crash, its new name not yet flushed.
    m_bFolderSynced = false;
    return true;
}

void CStateJournal::KeepAside(const std::string& text, const std::vector<size_t>& damaged) {
    if (damaged.empty()) {
        return;
    }
    const std::string path = PathOf(kDamagedName);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    struct stat info {};
    const size_t held = fd >= 0 && fstat(fd, &info) == 0 ? static_cast<size_t>(info.st_size) : 0;
    std::string kept;  // "<offset> <line>\n" each
    std::vector<bool> fits;
    for (const size_t offset : damaged) {
        const size_t end = text.find('\n', offset) + 1;
        const std::string entry = std::to_string(offset) + " " + text.substr(offset, end - offset);
        fits.push_back(held + kept.size() + entry.size() <= kJournalDamagedBytes);
        if (fits.back()) {
            kept += entry;
        }
    }
    const bool written = fd >= 0 && WriteAt(fd, kept, static_cast<off_t>(held)) && fsync(fd) == 0 &&
                         SyncFolder(m_strFolder);
    const std::string failure = written ? "" : Reason(path);
    if (fd >= 0) {
        close(fd);
    }
    for (size_t i = 0; i < damaged.size(); ++i) {
        std::string reason = "a line failing its checksum, ";
        if (!fits[i]) {
            reason += std::string("left out: ") + kDamagedName + " is full";
        } else if (!written) {
            reason += "left out: " + failure;
        } else {
            reason += std::string("kept in ") + kDamagedName;
        }
        m_problems.push_back({damaged[i], std::move(reason)});
    }
}

int CStateJournal::MakeRoom(int fd, size_t from, size_t room) const {
    if (m_room.diskBytes != 0 &&
        FolderBytes(m_strFolder, kTemporaryName) + room > m_room.diskBytes) {
        return ENOSPC;
    }
    // Asked for first, the blocks are refused at once on a disk without them, before zeros fill it.
    if (fallocate(fd, 0, 0, static_cast<off_t>(room)) != 0 && errno != EOPNOTSUPP) {
        return errno;
    }
    const std::string zeros(kZeroChunkBytes, '\0');
    for (size_t at = from; at < room; at += zeros.size()) {
        if (!WriteAt(fd, std::string_view(zeros).substr(0, room - at), static_cast<off_t>(at))) {
            return errno != 0 ? errno : EIO;
        }
    }
    return 0;
}

std::optional<std::string> CStateJournal::Rewrite(size_t more) {
    const std::string path = PathOf(kJournalName);
    const std::string temporary = PathOf(kTemporaryName);
    std::string text;
    for (const auto& [file, content] : m_latest) {
        text += JournalLine({file, content});
    }
    // The old journal stays until the new one replaces it: the new one takes what the disk has
    // free, which must be the live lines and a margin at least.
    const size_t least = text.size() + more + m_room.least / kJournalMarginShare;
    const size_t wanted = std::max({m_room.least, kRoomGrowth * (text.size() + more), least});
    // The new journal's descriptor stays open as the journal: nothing can come between.
    const int fd = open(temporary.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return Reason(temporary);
    }
    size_t room = wanted;
    int error = WriteAt(fd, text, 0) ? 0 : errno;
    if (error == 0) {
        error = MakeRoom(fd, text.size(), room);
        // What the refused room took is given back before the least is asked for.
        if (IsNoSpace(error) && room > least &&
            ftruncate(fd, static_cast<off_t>(text.size())) == 0) {
            room = least;
            error = MakeRoom(fd, text.size(), room);
        }
    }
    if (error == 0 && (fsync(fd) != 0 || rename(temporary.c_str(), path.c_str()) != 0)) {
        error = errno;
    }
    if (error != 0) {
        close(fd);
        unlink(temporary.c_str());
        return Reason(temporary, error);
    }
    if (m_nJournal >= 0) {
        close(m_nJournal);
    }
    m_nJournal = fd;
    m_nJournalBytes = text.size();
    m_nRoomBytes = room;
    // Until the folder is flushed the new name may not outlast a crash; no batch is told it is
    // kept before then.
    m_bFolderSynced = SyncFolder(m_strFolder);
    return std::nullopt;
}
