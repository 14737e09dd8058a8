#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

// One account with a service: hosts, credentials, limits. Shared between the
// user interface and the workers; every field is read and written under m_lock.
class ServiceAccount
{
public:
    ServiceAccount() = default;
    virtual ~ServiceAccount() = default;
    // The preferences sheet works on copies; the lock is never copied.
    ServiceAccount(const ServiceAccount& other);
    ServiceAccount& operator=(const ServiceAccount& other);

    void Lock() const { m_lock.lock(); }
    void Unlock() const { m_lock.unlock(); }

    int32_t m_bIgnoreNewsGuyLimit = 0;
    std::string m_strDownloadDomain;
    std::string m_strHeaderDomain;
    mutable std::recursive_mutex m_lock;
    int32_t m_nRetrieveBy = 3;
    int32_t m_bShowOnlyBin = 0;
    int32_t m_nService = 0;
    int32_t m_nRunning = 0;
    int32_t m_nMaxDownloads = 0;
    std::string m_strUsername;
    std::string m_strPassword;
};

using AccountPtr = std::shared_ptr<ServiceAccount>;

// The name shown to the user for a service code, "Error!" for an unknown one.
const char* ServiceDisplayName(int32_t nService);
// The settings-file section of a service code, nullptr for an unknown one.
const char* ServiceSectionName(int32_t nService);
