#include "gateway/CStateJournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <utility>

namespace {

constexpr const char* kJournalName = "journal";
constexpr size_t kChecksumDigits = 16;
constexpr size_t kRoomGrowth = 4;
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

std::string Reason(const std::string& path) {
    return "cannot write " + path + ": " + std::strerror(errno);
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

// The journal's lines, without the room after them.
std::string ReadLines(const std::string& path) {
    std::string text;
    std::ifstream file(path, std::ios::binary);
    std::string chunk(kZeroChunkBytes, '\0');
    while (file.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) ||
           file.gcount() > 0) {
        const std::string_view read(chunk.data(), static_cast<size_t>(file.gcount()));
        const size_t end = read.find('\0');
        text.append(read.substr(0, end));
        if (end != std::string_view::npos) {
            break;
        }
    }
    return text;
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

std::map<std::string, std::string> ReadJournal(std::string_view text) {
    std::map<std::string, std::string> latest;
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string_view::npos;
         start = end + 1, end = text.find('\n', start)) {
        const std::string_view line = text.substr(start, end - start);
        const size_t pathEnd = line.find(' ', kChecksumDigits + 1);
        if (line.size() <= kChecksumDigits || line[kChecksumDigits] != ' ' ||
            pathEnd == std::string_view::npos) {
            continue;
        }
        const std::string_view path =
            line.substr(kChecksumDigits + 1, pathEnd - kChecksumDigits - 1);
        const std::string_view content = line.substr(pathEnd + 1);
        if (!path.empty() && line.substr(0, kChecksumDigits) == Hex(Checksum(path, content))) {
            latest[std::string(path)] = std::string(content);
        }
    }
    return latest;
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

CStateJournal::CStateJournal(std::string folder, size_t minRoomBytes)
    : m_strFolder(std::move(folder)), m_nMinRoomBytes(minRoomBytes) {
    std::error_code error;
    std::filesystem::create_directories(m_strFolder, error);
    m_latest = ReadJournal(ReadLines(PathOf(kJournalName)));
    m_recovered = m_latest;
    // Made afresh, without a line a crash may have torn.
    if (const auto failure = Rewrite()) {
        throw std::runtime_error(*failure);
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

std::optional<std::string> CStateJournal::Rewrite(size_t more) {
    const std::string path = PathOf(kJournalName);
    const std::string temporary = path + ".tmp";
    std::string text;
    for (const auto& [file, content] : m_latest) {
        text += JournalLine({file, content});
    }
    const size_t room = std::max(m_nMinRoomBytes, kRoomGrowth * (text.size() + more));
    // The new journal's descriptor stays open as the journal: nothing can come between.
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return Reason(temporary);
    }
    bool written = WriteAt(fd, text, 0);
    const std::string zeros(kZeroChunkBytes, '\0');
    for (size_t at = text.size(); written && at < room; at += zeros.size()) {
        written = WriteAt(fd, std::string_view(zeros).substr(0, room - at), static_cast<off_t>(at));
    }
    if (!written || fsync(fd) != 0 || rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string reason = Reason(temporary);
        close(fd);
        unlink(temporary.c_str());
        return reason;
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
