#include "listing/EasyNewsParser.h"

#include "listing/ListingText.h"

#include <cstdio>

using ListingText::npos;

int64_t CEasyNewsParser::ParseSize(std::string_view strSize)
{
    // "0 KB" stands for less than one unit: it counts as one unit.
    const int64_t nSize = ListingText::SizeOfText(strSize);
    if (nSize == 0 && strSize.find('.') == npos)
        return ListingText::SizeUnit(strSize);
    return nSize;
}

std::string CEasyNewsParser::ReduceLink(std::string_view target)
{
    std::string strQuery(target);
    static constexpr std::string_view kWarnExe = "javascript:warnexe('";
    if (strQuery.find(kWarnExe) != npos)
    {
        ListingText::ReplaceAll(strQuery, kWarnExe, "");
        ListingText::ReplaceAll(strQuery, "');", "");
    }
    // A download is requested from the download host: keep only the path of
    // an absolute address (also when it came wrapped in the script call).
    if (strQuery.size() >= 7 && strQuery.compare(4, 3, "://") == 0)
    {
        size_t nSlash = strQuery.find('/', 8);
        strQuery = nSlash == npos ? std::string("/") : strQuery.substr(nSlash);
    }
    else if (strQuery.size() >= 8 && strQuery.compare(5, 3, "://") == 0)
    {
        size_t nSlash = strQuery.find('/', 9);
        strQuery = nSlash == npos ? std::string("/") : strQuery.substr(nSlash);
    }
    return strQuery;
}

std::string CEasyNewsParser::PageDate(std::time_t tNow, int nDaysAgo)
{
    std::tm tm{};
    localtime_r(&tNow, &tm);
    // Count whole calendar days back from noon, so a daylight-saving change
    // never shifts the date.
    tm.tm_mday -= nDaysAgo;
    tm.tm_hour = 12;
    tm.tm_min = 0;
    tm.tm_sec = 0;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    std::tm day{};
    localtime_r(&t, &day);
    char szDate[16];
    std::snprintf(szDate, sizeof szDate, "%02d/%02d", day.tm_mon + 1, day.tm_mday);
    return szDate;
}

std::string CEasyNewsParser::NextPageObject(const std::string& strObject, int nPage)
{
    long s = strObject.rfind('/') == npos ? -1 : static_cast<long>(strObject.rfind('/'));
    long d = strObject.rfind('-') == npos ? -1 : static_cast<long>(strObject.rfind('-'));
    long k = std::max(s + 1, d - 1);
    std::string strNext = strObject.substr(0, static_cast<size_t>(s + 1));
    strNext += std::to_string(nPage);
    if (static_cast<size_t>(k + 1) < strObject.size())
        strNext += strObject.substr(static_cast<size_t>(k + 1));
    return strNext;
}

std::string CEasyNewsParser::ObjectOfUrl(const std::string& strUrl)
{
    size_t nScheme = strUrl.find("://");
    size_t nFrom = nScheme == npos ? 0 : nScheme + 3;
    size_t nSlash = strUrl.find('/', nFrom);
    if (nSlash == npos)
        return "/";
    return strUrl.substr(nSlash);
}

ArticlePtr CEasyNewsParser::ParseLine(std::string_view line)
{
    size_t a = line.find("<input type");
    if (a == npos || line.find("checkbox") == npos)
        return nullptr;
    size_t h = line.find("<a href=", a);
    if (h == npos)
        return nullptr;
    size_t nBr = line.find("<br>");
    if (nBr != npos && nBr < h)
        m_strAuthor.assign(line.substr(0, nBr));

    size_t nTarget = h + 9;
    if (nTarget > line.size())
        return nullptr;
    size_t nGt = line.find('>', nTarget);
    if (nGt == npos)
        return nullptr;
    // The closing quote in front of the ">" is not part of the target.
    std::string_view target = line.substr(nTarget, nGt > nTarget ? nGt - nTarget - 1 : 0);
    size_t nTextEnd = line.find('<', nGt + 1);
    std::string strSubject(line.substr(nGt + 1, nTextEnd == npos ? npos : nTextEnd - nGt - 1));

    auto pArticle = std::make_shared<CArticle>();
    CArticle& article = *pArticle;
    article.m_nLists = ListArticles;
    article.m_nState = StateListed;
    article.m_nRetries = 0;
    article.m_nService = 16;
    article.m_strDate = m_strDate;
    article.m_strDecodeQuery = ReduceLink(target);

    size_t nDash = strSubject.rfind('-');
    std::string strSizePart =
        nDash == npos ? (strSubject.size() > 1 ? strSubject.substr(1) : std::string())
                      : (nDash + 2 < strSubject.size() ? strSubject.substr(nDash + 2) : std::string());
    article.SetSize(ParseSize(strSizePart));
    article.m_strFileName = strSizePart;
    if (!ListingText::YEncFileName(strSubject, 0, article.m_strFileName))
        ListingText::DashFileName(strSubject, article.m_strFileName);

    std::string strAuthor = m_strAuthor;
    ListingText::DecodeEasyNewsText(strAuthor);
    ListingText::DecodeEasyNewsText(strSubject);
    article.m_strAuthor = std::move(strAuthor);
    article.m_strSubject = std::move(strSubject);
    return pArticle;
}
