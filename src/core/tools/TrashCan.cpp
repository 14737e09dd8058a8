#include "tools/TrashCan.h"

#include "tools/SystemServices.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace
{
// A folder opened without following a link at its last component.
class CDirFd
{
public:
    CDirFd() = default;
    explicit CDirFd(int nFd) : m_nFd(nFd) {}
    ~CDirFd()
    {
        if (m_nFd >= 0)
            close(m_nFd);
    }
    CDirFd(const CDirFd&) = delete;
    CDirFd& operator=(const CDirFd&) = delete;
    int Get() const { return m_nFd; }
    bool IsOpen() const { return m_nFd >= 0; }

private:
    int m_nFd = -1;
};

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool ListNames(int nDirFd, std::vector<std::string>& names)
{
    int nDup = dup(nDirFd);
    if (nDup < 0)
        return false;
    DIR* pDir = fdopendir(nDup);
    if (!pDir)
    {
        close(nDup);
        return false;
    }
    rewinddir(pDir);
    while (dirent* pEntry = readdir(pDir))
    {
        std::string strName = pEntry->d_name;
        if (strName != "." && strName != "..")
            names.push_back(std::move(strName));
    }
    closedir(pDir);
    return true;
}

bool ClearDirectory(int nDirFd, dev_t nDevice);

// Removes the folder strName inside nDirFd with everything in it.
bool RemoveDirectory(int nDirFd, const std::string& strName, const struct stat& st, dev_t nDevice)
{
    // A mount point inside the folder is another file system: not ours.
    if (st.st_dev != nDevice)
        return false;
    int nFd = openat(nDirFd, strName.c_str(), kDirFlags);
    if (nFd < 0 && errno == EACCES)
    {
        // A trashed folder without read or search permission for its owner.
        if (fchmodat(nDirFd, strName.c_str(), (st.st_mode & 07777) | S_IRWXU, AT_SYMLINK_NOFOLLOW) == 0)
            nFd = openat(nDirFd, strName.c_str(), kDirFlags);
    }
    if (nFd < 0)
        return errno == ENOENT;
    CDirFd dir(nFd);
    struct stat stOpened
    {
    };
    // Replaced between the look and the open: leave it alone.
    if (fstat(dir.Get(), &stOpened) != 0 || stOpened.st_dev != st.st_dev || stOpened.st_ino != st.st_ino)
        return false;
    if ((stOpened.st_mode & S_IRWXU) != S_IRWXU)
        fchmod(dir.Get(), (stOpened.st_mode & 07777) | S_IRWXU);
    bool bOk = ClearDirectory(dir.Get(), nDevice);
    if (unlinkat(nDirFd, strName.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT)
        bOk = false;
    return bOk;
}

bool ClearDirectory(int nDirFd, dev_t nDevice)
{
    std::vector<std::string> names;
    if (!ListNames(nDirFd, names))
        return false;
    bool bOk = true;
    for (const auto& strName : names)
    {
        struct stat st
        {
        };
        if (fstatat(nDirFd, strName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        {
            if (errno != ENOENT)
                bOk = false;
            continue;
        }
        if (S_ISDIR(st.st_mode))
        {
            if (!RemoveDirectory(nDirFd, strName, st, nDevice))
                bOk = false;
        }
        else if (unlinkat(nDirFd, strName.c_str(), 0) != 0 && errno != ENOENT)
        {
            bOk = false; // links, files, sockets...: the entry itself, never its target
        }
    }
    return bOk;
}

// Clears the folder strName inside nParentFd (-1: strName is a path).
// Missing: nothing to do.
bool ClearSubFolder(int nParentFd, const std::string& strName)
{
    int nFd =
        nParentFd >= 0 ? openat(nParentFd, strName.c_str(), kDirFlags) : open(strName.c_str(), kDirFlags);
    if (nFd < 0)
        return errno == ENOENT;
    CDirFd dir(nFd);
    struct stat st
    {
    };
    if (fstat(dir.Get(), &st) != 0)
        return false;
    return ClearDirectory(dir.Get(), st.st_dev);
}

bool IsRealFolder(const std::string& strPath, struct stat& st)
{
    return lstat(strPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
} // namespace

std::vector<std::string> CTrashCan::FindTrashFolders(ISystemServices& system)
{
    std::vector<std::string> folders;
    std::vector<std::pair<dev_t, ino_t>> seen;
    auto add = [&](const std::string& strPath, const struct stat& st)
    {
        for (const auto& id : seen)
            if (id.first == st.st_dev && id.second == st.st_ino)
                return; // the same folder through another mount
        seen.emplace_back(st.st_dev, st.st_ino);
        folders.push_back(strPath);
    };

    struct stat st
    {
    };
    std::string strDataHome = system.GetDataHome();
    if (!strDataHome.empty() && IsRealFolder(strDataHome + "/Trash", st))
        add(strDataHome + "/Trash", st);

    const uid_t nUid = system.GetUserId();
    const std::string strUid = std::to_string(nUid);
    for (std::string strTop : system.GetMountPoints())
    {
        while (!strTop.empty() && strTop.back() == '/')
            strTop.pop_back();
        // $topdir/.Trash is shared by all users: only with the sticky bit.
        if (IsRealFolder(strTop + "/.Trash", st) && (st.st_mode & S_ISVTX) != 0)
        {
            std::string strPath = strTop + "/.Trash/" + strUid;
            if (IsRealFolder(strPath, st) && st.st_uid == nUid)
                add(strPath, st);
        }
        std::string strPath = strTop + "/.Trash-" + strUid;
        if (IsRealFolder(strPath, st) && st.st_uid == nUid)
            add(strPath, st);
    }
    return folders;
}

bool CTrashCan::EmptyTrashFolder(const std::string& strTrash)
{
    int nFd = open(strTrash.c_str(), kDirFlags);
    if (nFd < 0)
        return errno == ENOENT;
    CDirFd trash(nFd);
    // The files first: an interruption then leaves entries that point at
    // nothing rather than files that no trash view shows.
    bool bOk = ClearSubFolder(trash.Get(), "files");
    bOk = ClearSubFolder(trash.Get(), "info") && bOk;
    bOk = ClearSubFolder(trash.Get(), "expunged") && bOk;
    if (unlinkat(trash.Get(), "directorysizes", 0) != 0 && errno != ENOENT)
        bOk = false;
    return bOk;
}

bool CTrashCan::ClearFolder(const std::string& strFolder)
{
    if (strFolder.empty())
        return false;
    return ClearSubFolder(-1, strFolder);
}
