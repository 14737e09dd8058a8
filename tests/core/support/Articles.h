#pragma once

// Articles and accounts built from the fields a test cares about, and an
// article's stored fields as one text to compare them in one go.

#include "model/Article.h"
#include "settings/ServiceAccount.h"

#include <memory>
#include <string>

namespace testsupport
{
// The stored fields in the order of the queue file, and the lists.
struct CArticleFields
{
    int32_t nState = StateListed;
    int32_t nRetries = 0;
    int32_t nService = 1;
    int32_t nSize = 0;
    std::string strAuthor, strDate, strPath, strFileName, strSubject, strQuery;
    int32_t nLists = 0;
};

inline ArticlePtr NewArticle(const CArticleFields& f)
{
    auto p = std::make_shared<CArticle>();
    p->m_nState = f.nState;
    p->m_nRetries = f.nRetries;
    p->m_nService = f.nService;
    p->m_nSize = f.nSize;
    p->m_strAuthor = f.strAuthor;
    p->m_strDate = f.strDate;
    p->m_strDownloadPath = f.strPath;
    p->m_strFileName = f.strFileName;
    p->m_strSubject = f.strSubject;
    p->m_strDecodeQuery = f.strQuery;
    p->m_nLists = f.nLists;
    return p;
}

// An account of the service with both hosts at strHost.
inline AccountPtr NewAccount(int32_t nService, const std::string& strHost, const std::string& strUser = "",
                             const std::string& strPassword = "", int32_t nMaxDownloads = 0)
{
    auto p = std::make_shared<ServiceAccount>();
    p->m_nService = nService;
    p->m_strHeaderDomain = p->m_strDownloadDomain = strHost;
    p->m_strUsername = strUser;
    p->m_strPassword = strPassword;
    p->m_nMaxDownloads = nMaxDownloads;
    return p;
}

// "state retries service size|author|date|path|file name|subject|query", the
// query left out unless bQuery.
inline std::string Fields(const CArticle& a, bool bQuery = true)
{
    return std::to_string(a.m_nState) + " " + std::to_string(a.m_nRetries) + " " +
           std::to_string(a.m_nService) + " " + std::to_string(a.m_nSize) + "|" + a.m_strAuthor + "|" +
           a.m_strDate + "|" + a.m_strDownloadPath + "|" + a.m_strFileName + "|" + a.m_strSubject +
           (bQuery ? "|" + a.m_strDecodeQuery : "");
}
} // namespace testsupport
