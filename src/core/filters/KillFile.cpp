#include "filters/KillFile.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// Closes a descriptor on every way out.
class CFileHandle
{
public:
    explicit CFileHandle(int fd) : m_fd(fd) {}
    ~CFileHandle()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;
    int Get() const { return m_fd; }
    // Closes now and reports whether the close succeeded (it may report a
    // failed write-back).
    bool Close()
    {
        int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool WriteAll(int fd, std::string_view strData)
{
    while (!strData.empty())
    {
        ssize_t n = ::write(fd, strData.data(), strData.size());
        if (n < 0)
        {
            if (errno == EINTR)
                continue;
            return false;
        }
        strData.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::string FolderOf(const std::string& strPath)
{
    auto nSlash = strPath.find_last_of('/');
    if (nSlash == std::string::npos)
        return ".";
    if (nSlash == 0)
        return "/";
    return strPath.substr(0, nSlash);
}
} // namespace

bool CKillFile::ReadLines(const std::string& strPath, std::vector<std::string>& lines)
{
    CFileHandle file(::open(strPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0)
        return false;
    std::string strData;
    char buffer[65536];
    for (;;)
    {
        ssize_t n = ::read(file.Get(), buffer, sizeof buffer);
        if (n < 0)
        {
            if (errno == EINTR)
                continue;
            return false; // a folder, or a read error: nothing is taken
        }
        if (n == 0)
            break;
        strData.append(buffer, static_cast<size_t>(n));
    }

    size_t nStart = 0;
    while (nStart < strData.size())
    {
        size_t nEnd = strData.find('\n', nStart);
        size_t nNext = nEnd == std::string::npos ? strData.size() : nEnd + 1;
        if (nEnd == std::string::npos)
            nEnd = strData.size();
        size_t nLength = nEnd - nStart;
        if (nLength > 0 && strData[nEnd - 1] == '\r')
            --nLength;
        lines.emplace_back(strData, nStart, nLength);
        nStart = nNext;
    }
    return true;
}

bool CKillFile::WriteFileAtomic(const std::string& strPath, std::string_view strData)
{
    // The replacement keeps the permissions of the file it replaces; a new
    // file gets the usual ones (0666 less the umask).
    mode_t nMode = 0666;
    struct stat st;
    bool bExisted = ::stat(strPath.c_str(), &st) == 0;
    if (bExisted)
        nMode = st.st_mode & 07777;

    static std::atomic<unsigned> s_nCounter{0};
    std::string strTemp;
    int fd = -1;
    for (int nTry = 0; nTry < 100 && fd < 0; ++nTry)
    {
        strTemp = strPath + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(s_nCounter++);
        fd = ::open(strTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;

    CFileHandle file(fd);
    bool bOk = WriteAll(fd, strData);
    if (bOk && bExisted)
        bOk = ::fchmod(fd, nMode) == 0;
    // On disk before the rename, so a crash cannot leave an empty new file.
    bOk = bOk && ::fsync(fd) == 0;
    bOk = file.Close() && bOk;
    if (bOk)
        bOk = ::rename(strTemp.c_str(), strPath.c_str()) == 0;
    if (!bOk)
    {
        ::unlink(strTemp.c_str());
        return false;
    }

    // Make the rename itself durable; the file is already complete, so a
    // failure here is not reported.
    CFileHandle folder(::open(FolderOf(strPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() >= 0)
        ::fsync(folder.Get());
    return true;
}
