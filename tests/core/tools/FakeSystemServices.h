#pragma once

// Fakes of the system services and of the clock's timers for the export and
// tools tests: nothing here reaches the machine's clipboard, programs,
// connections, power-off or trash.

#include "tools/SystemServices.h"
#include "ui/Clock.h"

#include <map>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace toolstest
{
class FakeSystemServices : public ISystemServices
{
public:
    struct CStarted
    {
        std::string strProgram;
        std::vector<std::string> args;
        std::string strWorkingFolder;
    };

    bool SetClipboardText(const std::string& strText) override
    {
        if (!m_bClipboardAvailable)
            return false;
        m_clipboard.push_back(strText);
        m_events.push_back("clipboard");
        return true;
    }
    bool StartProgram(const std::string& strProgram, const std::vector<std::string>& args,
                      const std::string& strWorkingFolder) override
    {
        m_started.push_back({strProgram, args, strWorkingFolder});
        m_events.push_back("start " + strProgram);
        return m_bProgramsStart;
    }
    bool OpenFile(const std::string& strPath) override
    {
        m_opened.push_back(strPath);
        return true;
    }

    bool HaveDialUp() override { return m_bHaveDialUp; }
    bool EnumDialUpConnections(std::vector<std::string>& connections) override
    {
        ++m_nEnumerations;
        connections = m_listed;
        return m_bEnumWorks;
    }
    bool IsDialUpConnectionActive(const std::string& strConnection) override
    {
        return m_active.count(strConnection) != 0;
    }
    void HangUpDialUpConnection(const std::string& strConnection) override
    {
        m_hungUp.push_back(strConnection);
        if (m_bDropAtOnce)
            m_active.erase(strConnection);
    }

    bool PowerOff() override
    {
        ++m_nPowerOffs;
        m_events.push_back("power-off");
        return m_bPowerOffAccepted;
    }

    std::string GetHomeFolder() override { return m_strHome; }
    std::string GetDataHome() override { return m_strDataHome; }
    std::string GetCacheHome() override { return m_strCacheHome; }
    std::vector<std::string> GetMountPoints() override { return m_mountPoints; }
    uid_t GetUserId() override { return m_nUid; }

    // Clipboard: every text put on it, in order; the last is its content.
    bool m_bClipboardAvailable = true;
    std::vector<std::string> m_clipboard;
    // Programs.
    bool m_bProgramsStart = true;
    std::vector<CStarted> m_started;
    std::vector<std::string> m_opened;
    // Dial-up: the listed connections, those still active, the hang-ups.
    bool m_bHaveDialUp = true;
    bool m_bEnumWorks = true;
    bool m_bDropAtOnce = false;
    std::vector<std::string> m_listed;
    std::set<std::string> m_active;
    std::vector<std::string> m_hungUp;
    int m_nEnumerations = 0;
    // Power-off.
    bool m_bPowerOffAccepted = true;
    int m_nPowerOffs = 0;
    // Clipboard puts, program starts and power-offs in order; tests may add
    // their own events to see what came first.
    std::vector<std::string> m_events;
    // Folders.
    std::string m_strHome;
    std::string m_strDataHome;
    std::string m_strCacheHome;
    std::vector<std::string> m_mountPoints;
    uid_t m_nUid = getuid();
};

// Timers that fire only when the test says so.
class FakeTimerClock : public IClock
{
public:
    std::time_t Now() const override { return m_now; }
    void SetTimer(int nId, int64_t nPeriodMs) override
    {
        m_running[nId] = nPeriodMs;
        ++m_nArmed[nId];
    }
    void KillTimer(int nId) override { m_running.erase(nId); }
    bool IsRunning(int nId) const { return m_running.count(nId) != 0; }
    int64_t Period(int nId) const
    {
        auto it = m_running.find(nId);
        return it == m_running.end() ? -1 : it->second;
    }

    std::time_t m_now = 1780000000;
    std::map<int, int64_t> m_running;
    std::map<int, int> m_nArmed;
};
} // namespace toolstest
