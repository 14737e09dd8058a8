#pragma once

// One download attempt on the calling thread, as the scheduler would start it.

#include "download/DownloadParams.h"
#include "download/DownloadWorker.h"
#include "ui/MessageQueue.h"

#include <chrono>
#include <memory>

namespace testsupport
{
// Runs the worker to its end; true when it reported a success. The messages
// it posted are taken from pQueue.
inline bool RunDownloadWorker(const std::shared_ptr<CMessageQueue>& pQueue, const AccountPtr& pAccount,
                              const std::shared_ptr<CPreferences>& pSettings, const ArticlePtr& pArticle)
{
    auto pParams = std::make_unique<CDownloadParams>();
    pParams->m_pView = pQueue;
    pParams->m_pAccount = pAccount;
    pParams->m_pSettings = pSettings;
    pParams->m_pArticle = pArticle;
    pParams->m_pRunEvent = std::make_shared<CManualResetEvent>(true);
    pArticle->m_hRunEvent = pParams->m_pRunEvent;
    pArticle->m_nState = StateDownloading;
    ++pAccount->m_nRunning;
    DownloadWorker(std::move(pParams));
    bool bOk = false;
    CViewMessage msg;
    while (pQueue->Wait(msg, std::chrono::milliseconds(0)))
        if (msg.nMessage == WM_DOWNLOAD_DONE)
            bOk = msg.wParam == 1;
    return bOk;
}
} // namespace testsupport
