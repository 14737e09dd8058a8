#include "model/Archive.h"
#include "support/Articles.h"
#include "support/Join.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using testsupport::Bytes;

namespace
{
std::string StoreString(const std::string& str)
{
    CArchive ar;
    ar.WriteString(str);
    return ar.GetBuffer();
}

ArticlePtr FilledArticle()
{
    return testsupport::NewArticle({.nState = StateFailed,
                                    .nRetries = 3,
                                    .nService = 16,
                                    .nSize = 123456789,
                                    .strAuthor = "poster@example.invalid",
                                    .strDate = "12 Mar 2001",
                                    .strPath = "/home/u/News/",
                                    .strFileName = "file.rar",
                                    .strSubject = "a \"subject\" (1/1)",
                                    .strQuery = "/dl/alt.test/123?x=1"});
}
} // namespace

TEST(ArchiveTest, IntegersAreLittleEndian)
{
    CArchive ar;
    ar.WriteInt32(0x01020304);
    ar.WriteInt32(-2);
    ar.WriteUInt16(0xBEEF);
    EXPECT_EQ(ar.GetBuffer(), Bytes({4, 3, 2, 1, 0xFE, 0xFF, 0xFF, 0xFF, 0xEF, 0xBE}));

    CArchive in(ar.GetBuffer());
    EXPECT_EQ(in.ReadInt32(), 0x01020304);
    EXPECT_EQ(in.ReadInt32(), -2);
    EXPECT_EQ(in.ReadUInt16(), 0xBEEF);
    EXPECT_EQ(in.GetRemaining(), 0u);
}

TEST(ArchiveTest, StringLengthForms)
{
    using C = std::pair<size_t, std::string>;
    for (const auto& [nLength, strPrefix] :
         {C{0, Bytes({0})}, C{1, Bytes({1})}, C{254, Bytes({254})}, C{255, Bytes({0xFF, 0xFF, 0x00})},
          C{256, Bytes({0xFF, 0x00, 0x01})}, C{0xFFFD, Bytes({0xFF, 0xFD, 0xFF})},
          C{0xFFFE, Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00})},
          C{0x12345, Bytes({0xFF, 0xFF, 0xFF, 0x45, 0x23, 0x01, 0x00})}})
    {
        SCOPED_TRACE(nLength);
        std::string str(nLength, 'x');
        if (!str.empty())
            str.back() = 'y';
        std::string strStored = StoreString(str);
        ASSERT_EQ(strStored.size(), strPrefix.size() + nLength);
        EXPECT_EQ(strStored.substr(0, strPrefix.size()), strPrefix);
        CArchive in(strStored);
        EXPECT_EQ(in.ReadString(), str);
        EXPECT_EQ(in.GetRemaining(), 0u);
    }
}

TEST(ArchiveTest, MalformedStringsThrow)
{
    const std::string cases[] = {
        "",                                                // no length byte
        Bytes({5, 'a', 'b'}),                              // short body
        Bytes({0xFF, 0x10}),                               // truncated 16-bit length
        Bytes({0xFF, 0x00, 0x01, 'a'}),                    // 256 announced, 1 present
        Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), // 0xFFFFFFFF
        Bytes({0xFF, 0xFF, 0xFF, 0x01, 0x00}),             // truncated 32-bit length
        Bytes({0xFF, 0xFE, 0xFF, 0x00}),                   // wide-string marker
    };
    for (const auto& data : cases)
    {
        CArchive in(data);
        EXPECT_THROW(in.ReadString(), CArchiveException) << testing::PrintToString(data);
    }
}

TEST(ArchiveTest, ObjectsUseClassRecordThenReference)
{
    CArchive ar;
    CArticle first;
    CArticle second;
    ar.WriteObject(first);
    ar.WriteObject(second);
    std::string strExpected = Bytes({0xFF, 0xFF, 0x01, 0x00, 0x08, 0x00}) + "CArticle" +
                              std::string(22, '\0') + Bytes({0x01, 0x80}) + std::string(22, '\0');
    EXPECT_EQ(ar.GetBuffer(), strExpected);

    CArchive in(ar.GetBuffer());
    EXPECT_NE(in.ReadObject(), nullptr);
    EXPECT_NE(in.ReadObject(), nullptr);
    EXPECT_EQ(in.GetRemaining(), 0u);
}

TEST(ArchiveTest, ArticleRoundTripKeepsStoredFieldsOnly)
{
    auto pArticle = FilledArticle();
    pArticle->m_nLists = 3;
    pArticle->Transfer().m_fSpeed = 12.5f;
    pArticle->Transfer().m_strTimeLeft = "00:01";
    pArticle->m_strSavedName = "saved.bin";
    CArchive ar;
    ar.WriteObject(*pArticle);

    CArchive in(ar.GetBuffer());
    ArticlePtr pLoaded = in.ReadObject();
    // Each stored field came back into its own member: written again, the
    // loaded article gives the same bytes (their order is pinned below).
    CArchive again;
    again.WriteObject(*pLoaded);
    EXPECT_EQ(again.GetBuffer(), ar.GetBuffer());
    EXPECT_EQ(testsupport::Join(pLoaded->m_strSubject, pLoaded->m_nLists, pLoaded->GetTransfer().m_fSpeed,
                                pLoaded->GetTransfer().m_strTimeLeft, pLoaded->m_strSavedName),
              testsupport::Join(pArticle->m_strSubject, 0, 0, "", ""));
}

TEST(ArchiveTest, FieldOrderOnDisk)
{
    CArticle article;
    article.m_nRetries = 1;
    article.m_nService = 2;
    article.m_nSize = 3;
    article.m_nState = 4;
    for (auto [pstr, psz] :
         {std::pair{&article.m_strAuthor, "A"}, std::pair{&article.m_strDate, "D"},
          std::pair{&article.m_strDownloadPath, "P"}, std::pair{&article.m_strFileName, "F"},
          std::pair{&article.m_strSubject, "S"}, std::pair{&article.m_strDecodeQuery, "Q"}})
        pstr->assign(psz);
    CArchive ar;
    article.Serialize(ar);
    EXPECT_EQ(ar.GetBuffer(), Bytes({1, 0, 0, 0,   2, 0,   0, 0,   3, 0,   0, 0,   4, 0,
                                     0, 0, 1, 'A', 1, 'D', 1, 'P', 1, 'F', 1, 'S', 1, 'Q'}));
}

TEST(ArchiveTest, MalformedObjectsThrow)
{
    const std::string strFields(22, '\0');
    using C = std::pair<const char*, std::string>;
    for (const auto& [pszName, strData] :
         {C{"wrong class", Bytes({0xFF, 0xFF, 0x01, 0x00, 0x08, 0x00}) + "CArticlX" + strFields},
          C{"wrong name length", Bytes({0xFF, 0xFF, 0x01, 0x00, 0x07, 0x00}) + "CArticl" + strFields},
          C{"wrong schema", Bytes({0xFF, 0xFF, 0x02, 0x00, 0x08, 0x00}) + "CArticle" + strFields},
          C{"reference first", Bytes({0x01, 0x80}) + strFields},
          C{"other class index", Bytes({0x02, 0x80}) + strFields},
          C{"null object", Bytes({0x00, 0x00}) + strFields},
          C{"object reference", Bytes({0x02, 0x00}) + strFields},
          C{"big tag", Bytes({0xFF, 0x7F, 1, 0, 0, 0}) + strFields},
          C{"name past end", Bytes({0xFF, 0xFF, 0x01, 0x00, 0xFF, 0xFF}) + "CArticle"},
          C{"fields missing",
            Bytes({0xFF, 0xFF, 0x01, 0x00, 0x08, 0x00}) + "CArticle" + std::string(21, '\0')}})
    {
        CArchive in(strData);
        EXPECT_THROW(in.ReadObject(), CArchiveException) << pszName;
    }
}
