#pragma once

#include <string>
#include <sys/types.h>

// Whole-file rewrites go through a temporary file in the same folder, fsync
// and a rename, so a crash or a full disk leaves the old file or the new one,
// never half of one.
class CAtomicFile
{
public:
    // Writes strData to strPath with permission bits nMode. On failure the old
    // file is untouched, the temporary file removed, and pError (when given)
    // receives the reason.
    static bool Write(const std::string& strPath, const std::string& strData, mode_t nMode,
                      std::string* pError = nullptr);
    // Removes the temporary files that writes to strPath left behind when
    // their process died (a write under way keeps its own). Write does this
    // first; the program does it for its own files at start.
    static void RemoveLeftovers(const std::string& strPath);
    // Reads the whole file. False when it cannot be opened or read; after a
    // failed open errno tells why (ENOENT: no file).
    static bool Read(const std::string& strPath, std::string& strData, std::string* pError = nullptr);
};
