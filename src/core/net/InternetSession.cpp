#include "net/InternetSession.h"

#include "net/CurlGlobal.h"

#include <curl/curl.h>

#include <atomic>

namespace
{
std::atomic<long> s_nDefaultStallSeconds{60};
}

CCookieShare::CCookieShare()
{
    CurlGlobalInit();
    m_hShare = curl_share_init();
    if (m_hShare)
        curl_share_setopt(static_cast<CURLSH*>(m_hShare), CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
}

CCookieShare::~CCookieShare()
{
    if (m_hShare)
        curl_share_cleanup(static_cast<CURLSH*>(m_hShare));
}

void CInternetSession::ShareCookies(CCookieShare& share)
{
    if (m_hEasy && share.m_hShare)
        curl_easy_setopt(static_cast<CURL*>(m_hEasy), CURLOPT_SHARE, share.m_hShare);
}

CInternetSession::CInternetSession(const CProxyChoice& proxy, uint32_t nSessionFlags)
    : m_proxy(proxy), m_nSessionFlags(nSessionFlags), m_nStallSeconds(s_nDefaultStallSeconds.load())
{
    CurlGlobalInit();
    m_hEasy = curl_easy_init();
    m_hMulti = curl_multi_init();
}

CInternetSession::~CInternetSession()
{
    if (m_hMulti)
        curl_multi_cleanup(static_cast<CURLM*>(m_hMulti));
    if (m_hEasy)
        curl_easy_cleanup(static_cast<CURL*>(m_hEasy));
}

void CInternetSession::SetDefaultStallSeconds(long nSeconds)
{
    s_nDefaultStallSeconds.store(nSeconds > 0 ? nSeconds : 1);
}

long CInternetSession::GetDefaultStallSeconds()
{
    return s_nDefaultStallSeconds.load();
}
