#pragma once

// What the gateway needs to serve one posted file: the groups and the
// message-ids of its parts in part order, with the missing parts noted. It
// travels as one compact, URL-safe text (kept in the queue file with the
// article), since an NZB may list thousands of segments:
//   g=<group>,<group>&s=<common id suffix>&m=<entry>,<entry>...[&t=<parts>]
// An entry is "<n>.<rest>": the id shares its first n bytes with the one
// before it (n left out when 0), then <rest>, then the common suffix. An entry
// "~<k>" stands for k missing parts. Texts are percent-encoded.

#include <string>
#include <string_view>
#include <vector>

namespace usenet
{

struct SSegmentRef
{
    int m_nNumber = 0; // 1-based part number
    std::string m_strMessageId;
    bool operator==(const SSegmentRef&) const = default;
};

class CDecodeQuery
{
public:
    std::vector<std::string> m_vecGroups;
    std::vector<SSegmentRef> m_vecSegments; // ascending numbers, no repeats
    int m_nTotal = 0;                       // the parts the file has, when more than the last listed

    std::string Encode() const;
    static bool Decode(std::string_view strQuery, CDecodeQuery& query, std::string* pstrError = nullptr);

    int GetPartCount() const;
    std::vector<int> GetMissing() const; // part numbers absent from 1..GetPartCount()

    bool operator==(const CDecodeQuery&) const = default;
};

} // namespace usenet
