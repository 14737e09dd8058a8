#include "CliFormat.h"

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
