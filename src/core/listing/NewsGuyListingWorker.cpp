#include "listing/NewsGuyListingWorker.h"

#include "listing/ListingPoster.h"
#include "listing/NewsGuyParser.h"
#include "net/GatewayHosts.h"
#include "net/HttpRequestFramework.h"

#include <mutex>
#include <new>

namespace
{
// The response body as the parser's line source, under the run event.
class CRequestLineSource : public ILineSource
{
public:
    CRequestLineSource(CHttpRequest& request, const CManualResetEvent& runEvent)
        : m_request(request), m_runEvent(runEvent)
    {
    }
    bool ReadLine(std::string& strLine) override { return ReadListingLine(m_request, strLine, m_runEvent); }

private:
    CHttpRequest& m_request;
    const CManualResetEvent& m_runEvent;
};
} // namespace

std::string NewsGuyListingObject(int32_t nRetrieveBy, bool bShowOnlyBin, const std::string& strNewsgroup)
{
    const char* pszLetter = nRetrieveBy == 0 ? "b" : nRetrieveBy == 1 ? "f" : nRetrieveBy == 2 ? "g" : "z";
    const char* pszSuffix = bShowOnlyBin ? ",b1,o,n100000,B+" : ",b1,o,n100000+";
    return std::string(GatewayHosts::kNewsGuyListPath) + pszLetter + pszSuffix + strNewsgroup;
}

int NewsGuyListingWorker(std::unique_ptr<CRetrieveParams> pParams)
{
    std::shared_ptr<IMessageSink> pWnd = pParams->m_hWnd;
    std::shared_ptr<CManualResetEvent> pRunEvent = pParams->m_hRunEvent;
    std::string strNewsgroup = pParams->m_strNewsgroup;
    AccountPtr pAccount = pParams->m_pAccount;
    std::shared_ptr<CPreferences> pSettings = pParams->m_pSettings;
    std::shared_ptr<CListingRunCount> pRunCount = pParams->m_pRunCount;
    pParams.reset();

    CListingPoster poster(pWnd);
    std::unique_ptr<CInternetSession> pSession;
    std::unique_ptr<CHttpConnection> pConnection;
    std::unique_ptr<CHttpRequest> pRequest;
    std::string strFailure;
    try
    {
        HttpRequestProfile profile;
        int32_t nService = 0;
        {
            std::lock_guard lock(pAccount->m_lock);
            profile.m_strHost = pAccount->m_strHeaderDomain;
            pAccount->m_nRetrieveBy = 3;
            pAccount->m_bShowOnlyBin = 0;
            profile.m_strObject =
                NewsGuyListingObject(pAccount->m_nRetrieveBy, pAccount->m_bShowOnlyBin != 0, strNewsgroup);
            nService = pAccount->m_nService;
        }
        profile.m_nPort = 0;
        profile.m_nFlags = HttpFlags::kNewsGuyListingRequest;
        profile.m_strServiceName = nService == ServiceNewsGuy ? "NewsGuy" : "NewsGuy Extra";
        profile.m_pStatusWindow = pWnd;
        profile.m_pRunEvent = pRunEvent;

        PostStatusLine(profile, "Retrieving Headers...");
        CProxyChoice proxy = ResolveProxy(*pSettings);
        pSession = OpenInternetSession(proxy, HttpFlags::kListingSession, profile);
        if (pSession)
        {
            pConnection = ConnectToHost(*pSession, profile, *pAccount);
            pRequest = OpenHttpRequest(*pConnection, profile.m_strObject, profile.m_nFlags, profile);
            int nStatus = SendWithCredentials(pRequest, *pConnection, profile, *pAccount, *pSettings);
            if (nStatus > 0)
            {
                PostStatusLine(profile, pRequest->GetRawHeaders());
                CRequestLineSource source(*pRequest, *pRunEvent);
                CNewsGuyParser parser(nService);
                parser.ParsePage(source, poster);
            }
            // A cancelled read is no failure.
            if (nStatus == SendRefused || pRunEvent->IsSet())
                strFailure = ListingFailureText(nStatus, pRequest.get(), profile.m_strHost);
        }
        else
            strFailure = "cannot open an internet session";
    }
    catch (const std::bad_alloc&)
    {
        // Out of memory: still end as after a normal end, so the view learns
        // that this retrieval is over (below).
    }
    CloseRequest(pRequest, pConnection, pSession);
    if (!strFailure.empty())
        poster.PostFailure(strFailure);
    if (pRunCount)
        pRunCount->End(*pRunEvent);
    else
        pRunEvent->Reset();
    poster.PostDone();
    return 0;
}
