#include "CliFormat.h"

#include "settings/UsenetSettings.h"

#include <cstdio>

std::string EscapeCliText(const std::string& str)
{
    std::string strOut;
    strOut.reserve(str.size());
    for (char c : str)
    {
        switch (c)
        {
        case '\\':
            strOut += "\\\\";
            break;
        case '\t':
            strOut += "\\t";
            break;
        case '\r':
            strOut += "\\r";
            break;
        case '\n':
            strOut += "\\n";
            break;
        default:
            strOut.push_back(c);
        }
    }
    return strOut;
}

std::string FormatArticleLine(const CArticle& article)
{
    std::lock_guard lock(article.m_lock);
    std::string strLine;
    strLine += std::to_string(article.m_nState) + '\t';
    strLine += std::to_string(article.m_nRetries) + '\t';
    strLine += std::to_string(article.m_nService) + '\t';
    strLine += std::to_string(article.GetSize()) + '\t';
    strLine += EscapeCliText(article.m_strAuthor) + '\t';
    strLine += EscapeCliText(article.m_strDate) + '\t';
    strLine += EscapeCliText(article.m_strDownloadPath) + '\t';
    strLine += EscapeCliText(article.m_strFileName) + '\t';
    strLine += EscapeCliText(article.m_strSubject) + '\t';
    strLine += EscapeCliText(article.m_strDecodeQuery);
    return strLine;
}

void PrintUsenetSettings(const CUsenetSettings& settings)
{
    const auto Print = [](const char* pszKey, const std::string& strValue)
    { std::printf("Usenet/%s=%s\n", pszKey, strValue.c_str()); };
    Print("Enabled", std::to_string(settings.m_bEnabled));
    Print("Server", settings.m_strServer);
    Print("Port", std::to_string(settings.m_nPort));
    Print("TLS", std::to_string(settings.m_bTls));
    Print("CAFile", settings.m_strCAFile);
    Print("Username", settings.m_strUsername);
    // Passwords never leave the file.
    Print("Password", settings.m_strPassword.empty() ? "" : "***");
    Print("Connections", std::to_string(settings.m_nConnections));
}
