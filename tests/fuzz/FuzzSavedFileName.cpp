// The saved-file-name rules: whatever the server and the listing suggest,
// the name is one safe name that stays inside the download folder.
// Input: two flag bits, then Content-Disposition, NUL, listed name, NUL,
// request path.

#include "FuzzHarness.h"

#include "download/SavedFileName.h"

#include <filesystem>

namespace
{
void CheckSafe(const std::string& strName)
{
    FUZZ_CHECK(!strName.empty() && strName.size() <= CSavedFileName::kMaxNameBytes);
    FUZZ_CHECK(strName != "." && strName != "..");
    FUZZ_CHECK(strName.find('/') == std::string::npos);
    for (char c : strName)
        FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f);
    const std::filesystem::path folder("/downloads/folder");
    const std::filesystem::path path = (folder / strName).lexically_normal();
    FUZZ_CHECK(path.parent_path() == folder);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    fuzzharness::CInput input(fuzzharness::View(pData, nSize));
    const uint8_t nFlags = input.Byte();
    const std::string strDisposition = input.Piece();
    const std::string strListed = input.Piece();
    const std::string strPath = input.Piece();

    const std::string strName =
        CSavedFileName::Make(strDisposition, strListed, strPath, (nFlags & 1) != 0, (nFlags & 2) != 0);
    CheckSafe(strName);
    CheckSafe(CSavedFileName::Numbered(strName, 2 + nFlags));
    CheckSafe(CSavedFileName::MakeSafe(strDisposition));
    FUZZ_CHECK(CSavedFileName::MakeSafe(strName) == strName);
    return 0;
}
