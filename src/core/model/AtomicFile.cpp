#include "model/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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
} // namespace

bool CAtomicFile::Write(const std::string& strPath, const std::string& strData, mode_t nMode,
                        std::string* pError)
{
    std::string strTemplate = strPath + ".XXXXXX";
    std::vector<char> name(strTemplate.begin(), strTemplate.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0)
    {
        if (pError)
            *pError = ErrorText("cannot create a temporary file for", strPath);
        return false;
    }
    std::string strTemp(name.data());
    auto fail = [&](const char* pszWhat)
    {
        if (pError)
            *pError = ErrorText(pszWhat, strTemp);
        ::close(fd);
        ::unlink(strTemp.c_str());
        return false;
    };
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
        return false;
    }
    if (::rename(strTemp.c_str(), strPath.c_str()) != 0)
    {
        if (pError)
            *pError = ErrorText("cannot replace", strPath);
        ::unlink(strTemp.c_str());
        return false;
    }
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
