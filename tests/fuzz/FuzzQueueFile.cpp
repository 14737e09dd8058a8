// The queue file reader: whatever it takes from a file, written again and
// read back, is the same articles, and that file is a fixed point.

#include "FuzzHarness.h"
#include "FuzzArticles.h"

#include "model/QueueFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    std::vector<ArticlePtr> articles;
    CQueueLoadResult result = CQueueFile::Parse(std::string(fuzzharness::View(pData, nSize)), articles);
    FUZZ_CHECK(result.bFileFound);
    FUZZ_CHECK(result.nStored == static_cast<int>(articles.size()));
    FUZZ_CHECK(result.bMalformed == !result.strError.empty());

    fuzzharness::CheckQueueRoundTrip(articles);
    return 0;
}
