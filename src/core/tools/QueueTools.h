#pragma once

#include <cstdint>

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
