#pragma once

#include <string>
#include <vector>

class ISystemServices;

// The freedesktop trash and Dravelin's cache folder: where they are and how
// they are emptied. Removal never follows a symbolic link (a link is removed,
// not what it points to) and never descends into another mounted file system.
class CTrashCan
{
public:
    // The trash folders the user can empty: the home trash
    // ($XDG_DATA_HOME/Trash) and, at the root of each mounted volume,
    // ".Trash/$UID" (when ".Trash" is a real folder with the sticky bit) and
    // ".Trash-$UID" owned by the user. Symbolic links are never taken.
    static std::vector<std::string> FindTrashFolders(ISystemServices& system);

    // Empties one trash folder: the contents of "files", "info" and
    // "expunged", and the "directorysizes" cache. True when everything went.
    static bool EmptyTrashFolder(const std::string& strTrash);

    // Removes everything inside strFolder and keeps the folder. A missing
    // folder counts as cleared; a symbolic link in its place is not followed
    // (false).
    static bool ClearFolder(const std::string& strFolder);
};
