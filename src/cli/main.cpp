// dravelin-cli: the headless front end over the core and the same data folder
// as the desktop program. Each command lives in its own source file; adding a
// command is a new file and one line in the table below.

#include "CliCommand.h"
#include "DravelinVersion.h"
#include "settings/FolderLock.h"

#include <cstdio>
#include <string>
#include <vector>

namespace
{
const CCliCommand kCommands[] = {
    {"settings", "settings", RunSettingsCommand},
    {"queue",
     "queue [--all|--waiting] | queue add --service N --size N --subject S --decode-query Q "
     "[--author A] [--date D] [--file-name F] [--path P] | queue import FILE.nzb [--path DIR] | queue clear",
     RunQueueCommand},
    {"list", "list [--service newsguy|newsguy-extra|easynews|easynews81] [--limit MM/DD] [--hide-incomplete] GROUP",
     RunListCommand},
    {"download", "download [--max N]", RunDownloadCommand},
    {"usenet",
     "usenet show | usenet set [--server HOST] [--port N] [--tls on|off] [--ca-file PATH] [--user NAME] "
     "[--password-stdin] [--connections N] [--enabled on|off] | usenet cache [--clear GROUP]",
     RunUsenetCommand},
};

void PrintUsage(std::FILE* pFile)
{
    std::fprintf(pFile, "usage: dravelin-cli [--data-dir DIR] COMMAND [ARGS]\n"
                        "       dravelin-cli [COMMAND] --help\n"
                        "       dravelin-cli --version\ncommands:\n");
    for (const auto& command : kCommands)
        std::fprintf(pFile, "  %s\n", command.pszUsage);
}

// The commands that rewrite files of the data folder take its lock, so they
// never run against the desktop program (or another of their own) on the
// same folder; the others only read.
bool WritesFolder(const std::string& strCommand, const std::vector<std::string>& args)
{
    for (const std::string& strArg : args)
        if (IsHelpOption(strArg))
            return false;
    if (strCommand == "download")
        return true;
    if (strCommand == "queue")
        return !args.empty() && (args[0] == "add" || args[0] == "import" || args[0] == "clear");
    if (strCommand == "usenet")
        return !args.empty() && args[0] == "set";
    return false;
}

int Usage()
{
    PrintUsage(stderr);
    return CliBadArguments;
}
} // namespace

bool IsHelpOption(const std::string& strArg)
{
    return strArg == "--help" || strArg == "-h";
}

int ShowCommandUsage(const std::string& strCommand)
{
    for (const auto& command : kCommands)
        if (strCommand == command.pszName)
            std::printf("usage: dravelin-cli [--data-dir DIR] %s\n", command.pszUsage);
    return CliOk;
}

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    // Common options come before the command.
    std::string strDataDir;
    if (!args.empty() && args[0] == "--data-dir")
    {
        if (args.size() < 2 || args[1].empty())
            return Usage();
        strDataDir = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    else if (!args.empty() && args[0].rfind("--data-dir=", 0) == 0)
    {
        strDataDir = args[0].substr(11);
        if (strDataDir.empty())
            return Usage();
        args.erase(args.begin());
    }
    if (args.empty())
        return Usage();
    if (IsHelpOption(args[0]))
    {
        PrintUsage(stdout);
        return CliOk;
    }
    if (args[0] == "--version")
    {
        std::printf("dravelin-cli %s\n", DRAVELIN_VERSION);
        return CliOk;
    }

    for (const auto& command : kCommands)
    {
        if (args[0] != command.pszName)
            continue;
        if (args.size() > 1 && IsHelpOption(args[1]))
            return ShowCommandUsage(args[0]); // no data folder needed
        CCliContext context;
        std::string strError;
        if (!context.folder.Resolve(strDataDir, &strError))
        {
            std::fprintf(stderr, "dravelin-cli: %s\n", strError.c_str());
            return CliFailed;
        }
        const std::vector<std::string> commandArgs(args.begin() + 1, args.end());
        CFolderLock lock;
        if (WritesFolder(args[0], commandArgs) && !lock.TryLock(context.folder.GetPath()))
        {
            std::fprintf(stderr, "dravelin-cli: the data folder %s is in use by another Dravelin program\n",
                         context.folder.GetPath().c_str());
            return CliFailed;
        }
        return command.pfnRun(context, commandArgs);
    }
    std::fprintf(stderr, "dravelin-cli: unknown command: %s\n", args[0].c_str());
    return Usage();
}
