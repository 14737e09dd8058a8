// The INI reader: a file's text comes back byte for byte, a write changes
// only its own line, and the value written is the value read.
// Input: the file's text, NUL, the value to write to [Fuzz] Probe.

#include "FuzzHarness.h"

#include "settings/ProfileFile.h"

#include <algorithm>
#include <vector>

namespace
{
std::vector<std::string_view> Lines(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty())
    {
        size_t nEnd = text.find('\n');
        lines.push_back(text.substr(0, nEnd));
        text.remove_prefix(nEnd == std::string_view::npos ? text.size() : nEnd + 1);
    }
    return lines;
}

std::string Expected(const std::string& strValue)
{
    std::string str;
    for (char c : strValue)
        if (c != '\r' && c != '\n')
            str.push_back(c);
    size_t nBegin = str.find_first_not_of(" \t");
    if (nBegin == std::string::npos)
        return "";
    str = str.substr(nBegin, str.find_last_not_of(" \t") + 1 - nBegin);
    return str.substr(0, CProfileFile::kMaxValueLength);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    fuzzharness::CInput input(fuzzharness::View(pData, nSize));
    const std::string strText = input.Piece();
    const std::string strValue(input.Rest());

    CProfileFile profile;
    profile.Parse(strText);
    FUZZ_CHECK(profile.GetText() == strText);
    const int32_t nCount = profile.GetCount("Fuzz", "Probe", 100);
    FUZZ_CHECK(nCount >= 0 && nCount <= 100);
    FUZZ_CHECK(profile.GetString("Fuzz", "Probe", "").size() <= CProfileFile::kMaxValueLength);

    const bool bHadKey = profile.HasKey("Fuzz", "Probe");
    profile.SetString("Fuzz", "Probe", strValue);
    const std::string strNew = profile.GetText();
    CProfileFile reread;
    reread.Parse(strNew);
    FUZZ_CHECK(reread.HasKey("Fuzz", "Probe"));
    FUZZ_CHECK(reread.GetString("Fuzz", "Probe", "(none)") == Expected(strValue));

    const auto before = Lines(strText);
    const auto after = Lines(strNew);
    if (bHadKey)
    {
        FUZZ_CHECK(after.size() == before.size());
        size_t nChanged = 0;
        for (size_t i = 0; i < before.size(); ++i)
            nChanged += before[i] != after[i];
        FUZZ_CHECK(nChanged <= 1);
    }
    else
    {
        // New lines only: the key, perhaps a section and a blank line, and the
        // line end of a last line that had none.
        FUZZ_CHECK(after.size() > before.size() && after.size() <= before.size() + 3);
        size_t nKept = 0;
        for (size_t i = 0; i < after.size() && nKept < before.size(); ++i)
        {
            std::string_view line = after[i];
            std::string_view old = before[nKept];
            if (line == old || (nKept + 1 == before.size() && line == std::string(old) + "\r"))
                ++nKept;
        }
        FUZZ_CHECK(nKept == before.size());
    }
    return 0;
}
