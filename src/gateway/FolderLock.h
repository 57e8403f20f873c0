#pragma once

#include <optional>
#include <string>

// Holds a folder for one process: a lock on the file "lock" in it, which names the holder's PID.
// The lock goes with the process, however it ends.
class CFolderLock {
public:
    CFolderLock() = default;
    ~CFolderLock();
    CFolderLock(const CFolderLock&) = delete;
    CFolderLock& operator=(const CFolderLock&) = delete;

    // Takes the folder; the reason when another holds it ("... is in use by process 4711") or the
    // lock cannot be made.
    std::optional<std::string> Take(const std::string& folder);
    void Release();

private:
    int m_nFile = -1;
};
