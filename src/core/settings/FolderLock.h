#pragma once

#include <string>

// "Dravelin.lock" in the data folder, held while a program works on the
// folder's files, so two programs never rewrite them at once. An advisory
// lock (flock) that the system drops when its holder ends, however it ends:
// a crash leaves no stale lock behind. Programs started from ours do not
// inherit it.
class CFolderLock
{
public:
    static constexpr const char* kFileName = "Dravelin.lock";

    CFolderLock() = default;
    ~CFolderLock() { Unlock(); }
    CFolderLock(const CFolderLock&) = delete;
    CFolderLock& operator=(const CFolderLock&) = delete;

    // Takes the lock of strFolder without waiting; false when another holder
    // has it or the lock file cannot be made.
    bool TryLock(const std::string& strFolder);
    void Unlock();
    bool IsLocked() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};
