#pragma once

#include <string>
#include <vector>

// The folder that holds the program's own files. It is the program's folder
// (portable, as the program always was) when that is writable and not an
// installed program's, otherwise $XDG_CONFIG_HOME/dravelin; "--data-dir DIR"
// or DRAVELIN_HOME override both.
class CDataFolder
{
public:
    CDataFolder() = default;
    explicit CDataFolder(std::string strPath) : m_strPath(std::move(strPath)) {}

    // Chooses the folder: strOverride (the --data-dir value, "" when not
    // given), else DRAVELIN_HOME, else the program's folder when writable,
    // else the XDG folder. An override or the XDG folder is created when
    // missing. False (with pError) when no usable folder results. Temporary
    // files that interrupted saves left beside the program's files are removed.
    bool Resolve(const std::string& strOverride, std::string* pError = nullptr);

    const std::string& GetPath() const { return m_strPath; }
    // strName inside the folder, joined with '/'.
    std::string GetFilePath(const std::string& strName) const;
    std::string GetIniPath() const { return GetFilePath("Dravelin.ini"); }
    std::string GetQueuePath() const { return GetFilePath("Dravelin.dvq"); }
    std::string GetAuthorKillPath() const { return GetFilePath("Author.kill"); }
    std::string GetSubjectKillPath() const { return GetFilePath("Subject.kill"); }
    std::string GetGetRightListPath() const { return GetFilePath("GetRight.lst"); }

    // The folder of the running program file, "" when unknown.
    static std::string GetProgramFolder();
    // $XDG_CONFIG_HOME/dravelin, or ~/.config/dravelin.
    static std::string GetConfigFolder();
    // Takes "--data-dir DIR" or "--data-dir=DIR" out of args and returns DIR
    // ("" when absent). False when the option lacks its value.
    static bool TakeDataDirOption(std::vector<std::string>& args, std::string& strDir);

private:
    bool Choose(const std::string& strOverride, std::string* pError);

    std::string m_strPath;
};
