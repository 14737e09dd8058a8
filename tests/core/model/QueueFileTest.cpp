#include "model/QueueFile.h"
#include "model/Archive.h"
#include "model/ArticleList.h"
#include "support/Articles.h"
#include "support/Join.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::Bytes;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace
{
ArticlePtr MakeArticle(int32_t nState, const std::string& strSubject)
{
    return testsupport::NewArticle(
        {.nState = nState, .nSize = 1000 + nState, .strSubject = strSubject, .strQuery = "q-" + strSubject});
}

std::vector<int32_t> States(const CArticleList& list)
{
    std::vector<int32_t> states;
    for (int i = 0; i < list.GetItemCount(); ++i)
        states.push_back(list.GetArticle(i)->m_nState);
    return states;
}
} // namespace

// An empty queue is four zero bytes; one default article forty; a second
// article starts with a reference to the class written once.
TEST(QueueFileTest, FileFormat)
{
    TempDir dir;
    std::string strPath = dir.File("Dravelin.dvq");
    CArticleList progress(CArticleList::KindProgress);
    ASSERT_TRUE(CQueueFile::SaveQueueFile(strPath, progress));
    EXPECT_EQ(ReadFile(strPath), std::string(4, '\0'));
    auto result = CQueueFile::LoadQueueFile(strPath, true, progress);
    EXPECT_TRUE(result.bFileFound);
    EXPECT_FALSE(result.bMalformed);
    EXPECT_EQ(progress.GetItemCount(), 0);

    ASSERT_TRUE(CQueueFile::SaveQueueFile(strPath, {std::make_shared<CArticle>()}));
    std::string strExpected = Bytes({1, 0, 0, 0, 0xFF, 0xFF, 0x01, 0x00, 0x08, 0x00});
    strExpected.append("CArticle").append(22, '\0');
    EXPECT_EQ(ReadFile(strPath), strExpected);

    std::string strData = CQueueFile::Serialize({MakeArticle(0, "a"), MakeArticle(0, "b")});
    // count, class record (6 + 8), fields of the first (16 + 5 empty + "a" + "q-a")
    size_t nSecond = 4 + 14 + 16 + 4 + 2 + 4;
    ASSERT_GT(strData.size(), nSecond + 2);
    EXPECT_EQ(strData.substr(0, 4), Bytes({2, 0, 0, 0}));
    EXPECT_EQ(strData.substr(nSecond, 2), Bytes({0x01, 0x80}));
    EXPECT_EQ(strData.find("CArticle", 11), std::string::npos) << "class name written once";
}

TEST(QueueFileTest, LoadRulesForBothFlags)
{
    TempDir dir;
    std::string strPath = dir.File("Dravelin.dvq");
    std::vector<ArticlePtr> stored;
    for (int32_t nState : {0, 1, 3, 4, 6, 7})
        stored.push_back(MakeArticle(nState, std::string("s").append(std::to_string(nState))));
    ASSERT_TRUE(CQueueFile::SaveQueueFile(strPath, stored));

    CArticleList waiting(CArticleList::KindProgress);
    auto result = CQueueFile::LoadQueueFile(strPath, false, waiting);
    EXPECT_FALSE(result.bMalformed);
    EXPECT_EQ(result.nStored, 6);
    EXPECT_EQ(States(waiting), (std::vector<int32_t>{0, 0, 0}));
    EXPECT_EQ(testsupport::Join(waiting.GetArticle(0)->m_strSubject, waiting.GetArticle(1)->m_strSubject,
                                waiting.GetArticle(2)->m_strSubject),
              "s0|s1|s6|");

    CArticleList all(CArticleList::KindProgress);
    CQueueFile::LoadQueueFile(strPath, true, all);
    EXPECT_EQ(States(all), (std::vector<int32_t>{0, 0, 3, 4, 0}));
    for (int i = 0; i < all.GetItemCount(); ++i)
        EXPECT_EQ(all.GetArticle(i)->m_nLists, ListProgress);
}

TEST(QueueFileTest, TruncationAtEveryOffsetKeepsWholeArticles)
{
    std::string strData = CQueueFile::Serialize({MakeArticle(0, "first"), MakeArticle(0, "second")});
    std::string strFirstOnly = CQueueFile::Serialize({MakeArticle(0, "first")});
    for (size_t nLength = 0; nLength < strData.size(); ++nLength)
    {
        std::vector<ArticlePtr> articles;
        auto result = CQueueFile::Parse(strData.substr(0, nLength), articles);
        ASSERT_TRUE(result.bMalformed) << nLength;
        EXPECT_FALSE(result.strError.empty());
        size_t nExpected = nLength >= strFirstOnly.size() ? 1 : 0;
        ASSERT_EQ(articles.size(), nExpected) << nLength;
        EXPECT_EQ(result.nStored, static_cast<int>(nExpected));
        if (nExpected == 1)
        {
            EXPECT_EQ(articles[0]->m_strSubject, "first");
        }
    }
    std::vector<ArticlePtr> articles;
    EXPECT_FALSE(CQueueFile::Parse(strData, articles).bMalformed);
    EXPECT_EQ(articles.size(), 2u);
}

TEST(QueueFileTest, MalformedFileKeepsArticlesReadBeforeTheFault)
{
    TempDir dir;
    std::string strPath = dir.File("Dravelin.dvq");
    std::string strGood = CQueueFile::Serialize({MakeArticle(0, "first"), MakeArticle(0, "second")});
    std::string strFirstOnly = CQueueFile::Serialize({MakeArticle(0, "first")});
    // Replace the second object's class reference with an unknown tag.
    std::string strBad = strGood;
    strBad[strFirstOnly.size()] = 0x05;
    WriteFile(strPath, strBad);

    CArticleList list(CArticleList::KindProgress);
    auto result = CQueueFile::LoadQueueFile(strPath, true, list);
    EXPECT_TRUE(result.bFileFound && result.bMalformed && !result.strError.empty());
    ASSERT_EQ(list.GetItemCount(), 1);
    EXPECT_EQ(list.GetArticle(0)->m_strSubject, "first");

    // A missing file is empty, not malformed; a folder in the file's place is
    // unreadable, which is reported, but is still not a malformed file.
    for (const std::string& strMissing : {dir.File("none.dvq"), dir.Path().string()})
    {
        CArticleList empty(CArticleList::KindProgress);
        auto missing = CQueueFile::LoadQueueFile(strMissing, true, empty);
        EXPECT_FALSE(missing.bFileFound || missing.bMalformed);
        EXPECT_EQ(missing.strError.empty(), strMissing != dir.Path().string());
        EXPECT_EQ(empty.GetItemCount(), 0);
    }
}

TEST(QueueFileTest, AbsurdCountsAndLengthsDoNotAllocate)
{
    for (int32_t nCount : {0, -1, INT32_MIN})
    {
        std::vector<ArticlePtr> articles;
        CArchive ar;
        ar.WriteInt32(nCount);
        EXPECT_FALSE(CQueueFile::Parse(ar.GetBuffer(), articles).bMalformed) << nCount;
        EXPECT_TRUE(articles.empty());
    }
    // A count of 0x7fffffff over a short file, and a string announcing
    // 0xFFFFFFFF bytes: both end in a reported fault, not in an allocation.
    std::vector<ArticlePtr> articles;
    std::string strData = CQueueFile::Serialize({MakeArticle(0, "x")});
    strData.replace(0, 4, Bytes({0xFF, 0xFF, 0xFF, 0x7F}));
    auto result = CQueueFile::Parse(strData, articles);
    EXPECT_TRUE(result.bMalformed);
    EXPECT_EQ(articles.size(), 1u);

    articles.clear();
    std::string strHuge = Bytes({1, 0, 0, 0, 0xFF, 0xFF, 1, 0, 8, 0}) + "CArticle" + std::string(16, '\0') +
                          Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) + "abc";
    result = CQueueFile::Parse(strHuge, articles);
    EXPECT_TRUE(result.bMalformed);
    EXPECT_TRUE(articles.empty());
}

TEST(QueueFileTest, FailedSaveKeepsTheOldFile)
{
    TempDir dir;
    std::string strPath = dir.File("Dravelin.dvq");
    ASSERT_TRUE(CQueueFile::SaveQueueFile(strPath, {MakeArticle(0, "old")}));
    std::string strOld = ReadFile(strPath);

    // A file-size limit makes the write fail half-way, like a full disk; it
    // is set in a child process so the test runner keeps its own limits.
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0)
    {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{100, 100};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::vector<ArticlePtr> articles(50, MakeArticle(0, std::string(100, 'n')));
        std::string strError;
        bool bSaved = CQueueFile::SaveQueueFile(strPath, articles, &strError);
        ::_exit(!bSaved && !strError.empty() ? 0 : 1);
    }
    int nStatus = 0;
    ASSERT_EQ(::waitpid(pid, &nStatus, 0), pid);
    ASSERT_TRUE(WIFEXITED(nStatus));
    EXPECT_EQ(WEXITSTATUS(nStatus), 0) << "the save must report its failure";
    EXPECT_EQ(ReadFile(strPath), strOld);
    // No temporary file left behind.
    int nFiles = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        nFiles += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(nFiles, 1);
}
