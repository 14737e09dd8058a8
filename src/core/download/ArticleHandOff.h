#pragma once

#include "model/Article.h"

#include <string>

// Where queued articles go instead of the download queue when "&Use a
// download manager" (DoNotQueue) is on: the clipboard or a download manager.
// The export code implements it; without one installed the scheduler queues
// the articles itself.
class IArticleHandOff
{
public:
    virtual ~IArticleHandOff() = default;
    // nRow is the article's row in the article list, -1 when none.
    virtual void HandOffArticle(const ArticlePtr& pArticle, int nRow, const std::string& strFolder) = 0;
};
