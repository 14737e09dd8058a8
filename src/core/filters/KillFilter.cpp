#include "filters/KillFilter.h"

#include "filters/KillFile.h"
#include "model/Article.h"

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
} // namespace

bool CKillFilter::IsKilled(const CArticle& article) const
{
    return ContainsAny(article.m_strAuthor, m_lstKillAuthors) ||
           ContainsAny(article.m_strSubject, m_lstKillSubjects);
}

void CKillFilter::LoadKillFilter(const std::string& strFolder)
{
    std::string strBase = strFolder;
    if (!strBase.empty() && strBase.back() != '/')
        strBase.push_back('/');
    CKillFile::LoadKillFilter(strBase + "Author.kill", m_lstKillAuthors);
    CKillFile::LoadKillFilter(strBase + "Subject.kill", m_lstKillSubjects);
}
