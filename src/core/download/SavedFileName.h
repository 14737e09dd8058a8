#pragma once

#include <string>

// The name under which a download is saved. The server suggests it (the
// Content-Disposition file name, else the last segment of the final request
// path); the cache's bracketed counter and, when asked, underscores are taken
// out; then the name is reduced to one safe name inside the download folder.
class CSavedFileName
{
public:
    static constexpr size_t kMaxNameBytes = 255;
    static constexpr const char* kFallbackName = "download";

    // The whole rule. strContentDisposition is the header's value (may be
    // empty), strRequestPath the final request target (query allowed).
    static std::string Make(const std::string& strContentDisposition, const std::string& strRequestPath,
                            bool bBracketRule, bool bReplaceUnderscore);

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
