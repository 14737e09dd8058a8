#pragma once

// Reads an NZB file (the 1.1 document type) with expat: one SNzbFile per
// <file>, its segments put in part order with repeats dropped.

#include "nzb/DecodeQuery.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace usenet
{

struct SNzbFile
{
    std::string m_strSubject;
    std::string m_strPoster;
    int64_t m_nDate = 0;   // unix seconds as posted
    std::string m_strDate; // "MM/DD" (UTC), empty when the date is missing
    uint64_t m_nSize = 0;  // the kept segments' bytes
    std::string m_strFileName;
    CDecodeQuery m_query;
};

class CNzbReader
{
public:
    // False with GetError() set when the text is not an NZB or lists no
    // segments; files without segments are skipped with a warning.
    bool Parse(std::string_view strXml);

    const std::vector<SNzbFile>& GetFiles() const { return m_vecFiles; }
    const std::string& GetError() const { return m_strError; }
    const std::vector<std::string>& GetWarnings() const { return m_vecWarnings; }

    // The quoted name in a subject, else the name before the "(n/m)" counter.
    static std::string FileNameFromSubject(std::string_view strSubject);
    // The "(n/m)" counter's m, or 0.
    static int PartCountFromSubject(std::string_view strSubject);

private:
    friend struct SNzbParse;
    std::vector<SNzbFile> m_vecFiles;
    std::string m_strError;
    std::vector<std::string> m_vecWarnings;
};

} // namespace usenet
