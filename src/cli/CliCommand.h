#pragma once

#include "settings/DataFolder.h"

#include <string>
#include <vector>

// Exit codes of every command.
enum CliExitCode
{
    CliOk = 0,
    CliFailed = 1, // the command ran into a fault (malformed file, write error)
    CliBadArguments = 2,
};

// What every command gets: the chosen data folder.
struct CCliContext
{
    CDataFolder folder;
};

// A command takes the arguments after its name and returns its exit code.
using CliCommandFn = int (*)(const CCliContext& context, const std::vector<std::string>& args);

struct CCliCommand
{
    const char* pszName;
    const char* pszUsage;
    CliCommandFn pfnRun;
};

// "--help" or "-h": a command that meets one where it takes options prints
// its usage with ShowCommandUsage (on stdout) and ends with its result, 0.
bool IsHelpOption(const std::string& strArg);
int ShowCommandUsage(const std::string& strCommand);

// One per command, each in its own source file.
int RunSettingsCommand(const CCliContext& context, const std::vector<std::string>& args);
int RunQueueCommand(const CCliContext& context, const std::vector<std::string>& args);
int RunListCommand(const CCliContext& context, const std::vector<std::string>& args);
int RunUsenetCommand(const CCliContext& context, const std::vector<std::string>& args);
int RunDownloadCommand(const CCliContext& context, const std::vector<std::string>& args);
