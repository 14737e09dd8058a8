// Inputs the fuzz targets found, kept as regular cases.

#include "filters/KillFile.h"
#include "net/HttpRequest.h"
#include "nzb/NzbReader.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using usenet::CDecodeQuery;
using usenet::CNzbReader;

// Only a status line with three digits standing alone gives a code.
TEST(FuzzFindings, StatusCodeIsThreeDigits)
{
    const struct
    {
        const char* pszLine;
        long nCode;
    } cases[] = {
        {"HTTP/1.1 200 OK", 200}, {"HTTP/2 404", 404},      {"HTTP/1.0 999 x", 999}, {"HTTP/1.0 20\x8b/", 0},
        {"HTTP/1.1 -1 x", 0},     {"HTTP/1.1 2000 x", 0},   {"HTTP/1.1 099 x", 0},   {"HTTP/1.1", 0},
        {"HTTP/1.1 20", 0},       {"HTTP/1.1  200 OK", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CHttpRequest::ParseStatusCode(c.pszLine), c.nCode) << c.pszLine;
}

// An entry that ends in CR (a file written elsewhere with "\r\r\n") comes
// back unchanged after a save, beside ordinary entries.
TEST(FuzzFindings, KillEntryEndingInCrSurvivesASave)
{
    testsupport::TempDir dir;
    const std::string strPath = dir.File("Subject.kill");
    testsupport::WriteFile(strPath, "plain\r\nends in cr\r\r\n\r\n\rlast");
    std::vector<std::string> entries;
    CKillFile::LoadKillFilter(strPath, entries);
    const std::vector<std::string> expected = {"plain", "ends in cr\r", "", "\rlast"};
    ASSERT_EQ(entries, expected);
    ASSERT_TRUE(CKillFile::SaveKillFilter(strPath, entries));
    std::vector<std::string> again;
    CKillFile::LoadKillFilter(strPath, again);
    EXPECT_EQ(again, expected);
}

// A second segment list would restart the part numbers; a gap must not
// carry them past the largest int, nor may gaps stand alone; a part count that adds nothing is dropped,
// so the query's text form gives it back the same.
TEST(FuzzFindings, DecodeQueryRefusesRestartedOrOverflowingNumbers)
{
    for (const char* psz : {"g=a&m=.x,.y&m=.z", "g=a&m=&m=.z", "g=a&m=.x,~2147483646,.y", "g=a&m=.x,~2147483645,.y,.z", "g=a&m=~3"})
    {
        CDecodeQuery query;
        std::string strError;
        EXPECT_FALSE(CDecodeQuery::Decode(psz, query, &strError)) << psz;
        EXPECT_FALSE(strError.empty()) << psz;
    }
    CDecodeQuery query;
    ASSERT_TRUE(CDecodeQuery::Decode("g=a&m=.x,~2147483645,.y", query));
    ASSERT_EQ(query.m_vecSegments.size(), 2u);
    EXPECT_EQ(query.m_vecSegments.back().m_nNumber, 2147483647);
    // A part count no larger than the last part listed says nothing more.
    for (const char* psz : {"g=a&m=.x,.y&t=2", "g=a&m=.x,.y&t=-4"})
    {
        ASSERT_TRUE(CDecodeQuery::Decode(psz, query)) << psz;
        EXPECT_EQ(query.m_nTotal, 0) << psz;
        CDecodeQuery again;
        ASSERT_TRUE(CDecodeQuery::Decode(query.Encode(), again));
        EXPECT_TRUE(again == query) << psz;
    }
}

// A file without a newsgroup has no decode query to give: it is skipped
// with a warning, and the others stay. A counter of no parts counts none.
TEST(FuzzFindings, NzbFileWithoutGroupIsSkipped)
{
    const std::string strNzb = R"NZB(<?xml version="1.0"?>
<nzb xmlns="http://www.newzbin.com/DTD/2003/nzb">
 <file poster="p" date="1" subject="nogroup.bin (1/1)">
  <groups><group> </group></groups>
  <segments><segment bytes="5" number="1">a@b</segment></segments>
 </file>
 <file poster="p" date="1" subject="kept.bin (1/1)">
  <groups><group>alt.test</group></groups>
  <segments><segment bytes="5" number="1">c@d</segment></segments>
 </file>
</nzb>)NZB";
    CNzbReader reader;
    ASSERT_TRUE(reader.Parse(strNzb)) << reader.GetError();
    ASSERT_EQ(reader.GetFiles().size(), 1u);
    EXPECT_EQ(reader.GetFiles()[0].m_strFileName, "kept.bin");
    CDecodeQuery query;
    EXPECT_TRUE(CDecodeQuery::Decode(reader.GetFiles()[0].m_query.Encode(), query));
    ASSERT_EQ(reader.GetWarnings().size(), 1u);
    EXPECT_EQ(reader.GetWarnings()[0], "\"nogroup.bin (1/1)\" names no newsgroup and was skipped.");
    EXPECT_EQ(CNzbReader::PartCountFromSubject("x (1/-7)"), 0);
}
