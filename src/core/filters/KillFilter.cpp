#include "filters/KillFilter.h"

#include "model/Article.h"

#include <algorithm>
#include <fstream>

namespace
{
std::string ToLower(const std::string& str)
{
    std::string strLower(str);
    for (char& c : strLower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return strLower;
}

bool ContainsAny(const std::string& strField, const std::vector<std::string>& entries)
{
    if (entries.empty())
        return false;
    std::string strLower = ToLower(strField);
    for (const std::string& strEntry : entries)
    {
        if (strLower.find(ToLower(strEntry)) != std::string::npos)
            return true;
    }
    return false;
}

void LoadList(const std::string& strPath, std::vector<std::string>& entries)
{
    std::ifstream in(strPath, std::ios::binary);
    if (!in)
        return;
    std::string strLine;
    while (std::getline(in, strLine))
    {
        // Written in text mode on the original platform: CR LF line ends.
        if (!strLine.empty() && strLine.back() == '\r')
            strLine.pop_back();
        if (std::find(entries.begin(), entries.end(), strLine) == entries.end())
            entries.push_back(strLine);
    }
}
} // namespace

bool CKillFilter::IsKilled(const CArticle& article) const
{
    return ContainsAny(article.m_strAuthor, m_lstKillAuthors) || ContainsAny(article.m_strSubject, m_lstKillSubjects);
}

void CKillFilter::LoadKillFilter(const std::string& strFolder)
{
    std::string strBase = strFolder;
    if (!strBase.empty() && strBase.back() != '/')
        strBase.push_back('/');
    LoadList(strBase + "Author.kill", m_lstKillAuthors);
    LoadList(strBase + "Subject.kill", m_lstKillSubjects);
}
