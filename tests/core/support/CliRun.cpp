#include "support/CliRun.h"

#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

namespace testsupport
{
namespace
{
std::string Quote(const std::string& str)
{
    std::string strOut(1, '\'');
    for (char c : str)
    {
        if (c == '\'')
            strOut += "'\\''";
        else
            strOut += c;
    }
    strOut += '\'';
    return strOut;
}
} // namespace

std::string DataFile(const TempDir& dir, const std::string& strName)
{
    return (dir.Path() / "data" / strName).string();
}

CliRun RunCliIn(const TempDir& dir, const std::vector<std::string>& args, const std::string& strStdin)
{
    std::filesystem::create_directories(dir.Path() / "data");
    const std::string strIn = dir.File("cli.in");
    const std::string strOut = dir.File("cli.out");
    const std::string strErr = dir.File("cli.err");
    WriteFile(strIn, strStdin);
    std::string strCommand("env -u XDG_CONFIG_HOME -u DRAVELIN_HOME HOME=");
    strCommand += Quote(dir.Path().string());
    strCommand += ' ';
    strCommand += Quote(DRAVELIN_CLI_PATH);
    strCommand += " --data-dir ";
    strCommand += Quote((dir.Path() / "data").string());
    for (const auto& strArg : args)
    {
        strCommand += ' ';
        strCommand += Quote(strArg);
    }
    strCommand += " <";
    strCommand += Quote(strIn);
    strCommand += " >";
    strCommand += Quote(strOut);
    strCommand += " 2>";
    strCommand += Quote(strErr);
    const int nStatus = std::system(strCommand.c_str());
    CliRun run;
    run.nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    run.strOut = ReadFile(strOut);
    run.strErr = ReadFile(strErr);
    return run;
}

} // namespace testsupport
