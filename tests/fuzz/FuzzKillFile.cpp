// The kill file reader: entries never hold a line end, and what is saved
// from them reads back as the same entries.

#include "FuzzHarness.h"

#include "filters/KillFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const std::string_view data = fuzzharness::View(pData, nSize);
    std::vector<std::string> entries;
    CKillFile::SplitLines(data, entries);
    size_t nBytes = 0;
    for (const auto& entry : entries)
    {
        FUZZ_CHECK(entry.find('\n') == std::string::npos);
        nBytes += entry.size();
    }
    FUZZ_CHECK(nBytes <= data.size());
    std::vector<std::string> again;
    CKillFile::SplitLines(CKillFile::FileText(entries), again);
    FUZZ_CHECK(again == entries);
    return 0;
}
