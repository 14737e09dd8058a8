#include "gateway/real/UsenetListing.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace
{
// The BatchLink subject: the parser undoes "&amp;amp;", "&amp;lt;",
// "&amp;gt;", "&quot;" and the backslash-quote.
std::string SubjectHtml(const std::string& str)
{
    std::string strOut;
    strOut.reserve(str.size() + 16);
    for (char c : str)
    {
        switch (c)
        {
        case '&': strOut += "&amp;amp;"; break;
        case '<': strOut += "&amp;lt;"; break;
        case '>': strOut += "&amp;gt;"; break;
        case '"': strOut += "&quot;"; break;
        case '\'': strOut += "\\'"; break;
        case '\r':
        case '\n':
        case '\t': strOut += ' '; break;
        default: strOut += c;
        }
    }
    return strOut;
}

// Text in an attribute or a cell; the parser undoes the four entities.
std::string EntityHtml(const std::string& str)
{
    std::string strOut;
    strOut.reserve(str.size() + 16);
    for (char c : str)
    {
        switch (c)
        {
        case '&': strOut += "&amp;"; break;
        case '<': strOut += "&lt;"; break;
        case '>': strOut += "&gt;"; break;
        case '"': strOut += "&quot;"; break;
        case '\r':
        case '\n':
        case '\t': strOut += ' '; break;
        default: strOut += c;
        }
    }
    return strOut;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void SkipBlanks(const char*& p)
{
    while (*p == ' ' || *p == '\t')
        ++p;
}

bool ReadNumber(const char*& p, int& n, int nMaxDigits)
{
    int nDigits = 0;
    n = 0;
    while (std::isdigit(static_cast<unsigned char>(*p)) && nDigits < nMaxDigits)
    {
        n = n * 10 + (*p++ - '0');
        ++nDigits;
    }
    return nDigits > 0;
}
} // namespace

bool SListingRequest::Parse(const std::string& strQuery, SListingRequest& request)
{
    if (strQuery.size() < 4 || strQuery.compare(0, 2, "-s") != 0)
        return false;
    const size_t nPlus = strQuery.find('+', 3);
    if (nPlus == std::string::npos || nPlus + 1 >= strQuery.size())
        return false;
    request = SListingRequest();
    request.m_cSort = strQuery[2];
    request.m_strGroup = strQuery.substr(nPlus + 1);
    // It goes into an NNTP command line: no blanks, no control characters.
    for (const char c : request.m_strGroup)
        if (static_cast<unsigned char>(c) <= ' ' || c == '\x7f')
            return false;
    const std::string strOptions = strQuery.substr(3, nPlus - 3);
    size_t nPos = 0;
    while (nPos <= strOptions.size())
    {
        size_t nComma = strOptions.find(',', nPos);
        if (nComma == std::string::npos)
            nComma = strOptions.size();
        const std::string strOption = strOptions.substr(nPos, nComma - nPos);
        if (strOption == "B")
            request.m_bBinariesOnly = true;
        else if (strOption.size() > 1 && strOption[0] == 'n')
        {
            const long long n = std::atoll(strOption.c_str() + 1);
            if (n > 0)
                request.m_nNewest = n;
        }
        nPos = nComma + 1;
    }
    return true;
}

CUsenetListing::CUsenetListing(usenet::CNntpPool& pool, SListingRequest request, std::string strLinkHost,
                               std::string strCacheFile, LogFn log)
    : m_pool(pool), m_request(std::move(request)), m_strLinkHost(std::move(strLinkHost)),
      m_strCacheFile(std::move(strCacheFile)), m_log(std::move(log))
{
}

CUsenetListing::~CUsenetListing() = default;

bool CUsenetListing::Open(std::string& strPage)
{
    m_pReader = std::make_unique<usenet::CNntpGroupReader>(m_pool);
    const usenet::SGroupResult group = m_pReader->Group(m_request.m_strGroup);
    if (!group.Ok())
    {
        if (group.m_nStatus != usenet::ENntpStatus::NoSuchGroup)
            m_log("cannot list " + m_request.m_strGroup + ": " + group.m_strText);
        m_pReader.reset();
        strPage = NoAccessPage(m_request.m_strGroup);
        m_nStage = 2;
        return false;
    }
    Plan(group.m_nLow, group.m_nHigh);
    m_pGrouper = std::make_unique<usenet::CPostGrouper>([this](usenet::SPostedFile&& file) { Emit(std::move(file)); });
    m_nStage = 1;
    strPage = PageHeader(m_request.m_strGroup);
    return true;
}

void CUsenetListing::AddSpan(bool bCache, bool bDown, long long nFrom, long long nTo)
{
    if (nFrom > nTo)
        return;
    m_vecSpans.push_back(SSpan{bCache, bDown, nFrom, nTo, bDown ? nTo : nFrom});
    m_nNumbers += nTo - nFrom + 1;
}

void CUsenetListing::Plan(long long nLow, long long nHigh)
{
    nLow = std::max(nLow, 1LL);
    if (nHigh < nLow)
        return;
    usenet::CHeaderCache::SRun run;
    if (!m_strCacheFile.empty())
    {
        auto pCache = std::make_unique<usenet::CHeaderCache>();
        std::string strError;
        if (pCache->Open(m_strCacheFile, strError))
        {
            run = pCache->GetRun(m_request.m_strGroup);
            // A run above the server's numbers (the group was renumbered) or
            // wholly expired is read afresh; what expired is forgotten.
            if (run.m_nHigh > 0 && (run.m_nHigh > nHigh || run.m_nHigh < nLow))
            {
                pCache->Clear(m_request.m_strGroup);
                run = {};
            }
            else if (run.m_nHigh > 0 && run.m_nFirst < nLow)
            {
                pCache->DropBelow(m_request.m_strGroup, nLow);
                run.m_nFirst = nLow;
            }
            m_pCache = std::move(pCache);
        }
        else
            m_log(strError + "; listing without it");
    }
    if (run.m_nHigh == 0)
    {
        AddSpan(false, true, nLow, nHigh);
        return;
    }
    AddSpan(false, false, run.m_nHigh + 1, nHigh);
    AddSpan(true, true, run.m_nFirst, run.m_nHigh);
    AddSpan(false, true, nLow, run.m_nFirst - 1);
}

void CUsenetListing::Emit(usenet::SPostedFile&& file)
{
    if (m_nEntries >= m_request.m_nNewest || (m_request.m_bBinariesOnly && !file.m_bYenc && !file.m_bCounter))
        return;
    m_pOut->append(Entry(file, m_request.m_strGroup, ++m_nEntries, m_strLinkHost));
}

bool CUsenetListing::Next(std::string& strOut)
{
    if (m_nStage != 1)
        return false;
    m_pOut = &strOut;
    const bool bEnough = m_nEntries >= m_request.m_nNewest;
    if (!bEnough && m_nSpan < m_vecSpans.size())
    {
        const int nPercent = static_cast<int>(std::max(m_nRead * 100 / std::max(1LL, m_nNumbers),
                                                       m_nEntries * 100 / std::max(1LL, m_request.m_nNewest)));
        if (nPercent != m_nPercent)
        {
            // Sent on its own, before the batch is asked for: the client's
            // progress moves while the server answers.
            strOut += Progress(nPercent);
            m_nPercent = nPercent;
            m_pOut = nullptr;
            return true;
        }
        SSpan& span = m_vecSpans[m_nSpan];
        const bool bCache = span.m_bCache;
        // Downwards the newest come first, in the batch too, so that the
        // newest files are the ones listed.
        const bool bDown = span.m_bDown;
        const long long nFrom = span.m_bDown ? std::max(span.m_nFrom, span.m_nNext - kBatch + 1) : span.m_nNext;
        const long long nTo = span.m_bDown ? span.m_nNext : std::min(span.m_nTo, span.m_nNext + kBatch - 1);
        span.m_nNext = span.m_bDown ? nFrom - 1 : nTo + 1;
        if (span.m_bDown ? span.m_nNext < span.m_nFrom : span.m_nNext > span.m_nTo)
            ++m_nSpan;
        m_nRead += nTo - nFrom + 1;
        m_nLowestRead = m_nLowestRead == 0 ? nFrom : std::min(m_nLowestRead, nFrom);
        if (bCache)
        {
            if (!m_pCache->Read(m_request.m_strGroup, nFrom, nTo, bDown,
                                [this](const usenet::SOverviewPost& post) { m_pGrouper->Add(post); }))
                m_log("the header cache of " + m_request.m_strGroup + " cannot be read");
        }
        else
        {
            std::string strData;
            const usenet::SNntpResult result = m_pReader->Over(nFrom, nTo, strData);
            if (!result.Ok())
            {
                // What was read is listed; the page ends early.
                m_log("the overview of " + m_request.m_strGroup + " breaks off at articles " +
                      std::to_string(nFrom) + "-" + std::to_string(nTo) + ": " + result.m_strText);
                m_nSpan = m_vecSpans.size();
                m_nLowestRead = 0;
            }
            else
            {
                std::vector<usenet::SOverviewPost> vecPosts;
                usenet::SOverviewPost post;
                size_t nPos = 0;
                while (nPos < strData.size())
                {
                    size_t nEol = strData.find('\n', nPos);
                    if (nEol == std::string::npos)
                        nEol = strData.size();
                    if (usenet::ParseOverviewLine(std::string_view(strData).substr(nPos, nEol - nPos), post))
                        vecPosts.push_back(post);
                    nPos = nEol + 1;
                }
                // Stored before it is listed: what a client saw is in the cache.
                if (m_pCache && !m_pCache->StoreBatch(m_request.m_strGroup, nFrom, nTo, vecPosts))
                {
                    m_log("the header cache of " + m_request.m_strGroup + " cannot be written; listing without it");
                    m_pCache.reset();
                    // What it was to give comes from the server instead.
                    for (size_t i = m_nSpan; i < m_vecSpans.size(); ++i)
                        m_vecSpans[i].m_bCache = false;
                }
                if (bDown)
                    std::reverse(vecPosts.begin(), vecPosts.end());
                for (const usenet::SOverviewPost& one : vecPosts)
                    m_pGrouper->Add(one);
            }
        }
        m_pOut = nullptr;
        return true;
    }
    if (bEnough)
    {
        // The files still open lack parts below where the reading stopped;
        // and what the cache holds below it is no longer listed.
        m_pGrouper->Discard();
        if (m_pCache && m_nLowestRead > 0)
            m_pCache->DropBelow(m_request.m_strGroup, m_nLowestRead);
    }
    else
        m_pGrouper->Finish();
    m_pReader.reset(); // the connection goes back to the pool
    m_pCache.reset();
    strOut += Progress(100);
    strOut += PageFooter();
    m_nStage = 2;
    m_pOut = nullptr;
    return false;
}

std::string CUsenetListing::PageHeader(const std::string& strGroup)
{
    return "<html><head><title>NewsGuy News Service - " + EntityHtml(strGroup) +
           "</title>\n"
           "<script language=\"JavaScript\">\n"
           "function BatchLink(id, subject, parts, n) { document.write(subject); }\n"
           // Defined without the call's bracket: a line with one is a progress report.
           "var setProgress = function (n) { window.status = n + '%'; };\n"
           "</script></head>\n"
           "<body bgcolor=\"#FFFFFF\">\n"
           "<table border=0 cellpadding=2 cellspacing=0 width=\"100%\">\n";
}

std::string CUsenetListing::PageFooter()
{
    return "</table>\n</body></html>\n";
}

std::string CUsenetListing::NoAccessPage(const std::string& strGroup)
{
    return "<html><head><title>NewsGuy News Service - " + EntityHtml(strGroup) +
           "</title></head>\n"
           "<body bgcolor=\"#FFFFFF\">\n"
           "<h2>Cannot access Newsgroup.</h2>\n"
           "</body></html>\n";
}

std::string CUsenetListing::Progress(int nPercent)
{
    return "<script language=\"JavaScript\">setProgress(" + std::to_string(nPercent) + ")</script>\n";
}

std::string CUsenetListing::Entry(const usenet::SPostedFile& file, const std::string& strGroup, long long nId,
                                  const std::string& strLinkHost)
{
    // Line by line as the parser reads it: the BatchLink call, four cells
    // (the date in the fourth), the author's title, the link with the size,
    // and a last line with a quoted attribute.
    const std::string strId = std::to_string(nId);
    const std::string strSize = SizeText(file.EstimatedSize());
    const std::string strAuthor = EntityHtml(file.m_strPoster);
    std::string strOut;
    strOut.reserve(512);
    strOut += "<tr><td><script language=\"JavaScript\">BatchLink('u" + strId + "','" + SubjectHtml(file.ListedSubject()) +
              "'," + (file.IsComplete() ? "0" : "1") + "," + std::to_string(file.m_nTotal) + ")</script></td>\n";
    strOut += "<td align=right>" + std::to_string(file.m_vecParts.size()) + "</td>\n";
    strOut += "<td nowrap><font size=-1>" + strSize + "</font></td>\n";
    strOut += "<td>&nbsp;</td>\n";
    strOut += "<td nowrap>" + MonthDay(file.m_strDate) + "</td>\n";
    strOut += "<td><span title=\"" + strAuthor + "\">" + strAuthor + "</span></td>\n";
    strOut += "<td><a href=\"http://" + strLinkHost + "/news-bin/wwwdecode?" + file.DecodeQuery(strGroup).Encode() +
              "\">download</a> (" + strSize + ")</td>\n";
    strOut += "<td><font size=-1><a href=\"#\" onclick=\"return Pick(" + strId + ")\">pick</a></font></td></tr>\n";
    return strOut;
}

std::string CUsenetListing::SizeText(uint64_t nSize)
{
    char sz[48];
    if (nSize < 1000)
        std::snprintf(sz, sizeof sz, "%lluB", static_cast<unsigned long long>(nSize));
    else if (nSize < 1000000)
        std::snprintf(sz, sizeof sz, "%llu.%lluK", static_cast<unsigned long long>(nSize / 1000),
                      static_cast<unsigned long long>(nSize / 100 % 10));
    else
        std::snprintf(sz, sizeof sz, "%llu.%lluM", static_cast<unsigned long long>(nSize / 1000000),
                      static_cast<unsigned long long>(nSize / 100000 % 10));
    return sz;
}

std::string CUsenetListing::MonthDay(const std::string& strDate)
{
    static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
    const char* p = strDate.c_str();
    SkipBlanks(p);
    // An optional day name and its comma.
    if (std::isalpha(static_cast<unsigned char>(*p)))
    {
        while (std::isalpha(static_cast<unsigned char>(*p)))
            ++p;
        if (*p == ',')
            ++p;
        SkipBlanks(p);
    }
    int nDay = 0, nYear = 0, nHour = 0, nMinute = 0, nSecond = 0;
    if (!ReadNumber(p, nDay, 2) || nDay < 1 || nDay > 31)
        return {};
    SkipBlanks(p);
    int nMonth = 0;
    for (int i = 0; i < 12 && nMonth == 0; ++i)
        if (strncasecmp(p, kMonths[i], 3) == 0)
            nMonth = i + 1;
    if (nMonth == 0)
        return {};
    while (std::isalpha(static_cast<unsigned char>(*p)))
        ++p;
    SkipBlanks(p);
    const char* pYear = p;
    if (!ReadNumber(p, nYear, 4))
        return {};
    if (p - pYear <= 2)
        nYear += nYear < 50 ? 2000 : 1900;
    SkipBlanks(p);
    if (ReadNumber(p, nHour, 2) && *p == ':')
    {
        ++p;
        ReadNumber(p, nMinute, 2);
        if (*p == ':')
        {
            ++p;
            ReadNumber(p, nSecond, 2);
        }
    }
    SkipBlanks(p);
    int nZone = 0; // minutes east of UTC
    if (*p == '+' || *p == '-')
    {
        const int nSign = *p == '-' ? -1 : 1;
        ++p;
        int nHhmm = 0;
        if (ReadNumber(p, nHhmm, 4))
            nZone = nSign * (nHhmm / 100 * 60 + nHhmm % 100);
    }
    const int64_t nTime = DaysFromCivil(nYear, static_cast<unsigned>(nMonth), static_cast<unsigned>(nDay)) * 86400 +
                          nHour * 3600 + nMinute * 60 + nSecond - int64_t{nZone} * 60;
    // Back to a civil date, in UTC.
    int64_t z = (nTime >= 0 ? nTime : nTime - 86399) / 86400 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    char sz[16];
    std::snprintf(sz, sizeof sz, "%02u/%02u", m, d);
    return sz;
}
