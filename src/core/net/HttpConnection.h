#pragma once

#include <string>

class CInternetSession;

// One host and port within a session, with the logins that have been set on
// it. Credentials are only sent once they were set here (after a challenge).
class CHttpConnection
{
public:
    CHttpConnection(CInternetSession& session, const std::string& strHost, int nPort);
    virtual ~CHttpConnection() = default;
    CHttpConnection(const CHttpConnection&) = delete;
    CHttpConnection& operator=(const CHttpConnection&) = delete;

    // "host:port" (or "[v6]:port") splits into host and port; an explicit
    // port wins over nDefaultPort; nDefaultPort 0 means 80.
    static void SplitHostPort(const std::string& strHostField, int nDefaultPort, std::string& strHost, int& nPort);

    void SetServerLogin(const std::string& strUser, const std::string& strPassword);
    void SetProxyLogin(const std::string& strUser, const std::string& strPassword);

    // "http://host:port" for the request URLs.
    std::string GetBaseUrl() const;

    CInternetSession& m_session;
    std::string m_strHost;
    int m_nPort = 80;
    bool m_bServerLogin = false;
    std::string m_strUsername;
    std::string m_strPassword;
    bool m_bProxyLogin = false;
    std::string m_strProxyUsername;
    std::string m_strProxyPassword;
};
