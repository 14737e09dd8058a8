#include "model/ArticleList.h"
#include "model/QueueFile.h"
#include "nzb/DecodeQuery.h"
#include "support/Articles.h"
#include "support/CliRun.h"

#include <gtest/gtest.h>

#include <filesystem>

using testsupport::CliRun;
using testsupport::DataFile;
using testsupport::ReadFile;
using testsupport::RunCliIn;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace
{
std::string Nzb(const std::string& strFiles)
{
    return "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n"
           "<nzb xmlns=\"http://www.newzbin.com/DTD/2003/nzb\">\n" +
           strFiles + "</nzb>\n";
}

// 2001-03-12 10:00 UTC and 2001-12-31 23:00 UTC.
const std::string kTwoFiles = Nzb(
    "<file poster=\"Ann &lt;ann@example&gt;\" date=\"984391200\" "
    "subject=\"[1/2] - &quot;a.rar&quot; yEnc (1/3)\">\n"
    "<groups><group>alt.binaries.test</group></groups>\n<segments>\n"
    "<segment bytes=\"300\" number=\"2\">p2@example</segment>\n"
    "<segment bytes=\"200\" number=\"1\">p1@example</segment>\n</segments></file>\n"
    "<file poster=\"bob\" date=\"1009839600\" subject=\"empty.bin (1/1)\"><groups><group>g</group></groups>"
    "<segments></segments></file>\n"
    "<file poster=\"bob\" date=\"1009839600\" subject=\"b.nfo (1/1)\"><groups><group>g</group></groups>"
    "<segments><segment bytes=\"50\" number=\"1\">n1@example</segment></segments></file>\n");

TEST(CliImport, QueuesEachFileAndSurvivesSaveAndLoad)
{
    TempDir dir;
    std::filesystem::create_directories(dir.Path() / "data");
    WriteFile(DataFile(dir, "Dravelin.ini"), "[Preferences]\nDefaultPath=/srv/news\n");
    WriteFile(dir.File("in.nzb"), kTwoFiles);
    ASSERT_EQ(RunCliIn(dir, {"queue", "add", "--service", "16", "--size", "1", "--subject", "old", "--decode-query",
                             "q"})
                  .nExit,
              0);

    const CliRun run = RunCliIn(dir, {"queue", "import", dir.File("in.nzb")});
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_NE(run.strOut.find("Queued 2 files"), std::string::npos) << run.strOut;
    // The skipped file and the missing third part of a.rar.
    EXPECT_NE(run.strErr.find("\"empty.bin (1/1)\" lists no segments"), std::string::npos) << run.strErr;
    EXPECT_NE(run.strErr.find("misses 1 of 3 parts"), std::string::npos) << run.strErr;

    // Through the program's own load, a save and another load.
    const std::string strQueue = DataFile(dir, "Dravelin.dvq");
    CArticleList first(CArticleList::KindProgress);
    ASSERT_TRUE(CQueueFile::LoadQueueFile(strQueue, false, first).strError.empty());
    ASSERT_TRUE(CQueueFile::SaveQueueFile(strQueue, first));
    CArticleList progress(CArticleList::KindProgress);
    ASSERT_TRUE(CQueueFile::LoadQueueFile(strQueue, false, progress).strError.empty());
    ASSERT_EQ(progress.GetItemCount(), 3);
    EXPECT_EQ(progress.GetArticle(0)->m_strSubject, "old");

    // Queued (0) for service 1, the sum of the segments' bytes, the day of the post.
    const CArticle& a = *progress.GetArticle(1);
    EXPECT_EQ(testsupport::Fields(a, false),
              "0 0 1 500|Ann <ann@example>|03/12|/srv/news/|a.rar|[1/2] - \"a.rar\" yEnc (1/3)");
    usenet::CDecodeQuery query;
    ASSERT_TRUE(usenet::CDecodeQuery::Decode(a.m_strDecodeQuery, query));
    EXPECT_EQ(query.m_vecGroups, std::vector<std::string>{"alt.binaries.test"});
    EXPECT_EQ(query.m_vecSegments, (std::vector<usenet::SSegmentRef>{{1, "p1@example"}, {2, "p2@example"}}));
    EXPECT_EQ(query.GetMissing(), std::vector<int>{3});

    EXPECT_EQ(testsupport::Fields(*progress.GetArticle(2), false),
              "0 0 1 50|bob|12/31|/srv/news/|b.nfo|b.nfo (1/1)");

    // --path wins over the default folder.
    ASSERT_EQ(RunCliIn(dir, {"queue", "import", dir.File("in.nzb"), "--path", "/tmp/x"}).nExit, 0);
    std::vector<ArticlePtr> all;
    CQueueFile::ReadQueueFile(strQueue, all);
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all.back()->m_strDownloadPath, "/tmp/x/");
}

struct BadCase
{
    const char* pszName;
    const char* pszContent; // nullptr: the path is a folder; "\x01": no file
    const char* pszError;
};

using CliImportBad = testing::TestWithParam<BadCase>;

TEST_P(CliImportBad, ChangesNothing)
{
    TempDir dir;
    std::filesystem::create_directories(dir.Path() / "data");
    const std::string strIni = DataFile(dir, "Dravelin.ini");
    const std::string strQueue = DataFile(dir, "Dravelin.dvq");
    WriteFile(strIni, "[Preferences]\nDefaultPath=/srv/news\n");
    WriteFile(strQueue, std::string(4, '\0'));
    const std::string strNzb = dir.File("bad.nzb");
    if (!GetParam().pszContent)
        std::filesystem::create_directories(strNzb);
    else if (GetParam().pszContent[0] != '\x01')
        WriteFile(strNzb, GetParam().pszContent);

    const CliRun run = RunCliIn(dir, {"queue", "import", strNzb});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_NE(run.strErr.find(GetParam().pszError), std::string::npos) << run.strErr;
    EXPECT_NE(run.strErr.find("Nothing was queued."), std::string::npos) << run.strErr;
    EXPECT_EQ(ReadFile(strIni), "[Preferences]\nDefaultPath=/srv/news\n");
    EXPECT_EQ(ReadFile(strQueue), std::string(4, '\0'));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliImportBad,
    testing::Values(BadCase{"NotXml", "PK\x03\x04 binary", "Not an NZB file"},
                    BadCase{"OtherXml", "<html><body/></html>", "not an <nzb>"},
                    BadCase{"NoSegments",
                            "<nzb xmlns=\"http://www.newzbin.com/DTD/2003/nzb\"><file subject=\"x\">"
                            "<segments/></file></nzb>",
                            "lists no segments"},
                    BadCase{"Missing", "\x01", "Cannot open"},
                    BadCase{"Folder", nullptr, "Cannot read"}),
    [](const testing::TestParamInfo<BadCase>& info) { return std::string(info.param.pszName); });
} // namespace
