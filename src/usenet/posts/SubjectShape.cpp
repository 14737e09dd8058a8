#include "posts/SubjectShape.h"

#include "nzb/NzbReader.h"

#include <charconv>

namespace usenet
{

namespace
{
// Digits only, no sign, within int; false otherwise.
bool ParseCount(std::string_view s, int& n)
{
    if (s.empty() || s.size() > 9)
        return false;
    const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    return ec == std::errc() && p == s.data() + s.size();
}
} // namespace

SSubjectShape ParseSubjectShape(std::string_view strSubject)
{
    SSubjectShape shape;
    shape.m_bYenc = strSubject.find("yEnc") != std::string_view::npos ||
                    strSubject.find("yenc") != std::string_view::npos;
    // The counter is the last "(p/n)"; earlier parentheses ("(2 of 3)",
    // "(nfo)") and a "[k/m]" file counter stay part of the key.
    for (size_t nOpen = strSubject.rfind('('); nOpen != std::string_view::npos;
         nOpen = nOpen == 0 ? std::string_view::npos : strSubject.rfind('(', nOpen - 1))
    {
        const size_t nClose = strSubject.find(')', nOpen);
        if (nClose == std::string_view::npos)
            continue;
        const std::string_view inner = strSubject.substr(nOpen + 1, nClose - nOpen - 1);
        const size_t nSlash = inner.find('/');
        int nPart = 0;
        int nTotal = 0;
        if (nSlash == std::string_view::npos || !ParseCount(inner.substr(0, nSlash), nPart) ||
            !ParseCount(inner.substr(nSlash + 1), nTotal))
            continue;
        // "(0/5)" is the usual description post of a set: not a part.
        if (nPart < 1 || nTotal < 1 || nPart > nTotal)
            break;
        shape.m_nPart = nPart;
        shape.m_nTotal = nTotal;
        shape.m_nCounterAt = nOpen;
        shape.m_nCounterEnd = nClose + 1;
        break;
    }
    if (shape.HasCounter())
    {
        shape.m_strKey.reserve(strSubject.size());
        shape.m_strKey.append(strSubject.substr(0, shape.m_nCounterAt));
        shape.m_strKey.append("(*/").append(std::to_string(shape.m_nTotal)).append(")");
        shape.m_strKey.append(strSubject.substr(shape.m_nCounterEnd));
    }
    else
        shape.m_strKey.assign(strSubject);
    shape.m_strName = CNzbReader::FileNameFromSubject(
        shape.HasCounter() ? strSubject.substr(0, shape.m_nCounterEnd) : strSubject);
    return shape;
}

} // namespace usenet
