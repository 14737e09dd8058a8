#pragma once

// Text rules shared by the NewsGuy and the EasyNews listing parsers.

#include <cstdint>
#include <string>
#include <string_view>

namespace ListingText
{
inline constexpr size_t npos = std::string::npos;

// Replaces every occurrence of strFrom by strTo, left to right, in one pass.
void ReplaceAll(std::string& str, std::string_view strFrom, std::string_view strTo);
// Removes leading / both-side blanks (space, tab).
void TrimLeft(std::string& str);
std::string_view Trim(std::string_view str);
// C library integer conversion of a text (atoi on the text up to its end).
int64_t ToInteger(std::string_view str);
// A listed size in bytes: the decimal value of the text times its unit (B 1,
// K or KB 1,000, M or MB 1,000,000, G or GB 1,000,000,000; none 1), truncated,
// in exact arithmetic. "15K" 15000, "2.35M" 2350000, "32.8 KB" 32800.
int64_t SizeOfText(std::string_view str);
// The unit of a size text in bytes (1 when it names none).
int64_t SizeUnit(std::string_view str);
// A size in bytes clamped into an article's 32-bit field.
int32_t ClampSize(int64_t nSize);

// File name from a subject, the yEnc form: the text between the first two
// double quotes found from nQuoteFrom, when the subject contains "yEnc".
// On a match the "????" rewrite of the subject applies. Returns false when
// the yEnc form does not apply.
bool YEncFileName(std::string& strSubject, size_t nQuoteFrom, std::string& strFileName);
// File name from a subject, other subjects: between the last "-" and a later
// last "(", else everything after the last "-"; leading blanks removed.
// False (name untouched) when the subject has no "-".
bool DashFileName(const std::string& strSubject, std::string& strFileName);

// Entity decoding orders.
void DecodeNewsGuyAuthor(std::string& str);
void DecodeNewsGuySubject(std::string& str);
void DecodeEasyNewsText(std::string& str);
} // namespace ListingText
