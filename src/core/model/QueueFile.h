#pragma once

#include "model/Article.h"

#include <string>
#include <vector>

class CArticleList;

// What a queue-file load found.
struct CQueueLoadResult
{
    bool bFileFound = false; // the file existed and could be read
    bool bMalformed = false; // the bytes broke off or were not this program's
    std::string strError;    // why, for bMalformed or an unreadable file
    int nStored = 0;         // articles read from the file before any fault
    int nListed = 0;         // of these, the ones appended by the load rules
};

// The queue file "Dravelin.dvq": a 32-bit count and the queued CArticle
// objects in the MFC archive format, in progress-list order.
class CQueueFile
{
public:
    // The bytes of a queue file holding these articles.
    static std::string Serialize(const std::vector<ArticlePtr>& articles);
    // Writes the file atomically; on failure the old file stays and false is
    // returned (pError receives the reason).
    static bool SaveQueueFile(const std::string& strPath, const std::vector<ArticlePtr>& articles,
                              std::string* pError = nullptr);
    static bool SaveQueueFile(const std::string& strPath, const CArticleList& progress,
                              std::string* pError = nullptr);

    // Reads every stored article as it is, without the load rules. A fault
    // keeps the articles read before it and is reported in the result.
    static CQueueLoadResult ReadQueueFile(const std::string& strPath, std::vector<ArticlePtr>& articles);
    // Parses queue-file bytes; same reporting as ReadQueueFile.
    static CQueueLoadResult Parse(const std::string& strData, std::vector<ArticlePtr>& articles);
    // Applies the load rules and appends to the progress list: states 1 and 6
    // become 0, 7 is dropped; the rest is appended (m_nLists = 2) when
    // bLoadAll is set or the state is 0, otherwise dropped.
    static CQueueLoadResult LoadQueueFile(const std::string& strPath, bool bLoadAll, CArticleList& progress);
};
