#pragma once

#include "settings/Preferences.h"
#include "settings/ServiceAccount.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class IPrompts;

// What the whole program shares: the settings, the service accounts, the
// number of running downloads. The GUI's document and the headless front end
// both hold one.
class CQueueDocument
{
public:
    CQueueDocument() = default;
    virtual ~CQueueDocument() = default;
    CQueueDocument(const CQueueDocument&) = delete;
    CQueueDocument& operator=(const CQueueDocument&) = delete;

    // Construction order of the original document: accounts, then settings
    // with the version check (the message through pPrompts), then the
    // running-download count reset.
    bool Open(const std::string& strIniPath, IPrompts* pPrompts);

    // Accounts from and to the settings file; routed services take their
    // route as both hosts (CServiceRoutes). Saving skips an account whose
    // code has no section and a second account of a code already written,
    // since the file holds one account per service.
    int32_t LoadAccounts(const std::string& strIniPath); // returns the largest "MaxDownloads"
    void SaveAccounts(const std::string& strIniPath) const;
    // The route of nService changed while the program runs (it was
    // strOldRoute): its account takes the new route as both hosts, or, with
    // the route gone, the file's hosts again. The account stays the same
    // object, since running downloads count their end on it; one that only
    // the old route brought is taken out, and a new route that finds none
    // adds one, as LoadAccounts would.
    void FollowRoute(const std::string& strIniPath, int32_t nService, const std::string& strOldRoute);
    // The first account whose service code is nService; null when none.
    AccountPtr FindAccount(int32_t nService) const;
    // Host part of a download address: "user:password@host" or "host";
    // "http://" when no account has that code.
    std::string GetServiceHost(int32_t nService, bool bWithCredentials) const;

    void Lock() const { m_lock.lock(); }
    void Unlock() const { m_lock.unlock(); }

    mutable std::recursive_mutex m_lock;
    int32_t m_nActiveDownloads = 0;
    int32_t m_nSubscriptions = 0;
    // Services whose account LoadAccounts added only for a route (see
    // CServiceRoutes); saving leaves them out of the file.
    int32_t m_nRoutedOnly = 0;
    std::vector<AccountPtr> m_accounts;
    CPreferences m_settings;
};
