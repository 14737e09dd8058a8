#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CPreferences;
class IClock;
class IPrompts;
class ISystemServices;

// The end-of-queue and disk-full actions the scheduler calls: hang up, power
// off, free temporary internet files, empty the trash. The system front end
// implements them; tests use a fake so they never reach the real ones. The
// flags are the user's "when done" choices and the running clean-ups.
class IQueueTools
{
public:
    virtual ~IQueueTools() = default;

    virtual void HangUpConnections() = 0;
    virtual void PowerOffMachine() = 0;
    virtual void DeleteTemporaryInternetFiles() = 0;
    virtual void EmptyTheRecycleBin() = 0;

    // "&Hang Up when done" and "&Power Off when done".
    int32_t m_bHangUpWhenDone = 0;
    int32_t m_bPowerOffWhenDone = 0;
    // A clean-up is running; the scheduler does not start a second one.
    int32_t m_bDeletingTempFiles = 0;
    int32_t m_bEmptyingRecycleBin = 0;
};

// The end-of-queue and disk-full actions on the user-interface thread, over
// the system services. Dropping a dial-up line takes a while: the hang-up
// polls the connection on timer kHangUpTimerId and returns at once, so the
// window keeps working; a power-off asked for meanwhile runs when the last
// line has dropped. The owner forwards timer expiries to OnTimer.
class CQueueTools : public IQueueTools
{
public:
    static constexpr int kHangUpTimerId = 3;
    static constexpr int64_t kHangUpPollMs = 100;

    CQueueTools(CPreferences& settings, ISystemServices* pSystem, IPrompts* pPrompts, IClock* pClock);
    ~CQueueTools() override;
    CQueueTools(const CQueueTools&) = delete;
    CQueueTools& operator=(const CQueueTools&) = delete;

    // The view's shutdown save (settings, favourites, queue file), run before
    // the power-off request; the request to close the main window after it;
    // the wait cursor on and off around the clean-ups.
    void SetShutdownSave(std::function<void()> onSave) { m_onShutdownSave = std::move(onSave); }
    void SetCloseMainWindow(std::function<void()> onClose) { m_onCloseMainWindow = std::move(onClose); }
    void SetWaitCursor(std::function<void(bool)> onWait) { m_onWaitCursor = std::move(onWait); }

    // Drops every active dial-up connection and waits (by timer) until each
    // has ended.
    void HangUpConnections() override;
    // Shutdown save, power-off request, then the main window closes.
    void PowerOffMachine() override;
    // Clears Dravelin's own cache folder; EmptyTheRecycleBin empties the
    // trash. The Try forms return whether it worked.
    void DeleteTemporaryInternetFiles() override { TryDeleteTemporaryInternetFiles(); }
    void EmptyTheRecycleBin() override { TryEmptyTheRecycleBin(); }
    bool TryDeleteTemporaryInternetFiles();
    bool TryEmptyTheRecycleBin();

    // Timer expiries; false for a timer that is not ours.
    bool OnTimer(int nId);

    // Enabling rules of the Tools menu and the check marks.
    bool CanHangUpWhenDone() const;
    bool CanPowerOffWhenDone() const;
    bool CanDeleteTemporaryInternetFiles() const { return true; }
    bool CanEmptyTheRecycleBin() const { return true; }
    void ToggleHangUpWhenDone() { m_bHangUpWhenDone = !m_bHangUpWhenDone; }
    void TogglePowerOffWhenDone() { m_bPowerOffWhenDone = !m_bPowerOffWhenDone; }

    bool IsHangingUp() const { return m_bHangingUp; }
    // $XDG_CACHE_HOME/dravelin: the only cache the temporary-files clean-up
    // touches ("" when there is no home folder).
    std::string GetCacheFolder() const;
    // Looks for trash folders again and sets m_bCanEmptyRecycleBin.
    void UpdateCanEmptyRecycleBin();

    // The dial-up connections can be listed (set when built).
    int32_t m_bHaveRas = 0;
    // The shutdown save has been done; the view does not save a second time.
    int32_t m_bStateSaved = 0;

private:
    // DoNotQueue off and MaxDownloads not 0: Dravelin has a queue of its own.
    bool HasOwnQueue() const;
    // Hangs up connections from m_nNextConnection on until one must be
    // waited for; finishes the hang-up when none is left.
    void HangUpNext();
    void FinishHangUp();
    void DoPowerOff();
    void WaitCursor(bool bOn);

    CPreferences& m_settings;
    ISystemServices* m_pSystem;
    IPrompts* m_pPrompts;
    IClock* m_pClock;
    std::function<void()> m_onShutdownSave;
    std::function<void()> m_onCloseMainWindow;
    std::function<void(bool)> m_onWaitCursor;

    bool m_bHangingUp = false;
    bool m_bTimerRunning = false;
    bool m_bPowerOffPending = false;
    bool m_bPoweringOff = false;
    std::vector<std::string> m_connections;
    size_t m_nNextConnection = 0;
    std::string m_strWaitingFor;
};
