#pragma once

#include "model/Article.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

// Turns the lines of one EasyNews day page into articles. A line with an
// article's check box and link becomes one article; the author carries over
// from line to line within the page. Pure text work.
class CEasyNewsParser
{
public:
    // strDate is the page's "MM/DD".
    explicit CEasyNewsParser(std::string strDate) : m_strDate(std::move(strDate)) {}

    // The article of one page line, or null when the line holds none.
    ArticlePtr ParseLine(std::string_view line);

    // "12.3 MB" → 12300000, "850 KB" → 850000, "0 KB" → 1000, "512 B" → 512,
    // "32.8 KB" → 32800.
    static int64_t ParseSize(std::string_view strSize);
    // A link target as a decode query: "javascript:warnexe('...');" wrapping
    // removed, an absolute address reduced to its path.
    static std::string ReduceLink(std::string_view target);
    // "%02d/%02d" month and day of the local date nDaysAgo days before tNow.
    static std::string PageDate(std::time_t tNow, int nDaysAgo);
    // The next page's object from the current one: the text between the last
    // "/" and the last "-" becomes the page number.
    static std::string NextPageObject(const std::string& strObject, int nPage);
    // The object of a final address: from the first "/" behind the scheme and host.
    static std::string ObjectOfUrl(const std::string& strUrl);

    const std::string& GetAuthor() const { return m_strAuthor; }

private:
    std::string m_strDate;
    std::string m_strAuthor; // raw, as on the page; starts empty on every page
};
