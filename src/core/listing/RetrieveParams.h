#pragma once

#include "model/ManualResetEvent.h"
#include "settings/Preferences.h"
#include "settings/ServiceAccount.h"
#include "ui/MessageSink.h"

#include <cstdint>
#include <memory>
#include <string>

// What Go hands to a listing worker. The worker owns the record from its
// start; the shared pointers keep the window, the event, the account and the
// settings alive while it runs, even when the user interface goes away first.
class CRetrieveParams
{
public:
    virtual ~CRetrieveParams() = default;

    std::shared_ptr<IMessageSink> m_hWnd;
    std::shared_ptr<CManualResetEvent> m_hRunEvent;
    std::string m_strNewsgroup;
    AccountPtr m_pAccount;
    std::shared_ptr<CPreferences> m_pSettings;
    int32_t m_bEasyNewsPort81 = 0;
};
