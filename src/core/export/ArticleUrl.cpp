#include "export/ArticleUrl.h"

#include "model/Article.h"
#include "model/QueueDocument.h"
#include "net/GatewayHosts.h"
#include "net/HttpConnection.h"

#include <mutex>

namespace
{
// The download side's rule for "host:port": the port is explicit when the
// host field gives the same port whatever the default.
bool HasExplicitPort(const std::string& strHost)
{
    std::string strName;
    int nPort1 = 0;
    int nPort2 = 0;
    CHttpConnection::SplitHostPort(strHost, 1, strName, nPort1);
    CHttpConnection::SplitHostPort(strHost, 2, strName, nPort2);
    return nPort1 == nPort2;
}

// A user name or password goes into the address as it is, except for the
// characters that would end it early or change the host ('@', ':', '/', ...)
// or break the line: those are percent-encoded.
std::string EncodeUserInfo(const std::string& str)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string strOut;
    for (unsigned char c : str)
    {
        if (c <= 0x20 || c == 0x7F || c == '%' || c == '@' || c == ':' || c == '/' || c == '?' || c == '#' ||
            c == '\\' || c == '[' || c == ']')
        {
            strOut += '%';
            strOut += kHex[c >> 4];
            strOut += kHex[c & 0x0F];
        }
        else
        {
            strOut += static_cast<char>(c);
        }
    }
    return strOut;
}

std::string ServiceHost(const CQueueDocument& document, int32_t nService, bool bWithCredentials)
{
    std::string strHost = document.GetServiceHost(nService, false);
    if (!bWithCredentials)
        return strHost;
    AccountPtr pAccount = document.FindAccount(nService);
    if (!pAccount)
        return document.GetServiceHost(nService, true);
    std::lock_guard lock(pAccount->m_lock);
    return EncodeUserInfo(pAccount->m_strUsername) + ":" + EncodeUserInfo(pAccount->m_strPassword) + "@" +
           strHost;
}
} // namespace

std::string BuildArticleUrl(const CArticle& article, bool bWithCredentials, const CQueueDocument& document,
                            bool bEasyNewsPort81)
{
    int32_t nService = 0;
    std::string strQuery;
    {
        std::lock_guard lock(article.m_lock);
        nService = article.m_nService;
        strQuery = article.m_strDecodeQuery;
    }
    std::string strHost = ServiceHost(document, nService, bWithCredentials);
    switch (nService)
    {
    case ServiceNewsGuy:
    case ServiceNewsGuyExtra:
        return "http://" + strHost + "/" + GatewayHosts::kNewsGuyDecodePath + strQuery + "\r\n";
    case ServiceWebUseNet:
    case ServiceWebUseNetMembers:
        return "http://" + strHost + "/" + GatewayHosts::kWebUseNetDecodePath + strQuery + "\r\n";
    case ServiceEasyNews:
        if (bEasyNewsPort81 && !HasExplicitPort(document.GetServiceHost(nService, false)))
            return "http://" + strHost + ":" + std::to_string(GatewayHosts::kEasyNewsAltPort) + strQuery +
                   "\r\n";
        return "http://" + strHost + strQuery + "\r\n";
    default:
        return {};
    }
}

std::string StripUrlLineEnd(const std::string& strUrl)
{
    if (strUrl.size() >= 2 && strUrl.compare(strUrl.size() - 2, 2, "\r\n") == 0)
        return strUrl.substr(0, strUrl.size() - 2);
    return strUrl;
}
