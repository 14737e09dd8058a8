#pragma once

#include "gateway/GatewaySimulator.h"

#include <cstdint>
#include <string>
#include <vector>

// The generated newsgroups and their articles. Every article is computed on
// demand from the corpus key, the group name and its index, so a listing of a
// million articles never exists in memory as a whole.
class CGatewayCorpus
{
public:
    CGatewayCorpus(uint64_t nCorpusKey, int32_t nArticles, int32_t nDays,
                   const std::vector<CGatewayGroup>& extraGroups);

    const CGatewayGroup* FindGroup(const std::string& strGroup) const;
    std::vector<std::string> GroupNames() const;
    int32_t DayCount(const CGatewayGroup& group) const;

    // How much of an article to fill in: a listing page needs only its own
    // service's texts, and none of what a download needs (ETag, faults).
    enum Detail
    {
        DetailFull,
        DetailNewsGuyPage,
        DetailEasyNewsPage,
    };

    // The article without its EasyNews author inheritance resolved.
    CGatewayArticle Article(const CGatewayGroup& group, int32_t nIndex, Detail nDetail = DetailFull) const;
    // Same, with m_strEasyAuthor resolved from earlier lines of its day page.
    CGatewayArticle ResolvedArticle(const CGatewayGroup& group, int32_t nIndex) const;

    // Index range [first, last) of the articles on an EasyNews day page.
    void DayRange(const CGatewayGroup& group, int32_t nDay, int32_t& nFirst, int32_t& nLast) const;

    // "group/index/escaped-name", the text after "wwwdecode?".
    static std::string DecodeQuery(const CGatewayArticle& article);
    // "/dl/group/index/escaped-name"
    static std::string EasyPath(const CGatewayArticle& article);
    static std::string EscapeName(const std::string& strName);
    static std::string UnescapeText(const std::string& strText);

private:
    uint64_t m_nCorpusKey;
    int32_t m_nDays;
    std::vector<CGatewayGroup> m_groups;
};
