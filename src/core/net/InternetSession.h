#pragma once

#include "net/HttpRequestProfile.h"

#include <cstdint>
#include <string>

// One cookie store for several sessions that follow each other in one
// thread (a listing's pages). Outlives every session that uses it.
class CCookieShare
{
public:
    CCookieShare();
    ~CCookieShare();
    CCookieShare(const CCookieShare&) = delete;
    CCookieShare& operator=(const CCookieShare&) = delete;

private:
    friend class CInternetSession;
    void* m_hShare = nullptr; // CURLSH*
};

// The top-level handle of one request sequence: the proxy choice, the session
// flags, and the libcurl handles that every request of the sequence reuses,
// so a kept-alive connection serves the next request (redirects, retries).
// Owned by one worker thread.
class CInternetSession
{
public:
    CInternetSession(const CProxyChoice& proxy, uint32_t nSessionFlags);
    virtual ~CInternetSession();
    CInternetSession(const CInternetSession&) = delete;
    CInternetSession& operator=(const CInternetSession&) = delete;

    bool IsValid() const { return m_hEasy != nullptr && m_hMulti != nullptr; }

    // Seconds a transfer may go without a single byte before it fails; the
    // default applies to sessions made afterwards (tests shorten it).
    static void SetDefaultStallSeconds(long nSeconds);
    static long GetDefaultStallSeconds();

    // Keeps the cookies of this session's requests in share, which already
    // holds those of earlier sessions.
    void ShareCookies(CCookieShare& share);

    CProxyChoice m_proxy;
    uint32_t m_nSessionFlags;
    long m_nStallSeconds;
    long m_nConnectTimeout = 30;
    // The cookie engine is switched on once per handle; it stays on across
    // the requests of the session.
    bool m_bCookieEngine = false;
    // Opaque libcurl handles (CURL*, CURLM*); the core keeps curl.h private.
    void* m_hEasy = nullptr;
    void* m_hMulti = nullptr;
};
