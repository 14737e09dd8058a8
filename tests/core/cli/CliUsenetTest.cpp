#include "settings/ProfileFile.h"
#include "support/CliRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using testsupport::CliRun;
using testsupport::DataFile;
using testsupport::RunCliIn;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace
{
struct SetCase
{
    const char* pszName;
    const char* pszIni; // the settings file before, "" = none
    std::vector<std::string> args;
    const char* pszStdin;
    int nExit;
    // Lines `usenet show` prints afterwards (exit 0), or a piece of the error.
    std::vector<std::string> expected;
};

using CliUsenetSet = testing::TestWithParam<SetCase>;

TEST_P(CliUsenetSet, WritesOrRefuses)
{
    const SetCase& c = GetParam();
    TempDir dir;
    const std::string strIni = DataFile(dir, "Dravelin.ini");
    std::filesystem::create_directories(dir.Path() / "data");
    if (*c.pszIni)
        WriteFile(strIni, c.pszIni);
    std::vector<std::string> args{"usenet", "set"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CliRun set = RunCliIn(dir, args, c.pszStdin);
    ASSERT_EQ(set.nExit, c.nExit) << set.strErr;
    if (c.nExit != 0)
    {
        for (const std::string& strPiece : c.expected)
            EXPECT_NE(set.strErr.find(strPiece), std::string::npos) << set.strErr;
        // Refused: the file is as it was.
        EXPECT_EQ(std::filesystem::exists(strIni), *c.pszIni != 0);
        if (*c.pszIni)
        {
            EXPECT_EQ(testsupport::ReadFile(strIni), c.pszIni);
        }
        return;
    }
    const CliRun show = RunCliIn(dir, {"usenet", "show"});
    ASSERT_EQ(show.nExit, 0);
    for (const std::string& strLine : c.expected)
        EXPECT_NE(show.strOut.find(strLine + "\n"), std::string::npos) << show.strOut;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliUsenetSet,
    testing::Values(
        SetCase{"Everything",
                "",
                {"--server", "news.example", "--port", "8119", "--tls", "off", "--user", "me", "--password-stdin",
                 "--connections", "12"},
                "s3cret\n",
                0,
                {"Usenet/Enabled=1", "Usenet/Server=news.example", "Usenet/Port=8119", "Usenet/TLS=0",
                 "Usenet/Username=me", "Usenet/Password=***", "Usenet/Connections=12"}},
        SetCase{"PlainDefaultPort", "", {"--server", "n.example", "--tls", "off"}, "", 0,
                {"Usenet/Port=119", "Usenet/Password=", "Usenet/Connections=8"}},
        SetCase{"TlsMovesToItsPort", "[Usenet]\nServer=n\nTLS=0\nPort=119\n", {"--tls", "on"}, "", 0,
                {"Usenet/Server=n", "Usenet/Port=563", "Usenet/TLS=1"}},
        SetCase{"OffKeepsValues", "[Usenet]\nServer=n\nUsername=u\nConnections=20\n", {"--enabled", "off"}, "", 0,
                {"Usenet/Enabled=0", "Usenet/Server=n", "Usenet/Username=u", "Usenet/Connections=20"}},
        // A damaged file never asks for thousands of connections.
        SetCase{"OutOfRangeReadsAsDefault", "[usenet]\nserver=n\nport=70000\nconnections=51\n", {"--user", "u"},
                "", 0, {"Usenet/Port=563", "Usenet/Connections=8"}},
        SetCase{"NoOptions", "", {}, "", 2, {"at least one option"}},
        SetCase{"NoServer", "", {"--port", "119"}, "", 2, {"--server"}},
        SetCase{"PortZero", "", {"--server", "n", "--port", "0"}, "", 2, {"--port must be"}},
        SetCase{"PortText", "[Usenet]\nServer=n\n", {"--port", "119x"}, "", 2, {"--port must be"}},
        SetCase{"TlsWord", "", {"--server", "n", "--tls", "yes"}, "", 2, {"--tls must be on or off"}},
        SetCase{"TooManyConnections", "", {"--server", "n", "--connections", "51"}, "", 2, {"from 1 to 50"}},
        SetCase{"NoConnections", "", {"--server", "n", "--connections", "0"}, "", 2, {"from 1 to 50"}},
        SetCase{"MissingValue", "", {"--server"}, "", 2, {"--server needs a value"}},
        SetCase{"UnknownOption", "", {"--server", "n", "--pass", "x"}, "", 2, {"unknown usenet set argument"}},
        SetCase{"BlankInServer", "", {"--server", "news example"}, "", 2, {"blanks"}},
        SetCase{"NoCaFile", "", {"--server", "n", "--ca-file", "/nonexistent/ca.pem"}, "", 2, {"--ca-file"}},
        SetCase{"CaFileIsFolder", "", {"--server", "n", "--ca-file", "/"}, "", 2, {"not a file"}},
        SetCase{"NoPasswordLine", "", {"--server", "n", "--password-stdin"}, "", 2, {"--password-stdin"}}),
    [](const testing::TestParamInfo<SetCase>& info) { return std::string(info.param.pszName); });

TEST(CliUsenet, PasswordStaysInTheFileOnly)
{
    TempDir dir;
    ASSERT_EQ(RunCliIn(dir, {"usenet", "set", "--server", "n", "--user", "me", "--password-stdin"}, "s3cret\n").nExit,
              0);
    const std::string strIni = DataFile(dir, "Dravelin.ini");
    EXPECT_EQ(CProfileFile::GetProfileString("Usenet", "Password", "", strIni), "s3cret");
    struct stat st{};
    ASSERT_EQ(::stat(strIni.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    for (const char* pszCommand : {"settings", "usenet"})
    {
        const CliRun run = pszCommand[0] == 's' ? RunCliIn(dir, {"settings"}) : RunCliIn(dir, {"usenet", "show"});
        ASSERT_EQ(run.nExit, 0) << pszCommand;
        EXPECT_NE(run.strOut.find("Usenet/Password=***\n"), std::string::npos) << pszCommand;
        EXPECT_EQ(run.strOut.find("s3cret"), std::string::npos) << pszCommand;
    }
}
} // namespace
