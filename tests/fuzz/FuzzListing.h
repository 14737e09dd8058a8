#pragma once

// The listing parsers' shared checks: what a page gives does not depend on
// its line ends, and every article keeps its fields through the queue file.

#include "FuzzArticles.h"

#include "listing/LineSource.h"
#include "listing/ListingSink.h"

#include <algorithm>
#include <climits>
#include <functional>

namespace fuzzharness
{
struct CCollect : IListingSink
{
    void OnArticle(ArticlePtr p) override { articles.push_back(std::move(p)); }
    void OnProgress(int n) override { progress.push_back(n); }
    void OnStatusLine(const std::string& s) override { status.push_back(s); }
    std::vector<ArticlePtr> articles;
    std::vector<int> progress;
    std::vector<std::string> status;
};

// fnParse reads one page into a sink.
inline void CheckListing(const std::string& strPage, const std::function<void(const std::string&, CCollect&)>& fnParse)
{
    CCollect sink;
    fnParse(strPage, sink);
    for (const auto& pArticle : sink.articles)
    {
        FUZZ_CHECK(pArticle->m_nSize == std::clamp<int64_t>(pArticle->GetSize(), INT32_MIN, INT32_MAX));
    }
    CheckQueueRoundTrip(sink.articles);

    // The same page sent with CR LF line ends.
    if (strPage.find('\r') != std::string::npos)
        return;
    std::string strCrLf;
    for (char c : strPage)
    {
        if (c == '\n')
            strCrLf += '\r';
        strCrLf += c;
    }
    CCollect crlf;
    fnParse(strCrLf, crlf);
    FUZZ_CHECK(crlf.articles.size() == sink.articles.size());
    for (size_t i = 0; i < sink.articles.size(); ++i)
        FUZZ_CHECK(SameStoredFields(*sink.articles[i], *crlf.articles[i]));
    FUZZ_CHECK(crlf.progress == sink.progress);
    FUZZ_CHECK(crlf.status == sink.status);
}
} // namespace fuzzharness
