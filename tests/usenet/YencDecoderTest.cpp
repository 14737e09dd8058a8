#include "yenc/YencDecoder.h"
#include "support/Join.h"
#include "yenc/YencEncoder.h"
#include "yenc/YencFileCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using namespace usenet;

namespace
{

std::string RandomBytes(size_t n, uint32_t nSeed)
{
    std::mt19937 rng(nSeed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
}

// Every byte value that encodes to a critical character, many times over.
std::string CriticalBytes(size_t n)
{
    static const char s_crit[] = {char(0xd6), char(0xe0), char(0xe3), char(0x13),
                                  char(0xdf), char(0xf6), char(0x04)};
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s += (i % 3) ? s_crit[i % sizeof s_crit] : static_cast<char>(i);
    return s;
}

struct SDecoded
{
    std::string m_strData;
    EYencResult m_nResult;
};

// Feeds the post in chunks of nChunk bytes (0: all at once).
SDecoded DecodeChunked(std::string_view post, EYencKernel nKernel, size_t nChunk)
{
    CYencDecoder dec(nKernel);
    SDecoded r;
    for (size_t i = 0; i < post.size(); i += nChunk ? nChunk : post.size())
        dec.Feed(post.substr(i, nChunk ? nChunk : post.size()), r.m_strData);
    r.m_nResult = dec.Finish();
    return r;
}

std::string Replace(std::string s, const std::string& strFrom, const std::string& strTo)
{
    const size_t p = s.find(strFrom);
    return p == std::string::npos ? s : s.replace(p, strFrom.size(), strTo);
}

// Changes the first digit of a "key=" hex value (and only that).
std::string FlipDigit(std::string s, const std::string& strKey)
{
    const size_t p = s.find(strKey) + strKey.size();
    s[p] = s[p] == '0' ? '1' : '0';
    return s;
}

std::string UpperAfter(std::string s, const std::string& strKey)
{
    for (size_t p = s.find(strKey) + strKey.size(); p < s.size(); ++p)
        s[p] = static_cast<char>(::toupper(static_cast<unsigned char>(s[p])));
    return s;
}

struct SCase
{
    const char* m_pszName;
    std::string m_strPost;
    std::string m_strData;
    EYencResult m_nResult;
};

std::vector<SCase> Cases()
{
    const std::string data = RandomBytes(5000, 1) + CriticalBytes(700);
    SYencEncodeOptions part;
    part.m_nPart = 2;
    part.m_nTotal = 3;
    part.m_nBegin = 1001;
    part.m_nFileSize = 20000;
    SYencEncodeOptions lf;
    lf.m_strEol = "\n";
    SYencEncodeOptions longLines;
    longLines.m_nLine = 5000;
    const std::string single = YencEncode(data);
    const std::string multi = YencEncode(data, part);
    std::string splitEscape = "=ybegin line=128 size=4 name=a b\r\nA=\r\nJ=";
    splitEscape += "\r\n\r\n}B\r\n=yend size=4\r\n";
    return {
        {"single", "Some text\r\n\r\n" + single + "-- \r\nsig\r\n", data, yrOk},
        {"multipart", multi, data, yrOk},
        {"lf_only", YencEncode(data, lf), data, yrOk},
        {"overlong_lines", YencEncode(data, longLines), data, yrOk},
        {"no_ypart",
         Replace(multi,
                 multi.substr(multi.find("=ypart"),
                              multi.find('\n', multi.find("=ypart")) - multi.find("=ypart") + 1),
                 ""),
         data, yrOk},
        {"no_total", Replace(multi, " total=3", ""), data, yrOk},
        {"upper_hex_crc", UpperAfter(single, "crc32="), data, yrOk},
        {"upper_hex_crc_mismatch", UpperAfter(FlipDigit(single, "crc32="), "crc32="), data, yrFileCrc},
        {"escape_split_across_lines", splitEscape, std::string("\x17\xe0\x13\x18"), yrOk},
        {"pcrc_mismatch", FlipDigit(multi, "pcrc32="), data, yrPartCrc},
        {"crc_mismatch", FlipDigit(single, "crc32="), data, yrFileCrc},
        {"size_mismatch", Replace(single, "=yend size=5700", "=yend size=5699"), data, yrSizeMismatch},
        {"no_yend", single.substr(0, single.find("=yend")), data, yrNoEnd},
        {"no_ybegin", "just text\r\n=ybeginning\r\n", "", yrNoBegin},
        {"keyword_not_at_line_start", "=ybegin size=1 name=x\r\nk=y\r\n=yend size=2\r\n",
         std::string("A\x0f", 2), yrOk},
    };
}

using YencDecodeTest = ::testing::TestWithParam<std::tuple<EYencKernel, size_t>>;

TEST_P(YencDecodeTest, EveryCaseInEveryChunking)
{
    const auto [nKernel, nChunk] = GetParam();
    if (!YencKernelSupported(nKernel))
        GTEST_SKIP() << "not on this processor";
    for (const SCase& c : Cases())
    {
        const SDecoded r = DecodeChunked(c.m_strPost, nKernel, nChunk);
        EXPECT_EQ(r.m_nResult, c.m_nResult) << c.m_pszName;
        EXPECT_TRUE(r.m_strData == c.m_strData) << c.m_pszName << ": " << r.m_strData.size() << " bytes";
    }
}

INSTANTIATE_TEST_SUITE_P(KernelsAndChunks, YencDecodeTest,
                         ::testing::Combine(::testing::Values(ykPlain, ykSsse3, ykAvx2),
                                            ::testing::Values(0, 1, 2, 7, 31, 33, 4099)),
                         [](const auto& info)
                         {
                             return std::string(YencKernelName(std::get<0>(info.param))) + "_" +
                                    std::to_string(std::get<1>(info.param));
                         });

TEST(YencDecoder, ReadsTheHeaderFields)
{
    SYencEncodeOptions o;
    o.m_strName = "  a name with blanks .bin ";
    o.m_nPart = 3;
    o.m_nTotal = 9;
    o.m_nBegin = 11;
    o.m_nFileSize = 99;
    CYencDecoder dec;
    std::string out;
    dec.Feed(YencEncode("0123456789", o), out);
    const SYencInfo& info = dec.GetInfo();
    EXPECT_EQ(testsupport::Join(info.m_strName, info.m_nPart, info.m_nTotal, info.m_nFileSize, info.m_nBegin,
                                info.m_nEnd),
              testsupport::Join(o.m_strName, 3, 9, 99, 11, 20));
    EXPECT_EQ(dec.Finish(), yrOk);
}

// Random bodies rich in "=", CR, LF and "y", decoded by every kernel into
// exactly sized outputs of random capacity: the same bytes as the plain
// kernel, and not one byte written past the capacity.
TEST(YencDecoder, RandomInputNeverOverrunsAndKernelsAgree)
{
    std::mt19937 rng(7);
    const char alphabet[] = "==\r\n\nyy.\t abc\x00\xff";
    for (int nRound = 0; nRound < 400; ++nRound)
    {
        std::string body = "=ybegin size=9 name=x\n";
        const size_t n = rng() % 700;
        for (size_t i = 0; i < n; ++i)
            body += rng() % 3 ? static_cast<char>(rng()) : alphabet[rng() % (sizeof alphabet - 1)];
        std::string strReference;
        for (EYencKernel nKernel : {ykPlain, ykSsse3, ykAvx2})
        {
            if (!YencKernelSupported(nKernel))
                continue;
            CYencDecoder dec(nKernel);
            std::string strOut;
            std::string_view in(body);
            while (!in.empty())
            {
                const size_t nCap = rng() % 80;
                std::vector<char> buf(nCap + 16, '\x5a');
                size_t nUsed = 0;
                const size_t nChunk = std::min(in.size(), size_t(1 + rng() % 120));
                const size_t nOut = dec.Decode(in.data(), nChunk, buf.data(), nCap, &nUsed);
                ASSERT_LE(nOut, nCap);
                ASSERT_LE(nUsed, nChunk);
                ASSERT_TRUE(std::all_of(buf.begin() + nCap, buf.end(), [](char c) { return c == '\x5a'; }));
                strOut.append(buf.data(), nOut);
                in.remove_prefix(nUsed);
            }
            if (nKernel == ykPlain)
                strReference = strOut;
            else
                ASSERT_TRUE(strOut == strReference) << YencKernelName(nKernel) << " round " << nRound;
        }
    }
}

TEST(YencFileCheck, JoinsPartsInAnyOrder)
{
    const std::string file = RandomBytes(10000, 3);
    std::vector<std::string> posts;
    CYencDecoder whole;
    std::string tmp;
    whole.Feed(YencEncode(file), tmp);
    const uint32_t nFileCrc = whole.GetCrc();
    for (int p = 0; p < 3; ++p)
    {
        SYencEncodeOptions o;
        o.m_nPart = p + 1;
        o.m_nBegin = 1 + p * 4000u;
        o.m_nFileSize = file.size();
        o.m_bFileCrc = p == 2;
        o.m_nFileCrc = nFileCrc;
        posts.push_back(YencEncode(file.substr(p * 4000, 4000), o));
    }
    struct
    {
        std::vector<int> m_vecParts;
        uint32_t m_nCrcXor;
        EYencResult m_nResult;
    } cases[] = {{{2, 0, 1}, 0, yrOk}, {{0, 2}, 0, yrSizeMismatch}, {{0, 1, 2}, 1, yrFileCrc}};
    for (const auto& c : cases)
    {
        CYencFileCheck check;
        for (int p : c.m_vecParts)
        {
            CYencDecoder dec;
            std::string out;
            dec.Feed(posts[p], out);
            ASSERT_EQ(dec.Finish(), yrOk);
            check.AddPart(dec);
        }
        if (c.m_nCrcXor)
            check.SetFile(file.size(), true, nFileCrc ^ c.m_nCrcXor);
        EXPECT_EQ(check.Finish(), c.m_nResult);
    }
}

} // namespace
