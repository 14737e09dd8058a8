#pragma once

// The header cache of one news server: per group, the overview of every
// article read so far (number, message-id, subject, poster, date, bytes),
// so a second listing asks the server only for the numbers above the
// stored high mark. SQLite in WAL mode, one batch per transaction: a process
// killed halfway leaves the cache as it was before that batch. It is a
// cache: a file it cannot use is started afresh, and a schema change
// rebuilds it. One object per thread; several may use one file at once.

#include "posts/PostGrouper.h"

#include <functional>
#include <string>
#include <vector>

typedef struct sqlite3 sqlite3;

namespace usenet
{

class CHeaderCache
{
public:
    CHeaderCache();
    ~CHeaderCache();
    CHeaderCache(const CHeaderCache&) = delete;
    CHeaderCache& operator=(const CHeaderCache&) = delete;

    // Opens (or makes) the file and its folder. False with the reason.
    bool Open(const std::string& strPath, std::string& strError);
    bool IsOpen() const { return m_pDb != nullptr; }

    // What is stored of a group: every article from m_nFirst to m_nHigh
    // that the server had (both 0 when nothing is).
    struct SRun
    {
        long long m_nFirst = 0;
        long long m_nHigh = 0;
    };
    SRun GetRun(const std::string& strGroup);
    // Keeps only the articles from nLow on (expired ones, or ones below
    // what a listing reads, are forgotten).
    bool DropBelow(const std::string& strGroup, long long nLow);
    // Stores the overview of the batch nFrom..nTo, in one transaction, and
    // widens the run by it. The batch must join the run (or start it).
    bool StoreBatch(const std::string& strGroup, long long nFrom, long long nTo,
                    const std::vector<SOverviewPost>& vecPosts);
    // The stored articles nFrom..nTo, in number order (the highest first with bDown).
    bool Read(const std::string& strGroup, long long nFrom, long long nTo, bool bDown,
              const std::function<void(const SOverviewPost&)>& fnPost);
    // Forgets a group; false when it was not stored.
    bool Clear(const std::string& strGroup);

    struct SGroupInfo
    {
        std::string m_strName;
        long long m_nArticles = 0;
        long long m_nFirst = 0;
        long long m_nHigh = 0;
    };
    std::vector<SGroupInfo> GetGroups();

    // $XDG_CACHE_HOME/dravelin/<host>_<port>.sqlite ($HOME/.cache when the
    // variable is not set).
    static std::string DefaultPath(const std::string& strHost, int nPort);

private:
    bool Exec(const char* pszSql);
    bool CreateSchema();
    long long GroupId(const std::string& strGroup, bool bCreate);
    void Close();

    sqlite3* m_pDb = nullptr;
};

} // namespace usenet
