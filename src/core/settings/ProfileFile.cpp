#include "settings/ProfileFile.h"

#include "model/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>

namespace
{
bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string Trim(const std::string& str)
{
    size_t nBegin = 0;
    size_t nEnd = str.size();
    while (nBegin < nEnd && IsBlank(str[nBegin]))
        ++nBegin;
    while (nEnd > nBegin && IsBlank(str[nEnd - 1]))
        --nEnd;
    return str.substr(nBegin, nEnd - nBegin);
}

bool EqualNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
    {
        auto ca = static_cast<unsigned char>(a[i]);
        auto cb = static_cast<unsigned char>(b[i]);
        if (ca >= 'A' && ca <= 'Z')
            ca = static_cast<unsigned char>(ca - 'A' + 'a');
        if (cb >= 'A' && cb <= 'Z')
            cb = static_cast<unsigned char>(cb - 'A' + 'a');
        if (ca != cb)
            return false;
    }
    return true;
}

// "[name]" → name; false for any other line.
bool SectionName(const std::string& strLine, std::string& strName)
{
    std::string str = Trim(strLine);
    if (str.size() < 2 || str.front() != '[')
        return false;
    size_t nClose = str.find(']');
    if (nClose == std::string::npos)
        return false;
    strName = Trim(str.substr(1, nClose - 1));
    return true;
}

bool IsComment(const std::string& strLine)
{
    std::string str = Trim(strLine);
    return !str.empty() && str.front() == ';';
}

// A value may not break the file's line structure: a CR or LF in it would
// let one setting forge others.
std::string OneLine(const std::string& str)
{
    std::string strOut;
    strOut.reserve(str.size());
    for (char c : str)
        if (c != '\r' && c != '\n')
            strOut.push_back(c);
    return strOut;
}
} // namespace

bool CProfileFile::Read(const std::string& strPath)
{
    std::string strData;
    if (!CAtomicFile::Read(strPath, strData))
    {
        int nError = errno; // ReadForUpdate tells a missing file by it
        Parse("");
        errno = nError;
        return false;
    }
    Parse(strData);
    return true;
}

void CProfileFile::Parse(const std::string& strData)
{
    m_lines.clear();
    m_strEol.assign(1, '\n');
    bool bEolChosen = false;
    size_t nPos = 0;
    while (nPos < strData.size())
    {
        size_t nLf = strData.find('\n', nPos);
        CLine line;
        if (nLf == std::string::npos)
        {
            line.strText = strData.substr(nPos);
            nPos = strData.size();
        }
        else
        {
            line.strText = strData.substr(nPos, nLf - nPos);
            line.strEol.assign(1, '\n');
            nPos = nLf + 1;
            if (!line.strText.empty() && line.strText.back() == '\r')
            {
                line.strText.pop_back();
                line.strEol = "\r\n";
            }
            if (!bEolChosen)
            {
                m_strEol = line.strEol;
                bEolChosen = true;
            }
        }
        m_lines.push_back(std::move(line));
    }
}

bool CProfileFile::ReadForUpdate(const std::string& strPath)
{
    // A file that exists but cannot be read must not be replaced by one
    // holding only the new key.
    return Read(strPath) || errno == ENOENT;
}

std::string CProfileFile::GetText() const
{
    std::string strText;
    for (const auto& line : m_lines)
        strText += line.strText + line.strEol;
    return strText;
}

bool CProfileFile::Write(const std::string& strPath, std::string* pError) const
{
    return CAtomicFile::Write(strPath, GetText(), 0600, pError);
}

int CProfileFile::FindSection(const std::string& strSection) const
{
    std::string strName;
    for (size_t i = 0; i < m_lines.size(); ++i)
        if (SectionName(m_lines[i].strText, strName) && EqualNoCase(strName, strSection))
            return static_cast<int>(i);
    return -1;
}

int CProfileFile::FindKey(int nSection, const std::string& strKey) const
{
    std::string strName;
    for (size_t i = static_cast<size_t>(nSection) + 1; i < m_lines.size(); ++i)
    {
        const std::string& strLine = m_lines[i].strText;
        if (SectionName(strLine, strName))
            break;
        if (IsComment(strLine))
            continue;
        size_t nEqual = strLine.find('=');
        if (nEqual != std::string::npos && EqualNoCase(Trim(strLine.substr(0, nEqual)), strKey))
            return static_cast<int>(i);
    }
    return -1;
}

std::string CProfileFile::ValueOf(int nLine) const
{
    const std::string& strLine = m_lines[static_cast<size_t>(nLine)].strText;
    return Trim(strLine.substr(strLine.find('=') + 1));
}

bool CProfileFile::HasKey(const std::string& strSection, const std::string& strKey) const
{
    int nSection = FindSection(strSection);
    return nSection >= 0 && FindKey(nSection, strKey) >= 0;
}

std::string CProfileFile::GetString(const std::string& strSection, const std::string& strKey,
                                    const std::string& strDefault) const
{
    std::string strValue = strDefault;
    int nSection = FindSection(strSection);
    if (nSection >= 0)
    {
        int nLine = FindKey(nSection, strKey);
        if (nLine >= 0)
            strValue = ValueOf(nLine);
    }
    // The original read into a 255-byte buffer.
    if (strValue.size() > kMaxValueLength)
        strValue.resize(kMaxValueLength);
    return strValue;
}

int32_t CProfileFile::GetCount(const std::string& strSection, const std::string& strKey, int32_t nMax) const
{
    return std::clamp(GetInt(strSection, strKey, 0), 0, nMax);
}

int32_t CProfileFile::GetInt(const std::string& strSection, const std::string& strKey, int32_t nDefault) const
{
    int nSection = FindSection(strSection);
    if (nSection < 0)
        return nDefault;
    int nLine = FindKey(nSection, strKey);
    if (nLine < 0)
        return nDefault;
    // An empty value counts as missing, as with the private-profile reader.
    std::string strValue = ValueOf(nLine);
    return strValue.empty() ? nDefault : ParseInt(strValue);
}

int32_t CProfileFile::ParseInt(const std::string& strText)
{
    size_t i = 0;
    while (i < strText.size() && IsBlank(strText[i]))
        ++i;
    bool bNegative = false;
    if (i < strText.size() && (strText[i] == '+' || strText[i] == '-'))
    {
        bNegative = strText[i] == '-';
        ++i;
    }
    int64_t nValue = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < strText.size() && strText[i] >= '0' && strText[i] <= '9'; ++i)
    {
        nValue = nValue * 10 + (strText[i] - '0');
        if (nValue > kLimit)
            nValue = kLimit;
    }
    if (bNegative)
        nValue = -nValue;
    if (nValue > std::numeric_limits<int32_t>::max())
        nValue = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(nValue);
}

void CProfileFile::SetString(const std::string& strSection, const std::string& strKey,
                             const std::string& strValue)
{
    std::string strLineText = OneLine(strKey) + "=" + OneLine(strValue);
    int nSection = FindSection(strSection);
    if (nSection < 0)
    {
        if (!m_lines.empty())
        {
            // Terminate a last line without its ending, then one blank line
            // between sections.
            if (m_lines.back().strEol.empty())
                m_lines.back().strEol = m_strEol;
            if (!Trim(m_lines.back().strText).empty())
                m_lines.push_back(CLine{"", m_strEol});
        }
        m_lines.push_back(CLine{std::string(1, '[').append(OneLine(strSection)).append(1, ']'), m_strEol});
        m_lines.push_back(CLine{strLineText, m_strEol});
        return;
    }
    int nLine = FindKey(nSection, strKey);
    if (nLine >= 0)
    {
        // Keep the key's own spelling and the line's ending.
        auto& line = m_lines[static_cast<size_t>(nLine)];
        line.strText = line.strText.substr(0, line.strText.find('=') + 1) + OneLine(strValue);
        return;
    }
    // After the section's last non-blank line.
    size_t nInsert = static_cast<size_t>(nSection) + 1;
    std::string strName;
    for (size_t i = nInsert; i < m_lines.size(); ++i)
    {
        if (SectionName(m_lines[i].strText, strName))
            break;
        if (!Trim(m_lines[i].strText).empty())
            nInsert = i + 1;
    }
    if (nInsert > 0 && m_lines[nInsert - 1].strEol.empty())
        m_lines[nInsert - 1].strEol = m_strEol;
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(nInsert), CLine{strLineText, m_strEol});
}

void CProfileFile::SetInt(const std::string& strSection, const std::string& strKey, int32_t nValue)
{
    char szValue[16];
    std::snprintf(szValue, sizeof szValue, "%d", nValue);
    SetString(strSection, strKey, szValue);
}

int32_t CProfileFile::GetProfileInt(const std::string& strSection, const std::string& strKey,
                                    int32_t nDefault, const std::string& strPath)
{
    CProfileFile file;
    file.Read(strPath);
    return file.GetInt(strSection, strKey, nDefault);
}

std::string CProfileFile::GetProfileString(const std::string& strSection, const std::string& strKey,
                                           const std::string& strDefault, const std::string& strPath)
{
    CProfileFile file;
    file.Read(strPath);
    return file.GetString(strSection, strKey, strDefault);
}

bool CProfileFile::WriteProfileString(const std::string& strSection, const std::string& strKey,
                                      const std::string& strValue, const std::string& strPath)
{
    CProfileFile file;
    if (!file.ReadForUpdate(strPath))
        return false;
    file.SetString(strSection, strKey, strValue);
    return file.Write(strPath);
}

bool CProfileFile::WriteProfileInt(const std::string& strSection, const std::string& strKey, int32_t nValue,
                                   const std::string& strPath)
{
    CProfileFile file;
    if (!file.ReadForUpdate(strPath))
        return false;
    file.SetInt(strSection, strKey, nValue);
    return file.Write(strPath);
}
