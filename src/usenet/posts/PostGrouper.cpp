#include "posts/PostGrouper.h"

#include "posts/SubjectShape.h"

#include <algorithm>
#include <charconv>

namespace usenet
{

namespace
{
// What an article holds besides its encoded data: headers and the yEnc
// keyword lines, about this much on a typical post.
constexpr uint64_t kArticleOverhead = 400;

std::string_view Field(std::string_view& strRest)
{
    const size_t nTab = strRest.find('\t');
    const std::string_view field = strRest.substr(0, nTab);
    strRest = nTab == std::string_view::npos ? std::string_view() : strRest.substr(nTab + 1);
    return field;
}

long long Number(std::string_view s, bool* pbOk = nullptr)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    long long n = 0;
    const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    if (pbOk)
        *pbOk = ec == std::errc() && p != s.data();
    return ec == std::errc() ? n : 0;
}

std::string_view StripBrackets(std::string_view strId)
{
    if (strId.size() >= 2 && strId.front() == '<' && strId.back() == '>')
        return strId.substr(1, strId.size() - 2);
    return strId;
}
} // namespace

bool ParseOverviewLine(std::string_view strLine, SOverviewPost& post)
{
    while (!strLine.empty() && (strLine.back() == '\r' || strLine.back() == '\n'))
        strLine.remove_suffix(1);
    std::string_view strRest = strLine;
    bool bOk = false;
    post.m_nNumber = Number(Field(strRest), &bOk);
    post.m_strSubject = Field(strRest);
    post.m_strFrom = Field(strRest);
    post.m_strDate = Field(strRest);
    post.m_strMessageId = Field(strRest);
    Field(strRest); // References
    // Some servers write the byte count as "Bytes: n".
    std::string_view bytes = Field(strRest);
    if (bytes.size() > 6 && (bytes.substr(0, 6) == "Bytes:" || bytes.substr(0, 6) == "bytes:"))
        bytes.remove_prefix(6);
    post.m_nBytes = std::max(0LL, Number(bytes));
    return bOk && post.m_nNumber > 0 && StripBrackets(post.m_strMessageId).size() > 0 &&
           post.m_strMessageId.find(' ') == std::string_view::npos;
}

uint64_t SPostedFile::EstimatedSize() const
{
    const uint64_t nOverhead = kArticleOverhead * m_vecParts.size();
    if (!m_bYenc && !m_bCounter)
        return m_nBytes > 2 * nOverhead ? m_nBytes - nOverhead : m_nBytes / 2; // a text post is served as it is
    const uint64_t nData = m_nBytes > nOverhead ? m_nBytes - nOverhead : 0;
    // yEnc: about 1.6% escapes, and a CR LF per 128 bytes of line.
    return nData * 10000 / 10315;
}

std::string SPostedFile::ListedSubject() const
{
    const SSubjectShape shape = ParseSubjectShape(m_strSubject);
    if (!shape.HasCounter())
        return m_strSubject;
    return m_strSubject.substr(0, shape.m_nCounterAt) + "(" + std::to_string(m_vecParts.size()) + "/" +
           std::to_string(shape.m_nTotal) + ")" + m_strSubject.substr(shape.m_nCounterEnd);
}

CDecodeQuery SPostedFile::DecodeQuery(const std::string& strGroup) const
{
    CDecodeQuery query;
    query.m_vecGroups.push_back(strGroup);
    query.m_vecSegments = m_vecParts;
    if (m_vecParts.empty() || m_vecParts.back().m_nNumber < m_nTotal)
        query.m_nTotal = m_nTotal;
    return query;
}

CPostGrouper::CPostGrouper(EmitFn fnEmit, long long nPatience)
    : m_fnEmit(std::move(fnEmit)), m_nPatience(std::max(1LL, nPatience))
{
}

void CPostGrouper::Emit(OpenList::iterator it)
{
    m_mapOpen.erase(it->m_strKey);
    SPostedFile file = std::move(it->m_file);
    m_lstOpen.erase(it);
    m_fnEmit(std::move(file));
}

void CPostGrouper::Add(const SOverviewPost& post)
{
    ++m_nSeen;
    const SSubjectShape shape = ParseSubjectShape(post.m_strSubject);
    const std::string strId(StripBrackets(post.m_strMessageId));
    if (!shape.HasCounter() || shape.m_nTotal == 1)
    {
        SPostedFile file;
        file.m_strSubject.assign(post.m_strSubject);
        file.m_strPoster.assign(post.m_strFrom);
        file.m_strDate.assign(post.m_strDate);
        file.m_strName = shape.m_strName;
        file.m_bYenc = shape.m_bYenc;
        file.m_bCounter = shape.HasCounter();
        file.m_nBytes = static_cast<uint64_t>(post.m_nBytes);
        file.m_nFirstNumber = post.m_nNumber;
        file.m_vecParts.push_back(SSegmentRef{1, strId});
        m_fnEmit(std::move(file));
    }
    else
    {
        std::string strKey;
        strKey.reserve(post.m_strFrom.size() + 1 + shape.m_strKey.size());
        strKey.append(post.m_strFrom).append(1, '\n').append(shape.m_strKey);
        auto found = m_mapOpen.find(strKey);
        OpenList::iterator it;
        if (found == m_mapOpen.end())
        {
            m_lstOpen.emplace_back();
            it = std::prev(m_lstOpen.end());
            it->m_strKey = std::move(strKey);
            SPostedFile& file = it->m_file;
            file.m_strPoster.assign(post.m_strFrom);
            file.m_strName = shape.m_strName;
            file.m_bYenc = shape.m_bYenc;
            file.m_bCounter = true;
            file.m_nTotal = shape.m_nTotal;
            file.m_nFirstNumber = post.m_nNumber;
            m_mapOpen.emplace(it->m_strKey, it);
        }
        else
        {
            it = found->second;
            m_lstOpen.splice(m_lstOpen.end(), m_lstOpen, it);
        }
        SOpen& open = *it;
        SPostedFile& file = open.m_file;
        open.m_nLastSeen = m_nSeen;
        auto pos = std::lower_bound(file.m_vecParts.begin(), file.m_vecParts.end(), shape.m_nPart,
                                    [](const SSegmentRef& ref, int n) { return ref.m_nNumber < n; });
        // A part posted twice: the first copy serves.
        if (pos == file.m_vecParts.end() || pos->m_nNumber != shape.m_nPart)
        {
            file.m_vecParts.insert(pos, SSegmentRef{shape.m_nPart, strId});
            file.m_nBytes += static_cast<uint64_t>(post.m_nBytes);
            file.m_nFirstNumber = std::min(file.m_nFirstNumber, post.m_nNumber);
            if (open.m_nFirstPart == 0 || shape.m_nPart < open.m_nFirstPart)
            {
                open.m_nFirstPart = shape.m_nPart;
                file.m_strSubject.assign(post.m_strSubject);
                file.m_strDate.assign(post.m_strDate);
            }
        }
        if (file.IsComplete())
            Emit(it);
    }
    while (!m_lstOpen.empty() && m_lstOpen.front().m_nLastSeen + m_nPatience < m_nSeen)
        Emit(m_lstOpen.begin());
}

void CPostGrouper::Finish()
{
    std::vector<OpenList::iterator> vecOpen;
    vecOpen.reserve(m_lstOpen.size());
    for (auto it = m_lstOpen.begin(); it != m_lstOpen.end(); ++it)
        vecOpen.push_back(it);
    std::sort(vecOpen.begin(), vecOpen.end(),
              [](const auto& a, const auto& b) { return a->m_file.m_nFirstNumber < b->m_file.m_nFirstNumber; });
    for (auto it : vecOpen)
        Emit(it);
}

void CPostGrouper::Discard()
{
    m_mapOpen.clear();
    m_lstOpen.clear();
}

} // namespace usenet
