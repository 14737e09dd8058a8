#pragma once

// A blocking libcurl fetch for the simulator tests.

#include <curl/curl.h>

#include <string>
#include <vector>

struct CGatewayFetch
{
    CURLcode m_nResult = CURLE_OK;
    long m_nStatus = 0;
    std::string m_strHeaders;
    std::string m_strBody;

    // The value of a response header (first occurrence, case-insensitive name), or "".
    std::string Header(const std::string& strName) const;
    std::vector<std::string> Lines() const;
};

CGatewayFetch GatewayFetch(const std::string& strUrl, const std::vector<std::string>& extraHeaders = {},
                           const std::string& strUserPassword = "", bool bFollow = false);
