#include "download/DailyCounter.h"

#include "settings/ProfileFile.h"
#include "ui/Clock.h"

#include <cstdio>
#include <cstdlib>

namespace
{
constexpr const char* kPreferences = "Preferences";
constexpr const char* kNewsGuyExtra = "NewsGuyExtra";
constexpr int32_t kMissingHour = -100;

std::tm LocalTime(std::time_t t)
{
    std::tm tmLocal{};
    localtime_r(&t, &tmLocal);
    return tmLocal;
}

// The leading decimal digits of s from nPos; 0 when none.
int LeadingNumber(const std::string& s, size_t nPos)
{
    if (nPos >= s.size())
        return 0;
    return static_cast<int>(std::strtol(s.c_str() + nPos, nullptr, 10));
}

// Local time of today at nHour:00:00.
std::time_t TodayAt(int32_t nHour, std::time_t now)
{
    std::tm tmAt = LocalTime(now);
    tmAt.tm_hour = nHour;
    tmAt.tm_min = 0;
    tmAt.tm_sec = 0;
    tmAt.tm_isdst = -1;
    return std::mktime(&tmAt);
}
} // namespace

std::string CDailyCounter::FormatResetDate(const std::tm& tmLocal)
{
    char szText[64];
    std::snprintf(szText, sizeof(szText), "%02d %02d %04d", tmLocal.tm_mday, tmLocal.tm_mon + 1,
                  tmLocal.tm_year + 1900);
    return szText;
}

bool CDailyCounter::IsResetDue(const std::string& strStoredDate, int32_t nResetHour, std::time_t now)
{
    int nDay = LeadingNumber(strStoredDate, 0);
    int nMonth = LeadingNumber(strStoredDate, 3);
    int nYear = LeadingNumber(strStoredDate, 6);
    std::tm tmNow = LocalTime(now);
    if (nDay == tmNow.tm_mday && nMonth == tmNow.tm_mon + 1 && nYear == tmNow.tm_year + 1900)
        return false;
    // A date that makes no valid time (the default "00 00 0000" among them)
    // makes the reset due.
    if (nDay < 1 || nDay > 31 || nMonth < 1 || nMonth > 12 || nYear < 1970)
        return true;
    std::tm tmCheck{};
    tmCheck.tm_mday = nDay;
    tmCheck.tm_mon = nMonth - 1;
    tmCheck.tm_year = nYear - 1900;
    tmCheck.tm_hour = 12;
    tmCheck.tm_isdst = -1;
    if (std::mktime(&tmCheck) == static_cast<std::time_t>(-1) || tmCheck.tm_mday != nDay ||
        tmCheck.tm_mon != nMonth - 1)
        return true; // 31 02 and the like
    std::tm tmStored{};
    tmStored.tm_mday = nDay;
    tmStored.tm_mon = nMonth - 1;
    tmStored.tm_year = nYear - 1900;
    tmStored.tm_hour = nResetHour;
    tmStored.tm_isdst = -1;
    std::time_t stored = std::mktime(&tmStored);
    if (stored == static_cast<std::time_t>(-1))
        return true;
    return now - stored > 86400;
}

int64_t CDailyCounter::MsUntilReset(int32_t nResetHour, std::time_t now)
{
    int64_t nSeconds = static_cast<int64_t>(TodayAt(nResetHour, now) - now);
    if (nSeconds <= 0)
        nSeconds += 86400;
    return nSeconds * 1000;
}

void CDailyCounter::SetupDailyCounter(const std::string& strIniPath, IClock* pClock)
{
    m_strIniPath = strIniPath;
    m_pClock = pClock;

    std::string strReset = CProfileFile::GetProfileString(kPreferences, "Reset", "00 00 0000", strIniPath);
    int32_t nHour = CProfileFile::GetProfileInt(kPreferences, "PSTTimeDiff", kMissingHour, strIniPath);
    int32_t nBytes = CProfileFile::GetProfileInt(kPreferences, "BytesToday", -1, strIniPath);
    int32_t nMax = CProfileFile::GetProfileInt(kPreferences, "MaxBytes", -1, strIniPath);
    m_bIgnoreLimit = CProfileFile::GetProfileInt(kNewsGuyExtra, "IgnoreNewsGuyLimit", 0, strIniPath);

    if (nMax == -1)
    {
        m_nMaxBytes = kDefaultMaxBytes;
        CProfileFile::WriteProfileString(kPreferences, "MaxBytes", "524288000", strIniPath);
    }
    else
    {
        m_nMaxBytes = static_cast<uint32_t>(nMax);
    }
    if (nHour == kMissingHour)
    {
        nHour = 0;
        CProfileFile::WriteProfileString(kPreferences, "PSTTimeDiff", "0", strIniPath);
    }
    if (nHour < 0)
        nHour += 24;
    m_nResetHour = nHour;
    // A missing count is no count, not 4 GiB less one byte.
    m_nBytesToday = nBytes == -1 ? 0u : static_cast<uint32_t>(nBytes);

    std::time_t now = m_pClock ? m_pClock->Now() : std::time(nullptr);
    if (m_pClock)
        m_pClock->SetTimer(kTimerId, MsUntilReset(m_nResetHour, now));
    if (IsResetDue(strReset, m_nResetHour, now))
        ResetCount();

    char szText[64];
    std::snprintf(szText, sizeof(szText), "Reset at %02d:00", m_nResetHour);
    m_strResetText = szText;
    ShowCountText();
    LabelsChanged();
}

void CDailyCounter::ResetCount()
{
    m_nBytesToday = 0;
    std::time_t now = m_pClock ? m_pClock->Now() : std::time(nullptr);
    if (m_strIniPath.empty())
        return;
    CProfileFile::WriteProfileString(kPreferences, "BytesToday", "0", m_strIniPath);
    CProfileFile::WriteProfileString(kPreferences, "Reset", FormatResetDate(LocalTime(now)), m_strIniPath);
}

void CDailyCounter::ShowCountText()
{
    char szText[96];
    std::snprintf(szText, sizeof(szText), "%.2f MB downloaded from NewsGuy",
                  static_cast<double>(m_nBytesToday) / 1024.0 / 1024.0);
    m_strCountText = szText;
}

void CDailyCounter::LabelsChanged()
{
    if (m_onLabelsChanged)
        m_onLabelsChanged();
}

bool CDailyCounter::AddToDailyCounter(const CArticle& article, bool bTestLimit)
{
    uint32_t nSize = static_cast<uint32_t>(article.m_nSize);
    // Added and compared as unsigned 32-bit numbers.
    if (bTestLimit && !m_bIgnoreLimit && static_cast<uint32_t>(m_nBytesToday + nSize) > m_nMaxBytes)
        return false;
    m_nBytesToday += nSize;
    ShowCountText();
    LabelsChanged();
    if (!m_strIniPath.empty())
        CProfileFile::WriteProfileInt(kPreferences, "BytesToday", static_cast<int32_t>(m_nBytesToday),
                                      m_strIniPath);
    return true;
}

void CDailyCounter::GiveBack(const CArticle& article)
{
    uint32_t nSize = static_cast<uint32_t>(article.m_nSize);
    // A reset between the start and the failure must not wrap the count.
    m_nBytesToday = nSize > m_nBytesToday ? 0u : m_nBytesToday - nSize;
    ShowCountText();
    LabelsChanged();
}

void CDailyCounter::OnTimer(int nId)
{
    if (nId != kTimerId)
        return;
    if (m_pClock)
        m_pClock->SetTimer(kTimerId, kDayMs);
    ResetCount();
    m_strCountText = "0 bytes downloaded from NewsGuy";
    LabelsChanged();
}
