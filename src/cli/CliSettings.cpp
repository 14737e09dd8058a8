// dravelin-cli settings: the effective settings and accounts, as loaded.

#include "CliCommand.h"
#include "CliFormat.h"
#include "CliPrompts.h"
#include "model/QueueDocument.h"
#include "settings/ProfileFile.h"
#include "settings/UsenetSettings.h"

#include <cstdio>
#include <string>

namespace
{
void Print(const std::string& strKey, const std::string& strValue)
{
    std::printf("%s=%s\n", strKey.c_str(), strValue.c_str());
}

void Print(const std::string& strKey, int32_t nValue)
{
    Print(strKey, std::to_string(nValue));
}

// Passwords never leave the file.
std::string Hidden(const std::string& strPassword)
{
    return strPassword.empty() ? "" : "***";
}
} // namespace

int RunSettingsCommand(const CCliContext& context, const std::vector<std::string>& args)
{
    if (args.size() == 1 && IsHelpOption(args[0]))
        return ShowCommandUsage("settings");
    if (!args.empty())
    {
        std::fprintf(stderr, "dravelin-cli: settings takes no arguments\n");
        return CliBadArguments;
    }
    const std::string strIni = context.folder.GetIniPath();
    CCliPrompts prompts;
    CQueueDocument doc;
    doc.Open(strIni, &prompts);

    CProfileFile ini;
    ini.Read(strIni);
    Print("Dravelin/Version", ini.GetString("Dravelin", "Version", ""));
    Print("Dravelin/CompatibleBuild", ini.GetString("Dravelin", "CompatibleBuild", ""));

    const CPreferences& prefs = doc.m_settings;
    Print("Preferences/GetRightPath", prefs.m_strGetRightPath);
    Print("Preferences/LoadOriginalQueue", prefs.m_bLoadOriginalQueue);
    Print("Preferences/UpdateArticleStatus", prefs.m_bUpdateArticleStatus);
    Print("Preferences/RetryInfinite", prefs.m_bRetryInfinite);
    Print("Preferences/UseProxy", prefs.m_bUseProxy);
    Print("Preferences/ProxySetting", prefs.m_nProxySetting);
    Print("Preferences/ProxyAddress", prefs.m_strProxyAddress);
    Print("Preferences/ProxyPort", prefs.m_nProxyPort);
    Print("Preferences/ProxyAuthentication", prefs.m_bProxyAuthentication);
    Print("Preferences/ProxyUsername", prefs.m_strProxyUsername);
    Print("Preferences/ProxyPassword", Hidden(prefs.m_strProxyPassword));
    Print("Preferences/DefaultPath", prefs.m_strDefaultPath);
    Print("Preferences/MaxRetries", prefs.m_nMaxRetries);
    Print("Preferences/MaxDownloads", prefs.m_nMaxDownloads);
    Print("Preferences/KeepFailed", prefs.m_bKeepFailed);
    Print("Preferences/ResumeFailed", prefs.m_bResumeFailed);
    Print("Preferences/DeleteTempInet", prefs.m_bDeleteTempInet);
    Print("Preferences/EmptyRecycleBin", prefs.m_bEmptyRecycleBin);
    Print("Preferences/ReplaceUnderscore", prefs.m_bReplaceUnderscore);
    Print("Preferences/DoNotQueue", prefs.m_bDoNotQueue);
    Print("Preferences/DownloadManager", prefs.m_nDownloadManager);
    Print("Preferences/LoadQueue", prefs.m_bLoadQueue);
    Print("Preferences/SaveQueue", prefs.m_bSaveQueue);

    Print("Account/Subscriptions", doc.m_nSubscriptions);
    int nAccount = 0;
    for (const auto& pAccount : doc.m_accounts)
    {
        std::lock_guard lock(pAccount->m_lock);
        std::string strPrefix = "Account." + std::to_string(++nAccount) + "/";
        Print(strPrefix + "Service", pAccount->m_nService);
        Print(strPrefix + "HeaderDomain", pAccount->m_strHeaderDomain);
        Print(strPrefix + "DownloadDomain", pAccount->m_strDownloadDomain);
        Print(strPrefix + "Username", pAccount->m_strUsername);
        Print(strPrefix + "RetrieveBy", pAccount->m_nRetrieveBy);
        Print(strPrefix + "ShowOnlyBin", pAccount->m_bShowOnlyBin);
        Print(strPrefix + "IgnoreNewsGuyLimit", pAccount->m_bIgnoreNewsGuyLimit);
        Print(strPrefix + "MaxDownloads", pAccount->m_nMaxDownloads);
    }
    // The Usenet gateway's section only once it has been set up.
    if (CUsenetSettings::IsInFile(ini))
    {
        CUsenetSettings usenet;
        usenet.Load(ini);
        PrintUsenetSettings(usenet);
    }
    return CliOk;
}
