// dravelin-cli queue: show, append to or empty the queue file.

#include "CliCommand.h"
#include "CliFormat.h"
#include "model/ArticleList.h"
#include "model/NzbImport.h"
#include "model/QueueFile.h"
#include "net/GatewayHosts.h"
#include "settings/Preferences.h"
#include "settings/ProfileFile.h"

#include <charconv>
#include <cstdio>
#include <map>
#include <string>

namespace
{
int BadArguments(const std::string& strText)
{
    std::fprintf(stderr, "dravelin-cli: %s\n", strText.c_str());
    return CliBadArguments;
}

bool ParseInt32(const std::string& str, int32_t& nValue)
{
    const char* pEnd = str.data() + str.size();
    auto [ptr, ec] = std::from_chars(str.data(), pEnd, nValue);
    return !str.empty() && ec == std::errc() && ptr == pEnd;
}

bool IsServiceCode(int32_t nCode)
{
    switch (nCode)
    {
    case ServiceNewsGuy:
    case ServiceNewsGuyExtra:
    case ServiceWebUseNet:
    case ServiceWebUseNetMembers:
    case ServiceEasyNews:
        return true;
    default:
        return false;
    }
}

int ShowQueue(const CCliContext& context, const std::vector<std::string>& args)
{
    int nLoadAll = -1;
    for (const auto& strArg : args)
    {
        if (IsHelpOption(strArg))
            return ShowCommandUsage("queue");
        int nWanted = strArg == "--all" ? 1 : (strArg == "--waiting" ? 0 : -1);
        if (nWanted < 0)
            return BadArguments("unknown queue argument: " + strArg);
        if (nLoadAll >= 0 && nLoadAll != nWanted)
            return BadArguments("--all and --waiting exclude each other");
        nLoadAll = nWanted;
    }
    if (nLoadAll < 0)
        nLoadAll = CProfileFile::GetProfileInt("Preferences", "LoadOriginalQueue", 1,
                                               context.folder.GetIniPath()) != 0;

    CArticleList progress(CArticleList::KindProgress);
    CQueueLoadResult result =
        CQueueFile::LoadQueueFile(context.folder.GetQueuePath(), nLoadAll != 0, progress);
    for (int i = 0; i < progress.GetItemCount(); ++i)
        std::printf("%s\n", FormatArticleLine(*progress.GetArticle(i)).c_str());
    std::fflush(stdout);
    if (!result.strError.empty())
    {
        std::fprintf(stderr, "dravelin-cli: %s: %s\n", context.folder.GetQueuePath().c_str(),
                     result.bMalformed ? ("malformed queue file: " + result.strError).c_str()
                                       : result.strError.c_str());
        return CliFailed;
    }
    return CliOk;
}

// Appends to the queue file exactly as it is stored (no load rules).
int AppendToQueueFile(const CCliContext& context, const std::vector<ArticlePtr>& added)
{
    const std::string strPath = context.folder.GetQueuePath();
    std::vector<ArticlePtr> articles;
    CQueueLoadResult result = CQueueFile::ReadQueueFile(strPath, articles);
    if (!result.strError.empty())
    {
        std::fprintf(stderr, "dravelin-cli: %s: %s; left unchanged\n", strPath.c_str(),
                     result.strError.c_str());
        return CliFailed;
    }
    articles.insert(articles.end(), added.begin(), added.end());
    std::string strError;
    if (!CQueueFile::SaveQueueFile(strPath, articles, &strError))
    {
        std::fprintf(stderr, "dravelin-cli: %s\n", strError.c_str());
        return CliFailed;
    }
    return CliOk;
}

int AddToQueue(const CCliContext& context, const std::vector<std::string>& args)
{
    static const std::map<std::string, std::string> kOptions = {
        {"--service", ""}, {"--size", ""}, {"--subject", ""},   {"--decode-query", ""},
        {"--author", ""},  {"--date", ""}, {"--file-name", ""}, {"--path", ""},
    };
    std::map<std::string, std::string> values;
    for (size_t i = 0; i < args.size(); i += 2)
    {
        if (IsHelpOption(args[i]))
            return ShowCommandUsage("queue");
        if (kOptions.find(args[i]) == kOptions.end())
            return BadArguments("unknown queue add argument: " + args[i]);
        if (i + 1 >= args.size())
            return BadArguments(args[i] + " needs a value");
        values[args[i]] = args[i + 1];
    }
    for (const char* pszRequired : {"--service", "--size", "--subject", "--decode-query"})
        if (values.find(pszRequired) == values.end())
            return BadArguments(std::string("queue add needs ") + pszRequired);

    auto pArticle = std::make_shared<CArticle>();
    if (!ParseInt32(values["--service"], pArticle->m_nService) || !IsServiceCode(pArticle->m_nService))
        return BadArguments("--service must be 1, 2, 4, 8 or 16");
    if (!ParseInt32(values["--size"], pArticle->m_nSize) || pArticle->m_nSize < 0)
        return BadArguments("--size must be a number from 0 to 2147483647");
    pArticle->m_nState = StateQueued;
    pArticle->m_strSubject = values["--subject"];
    pArticle->m_strDecodeQuery = values["--decode-query"];
    pArticle->m_strAuthor = values["--author"];
    pArticle->m_strDate = values["--date"];
    pArticle->m_strFileName = values["--file-name"];
    pArticle->m_strDownloadPath = values["--path"];

    return AppendToQueueFile(context, {pArticle});
}

int ImportToQueue(const CCliContext& context, const std::vector<std::string>& args)
{
    std::string strNzb;
    std::string strFolder;
    bool bFolderGiven = false;
    for (size_t i = 0; i < args.size(); ++i)
    {
        if (IsHelpOption(args[i]))
            return ShowCommandUsage("queue");
        if (args[i] == "--path")
        {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return BadArguments("--path needs a folder");
            strFolder = args[++i];
            bFolderGiven = true;
        }
        else if (!args[i].empty() && args[i][0] == '-')
            return BadArguments("unknown queue import argument: " + args[i]);
        else if (!strNzb.empty())
            return BadArguments("queue import takes one NZB file");
        else
            strNzb = args[i];
    }
    if (strNzb.empty())
        return BadArguments("queue import needs an NZB file");
    // The default download folder, read without the settings load's writes:
    // a refused import leaves every file as it was.
    if (!bFolderGiven)
        strFolder = CProfileFile::GetProfileString("Preferences", "DefaultPath", "", context.folder.GetIniPath());
    strFolder = CPreferences::FolderPath(std::move(strFolder));

    CNzbImportResult result = CNzbImport::FromFile(strNzb, strFolder);
    for (const std::string& strWarning : result.warnings)
        std::fprintf(stderr, "dravelin-cli: %s: warning: %s\n", strNzb.c_str(), strWarning.c_str());
    if (!result.IsOk())
    {
        std::fprintf(stderr, "dravelin-cli: %s: %s Nothing was queued.\n", strNzb.c_str(),
                     result.strError.c_str());
        return CliFailed;
    }
    const int nResult = AppendToQueueFile(context, result.articles);
    if (nResult == CliOk)
        std::printf("Queued %zu file%s into %s\n", result.articles.size(),
                    result.articles.size() == 1 ? "" : "s", strFolder.c_str());
    return nResult;
}

int ClearQueue(const CCliContext& context, const std::vector<std::string>& args)
{
    if (args.size() == 1 && IsHelpOption(args[0]))
        return ShowCommandUsage("queue");
    if (!args.empty())
        return BadArguments("queue clear takes no arguments");
    std::string strError;
    if (!CQueueFile::SaveQueueFile(context.folder.GetQueuePath(), std::vector<ArticlePtr>{}, &strError))
    {
        std::fprintf(stderr, "dravelin-cli: %s\n", strError.c_str());
        return CliFailed;
    }
    return CliOk;
}
} // namespace

int RunQueueCommand(const CCliContext& context, const std::vector<std::string>& args)
{
    if (!args.empty() && args[0] == "add")
        return AddToQueue(context, std::vector<std::string>(args.begin() + 1, args.end()));
    if (!args.empty() && args[0] == "import")
        return ImportToQueue(context, std::vector<std::string>(args.begin() + 1, args.end()));
    if (!args.empty() && args[0] == "clear")
        return ClearQueue(context, std::vector<std::string>(args.begin() + 1, args.end()));
    return ShowQueue(context, args);
}
