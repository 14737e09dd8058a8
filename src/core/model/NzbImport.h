#pragma once

#include "model/Article.h"

#include <string>
#include <string_view>
#include <vector>

// An NZB file turned into queue articles: each posted file becomes one
// NewsGuy article, waiting, whose decode query names its parts for the
// in-process gateway. The command line and the desktop program both queue
// through this, so the two never differ in what an NZB becomes.
struct CNzbImportResult
{
    std::vector<ArticlePtr> articles;  // in the file's order; empty on error
    std::vector<std::string> warnings; // files skipped, parts missing
    std::string strError;              // why nothing can be imported, "" when fine

    bool IsOk() const { return strError.empty(); }
};

class CNzbImport
{
public:
    // strFolder becomes each article's download folder.
    static CNzbImportResult FromText(std::string_view strXml, const std::string& strFolder);
    // Reads the file first; an unreadable file is an error like a bad one.
    static CNzbImportResult FromFile(const std::string& strPath, const std::string& strFolder);
    // ".nzb" in any letter case.
    static bool IsNzbPath(const std::string& strPath);
};
