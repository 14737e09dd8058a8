#include "nntp/NntpPool.h"

#include "nntp/NntpConnection.h"

#include <algorithm>
#include <cstdlib>

namespace usenet
{

namespace
{
constexpr int kMaxConnections = 50;

// A greeting or login that turns a further connection away: the account's
// limit, not a fault of the server as such.
bool IsTurnedAway(const SNntpResult& result)
{
    return result.m_nStatus == ENntpStatus::Refused && (result.m_nCode == 400 || result.m_nCode == 502);
}
} // namespace

CNntpPool::CNntpPool(SServerConfig config) : m_config(std::move(config))
{
    m_config.m_nConnections = std::clamp(m_config.m_nConnections, 1, kMaxConnections);
    m_nCapacity = m_config.m_nConnections;
}

CNntpPool::~CNntpPool()
{
    for (auto& pConnection : m_vecIdle)
        pConnection->Quit();
}

std::string CNntpPool::BracketId(std::string_view strMessageId)
{
    while (!strMessageId.empty() && (strMessageId.front() == ' ' || strMessageId.front() == '\t'))
        strMessageId.remove_prefix(1);
    while (!strMessageId.empty() && (strMessageId.back() == ' ' || strMessageId.back() == '\t'))
        strMessageId.remove_suffix(1);
    if (strMessageId.size() >= 2 && strMessageId.front() == '<' && strMessageId.back() == '>')
        return std::string(strMessageId);
    std::string strId("<");
    strId += strMessageId;
    strId += '>';
    return strId;
}

int CNntpPool::GetCapacity() const
{
    std::lock_guard lock(m_mutex);
    return m_nCapacity;
}

int CNntpPool::GetOpenCount() const
{
    std::lock_guard lock(m_mutex);
    return m_nOpen;
}

std::unique_ptr<CNntpConnection> CNntpPool::Acquire(bool bFresh, SNntpResult& error)
{
    std::unique_lock lock(m_mutex);
    for (;;)
    {
        if (!bFresh && !m_vecIdle.empty())
        {
            auto pConnection = std::move(m_vecIdle.back());
            m_vecIdle.pop_back();
            return pConnection;
        }
        std::unique_ptr<CNntpConnection> pStale;
        if (m_nOpen >= m_nCapacity && bFresh && !m_vecIdle.empty())
        {
            // Make room for a fresh one by closing the oldest idle connection.
            pStale = std::move(m_vecIdle.front());
            m_vecIdle.erase(m_vecIdle.begin());
            --m_nOpen;
        }
        if (m_nOpen < m_nCapacity)
        {
            ++m_nOpen;
            lock.unlock();
            pStale.reset();
            auto pConnection = std::make_unique<CNntpConnection>();
            SNntpResult result = pConnection->Open(m_config);
            if (result.Ok())
                return pConnection;
            pConnection.reset();
            lock.lock();
            --m_nOpen;
            m_cv.notify_all();
            if (IsTurnedAway(result) && m_nOpen > 0)
            {
                // The server holds fewer connections than configured: use those it
                // allows. (Others being opened at this moment count: the server may
                // have taken them first.)
                m_nCapacity = std::max(1, std::min(m_nCapacity, m_nOpen));
                bFresh = false;
                continue;
            }
            error = std::move(result);
            return nullptr;
        }
        m_cv.wait(lock);
    }
}

void CNntpPool::Release(std::unique_ptr<CNntpConnection> pConnection)
{
    std::unique_ptr<CNntpConnection> pClosed;
    {
        std::lock_guard lock(m_mutex);
        if (pConnection->IsUsable())
            m_vecIdle.push_back(std::move(pConnection));
        else
        {
            pClosed = std::move(pConnection);
            --m_nOpen;
        }
    }
    m_cv.notify_one();
}

SBodyResult CNntpPool::Run(const std::string& strCommand, int nOkCode, bool bMultiLine)
{
    SBodyResult result;
    for (int nTry = 0; nTry < 2; ++nTry)
    {
        SNntpResult error;
        auto pConnection = Acquire(nTry > 0, error);
        if (!pConnection)
        {
            static_cast<SNntpResult&>(result) = std::move(error);
            return result;
        }
        SNntpReplyLine reply;
        static_cast<SNntpResult&>(result) =
            pConnection->Command(strCommand, nOkCode, bMultiLine, &result.m_strBody, &reply);
        const bool bLost = result.m_nStatus == ENntpStatus::NetworkError;
        Release(std::move(pConnection));
        // A connection lost under a command: the command goes once more on a new one.
        if (!bLost)
            break;
        result.m_strBody.clear();
    }
    return result;
}

SBodyResult CNntpPool::FetchBody(std::string_view strMessageId)
{
    return Run("BODY " + BracketId(strMessageId), 222, true);
}

SBodyResult CNntpPool::FetchArticle(std::string_view strMessageId)
{
    return Run("ARTICLE " + BracketId(strMessageId), 220, true);
}

SNntpResult CNntpPool::Stat(std::string_view strMessageId)
{
    return Run("STAT " + BracketId(strMessageId), 223, false);
}

namespace
{
void ReadGroupNumbers(SGroupResult& group)
{
    // "count low high name": lenient about whatever follows the numbers.
    const char* p = group.m_strText.c_str();
    char* pEnd = nullptr;
    long long* pFields[] = {&group.m_nCount, &group.m_nLow, &group.m_nHigh};
    for (long long* pField : pFields)
    {
        *pField = std::strtoll(p, &pEnd, 10);
        if (pEnd == p)
            break;
        p = pEnd;
    }
}
} // namespace

SGroupResult CNntpPool::Group(std::string_view strGroup)
{
    SGroupResult group;
    static_cast<SNntpResult&>(group) = Run("GROUP " + std::string(strGroup), 211, false);
    if (group.Ok())
        ReadGroupNumbers(group);
    return group;
}

CNntpGroupReader::CNntpGroupReader(CNntpPool& pool) : m_pool(pool) {}

CNntpGroupReader::~CNntpGroupReader()
{
    if (m_pConnection)
        m_pool.Release(std::move(m_pConnection));
}

SNntpResult CNntpGroupReader::Run(const std::string& strCommand, int nOkCode, bool bMultiLine,
                                  std::string* pstrData, SNntpReplyLine* pReply)
{
    SNntpResult result;
    for (int nTry = 0; nTry < 2; ++nTry)
    {
        if (m_pConnection && !m_pConnection->IsUsable())
            m_pool.Release(std::move(m_pConnection));
        if (!m_pConnection)
        {
            m_pConnection = m_pool.Acquire(nTry > 0, result);
            if (!m_pConnection)
                return result;
            // A group selected on the lost connection is selected anew.
            if (!m_strGroup.empty() && strCommand.rfind("GROUP ", 0) != 0)
            {
                SNntpReplyLine reply;
                result = m_pConnection->Command("GROUP " + m_strGroup, 211, false, nullptr, &reply);
                if (result.m_nStatus == ENntpStatus::NetworkError)
                    continue;
                if (!result.Ok())
                    return result;
            }
        }
        if (pstrData)
            pstrData->clear();
        result = m_pConnection->Command(strCommand, nOkCode, bMultiLine, pstrData, pReply);
        if (result.m_nStatus != ENntpStatus::NetworkError)
            break;
    }
    return result;
}

SGroupResult CNntpGroupReader::Group(std::string_view strGroup)
{
    SGroupResult group;
    SNntpReplyLine reply;
    const std::string strCommand = "GROUP " + std::string(strGroup);
    static_cast<SNntpResult&>(group) = Run(strCommand, 211, false, nullptr, &reply);
    m_strGroup.clear();
    if (group.Ok())
    {
        m_strGroup.assign(strGroup);
        ReadGroupNumbers(group);
    }
    return group;
}

SNntpResult CNntpGroupReader::Over(long long nLow, long long nHigh, std::string& strData)
{
    strData.clear();
    std::string strRange(1, ' ');
    strRange += std::to_string(nLow);
    strRange += '-';
    strRange += std::to_string(nHigh);
    SNntpReplyLine reply;
    SNntpResult result;
    if (!m_bXover)
    {
        result = Run("OVER" + strRange, 224, true, &strData, &reply);
        // 500: an older server, which reads the same as XOVER. (The
        // connection that heard the 500 is replaced: the reader treats an
        // unknown command as a stream it can no longer trust.)
        m_bXover = result.m_nCode == 500;
    }
    if (m_bXover)
        result = Run("XOVER" + strRange, 224, true, &strData, &reply);
    if (result.m_nStatus == ENntpStatus::NoSuchArticle)
    {
        strData.clear();
        return {};
    }
    return result;
}

SProbeResult CNntpPool::Probe(const SServerConfig& config, int nConnections)
{
    SProbeResult probe;
    std::vector<std::unique_ptr<CNntpConnection>> vecOpen;
    vecOpen.push_back(std::make_unique<CNntpConnection>());
    auto cancelled = [&config] { return config.m_pCancel && config.m_pCancel->load(); };
    static_cast<SNntpResult&>(probe) = vecOpen.back()->Open(config, &probe);
    if (!probe.Ok())
    {
        probe.m_bCancelled = cancelled();
        if (probe.m_bCancelled)
            probe.m_strText = "Cancelled";
        return probe;
    }
    nConnections = std::clamp(nConnections, 1, kMaxConnections);
    probe.m_nConnectionsTried = nConnections;
    probe.m_nConnectionsAllowed = 1;
    for (int i = 1; i < nConnections && !cancelled(); ++i)
    {
        auto pConnection = std::make_unique<CNntpConnection>();
        SNntpResult extra = pConnection->Open(config);
        if (!extra.Ok())
        {
            probe.m_strConnectionRefused =
                extra.m_nCode != 0 ? std::to_string(extra.m_nCode) + " " + extra.m_strText : extra.m_strText;
            break;
        }
        vecOpen.push_back(std::move(pConnection));
        ++probe.m_nConnectionsAllowed;
    }
    probe.m_bCancelled = cancelled();
    if (probe.m_bCancelled)
    {
        probe.m_nStatus = ENntpStatus::NetworkError;
        probe.m_strText = "Cancelled";
    }
    for (auto& pConnection : vecOpen)
        pConnection->Quit();
    return probe;
}

} // namespace usenet
