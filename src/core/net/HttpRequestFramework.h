#pragma once

// The request sequence the listing workers and the download worker share:
// proxy choice, session, connection, request, the send loop with its login
// answers and redirects, line reading under a run event, and the closing
// order. Everything runs blocking on the calling worker thread and reports
// network failures by return values; nothing here throws for them.

#include "net/HttpConnection.h"
#include "net/HttpRequest.h"
#include "net/HttpRequestProfile.h"
#include "net/InternetSession.h"

#include <memory>
#include <string>

class CPreferences;
class ServiceAccount;

// Negative results of SendWithCredentials (a positive result is the status code).
enum HttpSendResult : int
{
    SendRefused = -1,        // login or proxy login refused twice; the message was shown
    SendNetworkError = -2,   // connect, send or receive failed; nothing shown
    SendRedirectFailed = -3, // a redirect without a location (message shown) or too many redirects
};

// Consecutive redirects the download's send loop follows before it gives up.
inline constexpr int kMaxRedirects = 20;

// Under the settings' lock: direct, the system's proxy, or "address:port".
CProxyChoice ResolveProxy(const CPreferences& settings);

// Posts strText as a status line to the profile's window (when it has one).
void PostStatusLine(const HttpRequestProfile& profile, const std::string& strText);

// A new session; posts "Open InternetSession...". Null only when libcurl
// cannot make its handles.
std::unique_ptr<CInternetSession> OpenInternetSession(const CProxyChoice& proxy, uint32_t nSessionFlags,
                                                      const HttpRequestProfile& profile);

// A connection to the profile's host and port (an explicit "host:port" wins);
// the account's lock is held while its fields are touched.
std::unique_ptr<CHttpConnection> ConnectToHost(CInternetSession& session, const HttpRequestProfile& profile,
                                               const ServiceAccount& account);

// A GET request for strObject with nFlags; posts "Open Request...".
std::unique_ptr<CHttpRequest> OpenHttpRequest(CHttpConnection& connection, const std::string& strObject,
                                              uint32_t nFlags, const HttpRequestProfile& profile);

// The send loop: answers a 401 with the account's login and a 407 with the
// settings' proxy login (two tries each, then the message box), and for a
// profile with m_bHandleRedirects follows 301/302/303/307/308 through FollowRedirect
// (pRequest is replaced). Returns the final status code or an HttpSendResult.
int SendWithCredentials(std::unique_ptr<CHttpRequest>& pRequest, CHttpConnection& connection,
                        const HttpRequestProfile& profile, const ServiceAccount& account,
                        const CPreferences& settings);

// Replaces pRequest by a request for the response's "Location: " target on the
// same connection (an absolute location is reduced to its path and query);
// posts "Redirected: " + object and "Open Request...". Without a location the
// message "Error: Site redirects with no new location" is shown and false returned.
bool FollowRedirect(std::unique_ptr<CHttpRequest>& pRequest, CHttpConnection& connection,
                    const HttpRequestProfile& profile);

// The redirect target named in raw response headers, reduced to path and
// query, without CR or LF; false when there is no "Location: ".
bool FindRedirectObject(const std::string& strRawHeaders, std::string& strObject);

// The next body line (LF and a CR before it removed); false at the end of the
// body, on failure, or when runEvent is no longer set (tested before the line).
bool ReadListingLine(CHttpRequest& request, std::string& strLine, const CManualResetEvent& runEvent);

// Closes and releases the request, then the connection, then the session.
void CloseRequest(std::unique_ptr<CHttpRequest>& pRequest, std::unique_ptr<CHttpConnection>& pConnection,
                  std::unique_ptr<CInternetSession>& pSession);
