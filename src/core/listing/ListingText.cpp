#include "listing/ListingText.h"

#include "listing/LineSource.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

bool CStringLineSource::ReadLine(std::string& strLine)
{
    if (m_nPos >= m_strPage.size())
        return false;
    size_t nEnd = m_strPage.find('\n', m_nPos);
    size_t nNext = nEnd == std::string::npos ? m_strPage.size() : nEnd + 1;
    if (nEnd == std::string::npos)
        nEnd = m_strPage.size();
    size_t nLen = nEnd - m_nPos;
    if (nLen > 0 && m_strPage[m_nPos + nLen - 1] == '\r')
        --nLen;
    strLine.assign(m_strPage, m_nPos, nLen);
    m_nPos = nNext;
    return true;
}

namespace ListingText
{

void ReplaceAll(std::string& str, std::string_view strFrom, std::string_view strTo)
{
    size_t nPos = str.find(strFrom);
    if (nPos == npos)
        return;
    std::string strOut;
    strOut.reserve(str.size());
    size_t nLast = 0;
    while (nPos != npos)
    {
        strOut.append(str, nLast, nPos - nLast);
        strOut.append(strTo);
        nLast = nPos + strFrom.size();
        nPos = str.find(strFrom, nLast);
    }
    strOut.append(str, nLast, npos);
    str.swap(strOut);
}

void TrimLeft(std::string& str)
{
    size_t n = 0;
    while (n < str.size() && (str[n] == ' ' || str[n] == '\t'))
        ++n;
    str.erase(0, n);
}

std::string_view Trim(std::string_view str)
{
    while (!str.empty() &&
           (str.front() == ' ' || str.front() == '\t' || str.front() == '\r' || str.front() == '\n'))
        str.remove_prefix(1);
    while (!str.empty() &&
           (str.back() == ' ' || str.back() == '\t' || str.back() == '\r' || str.back() == '\n'))
        str.remove_suffix(1);
    return str;
}

int64_t ToInteger(std::string_view str)
{
    size_t i = 0;
    while (i < str.size() && (str[i] == ' ' || (str[i] >= '\t' && str[i] <= '\r')))
        ++i;
    bool bNegative = false;
    if (i < str.size() && (str[i] == '+' || str[i] == '-'))
        bNegative = str[i++] == '-';
    int64_t n = 0;
    for (; i < str.size() && str[i] >= '0' && str[i] <= '9'; ++i)
    {
        if (n < INT64_MAX / 100)
            n = n * 10 + (str[i] - '0');
    }
    return bNegative ? -n : n;
}

namespace
{
// Decimal zeros of the unit letter a size text names first.
int UnitExponent(std::string_view str)
{
    const size_t nUnit = str.find_first_of("BKMG");
    if (nUnit == npos)
        return 0;
    return str[nUnit] == 'K' ? 3 : str[nUnit] == 'M' ? 6 : str[nUnit] == 'G' ? 9 : 0;
}
} // namespace

int64_t SizeUnit(std::string_view str)
{
    int64_t nUnit = 1;
    for (int n = UnitExponent(str); n > 0; --n)
        nUnit *= 10;
    return nUnit;
}

int64_t SizeOfText(std::string_view str)
{
    const int nExponent = UnitExponent(str);
    std::string_view number = Trim(str.substr(0, str.find_first_of("BKMG")));
    bool bNegative = false;
    if (!number.empty() && (number.front() == '+' || number.front() == '-'))
    {
        bNegative = number.front() == '-';
        number.remove_prefix(1);
    }
    constexpr int64_t kLimit = INT64_MAX / 10000000000LL;
    int64_t nValue = 0;
    size_t i = 0;
    for (; i < number.size() && number[i] >= '0' && number[i] <= '9'; ++i)
    {
        if (nValue < kLimit)
            nValue = nValue * 10 + (number[i] - '0');
    }
    const bool bPoint = i < number.size() && number[i] == '.';
    if (bPoint)
        ++i;
    // Only as many decimals as the unit has zeros can add whole bytes.
    for (int n = 0; n < nExponent; ++n)
    {
        int nDigit = 0;
        if (bPoint && i < number.size() && number[i] >= '0' && number[i] <= '9')
            nDigit = number[i++] - '0';
        nValue = nValue * 10 + nDigit;
    }
    return bNegative ? -nValue : nValue;
}

int32_t ClampSize(int64_t nSize)
{
    if (nSize > INT32_MAX)
        return INT32_MAX;
    if (nSize < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(nSize);
}

bool YEncFileName(std::string& strSubject, size_t nQuoteFrom, std::string& strFileName)
{
    size_t q1 = strSubject.find('"', nQuoteFrom);
    if (q1 == npos)
        return false;
    size_t q2 = strSubject.find('"', q1 + 1);
    if (q2 == npos || strSubject.find("yEnc") == npos)
        return false;
    strFileName.assign(strSubject, q1 + 1, q2 - q1 - 1);
    size_t nQuestion = strSubject.find('?');
    if (nQuestion == npos)
        nQuestion = 0;
    if (strSubject.compare(nQuestion, 4, "????") == 0)
    {
        std::string strRest = strSubject.size() > 6 ? strSubject.substr(6) : std::string();
        strSubject = strFileName + " " + strRest;
    }
    return true;
}

bool DashFileName(const std::string& strSubject, std::string& strFileName)
{
    size_t nDash = strSubject.rfind('-');
    if (nDash == npos)
        return false;
    size_t nParen = strSubject.rfind('(');
    if (nParen != npos && nParen > nDash)
        strFileName.assign(strSubject, nDash + 1, nParen - nDash - 1);
    else
        strFileName.assign(strSubject, nDash + 1, npos);
    TrimLeft(strFileName);
    return true;
}

namespace
{
// The listings' entity decodings differ only in their replacements and their
// order; each replacement runs over the whole text before the next one.
template <size_t N>
void ReplaceInOrder(std::string& str, const std::pair<const char*, const char*> (&table)[N])
{
    if (str.find('&') == npos)
        return;
    for (const auto& [pszFrom, pszTo] : table)
        ReplaceAll(str, pszFrom, pszTo);
}
} // namespace

void DecodeNewsGuyAuthor(std::string& str)
{
    static const std::pair<const char*, const char*> kTable[] = {
        {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&singlequot;", "'"}};
    ReplaceInOrder(str, kTable);
}

void DecodeNewsGuySubject(std::string& str)
{
    static const std::pair<const char*, const char*> kTable[] = {
        {"&amp;amp;", "&"}, {"&amp;lt;", "<"}, {"&amp;gt;", ">"}, {"&quot;", "\""}, {"&singlequot;", "'"}};
    ReplaceInOrder(str, kTable);
}

void DecodeEasyNewsText(std::string& str)
{
    static const std::pair<const char*, const char*> kTable[] = {
        {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}};
    ReplaceInOrder(str, kTable);
}

} // namespace ListingText
