#include "net/HttpRequestFramework.h"

#include "settings/Preferences.h"
#include "settings/ServiceAccount.h"

#include <cstdio>
#include <mutex>

CProxyChoice ResolveProxy(const CPreferences& settings)
{
    CProxyChoice proxy;
    std::lock_guard lock(settings.m_lock);
    if (!settings.m_bUseProxy)
        proxy.nAccessType = ProxyAccessDirect;
    else if (settings.m_nProxySetting == 0)
        proxy.nAccessType = ProxyAccessPreconfig;
    else
    {
        proxy.nAccessType = ProxyAccessNamed;
        proxy.strProxyName = settings.m_strProxyAddress + ":" + std::to_string(settings.m_nProxyPort);
    }
    return proxy;
}

void PostStatusLine(const HttpRequestProfile& profile, const std::string& strText)
{
    if (!profile.m_pStatusWindow)
        return;
    CViewMessage msg;
    msg.nMessage = WM_STATUS_TEXT;
    msg.wParam = 0;
    msg.strText = strText;
    profile.m_pStatusWindow->PostMessage(std::move(msg));
}

namespace
{
void ShowMessage(const HttpRequestProfile& profile, const std::string& strText)
{
    if (profile.m_pStatusWindow)
        profile.m_pStatusWindow->MessageBox(strText);
}
} // namespace

std::unique_ptr<CInternetSession> OpenInternetSession(const CProxyChoice& proxy, uint32_t nSessionFlags,
                                                      const HttpRequestProfile& profile)
{
    auto pSession = std::make_unique<CInternetSession>(proxy, nSessionFlags);
    if (!pSession->IsValid())
        return nullptr;
    PostStatusLine(profile, "Open InternetSession...");
    return pSession;
}

std::unique_ptr<CHttpConnection> ConnectToHost(CInternetSession& session, const HttpRequestProfile& profile,
                                               const ServiceAccount& account)
{
    // The host comes from the profile, which the caller filled from the
    // account; the account's lock still guards the connection's creation so
    // an edit on the settings pages never meets a half-made connection.
    std::lock_guard lock(account.m_lock);
    return std::make_unique<CHttpConnection>(session, profile.m_strHost, profile.m_nPort);
}

std::unique_ptr<CHttpRequest> OpenHttpRequest(CHttpConnection& connection, const std::string& strObject,
                                              uint32_t nFlags, const HttpRequestProfile& profile)
{
    auto pRequest = std::make_unique<CHttpRequest>(connection, strObject, nFlags, profile.m_bAutoRedirect);
    if (!profile.m_extraHeaders.empty())
        pRequest->SetRequestHeaders(profile.m_extraHeaders);
    PostStatusLine(profile, "Open Request...");
    return pRequest;
}

int SendWithCredentials(std::unique_ptr<CHttpRequest>& pRequest, CHttpConnection& connection,
                        const HttpRequestProfile& profile, const ServiceAccount& account,
                        const CPreferences& settings)
{
    int nFailedLogins = 0;
    int nFailedProxyLogins = 0;
    int nRedirects = 0;
    for (;;)
    {
        if (!pRequest->Send())
            return SendNetworkError;
        long nStatus = pRequest->GetStatusCode();
        if (nStatus == 401)
        {
            PostStatusLine(profile, "Sending " + profile.m_strServiceName + " Password...");
            std::string strUser;
            std::string strPassword;
            {
                std::lock_guard lock(account.m_lock);
                strUser = account.m_strUsername;
                strPassword = account.m_strPassword;
            }
            connection.SetServerLogin(strUser, strPassword);
            if (++nFailedLogins == 2)
            {
                pRequest->Close();
                char szText[512];
                std::snprintf(szText, sizeof szText, "The configured password for %s is incorrect!",
                              profile.m_strServiceName.c_str());
                ShowMessage(profile, szText);
                return SendRefused;
            }
            continue;
        }
        if (nStatus == 407)
        {
            PostStatusLine(profile, "Sending Proxy Password...");
            std::string strUser;
            std::string strPassword;
            bool bProxyAuthentication = false;
            {
                std::lock_guard lock(settings.m_lock);
                bProxyAuthentication = settings.m_bProxyAuthentication != 0;
                strUser = settings.m_strProxyUsername;
                strPassword = settings.m_strProxyPassword;
            }
            // Without proxy authentication configured there is no login to
            // offer: the request goes again as it was, and a second 407 ends it.
            if (bProxyAuthentication && !strUser.empty())
                connection.SetProxyLogin(strUser, strPassword);
            else
                connection.ClearProxyLogin();
            if (++nFailedProxyLogins == 2)
            {
                pRequest->Close();
                ShowMessage(profile, "The configured proxy password is incorrect!");
                return SendRefused;
            }
            continue;
        }
        // 307 and 308 keep the method, which for a GET is no difference.
        if (profile.m_bHandleRedirects &&
            (nStatus == 301 || nStatus == 302 || nStatus == 303 || nStatus == 307 || nStatus == 308))
        {
            // A loop of redirects must not keep a download busy for ever.
            if (++nRedirects > kMaxRedirects)
            {
                pRequest->Close();
                return SendRedirectFailed;
            }
            if (!FollowRedirect(pRequest, connection, profile))
                return SendRedirectFailed;
            continue;
        }
        return static_cast<int>(nStatus);
    }
}

bool FindRedirectObject(const std::string& strRawHeaders, std::string& strObject)
{
    size_t nPos = strRawHeaders.find("Location: ");
    if (nPos == std::string::npos)
    {
        // Header names are case-insensitive; accept any spelling at a line start.
        for (size_t nLine = strRawHeaders.find('\n'); nLine != std::string::npos;
             nLine = strRawHeaders.find('\n', nLine + 1))
        {
            if (strRawHeaders.size() - (nLine + 1) >= 9)
            {
                std::string strName = strRawHeaders.substr(nLine + 1, 9);
                for (char& c : strName)
                    if (c >= 'A' && c <= 'Z')
                        c = static_cast<char>(c - 'A' + 'a');
                if (strName == "location:")
                {
                    nPos = nLine + 1;
                    break;
                }
            }
        }
        if (nPos == std::string::npos)
            return false;
    }
    size_t nStart = nPos + 9;
    while (nStart < strRawHeaders.size() && (strRawHeaders[nStart] == ' ' || strRawHeaders[nStart] == '\t'))
        ++nStart;
    size_t nEnd = strRawHeaders.find('\n', nStart);
    std::string strLocation =
        strRawHeaders.substr(nStart, nEnd == std::string::npos ? std::string::npos : nEnd - nStart);
    // The CR in front of the LF is part of the line end, never of the target.
    std::string strClean;
    strClean.reserve(strLocation.size());
    for (char c : strLocation)
        if (c != '\r' && c != '\n')
            strClean.push_back(c);
    while (!strClean.empty() && (strClean.back() == ' ' || strClean.back() == '\t'))
        strClean.pop_back();
    // The new target goes to the same host and port: an absolute location
    // keeps only its path and query.
    size_t nScheme = strClean.find("://");
    size_t nSlash = strClean.find('/');
    if (nScheme != std::string::npos && nSlash == nScheme + 1)
    {
        size_t nPath = strClean.find('/', nScheme + 3);
        size_t nQuery = strClean.find('?', nScheme + 3);
        if (nPath == std::string::npos || (nQuery != std::string::npos && nQuery < nPath))
        {
            std::string strPath(1, '/');
            if (nQuery != std::string::npos)
                strPath.append(strClean, nQuery, std::string::npos);
            strClean.swap(strPath);
        }
        else
            strClean = strClean.substr(nPath);
    }
    else if (strClean.rfind("//", 0) == 0)
    {
        size_t nPath = strClean.find('/', 2);
        strClean = nPath == std::string::npos ? "/" : strClean.substr(nPath);
    }
    strObject = strClean;
    return true;
}

bool FollowRedirect(std::unique_ptr<CHttpRequest>& pRequest, CHttpConnection& connection,
                    const HttpRequestProfile& profile)
{
    std::string strObject;
    if (!FindRedirectObject(pRequest->GetRawHeaders(), strObject))
    {
        pRequest->Close();
        ShowMessage(profile, "Error: Site redirects with no new location");
        return false;
    }
    PostStatusLine(profile, "Redirected: " + strObject);
    pRequest->Close();
    pRequest.reset();
    pRequest = OpenHttpRequest(connection, strObject, profile.m_nRedirectFlags, profile);
    return true;
}

bool ReadListingLine(CHttpRequest& request, std::string& strLine, const CManualResetEvent& runEvent)
{
    if (!runEvent.IsSet())
        return false;
    return request.ReadLine(strLine);
}

void CloseRequest(std::unique_ptr<CHttpRequest>& pRequest, std::unique_ptr<CHttpConnection>& pConnection,
                  std::unique_ptr<CInternetSession>& pSession)
{
    if (pRequest)
        pRequest->Close();
    pRequest.reset();
    pConnection.reset();
    pSession.reset();
}
