#include "nzb/NzbReader.h"

#include <expat.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <set>

namespace usenet
{

namespace
{

struct SRawSegment
{
    int m_nNumber;
    uint64_t m_nBytes;
    std::string m_strId;
};

std::string_view Trim(std::string_view s)
{
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

template <typename T> bool ParseNumber(std::string_view s, T& n)
{
    s = Trim(s);
    const auto res = std::from_chars(s.data(), s.data() + s.size(), n);
    return res.ec == std::errc() && res.ptr == s.data() + s.size();
}

// The element's name without its namespace (expat gives "uri|name").
std::string_view LocalName(const XML_Char* psz)
{
    std::string_view s(psz);
    const size_t p = s.rfind('|');
    return p == std::string_view::npos ? s : s.substr(p + 1);
}

const char* Attribute(const XML_Char** ppAttr, std::string_view strName)
{
    for (; *ppAttr; ppAttr += 2)
        if (LocalName(ppAttr[0]) == strName)
            return ppAttr[1];
    return nullptr;
}

} // namespace

// The parse in progress, handed to expat's callbacks.
struct SNzbParse
{
    CNzbReader& m_reader;
    int m_nDepth = 0;
    bool m_bInFile = false;
    SNzbFile m_file;
    std::vector<SRawSegment> m_vecSegments;
    std::string* m_pText = nullptr; // where character data goes
    std::string m_strText;
    SRawSegment m_segment;
    bool m_bNotNzb = false;

    void Start(std::string_view strName, const XML_Char** ppAttr)
    {
        if (m_nDepth++ == 0 && strName != "nzb")
            m_bNotNzb = true;
        if (strName == "file")
        {
            m_bInFile = true;
            m_file = {};
            m_vecSegments.clear();
            if (const char* p = Attribute(ppAttr, "subject"))
                m_file.m_strSubject = p;
            if (const char* p = Attribute(ppAttr, "poster"))
                m_file.m_strPoster = p;
            if (const char* p = Attribute(ppAttr, "date"))
                ParseNumber(p, m_file.m_nDate);
        }
        else if (m_bInFile && (strName == "group" || strName == "segment"))
        {
            m_strText.clear();
            m_pText = &m_strText;
            m_segment = {0, 0, {}};
            if (strName == "segment")
            {
                const char* pNumber = Attribute(ppAttr, "number");
                const char* pBytes = Attribute(ppAttr, "bytes");
                if (pNumber)
                    ParseNumber(pNumber, m_segment.m_nNumber);
                if (pBytes)
                    ParseNumber(pBytes, m_segment.m_nBytes);
            }
        }
    }

    void End(std::string_view strName)
    {
        --m_nDepth;
        m_pText = nullptr;
        if (!m_bInFile)
            return;
        if (strName == "group")
        {
            const std::string_view g = Trim(m_strText);
            if (!g.empty())
                m_file.m_query.m_vecGroups.emplace_back(g);
        }
        else if (strName == "segment")
        {
            std::string_view id = Trim(m_strText);
            if (id.size() >= 2 && id.front() == '<' && id.back() == '>')
                id = id.substr(1, id.size() - 2);
            if (m_segment.m_nNumber <= 0 || id.empty())
                m_reader.m_vecWarnings.push_back("A segment without a part number or message-id in \"" +
                                                 m_file.m_strSubject + "\" was skipped.");
            else
                m_vecSegments.push_back({m_segment.m_nNumber, m_segment.m_nBytes, std::string(id)});
        }
        else if (strName == "file")
        {
            m_bInFile = false;
            FinishFile();
        }
    }

    void FinishFile()
    {
        // Part order; a part listed twice (or an id under two numbers) keeps its first listing.
        std::stable_sort(m_vecSegments.begin(), m_vecSegments.end(),
                         [](const SRawSegment& a, const SRawSegment& b)
                         { return a.m_nNumber < b.m_nNumber; });
        std::set<std::string_view> setIds;
        size_t nRepeats = 0;
        for (const SRawSegment& s : m_vecSegments)
        {
            auto& vec = m_file.m_query.m_vecSegments;
            if ((!vec.empty() && vec.back().m_nNumber == s.m_nNumber) || !setIds.insert(s.m_strId).second)
            {
                ++nRepeats;
                continue;
            }
            vec.push_back({s.m_nNumber, s.m_strId});
            m_file.m_nSize += s.m_nBytes;
        }
        if (m_file.m_query.m_vecSegments.empty())
        {
            m_reader.m_vecWarnings.push_back("\"" + m_file.m_strSubject +
                                             "\" lists no segments and was skipped.");
            return;
        }
        // Its decode query needs a group to name.
        if (m_file.m_query.m_vecGroups.empty())
        {
            m_reader.m_vecWarnings.push_back("\"" + m_file.m_strSubject + "\" names no newsgroup and was skipped.");
            return;
        }
        if (nRepeats)
            m_reader.m_vecWarnings.push_back("\"" + m_file.m_strSubject + "\" lists " +
                                             std::to_string(nRepeats) +
                                             " segment(s) twice; the repeats were dropped.");
        const int nCounted = CNzbReader::PartCountFromSubject(m_file.m_strSubject);
        if (nCounted > m_file.m_query.m_vecSegments.back().m_nNumber)
            m_file.m_query.m_nTotal = nCounted;
        if (m_file.m_nDate > 0)
        {
            const time_t t = static_cast<time_t>(m_file.m_nDate);
            tm parts{};
            gmtime_r(&t, &parts);
            char sz[16];
            std::snprintf(sz, sizeof sz, "%02d/%02d", parts.tm_mon + 1, parts.tm_mday);
            m_file.m_strDate = sz;
        }
        m_file.m_strFileName = CNzbReader::FileNameFromSubject(m_file.m_strSubject);
        m_reader.m_vecFiles.push_back(std::move(m_file));
    }
};

bool CNzbReader::Parse(std::string_view strXml)
{
    m_vecFiles.clear();
    m_vecWarnings.clear();
    m_strError.clear();
    SNzbParse parse{*this};
    XML_Parser parser = XML_ParserCreateNS(nullptr, '|');
    XML_SetUserData(parser, &parse);
    XML_SetElementHandler(
        parser,
        [](void* p, const XML_Char* pszName, const XML_Char** ppAttr)
        { static_cast<SNzbParse*>(p)->Start(LocalName(pszName), ppAttr); },
        [](void* p, const XML_Char* pszName) { static_cast<SNzbParse*>(p)->End(LocalName(pszName)); });
    XML_SetCharacterDataHandler(parser,
                                [](void* p, const XML_Char* s, int n)
                                {
                                    auto* parse = static_cast<SNzbParse*>(p);
                                    if (parse->m_pText && parse->m_pText->size() < 4096)
                                        parse->m_pText->append(s, static_cast<size_t>(n));
                                });
    // In slices: expat counts lengths in int.
    bool bOk = true;
    constexpr size_t kSlice = 1 << 20;
    for (size_t i = 0; bOk && (i < strXml.size() || i == 0); i += kSlice)
    {
        const size_t n = std::min(kSlice, strXml.size() - i);
        bOk = XML_Parse(parser, strXml.data() + i, static_cast<int>(n), i + n >= strXml.size()) ==
              XML_STATUS_OK;
    }
    if (!bOk)
        m_strError = std::string("Not an NZB file: ") + XML_ErrorString(XML_GetErrorCode(parser)) +
                     " at line " + std::to_string(XML_GetCurrentLineNumber(parser)) + ".";
    XML_ParserFree(parser);
    if (bOk && parse.m_bNotNzb)
        m_strError = "Not an NZB file: the document is not an <nzb>.";
    else if (bOk && m_vecFiles.empty())
        m_strError = "The NZB file lists no segments.";
    if (!m_strError.empty())
        m_vecFiles.clear();
    return m_strError.empty();
}

std::string CNzbReader::FileNameFromSubject(std::string_view strSubject)
{
    const size_t q1 = strSubject.find('"');
    const size_t q2 = q1 == std::string_view::npos ? q1 : strSubject.find('"', q1 + 1);
    if (q2 != std::string_view::npos && q2 > q1 + 1)
        return std::string(strSubject.substr(q1 + 1, q2 - q1 - 1));
    std::string_view s = Trim(strSubject);
    if (!s.empty() && s.back() == ')')
    {
        const size_t p = s.rfind('(');
        if (p != std::string_view::npos)
            s = Trim(s.substr(0, p));
    }
    if (s.size() >= 4 && s.substr(s.size() - 4) == "yEnc")
        s = Trim(s.substr(0, s.size() - 4));
    const size_t nDash = s.rfind(" - ");
    if (nDash != std::string_view::npos)
        s = Trim(s.substr(nDash + 3));
    return std::string(s);
}

int CNzbReader::PartCountFromSubject(std::string_view strSubject)
{
    const size_t p = strSubject.rfind('(');
    const size_t nSlash = p == std::string_view::npos ? p : strSubject.find('/', p);
    const size_t nClose = nSlash == std::string_view::npos ? nSlash : strSubject.find(')', nSlash);
    int n = 0;
    if (nClose == std::string_view::npos ||
        !ParseNumber(strSubject.substr(nSlash + 1, nClose - nSlash - 1), n))
        return 0;
    return n > 0 ? n : 0; // "(1/-7)" counts nothing
}

} // namespace usenet
