#include "filters/KillFilter.h"
#include "model/Article.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using testsupport::TempDir;
using testsupport::WriteFile;

namespace
{
CArticle& Fill(CArticle& article, const std::string& strAuthor, const std::string& strSubject)
{
    article.m_strAuthor = strAuthor;
    article.m_strSubject = strSubject;
    return article;
}
} // namespace

// Entries added or removed after use take effect; one edited in place needs
// an explicit compile.
TEST(KillFilter, SubstringIgnoringCaseAndChangedEntries)
{
    CKillFilter filter;
    filter.m_lstKillAuthors = {"MiXeD"};
    filter.m_lstKillSubjects = {"art"};
    CArticle a;
    EXPECT_TRUE(filter.IsKilled(Fill(a, "the mixed one", "x")));
    EXPECT_TRUE(filter.IsKilled(Fill(a, "nobody", "PARTIAL word")));
    EXPECT_FALSE(filter.IsKilled(Fill(a, "nobody", "a r t")));
    // Author entries look at authors only, subject entries at subjects only.
    EXPECT_FALSE(filter.IsKilled(Fill(a, "art", "mixed")));
    CKillFilter empty;
    EXPECT_FALSE(empty.IsKilled(Fill(a, "", "")));
    empty.m_lstKillAuthors = {""};
    EXPECT_TRUE(empty.IsKilled(Fill(a, "", "")));

    filter.m_lstKillAuthors.clear();
    filter.m_lstKillSubjects = {"alpha"};
    EXPECT_FALSE(filter.IsKilled(Fill(a, "x", "beta release")));
    // The add commands append to the list; the next test must see the entry.
    filter.m_lstKillSubjects.push_back("BETA");
    EXPECT_TRUE(filter.IsKilled(Fill(a, "x", "beta release")));
    // The dialog's OK replaces the list with fewer entries.
    filter.m_lstKillSubjects = {"alpha"};
    EXPECT_FALSE(filter.IsKilled(Fill(a, "x", "beta release")));
    // An entry edited in place needs an explicit compile.
    filter.m_lstKillSubjects[0] = "release";
    filter.Compile();
    EXPECT_TRUE(filter.IsKilled(Fill(a, "x", "beta release")));
}

TEST(KillFilter, LoadSkipsDuplicatesAndKeepsEmptyLines)
{
    TempDir dir;
    WriteFile(dir.File("Author.kill"), "spammer\r\nSpammer\r\nspammer\r\n");
    WriteFile(dir.File("Subject.kill"), "one\n\ntwo\n\n");
    CKillFilter filter;
    filter.LoadKillFilter(dir.Path().string());
    EXPECT_EQ(filter.m_lstKillAuthors, (std::vector<std::string>{"spammer", "Spammer"}));
    EXPECT_EQ(filter.m_lstKillSubjects, (std::vector<std::string>{"one", "", "two"}));
    // A second load adds nothing; missing files are empty lists.
    filter.LoadKillFilter(dir.Path().string());
    EXPECT_EQ(filter.m_lstKillAuthors.size(), 2u);
    CKillFilter none;
    none.LoadKillFilter(dir.File("missing"));
    EXPECT_TRUE(none.m_lstKillAuthors.empty());
    EXPECT_TRUE(none.m_lstKillSubjects.empty());
}
