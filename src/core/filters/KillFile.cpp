#include "filters/KillFile.h"

#include "model/AtomicFile.h"

#include <sys/stat.h>

bool CKillFile::ReadLines(const std::string& strPath, std::vector<std::string>& lines)
{
    std::string strData;
    if (!CAtomicFile::Read(strPath, strData))
        return false; // no file, a folder, or a read error: nothing is taken
    SplitLines(strData, lines);
    return true;
}

void CKillFile::SplitLines(std::string_view strData, std::vector<std::string>& lines)
{
    size_t nStart = 0;
    while (nStart < strData.size())
    {
        size_t nEnd = strData.find('\n', nStart);
        size_t nNext = nEnd == std::string::npos ? strData.size() : nEnd + 1;
        if (nEnd == std::string::npos)
            nEnd = strData.size();
        size_t nLength = nEnd - nStart;
        if (nLength > 0 && strData[nEnd - 1] == '\r')
            --nLength;
        lines.emplace_back(strData, nStart, nLength);
        nStart = nNext;
    }
}

bool CKillFile::WriteFileAtomic(const std::string& strPath, std::string_view strData)
{
    // The replacement keeps the permissions of the file it replaces.
    mode_t nMode = 0644;
    struct stat st;
    if (::stat(strPath.c_str(), &st) == 0)
        nMode = st.st_mode & 07777;
    return CAtomicFile::Write(strPath, std::string(strData), nMode);
}
