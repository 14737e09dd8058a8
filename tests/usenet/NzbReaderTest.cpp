#include "nzb/NzbReader.h"
#include "nzb/DecodeQuery.h"

#include <gtest/gtest.h>

#include <string>

using namespace usenet;

namespace
{

const char kHead[] = R"(<?xml version="1.0" encoding="iso-8859-1" ?>
<!DOCTYPE nzb PUBLIC "-//newzBin//DTD NZB 1.1//EN" "http://www.newzbin.com/DTD/nzb/nzb-1.1.dtd">
<nzb xmlns="http://www.newzbin.com/DTD/2003/nzb">
 <head><meta type="title">Holiday &amp; more</meta></head>
)";

std::string Nzb(const std::string& strFiles)
{
    return kHead + strFiles + "</nzb>\n";
}

const std::string kTwoFiles = Nzb(R"NZB(
 <file poster="Joe Bloggs &lt;joe@example.com&gt;" date="1700000000"
       subject="Tom &amp; Jerry [2/3] - &quot;tj.part2.rar&quot; yEnc (1/5)">
  <groups><group>alt.binaries.test</group><group>alt.binaries.misc</group></groups>
  <segments>
   <segment bytes="300" number="4">p4.x@news.example.com</segment>
   <segment bytes="100" number="2">p2.x@news.example.com</segment>
   <segment bytes="100" number="2">p2.x@news.example.com</segment>
   <segment bytes="200" number="1"> &lt;p1.x@news.example.com&gt; </segment>
  </segments>
 </file>
 <file poster="amy" date="1704067199" subject="holiday.jpg (1/1)">
  <groups><group>alt.binaries.pictures</group></groups>
  <segments><segment bytes="50" number="1">a@b</segment></segments>
 </file>
)NZB");

TEST(NzbReader, ReadsFilesInPartOrder)
{
    CNzbReader reader;
    ASSERT_TRUE(reader.Parse(kTwoFiles)) << reader.GetError();
    ASSERT_EQ(reader.GetFiles().size(), 2u);
    const SNzbFile& f = reader.GetFiles()[0];
    EXPECT_EQ(f.m_strSubject, "Tom & Jerry [2/3] - \"tj.part2.rar\" yEnc (1/5)");
    EXPECT_EQ(f.m_strPoster, "Joe Bloggs <joe@example.com>");
    EXPECT_EQ(f.m_strDate, "11/14");
    EXPECT_EQ(f.m_nSize, 600u); // the repeated part counts once
    EXPECT_EQ(f.m_strFileName, "tj.part2.rar");
    const std::vector<std::string> vecGroups{"alt.binaries.test", "alt.binaries.misc"};
    EXPECT_EQ(f.m_query.m_vecGroups, vecGroups);
    const std::vector<SSegmentRef> vecSegments{
        {1, "p1.x@news.example.com"}, {2, "p2.x@news.example.com"}, {4, "p4.x@news.example.com"}};
    EXPECT_EQ(f.m_query.m_vecSegments, vecSegments);
    EXPECT_EQ(f.m_query.GetMissing(), (std::vector<int>{3, 5}));
    EXPECT_EQ(reader.GetWarnings().size(), 1u);

    const SNzbFile& g = reader.GetFiles()[1];
    EXPECT_EQ(g.m_strDate, "12/31");
    EXPECT_EQ(g.m_strFileName, "holiday.jpg");
    EXPECT_TRUE(g.m_query.GetMissing().empty());
}

TEST(NzbReader, RefusesWhatIsNoNzb)
{
    const std::string strNoSegments =
        R"(<file poster="p" date="1" subject="s"><groups><group>g</group></groups>)"
        R"(<segments/></file>)";
    const struct
    {
        const char* m_pszName;
        std::string m_strXml;
        const char* m_pszError;
    } cases[] = {
        {"empty", "", "Not an NZB file: "},
        {"text", "this is not XML\n", "Not an NZB file: syntax error at line 1."},
        {"cut_short", kTwoFiles.substr(0, kTwoFiles.size() / 2), "Not an NZB file: "},
        {"html", "<html><body>Not found</body></html>", "Not an NZB file: the document is not an <nzb>."},
        {"no_files", Nzb(""), "The NZB file lists no segments."},
        {"no_segments", Nzb(strNoSegments), "The NZB file lists no segments."},
    };
    for (const auto& c : cases)
    {
        CNzbReader reader;
        EXPECT_FALSE(reader.Parse(c.m_strXml)) << c.m_pszName;
        EXPECT_EQ(reader.GetError().rfind(c.m_pszError, 0), 0u) << c.m_pszName << ": " << reader.GetError();
        EXPECT_TRUE(reader.GetFiles().empty());
    }
}

TEST(NzbReader, FileNameFromSubject)
{
    const std::pair<const char*, const char*> cases[] = {
        {"[3/12] - \"name.part03.rar\" yEnc (17/50)", "name.part03.rar"},
        {"\"name with blanks.ext\" yEnc (1/7)", "name with blanks.ext"},
        {"Some text - name.ext (5/20)", "name.ext"},
        {"name.ext (1/1)", "name.ext"},
        {"name.ext yEnc (1/3)", "name.ext"},
        {"plain subject", "plain subject"},
    };
    for (const auto& [pszSubject, pszName] : cases)
        EXPECT_EQ(CNzbReader::FileNameFromSubject(pszSubject), pszName) << pszSubject;
}

TEST(DecodeQuery, SurvivesARoundTrip)
{
    const CDecodeQuery cases[] = {
        {{"alt.binaries.test"},
         {{1, "part1of3.abc@news.example.com"}, {2, "part2of3.abd@news.example.com"}},
         0},
        {{"a.b", "c++.d"}, {{3, "x"}, {4, "xy"}, {9, "z%,&=~ .<>"}}, 12},
        {{"g"}, {{1, "same@x"}, {2, "same@x2"}}, 0},
        {{"g"}, {{1, "@"}}, 0},
    };
    for (const CDecodeQuery& q : cases)
    {
        const std::string strQuery = q.Encode();
        EXPECT_EQ(strQuery.find_first_of(" <>\"\r\n"), std::string::npos) << strQuery;
        CDecodeQuery back;
        std::string strError;
        ASSERT_TRUE(CDecodeQuery::Decode(strQuery, back, &strError)) << strQuery << ": " << strError;
        EXPECT_EQ(back, q) << strQuery;
    }
}

TEST(DecodeQuery, StaysCompactForManySegments)
{
    CDecodeQuery q;
    q.m_vecGroups = {"alt.binaries.test"};
    size_t nIdBytes = 0;
    for (int n = 1; n <= 3000; ++n)
    {
        q.m_vecSegments.push_back({n, "part" + std::to_string(n) + "of3000.Xq9RzT2@powerpost.example.com"});
        nIdBytes += q.m_vecSegments.back().m_strMessageId.size();
    }
    const std::string strQuery = q.Encode();
    EXPECT_LT(strQuery.size(), nIdBytes / 3);
    CDecodeQuery back;
    ASSERT_TRUE(CDecodeQuery::Decode(strQuery, back));
    EXPECT_EQ(back, q);
}

TEST(DecodeQuery, RefusesBrokenQueries)
{
    for (const char* psz : {"", "g=a", "m=.x", "g=a&m=", "g=a&m=5.x", "g=a&m=.x,~0", "g=a&m=.x%4", "g=a&m=x",
                            "g=a&s=&m=.", "g=a&m=.x&t=q", "junk"})
    {
        CDecodeQuery q;
        std::string strError;
        EXPECT_FALSE(CDecodeQuery::Decode(psz, q, &strError)) << psz;
        EXPECT_EQ(strError.rfind("Bad decode query: ", 0), 0u) << psz;
    }
}

} // namespace
