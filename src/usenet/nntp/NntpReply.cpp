#include "nntp/NntpReply.h"

#include <cstring>

namespace usenet
{

namespace
{
bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}
bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}
} // namespace

bool ParseNntpReplyLine(std::string_view strLine, SNntpReplyLine& reply)
{
    while (!strLine.empty() && (strLine.back() == '\n' || strLine.back() == '\r'))
        strLine.remove_suffix(1);
    size_t i = 0;
    while (i < strLine.size() && IsBlank(strLine[i]))
        ++i;
    if (strLine.size() - i < 3 || !IsDigit(strLine[i]) || !IsDigit(strLine[i + 1]) || !IsDigit(strLine[i + 2]))
        return false;
    if (i + 3 < strLine.size() && !IsBlank(strLine[i + 3]) && strLine[i + 3] != '-')
        return false;
    reply.m_nCode = (strLine[i] - '0') * 100 + (strLine[i + 1] - '0') * 10 + (strLine[i + 2] - '0');
    i += 3;
    // Some servers write "200-text" in the manner of other protocols.
    if (i < strLine.size() && strLine[i] == '-')
        ++i;
    while (i < strLine.size() && IsBlank(strLine[i]))
        ++i;
    size_t nEnd = strLine.size();
    while (nEnd > i && IsBlank(strLine[nEnd - 1]))
        --nEnd;
    reply.m_strText.assign(strLine.data() + i, nEnd - i);
    return true;
}

void CDotUnstuffer::Reset()
{
    m_nState = stLineStart;
}

size_t CDotUnstuffer::Feed(const char* p, size_t n, std::string& strOut)
{
    size_t i = 0;
    while (i < n && m_nState != stDone)
    {
        switch (m_nState)
        {
        case stLineStart:
            if (p[i] == '.')
            {
                m_nState = stDot;
                ++i;
            }
            else
                m_nState = stMid;
            break;
        case stDot:
            if (p[i] == '\n')
            {
                m_nState = stDone;
                ++i;
            }
            else if (p[i] == '\r')
            {
                m_nState = stDotCr;
                ++i;
            }
            else
                m_nState = stMid; // the stuffed dot is dropped
            break;
        case stDotCr:
            if (p[i] == '\n')
            {
                m_nState = stDone;
                ++i;
            }
            else
            {
                // ".\r" inside a line: the dot was stuffed, the CR is data.
                strOut.push_back('\r');
                m_nState = stMid;
            }
            break;
        case stMid:
        {
            const void* pLf = std::memchr(p + i, '\n', n - i);
            const size_t nEnd = pLf ? static_cast<size_t>(static_cast<const char*>(pLf) - p) + 1 : n;
            strOut.append(p + i, nEnd - i);
            i = nEnd;
            if (pLf)
                m_nState = stLineStart;
            break;
        }
        case stDone:
            break;
        }
    }
    return i;
}

} // namespace usenet
