// The EasyNews page parser over any page, line by line as the worker feeds
// it, and its helpers over any text.

#include "FuzzListing.h"

#include "listing/EasyNewsParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const std::string strData(fuzzharness::View(pData, nSize));
    fuzzharness::CheckListing(strData,
                              [](const std::string& strPage, fuzzharness::CCollect& sink)
                              {
                                  CStringLineSource source(strPage);
                                  CEasyNewsParser parser("05/06");
                                  std::string strLine;
                                  while (source.ReadLine(strLine))
                                      if (ArticlePtr pArticle = parser.ParseLine(strLine))
                                      {
                                          FUZZ_CHECK(pArticle->m_strDate == "05/06");
                                          sink.OnArticle(std::move(pArticle));
                                      }
                              });
    CEasyNewsParser::ParseSize(strData);
    const std::string strLink = CEasyNewsParser::ReduceLink(strData);
    FUZZ_CHECK(strLink.size() <= strData.size());
    CEasyNewsParser::NextPageObject(strData, static_cast<int>(nSize));
    CEasyNewsParser::ObjectOfUrl(strData);
    return 0;
}
