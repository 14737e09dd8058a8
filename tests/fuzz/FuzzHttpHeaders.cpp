// The response head as libcurl hands it over, line by line: the status code,
// header values, Content-Length and the redirect target.
// Input: the value of a probe header, NUL, the response head's lines.

#include "FuzzHarness.h"

#include "net/HttpRequest.h"
#include "net/HttpRequestFramework.h"

namespace
{
std::string Trimmed(std::string str)
{
    size_t nBegin = str.find_first_not_of(" \t");
    if (nBegin == std::string::npos)
        return "";
    return str.substr(nBegin, str.find_last_not_of(" \t") + 1 - nBegin);
}

bool AllDigits(const std::string& str)
{
    return !str.empty() && str.find_first_not_of("0123456789") == std::string::npos;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    fuzzharness::CInput input(fuzzharness::View(pData, nSize));
    std::string strProbe;
    for (char c : input.Piece())
        if (c != '\r' && c != '\n')
            strProbe += c;
    std::string_view head = input.Rest();

    // Each line without its line end and with CR LF behind it, as the
    // request keeps them.
    std::string strRaw;
    bool bFirst = true;
    while (!head.empty())
    {
        size_t nEnd = head.find('\n');
        std::string_view line = head.substr(0, nEnd);
        head.remove_prefix(nEnd == std::string_view::npos ? head.size() : nEnd + 1);
        while (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (bFirst)
        {
            const long nCode = CHttpRequest::ParseStatusCode(line);
            FUZZ_CHECK(nCode == 0 || (nCode >= 100 && nCode <= 999));
            bFirst = false;
        }
        strRaw.append(line).append("\r\n");
    }

    std::string strValue;
    const int64_t nLength = CHttpRequest::ContentLengthOf(strRaw);
    FUZZ_CHECK(nLength >= -1);
    if (nLength >= 0)
        FUZZ_CHECK(CHttpRequest::FindHeader(strRaw, "content-length", strValue) && AllDigits(strValue) &&
                   std::stoll(strValue) == nLength);

    std::string strObject;
    if (FindRedirectObject(strRaw, strObject))
        FUZZ_CHECK(strObject.find_first_of("\r\n") == std::string::npos);

    if (strRaw.empty() || CHttpRequest::FindHeader(strRaw, "X-Fuzz-Probe", strValue))
        return 0;
    strRaw += "x-fuzz-probe:" + strProbe + "\r\n";
    FUZZ_CHECK(CHttpRequest::FindHeader(strRaw, "X-Fuzz-Probe", strValue) && strValue == Trimmed(strProbe));
    return 0;
}
