#include "gateway/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

CFolderLock::~CFolderLock() {
    Release();
}

std::optional<std::string> CFolderLock::Take(const std::string& folder) {
    Release();
    const std::string path = folder + "/lock";
    const int file = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (file < 0) {
        return "cannot make " + path + ": " + std::strerror(errno);
    }
    if (flock(file, LOCK_EX | LOCK_NB) != 0) {
        const int reason = errno;
        char pid[32] = {};
        const ssize_t got = pread(file, pid, sizeof(pid) - 1, 0);
        close(file);
        if (reason == EWOULDBLOCK) {
            const std::string holder = got > 0 ? std::string(pid, static_cast<size_t>(got)) : "?";
            return "the state folder " + folder + " is in use by process " +
                   holder.substr(0, holder.find('\n'));
        }
        return "cannot lock " + path + ": " + std::strerror(reason);
    }
    const std::string pid = std::to_string(getpid()) + "\n";
    if (ftruncate(file, 0) != 0 ||
        pwrite(file, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
        const std::string reason = std::strerror(errno);
        close(file);
        return "cannot write " + path + ": " + reason;
    }
    m_nFile = file;
    return std::nullopt;
}

void CFolderLock::Release() {
    if (m_nFile >= 0) {
        close(m_nFile);
        m_nFile = -1;
    }
}
