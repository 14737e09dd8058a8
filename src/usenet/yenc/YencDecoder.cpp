#include "yenc/YencDecoder.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace usenet
{
namespace
{

constexpr size_t kMaxLine = 4096;    // longer keyword lines are cut, not refused
constexpr size_t kSlice = 64 * 1024; // the CRC runs over output still in cache

bool StartsWith(std::string_view s, std::string_view strPrefix)
{
    return s.substr(0, strPrefix.size()) == strPrefix;
}

// Whether the line is the keyword strKey ("=ybegin"), followed by a blank or nothing.
bool IsKeyword(std::string_view strLine, std::string_view strKey)
{
    return StartsWith(strLine, strKey) && (strLine.size() == strKey.size() || strLine[strKey.size()] == ' ');
}

// Calls fn(key, value) for each "key=value" of a keyword line; "name=" is
// the last one and takes the rest of the line, blanks included.
template <typename Fn> void ForEachField(std::string_view strLine, Fn fn)
{
    size_t p = strLine.find(' ');
    while (p != std::string_view::npos && p < strLine.size())
    {
        while (p < strLine.size() && strLine[p] == ' ')
            ++p;
        const size_t q = strLine.find(' ', p);
        const std::string_view strToken = strLine.substr(p, q == std::string_view::npos ? q : q - p);
        const size_t nEq = strToken.find('=');
        if (nEq != std::string_view::npos)
        {
            const std::string_view strKey = strToken.substr(0, nEq);
            if (strKey == "name")
            {
                fn(strKey, strLine.substr(p + nEq + 1));
                return;
            }
            fn(strKey, strToken.substr(nEq + 1));
        }
        p = q;
    }
}

template <typename T> bool ParseNumber(std::string_view s, T& nValue)
{
    T n{};
    const auto res = std::from_chars(s.data(), s.data() + s.size(), n);
    if (res.ec != std::errc())
        return false;
    nValue = n;
    return true;
}

bool ParseCrc(std::string_view s, uint32_t& nCrc)
{
    if (StartsWith(s, "0x") || StartsWith(s, "0X"))
        s.remove_prefix(2);
    uint64_t n = 0;
    const auto res = std::from_chars(s.data(), s.data() + s.size(), n, 16);
    if (res.ec != std::errc() || n > 0xffffffffull)
        return false;
    nCrc = static_cast<uint32_t>(n);
    return true;
}

} // namespace

CYencDecoder::CYencDecoder(EYencKernel nKernel) : m_fnKernel(YencGetKernel(nKernel)) {}

void CYencDecoder::Reset()
{
    m_nState = stSearch;
    m_kernel = {};
    m_info = {};
    m_strLine.clear();
    m_bSawBegin = m_bSawEnd = false;
    m_nDecoded = 0;
    m_nCrc = 0;
}

void CYencDecoder::AppendLine(const char* p, size_t n)
{
    if (m_strLine.size() < kMaxLine)
        m_strLine.append(p, std::min(n, kMaxLine - m_strLine.size()));
}

size_t CYencDecoder::Decode(const char* pIn, size_t nIn, char* pOut, size_t nOutCap, size_t* pnConsumed)
{
    size_t i = 0, o = 0;
    while (i < nIn)
    {
        if (m_nState == stDone)
        {
            i = nIn;
            break;
        }
        if (m_nState == stData)
        {
            const size_t nSlice = std::min(nIn - i, kSlice);
            size_t nUsed = 0;
            bool bKeyword = false;
            const size_t nOut =
                m_fnKernel(reinterpret_cast<const uint8_t*>(pIn + i), nSlice,
                           reinterpret_cast<uint8_t*>(pOut + o), nOutCap - o, m_kernel, &nUsed, &bKeyword);
            m_nCrc = static_cast<uint32_t>(
                crc32_z(m_nCrc, reinterpret_cast<const Bytef*>(pOut + o), static_cast<z_size_t>(nOut)));
            m_nDecoded += nOut;
            o += nOut;
            i += nUsed;
            if (bKeyword)
            {
                m_nState = stKeyword;
                m_strLine.assign(1, '=');
            }
            else if (nUsed < nSlice)
                break; // the output is full
            continue;
        }
        // A text or keyword line: gather it up to its LF.
        const void* pLf = std::memchr(pIn + i, '\n', nIn - i);
        const size_t n = pLf ? static_cast<size_t>(static_cast<const char*>(pLf) - (pIn + i)) : nIn - i;
        AppendLine(pIn + i, n);
        i += n;
        if (pLf)
        {
            ++i;
            std::string strLine;
            strLine.swap(m_strLine);
            if (!strLine.empty() && strLine.back() == '\r')
                strLine.pop_back();
            OnLine(strLine);
        }
    }
    if (pnConsumed)
        *pnConsumed = i;
    return o;
}

void CYencDecoder::Feed(std::string_view strIn, std::string& strOut)
{
    while (!strIn.empty())
    {
        const size_t nOld = strOut.size();
        strOut.resize(nOld + strIn.size());
        size_t nUsed = 0;
        const size_t nOut = Decode(strIn.data(), strIn.size(), strOut.data() + nOld, strIn.size(), &nUsed);
        strOut.resize(nOld + nOut);
        strIn.remove_prefix(nUsed);
    }
}

void CYencDecoder::OnLine(std::string_view strLine)
{
    if (m_nState == stSearch)
    {
        if (!IsKeyword(strLine, "=ybegin"))
            return; // text before the post
        m_bSawBegin = true;
        ForEachField(strLine,
                     [this](std::string_view strKey, std::string_view strValue)
                     {
                         if (strKey == "name")
                             m_info.m_strName = strValue;
                         else if (strKey == "size")
                             ParseNumber(strValue, m_info.m_nFileSize);
                         else if (strKey == "line")
                             ParseNumber(strValue, m_info.m_nLine);
                         else if (strKey == "part")
                             ParseNumber(strValue, m_info.m_nPart);
                         else if (strKey == "total")
                             ParseNumber(strValue, m_info.m_nTotal);
                     });
    }
    else if (IsKeyword(strLine, "=ypart"))
    {
        // Only before the data; a stray one later is ignored.
        if (m_nDecoded == 0)
            ForEachField(strLine,
                         [this](std::string_view strKey, std::string_view strValue)
                         {
                             if (strKey == "begin")
                                 ParseNumber(strValue, m_info.m_nBegin);
                             else if (strKey == "end")
                                 ParseNumber(strValue, m_info.m_nEnd);
                         });
    }
    else if (IsKeyword(strLine, "=yend"))
    {
        m_bSawEnd = true;
        ForEachField(strLine,
                     [this](std::string_view strKey, std::string_view strValue)
                     {
                         if (strKey == "size")
                             m_info.m_bEndSize = ParseNumber(strValue, m_info.m_nEndSize);
                         else if (strKey == "pcrc32")
                             m_info.m_bPartCrc = ParseCrc(strValue, m_info.m_nPartCrc);
                         else if (strKey == "crc32")
                             m_info.m_bFileCrc = ParseCrc(strValue, m_info.m_nFileCrc);
                     });
        m_nState = stDone;
        return;
    }
    // Other "=y" lines are unknown keywords: skipped.
    m_nState = stData;
    m_kernel = {};
}

EYencResult CYencDecoder::Finish() const
{
    if (!m_bSawBegin)
        return yrNoBegin;
    if (!m_bSawEnd)
        return yrNoEnd;
    const bool bRange = m_info.m_nBegin > 0 && m_info.m_nEnd >= m_info.m_nBegin;
    const bool bWhole = m_info.m_nPart == 0 || (m_info.m_nBegin <= 1 && m_nDecoded == m_info.m_nFileSize);
    if (m_info.m_bEndSize ? m_info.m_nEndSize != m_nDecoded
        : bRange          ? m_info.m_nEnd - m_info.m_nBegin + 1 != m_nDecoded
                          : m_info.m_nPart == 0 && m_info.m_nFileSize != m_nDecoded)
        return yrSizeMismatch;
    if (m_info.m_bPartCrc && m_info.m_nPartCrc != m_nCrc)
        return yrPartCrc;
    if (bWhole && m_info.m_bFileCrc && m_info.m_nFileCrc != m_nCrc)
        return yrFileCrc;
    return yrOk;
}

const char* CYencDecoder::ResultText(EYencResult nResult)
{
    switch (nResult)
    {
    case yrOk:
        return "OK";
    case yrNoBegin:
        return "No yEnc data (no =ybegin line).";
    case yrNoEnd:
        return "The yEnc data is cut short (no =yend line).";
    case yrSizeMismatch:
        return "The yEnc data has the wrong size.";
    case yrPartCrc:
        return "The yEnc part fails its CRC check (pcrc32).";
    case yrFileCrc:
        return "The yEnc file fails its CRC check (crc32).";
    }
    return "";
}

} // namespace usenet
