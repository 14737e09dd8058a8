#pragma once

// Groups the articles of a newsgroup's overview into posted files as they
// arrive, in any order: the parts of one file share the poster and the
// subject but for the part counter. A file is handed out as soon as all its
// parts are there; one still missing parts is handed out, incomplete, once
// no part of it came for a while (or at the end), so the open files stay
// few on a group of millions of parts.

#include "nzb/DecodeQuery.h"

#include <cstdint>
#include <functional>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace usenet
{

// One line of an NNTP overview (OVER / XOVER), the fields the grouping uses.
struct SOverviewPost
{
    long long m_nNumber = 0;
    std::string_view m_strSubject;
    std::string_view m_strFrom;
    std::string_view m_strDate;
    std::string_view m_strMessageId; // as sent, angle brackets included
    long long m_nBytes = 0;
};

// Splits an overview line (TAB-separated: number, Subject, From, Date,
// Message-ID, References, bytes, lines, ...). False when the number or the
// message-id is missing.
bool ParseOverviewLine(std::string_view strLine, SOverviewPost& post);

struct SPostedFile
{
    std::string m_strSubject; // the first part's subject
    std::string m_strPoster;
    std::string m_strDate;    // the first part's Date header as sent
    std::string m_strName;    // from the subject: the quoted name, else the one before the counter
    bool m_bYenc = false;     // the subject names yEnc
    bool m_bCounter = false;  // the subject carries a part counter
    int m_nTotal = 1;         // parts the file has
    uint64_t m_nBytes = 0;    // the present parts' article sizes
    long long m_nFirstNumber = 0; // the lowest article number among its parts
    std::vector<SSegmentRef> m_vecParts; // ascending part numbers, ids without brackets

    bool IsComplete() const { return static_cast<int>(m_vecParts.size()) == m_nTotal; }
    // What decoding the parts yields, estimated from the article sizes.
    uint64_t EstimatedSize() const;
    // The subject with its counter saying how many parts are here: "(49/50)".
    std::string ListedSubject() const;
    // The query the download face serves the file by.
    CDecodeQuery DecodeQuery(const std::string& strGroup) const;
};

class CPostGrouper
{
public:
    using EmitFn = std::function<void(SPostedFile&&)>;

    // nPatience: articles added while an open file waits for its next part
    // before it is handed out incomplete. The articles may come in any
    // order of numbers (a listing reads the newest batch first).
    explicit CPostGrouper(EmitFn fnEmit, long long nPatience = 50000);

    void Add(const SOverviewPost& post);
    // Hands out every open file, the lowest first number first.
    void Finish();
    // Drops the open files unseen: the reading stopped short of their other parts.
    void Discard();
    size_t GetOpenCount() const { return m_mapOpen.size(); }

private:
    struct SOpen
    {
        SPostedFile m_file;
        long long m_nLastSeen = 0; // m_nSeen when a part of it last came
        int m_nFirstPart = 0; // the lowest part seen: its date and subject are the file's
        std::string m_strKey;
    };
    using OpenList = std::list<SOpen>;

    void Emit(OpenList::iterator it);

    EmitFn m_fnEmit;
    long long m_nPatience;
    long long m_nSeen = 0; // articles added
    OpenList m_lstOpen; // least recently added to first
    // Keyed by a view of the entry's own m_strKey (list nodes never move).
    std::unordered_map<std::string_view, OpenList::iterator> m_mapOpen;
};

} // namespace usenet
