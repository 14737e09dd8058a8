#include "gateway/real/PartStream.h"

#include <algorithm>

namespace usenet
{

namespace
{
std::string PartName(int nNumber, const std::string& strMessageId)
{
    return "part " + std::to_string(nNumber) + " (" + CNntpPool::BracketId(strMessageId) + ")";
}
} // namespace

CPartStream::CPartStream(CNntpPool& pool, std::vector<SSegmentRef> vecParts, int nWindow, int nFetchers, LogFn log)
    : m_pool(pool), m_vecParts(std::move(vecParts)), m_nWindow(static_cast<size_t>(std::max(1, nWindow))),
      m_nFetchers(std::max(1, nFetchers)), m_log(std::move(log))
{
}

CPartStream::~CPartStream()
{
    StopFetchers();
}

CPartStream::SSlot CPartStream::Fetch(size_t nIndex, bool* pbMissing)
{
    const SSegmentRef& ref = m_vecParts[nIndex];
    SSlot slot;
    for (int nTry = 1; nTry <= 2; ++nTry)
    {
        {
            std::lock_guard lock(m_mutex);
            if (m_bCancelled)
            {
                slot.m_strError = "cancelled";
                return slot;
            }
        }
        SBodyResult body = m_pool.FetchBody(ref.m_strMessageId);
        if (!body.Ok())
        {
            const bool bMissing = body.m_nStatus == ENntpStatus::NoSuchArticle;
            if (pbMissing)
                *pbMissing = bMissing;
            slot.m_strError = PartName(ref.m_nNumber, ref.m_strMessageId) +
                              (bMissing ? " is not on the server" : " could not be fetched") + ": " +
                              body.m_strText;
            // Another connection may hold it (a server farm behind one name);
            // a login refused will not change on a second asking.
            if (body.m_nStatus == ENntpStatus::AuthFailed)
                break;
            continue;
        }
        CYencDecoder decoder;
        SDecodedPart& part = slot.m_part;
        part.m_strData.clear();
        part.m_strData.reserve(body.m_strBody.size());
        decoder.Feed(body.m_strBody, part.m_strData);
        const EYencResult nResult = decoder.Finish();
        if (nResult == yrNoBegin && m_vecParts.size() == 1)
        {
            // A text post: served as it was posted, named after its id.
            SDecodedPart& text = slot.m_part;
            text.m_strData = std::move(body.m_strBody);
            text.m_nNumber = ref.m_nNumber;
            text.m_info = SYencInfo();
            const std::string strId = CNntpPool::BracketId(ref.m_strMessageId);
            text.m_info.m_strName = strId.substr(1, strId.find('@') == std::string::npos ? strId.size() - 2
                                                                                       : strId.find('@') - 1) +
                                    ".txt";
            text.m_info.m_nFileSize = text.m_strData.size();
            text.m_nBegin = 0;
            text.m_nEnd = text.m_strData.size();
            slot.m_bOk = true;
            slot.m_strError.clear();
            return slot;
        }
        if (nResult != yrOk)
        {
            slot.m_strError = PartName(ref.m_nNumber, ref.m_strMessageId) + " fails its check (" +
                              CYencDecoder::ResultText(nResult) + ")" + (nTry == 1 ? "" : " twice");
            if (pbMissing)
                *pbMissing = false;
            continue;
        }
        part.m_nNumber = ref.m_nNumber;
        part.m_info = decoder.GetInfo();
        part.m_nCrc = decoder.GetCrc();
        part.m_nBegin = part.m_info.m_nBegin > 0 ? part.m_info.m_nBegin - 1 : 0;
        part.m_nEnd = part.m_nBegin + part.m_strData.size();
        slot.m_bOk = true;
        slot.m_strError.clear();
        return slot;
    }
    return slot;
}

bool CPartStream::Open(std::string& strError, bool& bMissing)
{
    bMissing = false;
    if (m_vecParts.empty())
    {
        strError = "the file has no parts";
        return false;
    }
    SSlot slot = Fetch(0, &bMissing);
    if (!slot.m_bOk)
    {
        strError = slot.m_strError;
        return false;
    }
    m_first = std::move(slot.m_part);
    if (m_first.m_info.m_nFileSize == 0 && m_first.m_info.m_nPart == 0)
        m_first.m_info.m_nFileSize = m_first.m_strData.size();
    return true;
}

void CPartStream::Seek(uint64_t nOffset)
{
    StopFetchers();
    // Parts of one post have one size but the last: the part holding the
    // offset is found by that, and corrected in Next when the guess was off.
    const uint64_t nPartSize = std::max<uint64_t>(1, m_first.m_nEnd - m_first.m_nBegin);
    const size_t nIndex =
        std::min<size_t>(m_vecParts.size() - 1, static_cast<size_t>(nOffset / nPartSize));
    std::lock_guard lock(m_mutex);
    m_nPosition = nOffset;
    m_bSeeking = true;
    m_bStop = false;
    m_ready.clear();
    m_nNextDeliver = nIndex;
    if (nIndex > 0)
    {
        m_bFirstUnused = false;
        m_first.m_strData.clear();
        m_first.m_strData.shrink_to_fit();
    }
    m_nNextFetch = m_bFirstUnused ? 1 : nIndex;
    const size_t nLeft = m_vecParts.size() - m_nNextFetch;
    const int nThreads = static_cast<int>(std::min<size_t>({nLeft, m_nWindow, static_cast<size_t>(m_nFetchers)}));
    for (int i = 0; i < nThreads; ++i)
        m_vecThreads.emplace_back([this] { FetcherLoop(); });
}

void CPartStream::Restart(size_t nIndex)
{
    std::lock_guard lock(m_mutex);
    ++m_nGeneration;
    m_ready.clear();
    m_nNextDeliver = nIndex;
    m_nNextFetch = nIndex;
    if (m_vecThreads.empty())
        for (int i = 0; i < m_nFetchers; ++i)
            m_vecThreads.emplace_back([this] { FetcherLoop(); });
    m_cv.notify_all();
}

void CPartStream::FetcherLoop()
{
    std::unique_lock lock(m_mutex);
    for (;;)
    {
        m_cv.wait(lock, [this] {
            return m_bStop || m_bCancelled ||
                   (m_nNextFetch < m_vecParts.size() && m_nNextFetch < m_nNextDeliver + m_nWindow);
        });
        if (m_bStop || m_bCancelled)
            return;
        const size_t nIndex = m_nNextFetch++;
        const int nGeneration = m_nGeneration;
        lock.unlock();
        SSlot slot = Fetch(nIndex);
        lock.lock();
        if (nGeneration == m_nGeneration && nIndex >= m_nNextDeliver)
        {
            m_ready[nIndex] = std::move(slot);
            m_cv.notify_all();
        }
    }
}

bool CPartStream::Next(SDecodedPart& part, std::string& strError)
{
    strError.clear();
    const uint64_t nFileSize = GetFileSize();
    for (;;)
    {
        SSlot slot;
        size_t nIndex = 0;
        {
            std::unique_lock lock(m_mutex);
            if (m_nPosition >= nFileSize)
                return false;
            if (m_nNextDeliver >= m_vecParts.size())
            {
                strError = "the parts end at byte " + std::to_string(m_nPosition) + " of " +
                           std::to_string(nFileSize);
                return false;
            }
            nIndex = m_nNextDeliver;
            if (nIndex == 0 && m_bFirstUnused)
            {
                m_bFirstUnused = false;
                slot.m_bOk = true;
                slot.m_part = std::move(m_first);
                m_first.m_info = slot.m_part.m_info;
                m_first.m_nBegin = slot.m_part.m_nBegin;
                m_first.m_nEnd = slot.m_part.m_nEnd;
            }
            else
            {
                m_cv.wait(lock, [&] { return m_bCancelled || m_ready.count(nIndex) != 0; });
                if (m_bCancelled)
                {
                    strError = "cancelled";
                    return false;
                }
                slot = std::move(m_ready[nIndex]);
                m_ready.erase(nIndex);
            }
            ++m_nNextDeliver;
            m_cv.notify_all();
        }
        if (!slot.m_bOk)
        {
            strError = slot.m_strError;
            return false;
        }
        SDecodedPart& got = slot.m_part;
        if (got.m_info.m_nFileSize != nFileSize && got.m_info.m_nFileSize != 0)
        {
            strError = PartName(got.m_nNumber, m_vecParts[nIndex].m_strMessageId) +
                       " belongs to a file of another size";
            return false;
        }
        if (got.m_nEnd <= m_nPosition)
            continue; // wholly before the position
        if (got.m_nBegin > m_nPosition)
        {
            // A guess past the position (parts of unequal sizes): go back.
            if (m_bSeeking && nIndex > 0)
            {
                Restart(nIndex - 1);
                continue;
            }
            strError = PartName(got.m_nNumber, m_vecParts[nIndex].m_strMessageId) + " starts at byte " +
                       std::to_string(got.m_nBegin) + ", not at " + std::to_string(m_nPosition);
            return false;
        }
        m_bSeeking = false;
        m_nPosition = got.m_nEnd;
        part = std::move(got);
        return true;
    }
}

void CPartStream::Cancel()
{
    std::lock_guard lock(m_mutex);
    m_bCancelled = true;
    m_cv.notify_all();
}

void CPartStream::StopFetchers()
{
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
        m_cv.notify_all();
    }
    for (auto& thread : m_vecThreads)
        thread.join();
    m_vecThreads.clear();
    std::lock_guard lock(m_mutex);
    m_bStop = false;
}

} // namespace usenet
