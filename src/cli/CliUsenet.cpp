// dravelin-cli usenet: the news server of the in-process gateway (section
// "Usenet" of Dravelin.ini).

#include "CliCommand.h"
#include "CliFormat.h"
#include "cache/HeaderCache.h"
#include "gateway/real/UsenetGateway.h"
#include "settings/UsenetSettings.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

namespace
{
int BadArguments(const std::string& strText)
{
    std::fprintf(stderr, "dravelin-cli: %s\n", strText.c_str());
    return CliBadArguments;
}

bool ParseNumber(const std::string& str, int32_t nMin, int32_t nMax, int32_t& nValue)
{
    const char* pEnd = str.data() + str.size();
    auto [ptr, ec] = std::from_chars(str.data(), pEnd, nValue);
    return !str.empty() && ec == std::errc() && ptr == pEnd && nValue >= nMin && nValue <= nMax;
}

bool ParseOnOff(const std::string& str, int32_t& bValue)
{
    if (str != "on" && str != "off")
        return false;
    bValue = str == "on";
    return true;
}

int ShowUsenet(const CCliContext& context, const std::vector<std::string>& args)
{
    if (args.size() == 1 && IsHelpOption(args[0]))
        return ShowCommandUsage("usenet");
    if (!args.empty())
        return BadArguments("usenet show takes no arguments");
    CUsenetSettings settings;
    settings.Load(context.folder.GetIniPath());
    PrintUsenetSettings(settings);
    return CliOk;
}

// Changes the keys named on the command line; the others keep their values.
int SetUsenet(const CCliContext& context, const std::vector<std::string>& args)
{
    if (args.empty())
        return BadArguments("usenet set needs at least one option");
    const std::string strIni = context.folder.GetIniPath();
    CUsenetSettings settings;
    settings.Load(strIni);
    bool bPortGiven = false;
    bool bTlsGiven = false;
    bool bReadPassword = false;
    for (size_t i = 0; i < args.size(); ++i)
    {
        const std::string& strOption = args[i];
        if (IsHelpOption(strOption))
            return ShowCommandUsage("usenet");
        if (strOption == "--password-stdin")
        {
            bReadPassword = true;
            continue;
        }
        if (strOption != "--server" && strOption != "--port" && strOption != "--tls" && strOption != "--ca-file" &&
            strOption != "--user" && strOption != "--connections" && strOption != "--enabled")
            return BadArguments("unknown usenet set argument: " + strOption);
        if (i + 1 >= args.size())
            return BadArguments(strOption + " needs a value");
        const std::string& strValue = args[++i];
        if (strOption == "--server")
        {
            if (strValue.empty())
                return BadArguments("--server needs a host name");
            settings.m_strServer = strValue;
        }
        else if (strOption == "--port")
        {
            if (!ParseNumber(strValue, 1, 65535, settings.m_nPort))
                return BadArguments("--port must be a number from 1 to 65535");
            bPortGiven = true;
        }
        else if (strOption == "--tls")
        {
            if (!ParseOnOff(strValue, settings.m_bTls))
                return BadArguments("--tls must be on or off");
            bTlsGiven = true;
        }
        else if (strOption == "--connections")
        {
            if (!ParseNumber(strValue, CUsenetSettings::kMinConnections, CUsenetSettings::kMaxConnections,
                             settings.m_nConnections))
                return BadArguments("--connections must be a number from 1 to 50");
        }
        else if (strOption == "--enabled")
        {
            if (!ParseOnOff(strValue, settings.m_bEnabled))
                return BadArguments("--enabled must be on or off");
        }
        else if (strOption == "--ca-file")
        {
            // "" trusts the system's authorities alone again. A relative
            // path is kept absolute: the desktop program starts elsewhere.
            std::error_code ec;
            if (!strValue.empty() && !std::filesystem::is_regular_file(strValue, ec))
                return BadArguments("--ca-file: " + strValue + " is not a file");
            if (!strValue.empty() && !std::ifstream(strValue))
                return BadArguments("--ca-file: cannot read " + strValue + ": " + std::strerror(errno));
            settings.m_strCAFile = strValue.empty() ? strValue : std::filesystem::absolute(strValue, ec).string();
        }
        else
        {
            settings.m_strUsername = strValue;
        }
    }
    // Switching TLS without naming a port moves to the new mode's port.
    if (bTlsGiven && !bPortGiven)
        settings.m_nPort = CUsenetSettings::DefaultPort(settings.m_bTls != 0);
    if (settings.m_strServer.empty())
        return BadArguments("usenet set needs --server HOST");
    if (bReadPassword)
    {
        // One line; the password never appears in the process list.
        std::string strPassword;
        if (!std::getline(std::cin, strPassword))
            return BadArguments("--password-stdin: no password line on standard input");
        if (!strPassword.empty() && strPassword.back() == '\r')
            strPassword.pop_back();
        settings.m_strPassword = strPassword;
    }
    const std::string strInvalid = settings.Validate();
    if (!strInvalid.empty())
        return BadArguments(strInvalid);
    std::string strError;
    if (!settings.Save(strIni, &strError))
    {
        std::fprintf(stderr, "dravelin-cli: %s\n", strError.c_str());
        return CliFailed;
    }
    return CliOk;
}
// Shows what the header cache of the section's server holds, or forgets a group.
int CacheUsenet(const CCliContext& context, const std::vector<std::string>& args)
{
    std::string strClear;
    if (args.size() == 1 && IsHelpOption(args[0]))
        return ShowCommandUsage("usenet");
    if (args.size() == 2 && args[0] == "--clear" && !args[1].empty())
        strClear = args[1];
    else if (!args.empty())
        return BadArguments("usenet cache takes no arguments but --clear GROUP");
    CUsenetSettings settings;
    settings.Load(context.folder.GetIniPath());
    if (settings.m_strServer.empty())
        return BadArguments("usenet cache needs a server (usenet set --server HOST)");
    const std::string strPath = CUsenetGateway::CacheFile(settings);
    std::error_code ec;
    const bool bExists = std::filesystem::exists(strPath, ec);
    usenet::CHeaderCache cache;
    std::string strError;
    if (bExists && !cache.Open(strPath, strError))
    {
        std::fprintf(stderr, "dravelin-cli: %s\n", strError.c_str());
        return CliFailed;
    }
    if (!strClear.empty())
    {
        if (!bExists || !cache.Clear(strClear))
        {
            std::fprintf(stderr, "dravelin-cli: %s is not in the header cache\n", strClear.c_str());
            return CliFailed;
        }
        std::printf("Cleared %s from the header cache.\n", strClear.c_str());
        return CliOk;
    }
    std::printf("Header cache: %s\n", strPath.c_str());
    const std::vector<usenet::CHeaderCache::SGroupInfo> groups =
        bExists ? cache.GetGroups() : std::vector<usenet::CHeaderCache::SGroupInfo>();
    if (groups.empty())
        std::printf("The header cache is empty.\n");
    for (const auto& group : groups)
        std::printf("%s: %lld articles, %lld-%lld\n", group.m_strName.c_str(), group.m_nArticles, group.m_nFirst,
                    group.m_nHigh);
    return CliOk;
}
} // namespace

int RunUsenetCommand(const CCliContext& context, const std::vector<std::string>& args)
{
    if (!args.empty() && args[0] == "set")
        return SetUsenet(context, std::vector<std::string>(args.begin() + 1, args.end()));
    if (!args.empty() && args[0] == "cache")
        return CacheUsenet(context, std::vector<std::string>(args.begin() + 1, args.end()));
    if (!args.empty() && args[0] == "show")
        return ShowUsenet(context, std::vector<std::string>(args.begin() + 1, args.end()));
    if (args.size() == 1 && IsHelpOption(args[0]))
        return ShowCommandUsage("usenet");
    return BadArguments("usenet needs show, set or cache");
}
