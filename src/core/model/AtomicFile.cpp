#include "model/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{
std::string ErrorText(const std::string& strWhat, const std::string& strPath)
{
    return strWhat + " " + strPath + ": " + std::strerror(errno);
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

// Temporary files are named after their target: "<name>.tmp-" and six
// letters or digits from mkstemp.
constexpr const char* kTempMarker = ".tmp-";
constexpr size_t kRandomChars = 6;

bool IsTempNameOf(const std::string& strName, const std::string& strTarget)
{
    const std::string strPrefix = strTarget + kTempMarker;
    if (strName.size() != strPrefix.size() + kRandomChars || strName.compare(0, strPrefix.size(), strPrefix) != 0)
        return false;
    for (size_t i = strPrefix.size(); i < strName.size(); ++i)
    {
        char c = strName[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

// A new temporary file for strPath, locked for as long as fd stays open so
// that RemoveLeftovers leaves it alone; -1 on failure.
int CreateLockedTemp(const std::string& strPath, std::string& strTemp)
{
    for (;;)
    {
        std::string strTemplate = strPath + kTempMarker + std::string(kRandomChars, 'X');
        std::vector<char> name(strTemplate.begin(), strTemplate.end());
        name.push_back('\0');
        int fd = ::mkstemp(name.data());
        if (fd < 0)
            return -1;
        while (::flock(fd, LOCK_EX) != 0 && errno == EINTR)
        {
        }
        // A cleaner that came between the creation and the lock removed it.
        struct stat st
        {
        };
        if (::fstat(fd, &st) == 0 && st.st_nlink == 0)
        {
            ::close(fd);
            continue;
        }
        strTemp = name.data();
        return fd;
    }
}
} // namespace

void CAtomicFile::RemoveLeftovers(const std::string& strPath)
{
    const std::string strFolder = FolderOf(strPath);
    const std::string strTarget = strPath.substr(strPath.find_last_of('/') + 1);
    DIR* pDir = ::opendir(strFolder.c_str());
    if (!pDir)
        return;
    std::vector<std::string> names;
    while (const dirent* pEntry = ::readdir(pDir))
        if (IsTempNameOf(pEntry->d_name, strTarget))
            names.emplace_back(pEntry->d_name);
    ::closedir(pDir);
    for (const auto& strName : names)
    {
        const std::string strFile = strFolder + "/" + strName;
        int fd = ::open(strFile.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        // A writer holds the lock until its rename is done; a file whose lock
        // can be taken was left by a writer that died.
        struct stat st
        {
        };
        struct stat stName
        {
        };
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
            st.st_uid == ::geteuid() && ::lstat(strFile.c_str(), &stName) == 0 && stName.st_dev == st.st_dev &&
            stName.st_ino == st.st_ino)
            ::unlink(strFile.c_str());
        ::close(fd);
    }
}

bool CAtomicFile::Write(const std::string& strPath, const std::string& strData, mode_t nMode,
                        std::string* pError)
{
    // What an earlier write left when its process died goes first.
    RemoveLeftovers(strPath);
    std::string strTemp;
    int fd = CreateLockedTemp(strPath, strTemp);
    if (fd < 0)
    {
        if (pError)
            *pError = ErrorText("cannot create a temporary file for", strPath);
        return false;
    }
    // The lock lives on in a second descriptor until the rename is done.
    int lockfd = ::dup(fd);
    auto fail = [&](const char* pszWhat)
    {
        if (pError)
            *pError = ErrorText(pszWhat, strTemp);
        ::unlink(strTemp.c_str());
        ::close(fd);
        if (lockfd >= 0)
            ::close(lockfd);
        return false;
    };
    if (lockfd < 0)
        return fail("cannot duplicate the descriptor of");
    if (::fchmod(fd, nMode) != 0)
        return fail("cannot set the mode of");
    const char* p = strData.data();
    size_t nLeft = strData.size();
    while (nLeft > 0)
    {
        ssize_t n = ::write(fd, p, nLeft);
        if (n < 0)
        {
            if (errno == EINTR)
                continue;
            return fail("cannot write");
        }
        p += n;
        nLeft -= static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0)
        return fail("cannot flush");
    if (::close(fd) != 0)
    {
        if (pError)
            *pError = ErrorText("cannot close", strTemp);
        ::unlink(strTemp.c_str());
        ::close(lockfd);
        return false;
    }
    if (::rename(strTemp.c_str(), strPath.c_str()) != 0)
    {
        if (pError)
            *pError = ErrorText("cannot replace", strPath);
        ::unlink(strTemp.c_str());
        ::close(lockfd);
        return false;
    }
    ::close(lockfd);
    // Make the rename itself durable.
    int dirfd = ::open(FolderOf(strPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirfd >= 0)
    {
        ::fsync(dirfd);
        ::close(dirfd);
    }
    return true;
}

bool CAtomicFile::Read(const std::string& strPath, std::string& strData, std::string* pError)
{
    strData.clear();
    int fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
    {
        int nError = errno;
        if (pError)
            *pError = ErrorText("cannot open", strPath);
        errno = nError; // callers tell "no file" (ENOENT) from other faults
        return false;
    }
    char buffer[65536];
    for (;;)
    {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0)
        {
            if (errno == EINTR)
                continue;
            if (pError)
                *pError = ErrorText("cannot read", strPath);
            ::close(fd);
            strData.clear();
            return false;
        }
        if (n == 0)
            break;
        strData.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}
