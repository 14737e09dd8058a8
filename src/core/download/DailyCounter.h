#pragma once

#include "model/Article.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

class IClock;

// The daily byte count of NewsGuy Extra downloads: loaded from and written to
// the settings file, reset once a day at a configured local hour by timer 1,
// and consulted by the scheduler before a NewsGuy Extra article starts.
// Runs on the user-interface thread only.
class CDailyCounter
{
public:
    static constexpr int kTimerId = 1;
    static constexpr uint32_t kDefaultMaxBytes = 524288000; // 500 MiB
    static constexpr int64_t kDayMs = 86400000;

    CDailyCounter() = default;
    CDailyCounter(const CDailyCounter&) = delete;
    CDailyCounter& operator=(const CDailyCounter&) = delete;

    // Reads the keys, writes back missing defaults, resets when due and arms
    // timer 1 for the next reset moment.
    void SetupDailyCounter(const std::string& strIniPath, IClock* pClock);

    // Counts a NewsGuy Extra article. With bTestLimit the article is refused
    // (nothing changes) when it would pass the limit, unless the limit is
    // ignored; reaching the limit exactly is allowed. Returns true when counted.
    bool AddToDailyCounter(const CArticle& article, bool bTestLimit);
    // A failed download gives its size back; the count never goes below 0.
    void GiveBack(const CArticle& article);

    // Timer 1: re-arm for 24 hours and reset the count.
    void OnTimer(int nId);

    // "&Ignore NewsGuy download limit": flips for this session only.
    void ToggleIgnoreLimit() { m_bIgnoreLimit = !m_bIgnoreLimit; }
    bool IsIgnoringLimit() const { return m_bIgnoreLimit != 0; }

    // The texts of the two labels, and a hook the view installs to show them.
    const std::string& GetCountText() const { return m_strCountText; }
    const std::string& GetResetText() const { return m_strResetText; }
    void SetLabelsChanged(std::function<void()> onChanged) { m_onLabelsChanged = std::move(onChanged); }

    // "Reset" date text of a local time: "%02d %02d %04d" (day, month, year).
    static std::string FormatResetDate(const std::tm& tmLocal);
    // Whether a reset is due at now for the stored date text and reset hour.
    static bool IsResetDue(const std::string& strStoredDate, int32_t nResetHour, std::time_t now);
    // Milliseconds from now to the next reset hour (today's, else tomorrow's).
    static int64_t MsUntilReset(int32_t nResetHour, std::time_t now);

    uint32_t m_nBytesToday = 0;
    uint32_t m_nMaxBytes = kDefaultMaxBytes;
    int32_t m_bIgnoreLimit = 0;
    int32_t m_nResetHour = 0;

private:
    void ResetCount();
    void ShowCountText();
    void LabelsChanged();

    std::string m_strIniPath;
    IClock* m_pClock = nullptr;
    std::string m_strCountText;
    std::string m_strResetText;
    std::function<void()> m_onLabelsChanged;
};
