#pragma once

#include "model/ManualResetEvent.h"
#include "ui/MessageSink.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Request flag bits as the callers state them (the values of the original
// platform's HTTP layer, so the callers' tables read the same).
namespace HttpFlags
{
inline constexpr uint32_t kReload = 0x80000000u;
inline constexpr uint32_t kExistingConnect = 0x20000000u;
inline constexpr uint32_t kDontCache = 0x04000000u;
inline constexpr uint32_t kKeepConnection = 0x00400000u;
inline constexpr uint32_t kNoAutoRedirect = 0x00200000u;
inline constexpr uint32_t kNoCookies = 0x00080000u;

// The callers' sets.
inline constexpr uint32_t kListingSession = kDontCache;        // 0x04000000
inline constexpr uint32_t kNewsGuyListingRequest = 0xA0480000u; // no cookies
inline constexpr uint32_t kEasyNewsListingRequest = 0xA0400000u; // cookies
inline constexpr uint32_t kDownloadSession = 0;
inline constexpr uint32_t kDownloadRequest = 0xA0480000u;
inline constexpr uint32_t kRedirectRequest = 0xA0600000u;
inline constexpr uint32_t kRedirectRequestResume = 0x20600000u;
} // namespace HttpFlags

// Proxy access types.
enum ProxyAccessType : int
{
    ProxyAccessPreconfig = 0, // the system's proxy: http_proxy / no_proxy
    ProxyAccessDirect = 1,    // no proxy at all
    ProxyAccessNamed = 3,     // the manual proxy "host:port"
};

struct CProxyChoice
{
    int nAccessType = ProxyAccessDirect;
    std::string strProxyName; // empty unless named
};

// What a caller states about one request sequence.
struct HttpRequestProfile
{
    std::string m_strHost;        // may carry an explicit port "host:port", which wins over m_nPort
    int m_nPort = 0;              // 0 = 80
    std::string m_strObject;      // request target; a "/" is put in front when it has none
    uint32_t m_nFlags = 0;        // request flags (HttpFlags)
    std::string m_strServiceName; // "NewsGuy", "NewsGuy Extra", "EasyNews", "WebUseNet"
    std::shared_ptr<IMessageSink> m_pStatusWindow;
    std::shared_ptr<CManualResetEvent> m_pRunEvent;
    // Download worker: 301/302/303 are followed by FollowRedirect inside the
    // send loop, with m_nRedirectFlags on the new request.
    bool m_bHandleRedirects = false;
    uint32_t m_nRedirectFlags = HttpFlags::kRedirectRequest;
    // EasyNews listing: the HTTP client follows redirects itself and the final
    // address is read from the request afterwards.
    bool m_bAutoRedirect = false;
    // Extra request header lines ("Name: value") for every request of the
    // sequence, redirects included (a download's Range and If-Range).
    std::vector<std::string> m_extraHeaders;
};
