#include "gateway/real/Upstream.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool CUpstream::ParseAddress(const std::string& strAddress, usenet::SServerConfig& config, std::string& strError)
{
    std::string strRest;
    if (strAddress.rfind("nntp://", 0) == 0)
    {
        config.m_bTls = false;
        config.m_nPort = 119;
        strRest = strAddress.substr(7);
    }
    else if (strAddress.rfind("nntps://", 0) == 0)
    {
        config.m_bTls = true;
        config.m_nPort = 563;
        strRest = strAddress.substr(8);
    }
    else
    {
        strError = "the server address must start with nntp:// or nntps://: " + strAddress;
        return false;
    }
    if (!strRest.empty() && strRest.back() == '/')
        strRest.pop_back();
    if (strRest.find('@') != std::string::npos)
    {
        strError = "a login does not belong in the server address; use a credentials file or the environment";
        return false;
    }
    std::string strHost = strRest;
    // "[v6]:port", "host:port", "host"
    size_t nPortColon = std::string::npos;
    if (!strRest.empty() && strRest[0] == '[')
    {
        const size_t nClose = strRest.find(']');
        if (nClose == std::string::npos)
        {
            strError = "bad server address: " + strAddress;
            return false;
        }
        strHost = strRest.substr(1, nClose - 1);
        if (nClose + 1 < strRest.size())
        {
            if (strRest[nClose + 1] != ':')
            {
                strError = "bad server address: " + strAddress;
                return false;
            }
            nPortColon = nClose + 1;
        }
    }
    else if ((nPortColon = strRest.rfind(':')) != std::string::npos)
        strHost = strRest.substr(0, nPortColon);
    if (nPortColon != std::string::npos)
    {
        const std::string strPort = strRest.substr(nPortColon + 1);
        char* pEnd = nullptr;
        errno = 0;
        const long nPort = std::strtol(strPort.c_str(), &pEnd, 10);
        if (strPort.empty() || *pEnd != '\0' || errno != 0 || nPort < 1 || nPort > 65535)
        {
            strError = "bad port in the server address: " + strAddress;
            return false;
        }
        config.m_nPort = static_cast<int>(nPort);
    }
    if (strHost.empty() || strHost.find_first_of("/?# ") != std::string::npos)
    {
        strError = "bad host in the server address: " + strAddress;
        return false;
    }
    config.m_strHost = strHost;
    return true;
}

bool CUpstream::ReadCredentials(const std::string& strPath, usenet::SServerConfig& config, std::string& strError)
{
    const int fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
    {
        strError = "cannot open the credentials file " + strPath + ": " + std::strerror(errno);
        return false;
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
    {
        ::close(fd);
        strError = "the credentials file " + strPath + " is not a regular file";
        return false;
    }
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0 || st.st_uid != ::geteuid())
    {
        ::close(fd);
        char szMode[8];
        std::snprintf(szMode, sizeof(szMode), "%04o", static_cast<unsigned>(st.st_mode & 07777));
        strError = "the credentials file " + strPath + " has mode " + szMode +
                   " or another owner; it must be yours and readable by you only (chmod 600)";
        return false;
    }
    std::string strText;
    char buf[4096];
    for (;;)
    {
        const ssize_t n = ::read(fd, buf, sizeof(buf));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        strText.append(buf, static_cast<size_t>(n));
        if (strText.size() > 65536)
            break;
    }
    ::close(fd);
    size_t nStart = 0;
    while (nStart < strText.size())
    {
        size_t nEnd = strText.find('\n', nStart);
        if (nEnd == std::string::npos)
            nEnd = strText.size();
        std::string strLine = strText.substr(nStart, nEnd - nStart);
        nStart = nEnd + 1;
        if (!strLine.empty() && strLine.back() == '\r')
            strLine.pop_back();
        if (strLine.empty() || strLine[0] == '#')
            continue;
        if (strLine.rfind("user=", 0) == 0)
            config.m_strUser = strLine.substr(5);
        else if (strLine.rfind("password=", 0) == 0)
            config.m_strPassword = strLine.substr(9);
        else
        {
            strError = "the credentials file " + strPath + " has a line that is neither user= nor password=";
            return false;
        }
    }
    return true;
}

void CUpstream::CredentialsFromEnvironment(usenet::SServerConfig& config)
{
    if (const char* pszUser = std::getenv("DRAVELIN_NNTP_USER"))
        config.m_strUser = pszUser;
    if (const char* pszPassword = std::getenv("DRAVELIN_NNTP_PASSWORD"))
        config.m_strPassword = pszPassword;
}
