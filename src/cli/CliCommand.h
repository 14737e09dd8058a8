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

// One per command, each in its own source file.
int RunSettingsCommand(const CCliContext& context, const std::vector<std::string>& args);
int RunQueueCommand(const CCliContext& context, const std::vector<std::string>& args);
int RunDownloadCommand(const CCliContext& context, const std::vector<std::string>& args);
