#pragma once

#include "gateway/GatewayCorpus.h"

#include <cstdint>
#include <string>

// Writes a listing page piece by piece while it is sent, so a page of a
// million articles never exists in memory as a whole. One object serves one
// page: the NewsGuy listing of a group, or one EasyNews day page.
class CListingPage
{
public:
    enum Kind
    {
        KindNewsGuy,
        KindEasyNews,
    };

    // pGroup null: the group is unknown (NewsGuy answers "Cannot access Newsgroup.").
    CListingPage(const CGatewayCorpus& corpus, const CGatewayGroup* pGroup, Kind nKind, int32_t nDay,
                 std::string strHost);

    // Appends the next piece (roughly nBytes) to strOut; false once the page is complete.
    bool Next(std::string& strOut, size_t nBytes = 256 * 1024);

private:
    void AppendHeader(std::string& strOut) const;
    void AppendNewsGuyEntry(std::string& strOut, const CGatewayArticle& a) const;
    void AppendEasyNewsLine(std::string& strOut, const CGatewayArticle& a) const;
    void AppendFooter(std::string& strOut) const;

    const CGatewayCorpus& m_corpus;
    const CGatewayGroup* m_pGroup;
    Kind m_nKind;
    int32_t m_nDay;
    std::string m_strHost;
    int32_t m_nNext = 0;
    int32_t m_nLast = 0;
    int32_t m_nFirst = 0;
    int m_nLastPercent = -1;
    int m_nStage = 0; // 0 header, 1 articles, 2 footer written
};
