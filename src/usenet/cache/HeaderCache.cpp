#include "cache/HeaderCache.h"

#include <sqlite3.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace usenet
{

namespace
{
// Bumped whenever the tables change: an older file is rebuilt.
constexpr int kSchemaVersion = 1;

class CStatement
{
public:
    CStatement(sqlite3* pDb, const char* pszSql)
    {
        if (sqlite3_prepare_v2(pDb, pszSql, -1, &m_p, nullptr) != SQLITE_OK)
            m_p = nullptr;
    }
    ~CStatement() { sqlite3_finalize(m_p); }
    CStatement(const CStatement&) = delete;
    CStatement& operator=(const CStatement&) = delete;

    bool Ok() const { return m_p != nullptr; }
    CStatement& Bind(int i, long long n)
    {
        sqlite3_bind_int64(m_p, i, n);
        return *this;
    }
    CStatement& Bind(int i, std::string_view str)
    {
        sqlite3_bind_text(m_p, i, str.data(), static_cast<int>(str.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int Step() { return m_p ? sqlite3_step(m_p) : SQLITE_ERROR; }
    bool Run()
    {
        const int r = Step();
        sqlite3_reset(m_p);
        return r == SQLITE_DONE || r == SQLITE_ROW;
    }
    void Reset()
    {
        sqlite3_reset(m_p);
        sqlite3_clear_bindings(m_p);
    }
    long long Int(int i) const { return sqlite3_column_int64(m_p, i); }
    std::string_view Text(int i) const
    {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_p, i));
        return p ? std::string_view(p, static_cast<size_t>(sqlite3_column_bytes(m_p, i))) : std::string_view();
    }

private:
    sqlite3_stmt* m_p = nullptr;
};
} // namespace

CHeaderCache::CHeaderCache() = default;

CHeaderCache::~CHeaderCache()
{
    Close();
}

void CHeaderCache::Close()
{
    if (m_pDb)
        sqlite3_close(m_pDb);
    m_pDb = nullptr;
}

bool CHeaderCache::Exec(const char* pszSql)
{
    return m_pDb && sqlite3_exec(m_pDb, pszSql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool CHeaderCache::CreateSchema()
{
    int nVersion = 0;
    {
        CStatement version(m_pDb, "PRAGMA user_version");
        if (version.Step() == SQLITE_ROW)
            nVersion = static_cast<int>(version.Int(0));
    }
    if (nVersion != kSchemaVersion && !Exec("DROP TABLE IF EXISTS articles; DROP TABLE IF EXISTS groups;"))
        return false;
    return Exec("CREATE TABLE IF NOT EXISTS groups(id INTEGER PRIMARY KEY, name TEXT UNIQUE NOT NULL,"
                " first INTEGER NOT NULL DEFAULT 0, high INTEGER NOT NULL DEFAULT 0);"
                "CREATE TABLE IF NOT EXISTS articles(grp INTEGER NOT NULL, number INTEGER NOT NULL,"
                " message_id TEXT NOT NULL, subject TEXT NOT NULL, poster TEXT NOT NULL, date TEXT NOT NULL,"
                " bytes INTEGER NOT NULL, PRIMARY KEY(grp, number)) WITHOUT ROWID;") &&
           Exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
}

bool CHeaderCache::Open(const std::string& strPath, std::string& strError)
{
    Close();
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(strPath).parent_path();
    if (!folder.empty())
        std::filesystem::create_directories(folder, ec);
    for (int nTry = 0; nTry < 2; ++nTry)
    {
        if (sqlite3_open_v2(strPath.c_str(), &m_pDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr) == SQLITE_OK)
        {
            // Two listings at once share the file: the writer waits its turn.
            sqlite3_busy_timeout(m_pDb, 10000);
            if (Exec("PRAGMA journal_mode=WAL") && Exec("PRAGMA synchronous=NORMAL") && CreateSchema())
                return true;
        }
        strError = m_pDb ? sqlite3_errmsg(m_pDb) : "out of memory";
        Close();
        // Not a database, or one from something else: it is only a cache.
        if (nTry == 0)
        {
            std::filesystem::remove(strPath, ec);
            std::filesystem::remove(strPath + "-wal", ec);
            std::filesystem::remove(strPath + "-shm", ec);
        }
    }
    strError = "cannot open the header cache " + strPath + ": " + strError;
    return false;
}

long long CHeaderCache::GroupId(const std::string& strGroup, bool bCreate)
{
    if (bCreate)
    {
        CStatement insert(m_pDb, "INSERT OR IGNORE INTO groups(name) VALUES(?)");
        insert.Bind(1, strGroup).Run();
    }
    CStatement select(m_pDb, "SELECT id FROM groups WHERE name=?");
    select.Bind(1, strGroup);
    return select.Step() == SQLITE_ROW ? select.Int(0) : 0;
}

CHeaderCache::SRun CHeaderCache::GetRun(const std::string& strGroup)
{
    SRun run;
    CStatement select(m_pDb, "SELECT first, high FROM groups WHERE name=?");
    select.Bind(1, strGroup);
    if (select.Step() == SQLITE_ROW)
    {
        run.m_nFirst = select.Int(0);
        run.m_nHigh = select.Int(1);
    }
    return run;
}

bool CHeaderCache::DropBelow(const std::string& strGroup, long long nLow)
{
    const long long nId = GroupId(strGroup, false);
    if (nId == 0)
        return true;
    CStatement drop(m_pDb, "DELETE FROM articles WHERE grp=? AND number<?");
    CStatement mark(m_pDb, "UPDATE groups SET first=max(first, ?) WHERE id=? AND high>0");
    return Exec("BEGIN IMMEDIATE") && drop.Bind(1, nId).Bind(2, nLow).Run() && mark.Bind(1, nLow).Bind(2, nId).Run() &&
           Exec("COMMIT");
}

bool CHeaderCache::StoreBatch(const std::string& strGroup, long long nFrom, long long nTo,
                              const std::vector<SOverviewPost>& vecPosts)
{
    if (!Exec("BEGIN IMMEDIATE"))
        return false;
    const long long nId = GroupId(strGroup, true);
    CStatement insert(m_pDb, "INSERT OR REPLACE INTO articles VALUES(?,?,?,?,?,?,?)");
    CStatement mark(m_pDb, "UPDATE groups SET first=CASE WHEN high=0 THEN ?1 ELSE min(first, ?1) END,"
                           " high=max(high, ?2) WHERE id=?3");
    bool bOk = nId != 0 && insert.Ok();
    for (const SOverviewPost& post : vecPosts)
    {
        if (!bOk)
            break;
        bOk = insert.Bind(1, nId)
                  .Bind(2, post.m_nNumber)
                  .Bind(3, post.m_strMessageId)
                  .Bind(4, post.m_strSubject)
                  .Bind(5, post.m_strFrom)
                  .Bind(6, post.m_strDate)
                  .Bind(7, post.m_nBytes)
                  .Run();
    }
    bOk = bOk && mark.Bind(1, nFrom).Bind(2, nTo).Bind(3, nId).Run();
    if (bOk && Exec("COMMIT"))
        return true;
    Exec("ROLLBACK");
    return false;
}

bool CHeaderCache::Read(const std::string& strGroup, long long nFrom, long long nTo, bool bDown,
                        const std::function<void(const SOverviewPost&)>& fnPost)
{
    const long long nId = GroupId(strGroup, false);
    if (nId == 0)
        return true;
    CStatement select(m_pDb, bDown ? "SELECT number, message_id, subject, poster, date, bytes FROM articles"
                                     " WHERE grp=? AND number BETWEEN ? AND ? ORDER BY number DESC"
                                   : "SELECT number, message_id, subject, poster, date, bytes FROM articles"
                                     " WHERE grp=? AND number BETWEEN ? AND ? ORDER BY number");
    select.Bind(1, nId).Bind(2, nFrom).Bind(3, nTo);
    int r = 0;
    while ((r = select.Step()) == SQLITE_ROW)
    {
        SOverviewPost post;
        post.m_nNumber = select.Int(0);
        post.m_strMessageId = select.Text(1);
        post.m_strSubject = select.Text(2);
        post.m_strFrom = select.Text(3);
        post.m_strDate = select.Text(4);
        post.m_nBytes = select.Int(5);
        fnPost(post);
    }
    return r == SQLITE_DONE;
}

bool CHeaderCache::Clear(const std::string& strGroup)
{
    const long long nId = GroupId(strGroup, false);
    if (nId == 0)
        return false;
    CStatement drop(m_pDb, "DELETE FROM articles WHERE grp=?");
    CStatement group(m_pDb, "DELETE FROM groups WHERE id=?");
    return Exec("BEGIN IMMEDIATE") && drop.Bind(1, nId).Run() && group.Bind(1, nId).Run() && Exec("COMMIT");
}

std::vector<CHeaderCache::SGroupInfo> CHeaderCache::GetGroups()
{
    std::vector<SGroupInfo> groups;
    CStatement select(m_pDb, "SELECT name, first, high, (SELECT count(*) FROM articles WHERE grp=id)"
                             " FROM groups ORDER BY name");
    while (select.Step() == SQLITE_ROW)
        groups.push_back(SGroupInfo{std::string(select.Text(0)), select.Int(3), select.Int(1), select.Int(2)});
    return groups;
}

std::string CHeaderCache::DefaultPath(const std::string& strHost, int nPort)
{
    std::filesystem::path folder;
    if (const char* pszCache = std::getenv("XDG_CACHE_HOME"); pszCache && *pszCache == '/')
        folder = pszCache;
    else if (const char* pszHome = std::getenv("HOME"); pszHome && *pszHome)
        folder = std::filesystem::path(pszHome) / ".cache";
    else
        folder = std::filesystem::temp_directory_path();
    std::string strName;
    for (char c : strHost)
        strName += (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-') ? c : '_';
    if (strName.empty() || strName[0] == '.')
        strName = "_" + strName;
    return (folder / "dravelin" / (strName + "_" + std::to_string(nPort) + ".sqlite")).string();
}

} // namespace usenet
