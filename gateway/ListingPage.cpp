#include "gateway/ListingPage.h"

#include <charconv>
#include <string_view>
#include <utility>

CListingPage::CListingPage(const CGatewayCorpus& corpus, const CGatewayGroup* pGroup, Kind nKind, int32_t nDay,
                           std::string strHost)
    : m_corpus(corpus), m_pGroup(pGroup), m_nKind(nKind), m_nDay(nDay), m_strHost(std::move(strHost))
{
    if (!m_pGroup)
        return;
    if (m_nKind == KindNewsGuy)
    {
        m_nFirst = 0;
        m_nLast = m_pGroup->m_nArticles;
    }
    else
        m_corpus.DayRange(*m_pGroup, m_nDay, m_nFirst, m_nLast);
    m_nNext = m_nFirst;
}

bool CListingPage::Next(std::string& strOut, size_t nBytes)
{
    if (m_nStage == 0)
    {
        AppendHeader(strOut);
        m_nStage = 1;
        if (!m_pGroup)
        {
            m_nStage = 2;
            return false;
        }
    }
    if (m_nStage == 1)
    {
        const size_t nStart = strOut.size();
        std::string strEasyAuthor;
        while (m_nNext < m_nLast && strOut.size() - nStart < nBytes)
        {
            if (m_nKind == KindNewsGuy)
            {
                const int nPercent = static_cast<int>(static_cast<int64_t>(m_nNext - m_nFirst) * 100 / (m_nLast - m_nFirst));
                if (nPercent != m_nLastPercent)
                {
                    strOut += "<script language=\"JavaScript\">setProgress(" + std::to_string(nPercent) + ")</script>\n";
                    m_nLastPercent = nPercent;
                }
                AppendNewsGuyEntry(strOut, m_corpus.Article(*m_pGroup, m_nNext, CGatewayCorpus::DetailNewsGuyPage));
            }
            else
                AppendEasyNewsLine(strOut, m_corpus.Article(*m_pGroup, m_nNext, CGatewayCorpus::DetailEasyNewsPage));
            ++m_nNext;
        }
        if (m_nNext < m_nLast)
            return true;
        AppendFooter(strOut);
        m_nStage = 2;
    }
    return false;
}

void CListingPage::AppendHeader(std::string& strOut) const
{
    const std::string strGroup = m_pGroup ? m_pGroup->m_strName : std::string();
    if (m_nKind == KindNewsGuy)
    {
        strOut += "<html><head><title>NewsGuy News Service - " + strGroup + "</title>\n"
                  "<script language=\"JavaScript\">\n"
                  "var nSelected = 0;\n"
                  "function BatchLink(id, subject, parts, n) { document.write(subject); }\n"
                  "var setProgressBar = function (n) { window.status = n; };\n"
                  "</script></head>\n"
                  "<body bgcolor=\"#FFFFFF\">\n";
        if (!m_pGroup)
        {
            strOut += "<h2>Cannot access Newsgroup.</h2>\n"
                      "<p>The newsgroup is not carried by this server.</p>\n"
                      "</body></html>\n";
            return;
        }
        strOut += "<table border=0 cellpadding=2 cellspacing=0 width=\"100%\">\n";
    }
    else
    {
        strOut += "<html><head><title>Easynews - " + strGroup + " - page " + std::to_string(m_nDay) + "</title></head>\n"
                  "<body>\n"
                  "<form name=\"files\" method=\"post\" action=\"/zip.html\">\n"
                  "<table cellpadding=\"2\">\n";
    }
}

void CListingPage::AppendNewsGuyEntry(std::string& strOut, const CGatewayArticle& a) const
{
    // Appended piece by piece: this runs a million times for the large listings.
    char szNumber[16];
    const auto [pEnd, ec] = std::to_chars(szNumber, szNumber + sizeof szNumber, a.m_nIndex + 1);
    const std::string_view number(szNumber, static_cast<size_t>(pEnd - szNumber));
    strOut.append("<tr><td><script language=\"JavaScript\">BatchLink('ng").append(number).append("','");
    strOut.append(a.m_strSubjectHtml).append("',").append(a.m_strCompleteMark).append(",").append(number);
    strOut.append(")</script></td>\n<td align=right>").append(number).append("</td>\n<td nowrap><font size=-1>");
    strOut.append(a.m_strSizeText).append("</font></td>\n<td>&nbsp;</td>\n<td nowrap>").append(a.m_strDate);
    strOut.append("</td>\n<td><a href=\"mailto:poster@example.invalid\" title=\"").append(a.m_strAuthorHtml);
    strOut.append("\">poster</a></td>\n");
    auto appendLink = [&] {
        strOut.append("http://").append(m_strHost).append("/news-bin/wwwdecode?").append(a.m_strDecodeQuery);
    };
    // Some entries carry a line before the link line, as the real pages do.
    switch (a.m_nBodyKey % 4)
    {
    case 2: strOut.append("<td class=\"sp\"></td>\n"); break;
    case 3:
        strOut.append("<td><a class=\"pv\" href=\"");
        appendLink();
        strOut.append("&amp;preview=1\">\n");
        break;
    default: break;
    }
    strOut.append("<td><a href=\"");
    appendLink();
    strOut.append("\">download</a> (").append(a.m_strSizeText).append(")</td>\n");
    strOut.append("<td><font size=-1><a href=\"#\" onclick=\"return Pick(").append(number);
    strOut.append(")\">pick</a></font></td></tr>\n");
}

void CListingPage::AppendEasyNewsLine(std::string& strOut, const CGatewayArticle& a) const
{
    std::string strTarget;
    switch (a.m_nEasyLinkForm)
    {
    case 0: strTarget = "http://" + m_strHost + a.m_strEasyQuery; break;
    case 1: strTarget = a.m_strEasyQuery; break;
    default: strTarget = "javascript:warnexe('" + a.m_strEasyQuery + "');"; break;
    }
    if (!a.m_strEasyAuthorHtml.empty())
        strOut += a.m_strEasyAuthorHtml + "<br>";
    strOut += "<input type=\"checkbox\" name=\"f\" value=\"" + std::to_string(a.m_nIndex) + "\"> <a href=\"" + strTarget +
              "\">" + a.m_strEasySubjectHtml + "</a>\n";
}

void CListingPage::AppendFooter(std::string& strOut) const
{
    if (m_nKind == KindNewsGuy)
        strOut += "</table>\n<script language=\"JavaScript\">setProgress(100)</script>\n</body></html>\n";
    else
        strOut += "</table>\n<a href=\"" + std::to_string(m_nDay + 1) + "-1.html\">Older</a>\n</form></body></html>\n";
}
