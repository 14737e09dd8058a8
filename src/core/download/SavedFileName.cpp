#include "download/SavedFileName.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <mutex>
#include <set>

namespace
{
std::string Trim(const std::string& s)
{
    size_t nBegin = s.find_first_not_of(" \t\r\n");
    if (nBegin == std::string::npos)
        return {};
    size_t nEnd = s.find_last_not_of(" \t\r\n");
    return s.substr(nBegin, nEnd - nBegin + 1);
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
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

// Reads one parameter value at s[i]: a quoted string (backslash escapes) or a
// token up to the next ';'. i ends after the value.
std::string ReadParameterValue(const std::string& s, size_t& i)
{
    std::string strValue;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    if (i < s.size() && s[i] == '"')
    {
        ++i;
        while (i < s.size() && s[i] != '"')
        {
            if (s[i] == '\\' && i + 1 < s.size())
                ++i;
            strValue += s[i++];
        }
        if (i < s.size())
            ++i; // closing quote
        return strValue;
    }
    while (i < s.size() && s[i] != ';')
        strValue += s[i++];
    return Trim(strValue);
}

// Cuts s to at most nBytes without splitting a UTF-8 sequence.
std::string CutBytes(const std::string& s, size_t nBytes)
{
    if (s.size() <= nBytes)
        return s;
    size_t n = nBytes;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
        --n;
    return s.substr(0, n);
}
} // namespace

std::string CSavedFileName::UrlDecode(const std::string& strText)
{
    std::string strOut;
    strOut.reserve(strText.size());
    for (size_t i = 0; i < strText.size(); ++i)
    {
        if (strText[i] == '%' && i + 2 < strText.size())
        {
            int nHigh = HexValue(strText[i + 1]);
            int nLow = HexValue(strText[i + 2]);
            if (nHigh >= 0 && nLow >= 0)
            {
                strOut += static_cast<char>(nHigh * 16 + nLow);
                i += 2;
                continue;
            }
        }
        strOut += strText[i];
    }
    return strOut;
}

std::string CSavedFileName::FromContentDisposition(const std::string& strValue)
{
    std::string strPlain;
    std::string strExtended;
    // Parameters are "name=value" between semicolons; the disposition type
    // in front has no '='.
    size_t i = 0;
    while (i < strValue.size())
    {
        size_t nEq = strValue.find('=', i);
        size_t nSemi = strValue.find(';', i);
        if (nEq == std::string::npos)
            break;
        if (nSemi != std::string::npos && nSemi < nEq)
        {
            i = nSemi + 1;
            continue;
        }
        std::string strName = Lower(Trim(strValue.substr(i, nEq - i)));
        i = nEq + 1;
        std::string strParam = ReadParameterValue(strValue, i);
        if (strName == "filename" && strPlain.empty())
            strPlain = strParam;
        else if (strName == "filename*" && strExtended.empty())
        {
            // charset'language'percent-encoded-value
            size_t nQuote = strParam.find('\'');
            size_t nSecond =
                nQuote == std::string::npos ? std::string::npos : strParam.find('\'', nQuote + 1);
            if (nSecond != std::string::npos)
                strExtended = UrlDecode(strParam.substr(nSecond + 1));
        }
        size_t nNext = strValue.find(';', i);
        if (nNext == std::string::npos)
            break;
        i = nNext + 1;
    }
    return strExtended.empty() ? strPlain : strExtended;
}

std::string CSavedFileName::FromRequestPath(const std::string& strPath)
{
    std::string strBare = strPath.substr(0, strPath.find_first_of("?#"));
    size_t nSlash = strBare.find_last_of('/');
    if (nSlash != std::string::npos)
        strBare = strBare.substr(nSlash + 1);
    return UrlDecode(strBare);
}

std::string CSavedFileName::StripBracketCounter(const std::string& strName)
{
    size_t nOpen = strName.rfind('[');
    size_t nClose = strName.rfind(']');
    if (nOpen == std::string::npos || nClose == std::string::npos || nClose < nOpen)
        return strName;
    return strName.substr(0, nOpen) + strName.substr(nClose + 1);
}

std::string CSavedFileName::MakeSafe(const std::string& strName)
{
    // Only the last path component, whichever separator the server used.
    std::string strSafe = strName;
    size_t nSep = strSafe.find_last_of("/\\");
    if (nSep != std::string::npos)
        strSafe = strSafe.substr(nSep + 1);
    for (char& c : strSafe)
    {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            c = '_';
    }
    if (strSafe.size() > kMaxNameBytes)
    {
        // Keep a reasonable extension; a "extension" as long as the name is
        // just part of the name.
        size_t nDot = strSafe.rfind('.');
        std::string strExt;
        if (nDot != std::string::npos && nDot > 0 && strSafe.size() - nDot <= 32)
            strExt = strSafe.substr(nDot);
        strSafe = CutBytes(strSafe.substr(0, strSafe.size() - strExt.size()), kMaxNameBytes - strExt.size()) +
                  strExt;
    }
    if (strSafe.empty() || strSafe == "." || strSafe == "..")
        return kFallbackName;
    return strSafe;
}

std::string CSavedFileName::Make(const std::string& strContentDisposition, const std::string& strListedName,
                                 const std::string& strRequestPath, bool bBracketRule,
                                 bool bReplaceUnderscore)
{
    // A gateway that names no file would otherwise save every article under
    // its script's name ("wwwdecode").
    std::string strName = FromContentDisposition(strContentDisposition);
    if (strName.empty())
        strName = strListedName;
    if (strName.empty())
        strName = FromRequestPath(strRequestPath);
    // Directory parts go first, so the later rules see the name alone.
    size_t nSep = strName.find_last_of("/\\");
    if (nSep != std::string::npos)
        strName = strName.substr(nSep + 1);
    if (bBracketRule)
        strName = StripBracketCounter(strName);
    if (bReplaceUnderscore)
        std::replace(strName.begin(), strName.end(), '_', ' ');
    return MakeSafe(strName);
}

std::string CSavedFileName::Numbered(const std::string& strName, int n)
{
    if (n <= 1)
        return strName;
    size_t nDot = strName.rfind('.');
    if (nDot == 0 || nDot == std::string::npos || strName.size() - nDot > 32)
        nDot = strName.size();
    const std::string strExt = strName.substr(nDot);
    const std::string strSuffix = " (" + std::to_string(n) + ")";
    const size_t nRoom = kMaxNameBytes - std::min(kMaxNameBytes, strExt.size() + strSuffix.size());
    return CutBytes(strName.substr(0, nDot), nRoom) + strSuffix + strExt;
}

namespace
{
std::mutex s_claimsLock;
std::set<std::string> s_claims;

std::string ClaimKey(const std::string& strPath)
{
    return std::filesystem::path(strPath).lexically_normal().string();
}
} // namespace

bool CFileClaims::Claim(const std::string& strPath)
{
    std::lock_guard lock(s_claimsLock);
    return s_claims.insert(ClaimKey(strPath)).second;
}

void CFileClaims::Release(const std::string& strPath)
{
    std::lock_guard lock(s_claimsLock);
    s_claims.erase(ClaimKey(strPath));
}
