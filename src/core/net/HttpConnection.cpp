#include "net/HttpConnection.h"

#include <cstdlib>

CHttpConnection::CHttpConnection(CInternetSession& session, const std::string& strHost, int nPort)
    : m_session(session)
{
    SplitHostPort(strHost, nPort, m_strHost, m_nPort);
}

void CHttpConnection::SplitHostPort(const std::string& strHostField, int nDefaultPort, std::string& strHost,
                                    int& nPort)
{
    nPort = nDefaultPort > 0 ? nDefaultPort : 80;
    strHost = strHostField;
    // Blanks around a host typed into a settings page mean nothing.
    while (!strHost.empty() && (strHost.back() == ' ' || strHost.back() == '\t'))
        strHost.pop_back();
    size_t nStart = strHost.find_first_not_of(" \t");
    strHost.erase(0, nStart == std::string::npos ? strHost.size() : nStart);

    size_t nColon = strHost.rfind(':');
    if (nColon == std::string::npos)
        return;
    size_t nBracket = strHost.rfind(']');
    if (nBracket != std::string::npos && nBracket > nColon)
        return; // "[::1]" without a port
    if (nBracket == std::string::npos && strHost.find(':') != nColon)
        return; // a bare IPv6 address, no port
    std::string strPort = strHost.substr(nColon + 1);
    if (strPort.empty() || strPort.find_first_not_of("0123456789") != std::string::npos || strPort.size() > 5)
        return;
    int n = std::atoi(strPort.c_str());
    if (n <= 0 || n > 65535)
        return;
    nPort = n;
    strHost.erase(nColon);
}

void CHttpConnection::SetServerLogin(const std::string& strUser, const std::string& strPassword)
{
    m_bServerLogin = true;
    m_strUsername = strUser;
    m_strPassword = strPassword;
}

void CHttpConnection::SetProxyLogin(const std::string& strUser, const std::string& strPassword)
{
    m_bProxyLogin = true;
    m_strProxyUsername = strUser;
    m_strProxyPassword = strPassword;
}

std::string CHttpConnection::GetBaseUrl() const
{
    std::string strHost = m_strHost;
    if (strHost.find(':') != std::string::npos && strHost.front() != '[')
        strHost = "[" + strHost + "]";
    return "http://" + strHost + ":" + std::to_string(m_nPort);
}
