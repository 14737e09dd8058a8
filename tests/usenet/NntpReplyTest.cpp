#include "nntp/NntpReply.h"

#include <gtest/gtest.h>

using namespace usenet;

namespace
{

struct SLineCase
{
    const char* m_pszLine;
    bool m_bOk;
    int m_nCode;
    const char* m_pszText;
};

using NntpReplyLine = ::testing::TestWithParam<SLineCase>;

TEST_P(NntpReplyLine, Parses)
{
    const SLineCase& c = GetParam();
    SNntpReplyLine reply;
    ASSERT_EQ(ParseNntpReplyLine(c.m_pszLine, reply), c.m_bOk) << c.m_pszLine;
    if (c.m_bOk)
    {
        EXPECT_EQ(reply.m_nCode, c.m_nCode);
        EXPECT_EQ(reply.m_strText, c.m_pszText);
    }
}

INSTANTIATE_TEST_SUITE_P(OddLines, NntpReplyLine,
                         ::testing::Values(SLineCase{"200 news.example ready\r\n", true, 200, "news.example ready"},
                                           SLineCase{"201\r\n", true, 201, ""},
                                           SLineCase{"281", true, 281, ""},
                                           SLineCase{"  211   12 3 14 alt.test  \n", true, 211, "12 3 14 alt.test"},
                                           SLineCase{"430\tno such article\r\n", true, 430, "no such article"},
                                           SLineCase{"200-welcome\r\n", true, 200, "welcome"},
                                           SLineCase{"222 0 <a@b>\r\r\n", true, 222, "0 <a@b>"},
                                           SLineCase{"", false, 0, ""},
                                           SLineCase{"\r\n", false, 0, ""},
                                           SLineCase{"20\r\n", false, 0, ""},
                                           SLineCase{"2000 too long\r\n", false, 0, ""},
                                           SLineCase{"2x0 letters\r\n", false, 0, ""},
                                           SLineCase{"=ybegin part=1\r\n", false, 0, ""},
                                           SLineCase{"200text\r\n", false, 0, ""}));

struct SBlockCase
{
    std::string m_strIn;
    std::string m_strOut;
    size_t m_nUsed; // npos: the block does not end in the input
};

using NntpDotUnstuffer = ::testing::TestWithParam<SBlockCase>;

// Every split of the input into two chunks, and byte by byte, gives the same result.
TEST_P(NntpDotUnstuffer, AnySplit)
{
    const SBlockCase& c = GetParam();
    const bool bEnds = c.m_nUsed != std::string::npos;
    auto feed = [&](const std::vector<size_t>& vecCuts) {
        CDotUnstuffer unstuffer;
        std::string strOut;
        size_t nUsed = 0;
        size_t nFrom = 0;
        for (size_t i = 0; i <= vecCuts.size() && !unstuffer.IsDone(); ++i)
        {
            const size_t nTo = i < vecCuts.size() ? vecCuts[i] : c.m_strIn.size();
            nUsed += unstuffer.Feed(c.m_strIn.data() + nFrom, nTo - nFrom, strOut);
            nFrom = nTo;
        }
        EXPECT_EQ(strOut, c.m_strOut);
        EXPECT_EQ(unstuffer.IsDone(), bEnds);
        if (bEnds)
        {
            EXPECT_EQ(nUsed, c.m_nUsed);
        }
    };
    for (size_t nCut = 0; nCut <= c.m_strIn.size(); ++nCut)
        feed({nCut});
    std::vector<size_t> vecBytes;
    for (size_t i = 1; i < c.m_strIn.size(); ++i)
        vecBytes.push_back(i);
    feed(vecBytes);
}

const std::string kTail = "205 bye\r\n";

INSTANTIATE_TEST_SUITE_P(
    Blocks, NntpDotUnstuffer,
    ::testing::Values(SBlockCase{".\r\n" + kTail, "", 3}, SBlockCase{"a\r\n.\r\n" + kTail, "a\r\n", 6},
                      SBlockCase{"..a\r\n...\r\n.\r\n", ".a\r\n..\r\n", 13},
                      SBlockCase{"x\n..\n.\n" + kTail, "x\n.\n", 7},
                      SBlockCase{"a.\r\n b\r\n.\r\n", "a.\r\n b\r\n", 11},
                      SBlockCase{".\rx\r\n.\r\n", "\rx\r\n", 8},
                      SBlockCase{"\r\n\r\n.\r\n", "\r\n\r\n", 7},
                      SBlockCase{"no end\r\n.x", "no end\r\nx", std::string::npos},
                      SBlockCase{"line\r\n.", "line\r\n", std::string::npos}));

} // namespace
