#include "settings/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

bool CFolderLock::TryLock(const std::string& strFolder)
{
    Unlock();
    std::string strPath = strFolder;
    if (!strPath.empty() && strPath.back() != '/')
        strPath += '/';
    strPath += kFileName;
    const int fd = ::open(strPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
    {
        ::close(fd);
        return false;
    }
    // Who holds it, for a person looking at the folder.
    const std::string strPid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0 && ::write(fd, strPid.data(), strPid.size()) < 0)
    {
        // The lock holds without the note.
    }
    m_fd = fd;
    return true;
}

void CFolderLock::Unlock()
{
    if (m_fd < 0)
        return;
    ::close(m_fd); // drops the lock; the file stays for the next holder
    m_fd = -1;
}
