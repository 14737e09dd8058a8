// The NZB reader and the decode query it produces: segments in part order
// without repeats, sizes that add up, and a query that travels through its
// text form unchanged. Any text read as a decode query does the same.

#include "FuzzHarness.h"

#include "nzb/NzbReader.h"

using namespace usenet;

namespace
{
void CheckQuery(const CDecodeQuery& query)
{
    for (size_t i = 0; i < query.m_vecSegments.size(); ++i)
    {
        FUZZ_CHECK(query.m_vecSegments[i].m_nNumber >= 1);
        if (i > 0)
            FUZZ_CHECK(query.m_vecSegments[i].m_nNumber > query.m_vecSegments[i - 1].m_nNumber);
    }
    CDecodeQuery again;
    FUZZ_CHECK(CDecodeQuery::Decode(query.Encode(), again));
    FUZZ_CHECK(again == query);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const std::string_view data = fuzzharness::View(pData, nSize);
    CNzbReader reader;
    if (reader.Parse(data))
    {
        FUZZ_CHECK(!reader.GetFiles().empty());
        for (const SNzbFile& file : reader.GetFiles())
        {
            FUZZ_CHECK(!file.m_query.m_vecSegments.empty());
            FUZZ_CHECK(file.m_strDate.empty() || file.m_strDate.size() == 5);
            CheckQuery(file.m_query);
        }
    }
    else
        FUZZ_CHECK(!reader.GetError().empty());

    CDecodeQuery query;
    if (CDecodeQuery::Decode(data, query))
        CheckQuery(query);
    CNzbReader::FileNameFromSubject(data);
    FUZZ_CHECK(CNzbReader::PartCountFromSubject(data) >= 0);
    return 0;
}
