#include "GatewayFetch.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>

namespace
{
size_t Append(char* p, size_t nSize, size_t nCount, void* pUser)
{
    static_cast<std::string*>(pUser)->append(p, nSize * nCount);
    return nSize * nCount;
}

std::string Lower(std::string str)
{
    std::transform(str.begin(), str.end(), str.begin(), [](unsigned char c) { return std::tolower(c); });
    return str;
}
} // namespace

CGatewayFetch GatewayFetch(const std::string& strUrl, const std::vector<std::string>& extraHeaders,
                           const std::string& strUserPassword, bool bFollow)
{
    CGatewayFetch fetch;
    CURL* pCurl = curl_easy_init();
    curl_slist* pHeaders = nullptr;
    for (const std::string& str : extraHeaders)
        pHeaders = curl_slist_append(pHeaders, str.c_str());
    curl_easy_setopt(pCurl, CURLOPT_URL, strUrl.c_str());
    curl_easy_setopt(pCurl, CURLOPT_NOSIGNAL, 1L);
    if (getenv("GW_VERBOSE")) curl_easy_setopt(pCurl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(pCurl, CURLOPT_PROXY, "");
    curl_easy_setopt(pCurl, CURLOPT_HTTPHEADER, pHeaders);
    curl_easy_setopt(pCurl, CURLOPT_WRITEFUNCTION, Append);
    curl_easy_setopt(pCurl, CURLOPT_WRITEDATA, &fetch.m_strBody);
    curl_easy_setopt(pCurl, CURLOPT_HEADERFUNCTION, Append);
    curl_easy_setopt(pCurl, CURLOPT_HEADERDATA, &fetch.m_strHeaders);
    curl_easy_setopt(pCurl, CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(pCurl, CURLOPT_FOLLOWLOCATION, bFollow ? 1L : 0L);
    curl_easy_setopt(pCurl, CURLOPT_MAXREDIRS, 20L);
    if (!strUserPassword.empty())
    {
        curl_easy_setopt(pCurl, CURLOPT_USERPWD, strUserPassword.c_str());
        curl_easy_setopt(pCurl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    }
    fetch.m_nResult = curl_easy_perform(pCurl);
    curl_easy_getinfo(pCurl, CURLINFO_RESPONSE_CODE, &fetch.m_nStatus);
    curl_slist_free_all(pHeaders);
    curl_easy_cleanup(pCurl);
    return fetch;
}

std::string CGatewayFetch::Header(const std::string& strName) const
{
    // With redirects followed the last response's headers count.
    const std::string strLower = Lower(m_strHeaders);
    const std::string strKey = std::string(1, '\n').append(Lower(strName)).append(1, ':');
    const size_t nLastStatus = strLower.rfind("\nhttp/");
    size_t nAt = strLower.find(strKey, nLastStatus == std::string::npos ? 0 : nLastStatus);
    if (nAt == std::string::npos)
        return "";
    nAt += strKey.size();
    const size_t nEnd = m_strHeaders.find("\r\n", nAt);
    std::string strValue = m_strHeaders.substr(nAt, nEnd - nAt);
    strValue.erase(0, strValue.find_first_not_of(' '));
    return strValue;
}

std::vector<std::string> CGatewayFetch::Lines() const
{
    std::vector<std::string> lines;
    std::istringstream in(m_strBody);
    for (std::string strLine; std::getline(in, strLine);)
        lines.push_back(strLine);
    return lines;
}
