#include "listing/NewsGuyParser.h"

#include "listing/ListingText.h"

#include <cstring>

using ListingText::npos;

namespace
{
constexpr std::string_view kCannotAccess = "<h2>Cannot access Newsgroup.</h2>";
constexpr std::string_view kSetProgress = "setProgress(";
constexpr std::string_view kBatchLink = "BatchLink(";

// Case-insensitive find of a lower-case ASCII needle.
size_t FindNoCase(const std::string& str, std::string_view needle, size_t nFrom)
{
    const size_t n = needle.size();
    if (str.size() < n)
        return npos;
    for (size_t i = nFrom; i + n <= str.size(); ++i)
    {
        const void* p = std::memchr(str.data() + i, needle[0], str.size() - n + 1 - i);
        if (!p)
            return npos;
        i = static_cast<size_t>(static_cast<const char*>(p) - str.data());
        size_t k = 1;
        for (; k < n; ++k)
        {
            char c = str[i + k];
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
            if (c != needle[k])
                break;
        }
        if (k == n)
            return i;
    }
    return npos;
}

// Removes every occurrence of a tag that starts with needle up to and
// including the next ">", searching again after each removal; a removal can
// join text into a new occurrence only from a few characters before it.
void RemoveTags(std::string& str, std::string_view needle)
{
    size_t nFrom = 0;
    for (;;)
    {
        size_t p = FindNoCase(str, needle, nFrom);
        if (p == npos)
            return;
        size_t nGt = str.find('>', p);
        if (nGt == npos)
        {
            // Nothing closes the tag: the rest of the line is tag.
            str.erase(p);
            return;
        }
        str.erase(p, nGt - p + 1);
        nFrom = p >= needle.size() - 1 ? p - (needle.size() - 1) : 0;
    }
}
} // namespace

void CNewsGuyParser::StripFontTags(std::string& str)
{
    if (str.find('<') == npos)
        return;
    RemoveTags(str, "<font");
    RemoveTags(str, "</font>");
}

int64_t CNewsGuyParser::ParseSize(std::string_view strSize)
{
    return ListingText::SizeOfText(strSize);
}

bool CNewsGuyParser::ParseProgress(std::string_view line, int& nPercent)
{
    size_t nOpen = line.find('(');
    if (nOpen == npos)
        return false;
    size_t nClose = line.find(')', nOpen + 1);
    if (nClose == npos)
        return false;
    nPercent = static_cast<int>(
        ListingText::ClampSize(ListingText::ToInteger(line.substr(nOpen + 1, nClose - nOpen - 1))));
    return true;
}

void CNewsGuyParser::ParsePage(ILineSource& source, IListingSink& sink)
{
    std::string strLine;
    while (source.ReadLine(strLine))
    {
        if (ParseLine(strLine, source, sink) != LineDone)
            return;
    }
}

CNewsGuyParser::LineResult CNewsGuyParser::ParseLine(std::string& strLine, ILineSource& source,
                                                     IListingSink& sink)
{
    // Every marker holds a '(' or a '<'; most lines of a page have neither.
    if (strLine.find_first_of("(<") == npos)
        return LineDone;
    std::string_view line(strLine);
    if (line.find(kCannotAccess) != npos)
    {
        sink.OnStatusLine("Cannot access Newsgroup.");
        return LineStop;
    }
    if (line.find(kSetProgress) != npos)
    {
        int nPercent = 0;
        if (ParseProgress(line, nPercent))
            sink.OnProgress(nPercent);
        return LineDone;
    }
    if (line.find(kBatchLink) != npos)
    {
        ArticlePtr pArticle;
        bool bSourceEnd = false;
        if (ParseEntry(strLine, source, pArticle, bSourceEnd))
            sink.OnArticle(std::move(pArticle));
        return bSourceEnd ? LineSourceEnd : LineDone;
    }
    return LineDone;
}

bool CNewsGuyParser::ParseEntry(std::string& strFirst, ILineSource& source, ArticlePtr& pArticle,
                                bool& bSourceEnd)
{
    // The first argument's quotes.
    size_t q1 = strFirst.find('\'');
    if (q1 == npos)
        return false;
    size_t q2 = strFirst.find('\'', q1 + 1);
    if (q2 == npos)
        return false;
    // Escaped quotes inside the subject must not end it.
    if (strFirst.find("\\'") != npos)
        ListingText::ReplaceAll(strFirst, "\\'", "&singlequot;");
    size_t nComma = strFirst.find(',', q2 + 1);
    if (nComma == npos)
        return false;
    size_t nSubject = nComma + 2;
    if (nSubject > strFirst.size())
        return false;
    size_t nSubjectEnd = strFirst.find('\'', nSubject);
    if (nSubjectEnd == npos)
        return false;
    std::string strSubject(strFirst, nSubject, nSubjectEnd - nSubject);

    bool bComplete = false;
    size_t nMark = strFirst.find(',', nSubjectEnd + 1);
    if (nMark != npos)
    {
        size_t nMarkEnd = strFirst.find(',', nMark + 1);
        std::string_view mark(strFirst);
        mark = mark.substr(nMark + 1, nMarkEnd == npos ? npos : nMarkEnd - nMark - 1);
        bComplete = ListingText::Trim(mark) == "0";
    }

    // Four more lines; the fourth holds the date.
    std::string& strLine = m_strLine;
    for (int i = 0; i < 4; ++i)
    {
        if (!source.ReadLine(strLine))
        {
            bSourceEnd = true;
            return false;
        }
    }
    std::string strDate;
    {
        std::string_view line(strLine);
        size_t nLt = line.rfind('<');
        if (nLt != npos)
        {
            line = line.substr(0, nLt);
            size_t nGt = line.rfind('>');
            strDate.assign(nGt == npos ? line : line.substr(nGt + 1));
        }
    }

    // The author line.
    if (!source.ReadLine(strLine))
    {
        bSourceEnd = true;
        return false;
    }
    std::string strAuthor;
    {
        std::string_view line(strLine);
        size_t nTitle = line.find("title=\"");
        if (nTitle != npos)
        {
            size_t nStart = nTitle + 7;
            size_t nEnd = line.find("\">", nStart);
            strAuthor.assign(line.substr(nStart, nEnd == npos ? npos : nEnd - nStart));
        }
    }

    // The link line: this one, or the next when this one does not carry a
    // whole decode link.
    if (!source.ReadLine(strLine))
    {
        bSourceEnd = true;
        return false;
    }
    if (strLine.find("wwwdecode?") == npos || strLine.find(')') == npos)
    {
        if (!source.ReadLine(strLine))
        {
            bSourceEnd = true;
            return false;
        }
    }
    std::string strQuery;
    int64_t nSize = 0;
    {
        std::string_view line(strLine);
        size_t nScheme = line.find("://");
        size_t nQuestion = line.find('?', nScheme == npos ? 0 : nScheme + 4);
        if (nQuestion == npos)
            return false;
        size_t nQuote = line.find('"', nQuestion + 1);
        strQuery.assign(line.substr(nQuestion + 1, nQuote == npos ? npos : nQuote - nQuestion - 1));

        std::string_view cut = line.substr(0, line.rfind(')'));
        size_t nOpen = cut.rfind('(');
        std::string_view size = nOpen == npos ? cut : cut.substr(nOpen + 1);
        nSize = ParseSize(size);
    }

    // The closing line of the entry.
    if (!source.ReadLine(strLine))
    {
        bSourceEnd = true;
        return false;
    }
    StripFontTags(strLine);
    if (strLine.find("\">") == npos)
        return false;

    pArticle = std::make_shared<CArticle>();
    CArticle& article = *pArticle;
    article.m_nLists = ListArticles;
    article.m_nRetries = 0;
    article.m_nState = bComplete ? StateListed : StateIncomplete;
    article.m_nService = m_nService;
    article.SetSize(nSize);
    article.m_strDecodeQuery = std::move(strQuery);
    article.m_strDate = std::move(strDate);
    ListingText::DecodeNewsGuyAuthor(strAuthor);
    article.m_strAuthor = std::move(strAuthor);
    ListingText::DecodeNewsGuySubject(strSubject);

    size_t nDash = strSubject.rfind('-');
    if (!ListingText::YEncFileName(strSubject, nDash == npos ? 0 : nDash, article.m_strFileName))
        ListingText::DashFileName(strSubject, article.m_strFileName);
    article.m_strSubject = std::move(strSubject);
    return true;
}
