#pragma once

// Runs the built dravelin-cli on a private data folder and HOME.

#include "support/TestSupport.h"

#include <string>
#include <vector>

namespace testsupport
{
using CliRun = CProcessResult;

// dravelin-cli --data-dir <dir>/data args..., with strStdin as its input and
// HOME at <dir>; the rest as RunProgram. The program makes the data folder.
CliRun RunCliIn(const TempDir& dir, const std::vector<std::string>& args, const std::string& strStdin = {},
                size_t nInterruptAfter = 0, const std::function<void(pid_t)>& fnStarted = {});
// <dir>/data/strName
std::string DataFile(const TempDir& dir, const std::string& strName);

} // namespace testsupport
