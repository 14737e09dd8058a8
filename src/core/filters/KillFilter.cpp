#include "filters/KillFilter.h"

#include "filters/KillFile.h"
#include "model/Article.h"

void CKillFilter::Compile() const
{
    m_authorMatcher.Build(m_lstKillAuthors);
    m_subjectMatcher.Build(m_lstKillSubjects);
}

bool CKillFilter::IsKilled(const CArticle& article) const
{
    if (m_lstKillAuthors.empty() && m_lstKillSubjects.empty())
        return false;
    if (m_authorMatcher.GetEntryCount() != m_lstKillAuthors.size() ||
        m_subjectMatcher.GetEntryCount() != m_lstKillSubjects.size())
        Compile();
    return m_authorMatcher.Matches(article.m_strAuthor) || m_subjectMatcher.Matches(article.m_strSubject);
}

void CKillFilter::LoadKillFilter(const std::string& strFolder)
{
    std::string strBase = strFolder;
    if (!strBase.empty() && strBase.back() != '/')
        strBase.push_back('/');
    CKillFile::LoadKillFilter(strBase + "Author.kill", m_lstKillAuthors);
    CKillFile::LoadKillFilter(strBase + "Subject.kill", m_lstKillSubjects);
    Compile();
}
