#include "support/CliRun.h"

namespace testsupport
{
std::string DataFile(const TempDir& dir, const std::string& strName)
{
    return (dir.Path() / "data" / strName).string();
}

CliRun RunCliIn(const TempDir& dir, const std::vector<std::string>& args, const std::string& strStdin,
                size_t nInterruptAfter, const std::function<void(pid_t)>& fnStarted)
{
    std::vector<std::string> argv{DRAVELIN_CLI_PATH, "--data-dir", (dir.Path() / "data").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, {"XDG_CONFIG_HOME", "DRAVELIN_HOME", "HOME=" + dir.Path().string()},
                      nInterruptAfter, strStdin, fnStarted);
}
} // namespace testsupport
