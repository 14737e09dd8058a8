#include "nzb/DecodeQuery.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>

namespace usenet
{
namespace
{

bool IsPlain(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::strchr("-_.~@$!*:/", c) != nullptr;
}

void AppendEscaped(std::string& out, std::string_view s)
{
    static const char s_hex[] = "0123456789ABCDEF";
    for (const char ch : s)
    {
        const auto c = static_cast<unsigned char>(ch);
        if (c && IsPlain(c))
            out += ch;
        else
        {
            out += '%';
            out += s_hex[c >> 4];
            out += s_hex[c & 15];
        }
    }
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool Unescape(std::string_view s, std::string& out)
{
    out.clear();
    for (size_t i = 0; i < s.size(); ++i)
    {
        if (s[i] != '%')
        {
            out += s[i];
            continue;
        }
        if (i + 2 >= s.size())
            return false;
        const int h = HexValue(s[i + 1]), l = HexValue(s[i + 2]);
        if (h < 0 || l < 0)
            return false;
        out += static_cast<char>(h * 16 + l);
        i += 2;
    }
    return true;
}

std::vector<std::string_view> Split(std::string_view s, char cSep)
{
    std::vector<std::string_view> parts;
    while (true)
    {
        const size_t p = s.find(cSep);
        parts.push_back(s.substr(0, p));
        if (p == std::string_view::npos)
            return parts;
        s.remove_prefix(p + 1);
    }
}

bool ParseInt(std::string_view s, int& n)
{
    const auto res = std::from_chars(s.data(), s.data() + s.size(), n);
    return res.ec == std::errc() && res.ptr == s.data() + s.size();
}

bool Fail(std::string* pstrError, const char* pszWhy)
{
    if (pstrError)
        *pstrError = std::string("Bad decode query: ") + pszWhy + ".";
    return false;
}

} // namespace

std::string CDecodeQuery::Encode() const
{
    // The longest suffix all ids share ("@news.example.com" and the like).
    std::string_view strSuffix;
    if (!m_vecSegments.empty())
    {
        strSuffix = m_vecSegments.front().m_strMessageId;
        for (const SSegmentRef& s : m_vecSegments)
        {
            const std::string_view id = s.m_strMessageId;
            size_t n = 0;
            while (n < strSuffix.size() && n < id.size() &&
                   strSuffix[strSuffix.size() - 1 - n] == id[id.size() - 1 - n])
                ++n;
            strSuffix = strSuffix.substr(strSuffix.size() - n);
        }
    }
    std::string out = "g=";
    for (size_t i = 0; i < m_vecGroups.size(); ++i)
    {
        if (i)
            out += ',';
        AppendEscaped(out, m_vecGroups[i]);
    }
    out += "&s=";
    AppendEscaped(out, strSuffix);
    out += "&m=";
    std::string_view prev;
    int64_t nNext = 1; // past the last part number, which may be INT_MAX
    for (size_t i = 0; i < m_vecSegments.size(); ++i)
    {
        const SSegmentRef& s = m_vecSegments[i];
        if (i)
            out += ',';
        if (s.m_nNumber > nNext)
            out += '~' + std::to_string(s.m_nNumber - nNext) + ',';
        nNext = int64_t{s.m_nNumber} + 1;
        const std::string_view id =
            std::string_view(s.m_strMessageId).substr(0, s.m_strMessageId.size() - strSuffix.size());
        size_t k = 0;
        while (k < prev.size() && k < id.size() && prev[k] == id[k])
            ++k;
        if (k)
            out += std::to_string(k);
        out += '.';
        AppendEscaped(out, id.substr(k));
        prev = id;
    }
    if (m_nTotal >= nNext)
        out += "&t=" + std::to_string(m_nTotal);
    return out;
}

bool CDecodeQuery::Decode(std::string_view strQuery, CDecodeQuery& query, std::string* pstrError)
{
    CDecodeQuery q;
    std::string strSuffix;
    bool bSegmentList = false;
    std::vector<std::string> vecIds;
    for (const std::string_view field : Split(strQuery, '&'))
    {
        const size_t nEq = field.find('=');
        if (nEq == std::string_view::npos)
            return Fail(pstrError, "a field without a value");
        const std::string_view strKey = field.substr(0, nEq), strValue = field.substr(nEq + 1);
        std::string strText;
        if (strKey == "g")
        {
            for (const std::string_view g : Split(strValue, ','))
            {
                if (!Unescape(g, strText) || strText.empty())
                    return Fail(pstrError, "a bad group");
                q.m_vecGroups.push_back(strText);
            }
        }
        else if (strKey == "s")
        {
            if (!Unescape(strValue, strSuffix))
                return Fail(pstrError, "a bad suffix");
        }
        else if (strKey == "m")
        {
            // A second list would number its parts from 1 again.
            if (bSegmentList)
                return Fail(pstrError, "segments given twice");
            bSegmentList = true;
            int64_t nNumber = 1; // a part number is an int: checked before use
            std::string strPrev;
            for (const std::string_view e : Split(strValue, ','))
            {
                int n = 0;
                if (!e.empty() && e[0] == '~')
                {
                    if (!ParseInt(e.substr(1), n) || n <= 0 || nNumber + n > INT_MAX)
                        return Fail(pstrError, "a bad gap");
                    nNumber += n;
                    continue;
                }
                const size_t nDot = e.find('.');
                if (nDot == std::string_view::npos || (nDot && !ParseInt(e.substr(0, nDot), n)) || n < 0 ||
                    static_cast<size_t>(n) > strPrev.size() || !Unescape(e.substr(nDot + 1), strText))
                    return Fail(pstrError, "a bad message-id entry");
                if (nNumber > INT_MAX)
                    return Fail(pstrError, "a bad message-id entry");
                strPrev = strPrev.substr(0, static_cast<size_t>(n)) + strText;
                q.m_vecSegments.push_back({static_cast<int>(nNumber++), strPrev});
            }
        }
        else if (strKey == "t")
        {
            if (!ParseInt(strValue, q.m_nTotal))
                return Fail(pstrError, "a bad part count");
        }
    }
    if (q.m_vecGroups.empty())
        return Fail(pstrError, "no group");
    // Gaps alone name no part to fetch.
    if (q.m_vecSegments.empty())
        return Fail(pstrError, "no segments");
    // A part count counts only when it says more than the parts listed, as
    // Encode writes it.
    if (q.m_nTotal <= (q.m_vecSegments.empty() ? 0 : q.m_vecSegments.back().m_nNumber))
        q.m_nTotal = 0;
    for (SSegmentRef& s : q.m_vecSegments)
    {
        s.m_strMessageId += strSuffix;
        if (s.m_strMessageId.empty())
            return Fail(pstrError, "an empty message-id");
    }
    query = std::move(q);
    return true;
}

int CDecodeQuery::GetPartCount() const
{
    return std::max(m_nTotal, m_vecSegments.empty() ? 0 : m_vecSegments.back().m_nNumber);
}

std::vector<int> CDecodeQuery::GetMissing() const
{
    std::vector<int> vecMissing;
    size_t i = 0;
    for (int n = 1; n <= GetPartCount(); ++n)
    {
        if (i < m_vecSegments.size() && m_vecSegments[i].m_nNumber == n)
            ++i;
        else
            vecMissing.push_back(n);
    }
    return vecMissing;
}

} // namespace usenet
