#pragma once

// Runs the built dravelin-cli on a private data folder and HOME.

#include "support/TestSupport.h"

#include <string>
#include <vector>

namespace testsupport
{

struct CliRun
{
    int nExit = -1;
    std::string strOut;
    std::string strErr;
};

// dravelin-cli --data-dir <dir>/data args..., with strStdin as its input.
CliRun RunCliIn(const TempDir& dir, const std::vector<std::string>& args, const std::string& strStdin = {});
// <dir>/data/strName
std::string DataFile(const TempDir& dir, const std::string& strName);

} // namespace testsupport
