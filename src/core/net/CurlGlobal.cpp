#include "net/CurlGlobal.h"

#include <curl/curl.h>

#include <mutex>

void CurlGlobalInit()
{
    static std::once_flag s_once;
    std::call_once(s_once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}
