#include "gateway/GatewayCorpus.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <ctime>

namespace
{
uint64_t Mix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

uint64_t HashText(const std::string& str)
{
    uint64_t h = 0xCBF29CE484222325ull;
    for (unsigned char c : str)
        h = (h ^ c) * 0x100000001B3ull;
    return h;
}

// A small deterministic stream of numbers for one article.
class CArticleDice
{
public:
    explicit CArticleDice(uint64_t nStart) : m_nState(nStart) {}
    uint64_t Next() { return Mix(m_nState++); }
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
    double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }
    int64_t LogBetween(int64_t nLow, int64_t nHigh)
    {
        const double lo = std::log(static_cast<double>(nLow));
        const double hi = std::log(static_cast<double>(nHigh));
        const int64_t n = static_cast<int64_t>(std::exp(lo + (hi - lo) * Unit()));
        return std::clamp(n, nLow, nHigh);
    }

private:
    uint64_t m_nState;
};

const char* const kWords[] = {"holiday", "photos", "backup", "archive", "album", "release", "collection",
                              "sample", "scans", "project", "docs", "video", "misc", "old", "new", "part"};
const char* const kExtensions[] = {".rar", ".r01", ".par2", ".nfo", ".jpg", ".mp3", ".zip", ".7z", ".avi", ".iso"};
const char* const kNames[] = {"Joe", "Anna", "Mike", "Kim", "Olga", "Pat", "Sam", "Lee"};

struct CDemoTheme
{
    const char* m_pszGroup;
    const char* const* m_ppWords;
    size_t m_nWords;
    const char* const* m_ppExtensions;
    size_t m_nExtensions;
};

const char* const kPictureWords[] = {"Holiday photos", "Garden", "Mountains", "City at night", "Birds", "Sunset"};
const char* const kPictureExt[] = {".jpg", ".png", ".gif"};
const char* const kMusicWords[] = {"Live session", "Piano pieces", "Field recordings", "Demo tape", "Jazz trio"};
const char* const kMusicExt[] = {".mp3", ".ogg", ".flac"};
const char* const kIsoWords[] = {"Linux netinstall", "Rescue disk", "Live system", "Minimal image"};
const char* const kIsoExt[] = {".iso", ".img", ".sha256"};

const CDemoTheme kThemes[] = {
    {"alt.binaries.demo.pictures", kPictureWords, std::size(kPictureWords), kPictureExt, std::size(kPictureExt)},
    {"alt.binaries.demo.music", kMusicWords, std::size(kMusicWords), kMusicExt, std::size(kMusicExt)},
    {"alt.binaries.demo.linux-isos", kIsoWords, std::size(kIsoWords), kIsoExt, std::size(kIsoExt)},
};

std::string Decimal(int64_t nValue, int nDigits)
{
    // nValue in units of 10^-nDigits
    int64_t nScale = 1;
    for (int i = 0; i < nDigits; ++i)
        nScale *= 10;
    std::string str = std::to_string(nValue / nScale);
    std::string strFraction = std::to_string(nValue % nScale);
    str += '.';
    str.append(static_cast<size_t>(nDigits) - strFraction.size(), '0');
    return str + strFraction;
}

// Size texts name the body size truncated to their last digit, so a listed
// size is never above the body and less than one step of that digit below it.
void NewsGuySize(int64_t nSize, CArticleDice& dice, CGatewayArticle& a)
{
    if (nSize < 1000)
    {
        a.m_strSizeText = std::to_string(nSize) + "B";
        a.m_nListedSize = nSize;
        return;
    }
    if (nSize < 1000000)
    {
        if (dice.Below(4) != 0)
        {
            a.m_strSizeText = Decimal(nSize / 100, 1) + "K";
            a.m_nListedSize = nSize / 100 * 100;
        }
        else
        {
            a.m_strSizeText = std::to_string(nSize / 1000) + "K";
            a.m_nListedSize = nSize / 1000 * 1000;
        }
        return;
    }
    const uint32_t nForm = dice.Below(3);
    if (nSize >= 1000000000 && nForm == 2)
    {
        a.m_strSizeText = Decimal(nSize / 10000000, 2) + "G";
        a.m_nListedSize = nSize / 10000000 * 10000000;
    }
    else if (nForm != 0)
    {
        a.m_strSizeText = Decimal(nSize / 100000, 1) + "M";
        a.m_nListedSize = nSize / 100000 * 100000;
    }
    else
    {
        a.m_strSizeText = Decimal(nSize / 10000, 2) + "M";
        a.m_nListedSize = nSize / 10000 * 10000;
    }
}

void EasyNewsSize(int64_t nSize, CArticleDice& dice, CGatewayArticle& a)
{
    if (nSize < 1000)
    {
        if (dice.Below(5) == 0)
        {
            // Below one kilobyte: the listing counts it as one.
            a.m_strEasySizeText = "0 KB";
            a.m_nEasyListedSize = 1000;
        }
        else
        {
            a.m_strEasySizeText = std::to_string(nSize) + " B";
            a.m_nEasyListedSize = nSize;
        }
        return;
    }
    if (nSize < 1000000)
    {
        if (dice.Below(6) == 0)
        {
            a.m_strEasySizeText = Decimal(nSize / 100, 1) + " KB";
            a.m_nEasyListedSize = nSize / 100 * 100;
        }
        else
        {
            a.m_strEasySizeText = std::to_string(nSize / 1000) + " KB";
            a.m_nEasyListedSize = nSize / 1000 * 1000;
        }
        return;
    }
    a.m_strEasySizeText = Decimal(nSize / 100000, 1) + " MB";
    a.m_nEasyListedSize = nSize / 100000 * 100000;
}

// Escapes for the NewsGuy BatchLink subject: its parser decodes "&amp;amp;",
// "&amp;lt;", "&amp;gt;", "&quot;" and the backslash-quote.
std::string NewsGuySubjectHtml(const std::string& str)
{
    if (str.find_first_of("&<>\"'") == std::string::npos)
        return str;
    std::string strOut;
    strOut.reserve(str.size() + 32);
    for (char c : str)
    {
        switch (c)
        {
        case '&': strOut += "&amp;amp;"; break;
        case '<': strOut += "&amp;lt;"; break;
        case '>': strOut += "&amp;gt;"; break;
        case '"': strOut += "&quot;"; break;
        case '\'': strOut += "\\'"; break;
        default: strOut += c;
        }
    }
    return strOut;
}

// Escapes for authors (both services) and EasyNews subjects; brackets are
// escaped once or twice, both forms decode to the bracket.
std::string EntityHtml(const std::string& str, bool bDouble)
{
    if (str.find_first_of("&<>\"") == std::string::npos)
        return str;
    std::string strOut;
    strOut.reserve(str.size() + 32);
    for (char c : str)
    {
        switch (c)
        {
        case '&': strOut += "&amp;"; break;
        case '<': strOut += bDouble ? "&amp;lt;" : "&lt;"; break;
        case '>': strOut += bDouble ? "&amp;gt;" : "&gt;"; break;
        case '"': strOut += "&quot;"; break;
        default: strOut += c;
        }
    }
    return strOut;
}

std::string HttpDate(int64_t nTime)
{
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const time_t t = static_cast<time_t>(nTime);
    struct tm tmUtc{};
    gmtime_r(&t, &tmUtc);
    char sz[64];
    std::snprintf(sz, sizeof sz, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[tmUtc.tm_wday], tmUtc.tm_mday,
                  kMonths[tmUtc.tm_mon], tmUtc.tm_year + 1900, tmUtc.tm_hour, tmUtc.tm_min, tmUtc.tm_sec);
    return sz;
}

std::string MonthDayNow(int32_t nDaysAgo)
{
    const time_t t = std::time(nullptr) - static_cast<time_t>(nDaysAgo) * 86400;
    struct tm tmLocal{};
    localtime_r(&t, &tmLocal);
    char sz[16];
    std::snprintf(sz, sizeof sz, "%02d/%02d", tmLocal.tm_mon + 1, tmLocal.tm_mday);
    return sz;
}
// Local time conversions are slow; a listing asks for the same few days
// again and again, so the texts are kept for a minute.
std::string MonthDay(int32_t nDaysAgo)
{
    struct CCache
    {
        time_t m_nMinute = -1;
        std::vector<std::string> m_days;
    };
    thread_local CCache cache;
    const time_t nMinute = std::time(nullptr) / 60;
    if (nMinute != cache.m_nMinute)
    {
        cache.m_nMinute = nMinute;
        cache.m_days.clear();
    }
    if (nDaysAgo < 0 || nDaysAgo > 4096)
        return MonthDayNow(nDaysAgo);
    if (static_cast<size_t>(nDaysAgo) >= cache.m_days.size())
        cache.m_days.resize(static_cast<size_t>(nDaysAgo) + 1);
    std::string& str = cache.m_days[static_cast<size_t>(nDaysAgo)];
    if (str.empty())
        str = MonthDayNow(nDaysAgo);
    return str;
}
} // namespace

uint8_t GatewayBodyByte(uint64_t nBodyKey, int64_t nOffset)
{
    const uint64_t v = Mix(nBodyKey + static_cast<uint64_t>(nOffset / 8) * 0xD1B54A32D192ED03ull);
    return static_cast<uint8_t>(v >> (8 * (nOffset % 8)));
}

void GatewayFillBody(uint64_t nBodyKey, int64_t nOffset, char* p, size_t n)
{
    while (n > 0 && nOffset % 8 != 0)
    {
        *p++ = static_cast<char>(GatewayBodyByte(nBodyKey, nOffset++));
        --n;
    }
    uint64_t nWord = static_cast<uint64_t>(nOffset / 8);
    while (n >= 8)
    {
        const uint64_t v = Mix(nBodyKey + nWord++ * 0xD1B54A32D192ED03ull);
        unsigned char b[8];
        for (int i = 0; i < 8; ++i)
            b[i] = static_cast<unsigned char>(v >> (8 * i));
        std::memcpy(p, b, 8);
        p += 8;
        n -= 8;
        nOffset += 8;
    }
    while (n > 0)
    {
        *p++ = static_cast<char>(GatewayBodyByte(nBodyKey, nOffset++));
        --n;
    }
}

bool CGatewayFault::IsClean() const
{
    return m_nFailFirst == 0 && m_nStatus == 0 && !m_bShortBody && !m_bNoContentLength &&
           m_nRedirect == RedirectNone && m_nThrottle == 0 && m_nStallAfter < 0 && m_nDropAfter < 0 &&
           m_nUnsafeName == UnsafeNameNone && !m_bNoRange && !m_bEmptyBody;
}

CGatewayCorpus::CGatewayCorpus(uint64_t nCorpusKey, int32_t nArticles, int32_t nDays,
                               const std::vector<CGatewayGroup>& extraGroups)
    : m_nCorpusKey(nCorpusKey), m_nDays(std::max(1, nDays))
{
    m_groups = {
        {"alt.test", nArticles, 0, 0, false},
        {"alt.binaries.test", nArticles, 0, 0, false},
        {"alt.binaries.test.faults", 65, 0, 2000000, true},
        {"alt.binaries.empty", 0, 0, 0, false},
        {"alt.binaries.demo.pictures", 300, 0, 3000000, false},
        {"alt.binaries.demo.music", 240, 0, 8000000, false},
        {"alt.binaries.demo.linux-isos", 120, 0, 6000000, false},
    };
    for (const CGatewayGroup& group : extraGroups)
    {
        auto it = std::find_if(m_groups.begin(), m_groups.end(),
                               [&](const CGatewayGroup& g) { return g.m_strName == group.m_strName; });
        if (it != m_groups.end())
            *it = group;
        else
            m_groups.push_back(group);
    }
}

const CGatewayGroup* CGatewayCorpus::FindGroup(const std::string& strGroup) const
{
    for (const CGatewayGroup& group : m_groups)
        if (group.m_strName == strGroup)
            return &group;
    return nullptr;
}

std::vector<std::string> CGatewayCorpus::GroupNames() const
{
    std::vector<std::string> names;
    for (const CGatewayGroup& group : m_groups)
        names.push_back(group.m_strName);
    return names;
}

int32_t CGatewayCorpus::DayCount(const CGatewayGroup& group) const
{
    return group.m_nDays > 0 ? group.m_nDays : m_nDays;
}

void CGatewayCorpus::DayRange(const CGatewayGroup& group, int32_t nDay, int32_t& nFirst, int32_t& nLast) const
{
    const int64_t nDays = DayCount(group);
    nFirst = static_cast<int32_t>((static_cast<int64_t>(group.m_nArticles) * nDay + nDays - 1) / nDays);
    nLast = static_cast<int32_t>((static_cast<int64_t>(group.m_nArticles) * (nDay + 1) + nDays - 1) / nDays);
}

CGatewayArticle CGatewayCorpus::Article(const CGatewayGroup& group, int32_t nIndex, Detail nDetail) const
{
    // Every path draws the same numbers in the same order, whatever it leaves out.
    const bool bNewsGuy = nDetail != DetailEasyNewsPage;
    const bool bEasyNews = nDetail != DetailNewsGuyPage;
    CGatewayArticle a;
    a.m_strGroup = group.m_strName;
    a.m_nIndex = nIndex;
    const int64_t nDays = DayCount(group);
    a.m_nDay = group.m_nArticles > 0 ? static_cast<int32_t>(static_cast<int64_t>(nIndex) * nDays / group.m_nArticles) : 0;
    const uint64_t nBase = Mix(m_nCorpusKey ^ HashText(group.m_strName)) + static_cast<uint64_t>(nIndex) * 0x9E3779B97F4A7C15ull;
    a.m_nBodyKey = Mix(nBase ^ 0x5A5A5A5A5A5A5A5Aull);
    CArticleDice dice(nBase);

    const CDemoTheme* pTheme = nullptr;
    for (const CDemoTheme& theme : kThemes)
        if (group.m_strName == theme.m_pszGroup)
            pTheme = &theme;

    // Size of the body.
    if (group.m_nFixedSize > 0)
        a.m_nSize = group.m_nFixedSize;
    else if (group.m_nMaxSize > 0)
        a.m_nSize = dice.LogBetween(std::min<int64_t>(1000, group.m_nMaxSize), group.m_nMaxSize);
    else if (nIndex < 10)
        a.m_nSize = dice.LogBetween(1, 999999); // small first articles keep quick tests quick
    else
    {
        const double u = dice.Unit();
        if (u < 0.15)
            a.m_nSize = dice.LogBetween(1, 999);
        else if (u < 0.50)
            a.m_nSize = dice.LogBetween(1000, 999999);
        else if (u < 0.98)
            a.m_nSize = dice.LogBetween(1000000, 200000000);
        else
            a.m_nSize = dice.LogBetween(1000000000, 2100000000);
    }
    NewsGuySize(a.m_nSize, dice, a);
    EasyNewsSize(a.m_nSize, dice, a);

    // File name and subject.
    const uint32_t nParts = 1 + dice.Below(20);
    const uint32_t nPart = 1 + dice.Below(nParts);
    std::string strPrefix;
    if (pTheme)
    {
        strPrefix = pTheme->m_ppWords[dice.Below(static_cast<uint32_t>(pTheme->m_nWords))];
        std::string strBase = strPrefix;
        std::replace(strBase.begin(), strBase.end(), ' ', '_');
        a.m_strFileName = strBase + "_" + std::to_string(nIndex + 1) +
                          pTheme->m_ppExtensions[dice.Below(static_cast<uint32_t>(pTheme->m_nExtensions))];
    }
    else
    {
        strPrefix = std::string(kWords[dice.Below(std::size(kWords))]) + " " + kWords[dice.Below(std::size(kWords))];
        a.m_strFileName = std::string(kWords[dice.Below(std::size(kWords))]) + std::to_string(nIndex) +
                          kExtensions[dice.Below(std::size(kExtensions))];
        switch (dice.Below(8))
        {
        case 0: strPrefix = "Joe's " + strPrefix; break;
        case 1: strPrefix += " <repost>"; break;
        case 2: strPrefix += " & more"; break;
        default: break;
        }
    }
    const std::string strCount =
        std::string(1, '(').append(std::to_string(nPart)).append(1, '/').append(std::to_string(nParts)).append(1, ')');
    const uint32_t nForm = nIndex < 5 && !pTheme ? static_cast<uint32_t>(nIndex) : dice.Below(pTheme ? 2 : 5);
    switch (nForm)
    {
    case 0: a.m_strSubject = strPrefix + " - \"" + a.m_strFileName + "\" yEnc " + strCount; break;
    case 1: a.m_strSubject = strPrefix + " - " + a.m_strFileName + " " + strCount; break;
    case 2: a.m_strSubject = "\"" + strPrefix + "\" " + a.m_strFileName; break;
    case 3: a.m_strSubject = "(?\?\?\?) [" + std::to_string(nPart) + "/" + std::to_string(nParts) + "] - \"" +
                             a.m_strFileName + "\" yEnc " + strCount; break;
    default: a.m_strSubject = strPrefix + " - " + a.m_strFileName; break;
    }
    if (bNewsGuy)
        a.m_strSubjectHtml = NewsGuySubjectHtml(a.m_strSubject);
    const bool bEasyDouble = dice.Below(3) == 0;
    if (bEasyNews)
    {
        a.m_strEasySubject = a.m_strSubject + " - " + a.m_strEasySizeText;
        a.m_strEasySubjectHtml = EntityHtml(a.m_strEasySubject, bEasyDouble);
    }

    // Author.
    const std::string strName = kNames[dice.Below(std::size(kNames))];
    std::string strMail = strName;
    std::transform(strMail.begin(), strMail.end(), strMail.begin(), [](unsigned char c) { return std::tolower(c); });
    switch (dice.Below(5))
    {
    case 0: a.m_strAuthor = strMail + "@example.com"; break;
    case 1: a.m_strAuthor = strName + " <" + strMail + "@example.net>"; break;
    case 2: a.m_strAuthor = "\"" + strName + "\" <" + strMail + "@example.org>"; break;
    case 3: a.m_strAuthor = strName + " R&D"; break;
    default: a.m_strAuthor = strName + " O'Brien (" + strMail + ")"; break;
    }
    const bool bAuthorDouble = dice.Below(2) == 0;
    if (bNewsGuy)
        a.m_strAuthorHtml = EntityHtml(a.m_strAuthor, bAuthorDouble);
    if (dice.Below(5) != 0 || nIndex == 0)
    {
        const bool bEasyAuthorDouble = dice.Below(2) == 0;
        if (bEasyNews)
            a.m_strEasyAuthorHtml = EntityHtml(a.m_strAuthor, bEasyAuthorDouble);
        a.m_strEasyAuthor = a.m_strAuthor;
    }

    // Completeness and date.
    static const char* const kMarks[] = {"0", " 0 ", "1", "00"};
    const uint32_t nMark = pTheme ? (dice.Below(10) == 0 ? 2 : 0) : (dice.Below(10) < 6 ? dice.Below(2) : 2 + dice.Below(2));
    a.m_strCompleteMark = kMarks[nMark];
    a.m_bComplete = nMark < 2;
    if (bNewsGuy)
        a.m_strDate = MonthDay(a.m_nDay);

    a.m_nEasyLinkForm = static_cast<int32_t>(dice.Below(3));
    if (bNewsGuy)
        a.m_strDecodeQuery = DecodeQuery(a);
    if (bEasyNews)
        a.m_strEasyQuery = EasyPath(a);

    if (nDetail != DetailFull)
        return a;
    char szTag[64];
    std::snprintf(szTag, sizeof szTag, "\"%016llx-%llx\"", static_cast<unsigned long long>(a.m_nBodyKey),
                  static_cast<unsigned long long>(a.m_nSize));
    a.m_strETag = szTag;
    a.m_strLastModified = HttpDate(1700000000 - static_cast<int64_t>(a.m_nDay) * 86400 - nIndex % 86400);

    // Faults of the fault group, one kind per index modulo 13.
    if (group.m_bFaults)
    {
        CGatewayFault& f = a.m_fault;
        switch (nIndex % 13)
        {
        case 1: f.m_nFailFirst = 2; break;
        case 2: f.m_bShortBody = true; break;
        case 3: f.m_bNoContentLength = true; break;
        case 4: f.m_nStatus = 503; break;
        case 5: f.m_nRedirect = RedirectSameHost; break;
        case 6: f.m_nRedirect = RedirectOtherHost; break;
        case 7: f.m_nRedirect = RedirectNoLocation; break;
        case 8: f.m_nThrottle = 256 * 1024; break;
        case 9: f.m_nDropAfter = a.m_nSize / 2; break;
        case 10: f.m_nUnsafeName = static_cast<GatewayUnsafeName>(1 + (nIndex / 13) % 5); break;
        case 11: f.m_nStallAfter = std::min<int64_t>(1000, a.m_nSize / 2); break;
        case 12: f.m_nRedirect = RedirectLoop; break;
        default: break;
        }
    }
    return a;
}

CGatewayArticle CGatewayCorpus::ResolvedArticle(const CGatewayGroup& group, int32_t nIndex) const
{
    CGatewayArticle a = Article(group, nIndex);
    if (!a.m_strEasyAuthorHtml.empty())
        return a;
    int32_t nFirst = 0, nLast = 0;
    DayRange(group, a.m_nDay, nFirst, nLast);
    for (int32_t i = nIndex - 1; i >= nFirst; --i)
    {
        CGatewayArticle prev = Article(group, i);
        if (!prev.m_strEasyAuthorHtml.empty())
        {
            a.m_strEasyAuthor = prev.m_strEasyAuthor;
            break;
        }
    }
    return a;
}

std::string CGatewayCorpus::EscapeName(const std::string& strName)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string strOut;
    strOut.reserve(strName.size() + 16);
    for (unsigned char c : strName)
    {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '~')
            strOut += static_cast<char>(c);
        else
        {
            strOut += '%';
            strOut += kHex[c >> 4];
            strOut += kHex[c & 15];
        }
    }
    return strOut;
}

std::string CGatewayCorpus::UnescapeText(const std::string& strText)
{
    std::string strOut;
    for (size_t i = 0; i < strText.size(); ++i)
    {
        if (strText[i] == '%' && i + 2 < strText.size() && std::isxdigit(static_cast<unsigned char>(strText[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(strText[i + 2])))
        {
            strOut += static_cast<char>(std::stoi(strText.substr(i + 1, 2), nullptr, 16));
            i += 2;
        }
        else
            strOut += strText[i];
    }
    return strOut;
}

std::string CGatewayCorpus::DecodeQuery(const CGatewayArticle& article)
{
    return article.m_strGroup + "/" + std::to_string(article.m_nIndex) + "/" + EscapeName(article.m_strFileName);
}

std::string CGatewayCorpus::EasyPath(const CGatewayArticle& article)
{
    return "/dl/" + DecodeQuery(article);
}
