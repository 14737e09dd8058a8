#pragma once

#include <string>

class CArticle;
class CQueueDocument;

// The article's download address on its service's gateway as one line ending
// in CR LF; with bWithCredentials the account's user name and password go in
// front of the host. EasyNews on port 81 gets ":81" after the host unless the
// host names its own port ("host:port"), which wins. "" for an unknown
// service.
std::string BuildArticleUrl(const CArticle& article, bool bWithCredentials, const CQueueDocument& document,
                            bool bEasyNewsPort81);

// The URL line without its CR LF.
std::string StripUrlLineEnd(const std::string& strUrl);
