#include "model/NzbImport.h"

#include "model/AtomicFile.h"
#include "net/GatewayHosts.h"
#include "nzb/NzbReader.h"

#include <cctype>
#include <cstdint>
#include <limits>

CNzbImportResult CNzbImport::FromText(std::string_view strXml, const std::string& strFolder)
{
    CNzbImportResult result;
    usenet::CNzbReader reader;
    const bool bOk = reader.Parse(strXml);
    result.warnings = reader.GetWarnings();
    if (!bOk)
    {
        result.strError = reader.GetError();
        return result;
    }
    for (const usenet::SNzbFile& file : reader.GetFiles())
    {
        auto pArticle = std::make_shared<CArticle>();
        pArticle->m_nService = ServiceNewsGuy;
        pArticle->m_nState = StateQueued;
        // The article's size is a 32-bit field of the queue file.
        constexpr auto kMaxSize = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
        pArticle->m_nSize = static_cast<int32_t>(file.m_nSize < kMaxSize ? file.m_nSize : kMaxSize);
        pArticle->m_strSubject = file.m_strSubject;
        pArticle->m_strAuthor = file.m_strPoster;
        pArticle->m_strDate = file.m_strDate;
        pArticle->m_strFileName = file.m_strFileName;
        pArticle->m_strDecodeQuery = file.m_query.Encode();
        pArticle->m_strDownloadPath = strFolder;
        const std::vector<int> missing = file.m_query.GetMissing();
        if (!missing.empty())
        {
            std::string strWarning(1, '"');
            strWarning += file.m_strSubject;
            strWarning += "\" misses ";
            strWarning += std::to_string(missing.size());
            strWarning += " of ";
            strWarning += std::to_string(file.m_query.GetPartCount());
            strWarning += " parts (first missing: ";
            strWarning += std::to_string(missing.front());
            strWarning += ").";
            result.warnings.push_back(std::move(strWarning));
        }
        result.articles.push_back(std::move(pArticle));
    }
    return result;
}

CNzbImportResult CNzbImport::FromFile(const std::string& strPath, const std::string& strFolder)
{
    std::string strData;
    std::string strError;
    if (!CAtomicFile::Read(strPath, strData, &strError))
    {
        CNzbImportResult result;
        // "cannot open PATH: reason" as a sentence of its own.
        strError[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(strError[0])));
        result.strError = strError + ".";
        return result;
    }
    return FromText(strData, strFolder);
}

bool CNzbImport::IsNzbPath(const std::string& strPath)
{
    if (strPath.size() < 4)
        return false;
    std::string strExt = strPath.substr(strPath.size() - 4);
    for (char& c : strExt)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return strExt == ".nzb";
}
