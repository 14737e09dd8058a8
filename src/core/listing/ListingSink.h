#pragma once

#include "model/Article.h"

#include <string>

// What a listing parser reports: articles, progress and status lines.
class IListingSink
{
public:
    virtual ~IListingSink() = default;
    virtual void OnArticle(ArticlePtr pArticle) = 0;
    virtual void OnProgress(int nPercent) = 0;
    virtual void OnStatusLine(const std::string& strText) = 0;
};
