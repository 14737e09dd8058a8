#include "listing/EasyNewsListingWorker.h"

#include "listing/EasyNewsParser.h"
#include "listing/ListingPoster.h"
#include "net/GatewayHosts.h"
#include "net/HttpRequestFramework.h"
#include "net/InternetSession.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <mutex>
#include <new>
#include <thread>

namespace
{
std::atomic<int> s_nRetryPauseMs{1000};

// Waits up to nMs, returning early when the run event is reset.
void PauseUnlessCancelled(const CManualResetEvent& runEvent, int nMs)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMs);
    while (runEvent.IsSet() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}
} // namespace

void SetEasyNewsRetryPauseMs(int nMilliseconds)
{
    s_nRetryPauseMs.store(nMilliseconds);
}

int EasyNewsListingWorker(std::unique_ptr<CRetrieveParams> pParams)
{
    std::shared_ptr<IMessageSink> pWnd = pParams->m_hWnd;
    std::shared_ptr<CManualResetEvent> pRunEvent = pParams->m_hRunEvent;
    std::string strObject = std::string(GatewayHosts::kEasyNewsGroupPath) + pParams->m_strNewsgroup;
    AccountPtr pAccount = pParams->m_pAccount;
    std::shared_ptr<CPreferences> pSettings = pParams->m_pSettings;
    bool bPort81 = pParams->m_bEasyNewsPort81 != 0;
    std::shared_ptr<CListingRunCount> pRunCount = pParams->m_pRunCount;
    pParams.reset();

    CListingPoster poster(pWnd);
    try
    {
        HttpRequestProfile profile;
        {
            std::lock_guard lock(pAccount->m_lock);
            profile.m_strHost = pAccount->m_strHeaderDomain;
        }
        profile.m_nPort = bPort81 ? GatewayHosts::kEasyNewsAltPort : 0;
        profile.m_nFlags = HttpFlags::kEasyNewsListingRequest;
        profile.m_strServiceName = "EasyNews";
        profile.m_pStatusWindow = pWnd;
        profile.m_pRunEvent = pRunEvent;
        profile.m_bAutoRedirect = true;

        CProxyChoice proxy = ResolveProxy(*pSettings);
        PostStatusLine(profile, "Retrieving Headers...");
        std::string strLine;
        bool bLastPage = false;
        // Every page has its own session; the gateway's cookies last for the
        // whole listing.
        CCookieShare cookies;
        for (int nPage = 0;;)
        {
            std::unique_ptr<CInternetSession> pSession =
                OpenInternetSession(proxy, HttpFlags::kListingSession, profile);
            if (pSession)
                pSession->ShareCookies(cookies);
            std::unique_ptr<CHttpConnection> pConnection;
            std::unique_ptr<CHttpRequest> pRequest;
            bool bNetworkFailure = true;
            if (pSession)
            {
                pConnection = ConnectToHost(*pSession, profile, *pAccount);
                pRequest = OpenHttpRequest(*pConnection, strObject, profile.m_nFlags, profile);
                PostStatusLine(profile, profile.m_strHost + strObject);
                int nStatus = SendWithCredentials(pRequest, *pConnection, profile, *pAccount, *pSettings);
                if (nStatus == SendRefused)
                {
                    CloseRequest(pRequest, pConnection, pSession);
                    poster.PostFailure(ListingFailureText(nStatus, nullptr, profile.m_strHost));
                    break;
                }
                if (nStatus > 0)
                {
                    // The first missing day ends this retrieval at once (and
                    // only this one: other listings share the run event); its
                    // body is the gateway's error page, never a listing.
                    bLastPage = nStatus == 404;
                    if (bLastPage)
                        bNetworkFailure = false;
                    PostStatusLine(profile, pRequest->GetRawHeaders());
                }
                if (nStatus > 0 && !bLastPage)
                {
                    strObject = CEasyNewsParser::ObjectOfUrl(pRequest->GetEffectiveUrl());
                    CEasyNewsParser parser(CEasyNewsParser::PageDate(std::time(nullptr), nPage));
                    while (ReadListingLine(*pRequest, strLine, *pRunEvent))
                    {
                        if (ArticlePtr pArticle = parser.ParseLine(strLine))
                            poster.OnArticle(std::move(pArticle));
                    }
                    bNetworkFailure = pRequest->HasFailed() && pRunEvent->IsSet();
                }
                // The page is skipped as after a complete one; the view learns why.
                if (pRunEvent->IsSet() && (nStatus <= 0 || (nStatus >= 400 && nStatus != 404) || bNetworkFailure))
                    poster.PostFailure(ListingFailureText(nStatus, pRequest.get(), profile.m_strHost));
            }
            else
                poster.PostFailure("cannot open an internet session");
            CloseRequest(pRequest, pConnection, pSession);
            ++nPage;
            if (bLastPage || !pRunEvent->IsSet())
                break;
            if (bNetworkFailure)
                PauseUnlessCancelled(*pRunEvent, s_nRetryPauseMs.load());
            if (!pRunEvent->IsSet())
                break;
            strObject = CEasyNewsParser::NextPageObject(strObject, nPage);
        }
    }
    catch (const std::bad_alloc&)
    {
        // Out of memory: end as after a normal end so the view learns of it.
    }
    if (pRunCount)
        pRunCount->End(*pRunEvent);
    else
        pRunEvent->Reset();
    poster.PostDone();
    return 0;
}
