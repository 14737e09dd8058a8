#pragma once

#include "model/Article.h"
#include "model/ManualResetEvent.h"
#include "settings/Preferences.h"
#include "settings/ServiceAccount.h"
#include "ui/MessageSink.h"

#include <cstdint>
#include <memory>

// What the scheduler hands to one download worker. The worker owns the
// record; the shared_ptrs keep the view's sink, the account, the settings and
// the article alive for as long as the worker runs, whatever the user
// interface does meanwhile.
class CDownloadParams
{
public:
    virtual ~CDownloadParams() = default;

    std::shared_ptr<IMessageSink> m_pView;
    AccountPtr m_pAccount;
    std::shared_ptr<CPreferences> m_pSettings;
    ArticlePtr m_pArticle;
    int32_t m_bPort81 = 0;
    // This attempt's stop event, also in the article's m_hRunEvent; created
    // and set before the thread starts so an early stop is never lost.
    std::shared_ptr<CManualResetEvent> m_pRunEvent;
};
