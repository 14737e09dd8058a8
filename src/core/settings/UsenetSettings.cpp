#include "settings/UsenetSettings.h"

#include "settings/ProfileFile.h"

#include <cerrno>
#include <cstring>

namespace
{
bool HasBlankOrControl(const std::string& str)
{
    for (const char c : str)
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f)
            return true;
    return false;
}
} // namespace

void CUsenetSettings::Load(const CProfileFile& ini)
{
    m_bEnabled = ini.GetInt(kSection, "Enabled", 1) != 0;
    m_strServer = ini.GetString(kSection, "Server", "");
    m_bTls = ini.GetInt(kSection, "TLS", 1) != 0;
    m_nPort = ini.GetInt(kSection, "Port", DefaultPort(m_bTls != 0));
    if (m_nPort < 1 || m_nPort > 65535)
        m_nPort = DefaultPort(m_bTls != 0);
    m_strCAFile = ini.GetString(kSection, "CAFile", "");
    m_strUsername = ini.GetString(kSection, "Username", "");
    m_strPassword = ini.GetString(kSection, "Password", "");
    m_nConnections = ini.GetInt(kSection, "Connections", kDefaultConnections);
    if (m_nConnections < kMinConnections || m_nConnections > kMaxConnections)
        m_nConnections = kDefaultConnections;
}

void CUsenetSettings::Load(const std::string& strIniPath)
{
    CProfileFile ini;
    ini.Read(strIniPath);
    Load(ini);
}

bool CUsenetSettings::IsInFile(const CProfileFile& ini)
{
    for (const char* pszKey : {"Enabled", "Server", "Port", "TLS", "CAFile", "Username", "Password", "Connections"})
        if (ini.HasKey(kSection, pszKey))
            return true;
    return false;
}

void CUsenetSettings::Save(CProfileFile& ini) const
{
    ini.SetInt(kSection, "Enabled", m_bEnabled != 0);
    ini.SetString(kSection, "Server", m_strServer);
    ini.SetInt(kSection, "Port", m_nPort);
    ini.SetInt(kSection, "TLS", m_bTls != 0);
    ini.SetString(kSection, "CAFile", m_strCAFile);
    ini.SetString(kSection, "Username", m_strUsername);
    ini.SetString(kSection, "Password", m_strPassword);
    ini.SetInt(kSection, "Connections", m_nConnections);
}

bool CUsenetSettings::Save(const std::string& strIniPath, std::string* pError) const
{
    CProfileFile ini;
    if (!ini.ReadForUpdate(strIniPath))
    {
        if (pError)
            *pError = strIniPath + ": " + std::strerror(errno);
        return false;
    }
    Save(ini);
    return ini.Write(strIniPath, pError);
}

std::string CUsenetSettings::Validate() const
{
    if (HasBlankOrControl(m_strServer))
        return "The server name must not contain blanks or control characters.";
    if (m_nPort < 1 || m_nPort > 65535)
        return "The port must be a number from 1 to 65535.";
    if (m_nConnections < kMinConnections || m_nConnections > kMaxConnections)
        return "The number of connections must be from 1 to 50.";
    // The reader gives back at most this much; a longer value would be cut.
    for (const std::string* pValue : {&m_strServer, &m_strCAFile, &m_strUsername, &m_strPassword})
        if (pValue->size() > CProfileFile::kMaxValueLength)
            return "A value is longer than 254 characters.";
    for (const std::string* pValue : {&m_strCAFile, &m_strUsername, &m_strPassword})
        if (pValue->find_first_of("\r\n") != std::string::npos)
            return "A value must not contain a line break.";
    // The file keeps no blanks around a value.
    for (const std::string* pValue : {&m_strCAFile, &m_strUsername, &m_strPassword})
        if (!pValue->empty() && (pValue->front() == ' ' || pValue->front() == '\t' || pValue->back() == ' ' ||
                                 pValue->back() == '\t'))
            return "A value must not begin or end with a blank.";
    return {};
}
