// The NewsGuy page parser over any page.

#include "FuzzListing.h"

#include "listing/NewsGuyParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    fuzzharness::CheckListing(std::string(fuzzharness::View(pData, nSize)),
                              [](const std::string& strPage, fuzzharness::CCollect& sink)
                              {
                                  CStringLineSource source(strPage);
                                  CNewsGuyParser parser(3);
                                  parser.ParsePage(source, sink);
                                  for (const auto& pArticle : sink.articles)
                                      FUZZ_CHECK(pArticle->m_nService == 3);
                              });
    CNewsGuyParser::ParseSize(fuzzharness::View(pData, nSize));
    return 0;
}
