#pragma once

#include <string>

// The name under which a download is saved. The server suggests it (the
// Content-Disposition file name); without one the article's listed file name
// serves, and only when that is empty the last segment of the final request
// path. The cache's bracketed counter and, when asked, underscores are taken
// out; then the name is reduced to one safe name inside the download folder.
class CSavedFileName
{
public:
    static constexpr size_t kMaxNameBytes = 255;
    static constexpr const char* kFallbackName = "download";

    // The whole rule. strContentDisposition is the header's value (may be
    // empty), strListedName the article's file name from its listing,
    // strRequestPath the final request target (query allowed).
    static std::string Make(const std::string& strContentDisposition, const std::string& strListedName,
                            const std::string& strRequestPath, bool bBracketRule, bool bReplaceUnderscore);
    // The nth choice for a name that is taken: n 1 is the name itself, then
    // "name (2).ext", "name (3).ext"...; the result stays within kMaxNameBytes.
    static std::string Numbered(const std::string& strName, int n);

    // The file name parameter of a Content-Disposition value ("filename*"
    // preferred); "" when there is none.
    static std::string FromContentDisposition(const std::string& strValue);
    // The last segment of a request path without its query, URL-decoded.
    static std::string FromRequestPath(const std::string& strPath);
    // name[1].ext -> name.ext: the part before the last "[" plus the part
    // after the last "]", when both exist in that order.
    static std::string StripBracketCounter(const std::string& strName);
    // No directory parts, no "." or "..", no control characters, at most
    // kMaxNameBytes bytes with the extension kept, never empty.
    static std::string MakeSafe(const std::string& strName);

    static std::string UrlDecode(const std::string& strText);
};

// Paths that running downloads write, process-wide: a download claims its
// file before it opens it and gives the claim back when it ends, so two
// downloads never write one file.
class CFileClaims
{
public:
    // False when another download holds strPath.
    static bool Claim(const std::string& strPath);
    static void Release(const std::string& strPath);
};
